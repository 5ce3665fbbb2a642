#include "httpfetch.h"

#include <memory>

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "errors.h"
#include "textdecode.h"

namespace corvane {
namespace {

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

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

} // namespace

QNetworkAccessManager &networkAccessManager()
{
    // Parented to the application so that it is gone before Qt's own teardown.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

QUrl acceptedHttpUrl(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return {};
    return url;
}

RawResponse fetchRaw(const QUrl &url, const FetchLimits &limits, QEventLoop::ProcessEventsFlags waitFlags,
                     bool sendIfModifiedSince)
{
    if (!url.isValid())
        throw FetchError("address refused");

    QNetworkRequest request(url);
    if (sendIfModifiedSince)
        request.setRawHeader(QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0"));

    // Deleted later: the reply may be the sender of the signal being handled.
    std::unique_ptr<QNetworkReply, DeleteLater> reply(networkAccessManager().get(request));
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);

    QNetworkReply *r = reply.get();
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > limits.maxBytes && !r->isFinished()) {
            tooLarge = true;
            r->abort();
        }
    });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, [&] {
        body += r->readAll();
        if (body.size() > limits.maxBytes && !r->isFinished()) {
            tooLarge = true;
            r->abort();
        }
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        r->abort();
    });
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    if (!r->isFinished()) {
        deadline.start(limits.timeout);
        loop.exec(waitFlags);
        deadline.stop();
    }

    if (timedOut)
        throw FetchTimeout("no answer within the time bound");
    if (tooLarge)
        throw FetchTooLarge("answer larger than the size bound");
    if (!r->isFinished()) {
        // The loop was ended from outside: the application is shutting down.
        // No event loop will run again to delete it later: delete it now.
        QObject::disconnect(r, nullptr, &loop, nullptr);
        r->abort();
        delete reply.release();
        throw FetchAbandoned("fetch abandoned");
    }

    body += r->readAll();
    if (body.size() > limits.maxBytes)
        throw FetchTooLarge("answer larger than the size bound");

    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (r->error() != QNetworkReply::NoError && !isHttpStatusError(r->error(), status))
        throw FetchError(r->errorString().toStdString());

    return RawResponse{std::move(body), r->rawHeader(QByteArrayLiteral("Content-Type")), status};
}

QString GetBody(QString URL, const FetchLimits &limits)
{
    const QUrl url = acceptedHttpUrl(URL);
    const RawResponse response = fetchRaw(url, limits, QEventLoop::AllEvents, /*sendIfModifiedSince=*/true);
    return decodeBody(response.body, response.contentType);
}

} // namespace corvane
