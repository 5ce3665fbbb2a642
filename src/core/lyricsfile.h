#pragma once

#include <QString>

namespace corvane {

// The lyrics file beside a downloaded song: the song file's path with ".lrc" in place of
// its ".mp3" (added when it has another ending).
QString lyricsPathBeside(const QString &songPath);

// Writes `lrc` beside the song as UTF-8 with a byte-order mark and CR LF line ends, whole
// or not at all. An existing file of that name is never replaced. Whether it was written.
bool writeLyricsBeside(const QString &songPath, const QString &lrc);

} // namespace corvane
