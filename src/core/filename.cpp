#include "filename.h"

#include <QRegularExpression>
#include <QUrl>

#include "textcutting.h"

using namespace Qt::StringLiterals;

namespace corvane {
namespace {

// The part after the last slash or backslash. Not QFileInfo: on Windows it would take
// "a:" in "a:b.mp3" for a drive.
QString lastSegment(QString name)
{
    name.replace(u'\\', u'/');
    return name.mid(name.lastIndexOf(u'/') + 1);
}

} // namespace

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
    // Windows reserves these names with any extension, and reads a name up to its first
    // dot with trailing spaces dropped ("CON .txt" is CON); the superscript digits count as
    // digits there.
    static const QRegularExpression device(
        u"^(CON|PRN|AUX|NUL|COM[0-9\u00b9\u00b2\u00b3]|LPT[0-9\u00b9\u00b2\u00b3]|CONIN\\$|CONOUT\\$) *(\\..*)?$"_s,
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
    // Both names stay in a name too long for the bound: each is cut to its share, and a
    // short one leaves the rest of its share to the other.
    const QString a = safeFileName(singer), b = safeFileName(songName);
    const qsizetype room = kFileStemMaxBytes - qsizetype(sizeof(" - ") - 1);
    const qsizetype aBytes = a.toUtf8().size(), bBytes = b.toUtf8().size();
    if (a.isEmpty() || b.isEmpty() || aBytes + bBytes <= room)
        return mp3FileName(songTitle(singer, songName));
    const qsizetype aShare = qMax(room / 2, room - bBytes);
    const QString aCut = firstUtf8Bytes(a, aShare);
    return mp3FileName(songTitle(aCut, firstUtf8Bytes(b, room - aCut.toUtf8().size())));
}

QString suggestedDownloadName(const QString &address, const QByteArray &contentDisposition)
{
    // RFC 6266: parameter names are case-insensitive, and filename* (an RFC 8187 value:
    // charset, optional language, percent-encoded bytes) wins over filename.
    static const QRegularExpression extended(
        u"(?:^|;)\\s*filename\\*\\s*=\\s*([A-Za-z0-9!#$&+^_`{}~.-]+)'[^']*'([^;\\s]+)"_s,
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression plain(
        u"(?:^|;)\\s*filename\\s*=\\s*(?:\"((?:[^\"\\\\]|\\\\.)*)\"|([^;]+))"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QString header = QString::fromLatin1(contentDisposition);
    QString name;
    if (const auto match = extended.match(header); match.hasMatch()) {
        const QByteArray bytes = QByteArray::fromPercentEncoding(match.captured(2).toLatin1());
        name = match.captured(1).compare(u"UTF-8"_s, Qt::CaseInsensitive) == 0 ? QString::fromUtf8(bytes)
                                                                               : QString::fromLatin1(bytes);
    } else if (const auto simple = plain.match(header); simple.hasMatch()) {
        QString raw = simple.captured(1).isEmpty() ? simple.captured(2).trimmed() : simple.captured(1);
        raw.replace(QRegularExpression(u"\\\\(.)"_s), u"\\1"_s);
        // Servers commonly send UTF-8 bytes here although the header is Latin-1.
        name = QString::fromUtf8(raw.toLatin1());
    }
    name = mp3FileName(lastSegment(name));
    if (name.isEmpty())
        name = mp3FileName(lastSegment(QUrl(address).fileName()));
    return name.isEmpty() ? u"download.mp3"_s : name;
}

} // namespace corvane
