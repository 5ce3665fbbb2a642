#include "songresolver.h"

#include "errors.h"
#include "httpfetch.h"
#include "pictureloader.h"

using namespace Qt::StringLiterals;

namespace corvane {

QString SegmentAfter(QStringView text, QStringView marker)
{
    const qsizetype first = text.indexOf(marker);
    if (first < 0 || marker.isEmpty())
        throw ContentError("marker missing");
    const qsizetype start = first + marker.size();
    const qsizetype second = text.indexOf(marker, start);
    return (second < 0 ? text.sliced(start) : text.sliced(start, second - start)).toString();
}

QString TextBefore(QStringView text, QStringView marker)
{
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QString() : text.first(at).toString();
}

QString ShortenSongName(const QString &name)
{
    if (name.size() <= kSongNameMaxUnits)
        return name;
    qsizetype keep = kSongNameMaxUnits;
    if (name.at(keep - 1).isHighSurrogate())
        --keep;
    return name.first(keep) + u".."_s;
}

QString CleanLyrics(QString lyrics)
{
    lyrics.replace(u"<br>"_s, u"\r\n"_s);
    lyrics.remove(u'<');
    lyrics.remove(QString(27, u' '));
    return lyrics;
}

QString RidFromAddress(QStringView address, QStringView songPagePrefix)
{
    QString rid = SegmentAfter(address, songPagePrefix);
    rid.remove(u'/');
    return rid;
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
    info.SingerName = TextBefore(SegmentAfter(info.PageText, u"【"), u"】");
    info.SongName = ShortenSongName(TextBefore(SegmentAfter(info.PageText, u"<title>"), u"_"));
    reports.NamesReady(info.SongName, info.SingerName);

    info.Rid = RidFromAddress(pageAddress(), prefix);
    const QString link = GetBody(linkConversionUrl(config.linkHost, info.Rid), config.fetch);
    // The service answers a bare word (such as "IPDeny") where it will not convert: that
    // is a failure, not a link.
    if (!isDirectLink(link))
        throw ContentError("link conversion refused");
    info.DirectLink = link;
    reports.LinkReady(info.DirectLink);

    info.Rid = RidFromAddress(pageAddress(), prefix);
    info.MetadataText = GetBody(metadataUrl(config.metadataHost, info.Rid), config.fetch);
    info.LyricsText = CleanLyrics(TextBefore(SegmentAfter(info.PageText, u"复制歌词</a>"), u"</div>"));
    reports.LyricsReady(info.LyricsText);

    info.PictureAddress = TextBefore(SegmentAfter(info.MetadataText, u"<artist_pic240>"), u"<");
    const QImage picture = LoadPicture(info.PictureAddress, config.picture);
    reports.PictureReady(picture);
}

} // namespace corvane
