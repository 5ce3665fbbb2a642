#include <QTest>

#include "core/errors.h"
#include "core/filename.h"
#include "core/songresolver.h"
#include "core/textcutting.h"
#include "core/textdecode.h"
#include "core/versioncheck.h"

using namespace Qt::StringLiterals;
using namespace corvane;

class TestTextCutting final : public QObject
{
    Q_OBJECT

private slots:
    void reservedNames_data();
    void reservedNames();
    void suggestedName_data();
    void suggestedName();
    void segmentAfter_data();
    void segmentAfter();
    void segmentAfter_missingMarkerFails_data();
    void segmentAfter_missingMarkerFails();
    void textBefore_data();
    void textBefore();
    void cutBetween_data();
    void cutBetween();
    void shortenSongName_data();
    void shortenSongName();
    void cleanLyrics_data();
    void cleanLyrics();
    void ridFromAddress_data();
    void ridFromAddress();
    void directLink_data();
    void directLink();
    void bounds_data();
    void bounds();
    void serverNames_data();
    void serverNames();
    void longNamesKeepBothParts();
    void requestAddresses();
    void versionFile_data();
    void versionFile();
    void charset_data();
    void charset();
    void decodeBody_data();
    void decodeBody();
    void encodeGb18030_data();
    void encodeGb18030();
};

void TestTextCutting::segmentAfter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one occurrence: up to the end") << u"a【b】c"_s << u"【"_s << u"b】c"_s;
    QTest::newRow("two occurrences: up to the second") << u"x<title>A<title>B"_s << u"<title>"_s << u"A"_s;
    QTest::newRow("marker at the end: empty") << u"abc<title>"_s << u"<title>"_s << QString();
    QTest::newRow("marker twice in a row: empty") << u"mqvt:mqvt:x|"_s << u"mqvt:"_s << QString();
    QTest::newRow("case-sensitive") << u"<TITLE>a<title>b"_s << u"<title>"_s << u"b"_s;
}

void TestTextCutting::segmentAfter()
{
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(QString, expected);
    QCOMPARE(SegmentAfter(text, marker), expected);
}

void TestTextCutting::segmentAfter_missingMarkerFails_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty text") << QString();
    QTest::newRow("no marker") << u"<html>no brackets</html>"_s;
    QTest::newRow("other case only") << u"<TITLE>x"_s;
}

void TestTextCutting::segmentAfter_missingMarkerFails()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(ContentError, SegmentAfter(text, u"<title>"));
}

void TestTextCutting::textBefore_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QString>("expected");
    QTest::newRow("before the first") << u"歌名_酷我_x"_s << u"_"_s << u"歌名"_s;
    QTest::newRow("missing: empty, no failure") << u"歌名"_s << u"_"_s << QString();
    QTest::newRow("at the start: empty") << u"】x"_s << u"】"_s << QString();
}

void TestTextCutting::textBefore()
{
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(QString, expected);
    QCOMPARE(TextBefore(text, marker), expected);
}

void TestTextCutting::cutBetween_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::newRow("plain") << u"<p>【周杰伦】</p>"_s << u"【"_s << u"】"_s;
    QTest::newRow("second start before the end: empty") << u"【a【b】"_s << u"【"_s << u"】"_s;
    QTest::newRow("second start after the end") << u"【a】b【c"_s << u"【"_s << u"】"_s;
    QTest::newRow("no end: empty") << u"【abc"_s << u"【"_s << u"】"_s;
    QTest::newRow("second start overlaps the end") << u"Xa_Xb"_s << u"X"_s << u"_X"_s;
    QTest::newRow("end inside the start marker's tail") << u"<title>a_<title>_"_s << u"<title>"_s << u"_"_s;
}

void TestTextCutting::cutBetween()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, end);
    // The shortcut must agree with the two cuts it stands for.
    QCOMPARE(corvane::cutBetween(text, start, end), TextBefore(SegmentAfter(text, start), end));
}

void TestTextCutting::shortenSongName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("17 units stay whole") << u"12345678901234567"_s << u"12345678901234567"_s;
    QTest::newRow("18 units: 17 and ..") << u"123456789012345678"_s << u"12345678901234567.."_s;
    QTest::newRow("Chinese, 20 characters")
        << u"一二三四五六七八九十一二三四五六七八九十"_s << u"一二三四五六七八九十一二三四五六七.."_s;
    // U+1D11E is a surrogate pair; here its first half would be unit 17.
    QTest::newRow("pair across the cut keeps 16")
        << (u"1234567890123456"_s + QString::fromUcs4(U"\U0001D11E") + u"x"_s) << u"1234567890123456.."_s;
    QTest::newRow("pair before the cut stays whole")
        << (u"123456789012345"_s + QString::fromUcs4(U"\U0001D11E") + u"xyz"_s)
        << (u"123456789012345"_s + QString::fromUcs4(U"\U0001D11E") + u".."_s);
    QTest::newRow("empty") << QString() << QString();
}

void TestTextCutting::shortenSongName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(corvane::shortenSongName(name), expected);
}

void TestTextCutting::cleanLyrics_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("br becomes CR LF") << u"line one<br>line two"_s << u"line one\r\nline two"_s;
    QTest::newRow("other tags lose only <") << u"<p>a</p>"_s << u"p>a/p>"_s;
    QTest::newRow("upper-case and self-closing br are no breaks") << u"a<BR>b<br/>c"_s << u"aBR>bbr/>c"_s;
    QTest::newRow("27 spaces go") << (u"a"_s + QString(27, u' ') + u"b"_s) << u"ab"_s;
    QTest::newRow("30 spaces leave 3") << (u"a"_s + QString(30, u' ') + u"b"_s) << u"a   b"_s;
    QTest::newRow("54 spaces leave none") << (u"a"_s + QString(54, u' ') + u"b"_s) << u"ab"_s;
    QTest::newRow("26 spaces stay") << (u"a"_s + QString(26, u' ') + u"b"_s)
                                    << (u"a"_s + QString(26, u' ') + u"b"_s);
    QTest::newRow("no trimming") << u"\n  x  \n"_s << u"\n  x  \n"_s;
    QTest::newRow("a doubled < before br") << u"<<br>"_s << u"\r\n"_s;
    QTest::newRow("a removed < joins two space runs into 27")
        << (u"a"_s + QString(20, u' ') + u"<"_s + QString(7, u' ') + u"b"_s) << u"ab"_s;
    QTest::newRow("a line break splits a run") << (QString(20, u' ') + u"<br>"_s + QString(7, u' '))
                                               << (QString(20, u' ') + u"\r\n"_s + QString(7, u' '));
    QTest::newRow("runs at both ends") << (QString(28, u' ') + u"x"_s + QString(27, u' ')) << u" x"_s;
}

void TestTextCutting::cleanLyrics()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QCOMPARE(corvane::cleanLyrics(raw), expected);
}

void TestTextCutting::ridFromAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("rid");
    QTest::addColumn<bool>("fails");
    const QString prefix = u"http://www.kuwo.cn/yinyue/"_s;
    QTest::newRow("digits and slash") << prefix + u"678/"_s << u"678"_s << false;
    QTest::newRow("query kept, its slashes removed")
        << prefix + u"678/?from=a/b"_s << u"678?from=ab"_s << false;
    QTest::newRow("not numeric is fine") << prefix + u"abc"_s << u"abc"_s << false;
    QTest::newRow("other scheme fails") << u"https://www.kuwo.cn/yinyue/678/"_s << QString() << true;
    QTest::newRow("host written differently fails") << u"http://kuwo.cn/yinyue/678/"_s << QString() << true;
    QTest::newRow("prefix twice: up to the second") << prefix + u"1/"_s + prefix + u"2"_s << u"1"_s << false;
}

void TestTextCutting::ridFromAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, rid);
    QFETCH(bool, fails);
    if (fails) {
        QVERIFY_THROWS_EXCEPTION(ContentError,
                                 corvane::ridFromAddress(address, u"http://www.kuwo.cn/yinyue/"));
    } else {
        QCOMPARE(corvane::ridFromAddress(address, u"http://www.kuwo.cn/yinyue/"), rid);
    }
}

void TestTextCutting::directLink_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("link");
    const QString mp3 = u"http://m.example/a.mp3"_s;
    const QString longest = mp3 + u"?"_s + QString(kLinkMaxBytes - mp3.size() - 1, u'x');
    QTest::newRow("http") << mp3 << mp3;
    QTest::newRow("https") << u"https://m.example/a.mp3"_s << u"https://m.example/a.mp3"_s;
    QTest::newRow("upper-case scheme") << u"HTTP://m.example/a.mp3"_s << u"HTTP://m.example/a.mp3"_s;
    QTest::newRow("one LF at the end is dropped") << mp3 + u"\n"_s << mp3;
    QTest::newRow("one CR LF at the end is dropped") << mp3 + u"\r\n"_s << mp3;
    QTest::newRow("IPDeny") << u"IPDeny"_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("leading blank") << u" "_s + mp3 << QString();
    QTest::newRow("a second line") << mp3 + u"\nrm -rf ~/important\n"_s << QString();
    QTest::newRow("two line breaks at the end") << mp3 + u"\n\n"_s << QString();
    QTest::newRow("a lone CR") << mp3 + u"\r"_s << QString();
    QTest::newRow("a blank inside") << u"http://m.example/a b.mp3"_s << QString();
    QTest::newRow("a tab") << mp3 + u"\t"_s << QString();
    QTest::newRow("a bidirectional override") << u"http://m.example/a\u202Eb.mp3"_s << QString();
    QTest::newRow("no host") << u"http:///a.mp3"_s << QString();
    QTest::newRow("local file") << u"file:///etc/passwd"_s << QString();
    QTest::newRow("UNC path") << u"\\\\host\\share\\a.mp3"_s << QString();
    QTest::newRow("8 KiB") << longest << longest;
    QTest::newRow("over 8 KiB") << longest + u"x"_s << QString();
}

void TestTextCutting::directLink()
{
    QFETCH(QString, answer);
    QFETCH(QString, link);
    QCOMPARE(directLinkFrom(answer), link);
}

void TestTextCutting::bounds_data()
{
    // The page holds `piece` in each place; what comes out is cut to its bound.
    QTest::addColumn<QString>("piece");
    QTest::addColumn<qsizetype>("singerUnits");
    QTest::addColumn<qsizetype>("lyricsUnits");
    QTest::newRow("within both") << u"晴天"_s << qsizetype(2) << qsizetype(2);
    QTest::newRow("long ASCII") << QString(100000, u'a') << kNameMaxUnits << kLyricsMaxBytes;
    // Three bytes of UTF-8 each: 65536 / 3 whole characters.
    QTest::newRow("long Chinese") << QString(30000, u'晴') << kNameMaxUnits << qsizetype(21845);
    // A pair is never split: the 128th pair would end at unit 256, the 16384th at byte 65536.
    QTest::newRow("surrogate pairs") << QString(30000, u'x').replace(u"x"_s, u"😀"_s) << kNameMaxUnits
                                     << qsizetype(32768);
    QTest::newRow("pairs after one unit")
        << u"a"_s + QString(30000, u'x').replace(u"x"_s, u"😀"_s) << kNameMaxUnits - 1 << qsizetype(32767);
}

void TestTextCutting::bounds()
{
    QFETCH(QString, piece);
    QFETCH(qsizetype, singerUnits);
    QFETCH(qsizetype, lyricsUnits);
    const QString page =
        u"<title>"_s + piece + u"_</title>【"_s + piece + u"】<p>复制歌词</a>"_s + piece + u"</div>"_s;
    const QString singer = singerFromPage(page);
    QCOMPARE(singer.size(), singerUnits);
    QCOMPARE(fullSongNameFromPage(page), singer);
    QVERIFY(piece.startsWith(singer));
    const QString lyrics = lyricsFromPage(page);
    QCOMPARE(lyrics.size(), lyricsUnits);
    QVERIFY(piece.startsWith(lyrics));
}

void TestTextCutting::serverNames_data()
{
    // A name as the server sends it, as it is shown, and the file name a download of it
    // by "周杰伦" suggests.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("line break") << u"情歌\r\n第二行"_s << u"情歌  第二行"_s << u"周杰伦 - 情歌  第二行.mp3"_s;
    QTest::newRow("tab and other controls") << u"a\tb\u0007c\u2028d"_s << u"a b c d"_s << u"周杰伦 - a b c d.mp3"_s;
    QTest::newRow("right-to-left override") << u"情歌\u202egpj.exe"_s << u"情歌gpj.exe"_s
                                            << u"周杰伦 - 情歌gpj.exe.mp3"_s;
    QTest::newRow("isolates and marks") << u"\u2066a\u2067b\u2068c\u2069\u200e\u200f\u061c"_s << u"abc"_s
                                        << u"周杰伦 - abc.mp3"_s;
    // Shown as it is; a file name takes no format characters.
    QTest::newRow("joiners inside CJK text stay") << u"晴\u200d天\u200c"_s << u"晴\u200d天\u200c"_s
                                                  << u"周杰伦 - 晴_天_.mp3"_s;
    QTest::newRow("10,000 characters") << QString(10000, u'晴') << QString(kNameMaxUnits, u'晴')
                                       << u"周杰伦 - "_s + QString((kFileStemMaxBytes - 12) / 3, u'晴') + u".mp3"_s;
}

void TestTextCutting::longNamesKeepBothParts()
{
    // Each name cut to its share of the bound, whole characters: 98 bytes, then the rest.
    const QString fileName = songFileName(serverName(QString(10000, u'周')), serverName(QString(10000, u'晴')));
    QCOMPARE(fileName, QString(32, u'周') + u" - "_s + QString(33, u'晴') + u".mp3"_s);
}

void TestTextCutting::serverNames()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QString, fileName);
    QCOMPARE(serverName(name), shown);
    QCOMPARE(songFileName(u"周杰伦"_s, serverName(name)), fileName);
}

void TestTextCutting::requestAddresses()
{
    QCOMPARE(
        linkConversionUrl(u"antiserver.kuwo.cn"_s, u"678"_s),
        u"http://antiserver.kuwo.cn/anti.s?type=convert%5Furl&response=url&rid=MUSIC%5F678&format=mp3%7Cmp3"_s);
    QCOMPARE(metadataUrl(u"player.kuwo.cn"_s, u"678"_s),
             u"http://player.kuwo.cn/webmusic/st/getNewMuiseByRid?rid=MUSIC_678"_s);
}

void TestTextCutting::versionFile_data()
{
    QTest::addColumn<QString>("response");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("latest");
    const QString own = kOwnVersion.toString();
    QTest::newRow("own version") << u"mqvt:"_s + own + u"|"_s << int(VersionVerdict::UpToDate) << own;
    QTest::newRow("own version among other lines")
        << u"name=Corvane\r\nmqvt:"_s + own + u"|date=2014\r\nother|x"_s << int(VersionVerdict::UpToDate)
        << own;
    QTest::newRow("bar before the marker does not count")
        << u"a|b mqvt:"_s + own + u"|"_s << int(VersionVerdict::UpToDate) << own;
    QTest::newRow("newer") << u"mqvt:"_s + own + u".1|"_s << int(VersionVerdict::Newer) << own + u".1"_s;
    QTest::newRow("lower-case is another version")
        << u"mqvt:"_s + own.toLower() + u"|"_s << int(VersionVerdict::Newer) << own.toLower();
    QTest::newRow("trailing blank is another version")
        << u"mqvt:"_s + own + u" |"_s << int(VersionVerdict::Newer) << own + u" "_s;
    QTest::newRow("empty answer fails") << QString() << int(VersionVerdict::CheckFailed) << QString();
    QTest::newRow("no bar fails") << u"mqvt:"_s + own << int(VersionVerdict::CheckFailed) << QString();
    QTest::newRow("marker twice fails")
        << u"mqvt:mqvt:"_s + own + u"|"_s << int(VersionVerdict::CheckFailed) << QString();
    QTest::newRow("error page fails")
        << u"<html>404 Not Found</html>"_s << int(VersionVerdict::CheckFailed) << QString();
    QTest::newRow("empty version fails") << u"mqvt:|"_s << int(VersionVerdict::CheckFailed) << QString();
}

void TestTextCutting::versionFile()
{
    QFETCH(QString, response);
    QFETCH(int, outcome);
    QFETCH(QString, latest);
    const VersionVerdict verdict = judgeVersionFile(response);
    QCOMPARE(int(verdict.outcome), outcome);
    QCOMPARE(verdict.latest, latest);
}

namespace {
// "<title>晴天_周_酷我</title>【歌手】" and "歌词" in GB18030, as a server sends them.
const QByteArray
    kGbPage("<title>\xC7\xE7\xCC\xEC_\xD6\xDC_\xBF\xE1\xCE\xD2</title>\xA1\xBE\xB8\xE8\xCA\xD6\xA1\xBF");
const QByteArray kGbLyrics("\xB8\xE8\xB4\xCA");
} // namespace

void TestTextCutting::charset_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("charset");
    const QByteArray gbBody = kGbLyrics;
    QTest::newRow("header wins over meta") << QByteArray("<meta charset=utf-8>")
                                           << QByteArray("text/html; charset=GBK") << QByteArray("GB18030");
    QTest::newRow("quoted header value")
        << QByteArray("x") << QByteArray("text/html; charset=\"utf-8\"") << QByteArray("utf-8");
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBFx") << QByteArray("text/html") << QByteArray("UTF-8");
    QTest::newRow("meta charset") << (QByteArray("<head><meta charset=\"gb2312\">") + gbBody) << QByteArray()
                                  << QByteArray("GB18030");
    QTest::newRow("meta http-equiv")
        << (QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gbk\">") + gbBody)
        << QByteArray("text/html") << QByteArray("GB18030");
    QTest::newRow("meta past 1024 bytes is not read")
        << (QByteArray(1100, ' ') + "<meta charset=gbk>" + "abc") << QByteArray() << QByteArray("UTF-8");
    QTest::newRow("valid UTF-8") << u"歌词"_s.toUtf8() << QByteArray() << QByteArray("UTF-8");
    QTest::newRow("invalid UTF-8 is GB18030") << gbBody << QByteArray() << QByteArray("GB18030");
    QTest::newRow("unknown header charset falls through")
        << gbBody << QByteArray("text/html; charset=nonsense-9") << QByteArray("GB18030");
    QTest::newRow("truncated UTF-8 sequence")
        << QByteArray("ab\xE6\xAD") << QByteArray() << QByteArray("GB18030");
}

void TestTextCutting::charset()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, charset);
    QCOMPARE(decideCharset(body, contentType), charset);
}

void TestTextCutting::decodeBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("text");
    const QString page = u"<title>晴天_周_酷我</title>【歌手】"_s;
    // The same bytes on every build: Qt for Windows has no GB18030 encoder of its own.
    QTest::newRow("GB18030 by header") << kGbPage << QByteArray("text/html; charset=gb2312") << page;
    QTest::newRow("GB18030 by meta") << ("<meta charset=GBK>" + kGbPage) << QByteArray()
                                     << (u"<meta charset=GBK>"_s + page);
    QTest::newRow("GB18030 undeclared") << kGbPage << QByteArray("text/html") << page;
    QTest::newRow("GB18030 four-byte and euro sequences")
        << QByteArray("\x95\x32\x82\x36\xA2\xE3") << QByteArray("text/plain; charset=GB18030")
        << u"\U00020000€"_s;
    QTest::newRow("UTF-8 undeclared") << page.toUtf8() << QByteArray() << page;
    QTest::newRow("UTF-8 BOM is dropped") << ("\xEF\xBB\xBF" + page.toUtf8()) << QByteArray() << page;
    QTest::newRow("empty") << QByteArray() << QByteArray("text/html") << QString();
}

void TestTextCutting::decodeBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, text);
    if (text.contains(u"\U00020000"_s) && !corvane::decodesWholeGb18030())
        QSKIP("this system decodes GB18030 as GBK only (wine has no code page 54936)");
    QCOMPARE(corvane::decodeBody(body, contentType), text);
}

void TestTextCutting::encodeGb18030_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII and two-byte characters")
        << u"<title>晴天_周_酷我</title>"_s
        << QByteArray("<title>\xc7\xe7\xcc\xec_\xd6\xdc_\xbf\xe1\xce\xd2</title>");
    QTest::newRow("a four-byte character") << u"\U00020000"_s << QByteArray("\x95\x32\x82\x36");
    QTest::newRow("empty") << QString() << QByteArray();
}

// The fake service's GB pages must be what a real GB18030 server sends.
void TestTextCutting::encodeGb18030()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    if (text.contains(u"\U00020000"_s) && !corvane::decodesWholeGb18030())
        QSKIP("this system encodes GB18030 as GBK only (wine has no code page 54936)");
    QCOMPARE(corvane::encodeGb18030(text), bytes);
    QCOMPARE(corvane::decodeGb18030(bytes), text);
}

void TestTextCutting::suggestedName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<QString>("name");
    QTest::newRow("last path segment") << u"http://m.example/a/b/晴天.mp3"_s << QByteArray() << u"晴天.mp3"_s;
    QTest::newRow("quoted filename") << u"http://m.example/x"_s
                                     << QByteArray("attachment; filename=\"a b.mp3\"") << u"a b.mp3"_s;
    QTest::newRow("filename* wins") << u"http://m.example/x"_s
                                    << QByteArray(
                                           "attachment; filename=\"x.mp3\"; filename*=UTF-8''%E6%99%B4.mp3")
                                    << u"晴.mp3"_s;
    QTest::newRow("path in the header is dropped")
        << u"http://m.example/x"_s << QByteArray("attachment; filename=\"../../etc/passwd\"")
        << u"passwd.mp3"_s;
    QTest::newRow("no hidden file from the header")
        << u"http://m.example/x"_s << QByteArray("attachment; filename=\"../../.bashrc\"") << u"bashrc.mp3"_s;
    QTest::newRow("no hidden file from the address")
        << u"http://m.example/a/%2E%2E%2F.bashrc"_s << QByteArray() << u"bashrc.mp3"_s;
    QTest::newRow("a bidirectional override")
        << u"http://m.example/x"_s << QByteArray("attachment; filename*=UTF-8''invoice%E2%80%AEgpj.exe")
        << u"invoice_gpj.exe.mp3"_s;
    QTest::newRow("a long name is cut to 200 bytes")
        << u"http://m.example/x"_s
        << QByteArray("attachment; filename*=UTF-8''") + QByteArray("%E6%99%B4").repeated(300) + ".mp3"
        << QString(66, u'晴') + u".mp3"_s;
    QTest::newRow("no name anywhere") << u"http://m.example/"_s << QByteArray() << u"download.mp3"_s;
    QTest::newRow("dot-dot is no name")
        << u"http://m.example/x"_s << QByteArray("attachment; filename=\"..\"") << u"x.mp3"_s;
    QTest::newRow("parameter names in any case")
        << u"http://m.example/x"_s << QByteArray("Attachment; FileName=\"Up.mp3\"") << u"Up.mp3"_s;
    QTest::newRow("FILENAME* with a language")
        << u"http://m.example/x"_s << QByteArray("attachment; FILENAME*=utf-8'zh'%E6%99%B4%E5%A4%A9.mp3")
        << u"晴天.mp3"_s;
    QTest::newRow("filename* in Latin-1")
        << u"http://m.example/x"_s << QByteArray("attachment; filename*=ISO-8859-1''caf%E9.mp3")
        << u"café.mp3"_s;
    QTest::newRow("characters Windows refuses")
        << u"http://m.example/x"_s << QByteArray("attachment; filename=\"a:b?c*.mp3\"") << u"a_b_c_.mp3"_s;
    QTest::newRow("a device name") << u"http://m.example/x"_s
                                   << QByteArray("attachment; filename=\"con.mp3\"") << u"_con.mp3"_s;
}

void TestTextCutting::reservedNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("reserved");
    for (const char *device : {"CON", "prn", "Aux", "NUL", "COM0", "COM9", "LPT0", "lpt9", "CONIN$", "conout$"})
        QTest::addRow("%s", device) << QString::fromLatin1(device) << true;
    QTest::newRow("a superscript digit") << u"COM\u00b9"_s << true;
    QTest::newRow("another superscript") << u"LPT\u00b3.mp3"_s << true;
    QTest::newRow("any extension") << u"nul.tar.gz"_s << true;
    QTest::newRow("spaces before it") << u"CON .txt"_s << true;
    QTest::newRow("a longer word") << u"CONSOLE.mp3"_s << false;
    QTest::newRow("COM10") << u"COM10"_s << false;
    QTest::newRow("more after a space") << u"CON song.mp3"_s << false;
    QTest::newRow("a superscript four") << u"COM\u2074"_s << false;
}

void TestTextCutting::reservedNames()
{
    QFETCH(QString, name);
    QFETCH(bool, reserved);
    QCOMPARE(safeFileName(name), reserved ? u'_' + name : name);
}

void TestTextCutting::suggestedName()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, disposition);
    QFETCH(QString, name);
    QCOMPARE(suggestedDownloadName(address, disposition), name);
}

QTEST_GUILESS_MAIN(TestTextCutting)
#include "tst_textcutting.moc"
