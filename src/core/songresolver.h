#pragma once

#include <functional>

#include <QImage>
#include <QString>

#include <QCoroTask>

#include "kuwoquality.h"
#include "kuwotoday.h"
#include "serviceconfig.h"
#include "textcutting.h"

namespace corvane {

// One resolution's results. Each resolution overwrites the fields in step order; a field
// that a failed resolution does not reach keeps the previous value.
struct SongInfo
{
    QString PageText;
    QString SingerName;
    QString SongName;
    QString Rid;
    QString DirectLink;
    QString MetadataText;
    QString LyricsText;
    QString PictureAddress;
    // The name not shortened, for the download's file name and the player.
    QString FullSongName;
    // Only the service's today answers give these.
    QString Album;
    qint64 DurationSeconds = 0;
    // The files the service holds for it (its record's MINFO); empty when nothing says.
    QList<OfferedFile> Offered;
    // The lyrics as timed LRC (word markers removed), saved beside a download.
    QString TimedLyrics;
    // The picture as the server sent it, for the downloaded song's cover; empty when no
    // picture was read.
    QByteArray PictureBytes;
};

// Receives the results of a resolution as each is settled, in this order, each at most
// once. An exception thrown here ends the resolution like a failed step. None is made
// once the resolution's requests have been stopped.
class SongReports
{
public:
    virtual ~SongReports() = default;
    virtual void NamesReady(const QString &SongName, const QString &SingerName) = 0;
    virtual void LinkReady(const QString &DirectLink) = 0;
    virtual void LyricsReady(const QString &LyricsText) = 0;
    virtual void PictureReady(const QImage &picture) = 0;
};

// The pieces a resolution cuts from the song page and the metadata record. Each throws
// ContentError when its start marker is missing. Names and lyrics come bounded (see
// kNameMaxUnits and kLyricsMaxBytes).
QString singerFromPage(QStringView page);       // after "【", before "】"
QString songNameFromPage(QStringView page);     // after "<title>", before "_", shortened
QString fullSongNameFromPage(QStringView page); // the same, not shortened
QString lyricsFromPage(QStringView page);       // after "复制歌词</a>", before "</div>", cleaned
QString pictureFromRecord(QStringView record);  // after "<artist_pic240>", before "<"

// The resource id: the address after the song page prefix, every "/" removed.
QString ridFromAddress(QStringView address, QStringView songPagePrefix);
// The direct link in a link-conversion answer, or empty when the answer is anything else
// (an error word such as "IPDeny", a second line, a local path). A link is an http or
// https address with a host, at most kLinkMaxBytes long, with no blank or control
// character in it; the one line break a text answer may end with is dropped first.
inline constexpr qsizetype kLinkMaxBytes = 8 * 1024;
QString directLinkFrom(QStringView answer);
// A picture address from the network is loaded only over the web: a local or UNC path
// there would read the user's files or reach another host's file server.
bool isWebAddress(const QString &address);

QString linkConversionUrl(const QString &linkHost, const QString &rid);
QString metadataUrl(const QString &metadataHost, const QString &rid);

// How a resolution that did not fail ended.
enum class ResolveEnd {
    Resolved, // every step done, every report made
    Stopped,  // its requests were stopped: the steps after it were not taken
};

// Turns the song page address into `info`, fetching the page, the direct link and the
// metadata record and loading the singer's picture, each awaited in turn. When the page
// yields no names (the service no longer serves it) and the address names a song of the
// service (songIdFromText), the song is resolved by the service's today endpoints
// instead: its record, the same link conversion, its lyrics and its picture. Throws
// corvane::Error at the first failing step, with the reports made so far standing.
// Every request is owned by `owner`: stopping it aborts the one in flight, and the task
// ends at once with Stopped, reporting nothing more. `info` and `reports` must outlive
// the task.
QCoro::Task<ResolveEnd> ResolveSong(SongInfo &info, QString pageAddress, SongReports &reports,
                                    ServiceConfig config, Requests *owner = nullptr);

// How a song of a list is resolved for its download.
struct ListResolution
{
    // Called with the song's record as soon as it arrives, while the lyrics and the
    // picture may still be on their way, so that the song's file can be asked for (its
    // link is the caller's: see QualityDownload).
    std::function<void(const PaySong &record)> recordReady;
};

// Song `rid` through the service's today endpoints, for a download of it: as ResolveSong's
// today flow without its link (its record, the lyrics, the picture), reporting nothing,
// except that lyrics the service lacks or refuses, and a picture that does not load, leave
// the song without them instead of failing it. Throws FetchError or ContentError at a
// failing step. `info` and `how` must outlive the task.
QCoro::Task<ResolveEnd> ResolveSongId(SongInfo &info, QString rid, ServiceConfig config, Requests *owner,
                                      ListResolution &how);

// The classic link conversion's link for song `rid` (a 128 kbit/s MP3). Throws LinkRefused
// when the service refuses it ("IPDeny"), ContentError for an answer that is not a web
// link of the network, FetchError or FetchStopped as GetBody does.
QCoro::Task<QString> askClassicLink(QString rid, ServiceConfig config, Requests *owner);

// The signed endpoint's answer for song `rid` in `quality` (readQualityAnswer). A link that
// names a local address is a refusal of that quality; a request that fails makes the
// endpoint unavailable for the song (the classic conversion may still answer). Throws only
// FetchStopped.
QCoro::Task<QualityAnswer> askQualityLink(QString rid, Quality quality, ServiceConfig config, Requests *owner);

} // namespace corvane
