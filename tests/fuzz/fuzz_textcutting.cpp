// libFuzzer target over everything that cuts text out of answers from the network: the
// charset decision and decoding, the song page and metadata cutting, the lyrics
// cleaning, the resource id, the link check and the version file.
//
// Input: an optional Content-Type line ending in '\n' (at most 100 bytes), then the body.

#include <QByteArray>
#include <QString>

#include <cstdlib>

#include "core/errors.h"
#include "core/songresolver.h"
#include "core/textdecode.h"
#include "core/versioncheck.h"

using namespace Qt::StringLiterals;
using namespace corvane;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QString segmentOrEmpty(const QString &text, QStringView marker, QStringView end)
{
    try {
        return TextBefore(SegmentAfter(text, marker), end);
    } catch (const ContentError &) {
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.first(qMin<qsizetype>(input.size(), 100)).indexOf('\n');
    const QByteArrayView contentType = newline < 0 ? QByteArrayView() : input.first(newline);
    const QByteArrayView body = newline < 0 ? input : input.sliced(newline + 1);

    const QByteArray charset = decideCharset(body, contentType);
    check(!charset.isEmpty());
    const QString text = decodeBody(body, contentType);
    charsetFromMeta(body);

    const QString singer = segmentOrEmpty(text, u"【", u"】");
    check(!singer.contains(u"】"_s));
    const QString name = ShortenSongName(segmentOrEmpty(text, u"<title>", u"_"));
    check(name.size() <= kSongNameMaxUnits + 2);
    if (name.endsWith(u".."_s) && name.size() >= 3)
        check(!name.at(name.size() - 3).isHighSurrogate());

    const QString lyrics = CleanLyrics(segmentOrEmpty(text, u"复制歌词</a>", u"</div>"));
    check(!lyrics.contains(u'<'));
    check(!lyrics.contains(QString(27, u' ')));
    CleanLyrics(text);

    segmentOrEmpty(text, u"<artist_pic240>", u"<");
    try {
        const QString rid = RidFromAddress(text, u"http://www.kuwo.cn/yinyue/");
        check(!rid.contains(u'/'));
    } catch (const ContentError &) {
    }
    isDirectLink(text);

    const VersionVerdict verdict = judgeVersionFile(text);
    if (verdict.outcome == VersionVerdict::UpToDate)
        check(verdict.latest == kOwnVersion);
    if (verdict.outcome == VersionVerdict::Newer)
        check(!verdict.latest.isEmpty() && !verdict.latest.contains(u'|'));
    if (text.isEmpty())
        check(verdict.outcome == VersionVerdict::CheckFailed);
    return 0;
}
