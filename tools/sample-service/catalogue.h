#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>

#include "core/serviceconfig.h"
#include "httptestserver.h"

namespace corvane::sample {

// How a sample song's page is encoded and where it says so.
enum class PageEncoding {
    Utf8Header,     // UTF-8, charset in Content-Type
    Utf8Undeclared, // UTF-8, declared nowhere
    Gb18030Header,  // GB18030, "charset=gbk" in Content-Type
    Gb18030Meta,    // GB18030, charset in a <meta> tag only
};

struct SampleSong
{
    QByteArray id;
    QString name;
    QString singer;
    QStringList lyrics;
    PageEncoding encoding = PageEncoding::Utf8Header;
    QByteArray tone; // resource name of the MP3
    QColor colour;   // of the singer's picture
    bool hasLyrics = true;
    bool linkDenied = false;
    QString expected; // what a resolution of it ends with, for the catalogue listing
};

QList<SampleSong> catalogue();
// `body`, or the single byte range a Range header value ("bytes=0-99") asks for (206).
testing::HttpResponse byteRange(const QByteArray &body, const QByteArray &contentType,
                                const QByteArray &range);

// The stand-in for the music service and the maker's servers. Answers origin-form and
// absolute-form (proxy) requests alike, by host name and path.
class SampleService final
{
public:
    explicit SampleService(ServiceConfig hosts);
    testing::HttpResponse answer(const testing::HttpRequest &request) const;

    QString songAddress(const SampleSong &song) const;
    QString notASongAddress() const;

private:
    // The song with this id ("1001" or "MUSIC_1001"), or null.
    const SampleSong *find(QByteArray id) const;
    testing::HttpResponse songPage(const QByteArray &id) const;
    testing::HttpResponse linkConversion(const QByteArray &rid) const;
    testing::HttpResponse metadata(const QByteArray &rid) const;
    testing::HttpResponse media(const QByteArray &name, const testing::HttpRequest &request) const;
    QString mediaUrl(const QByteArray &file) const;

    ServiceConfig m_hosts;
    QList<SampleSong> m_songs;
};

} // namespace corvane::sample
