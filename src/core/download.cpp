#include "download.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <sys/statvfs.h>
#endif

#include "downloaderrors.h"
#include "filename.h"
#include "httpfetch.h"
#include "lyricsfile.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

namespace {

// Free space below this when a write fails: the disk is full, whatever the error says.
constexpr qint64 kFullDiskBytes = 1024 * 1024;

// Enough of a download's start to tell an MP3 from a FLAC and from something else.
constexpr qsizetype kSniffBytes = 4;

// The bytes free for a file in `path`'s folder; -1: unknown. On Unix asked of the folder
// itself: QStorageInfo first reads the whole mount table to name the volume, which a list
// of a hundred songs paid for a hundred times (a tenth of its CPU time).
qint64 freeBytesFor(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
#ifdef Q_OS_UNIX
    struct statvfs volume;
    if (::statvfs(QFile::encodeName(folder).constData(), &volume) != 0)
        return -1;
    return qint64(volume.f_bavail) * qint64(volume.f_frsize);
#else
    const QStorageInfo storage(folder);
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
#endif
}

} // namespace

DownloadSong downloadSongOf(const SongInfo &song)
{
    // The lyrics as the lyrics box shows them: one line break, LF.
    const QString lyrics = QString(song.LyricsText).replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return {{song.FullSongName, song.SingerName, song.Album, lyrics, song.PictureBytes}, song.TimedLyrics};
}

AudioFormat audioFormatOf(QByteArrayView head)
{
    if (head.startsWith("fLaC"))
        return AudioFormat::Flac;
    if (head.startsWith("ID3"))
        return AudioFormat::Mp3;
    // Eleven sync bits, then a layer other than the reserved 00.
    if (head.size() >= 2 && quint8(head[0]) == 0xff && (quint8(head[1]) & 0xe0) == 0xe0 &&
        (quint8(head[1]) & 0x06) != 0)
        return AudioFormat::Mp3;
    return AudioFormat::None;
}

Download::Download(QUrl url, DownloadSong song, QObject *parent)
    : QObject(parent), m_url(std::move(url)), m_song(std::move(song)), m_stallBound(kStallBound),
      m_floorBytes(kSpeedFloorBytes), m_floorWindow(kSpeedFloorWindow)
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, [this] {
        fail(Failure::Network, describeNetworkError(QNetworkReply::TimeoutError, 0));
    });
    connect(&m_floor, &QTimer::timeout, this, &Download::checkSpeed);
}

Download::~Download()
{
    // The program is ending mid-download: the reply stops, and the unfinished file goes
    // with the QSaveFile that is never committed.
    if (m_reply && !hasEnded()) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
    }
}

void Download::start()
{
    if (m_reply)
        return;
    m_reply = networkAccessManager().get(QNetworkRequest(m_url));
    m_reply->setParent(this);
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Download::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &Download::drain);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (!hasEnded())
            emit progress(received, total > 0 ? total : -1);
    });
    connect(m_reply, &QNetworkReply::finished, this, &Download::onFinished);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Download::heard);
    connect(m_reply, &QNetworkReply::readyRead, this, &Download::heard);
    m_stall.start(m_stallBound);
}

void Download::heard()
{
    if (m_state == State::Connecting || m_state == State::Writing)
        m_stall.start(m_stallBound);
    else
        m_stall.stop();
}

void Download::checkSpeed()
{
    if (m_state != State::Writing)
        return;
    // Windows one after the other: each must bring its share, or the slot goes to a song
    // that can use it.
    const qint64 windowMs = std::chrono::duration_cast<std::chrono::milliseconds>(m_floorWindow).count();
    if ((m_received - m_floorMark) * 1000 < m_floorBytes * windowMs) {
        fail(Failure::Slow, kTooSlowMessage);
        return;
    }
    m_floorMark = m_received;
}

QString Download::serverFileName() const
{
    if (!m_reply)
        return suggestedDownloadName(m_url.toString(), {});
    return suggestedDownloadName(m_reply->url().toString(),
                                 m_reply->rawHeader(QByteArrayLiteral("Content-Disposition")));
}

int Download::status() const
{
    return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

void Download::onMetaData()
{
    if (m_state != State::Connecting)
        return;
    if (status() >= 300 && status() < 400 && !m_reply->isFinished())
        return; // a redirect being followed
    if (redirectRefused(m_reply) ||
        (m_reply->isFinished() && m_reply->error() == QNetworkReply::ProtocolUnknownError)) {
        // Sent on to another machine's files, to this machine or to the user's network.
        fail(Failure::Refused, kRefusedMessage);
        return;
    }
    if (redirectedTooOften(m_reply) || (status() >= 300 && status() < 400)) {
        // A redirect that ended the reply: one too many.
        fail(Failure::Network, describeNetworkError(QNetworkReply::TooManyRedirectsError, 0));
        return;
    }
    if ((status() != 0 && (status() < 200 || status() >= 300)) ||
        (m_reply->isFinished() && m_reply->error() != QNetworkReply::NoError)) {
        fail(Failure::Network, describeNetworkError(m_reply->error(), status()));
        return;
    }
    // A page or text instead of the song: a browser would show it, not save it as .mp3.
    if (isTextContentType(m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray())) {
        fail(Failure::NotAudio, kNotAudioMessage);
        return;
    }
    // (A compressed answer's length is of what is sent: its end is judged instead.)
    bool sized = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&sized);
    if (sized && length < m_leastBytes && m_reply->rawHeader(QByteArrayLiteral("Content-Encoding")).isEmpty()) {
        fail(Failure::Short, kShortMessage);
        return;
    }
    m_state = State::Answered;
    m_stall.stop();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_state == State::Answered)
                emit answered();
        },
        Qt::QueuedConnection);
}

void Download::saveTo(const QString &path)
{
    if (m_state != State::Answered)
        return;
    m_target = path;
    m_file.setFileName(path);
    // Told at once, not after the whole download: the file and its tag will not fit.
    const qint64 total = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    const qint64 free = freeBytesFor(path);
    if (total > 0 && free >= 0 && free < total + m_song.tags.cover.size() + m_song.tags.lyrics.size() * 4) {
        fail(Failure::File, describeFileError(QFileDevice::ResourceError, path));
        return;
    }
    // Unbuffered: a write the disk refuses fails at once. Buffered, the last bytes would
    // reach the disk only as the file is closed, whose failure QSaveFile's commit does not
    // report: a song cut short by a full disk would be saved as whole.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(Failure::File, describeFileError(m_file.error(), path));
        return;
    }
    m_state = State::Writing;
    heard();
    m_floorMark = m_received;
    m_floor.start(m_floorWindow);
    drain();
    if (m_replyFinished)
        onFinished();
}

void Download::setSong(DownloadSong song)
{
    if (m_state < State::Writing)
        m_song = std::move(song);
}

std::optional<qint64> Download::size() const
{
    if (!m_reply || m_state == State::Connecting)
        return std::nullopt;
    bool ok = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
    return ok && length >= 0 ? std::optional<qint64>(length) : std::nullopt;
}

void Download::stop()
{
    if (!hasEnded())
        finish(State::Stopped, u"下载已取消"_s);
}

void Download::drain()
{
    if (m_state != State::Writing)
        return;
    while (m_state == State::Writing && m_reply->bytesAvailable() > 0) {
        const QByteArray chunk = m_reply->read(kReadBufferBytes);
        m_received += chunk.size();
        if (m_headWritten) {
            write(chunk);
            continue;
        }
        m_head += chunk;
        const qint64 needed = headBytes();
        if (needed >= 0 && m_head.size() >= qMax<qint64>(needed, kSniffBytes))
            writeHead();
    }
}

qint64 Download::headBytes() const
{
    if (m_head.size() < kSniffBytes)
        return -1;
    if (m_song.tags.isEmpty())
        return kSniffBytes;
    return audioFormatOf(m_head) == AudioFormat::Flac ? flacHeadBytes(m_head) : tagHeadBytes(m_head);
}

void Download::writeHead()
{
    m_headWritten = true;
    const QByteArray head = std::exchange(m_head, {});
    const AudioFormat format = audioFormatOf(head);
    if (format != m_format) {
        fail(Failure::NotAudio, format == AudioFormat::None ? kNotAudioMessage : kWrongFormatMessage);
        return;
    }
    std::optional<TagPlan> plan;
    if (format == AudioFormat::Flac) {
        if (!m_song.tags.isEmpty())
            plan = planFlacTag(head, m_song.tags);
    } else if (!m_song.tags.isEmpty() && tagHeadBytes(head) != 0) {
        QBuffer buffer;
        buffer.setData(head);
        buffer.open(QIODevice::ReadOnly);
        plan = planTag(buffer, m_song.tags);
    }
    if (!plan) {
        write(head);
    } else if (write(plan->tag)) {
        m_tagGrowth = plan->tag.size() - plan->audioStart;
        write(head.mid(plan->audioStart));
    }
}

bool Download::write(const QByteArray &bytes)
{
    if (m_file.write(bytes) == bytes.size())
        return true;
    fail(Failure::File, fileFailure());
    return false;
}

bool Download::wholeOnDisk()
{
    // Whatever the reply says of its end, the length it promised is what a whole song has.
    // (A compressed answer's length is of what was sent, not of what it inflates to.)
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != m_received &&
        m_reply->rawHeader(QByteArrayLiteral("Content-Encoding")).isEmpty()) {
        fail(Failure::Network, describeNetworkError(QNetworkReply::RemoteHostClosedError, 0));
        return false;
    }
    // Unbuffered: the file's size is what reached the disk.
    if (m_file.size() != m_received + m_tagGrowth) {
        fail(Failure::File, fileFailure());
        return false;
    }
    return true;
}

QFileDevice::FileError Download::fullDisk(QFileDevice::FileError error) const
{
    const qint64 free = freeBytesFor(m_target);
    return error == QFileDevice::ResourceError || (free >= 0 && free < kFullDiskBytes) ? QFileDevice::ResourceError
                                                                                      : error;
}

QString Download::fileFailure() const
{
    const QFileDevice::FileError error = m_file.error() == QFileDevice::NoError ? QFileDevice::WriteError : m_file.error();
    return describeFileError(fullDisk(error), m_target);
}

void Download::onFinished()
{
    m_replyFinished = true;
    if (m_state == State::Connecting)
        onMetaData(); // a reply with no headers of its own, or one that failed at once
    if (m_state != State::Writing)
        return;
    drain();
    if (m_state != State::Writing)
        return;
    if (m_reply->error() != QNetworkReply::NoError || (status() != 0 && (status() < 200 || status() >= 300))) {
        fail(Failure::Network, describeNetworkError(m_reply->error(), status()));
        return;
    }
    if (!m_headWritten)
        writeHead(); // the whole download is shorter than the head it would have waited for
    if (m_state != State::Writing)
        return;
    if (m_received < m_leastBytes) {
        fail(Failure::Short, kShortMessage);
        return;
    }
    if (m_keepExisting && QFileInfo::exists(m_target)) {
        fail(Failure::Exists, describeFileError(QFileDevice::RenameError, m_target));
        return;
    }
    if (!wholeOnDisk())
        return;
    // The lyrics whole on the disk before the song is committed: a disk with room for the
    // song and none for its lyrics keeps neither.
    LyricsFile lyrics;
    if (lyrics.prepare(m_target, m_song.timedLyrics) == LyricsFile::Prepared::Failed) {
        fail(Failure::File, describeFileError(fullDisk(lyrics.error()), lyricsPathBeside(m_target)));
        return;
    }
    // Replaces an existing file in one step, and only now that the new one is whole.
    if (!m_file.commit()) {
        fail(Failure::File, fileFailure());
        return;
    }
    if (!lyrics.commit()) {
        // The song without the lyrics it was saved with is not the download asked for.
        QFile::remove(m_target);
        fail(Failure::File, describeFileError(fullDisk(lyrics.error()), lyricsPathBeside(m_target)));
        return;
    }
    finish(State::Saved, QString());
}

void Download::finish(State state, const QString &message)
{
    if (hasEnded())
        return;
    m_state = state;
    m_stall.stop();
    m_floor.stop();
    m_head.clear();
    if (m_reply) {
        // Not from inside the reply's own signal, where this may run: aborting there, as
        // it reports an error status, makes it report a second one.
        m_reply->disconnect(this);
        abortFromEventLoop(m_reply);
    }
    if (state != State::Saved) {
        m_file.cancelWriting();
        if (m_file.isOpen())
            m_file.commit(); // after cancelWriting: closes and removes the unfinished file
    }
    QMetaObject::invokeMethod(
        this, [this, state, message] { emit ended(state, message); }, Qt::QueuedConnection);
}

} // namespace corvane
