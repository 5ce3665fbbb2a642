#include "httpfetch.h"

#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <QCoroNetwork>
#include <QCoroSignal>

#include "errors.h"
#include "textdecode.h"
#include "webaddress.h"

namespace corvane {
namespace {

// What a fetch takes from its reply at a time.
constexpr qint64 kFetchPieceBytes = 256 * 1024;

// An error the reply reports for an HTTP error status (404, 500...) rather than for a
// failed transfer: such an answer is returned like any other.
bool isHttpStatusError(QNetworkReply::NetworkError error, int status)
{
    if (status < 400)
        return false;
    const int code = int(error);
    return (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

// Marks a reply whose redirect was refused.
constexpr char kRedirectRefused[] = "corvaneRedirectRefused";

// The manager behind every request: each redirect is judged before it is followed.
class GuardedNetworkAccessManager final : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &original, QIODevice *data) override
    {
        QNetworkRequest request(original);
        request.setMaximumRedirectsAllowed(qMin(original.maximumRedirectsAllowed(), kMaxRedirects));
        QNetworkReply *reply = QNetworkAccessManager::createRequest(operation, request, data);
        // Judged as the redirect is taken, before its request is sent (which Qt queues).
        // (Qt 6.4's verified redirects, which would wait for a verdict, end a chain of them
        // early as if it had succeeded, when the server closes each connection.)
        // From a local host (a service of the user's own, the tests') a redirect may stay
        // local; from the network it may not come back in.
        connect(reply, &QNetworkReply::redirected, reply, [reply, from = request.url()](const QUrl &target) mutable {
            if (isNetworkAddress(target) || (isLocalHost(from.host()) && acceptedHttpUrl(target.toString()).isValid())) {
                from = target;
                return;
            }
            qInfo("redirect refused: %s", qUtf8Printable(target.toDisplayString()));
            reply->setProperty(kRedirectRefused, true);
            // The redirected request waits as a call queued to the reply: dropped, it is
            // never sent, whatever the abort below reaches in time (under wine it did not).
            QCoreApplication::removePostedEvents(reply, QEvent::MetaCall);
            reply->abort();
        });
        // Qt 6.4 stops a compressed answer that inflates far beyond its size (a bomb) with a
        // content error and then never finishes the reply: the error finishes it here, so
        // that whatever awaits it ends at once rather than at its time bound.
        connect(reply, &QNetworkReply::errorOccurred, reply, [reply](QNetworkReply::NetworkError error) {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (error != QNetworkReply::UnknownContentError || status >= 400)
                return;
            QMetaObject::invokeMethod(
                reply,
                [reply] {
                    if (!reply->isFinished())
                        emit reply->finished();
                },
                Qt::QueuedConnection);
        });
        return reply;
    }
};

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Whether the fetch's owner has been stopped since it began: stopped, or destroyed (which
// stops it first).
bool stoppedOwner(const Requests *owner, const QPointer<Requests> &guard)
{
    return owner && (!guard || guard->isStopped());
}

} // namespace

Requests::Requests(QObject *parent) : QObject(parent) {}

Requests::~Requests()
{
    stop();
}

void Requests::stop()
{
    m_stopped = true;
    const QList<QNetworkReply *> replies = findChildren<QNetworkReply *>();
    for (const QPointer<QNetworkReply> reply : replies) {
        if (reply && !reply->isFinished())
            reply->abort();
        // A fetch resumes through a call queued to its reply: delivered here, so that what
        // awaited each reply has ended by the time this returns, even after the last
        // round of the event loop.
        if (reply)
            QCoreApplication::sendPostedEvents(reply, QEvent::MetaCall);
    }
    const QList<Requests *> beneath = findChildren<Requests *>();
    emit stopped();
    for (const QPointer<Requests> requests : beneath) {
        if (requests)
            emit requests->stopped();
    }
}

bool Requests::isStopped() const
{
    for (const QObject *object = this; object; object = object->parent()) {
        if (const auto *requests = qobject_cast<const Requests *>(object); requests && requests->m_stopped)
            return true;
    }
    return false;
}

int Requests::inFlight() const
{
    int count = 0;
    for (const QNetworkReply *reply : findChildren<QNetworkReply *>())
        count += reply->isFinished() ? 0 : 1;
    return count;
}

void abortFromEventLoop(QNetworkReply *reply)
{
    QMetaObject::invokeMethod(
        reply,
        [reply] {
            // An error status is reported on its way to the reply's end: aborting it then
            // reports a second error. Such a reply ends by itself, or with its owner.
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (!reply->isFinished() && reply->error() == QNetworkReply::NoError && status < 400)
                reply->abort();
        },
        Qt::QueuedConnection);
}

QNetworkAccessManager &networkAccessManager()
{
    // Parented to the application so that it is gone before Qt's own teardown.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new GuardedNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

bool redirectRefused(const QNetworkReply *reply)
{
    return reply && reply->property(kRedirectRefused).toBool();
}

bool redirectedTooOften(const QNetworkReply *reply)
{
    return reply && reply->error() == QNetworkReply::TooManyRedirectsError;
}

bool isTextContentType(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return type.startsWith("text/") || type.endsWith("/html") || type.endsWith("/json") ||
           type.endsWith("/xml") || type.endsWith("+xml") || type.endsWith("+json");
}

QUrl acceptedHttpUrl(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return {};
    return url;
}

QCoro::Task<RawResponse> fetchRaw(QUrl url, FetchLimits limits, Requests *owner, bool sendIfModifiedSince)
{
    if (!url.isValid())
        throw FetchError("address refused");
    const QPointer<Requests> guard(owner);
    if (stoppedOwner(owner, guard))
        throw FetchStopped();

    QNetworkRequest request(url);
    if (sendIfModifiedSince)
        request.setRawHeader(QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0"));

    // Deleted later, when this task ends: the wait below resumes inside a queued call the
    // reply itself receives, and what runs on from there must not delete its receiver.
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(networkAccessManager().get(request));
    QNetworkReply *const r = reply.get();
    if (owner)
        r->setParent(owner);
    // Read in pieces: the network waits in its socket while this one is taken, so that an
    // answer with no length is held once, in `body`, up to its bound, and no more of it
    // piles up while it is refused.
    r->setReadBufferSize(kFetchPieceBytes);
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;

    // The handlers below see this frame, and the reply outlives it until its deferred
    // delete, still emitting what its network thread had queued: they are cut off when
    // the frame ends, however it ends.
    const auto unhook = qScopeGuard([r] { QObject::disconnect(r, nullptr, r, nullptr); });
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(r, &QNetworkReply::metaDataChanged, r, [&] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (!tooLarge && length.isValid() && length.toLongLong() > limits.maxBytes) {
            tooLarge = true;
            abortFromEventLoop(r);
        }
    });
    QObject::connect(r, &QNetworkReply::readyRead, r, [&] {
        // The abort is on its way: nothing more is read, so that the reply's full buffer
        // holds the rest back (a compressed answer would otherwise go on inflating).
        if (tooLarge)
            return;
        body += r->readAll();
        if (body.size() > limits.maxBytes) {
            tooLarge = true;
            body.clear();
            abortFromEventLoop(r);
        }
    });
    QObject::connect(&deadline, &QTimer::timeout, r, [&] {
        timedOut = true;
        r->abort();
    });

    if (!r->isFinished()) {
        deadline.start(limits.timeout);
        co_await qCoro(r, &QNetworkReply::finished);
        deadline.stop();
    }

    if (stoppedOwner(owner, guard))
        throw FetchStopped();
    if (timedOut)
        throw FetchTimeout("no answer within the time bound");
    if (redirectRefused(r))
        throw ContentError("redirect refused");
    if (tooLarge)
        throw FetchTooLarge("answer larger than the size bound");

    body += r->readAll();
    if (body.size() > limits.maxBytes)
        throw FetchTooLarge("answer larger than the size bound");

    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (r->error() != QNetworkReply::NoError && !isHttpStatusError(r->error(), status))
        throw FetchError(r->errorString().toStdString());

    co_return RawResponse{std::move(body), r->rawHeader(QByteArrayLiteral("Content-Type")), status};
}

QCoro::Task<QString> GetBody(QString URL, FetchLimits limits, Requests *owner)
{
    const RawResponse response =
        co_await fetchRaw(acceptedHttpUrl(URL), limits, owner, /*sendIfModifiedSince=*/true);
    co_return decodeBody(response.body, response.contentType);
}

namespace {

// One request for a size: its headers alone are read, then it stops, whatever the body.
QCoro::Task<std::optional<qint64>> sizeFromHeaders(QNetworkReply *reply, std::chrono::milliseconds timeout,
                                                   Requests *owner)
{
    const std::unique_ptr<QNetworkReply, DeleteLater> owned(reply);
    const QPointer<Requests> guard(owner);
    if (owner)
        reply->setParent(owner);
    std::optional<qint64> size;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    const auto unhook = qScopeGuard([reply] { QObject::disconnect(reply, nullptr, reply, nullptr); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, &size] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300 && status < 400)
            return; // a redirect being followed
        // A page served in the file's place (an error, a login) tells nothing of its size.
        const bool file = !isTextContentType(reply->rawHeader(QByteArrayLiteral("Content-Type")));
        if (file && reply->operation() == QNetworkAccessManager::HeadOperation) {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (status == 200 && length.isValid())
                size = length.toLongLong();
        } else if (file && status == 206) {
            // "bytes 0-0/12345"
            const QByteArray range = reply->rawHeader(QByteArrayLiteral("Content-Range"));
            const qsizetype slash = range.lastIndexOf('/');
            bool ok = false;
            const qint64 total = slash < 0 ? -1 : range.mid(slash + 1).trimmed().toLongLong(&ok);
            if (ok && total >= 0 && range.startsWith("bytes "))
                size = total;
        }
        abortFromEventLoop(reply); // the headers are all this wants
    });
    if (!reply->isFinished()) {
        deadline.start(timeout);
        co_await qCoro(reply, &QNetworkReply::finished);
    }
    if (stoppedOwner(owner, guard))
        throw FetchStopped();
    co_return size;
}

} // namespace

QCoro::Task<std::optional<qint64>> fetchSize(QUrl url, std::chrono::milliseconds timeout, Requests *owner)
{
    if (owner && owner->isStopped())
        throw FetchStopped();
    if (!url.isValid())
        co_return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    QNetworkRequest request(url);
    if (const auto size = co_await sizeFromHeaders(networkAccessManager().head(request), timeout, owner))
        co_return size;
    const auto left = timeout - std::chrono::milliseconds(clock.elapsed());
    if (left <= std::chrono::milliseconds(0))
        co_return std::nullopt;
    request.setRawHeader(QByteArrayLiteral("Range"), QByteArrayLiteral("bytes=0-0"));
    co_return co_await sizeFromHeaders(networkAccessManager().get(request), left, owner);
}

} // namespace corvane
