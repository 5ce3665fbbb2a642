#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "awaited.h"
#include "core/errors.h"
#include "core/httpfetch.h"
#include "core/songresolver.h"
#include "httptestserver.h"
#include "musicservice.h"
#include "pictures.h"
#include "reportrecorder.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

QString songPage(const QString &title = u"晴天_周杰伦_酷我音乐"_s, const QString &singer = u"【周杰伦】"_s,
                 const QString &lyrics = u"复制歌词</a>故事的小黄花<br>从出生那年就飘着</div>"_s)
{
    return u"<html><head><title>"_s + title + u"</title></head><body><h1>"_s + singer +
           u"</h1><div class=\"lrc\"><a href=\"#\">"_s + lyrics + u"</body></html>"_s;
}

HttpResponse pageResponse(const QString &page)
{
    return HttpResponse::text(page.toUtf8(), "text/html; charset=utf-8");
}

using Recorder = ReportRecorder;

} // namespace

class TestResolveSong final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void success();
    void failureTable_data();
    void failureTable();
    void unreachedFieldsKeepPreviousValues();
    void receiverErrorEndsResolution();
    void unreadablePictureIsNoFailure();
    void localPictureIsNotRead_data();
    void localPictureIsNotRead();
    void stoppingEndsIt_data();
    void stoppingEndsIt();
    void cleanupTestCase();

private:
    QString pageAddress() const { return u"http://"_s + m_server->origin() + u"/yinyue/678/"_s; }

    std::unique_ptr<HttpTestServer> m_server;
    MusicService m_service;
    ServiceConfig m_config;
};

void TestResolveSong::init()
{
    m_server = std::make_unique<HttpTestServer>();
    QVERIFY(m_server->listen());
    m_config = ServiceConfig::onOrigin(m_server->origin());
    m_config.fetch.timeout = std::chrono::milliseconds(2000);
    m_service.setHosts(m_config);
    m_service.setSongs({sunnyDay("678", pngOf(Qt::red, 40)), sunnyDay("999", pngOf(Qt::red, 40))});
    m_service.clearFaults();
    m_server->setHandler([this](const HttpRequest &request) { return m_service.answer(request); });
}

void TestResolveSong::success()
{
    SongInfo info;
    Recorder recorder;
    awaited(ResolveSong(info, pageAddress(), recorder, m_config));

    QCOMPARE(recorder.calls, (QStringList{u"names"_s, u"link"_s, u"lyrics"_s, u"picture"_s}));
    QCOMPARE(recorder.songName, u"晴天"_s);
    QCOMPARE(recorder.singerName, u"周杰伦"_s);
    QCOMPARE(recorder.link, u"http://"_s + m_server->origin() + u"/sample-media/678.mp3"_s);
    QCOMPARE(recorder.lyrics, u"故事的小黄花\r\n从出生那年就飘着"_s);
    QCOMPARE(recorder.picture.size(), QSize(40, 40));
    QCOMPARE(info.Rid, u"678"_s);
    QCOMPARE(info.PictureAddress, u"http://"_s + m_server->origin() + u"/sample-media/678.jpg"_s);

    const QList<HttpRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 4);
    QCOMPARE(requests.at(0).target, QByteArray("/yinyue/678/"));
    QCOMPARE(requests.at(1).target,
             QByteArray("/anti.s?type=convert_url&response=url&rid=MUSIC_678&format=mp3%7Cmp3"));
    QCOMPARE(requests.at(2).target, QByteArray("/webmusic/st/getNewMuiseByRid?rid=MUSIC_678"));
    QCOMPARE(requests.at(3).target, QByteArray("/sample-media/678.jpg"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(requests.at(i).header("If-Modified-Since"), QByteArray("0"));
}

void TestResolveSong::failureTable_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("linkGiven");
    QTest::addColumn<HttpResponse>("link");
    QTest::addColumn<bool>("metadataGiven");
    QTest::addColumn<HttpResponse>("metadata");
    QTest::addColumn<QStringList>("reports");

    HttpResponse reset = HttpResponse::text(QByteArray(50000, 'x'));
    reset.resetAfter = 100;
    const HttpResponse none;
    const QStringList nothing;
    const QStringList names{u"names"_s};
    const QStringList namesLink{u"names"_s, u"link"_s};
    const QStringList namesLinkLyrics{u"names"_s, u"link"_s, u"lyrics"_s};

    QTest::newRow("page fetch: empty page") << QString() << false << none << false << none << nothing;
    QTest::newRow("singer cut: page without 【")
        << songPage(u"晴天_x"_s, u"周杰伦"_s) << false << none << false << none << nothing;
    QTest::newRow("name cut: page without <title>")
        << u"<html>【周杰伦】复制歌词</a>x</div></html>"_s << false << none << false << none << nothing;
    QTest::newRow("link conversion: connection reset")
        << songPage() << true << reset << false << none << names;
    QTest::newRow("link conversion: answers IPDeny")
        << songPage() << true << HttpResponse::text("IPDeny") << false << none << names;
    QTest::newRow("link conversion: a second line")
        << songPage() << true << HttpResponse::text("http://m.example/20.mp3\nrm -rf ~/important\n") << false
        << none << names;
    QTest::newRow("metadata: connection reset") << songPage() << false << none << true << reset << namesLink;
    QTest::newRow("lyrics cut: page without 复制歌词</a>")
        << songPage(u"晴天_x"_s, u"【周杰伦】"_s, u"歌词</a>x</div>"_s) << false << none << false << none
        << namesLink;
    QTest::newRow("picture address cut: record without <artist_pic240>")
        << songPage() << false << none << true
        << HttpResponse::text("<Song><artist_pic120>x</artist_pic120></Song>") << namesLinkLyrics;
}

void TestResolveSong::failureTable()
{
    QFETCH(QString, page);
    QFETCH(bool, linkGiven);
    QFETCH(HttpResponse, link);
    QFETCH(bool, metadataGiven);
    QFETCH(HttpResponse, metadata);
    QFETCH(QStringList, reports);

    m_service.setFault(MusicService::Route::SongPage, pageResponse(page));
    if (linkGiven)
        m_service.setFault(MusicService::Route::LinkConversion, link);
    if (metadataGiven)
        m_service.setFault(MusicService::Route::Metadata, metadata);
    SongInfo info;
    Recorder recorder;
    QVERIFY_THROWS_EXCEPTION(Error, awaited(ResolveSong(info, pageAddress(), recorder, m_config)));
    QCOMPARE(recorder.calls, reports);
}

void TestResolveSong::unreachedFieldsKeepPreviousValues()
{
    SongInfo info;
    Recorder first;
    awaited(ResolveSong(info, pageAddress(), first, m_config));
    const SongInfo before = info;

    m_service.setFault(MusicService::Route::SongPage, pageResponse(songPage(u"另一首_x"_s, u"【别人】"_s)));
    m_service.setFault(MusicService::Route::LinkConversion, HttpResponse::text("IPDeny"));
    Recorder second;
    QVERIFY_THROWS_EXCEPTION(ContentError, awaited(ResolveSong(info, pageAddress(), second, m_config)));
    QCOMPARE(info.SongName, u"另一首"_s);
    QCOMPARE(info.SingerName, u"别人"_s);
    QCOMPARE(info.DirectLink, before.DirectLink);
    QCOMPARE(info.LyricsText, before.LyricsText);
    QCOMPARE(info.PictureAddress, before.PictureAddress);
}

void TestResolveSong::receiverErrorEndsResolution()
{
    SongInfo info;
    Recorder recorder;
    recorder.throwAt = u"link"_s;
    QVERIFY_THROWS_EXCEPTION(ContentError, awaited(ResolveSong(info, pageAddress(), recorder, m_config)));
    QCOMPARE(recorder.calls, (QStringList{u"names"_s, u"link"_s}));
    QCOMPARE(m_server->requests().size(), 2);
}

void TestResolveSong::unreadablePictureIsNoFailure()
{
    // An empty address: still handed on.
    m_service.setFault(MusicService::Route::Metadata, HttpResponse::text("<artist_pic240></artist_pic240>"));
    SongInfo info;
    Recorder recorder;
    awaited(ResolveSong(info, pageAddress(), recorder, m_config));
    QCOMPARE(recorder.calls.size(), 4);
    QVERIFY(recorder.picture.isNull());
    QCOMPARE(info.PictureAddress, QString());
}

void TestResolveSong::localPictureIsNotRead_data()
{
    static QTemporaryDir dir;
    const QString picture = dir.filePath(u"portrait.png"_s);
    QFile file(picture);
    if (!file.open(QIODevice::WriteOnly) || file.write(pngOf(Qt::red, 40)) <= 0)
        qFatal("cannot write the picture");
    QTest::addColumn<QString>("address");
    QTest::newRow("a local path") << picture;
    QTest::newRow("a file address") << QUrl::fromLocalFile(picture).toString();
    QTest::newRow("a UNC path") << u"\\\\127.0.0.1\\share\\a.png"_s;
}

void TestResolveSong::localPictureIsNotRead()
{
    QFETCH(QString, address);
    m_service.setFault(MusicService::Route::Metadata,
                       HttpResponse::text("<artist_pic240>" + address.toUtf8() + "</artist_pic240>"));
    SongInfo info;
    Recorder recorder;
    awaited(ResolveSong(info, pageAddress(), recorder, m_config));
    QCOMPARE(recorder.calls.size(), 4);
    QCOMPARE(info.PictureAddress, address);
    QVERIFY(recorder.picture.isNull());
}

void TestResolveSong::stoppingEndsIt_data()
{
    QTest::addColumn<int>("reports");
    QTest::addColumn<int>("requests");
    QTest::newRow("during the page fetch") << 0 << 1;
    QTest::newRow("during the link conversion") << 1 << 2;
    QTest::newRow("during the metadata fetch") << 2 << 3;
    QTest::newRow("during the picture download") << 3 << 4;
}

// The request numbered `requests` never answers; the resolution is stopped while it waits.
void TestResolveSong::stoppingEndsIt()
{
    QFETCH(int, reports);
    QFETCH(int, requests);
    Requests owner;
    m_server->setHandler([&](const HttpRequest &request) {
        if (m_server->requests().size() < requests)
            return m_service.answer(request);
        QTimer::singleShot(50, &owner, &Requests::stop);
        HttpResponse stall;
        stall.stall = true;
        return stall;
    });
    SongInfo info;
    info.PictureAddress = u"before"_s;
    Recorder recorder;
    // Only the stop can end it: the fetch's own bound, far off, would throw instead.
    ServiceConfig config = m_config;
    config.fetch.timeout = std::chrono::seconds(60);
    QCOMPARE(awaited(ResolveSong(info, pageAddress(), recorder, config, &owner)), ResolveEnd::Stopped);
    QCOMPARE(recorder.calls.size(), reports);
    QCOMPARE(m_server->requests().size(), requests);
    QCOMPARE(owner.inFlight(), 0);
    // Nothing from the step that was stopped is stored.
    QCOMPARE(info.PictureAddress, reports < 3 ? u"before"_s : u"http://"_s + m_server->origin() + u"/sample-media/678.jpg"_s);
}

void TestResolveSong::cleanupTestCase()
{
    // The last rows end with requests just aborted, whose internal objects Qt's network
    // thread frees from its queue: a process that ends first leaves them to the leak
    // checker (seen beside four busy loops). The manager's end waits for that thread's.
    delete &networkAccessManager();
}

QTEST_GUILESS_MAIN(TestResolveSong)
#include "tst_resolvesong.moc"
