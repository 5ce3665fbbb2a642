#pragma once

#include <chrono>

#include <QByteArray>
#include <QEventLoop>
#include <QString>

class QNetworkAccessManager;
class QUrl;

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

// One GET of an accepted address. Waits in a nested event loop that dispatches events
// with `waitFlags`, never spinning. An HTTP error status is not a failure: its body is
// returned. Throws FetchError (refused address, network failure, time or size bound) or
// FetchAbandoned (the wait was ended from outside, e.g. the application quits).
RawResponse fetchRaw(const QUrl &url, const FetchLimits &limits,
                     QEventLoop::ProcessEventsFlags waitFlags = QEventLoop::AllEvents,
                     bool sendIfModifiedSince = false);

// The text behind an address: one GET with "If-Modified-Since: 0", the body decoded
// (see decodeBody). Other handlers run while it waits, so nested calls complete
// last-started first. Throws as fetchRaw does.
QString GetBody(QString URL, const FetchLimits &limits = {});

} // namespace corvane
