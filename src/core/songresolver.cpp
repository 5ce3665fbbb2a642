#include "songresolver.h"

#include <QUrl>

#include "errors.h"
#include "httpfetch.h"
#include "pictureloader.h"

using namespace Qt::StringLiterals;

namespace corvane {

QString ridFromAddress(QStringView address, QStringView songPagePrefix)
{
    QString rid = SegmentAfter(address, songPagePrefix).toString();
    rid.remove(u'/');
    return rid;
}

QString singerFromPage(QStringView page)
{
    return firstUnits(cutBetween(page, u"【", u"】"), kNameMaxUnits);
}

QString fullSongNameFromPage(QStringView page)
{
    return firstUnits(cutBetween(page, u"<title>", u"_"), kNameMaxUnits);
}

QString songNameFromPage(QStringView page)
{
    return shortenSongName(fullSongNameFromPage(page));
}

QString lyricsFromPage(QStringView page)
{
    return firstUtf8Bytes(cleanLyrics(cutBetween(page, u"复制歌词</a>", u"</div>")), kLyricsMaxBytes);
}

QString pictureFromRecord(QStringView record)
{
    return cutBetween(record, u"<artist_pic240>", u"<").toString();
}

QString directLinkFrom(QStringView answer)
{
    if (answer.endsWith(u"\r\n"))
        answer.chop(2);
    else if (answer.endsWith(u'\n'))
        answer.chop(1);
    if (answer.isEmpty() || answer.size() > kLinkMaxBytes || answer.toUtf8().size() > kLinkMaxBytes)
        return {};
    for (const QChar c : answer) {
        const QChar::Category category = c.category();
        if (c.isSpace() || category == QChar::Other_Control || category == QChar::Other_Format)
            return {};
    }
    const QString link = answer.toString();
    const QUrl url(link, QUrl::StrictMode);
    return isWebAddress(link) && url.isValid() ? link : QString();
}

bool isWebAddress(const QString &address)
{
    return acceptedHttpUrl(address).isValid();
}

QString linkConversionUrl(const QString &linkHost, const QString &rid)
{
    return u"http://"_s + linkHost + u"/anti.s?type=convert%5Furl&response=url&rid=MUSIC%5F"_s + rid +
           u"&format=mp3%7Cmp3"_s;
}

QString metadataUrl(const QString &metadataHost, const QString &rid)
{
    return u"http://"_s + metadataHost + u"/webmusic/st/getNewMuiseByRid?rid=MUSIC_"_s + rid;
}

QCoro::Task<ResolveEnd> ResolveSong(SongInfo &info, QString pageAddress, SongReports &reports,
                                    ServiceConfig config)
{
    const QString prefix = config.songPagePrefix();

    const QString page = co_await GetBody(pageAddress, config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    info.PageText = page;
    info.SingerName = singerFromPage(info.PageText);
    info.SongName = songNameFromPage(info.PageText);
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = ridFromAddress(pageAddress, prefix);
    const QString answer = co_await GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    // The service answers a bare word (such as "IPDeny") where it will not convert: that
    // is a failure, not a link.
    const QString link = directLinkFrom(answer);
    if (link.isEmpty())
        throw ContentError("link conversion refused");
    info.DirectLink = link;
    reports.LinkReady(info.DirectLink);

    const QString record = co_await GetBody(metadataUrl(config.metadataHost, info.Rid), config.fetch);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    info.MetadataText = record;
    info.LyricsText = lyricsFromPage(info.PageText);
    reports.LyricsReady(info.LyricsText);

    info.PictureAddress = pictureFromRecord(info.MetadataText);
    QImage picture;
    if (isWebAddress(info.PictureAddress))
        picture = co_await LoadPicture(info.PictureAddress, config.picture);
    if (!reports.wanted())
        co_return ResolveEnd::Abandoned;
    reports.PictureReady(picture);
    co_return ResolveEnd::Resolved;
}

} // namespace corvane
