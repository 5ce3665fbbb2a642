#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>

#include "awaited.h"
#include "core/errors.h"
#include "core/kuwoquality.h"
#include "core/kuwotoday.h"
#include "core/lyricsfile.h"
#include "core/songresolver.h"
#include "httptestserver.h"
#include "musicservice.h"
#include "reportrecorder.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using Route = MusicService::Route;

namespace {

using Recorder = ReportRecorder;

HttpResponse resetAnswer()
{
    HttpResponse reset = HttpResponse::text(QByteArray(20000, 'x'));
    reset.resetAfter = 100;
    return reset;
}

} // namespace

// The service as it answers today: the address rule, each endpoint's answer, and the
// fallback from the classic page, at the wire.
class TestTodayFlow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void songIdFromText_data();
    void songIdFromText();
    void lyricQueryMatchesTheService();
    void lyricAnswers_data();
    void lyricAnswers();
    void plainLines_data();
    void plainLines();
    void songRecords_data();
    void songRecords();
    void fallbackAtTheWire_data();
    void fallbackAtTheWire();
    void todayFailures_data();
    void todayFailures();
    void noticeRule_data();
    void noticeRule();
    void offeredQualities_data();
    void offeredQualities();
    void qualityAnswers_data();
    void qualityAnswers();
    void lyricsFileBeside_data();
    void lyricsFileBeside();

private:
    // The song resolved as the program does: the configured hosts, through a proxy.
    QStringList resolve(const QString &address, Recorder &recorder, bool *succeeded = nullptr);
    QByteArrayList paths() const;

    HttpTestServer m_server;
    MusicService m_service{ServiceConfig::fromBuild()};
    SongInfo m_info;
    ServiceConfig m_config = ServiceConfig::fromBuild();
    // Answers for the song file by method, instead of the service's.
    std::function<std::optional<HttpResponse>(const HttpRequest &)> m_mediaAnswer;
};

void TestTodayFlow::initTestCase()
{
    QVERIFY(m_server.listen());
    m_server.setHandler([this](const HttpRequest &request) {
        if (m_mediaAnswer && request.path().endsWith(".mp3")) {
            if (const std::optional<HttpResponse> answer = m_mediaAnswer(request))
                return *answer;
        }
        return m_service.answer(request);
    });
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server.port()));
}

void TestTodayFlow::init()
{
    m_server.clearRequests();
    m_service.clearFaults();
    m_service.setLyricCallLimit(-1);
    m_service.setSongs(sampleSongs() << sunnyDay("1007"));
    m_info = {};
    m_config = ServiceConfig::fromBuild();
    m_mediaAnswer = nullptr;
}

void TestTodayFlow::cleanupTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

QStringList TestTodayFlow::resolve(const QString &address, Recorder &recorder, bool *succeeded)
{
    bool ok = true;
    try {
        awaited(ResolveSong(m_info, address, recorder, m_config));
    } catch (const Error &) {
        ok = false;
    }
    if (succeeded)
        *succeeded = ok;
    return recorder.calls;
}

QByteArrayList TestTodayFlow::paths() const
{
    QByteArrayList paths;
    for (const HttpRequest &request : m_server.requests())
        paths << request.path();
    return paths;
}

void TestTodayFlow::songIdFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    const QString id = u"228908"_s;
    QTest::newRow("play_detail") << u"https://www.kuwo.cn/play_detail/228908"_s << id;
    QTest::newRow("play_detail on kuwo.cn") << u"http://kuwo.cn/play_detail/228908"_s << id;
    QTest::newRow("phone page") << u"https://m.kuwo.cn/newh5app/play_detail/228908?from=ip"_s << id;
    QTest::newRow("phone app's copy link")
        << u"https://m.kuwo.cn/yinyue/228908?f=arphone&t=usercopy&isstar=0"_s << id;
    QTest::newRow("classic") << u"http://www.kuwo.cn/yinyue/228908/?catalog=yueku2016"_s << id;
    QTest::newRow("musicId with MUSIC_") << u"http://www.kuwo.cn/x?musicId=MUSIC_228908"_s << id;
    QTest::newRow("rid") << u"http://www.kuwo.cn/x?a=1&rid=228908"_s << id;
    QTest::newRow("mid") << u"http://m.kuwo.cn/x?mid=228908"_s << id;
    QTest::newRow("id") << u"http://kuwo.cn/x?id=MUSIC_228908"_s << id;
    QTest::newRow("share text")
        << u"分享歌曲《晴天》 https://m.kuwo.cn/yinyue/228908?f=arphone&t=usercopy 来自酷我音乐"_s << id;
    QTest::newRow("share text without blanks") << u"分享歌曲《晴天》https://m.kuwo.cn/yinyue/228908来自酷我音乐"_s << id;
    QTest::newRow("no scheme") << u"www.kuwo.cn/play_detail/228908"_s << id;
    QTest::newRow("no scheme, bare host") << u"kuwo.cn/play_detail/228908"_s << id;
    QTest::newRow("capitals") << u"HTTP://WWW.KUWO.CN/play_detail/228908"_s << id;
    QTest::newRow("the second address names it")
        << u"https://www.kuwo.cn/ https://www.kuwo.cn/play_detail/228908"_s << id;
    QTest::newRow("lookalike: longer host") << u"https://www.kuwo.cn.evil.example/play_detail/1"_s << QString();
    QTest::newRow("lookalike: suffix") << u"https://evilkuwo.cn/play_detail/1"_s << QString();
    QTest::newRow("lookalike: another domain") << u"https://www.kuwo.com/play_detail/1"_s << QString();
    QTest::newRow("inside another address") << u"http://evil.example/?u=https://kuwo.cn/play_detail/1"_s
                                            << QString();
    QTest::newRow("user name before another host") << u"http://kuwo.cn@evil.example/play_detail/1"_s
                                                   << QString();
    QTest::newRow("playlist") << u"https://www.kuwo.cn/playlist_detail/123"_s << QString();
    QTest::newRow("album") << u"https://www.kuwo.cn/album_detail/123"_s << QString();
    QTest::newRow("no digits") << u"https://www.kuwo.cn/play_detail/abc?rid=MUSIC_x"_s << QString();
    QTest::newRow("21 digits") << u"https://www.kuwo.cn/play_detail/123456789012345678901"_s << QString();
    QTest::newRow("no address") << u"晴天 周杰伦"_s << QString();
}

void TestTodayFlow::songIdFromText()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(corvane::songIdFromText(text), id);
}

void TestTodayFlow::lyricQueryMatchesTheService()
{
    QCOMPARE(lyricQuery(u"228908"_s),
             QByteArray("DBYAHlReXEpRUEAeCgxVEgAORRgLG0MXCRgaCwoRAB5UAwEaBAkEBhwaXxcAHVReSAsMAVEkOj0wJjpeW1dXSV1DABsMFk"
                        "RU"));
}

void TestTodayFlow::lyricAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("lrc"); // empty: the answer is refused
    const QString lrc = u"[ti:晴天]\r\n[00:19.205]<1183,-1183>故事的<2231,-541>小黄花\r\n"_s;
    const QByteArray good = lyricEnvelope(lrc);
    const QByteArray body = good.mid(good.indexOf("\r\n\r\n") + 4);
    QTest::newRow("the service's envelope") << good << lrc;
    QTest::newRow("no lyrics") << QByteArray("tp=none\r\ncand_lrc_count=0\r\n\r\n") << QString();
    QTest::newRow("rate limit") << QByteArray("tp=error\r\n\r\nTP=ERROR REQUEST") << QString();
    QTest::newRow("no header end") << QByteArray("tp=content\r\n") + body << QString();
    QTest::newRow("cut short") << good.first(good.size() - 10) << QString();
    QTest::newRow("not zlib") << QByteArray("tp=content\r\n\r\nnot zlib at all") << QString();
    QTest::newRow("zlib of no Base64") << QByteArray("tp=content\r\n\r\n") + qCompress("#$%^&*").mid(4) << QString();
    // 64 MiB of "A" compresses to some 64 KiB: it must fail, not take the memory.
    QTest::newRow("zlib bomb") << QByteArray("tp=content\r\n\r\n") + qCompress(QByteArray(64 << 20, 'A'), 9).mid(4)
                               << QString();
}

void TestTodayFlow::lyricAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, lrc);
    if (lrc.isEmpty())
        QVERIFY_THROWS_EXCEPTION(ContentError, readLyricAnswer(answer));
    else
        QCOMPARE(readLyricAnswer(answer), lrc);
}

void TestTodayFlow::plainLines_data()
{
    QTest::addColumn<QString>("lrc");
    QTest::addColumn<QString>("lines");
    QTest::newRow("tags dropped") << u"[ti:晴天]\n[ar:周杰伦]\n[offset:0]\n[kuwo:123]\n[00:01.00]一"_s << u"一"_s;
    QTest::newRow("word markers, negative numbers")
        << u"[00:19.205]<1183,-1183>故事的<2231,-541>小黄花"_s << u"故事的小黄花"_s;
    QTest::newRow("markers with three numbers") << u"[00:01.20]<0,400,1>轻轻<400,610,-2>唱"_s << u"轻轻唱"_s;
    QTest::newRow("several time stamps: the text once") << u"[00:09.30][00:20.00]副歌"_s << u"副歌"_s;
    QTest::newRow("two-digit fractions and CR LF") << u"[00:01.20]一\r\n[00:02.30]二\r\n"_s << u"一\r\n二"_s;
    QTest::newRow("empty lines dropped") << u"[00:01.00]\n\n[00:02.00]<0,0>\n[00:03.00]三"_s << u"三"_s;
    QTest::newRow("translation kept in file order")
        << u"[00:05.10]<0,0>Moonlight<0,0> on me\n[00:05.10]<0,400>月光"_s << u"Moonlight on me\r\n月光"_s;
    QTest::newRow("a < that is no marker stays") << u"[00:01.00]a <3 b"_s << u"a <3 b"_s;
}

void TestTodayFlow::plainLines()
{
    QFETCH(QString, lrc);
    QFETCH(QString, lines);
    QCOMPARE(plainLyricLines(lrc), lines);
}

void TestTodayFlow::songRecords_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("name"); // empty: refused
    QTest::addColumn<qint64>("duration");
    QTest::newRow("numbers") << QByteArray(R"({"errorcode":0,"songs":[{"name":"晴天","artist":"周杰伦","duration":269}]})")
                             << u"晴天"_s << qint64(269);
    QTest::newRow("numbers as strings")
        << QByteArray(R"({"errorcode":"0","songs":[{"name":"晴天","artist":"周杰伦","duration":"269"}]})") << u"晴天"_s
        << qint64(269);
    QTest::newRow("with its MINFO")
        << QByteArray(R"({"errorcode":0,"songs":[{"name":"晴天","artist":"周杰伦","duration":269,)"
                      R"("MINFO":"level:ff,bitrate:2000,format:flac,size:52.83Mb;level:h,bitrate:128,format:mp3"}]})")
        << u"晴天"_s << qint64(269);
    QTest::newRow("character references, decoded once")
        << QByteArray(R"({"errorcode":0,"songs":[{"name":"春&amp;秋&amp;lt;","artist":"周杰伦"}]})")
        << u"春&秋&lt;"_s << qint64(0);
    QTest::newRow("an error code") << QByteArray(R"({"errorcode":1,"songs":[{"name":"晴天"}]})") << QString()
                                   << qint64(0);
    QTest::newRow("an error code as text") << QByteArray(R"({"errorcode":"5","songs":[{"name":"晴天"}]})")
                                           << QString() << qint64(0);
    QTest::newRow("no songs") << QByteArray(R"({"errorcode":0,"songs":[]})") << QString() << qint64(0);
    QTest::newRow("no name") << QByteArray(R"({"errorcode":0,"songs":[{"artist":"周杰伦"}]})") << QString()
                             << qint64(0);
    QTest::newRow("not JSON") << QByteArray("Invalid op") << QString() << qint64(0);
    QTest::newRow("a JSON array") << QByteArray("[1,2]") << QString() << qint64(0);
}

void TestTodayFlow::songRecords()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, name);
    QFETCH(qint64, duration);
    if (name.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(ContentError, readMusicPay(answer));
        return;
    }
    const PaySong song = readMusicPay(answer);
    QCOMPARE(song.name, name);
    QCOMPARE(song.artist, u"周杰伦"_s);
    QCOMPARE(song.duration, duration);
    QCOMPARE(song.offered, qstrcmp(QTest::currentDataTag(), "with its MINFO") == 0
                               ? (QList<OfferedFile>{{Quality::Flac, 52830000}, {Quality::Mp3_128, 0}})
                               : QList<OfferedFile>());
}

void TestTodayFlow::fallbackAtTheWire_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArrayList>("paths");
    QTest::addColumn<bool>("succeeds");
    const QByteArray link = "/anti.s";
    QTest::newRow("a classic page with names: no today request")
        << u"http://www.kuwo.cn/yinyue/1007/"_s
        << QByteArrayList{"/yinyue/1007/", link, "/webmusic/st/getNewMuiseByRid", "/sample-media/1007.jpg"} << true;
    QTest::newRow("a classic page failing after the names: no today request")
        << u"http://www.kuwo.cn/yinyue/2002/"_s << QByteArrayList{"/yinyue/2002/", link} << false;
    QTest::newRow("a classic page answering 500: the today flow")
        << u"http://www.kuwo.cn/yinyue/3004/"_s
        << QByteArrayList{"/yinyue/3004/", "/music.pay", link, "/sample-media/3004.mp3", "/newlyric.lrc", "/pic.web",
                          "/sample-media/3004.jpg"}
        << true;
    QTest::newRow("a share text: no classic request")
        << u"分享歌曲《山风》 http://m.kuwo.cn/yinyue/3003?f=arphone 来自酷我音乐"_s
        << QByteArrayList{"/music.pay", link, "/sample-media/3003.mp3", "/newlyric.lrc", "/pic.web",
                          "/sample-media/3003.jpg"}
        << true;
    QTest::newRow("not the service's address: no today request")
        << u"http://www.example.org/yinyue/3004/"_s << QByteArrayList{"/yinyue/3004/"} << false;
}

void TestTodayFlow::fallbackAtTheWire()
{
    QFETCH(QString, address);
    QFETCH(QByteArrayList, paths);
    QFETCH(bool, succeeds);
    Recorder recorder;
    bool succeeded = false;
    resolve(address, recorder, &succeeded);
    QCOMPARE(succeeded, succeeds);
    QCOMPARE(this->paths(), paths);
}

void TestTodayFlow::todayFailures_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("route"); // -1: none
    QTest::addColumn<HttpResponse>("answer");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<bool>("succeeds");
    const QStringList names{u"names"_s}, namesLink{u"names"_s, u"link"_s},
        upToLyrics{u"names"_s, u"link"_s, u"lyrics"_s}, all{u"names"_s, u"link"_s, u"lyrics"_s, u"picture"_s};
    const HttpResponse none;
    QTest::newRow("record: an error code")
        << u"3001"_s << int(Route::SongRecord) << HttpResponse::text(R"({"errorcode":302,"songs":[]})")
        << QStringList() << false;
    QTest::newRow("record: connection reset") << u"3001"_s << int(Route::SongRecord) << resetAnswer()
                                              << QStringList() << false;
    QTest::newRow("link: IPDeny") << u"3006"_s << -1 << none << names << false;
    QTest::newRow("lyrics: none") << u"3007"_s << -1 << none << namesLink << false;
    QTest::newRow("lyrics: not decodable") << u"3001"_s << int(Route::Lyrics)
                                           << HttpResponse::text("tp=content\r\n\r\ngarbage") << namesLink << false;
    QTest::newRow("picture address: connection reset")
        << u"3001"_s << int(Route::PictureAddress) << resetAnswer() << upToLyrics << false;
    QTest::newRow("picture address: none, no failure") << u"3008"_s << -1 << none << all << true;
}

void TestTodayFlow::todayFailures()
{
    QFETCH(QString, id);
    QFETCH(int, route);
    QFETCH(HttpResponse, answer);
    QFETCH(QStringList, reports);
    QFETCH(bool, succeeds);
    if (route >= 0)
        m_service.setFault(Route(route), answer);
    Recorder recorder;
    bool succeeded = false;
    QCOMPARE(resolve(m_service.songAddress(id.toLatin1()), recorder, &succeeded), reports);
    QCOMPARE(succeeded, succeeds);
    if (succeeds)
        QVERIFY(recorder.picture.isNull());
}

void TestTodayFlow::offeredQualities_data()
{
    QTest::addColumn<QString>("minfo");
    QTest::addColumn<int>("chosen"); // a Quality
    QTest::addColumn<QString>("offered"); // quality:bytes, highest first
    QTest::addColumn<QString>("asked"); // the qualities asked in turn
    const QString all = u"level:ff,bitrate:2000,format:flac,size:52.83Mb;level:p,bitrate:320,format:mp3,size:10.29Mb;"
                        u"level:h,bitrate:128,format:mp3,size:4.12Mb"_s;
    const int flac = int(Quality::Flac), mp3_320 = int(Quality::Mp3_320), mp3_128 = int(Quality::Mp3_128);
    QTest::newRow("all three, FLAC chosen") << all << flac << u"2:52830000 1:10290000 0:4120000"_s << u"2 1 0"_s;
    QTest::newRow("all three, 320k chosen") << all << mp3_320 << u"2:52830000 1:10290000 0:4120000"_s << u"1 0"_s;
    QTest::newRow("no FLAC: FLAC chosen asks 320k first")
        << u"bitrate:128,format:mp3,size:4.12Mb;bitrate:320,format:mp3,size:830Kb"_s << flac
        << u"1:830000 0:4120000"_s << u"1 0"_s;
    QTest::newRow("encrypted and odd formats left out")
        << u"level:ff,bitrate:2000,format:mflac,size:50Mb;bitrate:192,format:mp3;bitrate:48,format:aac;"
           u"bitrate:128,format:mgg;bitrate:128,format:mp3"_s
        << flac << u"0:0"_s << u"0"_s;
    QTest::newRow("a 24-bit FLAC, listed twice") << u"bitrate:4000,format:flac,size:90Mb;bitrate:2000,format:flac"_s
                                                 << flac << u"2:90000000"_s << u"2"_s;
    QTest::newRow("nothing said: the chosen and each below") << QString() << flac << QString() << u"2 1 0"_s;
    QTest::newRow("garbage: as nothing said") << u"format;bitrate:;;size:Mb,,:"_s << mp3_320 << QString()
                                               << u"1 0"_s;
    QTest::newRow("only higher than chosen: none asked") << u"bitrate:2000,format:flac,size:1e99Mb"_s << mp3_128
                                                         << u"2:0"_s << QString();
}

// What a song offers, and what is asked of the signed endpoint for a choice.
void TestTodayFlow::offeredQualities()
{
    QFETCH(QString, minfo);
    QFETCH(int, chosen);
    QFETCH(QString, offered);
    QFETCH(QString, asked);
    const QList<OfferedFile> files = readOfferedFiles(minfo);
    QStringList read;
    for (const OfferedFile &file : files)
        read << u"%1:%2"_s.arg(int(file.quality)).arg(file.size);
    QCOMPARE(read.join(u' '), offered);
    QStringList order;
    for (const Quality quality : qualitiesToAsk(Quality(chosen), files))
        order << QString::number(int(quality));
    QCOMPARE(order.join(u' '), asked);
}

void TestTodayFlow::qualityAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("asked"); // a Quality
    QTest::addColumn<int>("kind");  // QualityAnswer::Kind
    QTest::addColumn<QString>("link");
    const int flac = int(Quality::Flac), mp3_320 = int(Quality::Mp3_320), mp3_128 = int(Quality::Mp3_128);
    const int link = int(QualityAnswer::Kind::Link), refused = int(QualityAnswer::Kind::Refused),
              gone = int(QualityAnswer::Kind::Unavailable);
    const QByteArray url = "http://sycdn.kuwo.cn/a/M800.mp3?sig=1";
    auto success = [&](const QByteArray &bitrate, const QByteArray &format, const QByteArray &address) {
        return R"({"code":200,"msg":"success","data":{"bitrate":)" + bitrate + R"(,"format":")" + format +
               R"(","rid":228908,"url":")" + address + R"(","duration":269}})";
    };
    QTest::newRow("320k as asked") << success("320", "mp3", url) << mp3_320 << link << QString::fromLatin1(url);
    QTest::newRow("numbers as strings") << QByteArray(R"({"code":"200","data":{"bitrate":"128","format":"MP3","url":")" +
                                                      url + R"("}})")
                                        << mp3_128 << link << QString::fromLatin1(url);
    QTest::newRow("FLAC as asked") << success("2000", "flac", "https://x.kuwo.cn/b.flac") << flac << link
                                   << u"https://x.kuwo.cn/b.flac"_s;
    QTest::newRow("a 24-bit FLAC for FLAC") << success("4000", "flac", "http://x.kuwo.cn/b.flac") << flac << link
                                            << u"http://x.kuwo.cn/b.flac"_s;
    QTest::newRow("FLAC asked, 320k served") << success("320", "mp3", url) << flac << refused << QString();
    QTest::newRow("320k asked, 128k served") << success("128", "mp3", url) << mp3_320 << refused << QString();
    QTest::newRow("FLAC asked, AAC served") << success("48", "aac", url) << flac << refused << QString();
    QTest::newRow("bitrate 1 (the source refused)") << success("1", "mp3", url) << mp3_128 << refused << QString();
    QTest::newRow("url None") << success("320", "mp3", "None") << mp3_320 << refused << QString();
    QTest::newRow("url a local file") << success("320", "mp3", "file:///etc/passwd") << mp3_320 << refused
                                      << QString();
    QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << mp3_320 << refused << QString();
    QTest::newRow("404: not there") << QByteArray(R"({"code":404,"msg":"music not found"})") << flac << gone
                                    << QString();
    QTest::newRow("407: the region") << QByteArray(R"({"code":407,"data":{"url":"None"},"msg":"版权"})") << flac
                                     << gone << QString();
    QTest::newRow("another code") << QByteArray(R"({"code":500,"data":{"bitrate":320,"format":"mp3","url":")" + url +
                                                R"("}})")
                                  << mp3_320 << refused << QString();
}

// The signed endpoint's answer: kept only when it is the quality asked, at a web link.
void TestTodayFlow::qualityAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, asked);
    QFETCH(int, kind);
    QFETCH(QString, link);
    const QualityAnswer read = readQualityAnswer(answer, Quality(asked));
    QCOMPARE(int(read.kind), kind);
    QCOMPARE(read.link, link);
}

void TestTodayFlow::noticeRule_data()
{
    QTest::addColumn<int>("duration");      // seconds, in the song record
    QTest::addColumn<HttpResponse>("head"); // the answers for the song file
    QTest::addColumn<HttpResponse>("range");
    QTest::addColumn<bool>("linkStands");
    auto file = [](qint64 bytes) { return HttpResponse::text(QByteArray(bytes, '\xff'), "audio/mpeg"); };
    auto range = [](qint64 total) {
        return HttpResponse::text("\xff", "audio/mpeg", 206)
            .withHeader("Content-Range", "bytes 0-0/" + QByteArray::number(total));
    };
    HttpResponse refused = HttpResponse::text({}, "text/plain", 405);
    HttpResponse stall;
    stall.stall = true;
    HttpResponse noLength = file(1000);
    noLength.sendContentLength = false;
    // 240 s at 128 kbit/s is 3,840,000 bytes; under 40 % of it, 1,536,000, is a notice.
    QTest::newRow("a 10 s notice for a 240 s song") << 240 << file(160000) << refused << false;
    QTest::newRow("just under 40 %") << 240 << file(1535999) << refused << false;
    QTest::newRow("40 %: the song") << 240 << file(1536000) << refused << true;
    QTest::newRow("HEAD refused, the range answered: a notice") << 240 << refused << range(160000) << false;
    QTest::newRow("HEAD refused, the range answered: the song") << 240 << refused << range(3840000) << true;
    QTest::newRow("no size anywhere: the link stands") << 240 << noLength << file(1000) << true;
    QTest::newRow("no answer in time: the link stands") << 240 << stall << stall << true;
    QTest::newRow("no duration: nothing asked") << 0 << file(160000) << file(160000) << true;
}

void TestTodayFlow::noticeRule()
{
    QFETCH(int, duration);
    QFETCH(HttpResponse, head);
    QFETCH(HttpResponse, range);
    QFETCH(bool, linkStands);
    m_service.song("3001")->duration = duration;
    m_mediaAnswer = [&](const HttpRequest &request) -> std::optional<HttpResponse> {
        return request.method == "HEAD" ? head : range;
    };
    m_config.sizeCheckTimeout = std::chrono::milliseconds(500);
    Recorder recorder;
    bool succeeded = false;
    QElapsedTimer clock;
    clock.start();
    const QStringList calls = resolve(m_service.songAddress("3001"), recorder, &succeeded);
    QCOMPARE(succeeded, linkStands);
    QCOMPARE(calls.size(), linkStands ? 4 : 1);
    QVERIFY2(clock.elapsed() < 5000, "the size question was not bounded");
    qsizetype asked = 0;
    for (const HttpRequest &request : m_server.requests())
        asked += request.path().endsWith(".mp3");
    QCOMPARE(asked > 0, duration > 0);
    if (!linkStands)
        QCOMPARE(m_info.DirectLink, QString()); // the failed step stored nothing
}

void TestTodayFlow::lyricsFileBeside_data()
{
    QTest::addColumn<QString>("song");
    QTest::addColumn<QString>("lrcName");
    QTest::addColumn<bool>("existing");
    QTest::newRow("beside an MP3") << u"周杰伦 - 晴天.mp3"_s << u"周杰伦 - 晴天.lrc"_s << false;
    QTest::newRow("another ending is kept") << u"晴天.MP3.bak"_s << u"晴天.MP3.bak.lrc"_s << false;
    QTest::newRow("an existing file is never replaced") << u"a.mp3"_s << u"a.lrc"_s << true;
}

void TestTodayFlow::lyricsFileBeside()
{
    QFETCH(QString, song);
    QFETCH(QString, lrcName);
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString lrcPath = dir.filePath(lrcName);
    if (existing) {
        QFile old(lrcPath);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("mine") == 4);
    }
    // The markers go, every line stays: tags, times, translations, an empty timed line.
    const QString lrc =
        lrcWithoutMarkers(u"[ti:晴天]\n[00:01.00]<0,400>故事的<400,-1>小黄花\r\n[00:01.00]<0,0>Story\n[00:02.00]\n"_s);
    QCOMPARE(writeLyricsBeside(dir.filePath(song), lrc), !existing);
    QFile written(lrcPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), existing ? QByteArray("mine")
                                         : QByteArray("\xEF\xBB\xBF") +
                                               u"[ti:晴天]\r\n[00:01.00]故事的小黄花\r\n[00:01.00]Story\r\n[00:02.00]\r\n"_s.toUtf8());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // nothing half-written beside it
}

QTEST_GUILESS_MAIN(TestTodayFlow)
#include "tst_todayflow.moc"
