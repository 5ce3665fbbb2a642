#include "kuwotoday.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <zlib.h>

#include "errors.h"
#include "kuwolists.h"
#include "textcutting.h"
#include "textdecode.h"

using namespace Qt::StringLiterals;

namespace corvane {

bool isServiceId(QStringView id)
{
    if (id.isEmpty() || id.size() > 20)
        return false;
    return std::all_of(id.begin(), id.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

namespace {

// The id in one address on a service host.
QString songIdFromAddress(const QUrl &url)
{
    static const QRegularExpression inPath(u"/(?:play_detail|yinyue)/(\\d{1,20})(?!\\d)"_s);
    if (const auto match = inPath.match(url.path()); match.hasMatch())
        return match.captured(1);
    const QUrlQuery query(url);
    for (const QString &key : {u"musicId"_s, u"rid"_s, u"mid"_s, u"id"_s}) {
        QString value = query.queryItemValue(key, QUrl::FullyDecoded);
        if (value.startsWith(u"MUSIC_"_s))
            value.remove(0, 6);
        if (isServiceId(value))
            return value;
    }
    return {};
}

QByteArray inflateBounded(const QByteArray &deflated, qsizetype maxBytes)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw ContentError("lyrics: zlib refused to start");
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.constData()));
    stream.avail_in = uInt(deflated.size());
    QByteArray out;
    char chunk[64 * 1024];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            inflateEnd(&stream);
            throw ContentError("lyrics: the body is not a whole zlib stream");
        }
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out.size() > maxBytes) {
            inflateEnd(&stream);
            throw ContentError("lyrics: the body inflates past its bound");
        }
    }
    inflateEnd(&stream);
    return out;
}

} // namespace

QString jsonText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    return {};
}

qint64 jsonNumber(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toInteger();
    return value.toString().trimmed().toLongLong();
}

QList<QUrl> serviceAddressesIn(QStringView text)
{
    // A service address that stands alone: not inside another address ("…?u=kuwo.cn/…"),
    // not the end of a longer host name ("notkuwo.cn") nor the start of one
    // ("kuwo.cn.evil.example").
    static const QRegularExpression address(
        u"(?<![A-Za-z0-9.\\-/=?&%@:_~#+])(?:https?://)?((?:www\\.|m\\.)?kuwo\\.cn)(?![A-Za-z0-9.-])"
        u"([/?#:][^\\s]*)?"_s,
        QRegularExpression::CaseInsensitiveOption);
    QList<QUrl> found;
    auto matches = address.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        found << QUrl(u"http://"_s + match.captured(1).toLower() + match.captured(2), QUrl::TolerantMode);
    }
    return found;
}

QString songIdFromText(QStringView text)
{
    for (const QUrl &url : serviceAddressesIn(text)) {
        if (const QString id = songIdFromAddress(url); !id.isEmpty())
            return id;
    }
    return {};
}

QString musicPayUrl(const QString &payHost, const QString &rid)
{
    return u"http://"_s + payHost + u"/music.pay?newver=3&op=query&action=play&ids="_s + rid;
}

PaySong readMusicPay(const QByteArray &answer)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw ContentError("music.pay: not a JSON object");
    const QJsonObject root = document.object();
    if (const QJsonValue code = root.value(u"errorcode"); !code.isUndefined() && jsonNumber(code) != 0)
        throw ContentError("music.pay: an error code");
    const QJsonArray songs = root.value(u"songs").toArray();
    if (songs.isEmpty())
        throw ContentError("music.pay: no songs");
    const QJsonObject song = songs.first().toObject();
    PaySong result;
    // Character references decoded once, as in the lists' names: the same song is named
    // the same, whichever way it was found.
    const auto name = [&song](QStringView key) { return serverName(decodeEntities(jsonText(song.value(key)))); };
    result.name = name(u"name");
    if (result.name.isEmpty())
        throw ContentError("music.pay: no name");
    result.artist = name(u"artist");
    result.album = name(u"album");
    result.duration = qMax<qint64>(0, jsonNumber(song.value(u"duration")));
    result.offered = readOfferedFiles(jsonText(song.value(u"MINFO")));
    return result;
}

QByteArray xorWithServiceKey(QByteArray bytes)
{
    static constexpr char key[] = "yeelion";
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ key[i % 7]);
    return bytes;
}

QByteArray lyricQuery(const QString &rid)
{
    const QByteArray plain =
        "user=12345,web,web,web&requester=localhost&req=1&rid=MUSIC_" + rid.toLatin1() + "&lrcx=1";
    return xorWithServiceKey(plain).toBase64();
}

QString lyricUrl(const QString &lyricHost, const QString &rid)
{
    return u"http://"_s + lyricHost + u"/newlyric.lrc?"_s + QString::fromLatin1(lyricQuery(rid));
}

QString readLyricAnswer(const QByteArray &answer)
{
    if (!answer.startsWith("tp=content\r\n") && answer != "tp=content")
        throw ContentError("lyrics: the service has none for this song, or refuses");
    const qsizetype headerEnd = answer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        throw ContentError("lyrics: no body");
    const QByteArray text = inflateBounded(answer.mid(headerEnd + 4), kMaxInflatedLyricBytes);
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        throw ContentError("lyrics: the body is not Base64");
    return decodeGb18030(xorWithServiceKey(*decoded));
}

bool isLyricRefusal(const QByteArray &answer)
{
    return answer.trimmed().toLower().startsWith("tp=error");
}

namespace {
const QRegularExpression &wordMarkers()
{
    static const QRegularExpression markers(u"<-?\\d+,-?\\d+(?:,-?\\d+)?>"_s);
    return markers;
}
} // namespace

QString lrcWithoutMarkers(QStringView lrc)
{
    QString text = lrc.toString();
    text.remove(wordMarkers());
    return text;
}

QString plainLyricLines(QStringView lrc)
{
    static const QRegularExpression stamps(u"^(?:\\[\\d+:\\d+(?:[.:]\\d+)?\\])+"_s);
    const QRegularExpression &markers = wordMarkers();
    QStringList lines;
    for (QStringView line : lrc.split(u'\n')) {
        line = line.trimmed();
        const auto stamp = stamps.match(line.toString());
        if (!stamp.hasMatch())
            continue; // a tag line ([ti:…], [kuwo:…]) or no lyric at all
        QString text = line.sliced(stamp.capturedLength()).toString();
        text.remove(markers);
        text = text.trimmed();
        if (!text.isEmpty())
            lines << text;
    }
    return lines.join(u"\r\n"_s);
}

bool servesNotice(std::optional<qint64> size, qint64 durationSeconds)
{
    return size && durationSeconds > 0 && *size * 10 < durationSeconds * 16000 * 4;
}

QString pictureServiceUrl(const QString &pictureHost, const QString &rid)
{
    return u"http://"_s + pictureHost + u"/pic.web?corp=kuwo&type=rid_pic&pictype=500&size=500&rid="_s + rid;
}

QString pictureFromAnswer(const QByteArray &answer)
{
    const QString text = QString::fromUtf8(answer).trimmed();
    return text.startsWith(u"http"_s) ? text : QString();
}

} // namespace corvane
