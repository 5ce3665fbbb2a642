#pragma once

#include <QString>
#include <QStringView>

// The text cutting the song resolution and the version check share: pure functions over
// the page text.
namespace corvane {

inline constexpr qsizetype kSongNameMaxUnits = 17;

// The text after the first occurrence of marker, up to its second occurrence or the end.
// Throws ContentError when the marker does not occur. A view into `text`: pages are
// large and only small pieces of them are kept.
QStringView SegmentAfter(QStringView text, QStringView marker);
// The text before the first occurrence of marker; empty when the marker does not occur.
// Never fails. A view into `text`.
QStringView TextBefore(QStringView text, QStringView marker);

// TextBefore(SegmentAfter(text, start), end), found without scanning past the end marker
// more than needed. Throws ContentError when `start` does not occur.
QStringView cutBetween(QStringView text, QStringView start, QStringView end);

// A name longer than kSongNameMaxUnits units becomes its first 17 units and "..",
// never splitting a surrogate pair.
QString shortenSongName(const QString &name);
// "<br>" becomes CR LF, every "<" goes, and every run of exactly 27 spaces goes.
QString cleanLyrics(QStringView lyrics);

} // namespace corvane
