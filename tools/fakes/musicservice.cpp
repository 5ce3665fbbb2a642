#include "musicservice.h"

#include <cmath>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>
#include <QUrl>

#include "core/kuwotoday.h"
#include "core/textdecode.h"
#include "core/versioncheck.h"
#include "pictures.h"

using namespace Qt::StringLiterals;
namespace corvane::testing {
namespace {

QByteArray brOf(Quality quality)
{
    return qualityBr(quality).toLatin1();
}

// "level:ff,bitrate:2000,format:flac,size:0.07Mb;…" for the files the song's signed
// endpoint keeps and its 128k file; empty when it keeps no higher quality.
QString minfoOf(const FakeSong &song)
{
    if (song.qualities.isEmpty())
        return {};
    QStringList files;
    for (const FakeQualityFile &file : song.qualities) {
        const bool flac = file.quality == Quality::Flac;
        const qint64 size = file.listedSize > 0 ? file.listedSize : file.file.size();
        files << u"level:%1,bitrate:%2,format:%3,size:%4Mb"_s.arg(flac ? u"ff"_s : u"p"_s)
                     .arg(flac ? 2000 : file.quality == Quality::Mp3_320 ? 320 : 128)
                     .arg(qualityFormat(file.quality))
                     .arg(double(size) / 1e6, 0, 'f', 6);
    }
    files << u"level:h,bitrate:128,format:mp3,size:%1Mb"_s.arg(double(songFile(song).size()) / 1e6, 0, 'f', 6);
    return files.join(u';');
}

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

// The song's lyrics as LRC: its own text, else tags and one timed line per lyric line.
QString lrcOf(const FakeSong &song)
{
    if (!song.lrc.isEmpty())
        return song.lrc;
    QString lrc = u"[ti:%1]\r\n[ar:%2]\r\n[al:%3]\r\n[by:]\r\n[offset:0]\r\n[kuwo:0]\r\n"_s.arg(
        song.name, song.singer, song.album);
    for (qsizetype i = 0; i < song.lyrics.size(); ++i)
        lrc += u"[00:%1.%2]"_s.arg(i * 4 + 1, 2, 10, QChar(u'0')).arg(i * 37 % 1000, 3, 10, QChar(u'0')) +
               song.lyrics.at(i) + u"\r\n"_s;
    return lrc;
}

} // namespace

QByteArray lyricEnvelope(const QString &lrc)
{
    const QByteArray text = xorWithServiceKey(encodeGb18030(lrc)).toBase64();
    // qCompress puts the length in front of a zlib stream with its header.
    const QByteArray body = qCompress(text).mid(4);
    return "tp=content\r\npath=/lrc/fake.lrc\r\nscore=100\r\nprovider=kuwo\r\nlrc_length=" +
           QByteArray::number(text.size()) + "\r\ncand_lrc_count=1\r\nlrcx=1\r\nshow=0\r\n\r\n" + body;
}

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

namespace {

// A song that only the service's today endpoints resolve: its classic page answers 500.
FakeSong todaySong(QByteArray id, QString name, QString singer, QString address, QString expected)
{
    return {.id = std::move(id),
            .name = std::move(name),
            .singer = std::move(singer),
            .lyrics = {u"第一句歌词"_s, u"第二句歌词"_s, u"第三句歌词"_s},
            .tone = "tone-523.mp3",
            .colour = QColor(95, 158, 160),
            .expected = std::move(expected),
            .classicPageGone = true,
            .album = u"今日专辑"_s,
            .address = std::move(address)};
}

} // namespace

QList<FakeSong> sampleSongs()
{
    const QString ok = u"成功"_s;
    return {
        {.id = "1001",
         .name = u"晨光里的纸飞机"_s,
         .singer = u"林小雨"_s,
         .lyrics = {u"清晨的风吹过窗台"_s, u"纸飞机飞向远方"_s, u"带着昨天的梦想"_s, u"落在你的肩膀"_s},
         .encoding = PageEncoding::Utf8Header,
         .tone = "tone-440.mp3",
         .colour = QColor(70, 130, 180),
         .expected = ok},
        {.id = "1002",
         .name = u"海港的蓝灯"_s,
         .singer = u"周北辰"_s,
         .lyrics = {u"夜色里的海港"_s, u"亮着一盏蓝灯"_s, u"等一艘归来的船"_s},
         .encoding = PageEncoding::Gb18030Header,
         .tone = "tone-523.mp3",
         .colour = QColor(46, 139, 87),
         .expected = ok},
        {.id = "1003",
         .name = u"夏夜晚风"_s,
         .singer = u"沈星河"_s,
         .lyrics = {u"萤火虫在草丛里"_s, u"晚风吹过稻田"_s, u"星星落在河面"_s},
         .encoding = PageEncoding::Gb18030Meta,
         .tone = "tone-587.mp3",
         .colour = QColor(205, 133, 63),
         .expected = ok},
        {.id = "1004",
         .name = u"在那遥远的山谷里有一条会唱歌的小河流"_s,
         .singer = u"陈木"_s,
         .lyrics = {u"山谷里的小河"_s, u"一路唱着歌"_s},
         .encoding = PageEncoding::Utf8Undeclared,
         .tone = "tone-659.mp3",
         .colour = QColor(147, 112, 219),
         .expected = u"成功（歌名超过17个字符，显示为前17个字符加..）"_s},
        {.id = "1005",
         .name = u"雨巷"_s,
         .singer = u"许青"_s,
         .lyrics = {u"撑着油纸伞"_s, u"独自彷徨在悠长的雨巷"_s},
         .encoding = PageEncoding::Utf8Header,
         .tone = "tone-698.mp3",
         .colour = QColor(112, 128, 144),
         .expected = ok},
        {.id = "1006",
         .name = u"星星点灯的夜晚"_s,
         .singer = u"白鹿乐队"_s,
         .lyrics = {u"点一盏灯"_s, u"照亮回家的路"_s, u"Shine a light"_s},
         .encoding = PageEncoding::Gb18030Header,
         .tone = "tone-784.mp3",
         .colour = QColor(178, 34, 34),
         .expected = ok},
        {.id = "2001",
         .name = u"没有歌词的歌"_s,
         .singer = u"无名氏"_s,
         .lyrics = {},
         .encoding = PageEncoding::Utf8Header,
         .tone = "tone-440.mp3",
         .colour = QColor(128, 128, 0),
         .hasLyrics = false,
         .expected = u"失败：页面没有歌词（名称和外链已显示）"_s},
        {.id = "2002",
         .name = u"地区受限的歌"_s,
         .singer = u"远方"_s,
         .lyrics = {u"听不到的旋律"_s},
         .encoding = PageEncoding::Utf8Header,
         .tone = "tone-440.mp3",
         .colour = QColor(0, 128, 128),
         .linkDenied = true,
         .expected = u"失败：外链转换回答 IPDeny（名称已显示）"_s},
        // The service as it answers today: the classic page gives no names, the song
        // resolves by its id.
        todaySong("3001", u"青石板路"_s, u"苏晚"_s, u"http://www.kuwo.cn/play_detail/3001"_s,
                  u"成功（今日接口：网页版 play_detail 地址）"_s),
        todaySong("3002", u"风过林梢"_s, u"顾远&林一"_s, u"http://m.kuwo.cn/newh5app/play_detail/3002?from=share"_s,
                  u"成功（今日接口：手机网页 play_detail 地址，两位歌手）"_s),
        todaySong("3003", u"山风"_s, u"木子"_s,
                  u"分享歌曲《山风》 http://m.kuwo.cn/yinyue/3003?f=arphone&t=usercopy&isstar=0 来自酷我音乐"_s,
                  u"成功（今日接口：手机应用的分享文字）"_s),
        todaySong("3004", u"旧站台"_s, u"江河"_s, {}, u"成功（今日接口：经典地址，页面回答 500）"_s),
        [] {
            FakeSong song = todaySong("3005", u"月光小夜曲"_s, u"白羽"_s, u"http://kuwo.cn/play_detail/3005"_s,
                                      u"成功（今日接口：逐字歌词和翻译行）"_s);
            song.lrc = u"[ti:月光小夜曲]\r\n[ar:白羽]\r\n[kuwo:0]\r\n"
                       "[00:01.200]<0,520>月光<520,-120>洒在<640,480>窗前\r\n"
                       "[00:05.100]<0,0>Moonlight<0,0> on the window\r\n"
                       "[00:05.100]<0,400,1>轻轻<400,610>唱着\r\n"
                       "[00:09.30][00:20.00]<0,300>小夜曲\r\n"_s;
            return song;
        }(),
        [] {
            FakeSong song = todaySong("3006", u"边境之外"_s, u"远行"_s, u"http://www.kuwo.cn/play_detail/3006"_s,
                                      u"失败：外链转换回答 IPDeny（名称已显示）"_s);
            song.linkDenied = true;
            return song;
        }(),
        [] {
            FakeSong song = todaySong("3007", u"纯音乐：溪流"_s, u"青禾"_s, u"http://www.kuwo.cn/play_detail/3007"_s,
                                      u"失败：没有歌词（名称和外链已显示）"_s);
            song.hasLyrics = false;
            return song;
        }(),
        [] {
            FakeSong song = todaySong("3009", u"付费的歌"_s, u"星海"_s, u"http://www.kuwo.cn/play_detail/3009"_s,
                                      u"失败：外链只是 10 秒的付费提示（名称已显示）"_s);
            // A 240 s song whose link serves 10 s at 128 kbit/s: the service's notice.
            song.duration = 240;
            song.tone = {};
            song.mediaBytes = 10 * 16000;
            return song;
        }(),
        [] {
            FakeSong song = todaySong("3008", u"无名的画"_s, u"素素"_s, u"http://www.kuwo.cn/play_detail/3008"_s,
                                      u"成功（没有图片：头像清空）"_s);
            song.hasPicture = false;
            song.numbersAsText = true;
            return song;
        }(),
    };
}

QList<FakeSong> sampleListSongs()
{
    FakeSong marked = todaySong("3010", u"你&我 <b>不是粗体</b>"_s, u"左右&前后"_s, {},
                                u"成功（名称带字符实体）"_s);
    marked.album = u"夜航 / 星"_s;
    QList<FakeSong> songs{marked};
    // One song for each way the signed endpoint answers, as the README's table says.
    const auto quality = [](QByteArray id, QString name, QString expected, QList<FakeQualityFile> files,
                            SignedAnswer answer = SignedAnswer::AsAsked) {
        FakeSong song = todaySong(std::move(id), std::move(name), u"音质样例"_s, {}, std::move(expected));
        song.tone = "tone-440.mp3";
        song.album = u"音质样例"_s;
        song.qualities = std::move(files);
        song.signedAnswer = answer;
        return song;
    };
    // Two tones one after the other: long enough for what 320 kbit/s promises for the
    // record's one second.
    const QByteArray mp3At320 = songFile({.tone = "tone-659.mp3"}) + songFile({.tone = "tone-784.mp3"});
    const FakeQualityFile flac{Quality::Flac, flacTone(4)}, high{Quality::Mp3_320, mp3At320};
    songs << quality("5001", u"三种音质"_s, u"无损 FLAC"_s, {flac, high})
          << quality("5002", u"只有320k"_s, u"320k（无损不可用）"_s, {high})
          << quality("5003", u"悄悄降级"_s, u"320k（无损被悄悄换成 320k，拒收）"_s, {flac, high},
                     SignedAnswer::FlacAs320)
          << quality("5004", u"来源已停用"_s, u"128k（签名接口答 bitrate 1）"_s, {flac, high},
                     SignedAnswer::SourceRetired)
          << quality("5005", u"地区限制"_s, u"128k（签名接口答 407）"_s, {flac, high}, SignedAnswer::Region)
          << quality("5006", u"无损是提示音"_s, u"320k（FLAC 远短于所列大小）"_s,
                     {{Quality::Flac, flacTone(1, 880), 30'000'000}, high})
          << quality("5007", u"假无损"_s, u"320k（.flac 链接给的是 MP3）"_s,
                     {{Quality::Flac, songFile({.tone = "tone-784.mp3"})}, high});
    // Their tones differ, so that a saved file can be told from another.
    static const char *const tones[] = {"tone-440.mp3", "tone-523.mp3", "tone-587.mp3"};
    for (int i = 0; i < 1200; ++i) {
        FakeSong song = todaySong(QByteArray::number(600000 + i), u"长歌单第%1首"_s.arg(i + 1), u"合唱团"_s, {}, {});
        song.tone = tones[i % 3];
        song.album = u"千首"_s;
        songs << song;
    }
    return songs;
}

QList<FakeList> sampleLists()
{
    using Kind = FakeList::Kind;
    QList<QByteArray> thousand;
    for (int i = 0; i < 1200; ++i)
        thousand << QByteArray::number(600000 + i);
    return {
        {Kind::Playlist, "4003", u"音质样例"_s, {"5001", "5002", "5003", "5004", "5005", "5006", "5007"},
         u"7 首：选“无损 FLAC”时 1 首存为 FLAC，4 首 320k，2 首 128k"_s},
        {Kind::Playlist, "4001", u"通勤路上"_s, {"3001", "3002", "3005", "3006", "3007", "3009", "3010"},
         u"7 首：5 首成功（1 首无歌词），1 首地区受限，1 首付费"_s},
        {Kind::Album, "4101", u"今日专辑 / 第一辑"_s, {"3001", "3003", "3004", "3010"}, u"4 首，全部成功"_s},
        {Kind::Singer, "4201", u"苏晚"_s, {"3001", "3004", "3008"}, u"3 首，全部成功"_s},
        {Kind::Playlist, "4002", u"千首歌单"_s, thousand, u"1200 首，分两页"_s},
    };
}

QString listAddress(const FakeList &list)
{
    switch (list.kind) {
    case FakeList::Kind::Playlist:
        return u"http://www.kuwo.cn/playlist_detail/"_s + QString::fromLatin1(list.id);
    case FakeList::Kind::Album:
        return u"http://www.kuwo.cn/album_detail/"_s + QString::fromLatin1(list.id);
    case FakeList::Kind::Singer:
        break;
    }
    return u"http://www.kuwo.cn/singer_detail/"_s + QString::fromLatin1(list.id);
}

QList<std::pair<QString, QString>> sampleSearches()
{
    return {{u"青石板路"_s, u"1 首"_s}, {u"风"_s, u"夏夜晚风、风过林梢、山风"_s}, {u"没有这首歌"_s, u"没有结果：失败"_s}};
}

QByteArray flacTone(int seconds, int hertz)
{
    constexpr int rate = 8000, block = 4096;
    // At least `seconds`; frame numbers under 128 take one byte (a minute at most).
    const int blocks = qBound(1, (seconds * rate + block - 1) / block, 127);
    auto crc8 = [](const QByteArray &bytes) {
        quint8 crc = 0;
        for (const char byte : bytes) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = quint8(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
        }
        return crc;
    };
    auto crc16 = [](const QByteArray &bytes) {
        quint16 crc = 0;
        for (const char byte : bytes) {
            crc ^= quint16(quint8(byte)) << 8;
            for (int bit = 0; bit < 8; ++bit)
                crc = quint16(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
        }
        return crc;
    };
    QByteArray flac("fLaC");
    // STREAMINFO, the last metadata block: block sizes, unknown frame sizes, 8 kHz, mono,
    // 16 bits, the sample count, no MD5.
    const quint64 samples = quint64(blocks) * block;
    QByteArray info;
    info += char(block >> 8) + QByteArray(1, char(block & 0xff));
    info += char(block >> 8) + QByteArray(1, char(block & 0xff));
    info += QByteArray(6, '\0');
    const quint64 packed = (quint64(rate) << 44) | (quint64(0) << 41) | (quint64(15) << 36) | samples;
    for (int shift = 56; shift >= 0; shift -= 8)
        info += char((packed >> shift) & 0xff);
    info += QByteArray(16, '\0');
    flac += char(0x80) + QByteArray(1, '\0') + char(0) + char(info.size());
    flac += info;
    for (int n = 0; n < blocks; ++n) {
        // Sync, fixed block size; 4096 samples, the rate of STREAMINFO; mono, 16 bits; the
        // frame number (under 128: one byte); the header's CRC-8.
        QByteArray frame("\xff\xf8");
        frame += char(0xc0);
        frame += char(0x08);
        frame += char(n);
        frame += char(crc8(frame));
        frame += char(0x02); // a verbatim subframe
        for (int i = 0; i < block; ++i) {
            const double t = double(n * block + i) / rate;
            const auto sample = qint16(8000 * std::sin(2 * M_PI * hertz * t));
            frame += char(quint16(sample) >> 8);
            frame += char(quint16(sample) & 0xff);
        }
        const quint16 crc = crc16(frame);
        frame += char(crc >> 8);
        frame += char(crc & 0xff);
        flac += frame;
    }
    return flac;
}

QByteArray songFile(const FakeSong &song)
{
    if (song.tone.isEmpty())
        return QByteArray(song.mediaBytes > 0 ? song.mediaBytes : 4096, '\xff');
    QFile tone(u":/media/"_s + QString::fromLatin1(song.tone));
    return tone.open(QIODevice::ReadOnly) ? tone.readAll() : QByteArray();
}

qint64 recordedDuration(const FakeSong &song)
{
    return song.duration >= 0 ? song.duration : songFile(song).size() / 16000;
}

FakeSong sunnyDay(QByteArray id, QByteArray picture)
{
    return {.id = std::move(id),
            .name = u"晴天"_s,
            .singer = u"周杰伦"_s,
            .lyrics = {u"故事的小黄花"_s, u"从出生那年就飘着"_s},
            .title = u"晴天_周杰伦_酷我音乐"_s,
            .picture = picture.isEmpty() ? pngOf(Qt::red) : std::move(picture)};
}

MusicService::MusicService(ServiceConfig hosts, QList<FakeSong> songs)
    : m_hosts(std::move(hosts)), m_songs(std::move(songs))
{
}

QByteArray MusicService::defaultVersionFile()
{
    return "[Corvane]\r\nname=Corvane\r\nmqvt:" + kOwnVersion.toUtf8() +
           "|2014-05-01|\r\n"
           "download=http://soft.quennet.example/corvane.zip\r\n";
}

QString MusicService::songAddress(const QByteArray &id) const
{
    if (const FakeSong *song = find(id); song && !song->address.isEmpty())
        return song->address;
    return m_hosts.songPagePrefix() + QString::fromLatin1(id) + u"/"_s;
}

QString MusicService::notASongAddress() const
{
    return u"http://"_s + m_hosts.webHost + u"/about/"_s;
}

QString MusicService::mediaUrl(const QByteArray &file) const
{
    return u"http://"_s + m_hosts.webHost + u"/sample-media/"_s + QString::fromLatin1(file);
}

std::optional<MusicService::Route> MusicService::routeOf(const HttpRequest &request) const
{
    const QByteArray host = request.hostName();
    const QByteArray path = request.path();
    const bool loopback = host == "127.0.0.1" || host == "localhost";
    auto on = [&](const QString &configured) { return loopback || host == hostOf(configured); };
    if (on(m_hosts.webHost) && path.startsWith("/yinyue/"))
        return Route::SongPage;
    if (on(m_hosts.webHost) && path.startsWith("/sample-media/"))
        return path.endsWith(".jpg") ? Route::Picture : Route::Media;
    if (on(m_hosts.linkHost) && path == "/anti.s")
        return Route::LinkConversion;
    if (on(m_hosts.metadataHost) && path == "/webmusic/st/getNewMuiseByRid")
        return Route::Metadata;
    if (on(m_hosts.versionHost) && path == "/soft/version/main.txt")
        return Route::VersionFile;
    if (on(m_hosts.payHost) && path == "/music.pay")
        return Route::SongRecord;
    if (on(m_hosts.lyricHost) && path == "/newlyric.lrc")
        return Route::Lyrics;
    if (on(m_hosts.pictureHost) && path == "/pic.web")
        return Route::PictureAddress;
    if (on(m_hosts.playlistHost) && path == "/pl.svc")
        return Route::Playlist;
    if (on(m_hosts.searchHost) && path == "/r.s")
        return Route::ListSearch;
    if (on(m_hosts.qualityHost) && path == "/mobi.s")
        return Route::QualityLink;
    return std::nullopt;
}

HttpResponse MusicService::answer(const HttpRequest &request) const
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

    if (const std::optional<Route> route = routeOf(request)) {
        if (const auto fault = m_faults.constFind(*route); fault != m_faults.cend())
            return *fault;
        switch (*route) {
        case Route::SongPage:
            return songPage(path.mid(8).replace('/', ""));
        case Route::Picture:
        case Route::Media:
            return media(path.mid(14), request);
        case Route::LinkConversion:
            return linkConversion(param("rid"));
        case Route::Metadata:
            return metadata(param("rid"));
        case Route::VersionFile:
            return HttpResponse::text(m_versionFile, "text/plain");
        case Route::SongRecord:
            return songRecord(param("ids"));
        case Route::Lyrics:
            return lyrics(query);
        case Route::PictureAddress:
            return pictureAddress(param("rid"));
        case Route::Playlist:
            return playlist(param("pid"), param("pn").toInt(), param("rn").toInt());
        case Route::ListSearch:
            return listSearch(param);
        case Route::QualityLink:
            return qualityLink(param("rid"), param("br"));
        }
    }
    for (const QString &page : {m_hosts.kuwoHomePage, m_hosts.forumPage, m_hosts.homePage,
                                m_hosts.resourcePage, m_hosts.updateForumPage}) {
        if (host == hostOf(page))
            return htmlPage(QString::fromLatin1(host), u"<p>示例页面：%1</p>"_s.arg(page));
    }
    if (host == "127.0.0.1" || host == "localhost" || host == hostOf(m_hosts.webHost))
        return htmlPage(u"404"_s, u"<h1>页面不存在</h1>"_s, 404);
    return htmlPage(u"502"_s, u"<h1>示例服务不认识这个主机</h1>"_s, 502);
}

FakeSong *MusicService::song(QByteArrayView id)
{
    return const_cast<FakeSong *>(find(id.toByteArray()));
}

const FakeSong *MusicService::find(QByteArray id) const
{
    if (id.startsWith("MUSIC_"))
        id = id.mid(6);
    for (const FakeSong &song : m_songs) {
        if (song.id == id)
            return &song;
    }
    return nullptr;
}

HttpResponse MusicService::songPage(const QByteArray &id) const
{
    const FakeSong *song = find(id);
    if (!song)
        return htmlPage(u"404"_s, u"<h1>歌曲不存在</h1>"_s, 404);
    if (song->classicPageGone)
        return htmlPage(u"500"_s, u"<h1>Internal Server Error</h1>"_s, 500);
    const bool gb =
        song->encoding == PageEncoding::Gb18030Header || song->encoding == PageEncoding::Gb18030Meta;
    QString html = u"<!DOCTYPE html>\n<html><head>\n"_s;
    if (song->encoding == PageEncoding::Gb18030Meta)
        html += u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\n"_s;
    const QString title = song->title.isEmpty()
                              ? song->name + u"_"_s + song->singer + u"_单曲在线试听_酷我音乐"_s
                              : song->title;
    html += u"<title>"_s + title + u"</title>\n</head><body>\n"_s;
    html += u"<div class=\"song\"><h1>"_s + song->name + u"</h1><p class=\"artist\">【"_s + song->singer +
            u"】</p></div>\n"_s;
    html += u"<div class=\"lrc\" id=\"lrc\">"_s;
    if (song->hasLyrics)
        html += u"<a href=\"javascript:;\" class=\"copy\">复制歌词</a>"_s;
    html += kIndent + song->lyrics.join(u"<br>"_s + kIndent) + u"</div>\n</body></html>\n"_s;

    QByteArray body = gb ? encodeGb18030(html) : html.toUtf8();
    QByteArray type = "text/html";
    if (song->encoding == PageEncoding::Utf8Header)
        type += "; charset=utf-8";
    else if (song->encoding == PageEncoding::Gb18030Header)
        type += "; charset=gbk";
    return HttpResponse::text(std::move(body), type);
}

HttpResponse MusicService::linkConversion(const QByteArray &rid) const
{
    // The service's answer for a song it will not convert, or does not know.
    const FakeSong *song = find(rid);
    if (!song || song->linkDenied)
        return HttpResponse::text("IPDeny", "text/plain");
    return HttpResponse::text(mediaUrl(song->id + ".mp3").toLatin1(), "text/plain");
}

HttpResponse MusicService::metadata(const QByteArray &rid) const
{
    const FakeSong *song = find(rid);
    if (!song)
        return HttpResponse::text("<Song></Song>", "text/xml");
    const QString record =
        u"<Song>\r\n<id>MUSIC_%1</id>\r\n<name>%2</name>\r\n<artist>%3</artist>\r\n"
        "<artist_pic>%4</artist_pic>\r\n<artist_pic240>%4</artist_pic240>\r\n</Song>\r\n"_s.arg(
            QString::fromLatin1(song->id), song->name, song->singer, mediaUrl(song->id + ".jpg"));
    return HttpResponse::text(record.toUtf8(), "text/xml; charset=utf-8");
}

HttpResponse MusicService::media(const QByteArray &name, const HttpRequest &request) const
{
    if (const qsizetype dash = name.indexOf('-'); dash > 0) {
        // A higher quality's file: "<id>-<br>.<ext>", served as its name says, whatever it holds.
        const FakeSong *song = find(name.left(dash));
        const QByteArray br = name.mid(dash + 1, name.lastIndexOf('.') - dash - 1);
        for (const FakeQualityFile &file : song ? song->qualities : QList<FakeQualityFile>()) {
            if (brOf(file.quality) == br)
                return byteRange(file.file, name.endsWith(".flac") ? "audio/flac" : "audio/mpeg",
                                 request.header("Range"));
        }
        return htmlPage(u"404"_s, u"<h1>文件不存在</h1>"_s, 404);
    }
    const FakeSong *song = find(name.left(name.indexOf('.')));
    if (song && name.endsWith(".jpg")) {
        if (song->picture.isEmpty())
            return HttpResponse::text(singerPicture(song->colour), "image/jpeg");
        return HttpResponse::text(song->picture,
                                  song->picture.startsWith("\x89PNG") ? "image/png" : "image/jpeg");
    }
    if (song && name.endsWith(".mp3") && song->tone.isEmpty())
        return byteRange(songFile(*song), "audio/mpeg", request.header("Range"));
    if (song && name.endsWith(".mp3")) {
        if (const QByteArray tone = songFile(*song); !tone.isEmpty()) {
            return byteRange(tone, "audio/mpeg", request.header("Range"))
                .withHeader("Content-Disposition",
                            "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(song->name) + ".mp3");
        }
    }
    return htmlPage(u"404"_s, u"<h1>文件不存在</h1>"_s, 404);
}

HttpResponse MusicService::songRecord(const QByteArray &ids) const
{
    const FakeSong *song = find(ids);
    QJsonObject root{{u"Reason"_s, u""_s}, {u"errormsg"_s, u"MusicPay_OK"_s}, {u"result"_s, u"ok"_s},
                     {u"user"_s, QJsonArray()}};
    QJsonArray songs;
    if (song) {
        auto number = [song](qint64 n) { return song->numbersAsText ? QJsonValue(QString::number(n)) : QJsonValue(n); };
        songs.append(QJsonObject{{u"id"_s, number(song->id.toLongLong())},
                                 {u"name"_s, song->name},
                                 {u"artist"_s, song->singer},
                                 {u"artistid"_s, number(336)},
                                 {u"album"_s, song->album},
                                 {u"duration"_s, number(recordedDuration(*song))},
                                 {u"tpay"_s, number(0)}});
        if (const QString minfo = minfoOf(*song); !minfo.isEmpty()) {
            QJsonObject first = songs.first().toObject();
            first.insert(u"MINFO"_s, minfo);
            songs[0] = first;
        }
    }
    root.insert(u"errorcode"_s, song && song->numbersAsText ? QJsonValue(u"0"_s) : QJsonValue(0));
    root.insert(u"songs"_s, songs);
    return HttpResponse::text(QJsonDocument(root).toJson(QJsonDocument::Compact), "application/json; charset=utf-8");
}

HttpResponse MusicService::qualityLink(const QByteArray &rid, const QByteArray &br) const
{
    auto json = [](const QJsonObject &object) {
        return HttpResponse::text(QJsonDocument(object).toJson(QJsonDocument::Compact), "application/json; charset=utf-8");
    };
    const FakeSong *song = find(rid);
    std::optional<Quality> asked;
    for (const Quality quality : kQualities) {
        if (brOf(quality) == br)
            asked = quality;
    }
    if (!song || !asked)
        return json({{u"code"_s, 404}, {u"msg"_s, u"music not found"_s}});
    // A song the link conversion refuses for the region is refused here too.
    if (song->signedAnswer == SignedAnswer::Region || song->linkDenied)
        return json({{u"code"_s, 407}, {u"msg"_s, u"版权方要求，该地区暂不提供服务"_s}, {u"data"_s, QJsonObject{{u"url"_s, u"None"_s}}}});
    auto success = [&](Quality served, const QString &url) {
        const bool flac = served == Quality::Flac;
        return json({{u"code"_s, 200},
                     {u"msg"_s, u"success"_s},
                     {u"data"_s, QJsonObject{{u"bitrate"_s, flac ? 2000 : served == Quality::Mp3_320 ? 320 : 128},
                                             {u"format"_s, flac ? u"flac"_s : u"mp3"_s},
                                             {u"rid"_s, song->id.toLongLong()},
                                             {u"url"_s, url},
                                             {u"duration"_s, recordedDuration(*song)}}}});
    };
    if (song->signedAnswer == SignedAnswer::SourceRetired)
        return json({{u"code"_s, 200}, {u"msg"_s, u"success"_s},
                     {u"data"_s, QJsonObject{{u"bitrate"_s, 1}, {u"format"_s, u"mp3"_s}, {u"url"_s, u"None"_s}}}});
    Quality served = *asked;
    if (song->signedAnswer == SignedAnswer::FlacAs320 && served == Quality::Flac)
        served = Quality::Mp3_320;
    // The quality asked when kept, else silently the best below it; the 128k file always.
    for (;;) {
        for (const FakeQualityFile &file : song->qualities) {
            if (file.quality == served)
                return success(served, mediaUrl(song->id + '-' + brOf(served) + '.' + qualityFormat(served).toLatin1()));
        }
        if (served == Quality::Mp3_128)
            return success(served, mediaUrl(song->id + ".mp3"));
        served = Quality(int(served) - 1);
    }
}

HttpResponse MusicService::lyrics(const QByteArray &query) const
{
    if (m_lyricCallLimit >= 0 && ++m_lyricCalls > m_lyricCallLimit)
        return HttpResponse::text("tp=error\r\n\r\nTP=ERROR REQUEST", "text/plain");
    const QByteArray request = xorWithServiceKey(QByteArray::fromBase64(query));
    static const QRegularExpression form(
        u"^user=12345,web,web,web&requester=localhost&req=1&rid=MUSIC_(\\d+)&lrcx=1$"_s);
    const auto match = form.match(QString::fromLatin1(request));
    const FakeSong *song = match.hasMatch() ? find(match.captured(1).toLatin1()) : nullptr;
    if (!song || !song->hasLyrics)
        return HttpResponse::text("tp=none\r\ncand_lrc_count=0\r\n\r\n", "text/plain");
    return HttpResponse::text(lyricEnvelope(lrcOf(*song)), "text/plain");
}

HttpResponse MusicService::pictureAddress(const QByteArray &rid) const
{
    const FakeSong *song = find(rid);
    if (!song || !song->hasPicture)
        return HttpResponse::text("NO_PIC", "text/plain");
    return HttpResponse::text(mediaUrl(song->id + ".jpg").toLatin1(), "text/plain");
}

namespace {

// A name as r.s sends it: character references for markup and spaces. Singers stay
// joined by a bare "&".
QString entityEncoded(const QString &name, bool singers = false)
{
    if (singers) {
        QStringList parts = name.split(u'&');
        for (QString &part : parts)
            part = entityEncoded(part);
        return parts.join(u'&');
    }
    QString encoded = name.toHtmlEscaped();
    encoded.replace(u' ', u"&nbsp;"_s);
    return encoded;
}

QByteArray compactJson(const QJsonObject &root)
{
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace

const FakeList *MusicService::findList(FakeList::Kind kind, const QByteArray &id) const
{
    for (const FakeList &list : m_lists) {
        if (list.kind == kind && list.id == id)
            return &list;
    }
    return nullptr;
}

HttpResponse MusicService::playlist(const QByteArray &pid, int page, int rows) const
{
    const FakeList *list = findList(FakeList::Kind::Playlist, pid);
    if (!list || rows <= 0 || rows > 1000)
        return HttpResponse::text(R"({"result":"error","msg":"fail"})", "application/json");
    QJsonArray songs;
    for (qsizetype i = qsizetype(page) * rows; i >= 0 && i < list->songs.size() && songs.size() < rows; ++i) {
        const FakeSong *song = find(list->songs.at(i));
        if (!song)
            continue;
        QJsonObject entry{{u"id"_s, QString::fromLatin1(song->id)},
                          {u"name"_s, song->name},
                          {u"artist"_s, song->singer},
                          {u"artistid"_s, u"336"_s},
                          {u"album"_s, song->album},
                          {u"albumid"_s, u"1293"_s},
                          {u"duration"_s, QString::number(recordedDuration(*song))},
                          {u"formats"_s, u"MP3H|MP3128"_s},
                          {u"online"_s, u"1"_s}};
        if (const QString minfo = minfoOf(*song); !minfo.isEmpty())
            entry.insert(u"N_MINFO"_s, minfo);
        songs.append(entry);
    }
    return HttpResponse::text(compactJson({{u"result"_s, u"ok"_s},
                                           {u"id"_s, pid.toLongLong()},
                                           {u"title"_s, list->title},
                                           {u"info"_s, u"第一行n第二行"_s},
                                           {u"total"_s, list->songs.size()},
                                           {u"validtotal"_s, 0},
                                           {u"pn"_s, page},
                                           {u"rn"_s, rows},
                                           {u"musiclist"_s, songs}}),
                              "application/json; charset=utf-8");
}

HttpResponse MusicService::listSearch(const std::function<QByteArray(QByteArrayView)> &param) const
{
    const int page = param("pn").toInt(), rows = param("rn").toInt();
    if (rows <= 0)
        return HttpResponse::text("ERROR", "text/plain");
    // The songs of one page, each read by `entry`.
    auto pageOf = [&](const QList<const FakeSong *> &all, auto entry) {
        QJsonArray songs;
        for (qsizetype i = qsizetype(page) * rows; i >= 0 && i < all.size() && songs.size() < rows; ++i)
            songs.append(entry(*all.at(i)));
        return songs;
    };
    auto songsOf = [this](const FakeList &list) {
        QList<const FakeSong *> songs;
        for (const QByteArray &id : list.songs) {
            if (const FakeSong *song = find(id))
                songs << song;
        }
        return songs;
    };
    const QByteArray type = param("stype");
    if (type == "albuminfo") {
        const FakeList *list = findList(FakeList::Kind::Album, param("albumid"));
        if (!list)
            return HttpResponse::text(R"({"albumid":"0"})", "application/json");
        const QList<const FakeSong *> songs = songsOf(*list);
        return HttpResponse::text(
            compactJson({{u"albumid"_s, QString::fromLatin1(list->id)},
                         {u"name"_s, entityEncoded(list->title)},
                         {u"artist"_s, entityEncoded(songs.isEmpty() ? QString() : songs.first()->singer, true)},
                         {u"songnum"_s, QString::number(songs.size())},
                         {u"musiclist"_s, pageOf(songs, [&songs](const FakeSong &song) {
                              return QJsonObject{{u"id"_s, QString::fromLatin1(song.id)},
                                                 {u"name"_s, entityEncoded(song.name)},
                                                 {u"artist"_s, entityEncoded(song.singer, true)},
                                                 {u"track"_s, QString::number(songs.indexOf(&song) + 1)}};
                          })}}),
            "application/json; charset=utf-8");
    }
    if (type == "artist2music") {
        const FakeList *list = findList(FakeList::Kind::Singer, param("artistid"));
        if (!list)
            return HttpResponse::text(R"({"total":"0","musiclist":[]})", "application/json");
        const QList<const FakeSong *> songs = songsOf(*list);
        return HttpResponse::text(
            compactJson({{u"artist"_s, entityEncoded(list->title)},
                         {u"total"_s, QString::number(songs.size())},
                         {u"pn"_s, QString::number(page)},
                         {u"return"_s, QString::number(rows)},
                         {u"musiclist"_s, pageOf(songs, [](const FakeSong &song) {
                              return QJsonObject{{u"musicrid"_s, QString::fromLatin1(song.id)},
                                                 {u"name"_s, entityEncoded(song.name)},
                                                 {u"artist"_s, entityEncoded(song.singer, true)},
                                                 {u"album"_s, entityEncoded(song.album)}};
                          })}}),
            "application/json; charset=utf-8");
    }
    if (param("client") != "kt")
        return HttpResponse::text("ERROR", "text/plain");
    // Any of the words in a song's name or singer, among the listed songs.
    const QStringList words = QString::fromUtf8(param("all")).split(u' ', Qt::SkipEmptyParts);
    QList<const FakeSong *> hits;
    for (const FakeSong &song : m_songs) {
        if (!song.expected.isEmpty() &&
            std::any_of(words.begin(), words.end(), [&song](const QString &word) {
                return song.name.contains(word) || song.singer.contains(word);
            }))
            hits << &song;
    }
    const QJsonArray found = pageOf(hits, [](const FakeSong &song) {
        return QJsonObject{{u"MUSICRID"_s, u"MUSIC_"_s + QString::fromLatin1(song.id)},
                           {u"DC_TARGETID"_s, QString::fromLatin1(song.id)},
                           {u"SONGNAME"_s, entityEncoded(song.name)},
                           {u"NAME"_s, entityEncoded(song.name)},
                           {u"ARTIST"_s, entityEncoded(song.singer, true)},
                           {u"ALBUM"_s, entityEncoded(song.album)},
                           {u"ALBUMID"_s, song.album.isEmpty() ? u"0"_s : u"1293"_s},
                           {u"DURATION"_s, QString::number(recordedDuration(song))}};
    });
    return HttpResponse::text(compactJson({{u"TOTAL"_s, QString::number(hits.size())},
                                           {u"HIT"_s, QString::number(hits.size())},
                                           {u"SHOW"_s, QString::number(found.size())},
                                           {u"PN"_s, QString::number(page)},
                                           {u"RN"_s, QString::number(rows)},
                                           {u"abslist"_s, found}}),
                              "application/json; charset=utf-8");
}

} // namespace corvane::testing
