#include <QNetworkProxyFactory>
#include <QTest>

#include "awaited.h"
#include "core/errors.h"
#include "core/httpfetch.h"
#include "core/kuwotoday.h"
#include "core/proxyfactory.h"
#include "core/songresolver.h"
#include "httptestserver.h"
#include "musicservice.h"
#include "reportrecorder.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

using Reports = ReportRecorder;

} // namespace

class TestSampleService final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void originAndProxyFormAgree_data();
    void originAndProxyFormAgree();
    void everySampleSongThroughTheProxy_data();
    void everySampleSongThroughTheProxy();
    void aSampleNameIsShortened();
    void byteRanges_data();
    void byteRanges();

private:
    std::unique_ptr<MusicService> m_service;
    HttpTestServer m_server;
};

void TestSampleService::initTestCase()
{
    m_service = std::make_unique<MusicService>(ServiceConfig::fromBuild());
    m_server.setHandler([this](const HttpRequest &request) { return m_service->answer(request); });
    QVERIFY(m_server.listen());
}

void TestSampleService::cleanupTestCase()
{
    QNetworkProxyFactory::setApplicationProxyFactory(nullptr);
}

void TestSampleService::originAndProxyFormAgree_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("pathAndQuery");
    const ServiceConfig hosts = ServiceConfig::fromBuild();
    QTest::newRow("song page") << hosts.webHost.toLatin1() << QByteArray("/yinyue/1001/");
    QTest::newRow("link conversion")
        << hosts.linkHost.toLatin1()
        << QByteArray("/anti.s?type=convert_url&response=url&rid=MUSIC_1002&format=mp3%7Cmp3");
    QTest::newRow("metadata") << hosts.metadataHost.toLatin1()
                              << QByteArray("/webmusic/st/getNewMuiseByRid?rid=MUSIC_1003");
    QTest::newRow("version file") << hosts.versionHost.toLatin1() << QByteArray("/soft/version/main.txt");
}

void TestSampleService::originAndProxyFormAgree()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, pathAndQuery);
    HttpRequest origin;
    origin.method = "GET";
    origin.target = pathAndQuery;
    origin.headers.append({"Host", host});
    HttpRequest proxy = origin;
    proxy.target = "http://" + host + pathAndQuery;
    const HttpResponse a = m_service->answer(origin);
    const HttpResponse b = m_service->answer(proxy);
    QCOMPARE(a.status, 200);
    QCOMPARE(b.status, 200);
    QCOMPARE(a.body, b.body);
    QVERIFY(!a.body.isEmpty());

    // And on the wire, straight to the service.
    const QString text = awaited(GetBody(u"http://"_s + m_server.origin() + QString::fromLatin1(pathAndQuery)));
    QCOMPARE(text.isEmpty(), false);
}

void TestSampleService::everySampleSongThroughTheProxy_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("picture");
    const QStringList all{u"names"_s, u"link"_s, u"lyrics"_s, u"picture"_s};
    for (const FakeSong &song : sampleSongs()) {
        QStringList calls = all;
        if (!song.hasLyrics)
            calls = {u"names"_s, u"link"_s};
        if (song.linkDenied || servesNotice(songFile(song).size(), recordedDuration(song)))
            calls = {u"names"_s};
        const QString name = song.name.size() > 17 ? song.name.first(17) + u".."_s : song.name;
        QTest::newRow(song.id.constData()) << m_service->songAddress(song.id) << calls << name << song.hasPicture;
    }
    QTest::newRow("not a song page") << m_service->notASongAddress() << QStringList() << QString() << false;
}

void TestSampleService::everySampleSongThroughTheProxy()
{
    QFETCH(QString, address);
    QFETCH(QStringList, calls);
    QFETCH(QString, name);
    QFETCH(bool, picture);

    // As ./run starts the tool: the configured hosts, reached through http_proxy.
    qputenv("http_proxy", "http://" + m_server.origin().toLatin1());
    qunsetenv("no_proxy");
    QNetworkProxyFactory::setApplicationProxyFactory(new EnvironmentProxyFactory);
    m_server.clearRequests();

    SongInfo info;
    Reports reports;
    bool succeeded = true;
    try {
        awaited(ResolveSong(info, address, reports, ServiceConfig::fromBuild()));
    } catch (const Error &) {
        succeeded = false;
    }
    QCOMPARE(reports.calls, calls);
    QCOMPARE(succeeded, calls.size() == 4);
    if (!calls.isEmpty())
        QCOMPARE(reports.songName, name);
    if (succeeded) {
        QVERIFY(!reports.singerName.isEmpty());
        QVERIFY(!reports.lyrics.contains(u'<'));
        QVERIFY(!reports.lyrics.contains(QString(27, u' ')));
        QCOMPARE(!reports.picture.isNull(), picture);
    }
    // Every request went through the proxy, in absolute form.
    for (const HttpRequest &request : m_server.requests())
        QVERIFY2(request.target.startsWith("http://"), request.target.constData());
}

void TestSampleService::aSampleNameIsShortened()
{
    // The demo shows the shortening: at least one name is longer than the window takes.
    const QList<FakeSong> songs = sampleSongs();
    QVERIFY(std::any_of(songs.begin(), songs.end(),
                        [](const FakeSong &song) { return song.name.size() > kSongNameMaxUnits; }));
}

void TestSampleService::byteRanges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::newRow("no range: the whole") << QByteArray() << 200 << QByteArray("0123456789") << QByteArray();
    QTest::newRow("first bytes") << QByteArray("bytes=0-3") << 206 << QByteArray("0123")
                                 << QByteArray("bytes 0-3/10");
    QTest::newRow("from an offset on")
        << QByteArray("bytes=7-") << 206 << QByteArray("789") << QByteArray("bytes 7-9/10");
    QTest::newRow("the last bytes") << QByteArray("bytes=-2") << 206 << QByteArray("89")
                                    << QByteArray("bytes 8-9/10");
    QTest::newRow("past the end") << QByteArray("bytes=10-") << 416 << QByteArray()
                                  << QByteArray("bytes */10");
    QTest::newRow("not understood: the whole")
        << QByteArray("lines=1-2") << 200 << QByteArray("0123456789") << QByteArray();
}

void TestSampleService::byteRanges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentRange);
    const HttpResponse response = byteRange("0123456789", "audio/mpeg", range);
    QCOMPARE(response.status, status);
    QCOMPARE(response.body, body);
    QByteArray sentRange, acceptRanges;
    for (const auto &[name, value] : response.headers) {
        if (name == "Content-Range")
            sentRange = value;
        if (name == "Accept-Ranges")
            acceptRanges = value;
    }
    QCOMPARE(sentRange, contentRange);
    QCOMPARE(acceptRanges, QByteArray("bytes"));
}

QTEST_MAIN(TestSampleService)
#include "tst_sampleservice.moc"
