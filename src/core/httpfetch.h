#pragma once

#include <chrono>
#include <optional>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane {

using namespace std::chrono_literals;

// A fetch that has not completed after this long fails.
inline constexpr std::chrono::milliseconds kFetchTimeout = 20s;
// A body larger than this fails instead of exhausting memory.
inline constexpr qint64 kMaxBodyBytes = 32 * 1024 * 1024;

struct FetchLimits
{
    std::chrono::milliseconds timeout = kFetchTimeout;
    qint64 maxBytes = kMaxBodyBytes;
};

struct RawResponse
{
    QByteArray body;
    QByteArray contentType;
    int httpStatus = 0;
};

// The requests of one piece of work (a resolution, a version check): every fetch made
// under it keeps its reply as a child of it. stop() aborts each one still in flight at
// once, and what awaited it resumes before stop() returns, with FetchStopped; a fetch
// started under a stopped one (or under one beneath a stopped one) throws at once.
// Destroying it stops it. What a stop resumes may end the work that owns this object:
// such an owner deletes it later (QScopedPointerDeleteLater), never during its stop.
class Requests final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Requests)

public:
    explicit Requests(QObject *parent = nullptr);
    ~Requests() override;

    // From the event loop, never from inside a reply's own signal.
    void stop();
    bool isStopped() const;
    // The replies made under it (and under those beneath it) still in flight.
    int inFlight() const;

signals:
    // Emitted by stop(), for it and for every Requests beneath it: what waits on
    // something other than a reply (a turn of the lyrics gate) ends on it.
    void stopped();

private:
    bool m_stopped = false;
};

// Aborts `reply` from the event loop, unless it has finished, has failed, or answered with
// an error status by then: aborting inside its own signal, or while it reports an error,
// makes it report a second one ("Internal problem"). Such a reply ends by itself, or when
// its owner deletes it.
void abortFromEventLoop(QNetworkReply *reply);

// The process-wide network manager, made on first use on the calling thread (the
// user-interface thread in this program); it lives as long as the application. Every
// request it sends follows at most kMaxRedirects redirects, each only to an http or https
// address, and from a host of the network never to a local one (isLocalHost): a server
// may not turn the program against the user's own machine or network. A refused redirect
// ends its reply at once (redirectRefused).
QNetworkAccessManager &networkAccessManager();
inline constexpr int kMaxRedirects = 5;
// Whether `reply` ended at a redirect the network manager refused, or at one redirect more
// than kMaxRedirects.
bool redirectRefused(const QNetworkReply *reply);
bool redirectedTooOften(const QNetworkReply *reply);

// Whether an answer's type says it is a page or text (what servers send instead of a
// file: an error page, a login, a JSON error), not a file.
bool isTextContentType(const QByteArray &contentType);

// An http or https address with a host, or an invalid QUrl for anything the request
// object would refuse.
QUrl acceptedHttpUrl(const QString &address);

// One GET of an accepted address, awaited: the caller's event loop runs meanwhile. An
// HTTP error status is not a failure: its body is returned. Throws FetchError (refused
// address, network failure, time or size bound), ContentError (a refused redirect: the
// server's answer is at fault, not the network), or FetchStopped when `owner` is stopped
// before the answer is returned, whatever the answer. The reply is owned by `owner`
// (when given) and deleted once the task ends.
QCoro::Task<RawResponse> fetchRaw(QUrl url, FetchLimits limits, Requests *owner = nullptr,
                                  bool sendIfModifiedSince = false);

// The text behind an address: one GET with "If-Modified-Since: 0", the body decoded
// (see decodeBody). Throws as fetchRaw does.
QCoro::Task<QString> GetBody(QString URL, FetchLimits limits = {}, Requests *owner = nullptr);

// The size of the file at an accepted address, learned without downloading it: a HEAD
// request's Content-Length, else a GET of its first byte and the total in its
// Content-Range. Empty when neither says (no length, an error, a text or page type
// rather than a file's, `timeout` passed). Throws FetchStopped as fetchRaw does.
QCoro::Task<std::optional<qint64>> fetchSize(QUrl url, std::chrono::milliseconds timeout,
                                             Requests *owner = nullptr);

} // namespace corvane
