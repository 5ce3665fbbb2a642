#include "lyricsfile.h"

#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace corvane {

QString lyricsPathBeside(const QString &songPath)
{
    QString path = songPath;
    if (path.endsWith(u".mp3"_s, Qt::CaseInsensitive))
        path.chop(4);
    return path + u".lrc"_s;
}

bool writeLyricsBeside(const QString &songPath, const QString &lrc)
{
    const QString path = lyricsPathBeside(songPath);
    if (lrc.isEmpty() || QFileInfo::exists(path))
        return false;
    QString text = lrc;
    text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(u"\n"_s, u"\r\n"_s);
    QSaveFile file(path);
    // Not over a file that appeared meanwhile: QSaveFile would replace it.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("\xEF\xBB\xBF");
    file.write(text.toUtf8());
    if (QFileInfo::exists(path)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace corvane
