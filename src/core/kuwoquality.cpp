#include "kuwoquality.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "kuwotoday.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

namespace {

// Each quality as users name it, as a row says it got it, as the signed endpoint asks for
// it and names it in its answers, and what its file is; in the order of Quality.
struct QualityFacts
{
    QStringView name, shortName, br;
    qint64 bitrate;
    QStringView format;
};
constexpr QualityFacts kFacts[] = {
    {u"标准 MP3 128k", u"128k", u"128kmp3", 128, u"mp3"},
    {u"高品 MP3 320k", u"320k", u"320kmp3", 320, u"mp3"},
    {u"无损 FLAC", u"无损", u"2000kflac", 2000, u"flac"},
};
static_assert(std::size(kFacts) == std::size(kQualities));

const QualityFacts &factsOf(Quality quality)
{
    return kFacts[qBound(0, int(quality), int(std::size(kFacts)) - 1)];
}

qint64 bitrateOf(Quality quality)
{
    return factsOf(quality).bitrate;
}

// "52.83Mb" → 52,830,000; "830Kb" → 830,000; anything else 0.
qint64 sizeBytes(QStringView text)
{
    text = text.trimmed();
    qint64 unit = 0;
    if (text.endsWith(u"mb", Qt::CaseInsensitive))
        unit = 1000 * 1000;
    else if (text.endsWith(u"kb", Qt::CaseInsensitive))
        unit = 1000;
    if (unit == 0)
        return 0;
    bool ok = false;
    const double value = text.chopped(2).toDouble(&ok);
    return ok && value > 0 && value < 1e6 ? qint64(value * double(unit)) : 0;
}

} // namespace

QString qualityName(Quality quality)
{
    return factsOf(quality).name.toString();
}

QString qualityShortName(Quality quality)
{
    return factsOf(quality).shortName.toString();
}

QString qualityBr(Quality quality)
{
    return factsOf(quality).br.toString();
}

QString qualityFormat(Quality quality)
{
    return factsOf(quality).format.toString();
}

QList<OfferedFile> readOfferedFiles(QStringView minfo)
{
    QList<OfferedFile> files;
    for (const QStringView entry : minfo.split(u';', Qt::SkipEmptyParts)) {
        QStringView format, bitrate, size;
        for (const QStringView pair : entry.split(u',', Qt::SkipEmptyParts)) {
            const qsizetype colon = pair.indexOf(u':');
            if (colon < 0)
                continue;
            const QStringView key = pair.first(colon).trimmed();
            const QStringView value = pair.sliced(colon + 1).trimmed();
            if (key == u"format")
                format = value;
            else if (key == u"bitrate")
                bitrate = value;
            else if (key == u"size")
                size = value;
        }
        std::optional<Quality> quality;
        if (format.compare(u"flac", Qt::CaseInsensitive) == 0 && bitrate.toInt() >= 2000)
            quality = Quality::Flac;
        else if (format.compare(u"mp3", Qt::CaseInsensitive) == 0 && bitrate.toInt() == 320)
            quality = Quality::Mp3_320;
        else if (format.compare(u"mp3", Qt::CaseInsensitive) == 0 && bitrate.toInt() == 128)
            quality = Quality::Mp3_128;
        if (!quality || std::any_of(files.cbegin(), files.cend(), [&](const OfferedFile &f) { return f.quality == *quality; }))
            continue;
        files.append({*quality, sizeBytes(size)});
    }
    std::sort(files.begin(), files.end(),
              [](const OfferedFile &a, const OfferedFile &b) { return int(a.quality) > int(b.quality); });
    return files;
}

QList<Quality> qualitiesToAsk(Quality chosen, const QList<OfferedFile> &offered)
{
    QList<Quality> ask;
    for (auto quality = std::rbegin(kQualities); quality != std::rend(kQualities); ++quality) {
        if (int(*quality) > int(chosen))
            continue;
        if (offered.isEmpty() ||
            std::any_of(offered.cbegin(), offered.cend(), [&](const OfferedFile &f) { return f.quality == *quality; }))
            ask << *quality;
    }
    return ask;
}

QString qualityLinkUrl(const QString &host, const QString &rid, Quality quality, const QString &source)
{
    return u"http://"_s + host + u"/mobi.s?f=web&type=convert_url_with_sign&rid="_s +
           QString::fromLatin1(QUrl::toPercentEncoding(rid)) + u"&br="_s + qualityBr(quality) + u"&source="_s +
           QString::fromLatin1(QUrl::toPercentEncoding(source));
}

QualityAnswer readQualityAnswer(const QByteArray &answer, Quality asked)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    if (!document.isObject())
        return {};
    const QJsonObject root = document.object();
    const qint64 code = jsonNumber(root.value(u"code"_s));
    if (code == 404 || code == 407)
        return {QualityAnswer::Kind::Unavailable, {}};
    const QJsonObject data = root.value(u"data"_s).toObject();
    const qint64 bitrate = jsonNumber(data.value(u"bitrate"_s));
    const QString format = jsonText(data.value(u"format"_s)).toLower();
    const bool same = asked == Quality::Flac ? format == u"flac"_s && bitrate >= bitrateOf(asked)
                                             : format == u"mp3"_s && bitrate == bitrateOf(asked);
    if (code != 200 || !same)
        return {}; // a refusal ("bitrate" 1, "url" None) or a quality other than the one asked
    const QString link = directLinkFrom(jsonText(data.value(u"url"_s)));
    if (link.isEmpty())
        return {};
    return {QualityAnswer::Kind::Link, link};
}

std::optional<qint64> leastSongBytes(Quality quality, qint64 durationSeconds, qint64 offeredSize)
{
    qint64 promised = 0;
    if (quality == Quality::Flac && offeredSize > 0)
        promised = offeredSize;
    else if (durationSeconds > 0)
        promised = (quality == Quality::Flac ? 320 : bitrateOf(quality)) * 1000 / 8 * durationSeconds;
    if (promised <= 0)
        return std::nullopt;
    return promised * 4 / 10;
}

} // namespace corvane
