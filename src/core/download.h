#pragma once

#include <chrono>
#include <optional>

#include <QByteArrayView>
#include <QObject>
#include <QSaveFile>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "songtags.h"

class QNetworkReply;

namespace corvane {

// What a download of a resolved song's link carries besides the audio: the tags written
// into the MP3, and the timed lyrics saved beside it as a ".lrc" file. Empty: the file is
// saved as served, with no lyrics file.
struct DownloadSong
{
    SongTags tags;
    QString timedLyrics;
};

struct SongInfo;
// What a download of a resolved song carries: its full name, singer, album, the lyrics
// as the lyrics box shows them and its picture as tags, its timed lyrics beside it.
DownloadSong downloadSongOf(const SongInfo &song);

// What an audio file is, by its first bytes.
enum class AudioFormat {
    None, // not audio Corvane saves
    Mp3,  // an ID3v2 tag or an MPEG audio frame
    Flac, // "fLaC"
};
AudioFormat audioFormatOf(QByteArrayView head);

// One download of a song, without a window: a GET of an http or https address whose
// answer is written whole or not at all. An existing file it replaces stays untouched
// until the new one is complete (QSaveFile). A song to be tagged gets its tag on the way
// in: its first bytes wait in memory until the tag is planned (planTag), then the tag and
// the audio go straight into the file, so that a download needs its own size free, not
// twice. Only audio is kept: an answer typed as a page or text, or one that does not
// begin as its format (an MP3 unless told) does, fails. So does one that sends nothing for kStallBound. A failed or
// stopped download leaves nothing. Its signals other than progress come from the event
// loop, never from inside a network signal, so that a slot may open a dialog.
class Download final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Download)

public:
    enum class State {
        Connecting, // the request is on its way
        Answered,   // the server answers with a file: where it goes is awaited
        Writing,    // the answer goes into its file
        Saved,
        Failed,
        Stopped,
    };
    Q_ENUM(State)

    // What a failed download failed on.
    enum class Failure {
        None,
        Network,  // the connection or the server's status
        File,     // the file could not be written or committed
        NotAudio, // the answer is a page, a text or anything but an MP3
        Exists,   // keepExisting: a file of that name appeared meanwhile
        Slow,     // the server sent less than the speed floor asks (a network failure too)
        Refused,  // a redirect to anything but a web address of the network
        Short,    // far shorter than the song (setLeastBytes): a notice, not the song
    };

    Download(QUrl url, DownloadSong song = {}, QObject *parent = nullptr);
    // A download not yet saved is stopped: its reply aborted, nothing left on disk.
    ~Download() override;

    void start();
    // How long the server may send nothing (kStallBound unless a test shortens it). Not
    // counted while the target is awaited: the server cannot send then.
    void setStallBound(std::chrono::milliseconds bound) { m_stallBound = bound; }
    // A transfer that receives less than `bytesPerSecond` on average over `window` fails
    // (kSpeedFloorBytes over kSpeedFloorWindow unless a test changes it): a trickle would
    // otherwise hold its slot for ever. Counted while the file is being written.
    void setSpeedFloor(qint64 bytesPerSecond, std::chrono::milliseconds window)
    {
        m_floorBytes = bytesPerSecond;
        m_floorWindow = window;
    }
    // A file already at the target when the download is whole is left as it is, and the
    // download fails with Failure::Exists, instead of replacing it.
    void setKeepExisting(bool keep) { m_keepExisting = keep; }
    // The format the file must be (AudioFormat::Mp3 unless told): a file that begins as
    // another fails as NotAudio, so that no file is named by a format it is not.
    void setFormat(AudioFormat format) { m_format = format; }
    AudioFormat format() const { return m_format; }
    // A file of fewer bytes than this fails as Short: by the size the server gives, as soon
    // as it answers, else once it is received.
    void setLeastBytes(qint64 bytes) { m_leastBytes = bytes; }
    // Once answered: where the answer goes. Its data is written there (or beside it while
    // it waits to be tagged) and committed when whole; the lyrics file follows.
    void saveTo(const QString &path);
    // Before saveTo(): what the file carries, when it is known only after the download
    // has started.
    void setSong(DownloadSong song);
    const DownloadSong &song() const { return m_song; }
    // Once answered: the size the server gives the file; empty when it gives none.
    std::optional<qint64> size() const;
    // From the event loop: ends it, leaving nothing. Nothing happens once it has ended.
    void stop();

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    bool hasEnded() const { return m_state >= State::Saved; }
    QUrl url() const { return m_url; }
    // Once answered: the name the server gives the file (see suggestedDownloadName).
    QString serverFileName() const;
    // The file, once it is chosen (and saved, when the state says so).
    QString path() const { return m_target; }

signals:
    // The server answers with a file: saveTo() or stop() is awaited. Meanwhile at most
    // kReadBufferBytes of its data wait here, the rest in the network.
    void answered();
    // Bytes received so far, of `total` (-1: unknown).
    void progress(qint64 received, qint64 total);
    // Saved, failed (`message` says why, in words for the user) or stopped ("下载已取消").
    void ended(corvane::Download::State state, const QString &message);

private:
    int status() const;
    void onMetaData();
    void drain();
    void onFinished();
    // The first bytes, once there are enough of them (or all there will be): checked to be
    // audio, given the tag, written.
    void writeHead();
    // How many first bytes writeHead() needs (-1: more than there are yet).
    qint64 headBytes() const;
    bool write(const QByteArray &bytes);
    // Why writing or committing the file failed, a full disk named as such whatever
    // error the file reports.
    QString fileFailure() const;
    // `error`, or a full disk when the folder has next to no room left, whatever the error.
    QFileDevice::FileError fullDisk(QFileDevice::FileError error) const;
    void heard();
    void checkSpeed();
    // The file as written is the file promised: every byte the server said it would send,
    // tagged as planned, on the disk.
    bool wholeOnDisk();
    void finish(State state, const QString &message);
    void fail(Failure failure, const QString &message)
    {
        if (!hasEnded())
            m_failure = failure;
        finish(State::Failed, message);
    }

    QUrl m_url;
    DownloadSong m_song;
    QNetworkReply *m_reply = nullptr;
    QSaveFile m_file;
    QString m_target;
    State m_state = State::Connecting;
    Failure m_failure = Failure::None;
    bool m_keepExisting = false;
    AudioFormat m_format = AudioFormat::Mp3;
    qint64 m_leastBytes = 0;
    bool m_replyFinished = false;
    // The first bytes, until writeHead() has written them.
    QByteArray m_head;
    bool m_headWritten = false;
    // Of the answer's body, read from the reply; and what the tag adds to the file (the
    // planned tag less the tag it replaces).
    qint64 m_received = 0;
    qint64 m_tagGrowth = 0;
    std::chrono::milliseconds m_stallBound;
    QTimer m_stall;
    qint64 m_floorBytes;
    std::chrono::milliseconds m_floorWindow;
    qint64 m_floorMark = 0;
    QTimer m_floor;
};

// What a download that a redirect sent where it may not go says.
inline const QString kRefusedMessage = QStringLiteral("下载失败：服务器把下载转到了不允许的地址");
// What a download that is plainly not a song says.
inline const QString kNotAudioMessage = QStringLiteral("下载失败：服务器返回的不是音频文件");
// What a download whose file is another format than the one asked says.
inline const QString kWrongFormatMessage = QStringLiteral("下载失败：服务器返回的文件不是所选的格式");
// What a download far shorter than its song says.
inline const QString kShortMessage = QStringLiteral("下载失败：文件太短，不是完整的歌曲");

// A download that receives nothing for this long fails.
inline constexpr std::chrono::milliseconds kStallBound{30000};
// A download that receives less than this much a second on average over the window fails.
inline constexpr qint64 kSpeedFloorBytes = 1024;
inline constexpr std::chrono::milliseconds kSpeedFloorWindow{60000};
// What a download that fails that floor says.
inline const QString kTooSlowMessage = QStringLiteral("下载失败：速度太慢");

// The reply buffers at most this much while its file is not being written: the rest
// waits in the socket, so memory stays constant while the save dialog is open.
inline constexpr qint64 kReadBufferBytes = 1024 * 1024;

} // namespace corvane
