#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

#include "kuwoquality.h"

class QJsonValue;

// The music service as it answers today, for an address whose classic song page yields
// no names: each endpoint's request and the reading of its answer live here, together,
// because the service changes them every few months.
namespace corvane {

// The song id a pasted text names, or empty. The text may be a bare address or a share
// text around one ("分享歌曲《…》 https://m.kuwo.cn/… 来自酷我音乐"), with or without
// "http://" or "https://". The host must be exactly kuwo.cn, www.kuwo.cn or m.kuwo.cn;
// the id is the 1 to 20 digits right after "/play_detail/" or "/yinyue/", else the
// digits of the musicId, rid, mid or id query item, a leading "MUSIC_" removed.
QString songIdFromText(QStringView text);
// Whether `id` is one of the service's ids (songs, playlists, albums, singers): 1 to 20
// digits, nothing else.
bool isServiceId(QStringView id);
// Every address of the service's own hosts in a pasted text, by the rule above, in text
// order, its host lower-cased.
QList<QUrl> serviceAddressesIn(QStringView text);

// A JSON scalar that the service sends as a number or a string alike, as text or as a
// number (0 when it is neither).
QString jsonText(const QJsonValue &value);
qint64 jsonNumber(const QJsonValue &value);

// Names: music.pay.
QString musicPayUrl(const QString &payHost, const QString &rid);
struct PaySong
{
    QString name;   // the full name; bounded like every name from the network
    QString artist; // several singers joined by "&"
    QString album;
    qint64 duration = 0; // seconds; 0 when not given
    QList<OfferedFile> offered; // its MINFO; empty when it has none
};
// The first song of a music.pay answer. Throws ContentError when the answer is not a JSON
// object, its errorcode is other than 0, its songs are empty or the song has no name.
// Numbers and strings are accepted alike; character references in the names are decoded
// once (decodeEntities), as in a list's.
PaySong readMusicPay(const QByteArray &answer);

// Lyrics: newlyric.lrc.
// The query string after "?": the fixed request for `rid`, XORed with the service's key
// and Base64-encoded.
QByteArray lyricQuery(const QString &rid);
QString lyricUrl(const QString &lyricHost, const QString &rid);
// At most this much Base64 text is inflated from an answer; more is a failure, not memory
// spent (a megabyte of lyrics is plenty).
inline constexpr qsizetype kMaxInflatedLyricBytes = 2 * 1024 * 1024;
// The LRC text of an answer: header lines starting "tp=content" up to an empty line, then
// a zlib stream of Base64 text that decodes to the XORed GB18030 bytes. Throws
// ContentError for any other answer ("tp=none", the rate limit's "TP=ERROR REQUEST") or a
// body that does not decode.
QString readLyricAnswer(const QByteArray &answer);
// Whether a lyrics answer is the service's refusal for calling it too often ("tp=error"),
// rather than a song without lyrics.
bool isLyricRefusal(const QByteArray &answer);
// LRC as Text3 shows lyrics: tag lines dropped, time stamps and word markers removed, the
// text of each timed line in file order, empty lines dropped, joined by CR LF.
QString plainLyricLines(QStringView lrc);
// LRC with every word marker removed, line for line: tags, time stamps, translations and
// empty timed lines kept.
QString lrcWithoutMarkers(QStringView lrc);
// The service's XOR with its key "yeelion", byte index mod 7; its own inverse.
QByteArray xorWithServiceKey(QByteArray bytes);

// Paid songs: the link conversion may hand out a short spoken notice instead of the song.
// A file of `size` bytes is that notice when it is less than 40 % of the song's length at
// 128 kbit/s (16,000 bytes a second). An unknown size or duration decides nothing.
bool servesNotice(std::optional<qint64> size, qint64 durationSeconds);

// Picture: pic.web.
QString pictureServiceUrl(const QString &pictureHost, const QString &rid);
// The picture address in a pic.web answer, or empty when the answer says there is none.
QString pictureFromAnswer(const QByteArray &answer);

} // namespace corvane
