#include "songresolver.h"

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
    return cutBetween(page, u"【", u"】").toString();
}

QString fullSongNameFromPage(QStringView page)
{
    return cutBetween(page, u"<title>", u"_").toString();
}

QString songNameFromPage(QStringView page)
{
    return shortenSongName(fullSongNameFromPage(page));
}

QString lyricsFromPage(QStringView page)
{
    return cleanLyrics(cutBetween(page, u"复制歌词</a>", u"</div>"));
}

QString pictureFromRecord(QStringView record)
{
    return cutBetween(record, u"<artist_pic240>", u"<").toString();
}

bool isDirectLink(QStringView answer)
{
    return answer.startsWith(u"http://", Qt::CaseInsensitive) ||
           answer.startsWith(u"https://", Qt::CaseInsensitive);
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

void ResolveSong(SongInfo &info, const std::function<QString()> &pageAddress, SongReports &reports,
                 const ServiceConfig &config)
{
    const QString prefix = config.songPagePrefix();

    info.PageText = GetBody(pageAddress(), config.fetch);
    info.SingerName = singerFromPage(info.PageText);
    info.SongName = songNameFromPage(info.PageText);
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = ridFromAddress(pageAddress(), prefix);
    const QString link = GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch);
    // The service answers a bare word (such as "IPDeny") where it will not convert: that
    // is a failure, not a link.
    if (!isDirectLink(link))
        throw ContentError("link conversion refused");
    info.DirectLink = link;
    reports.LinkReady(info.DirectLink);

    info.Rid = ridFromAddress(pageAddress(), prefix);
    info.MetadataText = GetBody(metadataUrl(config.metadataHost, info.Rid), config.fetch);
    info.LyricsText = lyricsFromPage(info.PageText);
    reports.LyricsReady(info.LyricsText);

    info.PictureAddress = pictureFromRecord(info.MetadataText);
    const QImage picture = LoadPicture(info.PictureAddress, config.picture);
    reports.PictureReady(picture);
}

} // namespace corvane
