#include "songresolver.h"

#include <QUrl>

#include "errors.h"
#include "httpfetch.h"
#include "kuwotoday.h"
#include "lyricsgate.h"
#include "pictureloader.h"
#include "webaddress.h"

using namespace Qt::StringLiterals;

namespace corvane {

namespace {

// An address from the service that the program may fetch: a web address, and one of the
// network unless the service is itself local.
bool mayFetch(const QString &address, const ServiceConfig &config)
{
    const QUrl url = acceptedHttpUrl(address);
    return url.isValid() && (config.localLinks || isNetworkAddress(url));
}

// The link in a link-conversion answer. The service refuses with a bare word ("IPDeny");
// an answer that is some address, but not one of the network (a local file, this
// machine), is a bad answer, not a refusal.
QString linkFromConversion(const QString &answer, const ServiceConfig &config)
{
    const QString link = directLinkFrom(answer);
    if (link.isEmpty()) {
        if (answer.contains(u':') || answer.contains(u'/') || answer.contains(u'\\'))
            throw ContentError("the link conversion answered an address that is not a web link");
        throw LinkRefused("link conversion refused");
    }
    if (!mayFetch(link, config))
        throw ContentError("the link names a local address");
    return link;
}

// A picture address the song's picture may be loaded from; empty when there is none.
// Throws ContentError for one that names this machine or its network.
QString pictureToFetch(const QString &address, const ServiceConfig &config)
{
    if (!isWebAddress(address))
        return {};
    if (!mayFetch(address, config))
        throw ContentError("the picture address names a local address");
    return address;
}

// The link step both flows share: the conversion for `info.Rid`, reported. With the
// song's duration known (the today flow), a link whose file is far too small for it
// serves a notice, not the song, and fails like a refusal.
QCoro::Task<> convertLink(SongInfo &info, SongReports &reports, const ServiceConfig &config, Requests *owner,
                          qint64 durationSeconds)
{
    const QString answer = co_await GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch, owner);
    const QString link = linkFromConversion(answer, config);
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
    if (const QString address = pictureToFetch(info.PictureAddress, config); !address.isEmpty())
        picture = co_await loadWebPicture(address, config.picture, owner);
    info.PictureBytes = std::move(picture.bytes);
    reports.PictureReady(picture.image);
}

// The names a song record gives.
void takeNames(SongInfo &info, const PaySong &song)
{
    info.FullSongName = song.name;
    info.SongName = shortenSongName(song.name);
    info.SingerName = song.artist;
    info.Album = song.album;
    info.DurationSeconds = song.duration;
    info.Offered = song.offered;
}

QCoro::Task<RawResponse> fetchAnswer(QString address, FetchLimits limits, Requests *owner)
{
    co_return co_await fetchRaw(acceptedHttpUrl(address), limits, owner);
}

// The lyrics answer for song `rid`, asked in its turn at the program's lyrics gate (a
// `first` turn for the song a user asked for); none when the gate rests after a refusal.
// A refusal seen here rests everyone.
QCoro::Task<std::optional<RawResponse>> fetchLyrics(QString rid, ServiceConfig config, Requests *owner,
                                                    bool first)
{
    if (config.lyricsGate && !co_await config.lyricsGate->turn(owner, first))
        co_return std::nullopt;
    const auto over = qScopeGuard([gate = config.lyricsGate] {
        if (gate)
            gate->ended();
    });
    RawResponse answer = co_await fetchAnswer(lyricUrl(config.lyricHost, rid), config.fetch, owner);
    if (config.lyricsGate && isLyricRefusal(answer.body))
        config.lyricsGate->refused();
    co_return answer;
}

// The service as it answers today, for song `rid`.
QCoro::Task<> resolveToday(SongInfo &info, QString rid, SongReports &reports, const ServiceConfig &config,
                           Requests *owner)
{
    const RawResponse record = co_await fetchAnswer(musicPayUrl(config.payHost, rid), config.fetch, owner);
    const PaySong song = readMusicPay(record.body);
    takeNames(info, song);
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = rid;
    co_await convertLink(info, reports, config, owner, song.duration);

    const std::optional<RawResponse> lyrics = co_await fetchLyrics(rid, config, owner, /*first=*/true);
    // Resting from a refusal: the service would refuse them again, as it just did.
    if (!lyrics)
        throw ContentError("lyrics: the service refused them a moment ago");
    const QString lrc = readLyricAnswer(lyrics->body);
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
        info.Offered.clear();
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

// Song `rid` of a list, for its download: the today flow's steps, each request sent as
// soon as what it needs is known (a list waits on the service's answers, not on the
// tool's turns), and the lyrics and the picture the song's only when they can be had.
// A task left behind by a failing step ends with `owner`, which the caller deletes.
QCoro::Task<> resolveForList(SongInfo &info, QString rid, const ServiceConfig &config, Requests *owner,
                             ListResolution &how)
{
    QCoro::Task<RawResponse> record = fetchAnswer(musicPayUrl(config.payHost, rid), config.fetch, owner);
    QCoro::Task<std::optional<RawResponse>> lyrics = fetchLyrics(rid, config, owner, /*first=*/false);
    QCoro::Task<RawResponse> pictureAddress =
        fetchAnswer(pictureServiceUrl(config.pictureHost, rid), config.fetch, owner);

    const PaySong song = readMusicPay((co_await record).body);
    info.Rid = rid;
    takeNames(info, song);
    if (how.recordReady)
        how.recordReady(song);
    std::optional<QCoro::Task<QByteArray>> picture;
    try {
        info.PictureAddress = pictureFromAnswer((co_await pictureAddress).body);
    } catch (const Error &) {
        // No picture: the song is saved without a cover.
    }
    // A picture address on the user's own machine or network fails the song: the service
    // does not send one, a server that does is not to be trusted with the rest.
    if (const QString address = pictureToFetch(info.PictureAddress, config); !address.isEmpty())
        picture = loadCoverBytes(address, config.picture, owner);
    try {
        if (const std::optional<RawResponse> answer = co_await lyrics) {
            const QString lrc = readLyricAnswer(answer->body);
            info.LyricsText = firstUtf8Bytes(plainLyricLines(lrc), kLyricsMaxBytes);
            info.TimedLyrics = lrcWithoutMarkers(lrc);
        }
    } catch (const Error &) {
        // None, or refused: the song is saved without them.
    }
    if (picture) {
        try {
            info.PictureBytes = co_await *picture;
        } catch (const Error &) {
        }
    }
}

} // namespace

QCoro::Task<ResolveEnd> ResolveSongId(SongInfo &info, QString rid, ServiceConfig config, Requests *owner,
                                      ListResolution &how)
{
    try {
        co_await resolveForList(info, std::move(rid), config, owner, how);
    } catch (const FetchStopped &) {
        co_return ResolveEnd::Stopped;
    }
    co_return ResolveEnd::Resolved;
}

QCoro::Task<QString> askClassicLink(QString rid, ServiceConfig config, Requests *owner)
{
    co_return linkFromConversion(co_await GetBody(linkConversionUrl(config.linkHost, rid), config.fetch, owner),
                                 config);
}

QCoro::Task<QualityAnswer> askQualityLink(QString rid, Quality quality, ServiceConfig config, Requests *owner)
{
    RawResponse answer;
    try {
        answer = co_await fetchAnswer(qualityLinkUrl(config.qualityHost, rid, quality, config.qualitySource),
                                      config.fetch, owner);
    } catch (const Error &error) {
        // A blocked or failing host: the classic conversion is still there.
        qInfo("quality link: %s: %s", qUtf8Printable(rid), error.what());
        co_return QualityAnswer{QualityAnswer::Kind::Unavailable, {}};
    }
    QualityAnswer read = readQualityAnswer(answer.body, quality);
    if (read.kind == QualityAnswer::Kind::Link && !mayFetch(read.link, config))
        co_return QualityAnswer{QualityAnswer::Kind::Refused, {}};
    co_return read;
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
