#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include "core/kuwoquality.h"
#include "core/serviceconfig.h"
#include "httptestserver.h"

namespace corvane::testing {

// How a song's page is encoded and where it says so.
enum class PageEncoding {
    Utf8Header,     // UTF-8, charset in Content-Type
    Utf8Undeclared, // UTF-8, declared nowhere
    Gb18030Header,  // GB18030, "charset=gbk" in Content-Type
    Gb18030Meta,    // GB18030, charset in a <meta> tag only
};

// A file the signed endpoint (mobi.s) serves for a song in a higher quality, listed in the
// song record's MINFO.
struct FakeQualityFile
{
    Quality quality = Quality::Mp3_320;
    QByteArray file = {};   // what its link serves (not always what was asked)
    qint64 listedSize = 0;  // the size MINFO names; 0: the file's own
};

// How the signed endpoint answers for a song.
enum class SignedAnswer {
    AsAsked,       // the quality asked when it has it, else silently the best below it
    Region,        // code 407, url "None": not for this caller's region
    SourceRetired, // bitrate 1: the source value is no longer accepted
    FlacAs320,     // FLAC asked: the 320k MP3, answered as a success
};

struct FakeSong
{
    QByteArray id = {};
    QString name = {};
    QString singer = {};
    QStringList lyrics = {};
    PageEncoding encoding = PageEncoding::Utf8Header;
    QByteArray tone = {}; // resource name of its MP3 under :/media; empty: 4 KiB of filler
    QColor colour = {};   // of the singer's portrait
    bool hasLyrics = true;
    bool linkDenied = false; // the link conversion answers "IPDeny"
    QString expected = {};   // what a resolution of it ends with, for the catalogue listing
    QString title = {};      // the page's <title>; empty: the service's own "<name>_<singer>_…"
    QByteArray picture = {}; // the singer's picture file; empty: a portrait drawn in `colour`
    // The service as it answers today.
    bool classicPageGone = false; // the classic song page answers 500, as the real site does
    QString album = {};
    // Seconds, in the song record; -1: the length of the file its link serves, at
    // 128 kbit/s, so that no record claims minutes for a file of a few kilobytes.
    int duration = -1;
    QString lrc = {};          // the lyrics as LRC; empty: made from `lyrics`, one timed line each
    bool hasPicture = true;    // false: pic.web answers "NO_PIC"
    bool numbersAsText = false; // the song record sends its numbers as strings
    QString address = {};      // how a user pastes it; empty: the classic page address
    qint64 mediaBytes = 0;     // without a tone: the size of the filler its link serves (0: 4 KiB)
    // The signed endpoint: the higher qualities it keeps (none: the record names no MINFO,
    // and the endpoint serves the 128k file alone), and how it answers.
    QList<FakeQualityFile> qualities = {};
    SignedAnswer signedAnswer = SignedAnswer::AsAsked;
};

// A FLAC stream of a sine tone (8 kHz, 16-bit mono, verbatim frames, no tags) of
// `seconds` or a little more, up to a minute: small, and read by every FLAC reader.
QByteArray flacTone(int seconds, int hertz = 440);

// The file a song's link serves: its tone, else its filler.
QByteArray songFile(const FakeSong &song);
// The duration its song record gives: `duration`, else the file's length (see there).
qint64 recordedDuration(const FakeSong &song);

// The bundled sample songs: every encoding, a long name, and the two ways a song fails.
QList<FakeSong> sampleSongs();

// 晴天 by 周杰伦 as the tests and benchmarks resolve it: a title of its own, two lines
// of lyrics and a plain picture (red, 48 px, unless one is given), so that a test can
// tell whose picture is shown.
FakeSong sunnyDay(QByteArray id, QByteArray picture = {});

// A list of the service's songs, by their ids.
struct FakeList
{
    enum class Kind { Playlist, Album, Singer };
    Kind kind = Kind::Playlist;
    QByteArray id = {};
    QString title = {};
    QList<QByteArray> songs = {};
    QString expected = {}; // what listing it shows, for the catalogue listing
};

// The songs the sample lists hold besides the sample songs: names with entities, and the
// 1,200 songs of the long playlist.
QList<FakeSong> sampleListSongs();
// The bundled sample lists: a playlist mixing every way a song ends, an album, a singer
// and a playlist of 1,200 songs (two pages).
QList<FakeList> sampleLists();
// The address a user pastes for a list.
QString listAddress(const FakeList &list);
// The words the sample search is tried with, and what they find.
QList<std::pair<QString, QString>> sampleSearches();

// `body`, or the single byte range a Range header value ("bytes=0-99") asks for (206).
HttpResponse byteRange(const QByteArray &body, const QByteArray &contentType, const QByteArray &range);

// The one stand-in for the music service and the maker's servers, used by the sample
// service, the tests and the benchmarks: song pages, link conversion, metadata records,
// singers' pictures, MP3s (with byte ranges) and the version file, and the endpoints
// the service answers today (music.pay, newlyric.lrc, pic.web). Answers origin-form
// and absolute-form (proxy) requests alike, by host name and path. Any route can be
// made to fail with a response of the test's choosing: a stall, a reset, a delay, a
// status, no length, or exact bytes.
class MusicService final
{
public:
    enum class Route {
        VersionFile,
        SongPage,
        LinkConversion,
        Metadata,
        Picture,
        Media,
        SongRecord,      // music.pay
        Lyrics,          // newlyric.lrc
        PictureAddress,  // pic.web
        Playlist,        // pl.svc
        ListSearch,      // r.s: albums, singers and search
        QualityLink,     // mobi.s
    };

    explicit MusicService(ServiceConfig hosts = {}, QList<FakeSong> songs = sampleSongs());

    HttpResponse answer(const HttpRequest &request) const;
    // The route a request takes, when it takes one.
    std::optional<Route> routeOf(const HttpRequest &request) const;

    // The hosts it answers for besides loopback, and names in the links it hands out.
    void setHosts(ServiceConfig hosts) { m_hosts = std::move(hosts); }
    void setSongs(QList<FakeSong> songs) { m_songs = std::move(songs); }
    void setLists(QList<FakeList> lists) { m_lists = std::move(lists); }
    // The song with this id, to change between requests; null when there is none.
    FakeSong *song(QByteArrayView id);
    // The body of "/soft/version/main.txt"; by default it names this build's version.
    void setVersionFile(QByteArray body) { m_versionFile = std::move(body); }
    // Every request on `route` gets `response` instead, until cleared.
    void setFault(Route route, HttpResponse response) { m_faults.insert(route, std::move(response)); }
    void clearFault(Route route) { m_faults.remove(route); }
    void clearFaults() { m_faults.clear(); }
    // The lyrics endpoint answers its rate-limit refusal after this many calls (-1: never).
    void setLyricCallLimit(int calls)
    {
        m_lyricCallLimit = calls;
        m_lyricCalls = 0;
    }

    QString songAddress(const QByteArray &id) const;
    QString notASongAddress() const;
    // Where the song's MP3 ("<id>.mp3") and picture ("<id>.jpg") are served.
    QString mediaUrl(const QByteArray &file) const;
    static QByteArray defaultVersionFile();

private:
    // The song with this id ("1001" or "MUSIC_1001"), or null.
    const FakeSong *find(QByteArray id) const;
    HttpResponse songPage(const QByteArray &id) const;
    HttpResponse linkConversion(const QByteArray &rid) const;
    HttpResponse metadata(const QByteArray &rid) const;
    HttpResponse media(const QByteArray &name, const HttpRequest &request) const;
    HttpResponse songRecord(const QByteArray &ids) const;
    HttpResponse lyrics(const QByteArray &query) const;
    HttpResponse pictureAddress(const QByteArray &rid) const;
    HttpResponse qualityLink(const QByteArray &rid, const QByteArray &br) const;
    HttpResponse playlist(const QByteArray &pid, int page, int rows) const;
    HttpResponse listSearch(const std::function<QByteArray(QByteArrayView)> &param) const;
    const FakeList *findList(FakeList::Kind kind, const QByteArray &id) const;

    ServiceConfig m_hosts;
    QList<FakeSong> m_songs;
    QList<FakeList> m_lists = sampleLists();
    QByteArray m_versionFile = defaultVersionFile();
    QHash<Route, HttpResponse> m_faults;
    int m_lyricCallLimit = -1;
    mutable int m_lyricCalls = 0;
};

// The lyrics endpoint's answer for `lrc`, enveloped as the service does it: header lines,
// then zlib over Base64 over the XORed GB18030 bytes.
QByteArray lyricEnvelope(const QString &lrc);

} // namespace corvane::testing
