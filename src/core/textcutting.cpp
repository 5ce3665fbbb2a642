#include "textcutting.h"

#include "errors.h"

using namespace Qt::StringLiterals;

namespace corvane {

QStringView SegmentAfter(QStringView text, QStringView marker)
{
    const qsizetype first = marker.isEmpty() ? -1 : text.indexOf(marker);
    if (first < 0)
        throw ContentError("marker missing");
    const qsizetype start = first + marker.size();
    const qsizetype second = text.indexOf(marker, start);
    return second < 0 ? text.sliced(start) : text.sliced(start, second - start);
}

QStringView TextBefore(QStringView text, QStringView marker)
{
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QStringView() : text.first(at);
}

QString firstUnits(QStringView text, qsizetype maxUnits)
{
    if (text.size() <= maxUnits)
        return text.toString();
    qsizetype keep = qMax<qsizetype>(0, maxUnits);
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.first(keep).toString();
}

QString firstUtf8Bytes(QStringView text, qsizetype maxBytes)
{
    // Every unit takes at least one byte: a text that short in units may fit whole.
    if (text.size() * 3 <= maxBytes)
        return text.toString();
    qsizetype bytes = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        const char16_t c = text.at(at).unicode();
        const bool pair = QChar::isHighSurrogate(c) && at + 1 < text.size() && text.at(at + 1).isLowSurrogate();
        const qsizetype size = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        at += pair ? 2 : 1;
    }
    return text.first(at).toString();
}

QString shortenSongName(const QString &name)
{
    if (name.size() <= kSongNameMaxUnits)
        return name;
    qsizetype keep = kSongNameMaxUnits;
    if (name.at(keep - 1).isHighSurrogate())
        --keep;
    return name.first(keep) + u".."_s;
}

QString cleanLyrics(QStringView lyrics)
{
    // One pass doing the three replacements in their order: "<br>" to CR LF, then every
    // "<" removed, then every run of exactly 27 spaces removed (left to right, so a run
    // of n spaces keeps n mod 27). A "<" removed in the second step joins the spaces
    // around it into one run; a CR LF from the first step ends a run. QString::replace
    // and remove take time quadratic in the number of matches on large pages.
    constexpr qsizetype runLength = 27;
    QString out(lyrics.size(), Qt::Uninitialized); // the result is never longer
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    char16_t *to = begin;
    const char16_t *from = lyrics.utf16();
    const char16_t *const end = from + lyrics.size();
    qsizetype spaces = 0;
    auto flushSpaces = [&] {
        for (qsizetype kept = spaces % runLength; kept > 0; --kept)
            *to++ = u' ';
        spaces = 0;
    };
    while (from < end) {
        const char16_t c = *from;
        if (c == u' ') {
            ++spaces;
            ++from;
        } else if (c == u'<') {
            if (end - from >= 4 && from[1] == u'b' && from[2] == u'r' && from[3] == u'>') {
                flushSpaces();
                *to++ = u'\r';
                *to++ = u'\n';
                from += 4;
            } else {
                ++from;
            }
        } else {
            if (spaces)
                flushSpaces();
            *to++ = c;
            ++from;
        }
    }
    flushSpaces();
    out.truncate(to - begin);
    return out;
}

QStringView cutBetween(QStringView text, QStringView start, QStringView end)
{
    const qsizetype first = start.isEmpty() ? -1 : text.indexOf(start);
    if (first < 0)
        throw ContentError("marker missing");
    const qsizetype from = first + start.size();
    const qsizetype endAt = end.isEmpty() ? from : text.indexOf(end, from);
    if (endAt < 0)
        return {};
    // The segment stops at the start marker's second occurrence; the end marker counts
    // only when it lies wholly before that. So look for a second start only where it
    // would cut the end marker off.
    const qsizetype window = qMin(text.size(), endAt + end.size() + start.size() - 1) - from;
    if (text.sliced(from, window).indexOf(start) >= 0)
        return {};
    return text.sliced(from, endAt - from);
}

QString serverName(QStringView text)
{
    // Cut before and after: a missing end marker can make the text the rest of a page.
    const QString cut = firstUnits(text, kNameMaxUnits * 2);
    QString name;
    name.reserve(cut.size());
    for (const QChar c : cut) {
        const char16_t u = c.unicode();
        const bool bidi = u == 0x061c || u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e) ||
                          (u >= 0x2066 && u <= 0x2069);
        if (bidi)
            continue;
        const bool breaks = c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
                            c.category() == QChar::Separator_Paragraph;
        name += breaks ? u' ' : c;
    }
    return firstUnits(name, kNameMaxUnits);
}

} // namespace corvane
