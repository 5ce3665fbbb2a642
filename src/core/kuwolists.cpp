#include "kuwolists.h"

#include <algorithm>

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include "errors.h"
#include "kuwotoday.h"
#include "textcutting.h"

using namespace Qt::StringLiterals;

namespace corvane {
namespace {

SongListRequest listOfAddress(const QUrl &url)
{
    using Kind = SongListRequest::Kind;
    static const QList<std::pair<QRegularExpression, Kind>> inPath{
        {QRegularExpression(u"/(?:newh5app/)?playlist_detail/(\\d{1,20})(?!\\d)"_s), Kind::Playlist},
        {QRegularExpression(u"/h5app/playlist/(\\d{1,20})(?!\\d)"_s), Kind::Playlist},
        {QRegularExpression(u"/album_detail/(\\d{1,20})(?!\\d)"_s), Kind::Album},
        {QRegularExpression(u"/singer_detail/(\\d{1,20})(?!\\d)"_s), Kind::Singer},
    };
    const QString path = url.path();
    for (const auto &[pattern, kind] : inPath) {
        if (const auto match = pattern.match(path); match.hasMatch())
            return {kind, match.captured(1)};
    }
    const QUrlQuery query(url);
    for (const auto &[key, kind] : {std::pair(u"pid"_s, Kind::Playlist), std::pair(u"albumid"_s, Kind::Album)}) {
        if (const QString value = query.queryItemValue(key, QUrl::FullyDecoded); isServiceId(value))
            return {kind, value};
    }
    return {};
}

// Whether a text holds an address of any site: a scheme, or a host name (a dotted name
// before a path, or one ending in a common top-level domain). Words such as "Mr.Children"
// are not one.
bool holdsAddress(QStringView text)
{
    static const QRegularExpression host(
        u"(?<![A-Za-z0-9-])(?:[A-Za-z0-9-]+\\.)+(?:[A-Za-z0-9-]+/|(?:com|net|org|cn|io|me|tv|cc|co|info|biz|"
        u"top|xyz|app|dev|site|hk|tw|jp)(?![A-Za-z0-9-]))"_s,
        QRegularExpression::CaseInsensitiveOption);
    return text.contains(u"://"_s) || host.match(text).hasMatch();
}

QJsonObject jsonObject(const QByteArray &answer, const char *what)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw ContentError(std::string(what) + ": not a JSON object");
    return document.object();
}

QString listName(const QJsonValue &value)
{
    return serverName(decodeEntities(jsonText(value)));
}

// The songs of `list`, read with the keys an endpoint uses.
struct SongKeys
{
    QString id, name, fallbackName, artist, album, duration, track = {};
};

QList<ListSong> readSongs(const QJsonValue &list, const SongKeys &keys, const char *what)
{
    if (!list.isArray())
        throw ContentError(std::string(what) + ": no song list");
    QList<ListSong> songs;
    for (const QJsonValue &entry : list.toArray()) {
        const QJsonObject song = entry.toObject();
        QString id = jsonText(song.value(keys.id)).trimmed();
        if (id.startsWith(u"MUSIC_"_s))
            id.remove(0, 6);
        if (!isServiceId(id))
            continue;
        ListSong read{id, listName(song.value(keys.name)), listName(song.value(keys.artist)),
                      listName(song.value(keys.album)), qMax<qint64>(0, jsonNumber(song.value(keys.duration)))};
        for (const QStringView key : {u"N_MINFO", u"MINFO"}) {
            if (read.offered.isEmpty())
                read.offered = readOfferedFiles(jsonText(song.value(key)));
        }
        if (!keys.track.isEmpty())
            read.track = int(qBound(qint64(0), jsonNumber(song.value(keys.track)), qint64(99999)));
        if (read.name.isEmpty() && !keys.fallbackName.isEmpty())
            read.name = listName(song.value(keys.fallbackName));
        songs << read;
    }
    return songs;
}

QString rsQuery(const QString &host)
{
    return u"http://"_s + host + u"/r.s?"_s;
}

constexpr QStringView kAlbumAndSingerTail = u"&sortby=0&alflac=1&show_copyright_off=1&pcmp4=1&encoding=utf8&plat=pc"
                                     u"&vipver=MUSIC_9.1.1.2_BCS2&newver=1&pcjson=1";

} // namespace

SongListRequest songListFromText(QStringView text)
{
    for (const QUrl &url : serviceAddressesIn(text)) {
        if (SongListRequest list = listOfAddress(url); list.kind != SongListRequest::Kind::None)
            return list;
    }
    const QString words = text.toString().simplified();
    if (words.isEmpty() || words.size() > kMaxSearchUnits || holdsAddress(words))
        return {};
    return {SongListRequest::Kind::Search, words};
}

bool isTooLongToSearch(QStringView text)
{
    const QString words = text.toString().simplified();
    return words.size() > kMaxSearchUnits && !holdsAddress(words);
}

QString playlistPageUrl(const QString &host, const QString &pid, int page, int rows)
{
    return u"http://"_s + host + u"/pl.svc?op=getlistinfo&pid="_s + pid + u"&pn="_s + QString::number(page) +
           u"&rn="_s + QString::number(rows) +
           u"&encode=utf8&keyset=pl2012&identity=kuwo&pcmp4=1&vipver=MUSIC_9.0.5.0_W1&newver=1"_s;
}

QString albumPageUrl(const QString &host, const QString &albumId, int page, int rows)
{
    return rsQuery(host) + u"pn="_s + QString::number(page) + u"&rn="_s + QString::number(rows) + u"&albumid="_s +
           albumId + u"&stype=albuminfo"_s + kAlbumAndSingerTail.toString();
}

QString singerPageUrl(const QString &host, const QString &singerId, int page, int rows)
{
    return rsQuery(host) + u"pn="_s + QString::number(page) + u"&rn="_s + QString::number(rows) + u"&artistid="_s +
           singerId + u"&stype=artist2music"_s + kAlbumAndSingerTail.toString();
}

QString searchPageUrl(const QString &host, const QString &words, int page, int rows)
{
    // UTF-8, percent-encoded: the service's search breaks on any other encoding.
    return rsQuery(host) + u"client=kt&all="_s + QString::fromLatin1(QUrl::toPercentEncoding(words)) +
           u"&pn="_s + QString::number(page) + u"&rn="_s + QString::number(rows) +
           u"&ft=music&encoding=utf8&rformat=json&vermerge=1&mobi=1&newver=1&vipver=1&show_copyright_off=1"
           u"&cluster=0&strategy=2012&issubtitle=1"_s;
}

ListPage readPlaylistPage(const QByteArray &answer)
{
    const QJsonObject root = jsonObject(answer, "pl.svc");
    if (root.value(u"result").toString() != u"ok"_s)
        throw ContentError("pl.svc: the result is not ok");
    return {listName(root.value(u"title")), jsonNumber(root.value(u"total")),
            readSongs(root.value(u"musiclist"), {u"id"_s, u"name"_s, {}, u"artist"_s, u"album"_s, u"duration"_s},
                      "pl.svc")};
}

ListPage readAlbumPage(const QByteArray &answer)
{
    const QJsonObject root = jsonObject(answer, "albuminfo");
    ListPage page{listName(root.value(u"name")), jsonNumber(root.value(u"songnum")),
                  readSongs(root.value(u"musiclist"),
                            {u"id"_s, u"name"_s, {}, u"artist"_s, u"album"_s, u"duration"_s, u"track"_s}, "albuminfo")};
    // The album's songs do not repeat its name.
    for (ListSong &song : page.songs) {
        if (song.album.isEmpty())
            song.album = page.title;
    }
    return page;
}

ListPage readSingerPage(const QByteArray &answer)
{
    const QJsonObject root = jsonObject(answer, "artist2music");
    return {listName(root.value(u"artist")), jsonNumber(root.value(u"total")),
            readSongs(root.value(u"musiclist"),
                      {u"musicrid"_s, u"name"_s, {}, u"artist"_s, u"album"_s, u"duration"_s}, "artist2music")};
}

ListPage readSearchPage(const QByteArray &answer)
{
    const QJsonObject root = jsonObject(answer, "search");
    return {{}, jsonNumber(root.value(u"TOTAL")),
            readSongs(root.value(u"abslist"),
                      {u"MUSICRID"_s, u"SONGNAME"_s, u"NAME"_s, u"ARTIST"_s, u"ALBUM"_s, u"DURATION"_s}, "search")};
}

QString decodeEntities(QStringView text)
{
    static const QRegularExpression reference(u"&(?:#([0-9]{1,7})|#[xX]([0-9A-Fa-f]{1,6})|([A-Za-z]{2,6}));"_s);
    static const QHash<QString, QChar> named{{u"nbsp"_s, u' '},  {u"amp"_s, u'&'},  {u"lt"_s, u'<'},
                                             {u"gt"_s, u'>'},    {u"quot"_s, u'"'}, {u"apos"_s, u'\''}};
    QString decoded;
    qsizetype done = 0;
    auto matches = reference.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        QString replacement;
        if (match.hasCaptured(3)) {
            if (const auto found = named.constFind(match.captured(3)); found != named.cend())
                replacement = *found;
        } else {
            bool ok = false;
            const uint code = match.hasCaptured(1) ? match.captured(1).toUInt(&ok, 10)
                                                   : match.captured(2).toUInt(&ok, 16);
            // No NUL, no lone surrogate, nothing past Unicode: those stay as written.
            if (ok && code != 0 && code <= 0x10ffff && !QChar::isSurrogate(code))
                replacement = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        }
        if (replacement.isEmpty())
            continue;
        decoded += text.sliced(done, match.capturedStart() - done);
        decoded += replacement;
        done = match.capturedEnd();
    }
    decoded += text.sliced(done);
    return decoded;
}

} // namespace corvane
