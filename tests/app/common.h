#pragma once

// A stand-in for the music service and the version server, shared by the window tests.

#include <QBuffer>
#include <QImage>
#include <QString>

#include "core/versioncheck.h"
#include "httptestserver.h"
#include "pictures.h"

namespace corvane::testing {

// A version file naming this build's own version: the up-to-date outcome.
inline QByteArray ownVersionFile()
{
    return "mqvt:" + kOwnVersion.toUtf8() + "|";
}

struct SampleSong
{
    QString title = QStringLiteral("晴天_周杰伦_酷我音乐");
    QString singer = QStringLiteral("周杰伦");
    QString lyrics = QStringLiteral("故事的小黄花<br>从出生那年就飘着");
    bool hasLyricsMarker = true;
    QByteArray link; // empty: a direct address on the server
    QColor picture = Qt::red;

    QByteArray page() const
    {
        QString text = QStringLiteral("<html><head><title>") + title +
                       QStringLiteral("</title></head><body><p>【") + singer +
                       QStringLiteral("】</p><div class=\"lrc\">");
        if (hasLyricsMarker)
            text += QStringLiteral("<a href=\"#\">复制歌词</a>");
        return (text + lyrics + QStringLiteral("</div></body></html>")).toUtf8();
    }
};

// Answers the version file, song pages "/yinyue/<id>/", the link conversion, the
// metadata records and pictures "/star/<id>.png" of the songs it is given.
inline HttpResponse answerService(const HttpRequest &request, const QByteArray &versionFile,
                                  const QMap<QByteArray, SampleSong> &songs, const QString &origin)
{
    const QByteArray path = request.path();
    const QByteArray query = request.pathAndQuery().mid(path.size() + 1);
    if (path == "/soft/version/main.txt")
        return HttpResponse::text(versionFile);
    if (path.startsWith("/yinyue/")) {
        const QByteArray id = path.mid(8).replace('/', "");
        if (songs.contains(id))
            return HttpResponse::text(songs.value(id).page(), "text/html; charset=utf-8");
        return HttpResponse::text("<html><title>404</title></html>", "text/html", 404);
    }
    const qsizetype ridAt = query.indexOf("rid=MUSIC_");
    const QByteArray rid = ridAt < 0 ? QByteArray() : query.mid(ridAt + 10).split('&').first();
    if (path == "/anti.s") {
        const SampleSong song = songs.value(rid);
        return HttpResponse::text(
            song.link.isEmpty() ? "http://" + origin.toLatin1() + "/music/" + rid + ".mp3" : song.link);
    }
    if (path == "/webmusic/st/getNewMuiseByRid") {
        return HttpResponse::text("<Song><name>x</name><artist_pic240>http://" + origin.toLatin1() +
                                  "/star/" + rid + ".png</artist_pic240></Song>");
    }
    if (path.startsWith("/music/"))
        return HttpResponse::text(QByteArray(4096, '\xff'), "audio/mpeg");
    if (path.startsWith("/star/")) {
        const QByteArray id = path.mid(6).chopped(4);
        if (songs.contains(id))
            return HttpResponse::text(pngOf(songs.value(id).picture), "image/png");
    }
    return HttpResponse::text("not found", "text/plain", 404);
}

} // namespace corvane::testing
