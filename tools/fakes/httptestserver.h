#pragma once

#include <chrono>
#include <functional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

namespace corvane::testing {

// One request as it arrived on the wire.
struct HttpRequest
{
    QByteArray method;
    QByteArray target; // byte for byte as sent: origin-form or absolute-form
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers;

    // The value of the first header of that name (case-insensitive), or empty.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    // The host the request is for, without port: from an absolute-form target, else Host.
    QByteArray hostName() const;
    // The path and query: the origin-form part of the target.
    QByteArray pathAndQuery() const;
    // The path without its query.
    QByteArray path() const;
};

struct HttpResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    qint64 repeat = 1;                  // the body is sent this many times, streamed
    std::chrono::milliseconds delay{0}; // before anything is sent
    bool stall = false;                 // never answer, keep the connection open
    qint64 resetAfter = -1;             // drop the connection after this many body bytes
    qint64 stallAfter = -1;             // send no more after this many body bytes, keep it open
    bool resetAtOnce = false;           // drop the connection without a byte of answer
    // The whole answer, head and body, a byte at a time this long apart (body sent once).
    std::chrono::milliseconds drip{0};
    // The body a byte at a time this long apart, after the head at once (body sent once).
    std::chrono::milliseconds trickle{0};
    // After this many body bytes, nothing for `pause`, then the rest (-1: no pause).
    qint64 pauseAfter = -1;
    std::chrono::milliseconds pause{0};
    bool sendContentLength = true;

    static HttpResponse text(QByteArray body, QByteArray contentType = "text/plain; charset=utf-8",
                             int status = 200);
    static HttpResponse redirect(QByteArray location, int status = 302);
    // The body compressed with zlib's deflate, sent with "Content-Encoding: deflate".
    static HttpResponse deflated(const QByteArray &plain, QByteArray contentType = "text/plain");
    // The same with gzip, "Content-Encoding: gzip".
    static HttpResponse gzipped(const QByteArray &plain, QByteArray contentType = "text/plain");
    HttpResponse &withHeader(QByteArray name, QByteArray value);
};

// An HTTP/1.1 server on 127.0.0.1 in the calling thread, one handler call per request.
// Every response closes its connection. It records every request it receives.
class HttpTestServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpTestServer)

public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit HttpTestServer(Handler handler = {}, QObject *parent = nullptr);
    ~HttpTestServer() override;

    bool listen(quint16 port = 0);
    quint16 port() const;
    // "127.0.0.1:<port>", to use as a host in addresses.
    QString origin() const;
    QByteArray url(QByteArrayView pathAndQuery) const;

    void setHandler(Handler handler);
    QList<HttpRequest> requests() const;
    void clearRequests();
    // Send log lines ("GET http://host/path -> 200") to standard error.
    void setLogging(bool on);

signals:
    void requestReceived(const corvane::testing::HttpRequest &request);
    // The client closed the connection of `request` before its whole answer was sent.
    void closedBeforeAnswer(const corvane::testing::HttpRequest &request);

private:
    void onNewConnection();

    QTcpServer m_server;
    Handler m_handler;
    QList<HttpRequest> m_requests;
    bool m_logging = false;
};

} // namespace corvane::testing
