#pragma once

#include <QString>
#include <QStringView>

// The text cutting the song resolution and the version check share: pure functions over
// the page text.
namespace corvane {

inline constexpr qsizetype kSongNameMaxUnits = 17;
// What a server sends is shown and used only up to these sizes: a label or a file name
// holds a name of at most kNameMaxUnits units, the lyrics box at most kLyricsMaxBytes of
// UTF-8 (text layout takes time that grows fast with a line that cannot be broken).
inline constexpr qsizetype kNameMaxUnits = 256;
inline constexpr qsizetype kLyricsMaxBytes = 64 * 1024;

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
// The first `maxUnits` UTF-16 units of `text`, one fewer where the last would split a
// surrogate pair.
QString firstUnits(QStringView text, qsizetype maxUnits);
// The longest start of `text` whose UTF-8 form takes at most `maxBytes`, whole
// characters only.
QString firstUtf8Bytes(QStringView text, qsizetype maxBytes);

// A name as a server sends it, as one line of plain text of at most kNameMaxUnits units:
// line breaks and other control characters become spaces, and the bidirectional
// controls (marks, embeddings, overrides, isolates) go, so that no name can reorder what
// is shown beside it ("情歌\u202egpj.exe" would show as "情歌exe.jpg"). Joiners stay:
// they belong to the text.
QString serverName(QStringView text);

// "<br>" becomes CR LF, every "<" goes, and every run of exactly 27 spaces goes.
QString cleanLyrics(QStringView lyrics);

} // namespace corvane
