#pragma once


#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

#include <QCoroTask>

#include "kuwolists.h"
#include "kuwoquality.h"
#include "serviceconfig.h"

namespace corvane {

class QualityDownload;
struct PaySong;
struct SongInfo;

// The file names given in each folder, known to every batch of the program: two lists
// saving into one folder tell a different song of the same name apart as one list does
// ("… (2).mp3"), and save the same song once. Owned once, by whoever makes the batches.
class FolderNames final
{
public:
    // The file name of song `id` in `folder`, where it would be called `name` (ending in
    // its extension, ".mp3" or ".flac"): the one it was given there before, else `name`,
    // numbered " (2)", " (3)"… past the names other songs were given there. Names are told
    // apart without case, as Windows does.
    QString claim(const QString &folder, const QString &id, const QString &name);

private:
    // Folder, then lower-cased name, then the song that has it.
    QHash<QString, QHash<QString, QString>> m_names;
};

// The songs of a list saved into one folder as a whole, without a window: each song
// resolved by its id (ResolveSongId), its file fetched in the batch's quality or the best
// below it the service honestly gives (QualityDownload), saved as "歌手 - 歌名.mp3" or
// ".flac" (by what it is) with its tag and its ".lrc" as a single download is, two at a
// time. A file already in the folder is never replaced (judged for the name and the
// extension that would be saved); two songs of one batch with the same name are told
// apart as "… (2).mp3". One
// song's failure never stops the others. Each song asks for its lyrics through the
// program's lyrics gate (ServiceConfig::lyricsGate; a gate of its own when none is
// given), which paces them and rests after a refusal; a song without lyrics is saved all
// the same.
class SongBatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongBatch)

public:
    enum class RowState {
        Idle,              // in no batch yet
        Waiting,           // in the batch, not yet started
        Working,           // resolving (percent -1) or downloading
        Done,              // saved with its lyrics
        DoneWithoutLyrics, // saved, but the service had or gave no lyrics
        Exists,            // a file of its name was already there: left as it is
        Stopped,
        Failed,
    };
    Q_ENUM(RowState)
    // Why a row failed.
    enum class Cause {
        None,
        Region,  // the link conversion refused ("IPDeny")
        Paid,    // the link serves the notice of a paid song
        Network, // a request or the transfer failed
        Slow,    // the transfer failed the speed floor: a network failure too
        Save,    // the file could not be written
        Answer,  // the service answered something unusable
    };
    Q_ENUM(Cause)
    struct Row
    {
        ListSong song; // its duration from its record once known, where the list had none
        RowState state = RowState::Idle;
        int percent = -1; // while downloading, when the size is known
        Cause cause = Cause::None;
        QString path; // the file it is saved as, once a batch has named it
        Quality asked = Quality::Mp3_320; // by the batch it was last in
        Quality got = Quality::Mp3_128;   // once saved
    };
    // The rows of the run: the last download() with what was added to it since.
    struct Totals
    {
        int songs = 0; // in the run
        int done = 0;  // saved, with or without lyrics
        int exists = 0;
        int failed = 0;
        int stopped = 0;
        int retryable = 0; // isRetryable
        // About how long the rest takes, in seconds; -1 until a song of the run has ended
        // and while nothing is left.
        qint64 secondsLeft = -1;
        int ended() const { return done + exists + failed; }
        int left() const { return songs - ended(); }
    };

    // `names`: the names the program has given in each folder (a batch of its own when
    // none is shared).
    SongBatch(ServiceConfig config, QList<ListSong> songs, std::shared_ptr<FolderNames> names = {},
              QObject *parent = nullptr);
    // Stops what runs: nothing half-written stays.
    ~SongBatch() override;

    const QList<Row> &rows() const { return m_rows; }
    // The songs are an album's, `name`: each is tagged with it and its number of the
    // album's (TRCK "3/12"), not with the album its record names.
    void setAlbum(const QString &name) { m_album = name; }
    // File names of the next run start with each song's number ("03 歌手 - 歌名.mp3").
    void setNumbered(bool numbered) { m_numbered = numbered; }
    // A song's number: its track in the album, else its place in the list, from 1.
    int numberOf(int row) const;
    // The quality the next download() and retryFailed() ask for (高品 MP3 320k at first).
    void setQuality(Quality quality) { m_quality = quality; }
    Quality quality() const { return m_quality; }
    // A new run: saves `rows` (indices into rows()) into `folder`, in row order. Nothing
    // happens while a run goes.
    void download(QList<int> rows, const QString &folder);
    // The stopped rows of the run go on where they stopped, into its folder; the run's
    // count goes on.
    void resume();
    // The rows of the run that failed in a way another try can mend (isRetryable), again,
    // into its folder, as part of the same run.
    void retryFailed();
    // While a run goes, `rows` join it (those already waiting or working stay as they are);
    // after a stop, stopped rows taken out of it come back for resume().
    void addToRun(const QList<int> &rows);
    // `rows` leave the run: a waiting one is no longer asked, a working one stops alone
    // (its unfinished file goes, the row is Stopped), a stopped one is not resumed.
    void removeFromRun(const QList<int> &rows);
    // Failed on the network, the disk or an answer: not refused for its region nor paid,
    // which the service answers the same way every time.
    static bool isRetryable(const Row &row);
    // Aborts every transfer and resolution at once: unfinished files go, finished ones
    // stay, and every row not ended is Stopped.
    void stop();
    bool isRunning() const { return m_run != nullptr; }
    Totals totals() const;
    QString folder() const { return m_folder; }

signals:
    // Rows first to last (inclusive) changed: collected over a turn of the event loop,
    // so that a stop of thousands of rows is one report.
    void rowsChanged(int first, int last);
    // A batch started (true) or ended (false).
    void runningChanged(bool running);

private:
    // What one started row holds: its resolution's requests and, once the link is known,
    // its transfer. Both end together (finish).
    struct Job
    {
        Requests *requests = nullptr;
        QualityDownload *download = nullptr;
        bool answered = false;
        bool resolved = false;
        bool withLyrics = false;
    };

    // `rows` of the run waiting again, and the run going if it stood.
    void requeue(const QList<int> &rows);
    void pump();
    QCoro::Task<> runRow(int row);
    QCoro::Task<> resolveRow(int row, Requests *requests);
    // The song's file is asked for as soon as its record is known; it is saved once the
    // song is resolved (its tag known) and the server has answered.
    void startDownload(int row, const PaySong &record);
    void downloadEnded(int row, QualityDownload *download, const QString &message);
    // Where row `row` is saved as a file of `format` ("mp3", "flac").
    QString pathFor(int row, const QString &format);
    void resolved(int row, const SongInfo &info);
    void save(int row);
    void finish(int row, RowState state, Cause cause = Cause::None);
    void endJob(const Job &job);
    void setRow(int row, RowState state, Cause cause = Cause::None);
    void changed(int row);
    void reportChanges();
    void nameRows(const QList<int> &rows);

    ServiceConfig m_config;
    QList<Row> m_rows;
    QList<int> m_batch;
    QList<int> m_queue;
    QHash<int, Job> m_jobs;
    QString m_folder;
    Quality m_quality = Quality::Mp3_320;
    QString m_album;
    bool m_numbered = false;
    int m_lastNumber = 0; // the highest numberOf(): the width numbers are padded to
    std::shared_ptr<FolderNames> m_names;
    // The requests of the batch that runs; null when none does.
    Requests *m_run = nullptr;
    // The run's working time (while it goes) and the rows it worked on to their end: the
    // measured time per song.
    QElapsedTimer m_going;
    qint64 m_wentMs = 0;
    int m_worked = 0;
    // The rows changed in this turn of the event loop, reported at its end; first > last
    // when none.
    int m_changedFirst = 0;
    int m_changedLast = -1;
    QTimer m_report;
};

// Songs downloaded at once.
inline constexpr int kBatchParallel = 2;

} // namespace corvane
