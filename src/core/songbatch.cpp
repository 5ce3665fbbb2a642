#include "songbatch.h"

#include <QDir>
#include <QFileInfo>

#include "download.h"
#include "errors.h"
#include "filename.h"
#include "httpfetch.h"
#include "kuwotoday.h"
#include "lyricsgate.h"
#include "qualitydownload.h"
#include "songresolver.h"

using namespace Qt::StringLiterals;

namespace corvane {

QString FolderNames::claim(const QString &folder, const QString &id, const QString &name)
{
    QHash<QString, QString> &names = m_names[folder];
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot < 0 ? name : name.first(dot);
    const QString extension = dot < 0 ? QString() : name.sliced(dot);
    QString candidate = name;
    for (int n = 2;; ++n) {
        const auto given = names.constFind(candidate.toLower());
        if (given == names.cend()) {
            names.insert(candidate.toLower(), id);
            return candidate;
        }
        if (*given == id)
            return candidate;
        candidate = stem + u" ("_s + QString::number(n) + u")"_s + extension;
    }
}

// A row's life, all of it:
//   (any state but Working and Waiting) --download(), resume(), retryFailed(), addToRun()--> Waiting
//   Waiting --removeFromRun()--> Idle
//   Waiting --pump()--> Exists (a file of its name is there: nothing is asked) | Working
//   Working --finish()--> Done | DoneWithoutLyrics | Exists | Failed (with its Cause)
//   Waiting, Working --stop()--> Stopped;  Working --removeFromRun()--> Stopped
// finish() is the one way out of Working: whichever of the row's resolution and transfer
// ends the row first, the other is aborted with it (endJob).

SongBatch::SongBatch(ServiceConfig config, QList<ListSong> songs, std::shared_ptr<FolderNames> names,
                     QObject *parent)
    : QObject(parent), m_config(std::move(config)),
      m_names(names ? std::move(names) : std::make_shared<FolderNames>())
{
    if (!m_config.lyricsGate)
        m_config.lyricsGate = new LyricsGate(this);
    m_rows.reserve(songs.size());
    for (ListSong &song : songs) {
        Row row;
        row.song = std::move(song);
        m_rows.append(std::move(row));
        m_lastNumber = qMax(m_lastNumber, numberOf(int(m_rows.size()) - 1));
    }
    m_report.setSingleShot(true);
    connect(&m_report, &QTimer::timeout, this, &SongBatch::reportChanges);
}

SongBatch::~SongBatch()
{
    // While every member still stands: the stop resumes the rows' resolutions.
    stop();
}

int SongBatch::numberOf(int row) const
{
    const int track = m_rows.at(row).song.track;
    return track > 0 ? track : row + 1;
}

QString SongBatch::pathFor(int row, const QString &format)
{
    const ListSong &song = m_rows.at(row).song;
    QString name = songFileName(song.artist, song.name);
    if (name.isEmpty())
        name = mp3FileName(song.id);
    // Padded to the list's widest number, so that the names sort as the list goes.
    if (m_numbered) {
        const int width = qMax(2, int(QString::number(m_lastNumber).size()));
        name = u"%1 "_s.arg(numberOf(row), width, 10, QChar(u'0')) + name;
    }
    name = name.chopped(3) + format; // past ".mp3"'s dot
    return QDir(m_folder).filePath(m_names->claim(m_folder, song.id, name));
}

void SongBatch::nameRows(const QList<int> &rows)
{
    // By the format the song is first asked in; a lower one is named when it comes.
    for (const int row : rows) {
        Row &entry = m_rows[row];
        entry.asked = m_quality;
        entry.path = pathFor(row, QualityDownload::firstFormat(m_quality, entry.song.offered));
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
    m_folder = QDir::cleanPath(folder);
    m_batch = rows;
    m_wentMs = 0;
    m_worked = 0;
    requeue(rows);
}

void SongBatch::requeue(const QList<int> &rows)
{
    if (rows.isEmpty())
        return;
    nameRows(rows);
    m_queue << rows;
    for (const int row : rows)
        setRow(row, RowState::Waiting);
    if (!m_run) {
        m_run = new Requests(this);
        m_going.start();
        emit runningChanged(true);
    }
    pump();
}

void SongBatch::resume()
{
    if (isRunning())
        return;
    QList<int> again;
    for (const int row : std::as_const(m_batch)) {
        if (m_rows.at(row).state == RowState::Stopped)
            again << row;
    }
    requeue(again);
}

void SongBatch::retryFailed()
{
    if (isRunning())
        return;
    QList<int> again;
    for (const int row : std::as_const(m_batch)) {
        if (isRetryable(m_rows.at(row)))
            again << row;
    }
    requeue(again);
}

void SongBatch::addToRun(const QList<int> &rows)
{
    if (!isRunning()) {
        // A stopped row taken out and checked again: 继续 goes on with it after all.
        for (const int row : rows) {
            if (row >= 0 && row < m_rows.size() && m_rows.at(row).state == RowState::Stopped && !m_batch.contains(row))
                m_batch << row;
        }
        std::sort(m_batch.begin(), m_batch.end());
        return;
    }
    QList<int> joining;
    for (const int row : rows) {
        if (row < 0 || row >= m_rows.size() || m_rows.at(row).state == RowState::Waiting ||
            m_rows.at(row).state == RowState::Working)
            continue;
        if (!m_batch.contains(row)) {
            m_batch << row;
        } else if (m_rows.at(row).state != RowState::Stopped && m_rows.at(row).state != RowState::Idle) {
            continue; // ended in this run: it stays as it ended
        }
        joining << row;
    }
    requeue(joining);
}

void SongBatch::removeFromRun(const QList<int> &rows)
{
    for (const int row : rows) {
        if (row < 0 || row >= m_rows.size() || !m_batch.contains(row))
            continue;
        switch (m_rows.at(row).state) {
        case RowState::Waiting:
            m_queue.removeOne(row);
            setRow(row, RowState::Idle);
            break;
        case RowState::Working:
            endJob(m_jobs.take(row));
            setRow(row, RowState::Stopped);
            break;
        case RowState::Stopped:
            break;
        default:
            continue; // ended in this run: counted with it
        }
        m_batch.removeOne(row);
    }
    // The next one starts in a stopped one's place, or the run ends with nothing left.
    pump();
}

void SongBatch::pump()
{
    while (m_run && m_jobs.size() < kBatchParallel && !m_queue.isEmpty()) {
        const int row = m_queue.takeFirst();
        // Left as it is, and no request made for it.
        if (QFileInfo::exists(m_rows.at(row).path)) {
            setRow(row, RowState::Exists);
            continue;
        }
        setRow(row, RowState::Working);
        m_jobs.insert(row, {new Requests(m_run)});
        runRow(row);
    }
    if (m_run && m_jobs.isEmpty() && m_queue.isEmpty()) {
        // The batch has ended.
        m_run->deleteLater();
        m_run = nullptr;
        m_wentMs += m_going.elapsed();
        emit runningChanged(false);
    }
}

QCoro::Task<> SongBatch::runRow(int row)
{
    // Whatever the resolution throws ends its row here: a row left Working would hold its
    // batch for ever.
    try {
        co_await resolveRow(row, m_jobs.value(row).requests);
    } catch (const std::exception &error) {
        qWarning("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        finish(row, RowState::Failed, Cause::Answer);
    } catch (...) {
        qWarning("batch: %s: an unknown failure", qUtf8Printable(m_rows.at(row).song.id));
        finish(row, RowState::Failed, Cause::Answer);
    }
}

QCoro::Task<> SongBatch::resolveRow(int row, Requests *requests)
{
    SongInfo info;
    ListResolution how;
    how.recordReady = [this, row](const PaySong &record) { startDownload(row, record); };
    Cause cause = Cause::None;
    try {
        if (co_await ResolveSongId(info, m_rows.at(row).song.id, m_config, requests, how) == ResolveEnd::Stopped)
            co_return; // ended already: by its transfer, or by the batch's stop
    } catch (const FetchError &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Network;
    } catch (const Error &error) {
        qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), error.what());
        cause = Cause::Answer;
    }
    if (cause != Cause::None)
        finish(row, RowState::Failed, cause);
    else
        resolved(row, info);
}

void SongBatch::startDownload(int row, const PaySong &record)
{
    const auto job = m_jobs.find(row);
    if (job == m_jobs.end() || job->download)
        return;
    // Albums and singers do not say how long a song is: its record does.
    if (m_rows.at(row).song.duration <= 0 && record.duration > 0) {
        m_rows[row].song.duration = record.duration;
        changed(row);
    }
    const ListSong &song = m_rows.at(row).song;
    // What the list says the song offers, else what its record says.
    auto *download = new QualityDownload(
        m_config, {song.id, m_rows.at(row).asked, song.offered.isEmpty() ? record.offered : song.offered,
                   record.duration, {}},
        {}, this);
    download->setKeepExisting(true);
    job->download = download;
    connect(download, &QualityDownload::answered, this, [this, row, download] {
        const auto answered = m_jobs.find(row);
        if (answered == m_jobs.end())
            return;
        // Each try is named by the format it was asked in, which its file has proved to be.
        m_rows[row].path = pathFor(row, download->format());
        answered->answered = true;
        if (answered->resolved)
            save(row);
    });
    connect(download, &QualityDownload::progress, this, [this, row](qint64 received, qint64 total) {
        const int percent = total > 0 ? int(qBound(qint64(0), received * 100 / total, qint64(100))) : -1;
        if (percent != m_rows.at(row).percent) {
            m_rows[row].percent = percent;
            changed(row);
        }
    });
    connect(download, &QualityDownload::ended, this,
            [this, row, download](Download::State, const QString &message) { downloadEnded(row, download, message); });
    download->start();
}

void SongBatch::downloadEnded(int row, QualityDownload *download, const QString &message)
{
    const auto job = m_jobs.find(row);
    if (job == m_jobs.end() || job->download != download)
        return;
    // Ended by itself: finish() ends the rest of the row.
    job->download = nullptr;
    download->deleteLater();
    if (download->state() == Download::State::Saved) {
        m_rows[row].got = download->quality();
        m_rows[row].path = download->path();
        finish(row, job->withLyrics ? RowState::Done : RowState::DoneWithoutLyrics);
        return;
    }
    qInfo("batch: %s: %s", qUtf8Printable(m_rows.at(row).song.id), qUtf8Printable(message));
    switch (download->failure()) {
    case QualityDownload::Failure::Exists:
        finish(row, RowState::Exists);
        return;
    case QualityDownload::Failure::File:
        finish(row, RowState::Failed, Cause::Save);
        return;
    case QualityDownload::Failure::Answer:
        finish(row, RowState::Failed, Cause::Answer);
        return;
    case QualityDownload::Failure::Slow:
        finish(row, RowState::Failed, Cause::Slow);
        return;
    case QualityDownload::Failure::Region:
        finish(row, RowState::Failed, Cause::Region);
        return;
    case QualityDownload::Failure::Paid:
        finish(row, RowState::Failed, Cause::Paid);
        return;
    case QualityDownload::Failure::Network:
        finish(row, RowState::Failed, Cause::Network);
        return;
    case QualityDownload::Failure::None:
        break;
    }
    finish(row, RowState::Stopped);
}

void SongBatch::resolved(int row, const SongInfo &info)
{
    const auto job = m_jobs.find(row);
    if (job == m_jobs.end())
        return;
    if (!job->download) {
        finish(row, RowState::Failed, Cause::Answer); // resolved without a link: cannot happen
        return;
    }
    DownloadSong song = downloadSongOf(info);
    if (!m_album.isEmpty()) {
        song.tags.album = m_album;
        song.tags.track = numberOf(row);
        song.tags.tracks = m_lastNumber;
    }
    job->download->setSong(song);
    job->withLyrics = !info.TimedLyrics.isEmpty();
    job->resolved = true;
    if (job->answered)
        save(row);
}

void SongBatch::save(int row)
{
    const Job job = m_jobs.value(row);
    // A file that appeared while the song was resolved is left as it is too.
    if (QFileInfo::exists(m_rows.at(row).path)) {
        finish(row, RowState::Exists);
        return;
    }
    job.download->saveTo(m_rows.at(row).path);
}

void SongBatch::endJob(const Job &job)
{
    if (job.download) {
        job.download->disconnect(this);
        job.download->stop(); // its unfinished file goes at once
        job.download->deleteLater();
    }
    // Resumes the resolution if it waits, which ends without a word.
    job.requests->stop();
    job.requests->deleteLater();
}

void SongBatch::finish(int row, RowState state, Cause cause)
{
    const auto job = m_jobs.constFind(row);
    if (!m_run || job == m_jobs.cend())
        return; // stopped (the stop has ended every row), or ended already
    const Job ended = *job;
    m_jobs.erase(job);
    endJob(ended);
    ++m_worked;
    setRow(row, state, cause);
    pump();
}

void SongBatch::setRow(int row, RowState state, Cause cause)
{
    Row &entry = m_rows[row];
    entry.state = state;
    entry.cause = cause;
    entry.percent = -1;
    changed(row);
}

void SongBatch::changed(int row)
{
    if (m_changedFirst > m_changedLast) {
        m_changedFirst = m_changedLast = row;
        m_report.start(0);
        return;
    }
    m_changedFirst = qMin(m_changedFirst, row);
    m_changedLast = qMax(m_changedLast, row);
}

void SongBatch::reportChanges()
{
    const int first = std::exchange(m_changedFirst, 0);
    const int last = std::exchange(m_changedLast, -1);
    if (first <= last)
        emit rowsChanged(first, last);
}

void SongBatch::stop()
{
    if (!m_run)
        return;
    Requests *run = std::exchange(m_run, nullptr);
    m_queue.clear();
    // The transfers first: each removes its unfinished file at once.
    const QHash<int, Job> jobs = std::exchange(m_jobs, {});
    for (const Job &job : jobs)
        endJob(job);
    run->stop();
    run->deleteLater();
    m_wentMs += m_going.elapsed();
    for (const int row : std::as_const(m_batch)) {
        if (m_rows.at(row).state == RowState::Waiting || m_rows.at(row).state == RowState::Working)
            setRow(row, RowState::Stopped);
    }
    emit runningChanged(false);
}

bool SongBatch::isRetryable(const Row &row)
{
    // The service answers a region-refused or paid song the same way every time.
    return row.state == RowState::Failed && row.cause != Cause::Region && row.cause != Cause::Paid;
}

SongBatch::Totals SongBatch::totals() const
{
    Totals totals;
    totals.songs = int(m_batch.size());
    for (const int row : m_batch) {
        const RowState state = m_rows.at(row).state;
        totals.done += state == RowState::Done || state == RowState::DoneWithoutLyrics;
        totals.exists += state == RowState::Exists;
        totals.failed += state == RowState::Failed;
        totals.stopped += state == RowState::Stopped;
        totals.retryable += isRetryable(m_rows.at(row));
    }
    // Songs go no faster than the lyrics pace while the service gives lyrics.
    const qint64 went = m_wentMs + (m_run ? m_going.elapsed() : 0);
    if (m_worked > 0 && totals.left() > 0) {
        qint64 perSong = went / m_worked;
        if (m_config.lyricsGate && !m_config.lyricsGate->isResting())
            perSong = qMax<qint64>(perSong, m_config.lyricsGate->pace().count());
        totals.secondsLeft = (perSong * totals.left() + 999) / 1000;
    }
    return totals;
}

} // namespace corvane
