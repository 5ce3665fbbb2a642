#include <QTest>
#include <QUrlQuery>

#include "awaited.h"
#include "core/errors.h"
#include "core/kuwolists.h"
#include "httptestserver.h"
#include "musicservice.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using Kind = SongListRequest::Kind;

Q_DECLARE_METATYPE(corvane::SongListRequest::Kind)

// The service's lists: what a pasted text asks for, each endpoint's reading, and the
// paging at the wire.
class TestKuwoLists final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listFromText_data();
    void listFromText();
    void readers_data();
    void readers();
    void entities_data();
    void entities();
    void pagingAtTheWire_data();
    void pagingAtTheWire();

private:
    HttpTestServer m_server;
    MusicService m_service;
    // Answers instead of the service's, when set.
    std::function<HttpResponse(const HttpRequest &)> m_answer;
};

void TestKuwoLists::initTestCase()
{
    QVERIFY(m_server.listen());
    m_service.setHosts(ServiceConfig::onOrigin(m_server.origin()));
    m_service.setSongs(sampleSongs() + sampleListSongs());
    m_server.setHandler([this](const HttpRequest &request) {
        return m_answer ? m_answer(request) : m_service.answer(request);
    });
}

void TestKuwoLists::listFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("key");

    QTest::newRow("playlist, www") << u"https://www.kuwo.cn/playlist_detail/2401879605"_s << Kind::Playlist << u"2401879605"_s;
    QTest::newRow("playlist, phone page") << u"https://m.kuwo.cn/newh5app/playlist_detail/77?t=qqfriend&from=ar"_s
                                          << Kind::Playlist << u"77"_s;
    QTest::newRow("playlist, app share") << u"分享歌单 m.kuwo.cn/h5app/playlist/123?t=qqfriend 来自酷我音乐"_s
                                         << Kind::Playlist << u"123"_s;
    QTest::newRow("playlist, pid query") << u"http://kuwo.cn/x?pid=55"_s << Kind::Playlist << u"55"_s;
    QTest::newRow("album") << u"www.kuwo.cn/album_detail/1353075"_s << Kind::Album << u"1353075"_s;
    QTest::newRow("album, albumid query") << u"http://www.kuwo.cn/a?albumid=9"_s << Kind::Album << u"9"_s;
    QTest::newRow("singer") << u"http://www.kuwo.cn/singer_detail/74016"_s << Kind::Singer << u"74016"_s;
    QTest::newRow("an id too long") << u"http://www.kuwo.cn/playlist_detail/123456789012345678901"_s << Kind::None
                                    << QString();
    QTest::newRow("lookalike host") << u"http://www.kuwo.cn.evil.example/playlist_detail/1"_s << Kind::None
                                    << QString();
    QTest::newRow("inside another address") << u"http://evil.example/?u=kuwo.cn/playlist_detail/1"_s << Kind::None
                                            << QString();
    QTest::newRow("a song stays a song") << u"http://www.kuwo.cn/play_detail/3001"_s << Kind::None << QString();
    QTest::newRow("another site") << u"https://music.example.com/playlist/1"_s << Kind::None << QString();
    QTest::newRow("a host without scheme") << u"example.com"_s << Kind::None << QString();
    QTest::newRow("words") << u"  晴天   周杰伦 "_s << Kind::Search << u"晴天 周杰伦"_s;
    QTest::newRow("words with a dot") << u"Mr.Children"_s << Kind::Search << u"Mr.Children"_s;
    QTest::newRow("words, at the bound") << QString(100, u'歌') << Kind::Search << QString(100, u'歌');
    QTest::newRow("words, past the bound") << QString(101, u'歌') << Kind::None << QString();
    QTest::newRow("blank") << u" \t\r\n"_s << Kind::None << QString();
}

void TestKuwoLists::listFromText()
{
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(QString, key);
    const SongListRequest request = songListFromText(text);
    QCOMPARE(request.kind, kind);
    QCOMPARE(request.key, key);
}

void TestKuwoLists::readers_data()
{
    QTest::addColumn<int>("reader"); // 0 playlist, 1 album, 2 singer, 3 search
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<qint64>("total");
    // id, name, artist, album, duration (and " #" its track in an album), and the files
    // offered where the row names them
    QTest::addColumn<QStringList>("first");

    QTest::newRow("playlist, numbers as numbers")
        << 0
        << QByteArray(R"({"result":"ok","title":"通勤","total":24,"musiclist":[{"id":"40602735","name":"Lemon",)"
                      R"("artist":"米津玄師","album":"Lemon","duration":"256","formats":"MP3H|MP3128",)"
                      R"("N_MINFO":"level:p,bitrate:320,format:mp3,size:9.76Mb;level:h,bitrate:128,format:mp3"},)"
                      R"({"name":"no id"}]})")
        << false << qint64(24)
        << QStringList{u"40602735"_s, u"Lemon"_s, u"米津玄師"_s, u"Lemon"_s, u"256"_s, u"320k:9760000 128k:0"_s};
    QTest::newRow("playlist, counters as strings, ids as numbers")
        << 0 << QByteArray(R"({"result":"ok","total":"3","musiclist":[{"id":7,"name":"A","duration":9}]})") << false
        << qint64(3) << QStringList{u"7"_s, u"A"_s, QString(), QString(), u"9"_s};
    QTest::newRow("playlist, result not ok")
        << 0 << QByteArray(R"({"result":"error","musiclist":[]})") << true << qint64(0) << QStringList();
    QTest::newRow("playlist, not JSON") << 0 << QByteArray("<html>busy</html>") << true << qint64(0) << QStringList();
    QTest::newRow("album, entities and its name for album")
        << 1
        << QByteArray(R"({"name":"LOSER&nbsp;/&nbsp;ナンバーナイン","songnum":"3","musiclist":[{"id":"55923158",)"
                      R"("name":"&lt;b&gt;A&amp;amp;B","artist":"米津玄師&amp;daoko&X","track":"3"}]})")
        << false << qint64(3)
        << QStringList{u"55923158"_s, u"<b>A&amp;B"_s, u"米津玄師&daoko&X"_s, u"LOSER / ナンバーナイン"_s, u"0 #3"_s};
    QTest::newRow("album, no song list") << 1 << QByteArray(R"({"name":"x","songnum":"3"})") << true << qint64(0)
                                         << QStringList();
    QTest::newRow("singer, musicrid")
        << 2
        << QByteArray(R"({"artist":"daoko","total":"249","musiclist":[{"musicrid":"28510075","id":"1",)"
                      R"("name":"打上花火","artist":"daoko&米津玄師","album":"打上花火"}]})")
        << false << qint64(249) << QStringList{u"28510075"_s, u"打上花火"_s, u"daoko&米津玄師"_s, u"打上花火"_s, u"0"_s};
    QTest::newRow("search, MUSIC_ prefix, NAME fallback, a line break in a name")
        << 3
        << QByteArray(R"({"TOTAL":"285","SHOW":"30","abslist":[{"MUSICRID":"MUSIC_7134345","NAME":"x\ny",)"
                      R"("ARTIST":"周杰伦&张惠妹","ALBUM":"","DURATION":"290","N_MINFO":"",)"
                      R"("MINFO":"bitrate:2000,format:flac,size:30Mb;bitrate:2000,format:mflac,size:29Mb"}]})")
        << false << qint64(285)
        << QStringList{u"7134345"_s, u"x y"_s, u"周杰伦&张惠妹"_s, QString(), u"290"_s, u"无损:30000000"_s};
    QTest::newRow("search, no hits") << 3 << QByteArray(R"({"TOTAL":"0","SHOW":"0","abslist":[]})") << false
                                     << qint64(0) << QStringList();
    QTest::newRow("search, a JSON array") << 3 << QByteArray("[1,2]") << true << qint64(0) << QStringList();
}

void TestKuwoLists::readers()
{
    QFETCH(int, reader);
    QFETCH(QByteArray, answer);
    QFETCH(bool, fails);
    QFETCH(qint64, total);
    QFETCH(QStringList, first);
    static ListPage (*const readers[])(const QByteArray &) = {readPlaylistPage, readAlbumPage, readSingerPage,
                                                              readSearchPage};
    ListPage page;
    try {
        page = readers[reader](answer);
    } catch (const ContentError &) {
        QVERIFY(fails);
        return;
    }
    QVERIFY(!fails);
    QCOMPARE(page.total, total);
    if (first.isEmpty()) {
        QVERIFY(page.songs.isEmpty());
        return;
    }
    QCOMPARE(page.songs.size(), 1);
    const ListSong &song = page.songs.first();
    QStringList read{song.id, song.name, song.artist, song.album,
                     QString::number(song.duration) + (song.track > 0 ? u" #"_s + QString::number(song.track) : QString())};
    if (first.size() > read.size()) {
        QStringList offered;
        for (const OfferedFile &file : song.offered)
            offered << qualityShortName(file.quality) + u':' + QString::number(file.size);
        read << offered.join(u' ');
    }
    QCOMPARE(read, first);
}

void TestKuwoLists::entities_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("named") << u"a&nbsp;&amp;&lt;&gt;&quot;&apos;b"_s << u"a &<>\"'b"_s;
    QTest::newRow("numeric") << u"&#039;&#x5F20;&#128512;"_s << u"'张😀"_s;
    QTest::newRow("once only") << u"&amp;lt;"_s << u"&lt;"_s;
    QTest::newRow("unknown and broken stay") << u"&copy; &#0; &#xD800; &#1114112; & ;"_s
                                             << u"&copy; &#0; &#xD800; &#1114112; & ;"_s;
}

void TestKuwoLists::entities()
{
    QFETCH(QString, text);
    QFETCH(QString, decoded);
    QCOMPARE(decodeEntities(text), decoded);
}

void TestKuwoLists::pagingAtTheWire_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("answers"); // "" the service; "endless", "short", "repeat", "empty"
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("songs");
    QTest::addColumn<bool>("capped");
    QTest::addColumn<QByteArrayList>("pages"); // pn=…&rn=… of each request

    QTest::newRow("playlist of 1,200: two pages of 1,000")
        << u"http://www.kuwo.cn/playlist_detail/4002"_s << QString() << u"千首歌单"_s << 1200 << false
        << QByteArrayList{"pn=0&rn=1000", "pn=1&rn=1000"};
    QTest::newRow("album, one page") << u"http://www.kuwo.cn/album_detail/4101"_s << QString()
                                     << u"今日专辑 / 第一辑"_s << 4 << false << QByteArrayList{"pn=0&rn=100"};
    QTest::newRow("singer") << u"http://www.kuwo.cn/singer_detail/4201"_s << QString() << u"苏晚"_s << 3 << false
                            << QByteArrayList{"pn=0&rn=100"};
    QTest::newRow("search: its words as the title") << u"风"_s << QString() << u"风"_s << 3 << false
                                                    << QByteArrayList{"pn=0&rn=100"};
    QTest::newRow("a total without end stops at 10,000")
        << u"http://www.kuwo.cn/playlist_detail/1"_s << u"endless"_s << u"无尽"_s << 10000 << true
        << QByteArrayList{"pn=0&rn=1000", "pn=1&rn=1000", "pn=2&rn=1000", "pn=3&rn=1000", "pn=4&rn=1000",
                          "pn=5&rn=1000", "pn=6&rn=1000", "pn=7&rn=1000", "pn=8&rn=1000", "pn=9&rn=1000"};
    QTest::newRow("pages shorter than asked go on to the total")
        << u"http://www.kuwo.cn/playlist_detail/1"_s << u"short"_s << u"短页"_s << 1200 << false
        << QByteArrayList{"pn=0&rn=1000", "pn=1&rn=1000", "pn=2&rn=1000"};
    QTest::newRow("a page of songs listed already ends the list, each once")
        << u"http://www.kuwo.cn/album_detail/1"_s << u"repeat"_s << u"x"_s << 2 << false
        << QByteArrayList{"pn=0&rn=100", "pn=1&rn=100"};
    QTest::newRow("an empty page ends the list")
        << u"http://www.kuwo.cn/album_detail/1"_s << u"empty"_s << u"x"_s << 2 << false
        << QByteArrayList{"pn=0&rn=100", "pn=1&rn=100"};
}

void TestKuwoLists::pagingAtTheWire()
{
    QFETCH(QString, text);
    QFETCH(QString, answers);
    QFETCH(QString, title);
    QFETCH(int, songs);
    QFETCH(bool, capped);
    QFETCH(QByteArrayList, pages);

    m_answer = nullptr;
    if (answers == u"endless"_s) {
        m_answer = [](const HttpRequest &request) {
            const int page = QUrlQuery(QString::fromLatin1(request.pathAndQuery().mid(8))).queryItemValue(u"pn"_s).toInt();
            QByteArray list;
            for (int i = 0; i < 1000; ++i)
                list += QByteArray(i ? "," : "") + R"({"id":")" + QByteArray::number(page * 1000 + i) + R"(","name":"n"})";
            return HttpResponse::text(R"({"result":"ok","title":"无尽","total":1000000000,"musiclist":[)" + list + "]}");
        };
    } else if (answers == u"short"_s) {
        // 500 songs a page, whatever is asked for.
        m_answer = [](const HttpRequest &request) {
            const int page = QUrlQuery(QString::fromLatin1(request.pathAndQuery().mid(8))).queryItemValue(u"pn"_s).toInt();
            QByteArray list;
            for (int i = page * 500; i < qMin(1200, page * 500 + 500); ++i)
                list += QByteArray(list.isEmpty() ? "" : ",") + R"({"id":")" + QByteArray::number(i) + R"("})";
            return HttpResponse::text(R"({"result":"ok","title":"短页","total":1200,"musiclist":[)" + list + "]}");
        };
    } else if (!answers.isEmpty()) {
        const QByteArray next = answers == u"repeat"_s ? R"([{"id":"2"}])" : "[]";
        m_answer = [next](const HttpRequest &request) {
            return HttpResponse::text(R"({"name":"x","songnum":"500","musiclist":)" +
                                      (request.pathAndQuery().contains("pn=0&") ? R"([{"id":"1"},{"id":"2"}])" : next) +
                                      "}");
        };
    }
    m_server.clearRequests();
    const SongList list =
        awaited(fetchSongList(songListFromText(text), ServiceConfig::onOrigin(m_server.origin()), nullptr));
    QCOMPARE(list.title, title);
    QCOMPARE(list.songs.size(), songs);
    QCOMPARE(list.capped, capped);
    QByteArrayList asked;
    for (const HttpRequest &request : m_server.requests())
        asked << request.pathAndQuery().mid(request.pathAndQuery().indexOf("pn=")).split('&').mid(0, 2).join('&');
    QCOMPARE(asked, pages);
}

QTEST_GUILESS_MAIN(TestKuwoLists)
#include "tst_kuwolists.moc"
