// libFuzzer target over everything that cuts text out of answers from the network: the
// charset decision and decoding, the song page and metadata cutting, the lyrics
// cleaning, the resource id, the link check, the file name and the version file.
//
// Input: an optional Content-Type line ending in '\n' (at most 100 bytes), then the body.

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <utility>

#include "core/errors.h"
#include "core/filename.h"
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

// The piece, or empty when its marker is missing.
template <typename Cut> QString orEmpty(Cut cut, const QString &text)
{
    try {
        return cut(text);
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

    // The shortcut cut against the two cuts it stands for, with markers that overlap.
    for (const auto &[start, end] : {std::pair{u"【"_s, u"】"_s},
                                     {u"<title>"_s, u"_"_s},
                                     {u"aba"_s, u"ba"_s},
                                     {u"<"_s, u"<"_s},
                                     {u"xx"_s, u"x"_s}}) {
        bool cutFailed = false, pairFailed = false;
        QStringView cut, pair;
        try {
            cut = cutBetween(text, start, end);
        } catch (const ContentError &) {
            cutFailed = true;
        }
        try {
            pair = TextBefore(SegmentAfter(text, start), end);
        } catch (const ContentError &) {
            pairFailed = true;
        }
        check(cutFailed == pairFailed && cut == pair);
    }

    const QString singer = orEmpty(singerFromPage, text);
    check(!singer.contains(u"】"_s));
    const QString name = orEmpty(songNameFromPage, text);
    check(name.size() <= kSongNameMaxUnits + 2);
    if (name.endsWith(u".."_s) && name.size() >= 3)
        check(!name.at(name.size() - 3).isHighSurrogate());

    const QString lyrics = orEmpty(lyricsFromPage, text);
    check(!lyrics.contains(u'<'));
    check(!lyrics.contains(QString(27, u' ')));
    // The one-pass cleaning against the three replacements it stands for.
    if (text.size() < 4096) {
        QString reference = text;
        reference.replace(u"<br>"_s, u"\r\n"_s).remove(u'<').remove(QString(27, u' '));
        check(cleanLyrics(text) == reference);
    }

    check(!orEmpty(pictureFromRecord, text).contains(u'<'));
    try {
        const QString rid = ridFromAddress(text, u"http://www.kuwo.cn/yinyue/");
        check(!rid.contains(u'/'));
    } catch (const ContentError &) {
    }
    // What may reach the clipboard, the player and the save dialog.
    const QString link = directLinkFrom(text);
    check(link.isEmpty() || (text.startsWith(link) && link.toUtf8().size() <= kLinkMaxBytes &&
                             !link.contains(u'\n') && !link.contains(u'\r') && !link.contains(u' ')));
    const QString file = mp3FileName(text);
    check(file.isEmpty() || (file.endsWith(u".mp3"_s) && !file.startsWith(u'.') && !file.contains(u'/') &&
                             !file.contains(u'\\') && file.toUtf8().size() <= kFileStemMaxBytes + 4));
    check(singer.size() <= kNameMaxUnits && lyrics.toUtf8().size() <= kLyricsMaxBytes);

    const VersionVerdict verdict = judgeVersionFile(text);
    if (verdict.outcome == VersionVerdict::UpToDate)
        check(verdict.latest == kOwnVersion);
    if (verdict.outcome == VersionVerdict::Newer)
        check(!verdict.latest.isEmpty() && !verdict.latest.contains(u'|'));
    if (text.isEmpty())
        check(verdict.outcome == VersionVerdict::CheckFailed);
    return 0;
}
