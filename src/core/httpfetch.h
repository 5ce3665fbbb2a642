#pragma once

#include <chrono>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QCoroTask>

class QNetworkAccessManager;

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

// The process-wide network manager, made on first use on the calling thread (the
// user-interface thread in this program); it lives as long as the application.
QNetworkAccessManager &networkAccessManager();

// An http or https address with a host, or an invalid QUrl for anything the request
// object would refuse.
QUrl acceptedHttpUrl(const QString &address);

// One GET of an accepted address, awaited: the caller's event loop runs meanwhile. An
// HTTP error status is not a failure: its body is returned. Throws FetchError (refused
// address, network failure, time or size bound, or abandoned by abandonFetches). The
// reply is deleted before the task ends.
QCoro::Task<RawResponse> fetchRaw(QUrl url, FetchLimits limits, bool sendIfModifiedSince = false);

// The text behind an address: one GET with "If-Modified-Since: 0", the body decoded
// (see decodeBody). Throws as fetchRaw does.
QCoro::Task<QString> GetBody(QString URL, FetchLimits limits = {});

// The size of the file at an accepted address, learned without downloading it: a HEAD
// request's Content-Length, else a GET of its first byte and the total in its
// Content-Range. Empty when neither says (no length, an error, a text or page type
// rather than a file's, `timeout` passed).
QCoro::Task<std::optional<qint64>> fetchSize(QUrl url, std::chrono::milliseconds timeout);

// For the end of the program, when no event loop will run again: aborts every fetch
// still waiting and runs what awaits each until it has wound up, so that no coroutine is
// left suspended.
void abandonFetches();

} // namespace corvane
