#include "filename.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace corvane {

QString safeFileName(const QString &name)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const bool refused = c.unicode() < 0x20 || c.unicode() == 0x7f || u"<>:\"/\\|?*"_s.contains(c);
        safe += refused ? u'_' : c;
    }
    safe = safe.trimmed();
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

QString songFileName(const QString &singer, const QString &songName)
{
    const QString safe = safeFileName(songTitle(singer, songName));
    return safe.isEmpty() ? QString() : safe + u".mp3"_s;
}

} // namespace corvane
