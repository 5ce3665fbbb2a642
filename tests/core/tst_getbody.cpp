#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include "core/errors.h"
#include "core/httpfetch.h"
#include "core/songresolver.h"
#include "core/webaddress.h"
#include "awaited.h"
#include "httptestserver.h"
#include "platform.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {
// Short enough to meet the time bound quickly; the rows that must not meet it get a
// generous one, so that a loaded machine cannot turn their failure into a time-out.
const FetchLimits kShortLimits{std::chrono::milliseconds(400), 1024 * 1024};
const FetchLimits kLongLimits{std::chrono::milliseconds(10000), 1024 * 1024};

QString address(const HttpTestServer &server, QByteArrayView pathAndQuery)
{
    return QString::fromLatin1(server.url(pathAndQuery));
}
} // namespace

class TestGetBody final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wire_data();
    void wire();
    void everyRequestCarriesIfModifiedSince();
    void statusIsNeverRead_data();
    void statusIsNeverRead();
    void followsRedirects();
    void localAddresses_data();
    void localAddresses();
    void redirectsFromTheNetwork_data();
    void redirectsFromTheNetwork();
    void failures_data();
    void failures();
    void refusedAddressSendsNothing_data();
    void refusedAddressSendsNothing();
    void refusedConnection();
    void decoding_data();
    void decoding();

private:
    std::unique_ptr<HttpTestServer> m_server;
};

void TestGetBody::init()
{
    m_server = std::make_unique<HttpTestServer>();
    QVERIFY(m_server->listen());
}

void TestGetBody::wire_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("target");
    // Percent-encoded unreserved characters are the same address in normal form; the
    // encoded bar must stay encoded.
    QTest::newRow("link conversion")
        << u"/anti.s?type=convert%5Furl&response=url&rid=MUSIC%5F678&format=mp3%7Cmp3"_s
        << QByteArray("/anti.s?type=convert_url&response=url&rid=MUSIC_678&format=mp3%7Cmp3");
    QTest::newRow("metadata") << u"/webmusic/st/getNewMuiseByRid?rid=MUSIC_678"_s
                              << QByteArray("/webmusic/st/getNewMuiseByRid?rid=MUSIC_678");
    QTest::newRow("song page") << u"/yinyue/678/"_s << QByteArray("/yinyue/678/");
    QTest::newRow("Chinese in the query is sent as UTF-8")
        << u"/s?q=晴天"_s << QByteArray("/s?q=%E6%99%B4%E5%A4%A9");
}

void TestGetBody::wire()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, target);
    m_server->setHandler([](const HttpRequest &) { return HttpResponse::text("ok"); });
    QCOMPARE(awaited(GetBody(u"http://"_s + m_server->origin() + path)), u"ok"_s);
    QCOMPARE(m_server->requests().size(), 1);
    const HttpRequest request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, target);
    QCOMPARE(request.header("Host"), m_server->origin().toLatin1());
}

void TestGetBody::everyRequestCarriesIfModifiedSince()
{
    m_server->setHandler([](const HttpRequest &) { return HttpResponse::text("same"); });
    const QString url = address(*m_server, "/soft/version/main.txt");
    awaited(GetBody(url));
    awaited(GetBody(url));
    const QList<HttpRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    for (const HttpRequest &request : requests)
        QCOMPARE(request.header("If-Modified-Since"), QByteArray("0"));
}

void TestGetBody::statusIsNeverRead_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("404 with a page") << 404 << QByteArray("<html>not here</html>");
    QTest::newRow("500 with a page") << 500 << QByteArray("oops");
    QTest::newRow("200 empty") << 200 << QByteArray();
    QTest::newRow("404 empty") << 404 << QByteArray();
}

void TestGetBody::statusIsNeverRead()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    m_server->setHandler([&](const HttpRequest &) { return HttpResponse::text(body, "text/html", status); });
    QCOMPARE(awaited(GetBody(address(*m_server, "/x"))), QString::fromUtf8(body));
}

void TestGetBody::followsRedirects()
{
    m_server->setHandler([this](const HttpRequest &request) {
        if (request.path() == "/old")
            return HttpResponse::redirect(m_server->url("/new"));
        return HttpResponse::text("moved here");
    });
    QCOMPARE(awaited(GetBody(address(*m_server, "/old"))), u"moved here"_s);
}

void TestGetBody::localAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("network");
    QTest::newRow("a public name") << u"http://other.kuwo.cn/x.mp3"_s << true;
    QTest::newRow("a public address") << u"http://8.8.8.8/x"_s << true;
    QTest::newRow("public IPv6") << u"https://[2001:4860::8888]/x"_s << true;
    QTest::newRow("localhost") << u"http://localhost:8080/x"_s << false;
    QTest::newRow("a name under localhost") << u"http://a.localhost./x"_s << false;
    QTest::newRow("loopback") << u"http://127.0.0.1:1/x"_s << false;
    QTest::newRow("loopback, short") << u"http://127.1/x"_s << false;
    QTest::newRow("loopback, one number") << u"http://2130706433/x"_s << false;
    QTest::newRow("loopback, hexadecimal") << u"http://0x7f.0.0.1/x"_s << false;
    QTest::newRow("unspecified") << u"http://0.0.0.0/x"_s << false;
    QTest::newRow("private 10") << u"http://10.1.2.3/x"_s << false;
    QTest::newRow("private 172.16") << u"http://172.31.255.1/x"_s << false;
    QTest::newRow("172.32 is public") << u"http://172.32.0.1/x"_s << true;
    QTest::newRow("private 192.168") << u"http://192.168.1.1/x"_s << false;
    QTest::newRow("shared 100.64") << u"http://100.100.1.1/x"_s << false;
    QTest::newRow("link-local") << u"http://169.254.169.254/latest"_s << false;
    QTest::newRow("IPv6 loopback") << u"http://[::1]:80/x"_s << false;
    QTest::newRow("IPv6 unspecified") << u"http://[::]/x"_s << false;
    QTest::newRow("IPv6 unique local") << u"http://[fd00::1]/x"_s << false;
    QTest::newRow("IPv6 link-local") << u"http://[fe80::1]/x"_s << false;
    QTest::newRow("IPv4 inside IPv6") << u"http://[::ffff:127.0.0.1]/x"_s << false;
    QTest::newRow("a file") << u"file:///etc/passwd"_s << false;
}

void TestGetBody::localAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, network);
    QCOMPARE(isNetworkAddress(QUrl(address)), network);
}

void TestGetBody::redirectsFromTheNetwork_data()
{
    QTest::addColumn<QByteArray>("location"); // %1: the local server's port
    QTest::addColumn<bool>("followed");
    QTest::newRow("to the network") << QByteArray("http://cdn.kuwo.cn/y") << true;
    QTest::newRow("to this machine") << QByteArray("http://127.0.0.1:%1/y") << false;
    QTest::newRow("to localhost") << QByteArray("http://localhost:%1/y") << false;
    QTest::newRow("to the local network") << QByteArray("http://192.168.0.1/y") << false;
}

// Through a proxy, as the tool reaches the service: a request for a host of the network
// may be redirected within the network, never to this machine or its network, and the
// refused address is never asked.
void TestGetBody::redirectsFromTheNetwork()
{
    QFETCH(QByteArray, location);
    QFETCH(bool, followed);
    // Under wine Qt's HTTP thread now and then fails a redirect it follows from this
    // loopback server (see tst_loadpicture): the refusals are what these rows prove.
    if (followed && runningUnderWine())
        QSKIP("a followed redirect from loopback is not reliable under wine");
    location.replace("%1", QByteArray::number(m_server->port()));
    m_server->setHandler([&](const HttpRequest &request) {
        if (request.hostName() == "www.kuwo.cn")
            return HttpResponse::redirect(location);
        return HttpResponse::text("arrived");
    });
    QNetworkAccessManager &manager = networkAccessManager();
    const QNetworkProxy before = manager.proxy();
    manager.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server->port()));
    const auto restore = qScopeGuard([&] { manager.setProxy(before); });
    QElapsedTimer clock;
    clock.start();
    try {
        QCOMPARE(awaited(GetBody(u"http://www.kuwo.cn/x"_s, kLongLimits)), u"arrived"_s);
        QVERIFY(followed);
    } catch (const ContentError &) {
        QVERIFY(!followed);
    }
    QVERIFY2(clock.elapsed() < 3000, "not refused at once");
    // (A followed one may be asked twice: Qt sends it again when the proxy has closed the
    // connection it chose.)
    if (followed)
        QVERIFY(m_server->requests().size() >= 2);
    else
        QCOMPARE(m_server->requests().size(), 1);
}

void TestGetBody::failures_data()
{
    QTest::addColumn<int>("kind"); // 0 FetchError, 1 FetchTimeout, 2 FetchTooLarge
    QTest::addColumn<HttpResponse>("response");
    HttpResponse reset = HttpResponse::text(QByteArray(100000, 'x'));
    reset.resetAfter = 5000;
    HttpResponse stall;
    stall.stall = true;
    HttpResponse headersThenSilence = HttpResponse::text(QByteArray(1000, 'x'));
    headersThenSilence.delay = std::chrono::milliseconds(5000);
    HttpResponse tooLarge = HttpResponse::text(QByteArray(64 * 1024, 'x'));
    tooLarge.repeat = 17; // 1.06 MiB against a bound of 1 MiB
    HttpResponse tooLargeUndeclared = tooLarge;
    tooLargeUndeclared.sendContentLength = false;
    QTest::newRow("reset mid-body") << 0 << reset;
    QTest::newRow("never answers") << 1 << stall;
    QTest::newRow("answers too late") << 1 << headersThenSilence;
    QTest::newRow("declared length over the bound") << 2 << tooLarge;
    QTest::newRow("undeclared length over the bound") << 2 << tooLargeUndeclared;
    QTest::newRow("redirect loop") << 0 << HttpResponse::redirect("/x");
    QTest::newRow("redirect to a file") << 0 << HttpResponse::redirect("file:///etc/passwd");
    QTest::newRow("deflate inflating past the bound")
        << 2 << HttpResponse::deflated(QByteArray(4 << 20, ' '));
    // Past Qt's own check of a compressed answer's ratio, which ends it with an error.
    HttpResponse bomb = HttpResponse::gzipped(QByteArray(64 << 20, '\0'));
    bomb.repeat = 16; // gzip members one after another: 1 GiB
    QTest::newRow("gzip bomb") << 0 << bomb;
}

void TestGetBody::failures()
{
    QFETCH(int, kind);
    QFETCH(HttpResponse, response);
    const FetchLimits limits = kind == 1 ? kShortLimits : kLongLimits;
    m_server->setHandler([&](const HttpRequest &) { return response; });
    QElapsedTimer clock;
    clock.start();
    try {
        awaited(GetBody(address(*m_server, "/x"), limits));
        QFAIL("no error");
    } catch (const FetchTimeout &) {
        QCOMPARE(kind, 1);
    } catch (const FetchTooLarge &) {
        QCOMPARE(kind, 2);
    } catch (const FetchError &) {
        QCOMPARE(kind, 0);
    }
    // Failing fast: at the bound only when the bound is the fault.
    QVERIFY2(clock.elapsed() < (kind == 1 ? limits.timeout.count() + 2500 : 3000), "the bound was not kept");
}

void TestGetBody::refusedAddressSendsNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << u"   "_s;
    QTest::newRow("no scheme") << u"www.kuwo.cn/yinyue/1/"_s;
    QTest::newRow("other scheme") << u"ftp://127.0.0.1/x"_s;
    QTest::newRow("no host") << u"http:///"_s;
}

void TestGetBody::refusedAddressSendsNothing()
{
    QFETCH(QString, url);
    QVERIFY_THROWS_EXCEPTION(FetchError, awaited(GetBody(url)));
    QVERIFY(m_server->requests().isEmpty());
}

void TestGetBody::refusedConnection()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    QVERIFY_THROWS_EXCEPTION(FetchError, awaited(GetBody(u"http://127.0.0.1:%1/x"_s.arg(port))));
}

void TestGetBody::decoding_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    const QString page = u"<title>晴天_周_酷我</title>"_s;
    // The same title in GB18030, as bytes: Qt for Windows has no GB18030 encoder.
    const QByteArray gb("<title>\xc7\xe7\xcc\xec_\xd6\xdc_\xbf\xe1\xce\xd2</title>");
    QTest::newRow("GB18030 named in the header") << gb << QByteArray("text/html; charset=GB2312");
    QTest::newRow("GB18030 named in a meta tag")
        << (QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />") + gb)
        << QByteArray("text/html");
    QTest::newRow("GB18030 named nowhere") << gb << QByteArray("text/html");
    QTest::newRow("UTF-8 named in the header") << page.toUtf8() << QByteArray("text/html; charset=utf-8");
    QTest::newRow("UTF-8 named nowhere") << page.toUtf8() << QByteArray();
}

void TestGetBody::decoding()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    m_server->setHandler([&](const HttpRequest &) { return HttpResponse::text(body, contentType); });
    const QString text = awaited(GetBody(address(*m_server, "/page")));
    QVERIFY2(text.endsWith(u"<title>晴天_周_酷我</title>"_s), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestGetBody)
#include "tst_getbody.moc"
