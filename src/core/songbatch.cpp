#include "songbatch.h"

#include <QDir>
#include <QFileInfo>
#include <QScopedPointer>

#include "download.h"
#include "errors.h"
#include "filename.h"
#include "httpfetch.h"
#include "kuwotoday.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

QString FolderNames::claim(const QString &folder, const QString &id, const QString &name)
{
    QHash<QString, QString> &names = m_names[folder];
    const QString stem = name.chopped(4);
    QString candidate = name;
    for (int n = 2;; ++n) {
        const auto given = names.constFind(candidate.toLower());
        if (given == names.cend()) {
            names.insert(candidate.toLower(), id);
            return candidate;
        }
        if (*given == id)
            return candidate;
        candidate = stem + u" ("_s + QString::number(n) + u").mp3"_s;
    }
}

SongBatch::SongBatch(ServiceConfig config, QList<ListSong> songs, std::shared_ptr<FolderNames> names,
                     QObject *parent)
    : QObject(parent), m_config(std::move(config)),
      m_names(names ? std::move(names) : std::make_shared<FolderNames>()), m_pace(kLyricPace)
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
        entry.path = QDir(m_folder).filePath(m_names->claim(m_folder, entry.song.id, name));
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
        if (isRetryable(m_rows.at(row)))
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
    how.linkReady = [this, row](const QString &link) { startDownload(row, link); };
    Cause cause = Cause::None;
    try {
        if (co_await ResolveSongId(info, m_rows.at(row).song.id, m_config, requests.get(), how) ==
            ResolveEnd::Stopped)
            co_return; // the batch was stopped: the stop has told the row
    } catch (const LinkRefused &) {
        cause = Cause::Region;
    } catch (const FetchError &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Network;
    } catch (const std::exception &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Answer;
    }
    if (how.lyricsRefused)
        m_lyricRest.setRemainingTime(kLyricRest);
    if (m_rows.at(row).state != RowState::Working)
        co_return; // its download has ended it already
    if (cause != Cause::None) {
        dropDownload(row);
        endRow(row, RowState::Failed, cause);
        co_return;
    }
    resolved(row, info);
}

void SongBatch::startDownload(int row, const QString &link)
{
    auto *download = new Download(acceptedHttpUrl(link), {}, this);
    download->setKeepExisting(true);
    m_transfers.insert(row, {download});
    connect(download, &Download::answered, this, [this, row] {
        m_transfers[row].answered = true;
        if (m_transfers.value(row).resolved)
            save(row);
    });
    connect(download, &Download::progress, this, [this, row](qint64 received, qint64 total) {
        const int percent = total > 0 ? int(qBound(qint64(0), received * 100 / total, qint64(100))) : -1;
        if (percent != m_rows.at(row).percent) {
            m_rows[row].percent = percent;
            emit rowChanged(row);
        }
    });
    connect(download, &Download::ended, this, [this, row, download](Download::State state, const QString &message) {
        const bool withLyrics = m_transfers.value(row).withLyrics;
        m_transfers.remove(row);
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
        case Download::Failure::Refused:
            endRow(row, RowState::Failed, Cause::Answer);
            return;
        case Download::Failure::Slow:
            endRow(row, RowState::Failed, Cause::Slow);
            return;
        case Download::Failure::Network:
        case Download::Failure::None:
            break;
        }
        endRow(row, state == Download::State::Stopped ? RowState::Stopped : RowState::Failed, Cause::Network);
    });
    download->start();
}

void SongBatch::resolved(int row, const SongInfo &info)
{
    const auto transfer = m_transfers.find(row);
    if (transfer == m_transfers.end()) {
        endRow(row, RowState::Failed, Cause::Answer); // resolved without a link: cannot happen
        return;
    }
    transfer->download->setSong(downloadSongOf(info));
    transfer->withLyrics = !info.TimedLyrics.isEmpty();
    transfer->duration = info.DurationSeconds;
    transfer->resolved = true;
    if (transfer->answered)
        save(row);
}

void SongBatch::save(int row)
{
    const Transfer transfer = m_transfers.value(row);
    // The file's own size tells a paid song's short notice from the song.
    if (servesNotice(transfer.download->size(), transfer.duration)) {
        dropDownload(row);
        endRow(row, RowState::Failed, Cause::Paid);
        return;
    }
    // A file that appeared while the song was resolved is left as it is too.
    if (QFileInfo::exists(m_rows.at(row).path)) {
        dropDownload(row);
        endRow(row, RowState::Exists);
        return;
    }
    transfer.download->saveTo(m_rows.at(row).path);
}

void SongBatch::dropDownload(int row)
{
    const auto transfer = m_transfers.find(row);
    if (transfer == m_transfers.end())
        return;
    transfer->download->disconnect(this);
    transfer->download->stop();
    transfer->download->deleteLater();
    m_transfers.erase(transfer);
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
    if (!m_run || m_rows.at(row).state != RowState::Working)
        return; // stopped (the stop has ended every row), or ended already
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
    while (!m_transfers.isEmpty())
        dropDownload(m_transfers.begin().key());
    // Resumes each resolution that waits, which ends without a word.
    run->stop();
    run->deleteLater();
    for (const int row : std::as_const(m_batch)) {
        if (m_rows.at(row).state == RowState::Waiting || m_rows.at(row).state == RowState::Working)
            setRow(row, RowState::Stopped);
    }
    emit runningChanged(false);
}

bool SongBatch::isRetryable(const Row &row)
{
    // The service answers a region-refused or paid song the same way every time.
    return row.state == RowState::Stopped ||
           (row.state == RowState::Failed && row.cause != Cause::Region && row.cause != Cause::Paid);
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
        totals.retryable += isRetryable(m_rows.at(row));
    }
    return totals;
}

} // namespace corvane
