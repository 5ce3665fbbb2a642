#include "filename.h"

#include <QRegularExpression>

#include "textcutting.h"

using namespace Qt::StringLiterals;

namespace corvane {

QString safeFileName(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const QChar::Category category = c.category();
        const bool refused = category == QChar::Other_Control || category == QChar::Other_Format ||
                             u"<>:\"/\\|?*"_s.contains(c);
        safe += refused ? u'_' : c;
    }
    safe = safe.trimmed();
    while (safe.startsWith(u'.') || safe.startsWith(u' '))
        safe.remove(0, 1);
    while (safe.endsWith(u'.') || safe.endsWith(u' '))
        safe.chop(1);
    // Windows reserves these names with any extension.
    static const QRegularExpression device(u"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    if (device.match(safe).hasMatch())
        safe.prepend(u'_');
    return safe;
}

QString songTitle(const QString &singer, const QString &songName)
{
    const QString a = singer.trimmed(), b = songName.trimmed();
    return a.isEmpty() ? b : b.isEmpty() ? a : a + u" - "_s + b;
}

QString mp3FileName(const QString &name)
{
    const QString extension = u".mp3"_s;
    QString stem = safeFileName(name);
    if (stem.endsWith(extension, Qt::CaseInsensitive))
        stem.chop(extension.size());
    // Cut after making it safe, then made safe again: the cut may leave a trailing dot.
    stem = safeFileName(firstUtf8Bytes(safeFileName(stem), kFileStemMaxBytes));
    return stem.isEmpty() ? QString() : stem + extension;
}

QString songFileName(const QString &singer, const QString &songName)
{
    return mp3FileName(songTitle(singer, songName));
}

} // namespace corvane
