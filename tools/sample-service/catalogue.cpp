#include "catalogue.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUrl>

#include "core/versioncheck.h"

using namespace Qt::StringLiterals;
using corvane::testing::HttpRequest;
using corvane::testing::HttpResponse;

namespace corvane::sample {
namespace {

// Song pages indent their lyric lines with runs of 27 blanks, which the tool removes.
const QString kIndent(27, u' ');

QByteArray singerPicture(const QColor &colour)
{
    QImage image(240, 240, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, colour.lighter(160));
    sky.setColorAt(1, colour);
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(colour.darker(170));
    p.drawEllipse(QRectF(80, 48, 80, 92));
    p.drawRoundedRect(QRectF(40, 150, 160, 130), 70, 60);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

QByteArray hostOf(const QString &hostOrUrl)
{
    const QUrl url = hostOrUrl.contains(u"://"_s) ? QUrl(hostOrUrl) : QUrl(u"http://"_s + hostOrUrl);
    return url.host().toLatin1().toLower();
}

HttpResponse htmlPage(const QString &title, const QString &body, int status = 200)
{
    return HttpResponse::text((u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>"_s + title +
                               u"</title></head><body>"_s + body + u"</body></html>"_s)
                                  .toUtf8(),
                              "text/html; charset=utf-8", status);
}

} // namespace

// Serves `body` whole, or the one range of it that a "Range: bytes=…" header asks for,
// as a real file server does, so that a player can seek.
HttpResponse byteRange(const QByteArray &body, const QByteArray &contentType, const QByteArray &range)
{
    static const QRegularExpression single(u"^bytes=(\\d*)-(\\d*)$"_s);
    const auto match = single.match(QString::fromLatin1(range.trimmed()));
    const qint64 size = body.size();
    if (range.isEmpty() || !match.hasMatch() || (match.captured(1).isEmpty() && match.captured(2).isEmpty()))
        return HttpResponse::text(body, contentType).withHeader("Accept-Ranges", "bytes");
    qint64 first = 0, last = size - 1;
    if (match.captured(1).isEmpty()) { // the last N bytes
        first = qMax<qint64>(0, size - match.captured(2).toLongLong());
    } else {
        first = match.captured(1).toLongLong();
        if (!match.captured(2).isEmpty())
            last = qMin(last, match.captured(2).toLongLong());
    }
    if (first >= size || first > last) {
        return HttpResponse::text({}, contentType, 416)
            .withHeader("Content-Range", "bytes */" + QByteArray::number(size))
            .withHeader("Accept-Ranges", "bytes");
    }
    return HttpResponse::text(body.mid(first, last - first + 1), contentType, 206)
        .withHeader("Content-Range", "bytes " + QByteArray::number(first) + '-' + QByteArray::number(last) +
                                         '/' + QByteArray::number(size))
        .withHeader("Accept-Ranges", "bytes");
}

QList<SampleSong> catalogue()
{
    const QString ok = u"成功"_s;
    return {
        {"1001",
         u"晨光里的纸飞机"_s,
         u"林小雨"_s,
         {u"清晨的风吹过窗台"_s, u"纸飞机飞向远方"_s, u"带着昨天的梦想"_s, u"落在你的肩膀"_s},
         PageEncoding::Utf8Header,
         "tone-440.mp3",
         QColor(70, 130, 180),
         true,
         false,
         ok},
        {"1002",
         u"海港的蓝灯"_s,
         u"周北辰"_s,
         {u"夜色里的海港"_s, u"亮着一盏蓝灯"_s, u"等一艘归来的船"_s},
         PageEncoding::Gb18030Header,
         "tone-523.mp3",
         QColor(46, 139, 87),
         true,
         false,
         ok},
        {"1003",
         u"夏夜晚风"_s,
         u"沈星河"_s,
         {u"萤火虫在草丛里"_s, u"晚风吹过稻田"_s, u"星星落在河面"_s},
         PageEncoding::Gb18030Meta,
         "tone-587.mp3",
         QColor(205, 133, 63),
         true,
         false,
         ok},
        {"1004",
         u"在那遥远的山谷里有一条会唱歌的小河流"_s,
         u"陈木"_s,
         {u"山谷里的小河"_s, u"一路唱着歌"_s},
         PageEncoding::Utf8Undeclared,
         "tone-659.mp3",
         QColor(147, 112, 219),
         true,
         false,
         u"成功（歌名超过17个字符，显示为前17个字符加..）"_s},
        {"1005",
         u"雨巷"_s,
         u"许青"_s,
         {u"撑着油纸伞"_s, u"独自彷徨在悠长的雨巷"_s},
         PageEncoding::Utf8Header,
         "tone-698.mp3",
         QColor(112, 128, 144),
         true,
         false,
         ok},
        {"1006",
         u"星星点灯的夜晚"_s,
         u"白鹿乐队"_s,
         {u"点一盏灯"_s, u"照亮回家的路"_s, u"Shine a light"_s},
         PageEncoding::Gb18030Header,
         "tone-784.mp3",
         QColor(178, 34, 34),
         true,
         false,
         ok},
        {"2001",
         u"没有歌词的歌"_s,
         u"无名氏"_s,
         {},
         PageEncoding::Utf8Header,
         "tone-440.mp3",
         QColor(128, 128, 0),
         false,
         false,
         u"失败：页面没有歌词（名称和外链已显示）"_s},
        {"2002",
         u"地区受限的歌"_s,
         u"远方"_s,
         {u"听不到的旋律"_s},
         PageEncoding::Utf8Header,
         "tone-440.mp3",
         QColor(0, 128, 128),
         true,
         true,
         u"失败：外链转换回答 IPDeny（名称已显示）"_s},
    };
}

SampleService::SampleService(ServiceConfig hosts) : m_hosts(std::move(hosts)), m_songs(catalogue()) {}

QString SampleService::songAddress(const SampleSong &song) const
{
    return m_hosts.songPagePrefix() + QString::fromLatin1(song.id) + u"/"_s;
}

QString SampleService::notASongAddress() const
{
    return u"http://"_s + m_hosts.webHost + u"/about/"_s;
}

QString SampleService::mediaUrl(const QByteArray &file) const
{
    return u"http://"_s + m_hosts.webHost + u"/sample-media/"_s + QString::fromLatin1(file);
}

HttpResponse SampleService::answer(const HttpRequest &request) const
{
    const QByteArray host = request.hostName();
    const QByteArray path = request.path();
    const QByteArray query = request.pathAndQuery().mid(path.size() + 1);
    auto param = [&](QByteArrayView key) {
        for (const QByteArray &pair : query.split('&')) {
            if (pair.startsWith(key.toByteArray() + '='))
                return QByteArray::fromPercentEncoding(pair.mid(key.size() + 1));
        }
        return QByteArray();
    };
    const bool loopback = host == "127.0.0.1" || host == "localhost";
    auto on = [&](const QString &configured) { return loopback || host == hostOf(configured); };

    if (on(m_hosts.webHost) && path.startsWith("/yinyue/"))
        return songPage(path.mid(8).replace('/', ""));
    if (on(m_hosts.webHost) && path.startsWith("/sample-media/"))
        return media(path.mid(14), request);
    if (on(m_hosts.linkHost) && path == "/anti.s")
        return linkConversion(param("rid"));
    if (on(m_hosts.metadataHost) && path == "/webmusic/st/getNewMuiseByRid")
        return metadata(param("rid"));
    if (on(m_hosts.versionHost) && path == "/soft/version/main.txt") {
        return HttpResponse::text("[Corvane]\r\nname=Corvane\r\nmqvt:" + kOwnVersion.toUtf8() +
                                      "|2014-05-01|\r\n"
                                      "download=http://soft.quennet.example/corvane.zip\r\n",
                                  "text/plain");
    }
    for (const QString &page : {m_hosts.kuwoHomePage, m_hosts.forumPage, m_hosts.homePage,
                                m_hosts.resourcePage, m_hosts.updateForumPage}) {
        if (host == hostOf(page))
            return htmlPage(QString::fromLatin1(host), u"<p>示例页面：%1</p>"_s.arg(page));
    }
    if (on(m_hosts.webHost))
        return htmlPage(u"404"_s, u"<h1>页面不存在</h1>"_s, 404);
    return htmlPage(u"502"_s, u"<h1>示例服务不认识这个主机</h1>"_s, 502);
}

const SampleSong *SampleService::find(QByteArray id) const
{
    if (id.startsWith("MUSIC_"))
        id = id.mid(6);
    for (const SampleSong &song : m_songs) {
        if (song.id == id)
            return &song;
    }
    return nullptr;
}

HttpResponse SampleService::songPage(const QByteArray &id) const
{
    const SampleSong *song = find(id);
    if (!song)
        return htmlPage(u"404"_s, u"<h1>歌曲不存在</h1>"_s, 404);
    const bool gb =
        song->encoding == PageEncoding::Gb18030Header || song->encoding == PageEncoding::Gb18030Meta;
    QString html = u"<!DOCTYPE html>\n<html><head>\n"_s;
    if (song->encoding == PageEncoding::Gb18030Meta)
        html += u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\n"_s;
    html += u"<title>"_s + song->name + u"_"_s + song->singer +
            u"_单曲在线试听_酷我音乐</title>\n</head><body>\n"_s;
    html += u"<div class=\"song\"><h1>"_s + song->name + u"</h1><p class=\"artist\">【"_s + song->singer +
            u"】</p></div>\n"_s;
    html += u"<div class=\"lrc\" id=\"lrc\">"_s;
    if (song->hasLyrics)
        html += u"<a href=\"javascript:;\" class=\"copy\">复制歌词</a>"_s;
    html += kIndent + song->lyrics.join(u"<br>"_s + kIndent) + u"</div>\n</body></html>\n"_s;

    QByteArray body = gb ? QByteArray(QStringEncoder("GB18030").encode(html)) : html.toUtf8();
    QByteArray type = "text/html";
    if (song->encoding == PageEncoding::Utf8Header)
        type += "; charset=utf-8";
    else if (song->encoding == PageEncoding::Gb18030Header)
        type += "; charset=gbk";
    return HttpResponse::text(std::move(body), type);
}

HttpResponse SampleService::linkConversion(const QByteArray &rid) const
{
    // The service's answer for a song it will not convert, or does not know.
    const SampleSong *song = find(rid);
    if (!song || song->linkDenied)
        return HttpResponse::text("IPDeny", "text/plain");
    return HttpResponse::text(mediaUrl(song->id + ".mp3").toLatin1(), "text/plain");
}

HttpResponse SampleService::metadata(const QByteArray &rid) const
{
    const SampleSong *song = find(rid);
    if (!song)
        return HttpResponse::text("<Song></Song>", "text/xml");
    const QString record =
        u"<Song>\r\n<id>MUSIC_%1</id>\r\n<name>%2</name>\r\n<artist>%3</artist>\r\n"
        "<artist_pic>%4</artist_pic>\r\n<artist_pic240>%4</artist_pic240>\r\n</Song>\r\n"_s.arg(
            QString::fromLatin1(song->id), song->name, song->singer, mediaUrl(song->id + ".jpg"));
    return HttpResponse::text(record.toUtf8(), "text/xml; charset=utf-8");
}

HttpResponse SampleService::media(const QByteArray &name, const HttpRequest &request) const
{
    const SampleSong *song = find(name.left(name.indexOf('.')));
    if (song && name.endsWith(".jpg"))
        return HttpResponse::text(singerPicture(song->colour), "image/jpeg");
    if (song && name.endsWith(".mp3")) {
        QFile tone(u":/media/"_s + QString::fromLatin1(song->tone));
        if (tone.open(QIODevice::ReadOnly)) {
            return byteRange(tone.readAll(), "audio/mpeg", request.header("Range"))
                .withHeader("Content-Disposition",
                            "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(song->name) + ".mp3");
        }
    }
    return htmlPage(u"404"_s, u"<h1>文件不存在</h1>"_s, 404);
}

} // namespace corvane::sample
