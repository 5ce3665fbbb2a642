#include "songresolver.h"

#include <QUrl>

#include "errors.h"
#include "httpfetch.h"
#include "kuwotoday.h"
#include "pictureloader.h"

using namespace Qt::StringLiterals;

namespace corvane {

namespace {

// The link step both flows share: the conversion for `info.Rid`, reported. With the
// song's duration known (the today flow), a link whose file is far too small for it
// serves a notice, not the song, and fails like a refusal.
QCoro::Task<> convertLink(SongInfo &info, SongReports &reports, const ServiceConfig &config, Requests *owner,
                          qint64 durationSeconds)
{
    const QString answer = co_await GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch, owner);
    // The service answers a bare word (such as "IPDeny") where it will not convert: that
    // is a failure, not a link.
    const QString link = directLinkFrom(answer);
    if (link.isEmpty())
        throw LinkRefused("link conversion refused");
    if (durationSeconds > 0) {
        const std::optional<qint64> size = co_await fetchSize(acceptedHttpUrl(link), config.sizeCheckTimeout, owner);
        if (servesNotice(size, durationSeconds))
            throw NoticeOnly("the link serves a notice, not the song");
    }
    info.DirectLink = link;
    reports.LinkReady(info.DirectLink);
}

// The picture step both flows share: `info.PictureAddress` loaded when it is a web
// address, else no picture; reported.
QCoro::Task<> loadPicture(SongInfo &info, SongReports &reports, const ServiceConfig &config, Requests *owner)
{
    WebPicture picture;
    if (isWebAddress(info.PictureAddress))
        picture = co_await loadWebPicture(info.PictureAddress, config.picture, owner);
    info.PictureBytes = std::move(picture.bytes);
    reports.PictureReady(picture.image);
}

QCoro::Task<RawResponse> fetchAnswer(QString address, FetchLimits limits, Requests *owner)
{
    co_return co_await fetchRaw(acceptedHttpUrl(address), limits, owner);
}

// The service as it answers today, for song `rid`. With `lenient`, the lyrics and the
// picture are the song's when they can be had, and nothing fails for want of them.
QCoro::Task<> resolveToday(SongInfo &info, QString rid, SongReports &reports, const ServiceConfig &config,
                           Requests *owner, ListResolution *lenient = nullptr)
{
    const RawResponse record = co_await fetchAnswer(musicPayUrl(config.payHost, rid), config.fetch, owner);
    const PaySong song = readMusicPay(record.body);
    info.FullSongName = song.name;
    info.SongName = shortenSongName(song.name);
    info.SingerName = song.artist;
    info.Album = song.album;
    info.DurationSeconds = song.duration;
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = rid;
    co_await convertLink(info, reports, config, owner, song.duration);

    if (lenient) {
        info.LyricsText.clear();
        info.TimedLyrics.clear();
        info.PictureBytes.clear();
        if (lenient->askLyrics) {
            try {
                const RawResponse lyrics = co_await fetchAnswer(lyricUrl(config.lyricHost, rid), config.fetch, owner);
                lenient->lyricsRefused = isLyricRefusal(lyrics.body);
                const QString lrc = readLyricAnswer(lyrics.body);
                info.LyricsText = firstUtf8Bytes(plainLyricLines(lrc), kLyricsMaxBytes);
                info.TimedLyrics = lrcWithoutMarkers(lrc);
            } catch (const Error &) {
                // None, or refused: the song is saved without them.
            }
        }
        try {
            const RawResponse picture =
                co_await fetchAnswer(pictureServiceUrl(config.pictureHost, rid), config.fetch, owner);
            info.PictureAddress = pictureFromAnswer(picture.body);
            co_await loadPicture(info, reports, config, owner);
        } catch (const Error &) {
            info.PictureBytes.clear(); // the song is saved without a cover
        }
        co_return;
    }

    const RawResponse lyrics = co_await fetchAnswer(lyricUrl(config.lyricHost, rid), config.fetch, owner);
    const QString lrc = readLyricAnswer(lyrics.body);
    info.LyricsText = firstUtf8Bytes(plainLyricLines(lrc), kLyricsMaxBytes);
    info.TimedLyrics = lrcWithoutMarkers(lrc);
    reports.LyricsReady(info.LyricsText);

    const RawResponse picture =
        co_await fetchAnswer(pictureServiceUrl(config.pictureHost, rid), config.fetch, owner);
    info.PictureAddress = pictureFromAnswer(picture.body);
    co_await loadPicture(info, reports, config, owner);
}

// The classic flow first: the song page. When it yields no names, an address of the
// service's own still resolves through its today endpoints.
QCoro::Task<> resolve(SongInfo &info, QString pageAddress, SongReports &reports, const ServiceConfig &config,
                      Requests *owner)
{
    std::exception_ptr noNames;
    try {
        const QString page = co_await GetBody(pageAddress, config.fetch, owner);
        info.PageText = page;
        info.SingerName = singerFromPage(info.PageText);
        info.SongName = songNameFromPage(info.PageText);
        info.FullSongName = fullSongNameFromPage(info.PageText);
        // A song page names no album and no duration: none from an earlier song stays.
        info.Album.clear();
        info.DurationSeconds = 0;
    } catch (const Error &) {
        noNames = std::current_exception();
    }
    if (noNames) {
        const QString rid = songIdFromText(pageAddress);
        if (rid.isEmpty())
            std::rethrow_exception(noNames);
        co_await resolveToday(info, rid, reports, config, owner);
        co_return;
    }
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = ridFromAddress(pageAddress, config.songPagePrefix());
    co_await convertLink(info, reports, config, owner, /*durationSeconds=*/0);

    const QString record = co_await GetBody(metadataUrl(config.metadataHost, info.Rid), config.fetch, owner);
    info.MetadataText = record;
    info.LyricsText = lyricsFromPage(info.PageText);
    info.TimedLyrics.clear(); // a song page's lyrics carry no times
    reports.LyricsReady(info.LyricsText);

    info.PictureAddress = pictureFromRecord(info.MetadataText);
    co_await loadPicture(info, reports, config, owner);
}

// Reports to no one: a song of a list shows nothing until it is saved.
class Unreported final : public SongReports
{
public:
    void NamesReady(const QString &, const QString &) override {}
    void LinkReady(const QString &) override {}
    void LyricsReady(const QString &) override {}
    void PictureReady(const QImage &) override {}
};

} // namespace

QCoro::Task<ResolveEnd> ResolveSongId(SongInfo &info, QString rid, ServiceConfig config, Requests *owner,
                                      ListResolution &how)
{
    try {
        Unreported reports;
        co_await resolveToday(info, std::move(rid), reports, config, owner, &how);
    } catch (const FetchStopped &) {
        co_return ResolveEnd::Stopped;
    }
    co_return ResolveEnd::Resolved;
}

QCoro::Task<ResolveEnd> ResolveSong(SongInfo &info, QString pageAddress, SongReports &reports,
                                    ServiceConfig config, Requests *owner)
{
    try {
        co_await resolve(info, std::move(pageAddress), reports, config, owner);
    } catch (const FetchStopped &) {
        co_return ResolveEnd::Stopped;
    }
    co_return ResolveEnd::Resolved;
}

} // namespace corvane
