#include "lyricsfile.h"

#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace corvane {

QString lyricsPathBeside(const QString &songPath)
{
    QString path = songPath;
    for (const QStringView extension : {u".mp3", u".flac"}) {
        if (path.endsWith(extension, Qt::CaseInsensitive))
            path.chop(extension.size());
    }
    return path + u".lrc"_s;
}

LyricsFile::LyricsFile() = default;

LyricsFile::~LyricsFile()
{
    cancel();
}

LyricsFile::Prepared LyricsFile::prepare(const QString &songPath, const QString &lrc)
{
    cancel();
    m_path = lyricsPathBeside(songPath);
    if (lrc.isEmpty() || QFileInfo::exists(m_path))
        return Prepared::Skipped;
    QString text = lrc;
    text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(u"\n"_s, u"\r\n"_s);
    const QByteArray bytes = "\xEF\xBB\xBF" + text.toUtf8();
    m_file = std::make_unique<QSaveFile>(m_path);
    // Not over a file that appeared meanwhile: QSaveFile would replace it.
    m_file->setDirectWriteFallback(false);
    // Unbuffered: QSaveFile's commit does not report a buffered write that the disk
    // refuses when the file is closed.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered) || m_file->write(bytes) != bytes.size() ||
        m_file->size() != bytes.size()) {
        m_error = m_file->error() == QFileDevice::NoError ? QFileDevice::WriteError : m_file->error();
        cancel();
        return Prepared::Failed;
    }
    return Prepared::Written;
}

bool LyricsFile::commit()
{
    if (!m_file)
        return true;
    const std::unique_ptr<QSaveFile> file = std::move(m_file);
    if (QFileInfo::exists(m_path)) {
        // One appeared meanwhile: it stays, as one there before would have.
        file->cancelWriting();
        file->commit(); // after cancelWriting: closes and removes the temporary file
        return true;
    }
    if (!file->commit()) {
        m_error = file->error() == QFileDevice::NoError ? QFileDevice::RenameError : file->error();
        return false;
    }
    return true;
}

void LyricsFile::cancel()
{
    if (const std::unique_ptr<QSaveFile> file = std::move(m_file); file && file->isOpen()) {
        file->cancelWriting();
        file->commit();
    }
}

bool writeLyricsBeside(const QString &songPath, const QString &lrc)
{
    LyricsFile file;
    return file.prepare(songPath, lrc) == LyricsFile::Prepared::Written && file.commit();
}

} // namespace corvane
