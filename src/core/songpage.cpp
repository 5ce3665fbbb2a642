// The pure pieces of a resolution: what is cut from the song page and the answers, and
// the addresses asked. Kept apart from the awaiting code, which a fuzzing build compiles
// differently.
#include <QUrl>

#include "httpfetch.h"
#include "songresolver.h"

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
    return serverName(cutBetween(page, u"【", u"】"));
}

QString fullSongNameFromPage(QStringView page)
{
    return serverName(cutBetween(page, u"<title>", u"_"));
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

} // namespace corvane
