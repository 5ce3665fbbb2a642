#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// At most this many bytes of UTF-8 before ".mp3": file systems take 255.
inline constexpr qsizetype kFileStemMaxBytes = 200;

// `name` as a file name that every file system takes, Windows' included: path
// separators, the characters < > : " | ? *, control characters and format characters
// (bidirectional overrides among them, which would show the name reversed) become "_",
// leading dots (a hidden file) and trailing dots and spaces go, and a name Windows keeps
// for a device (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 and their superscript ¹²³ forms,
// CONIN$, CONOUT$; with any extension, spaces before it too) gets a "_" in front. Empty
// when nothing is left.
QString safeFileName(const QString &name);
// safeFileName(name) cut to kFileStemMaxBytes, always ending in ".mp3" (an ending it
// already has is kept once); empty when nothing is left.
QString mp3FileName(const QString &name);

// "歌手 - 歌名", or the one name there is; empty when both are empty.
QString songTitle(const QString &singer, const QString &songName);
// mp3FileName(songTitle()); empty when there is no title.
QString songFileName(const QString &singer, const QString &songName);

// The file name a download of `address` suggests, given its Content-Disposition header
// (filename* before filename, RFC 6266): always a plain name ending in ".mp3" (through
// mp3FileName), "download.mp3" when neither gives one.
QString suggestedDownloadName(const QString &address, const QByteArray &contentDisposition);

} // namespace corvane
