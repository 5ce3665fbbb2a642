#include "songbatch.h"

#include <QDir>
#include <QFileInfo>
#include <QScopedPointer>

#include "download.h"
#include "errors.h"
#include "filename.h"
#include "httpfetch.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

SongBatch::SongBatch(ServiceConfig config, QList<ListSong> songs, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_pace(kLyricPace)
{
    m_rows.reserve(songs.size());
    for (ListSong &song : songs) {
        Row row;
        row.song = std::move(song);
        m_rows.append(std::move(row));
    }
    m_paceTimer.setSingleShot(true);
    connect(&m_paceTimer, &QTimer::timeout, this, &SongBatch::pump);
}

SongBatch::~SongBatch()
{
    // While every member still stands: the stop resumes the rows' resolutions.
    stop();
}

void SongBatch::nameRows(const QList<int> &rows)
{
    for (const int row : rows) {
        Row &entry = m_rows[row];
        if (!entry.path.isEmpty())
            continue; // named by an earlier batch into this folder: the same file
        QString name = songFileName(entry.song.artist, entry.song.name);
        if (name.isEmpty())
            name = mp3FileName(entry.song.id);
        const QString stem = name.chopped(4);
        for (int n = 2; m_names.contains(name.toLower()); ++n)
            name = stem + u" ("_s + QString::number(n) + u").mp3"_s;
        m_names.insert(name.toLower());
        entry.path = QDir(m_folder).filePath(name);
    }
}

void SongBatch::download(QList<int> rows, const QString &folder)
{
    if (isRunning())
        return;
    rows.removeIf([this](int row) { return row < 0 || row >= m_rows.size(); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;
    if (QDir::cleanPath(folder) != QDir::cleanPath(m_folder)) {
        m_folder = QDir::cleanPath(folder);
        m_names.clear();
        for (Row &row : m_rows)
            row.path.clear();
    }
    nameRows(rows);
    m_run = new Requests(this);
    m_batch = rows;
    m_queue = rows;
    for (const int row : rows)
        setRow(row, RowState::Waiting);
    emit runningChanged(true);
    pump();
}

void SongBatch::retryFailed()
{
    QList<int> again;
    for (const int row : std::as_const(m_batch)) {
        if (m_rows.at(row).state == RowState::Failed || m_rows.at(row).state == RowState::Stopped)
            again << row;
    }
    download(again, m_folder);
}

void SongBatch::pump()
{
    while (m_run && m_active < kBatchParallel && !m_queue.isEmpty()) {
        const int row = m_queue.first();
        // Left as it is, and no request made for it.
        if (QFileInfo::exists(m_rows.at(row).path)) {
            m_queue.removeFirst();
            setRow(row, RowState::Exists);
            continue;
        }
        if (!m_nextStart.hasExpired()) {
            m_paceTimer.start(int(m_nextStart.remainingTime()) + 1);
            return;
        }
        m_queue.removeFirst();
        m_nextStart.setRemainingTime(m_lyricRest.hasExpired() ? m_pace : std::chrono::milliseconds(0));
        ++m_active;
        runRow(row, m_run);
    }
    if (m_run && m_active == 0 && m_queue.isEmpty()) {
        // The batch has ended.
        m_run->deleteLater();
        m_run = nullptr;
        emit runningChanged(false);
    }
}

QCoro::Task<> SongBatch::runRow(int row, QPointer<Requests> run)
{
    setRow(row, RowState::Working);
    // Deleted later: a stop resumes this frame from inside the object's own stop().
    const QScopedPointer<Requests, QScopedPointerDeleteLater> requests(new Requests(run.get()));
    SongInfo info;
    ListResolution how;
    how.askLyrics = m_lyricRest.hasExpired();
    Cause cause = Cause::None;
    try {
        if (co_await ResolveSongId(info, m_rows.at(row).song.id, m_config, requests.get(), how) ==
            ResolveEnd::Stopped)
            co_return; // the batch was stopped: the stop has told the row
    } catch (const LinkRefused &) {
        cause = Cause::Region;
    } catch (const NoticeOnly &) {
        cause = Cause::Paid;
    } catch (const FetchError &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Network;
    } catch (const std::exception &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Answer;
    }
    if (how.lyricsRefused)
        m_lyricRest.setRemainingTime(kLyricRest);
    if (cause != Cause::None) {
        endRow(row, RowState::Failed, cause);
        co_return;
    }
    try {
        startDownload(row, info);
    } catch (const std::exception &error) {
        qWarning("batch: %s", error.what());
        endRow(row, RowState::Failed, Cause::Save);
    }
}

void SongBatch::startDownload(int row, const SongInfo &info)
{
    auto *download = new Download(acceptedHttpUrl(info.DirectLink), downloadSongOf(info), this);
    download->setKeepExisting(true);
    m_downloads.insert(row, download);
    const bool withLyrics = !info.TimedLyrics.isEmpty();
    connect(download, &Download::answered, this, [this, row, download] {
        // A file that appeared while the song was resolved is left as it is too.
        if (QFileInfo::exists(m_rows.at(row).path)) {
            download->disconnect(this);
            download->stop();
            download->deleteLater();
            m_downloads.remove(row);
            endRow(row, RowState::Exists);
            return;
        }
        download->saveTo(m_rows.at(row).path);
    });
    connect(download, &Download::progress, this, [this, row](qint64 received, qint64 total) {
        const int percent = total > 0 ? int(qBound(qint64(0), received * 100 / total, qint64(100))) : -1;
        if (percent != m_rows.at(row).percent) {
            m_rows[row].percent = percent;
            emit rowChanged(row);
        }
    });
    connect(download, &Download::ended, this,
            [this, row, download, withLyrics](Download::State state, const QString &message) {
                m_downloads.remove(row);
                download->deleteLater();
                if (state == Download::State::Saved) {
                    endRow(row, withLyrics ? RowState::Done : RowState::DoneWithoutLyrics);
                    return;
                }
                qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), qUtf8Printable(message));
                switch (download->failure()) {
                case Download::Failure::Exists:
                    endRow(row, RowState::Exists);
                    return;
                case Download::Failure::File:
                    endRow(row, RowState::Failed, Cause::Save);
                    return;
                case Download::Failure::NotAudio:
                    endRow(row, RowState::Failed, Cause::Answer);
                    return;
                case Download::Failure::Network:
                case Download::Failure::None:
                    break;
                }
                endRow(row, state == Download::State::Stopped ? RowState::Stopped : RowState::Failed, Cause::Network);
            });
    download->start();
}

void SongBatch::setRow(int row, RowState state, Cause cause)
{
    Row &entry = m_rows[row];
    entry.state = state;
    entry.cause = cause;
    entry.percent = -1;
    emit rowChanged(row);
}

void SongBatch::endRow(int row, RowState state, Cause cause)
{
    if (!m_run)
        return; // stopped: the stop has ended every row
    setRow(row, state, cause);
    --m_active;
    pump();
}

void SongBatch::stop()
{
    if (!m_run)
        return;
    Requests *run = std::exchange(m_run, nullptr);
    m_paceTimer.stop();
    m_queue.clear();
    m_active = 0;
    // The transfers first: each removes its unfinished file at once.
    for (Download *download : std::as_const(m_downloads)) {
        download->disconnect(this);
        download->stop();
        download->deleteLater();
    }
    m_downloads.clear();
    // Resumes each resolution that waits, which ends without a word.
    run->stop();
    run->deleteLater();
    for (const int row : std::as_const(m_batch)) {
        if (m_rows.at(row).state == RowState::Waiting || m_rows.at(row).state == RowState::Working)
            setRow(row, RowState::Stopped);
    }
    emit runningChanged(false);
}

SongBatch::Totals SongBatch::totals() const
{
    Totals totals;
    totals.songs = int(m_batch.size());
    for (const int row : m_batch) {
        const RowState state = m_rows.at(row).state;
        totals.ended += state == RowState::Done || state == RowState::DoneWithoutLyrics ||
                        state == RowState::Exists || state == RowState::Failed;
        totals.failed += state == RowState::Failed;
        totals.retryable += state == RowState::Failed || state == RowState::Stopped;
    }
    return totals;
}

} // namespace corvane
