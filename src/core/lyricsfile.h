#pragma once

#include <memory>

#include <QFileDevice>
#include <QString>

class QSaveFile;

namespace corvane {

// The lyrics file beside a downloaded song: the song file's path with ".lrc" in place of
// its ".mp3" or ".flac" (added when it has another ending).
QString lyricsPathBeside(const QString &songPath);

// Timed lyrics beside a song, as UTF-8 with a byte-order mark and CR LF line ends, in two
// steps, so that a song and its lyrics appear together or not at all: prepare() writes the
// whole text into a temporary file beside the song (a full disk fails it there, before the
// song is committed), commit() links it into place. An existing file of that name is
// never replaced. Destroying it uncommitted leaves nothing.
class LyricsFile final
{
    Q_DISABLE_COPY_MOVE(LyricsFile)

public:
    enum class Prepared {
        Written, // whole, waiting for commit()
        Skipped, // no lyrics, or a file of that name is there already: nothing to do
        Failed,  // the text could not be written whole: error() says why
    };

    LyricsFile();
    ~LyricsFile();

    Prepared prepare(const QString &songPath, const QString &lrc);
    // Links the prepared file into place; true too when there was none to link, or a file
    // of that name appeared meanwhile (left as it is). False, leaving nothing, when the
    // link failed.
    bool commit();
    void cancel();
    QFileDevice::FileError error() const { return m_error; }

private:
    std::unique_ptr<QSaveFile> m_file;
    QString m_path;
    QFileDevice::FileError m_error = QFileDevice::NoError;
};

// prepare() and commit() at once. Whether it was written.
bool writeLyricsBeside(const QString &songPath, const QString &lrc);

} // namespace corvane
