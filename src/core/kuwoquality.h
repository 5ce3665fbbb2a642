#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// The service's higher qualities (320 kbit/s MP3, FLAC) and the signed link endpoint that
// serves them: what a song offers, what to ask, and how to read the answer. The service
// changes these every few months, so they live here together.
namespace corvane {

// The qualities a user can choose, lowest first.
enum class Quality { Mp3_128, Mp3_320, Flac };
inline constexpr Quality kQualities[] = {Quality::Mp3_128, Quality::Mp3_320, Quality::Flac};

// "标准 MP3 128k", "高品 MP3 320k", "无损 FLAC": as users know them.
QString qualityName(Quality quality);
// "128k", "320k", "无损": what a row says it got.
QString qualityShortName(Quality quality);
// The signed endpoint's name for it: "128kmp3", "320kmp3", "2000kflac".
QString qualityBr(Quality quality);
// What a file of that quality is: "mp3" or "flac", its extension too.
QString qualityFormat(Quality quality);

// One file the service holds for a song.
struct OfferedFile
{
    Quality quality;
    qint64 size = 0; // bytes; 0 when not given
    friend bool operator==(const OfferedFile &, const OfferedFile &) = default;
};
// The files a MINFO (or N_MINFO) text lists that Corvane can save: 128 and 320 kbit/s
// MP3 and FLAC, each once (the first listed), highest first. Other bitrates and encrypted
// formats (mflac, mgg…) are left out; sizes read "Mb" as 10^6 bytes, "Kb" as 10^3. Empty
// when the text names none: nothing is known.
QList<OfferedFile> readOfferedFiles(QStringView minfo);

// The qualities to ask the signed endpoint for, in turn, for a song whose user chose
// `chosen`: the offered ones not above it, highest first; when nothing is known of what
// the song offers (`offered` empty), `chosen` and each below it. Each at most once. The
// classic link conversion's 128k MP3 comes after all of them, and is not in the list.
QList<Quality> qualitiesToAsk(Quality chosen, const QList<OfferedFile> &offered);

// The signed endpoint's address for song `rid` in `quality`.
QString qualityLinkUrl(const QString &host, const QString &rid, Quality quality, const QString &source);

// What an answer of the signed endpoint says.
struct QualityAnswer
{
    enum class Kind {
        Link,        // the file of the quality asked, at `link`
        Refused,     // not that quality (a refusal, a downgrade, a bad answer): step down
        Unavailable, // the song is not there for this caller (404, 407): ask it no more
    };
    Kind kind = Kind::Refused;
    QString link;
};
// Kept only when `data.format` and `data.bitrate` are those of `asked` (a FLAC of any
// bitrate from 2000 up) and `data.url` is a web link (directLinkFrom); numbers may come as
// strings.
QualityAnswer readQualityAnswer(const QByteArray &answer, Quality asked);

// What a file of `quality` must at least be for a song of `durationSeconds` (40 % of what
// it promises: the bitrate times the duration for MP3; for FLAC the size the song's MINFO
// names, else 320 kbit/s times the duration): less is a notice clip, not the song. Empty
// when nothing is known (no duration, and for FLAC no size either).
std::optional<qint64> leastSongBytes(Quality quality, qint64 durationSeconds, qint64 offeredSize = 0);

} // namespace corvane
