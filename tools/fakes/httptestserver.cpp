#include "httptestserver.h"

#include <array>

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace corvane::testing {
namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qint64 kWriteWindow = 256 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 405:
        return "Method Not Allowed";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool parseRequestHead(const QByteArray &head, HttpRequest &request)
{
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3)
        return false;
    request.method = parts.at(0);
    request.target = parts.at(1);
    request.version = parts.at(2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

// Serves one connection: reads one request, answers it, closes.
class Connection final : public QObject
{
public:
    Connection(QTcpSocket *socket, std::function<HttpResponse(const HttpRequest &)> answer,
               std::function<void(const HttpRequest &)> closed)
        : QObject(socket), m_socket(socket), m_answer(std::move(answer)), m_closed(std::move(closed))
    {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::pump);
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            if (m_answered && !m_finishing && !m_request.method.isEmpty())
                m_closed(m_request);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Wine can lose the notice of a reset that comes while the socket waits to write
        // more (seen under load: the connection gone from the system, the server still
        // believing it open a minute later). Trying to write meets the reset.
        auto *poke = new QTimer(this);
        connect(poke, &QTimer::timeout, this, [this] {
            if (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesToWrite() > 0)
                m_socket->flush();
        });
        poke->start(250);
    }

private:
    void onReadyRead()
    {
        if (m_answered)
            return;
        m_buffer += m_socket->readAll();
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > kMaxHeaderBytes)
                m_socket->abort();
            return;
        }
        m_answered = true;
        HttpRequest request;
        if (!parseRequestHead(m_buffer.left(end), request)) {
            m_response = HttpResponse::text("bad request", "text/plain", 400);
        } else if (request.method == "CONNECT") {
            // Never a tunnel: an https address sent through this proxy fails at once
            // instead of reaching the host it names.
            m_response = HttpResponse::text("no tunnels", "text/plain", 405);
            m_request = request;
        } else {
            m_response = m_answer(request);
            m_headOnly = request.method == "HEAD";
            m_request = request;
        }
        if (m_response.stall)
            return;
        if (m_response.resetAtOnce) {
            m_finishing = true;
            m_socket->abort();
            m_socket->deleteLater();
            return;
        }
        if (m_response.delay.count() > 0) {
            QTimer::singleShot(m_response.delay, this, &Connection::start);
        } else {
            start();
        }
    }

    void start()
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_response.status) + ' ' +
                          reasonPhrase(m_response.status) + "\r\n";
        for (const auto &[name, value] : std::as_const(m_response.headers))
            head += name + ": " + value + "\r\n";
        m_total = m_response.body.size() * m_response.repeat;
        if (m_response.sendContentLength)
            head += "Content-Length: " + QByteArray::number(m_total) + "\r\n";
        head += "Connection: close\r\n\r\n";
        if (m_response.drip.count() > 0 || m_response.trickle.count() > 0) {
            m_dripBytes = m_response.drip.count() > 0 ? head : QByteArray();
            if (m_response.trickle.count() > 0)
                m_socket->write(head);
            m_dripBytes += m_headOnly ? QByteArray() : m_response.body;
            dripOne();
            return;
        }
        m_socket->write(head);
        pump();
    }

    void dripOne()
    {
        if (m_dripped < m_dripBytes.size())
            m_socket->write(m_dripBytes.constData() + m_dripped++, 1);
        if (m_dripped < m_dripBytes.size())
            QTimer::singleShot(m_response.drip.count() > 0 ? m_response.drip : m_response.trickle, this,
                               &Connection::dripOne);
        else {
            m_finishing = true;
            m_socket->disconnectFromHost();
        }
    }

    void pump()
    {
        if (!m_answered || m_response.stall || m_finishing || m_response.drip.count() > 0 ||
            m_response.trickle.count() > 0)
            return;
        const QByteArray &body = m_response.body;
        // A HEAD answer has the headers of the GET answer and no body.
        const qint64 total = m_headOnly ? 0 : m_total;
        qint64 limit = m_response.resetAfter >= 0 ? qMin(m_response.resetAfter, total) : total;
        if (m_response.stallAfter >= 0)
            limit = qMin(m_response.stallAfter, limit);
        const bool pausing = m_response.pauseAfter >= 0 && m_response.pauseAfter < limit && !m_paused;
        if (pausing)
            limit = m_response.pauseAfter;
        while (m_sent < limit && m_socket->bytesToWrite() < kWriteWindow) {
            const qint64 offset = body.isEmpty() ? 0 : m_sent % body.size();
            const qint64 chunk = qMin<qint64>(body.size() - offset, limit - m_sent);
            m_socket->write(body.constData() + offset, chunk);
            m_sent += chunk;
        }
        if (m_sent < limit || m_socket->bytesToWrite() > 0)
            return;
        if (pausing) {
            m_paused = true;
            QTimer::singleShot(m_response.pause, this, &Connection::pump);
            return;
        }
        if (m_response.stallAfter >= 0)
            return;
        m_finishing = true;
        if (m_response.resetAfter >= 0 && m_response.resetAfter < total) {
            m_socket->abort();
            m_socket->deleteLater();
        } else {
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket *m_socket;
    std::function<HttpResponse(const HttpRequest &)> m_answer;
    std::function<void(const HttpRequest &)> m_closed;
    HttpRequest m_request;
    QByteArray m_buffer;
    HttpResponse m_response;
    qint64 m_total = 0;
    qint64 m_sent = 0;
    bool m_answered = false;
    bool m_finishing = false;
    bool m_headOnly = false;
    bool m_paused = false;
    QByteArray m_dripBytes;
    qsizetype m_dripped = 0;
};

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray HttpRequest::hostName() const
{
    QByteArray authority = header("Host");
    if (target.startsWith("http://") || target.startsWith("https://")) {
        const qsizetype start = target.indexOf("//") + 2;
        const qsizetype slash = target.indexOf('/', start);
        authority = target.mid(start, slash < 0 ? -1 : slash - start);
    }
    const qsizetype colon = authority.lastIndexOf(':');
    return (colon < 0 ? authority : authority.left(colon)).toLower();
}

QByteArray HttpRequest::pathAndQuery() const
{
    if (target.startsWith("http://") || target.startsWith("https://")) {
        const qsizetype slash = target.indexOf('/', target.indexOf("//") + 2);
        return slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    return target;
}

QByteArray HttpRequest::path() const
{
    const QByteArray full = pathAndQuery();
    const qsizetype query = full.indexOf('?');
    return query < 0 ? full : full.left(query);
}

HttpResponse HttpResponse::text(QByteArray body, QByteArray contentType, int status)
{
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    if (!contentType.isEmpty())
        response.headers.append(qMakePair(QByteArray("Content-Type"), std::move(contentType)));
    return response;
}

HttpResponse HttpResponse::redirect(QByteArray location, int status)
{
    HttpResponse response = text("moved", "text/plain", status);
    response.headers.append(qMakePair(QByteArray("Location"), std::move(location)));
    return response;
}

HttpResponse HttpResponse::deflated(const QByteArray &plain, QByteArray contentType)
{
    // qCompress prefixes a 4-byte length to a zlib stream; HTTP's deflate is the stream.
    HttpResponse response = text(qCompress(plain, 9).mid(4), std::move(contentType));
    response.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("deflate")));
    return response;
}

HttpResponse HttpResponse::gzipped(const QByteArray &plain, QByteArray contentType)
{
    // The zlib stream's deflate data between a gzip header and trailer (CRC-32, length).
    static const auto table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
            entries[n] = c;
        }
        return entries;
    }();
    quint32 crc = 0xffffffffu;
    for (const char byte : plain)
        crc = table[(crc ^ quint8(byte)) & 0xff] ^ (crc >> 8);
    crc = ~crc;
    QByteArray body("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    body += qCompress(plain, 9).mid(6).chopped(4);
    for (const quint32 value : {crc, quint32(plain.size())}) {
        for (int shift = 0; shift < 32; shift += 8)
            body += char((value >> shift) & 0xff);
    }
    HttpResponse response = text(std::move(body), std::move(contentType));
    response.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    return response;
}

HttpResponse &HttpResponse::withHeader(QByteArray name, QByteArray value)
{
    headers.append(qMakePair(std::move(name), std::move(value)));
    return *this;
}

HttpTestServer::HttpTestServer(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpTestServer::onNewConnection);
}

HttpTestServer::~HttpTestServer() = default;

bool HttpTestServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

quint16 HttpTestServer::port() const
{
    return m_server.serverPort();
}

QString HttpTestServer::origin() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port());
}

QByteArray HttpTestServer::url(QByteArrayView pathAndQuery) const
{
    return "http://" + origin().toLatin1() + pathAndQuery.toByteArray();
}

void HttpTestServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QList<HttpRequest> HttpTestServer::requests() const
{
    return m_requests;
}

void HttpTestServer::clearRequests()
{
    m_requests.clear();
}

void HttpTestServer::setLogging(bool on)
{
    m_logging = on;
}

void HttpTestServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        QPointer<HttpTestServer> self(this);
        new Connection(socket, [self](const HttpRequest &request) {
            if (!self)
                return HttpResponse::text("gone", "text/plain", 500);
            self->m_requests.append(request);
            emit self->requestReceived(request);
            HttpResponse response = self->m_handler ? self->m_handler(request)
                                                    : HttpResponse::text("no handler", "text/plain", 404);
            if (self->m_logging) {
                std::fprintf(stderr, "%s %s (host %s) -> %d\n", request.method.constData(),
                             request.target.constData(), request.hostName().constData(), response.status);
                std::fflush(stderr);
            }
            return response;
        }, [self](const HttpRequest &request) {
            if (self)
                emit self->closedBeforeAnswer(request);
        });
    }
}

} // namespace corvane::testing
