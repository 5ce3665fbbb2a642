#pragma once

#include <QString>

namespace corvane {

// `name` as a file name that every file system takes, Windows' included: path
// separators, the characters < > : " | ? * and control characters become "_", trailing
// dots and spaces go, and a device name (CON, NUL, COM1...) gets a "_" in front. Empty
// when nothing is left.
QString safeFileName(const QString &name);

// "歌手 - 歌名", or the one name there is; empty when both are empty.
QString songTitle(const QString &singer, const QString &songName);
// songTitle() made safe, with ".mp3"; empty when there is no title.
QString songFileName(const QString &singer, const QString &songName);

} // namespace corvane
