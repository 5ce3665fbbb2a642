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
QCoro::Task<ResolveEnd> convertLink(SongInfo &info, SongReports &reports, const ServiceConfig &config,
                                    qint64 durationSeconds)
{
    const QString answer = co_await GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    // The service answers a bare word (such as "IPDeny") where it will not convert: that
    // is a failure, not a link.
    const QString link = directLinkFrom(answer);
    if (link.isEmpty())
        throw ContentError("link conversion refused");
    if (durationSeconds > 0) {
        const std::optional<qint64> size = co_await fetchSize(acceptedHttpUrl(link), config.sizeCheckTimeout);
        if (!reports.wanted())
            co_return ResolveEnd::Abandoned;
        if (servesNotice(size, durationSeconds))
            throw ContentError("the link serves a notice, not the song");
    }
    info.DirectLink = link;
    reports.LinkReady(info.DirectLink);
    co_return ResolveEnd::Resolved;
}

// The picture step both flows share: `info.PictureAddress` loaded when it is a web
// address, else no picture; reported.
QCoro::Task<ResolveEnd> loadPicture(SongInfo &info, SongReports &reports, const ServiceConfig &config)
{
    WebPicture picture;
    if (isWebAddress(info.PictureAddress))
        picture = co_await loadWebPicture(info.PictureAddress, config.picture);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    info.PictureBytes = std::move(picture.bytes);
    reports.PictureReady(picture.image);
    co_return ResolveEnd::Resolved;
}

QCoro::Task<RawResponse> fetchAnswer(QString address, FetchLimits limits)
{
    co_return co_await fetchRaw(acceptedHttpUrl(address), limits);
}

// The service as it answers today, for song `rid`.
QCoro::Task<ResolveEnd> resolveToday(SongInfo &info, QString rid, SongReports &reports,
                                     const ServiceConfig &config)
{
    const RawResponse record = co_await fetchAnswer(musicPayUrl(config.payHost, rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    const PaySong song = readMusicPay(record.body);
    info.FullSongName = song.name;
    info.SongName = shortenSongName(song.name);
    info.SingerName = song.artist;
    info.Album = song.album;
    info.DurationSeconds = song.duration;
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = rid;
    if (co_await convertLink(info, reports, config, song.duration) == ResolveEnd::Abandoned)
        co_return ResolveEnd::Abandoned;

    const RawResponse lyrics = co_await fetchAnswer(lyricUrl(config.lyricHost, rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    const QString lrc = readLyricAnswer(lyrics.body);
    info.LyricsText = firstUtf8Bytes(plainLyricLines(lrc), kLyricsMaxBytes);
    info.TimedLyrics = lrcWithoutMarkers(lrc);
    reports.LyricsReady(info.LyricsText);

    const RawResponse picture =
        co_await fetchAnswer(pictureServiceUrl(config.pictureHost, rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    info.PictureAddress = pictureFromAnswer(picture.body);
    co_return co_await loadPicture(info, reports, config);
}

} // namespace

QCoro::Task<ResolveEnd> ResolveSong(SongInfo &info, QString pageAddress, SongReports &reports,
                                    ServiceConfig config)
{
    // The classic flow first: the song page. When it yields no names, an address of the
    // service's own still resolves through its today endpoints.
    std::exception_ptr noNames;
    try {
        const QString page = co_await GetBody(pageAddress, config.fetch);
        if (!reports.wanted())
            co_return ResolveEnd::Abandoned;
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
        if (!reports.wanted())
            co_return ResolveEnd::Abandoned;
        const QString rid = songIdFromText(pageAddress);
        if (rid.isEmpty())
            std::rethrow_exception(noNames);
        co_return co_await resolveToday(info, rid, reports, config);
    }
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = ridFromAddress(pageAddress, config.songPagePrefix());
    if (co_await convertLink(info, reports, config, /*durationSeconds=*/0) == ResolveEnd::Abandoned)
        co_return ResolveEnd::Abandoned;

    const QString record = co_await GetBody(metadataUrl(config.metadataHost, info.Rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    info.MetadataText = record;
    info.LyricsText = lyricsFromPage(info.PageText);
    info.TimedLyrics.clear(); // a song page's lyrics carry no times
    reports.LyricsReady(info.LyricsText);

    info.PictureAddress = pictureFromRecord(info.MetadataText);
    co_return co_await loadPicture(info, reports, config);
}

} // namespace corvane
