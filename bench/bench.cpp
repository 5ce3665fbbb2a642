// corvane-bench: Corvane's speed and memory against references measured in the same
// run on the same machine. With no argument it runs every benchmark and prints one
// line each; with --check, each once on small sizes, for CI, which needs a figure on
// every line and judges no target. The other arguments are the pieces it starts as
// child processes.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <numeric>

#include "app/commands.h"
#include "app/lifecycle.h"
#include "awaited.h"
#include "core/download.h"
#include "core/httpfetch.h"
#include "core/kuwolists.h"
#include "core/kuwotoday.h"
#include "core/songbatch.h"
#include "core/songresolver.h"
#include "core/versioncheck.h"
#include "desktop/desktop.h"
#include "httptestserver.h"
#include "musicservice.h"
#include "scripteddesktop.h"
#include "ui/form1.h"
#include "ui/songlistwindow.h"
#include "widgets/downloader.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

// How much each benchmark does: enough for a steady median, or (--check) just enough to
// show that every line still measures something.
struct Scale
{
    int resolveRuns; // the first kWarmUpRuns of them warm up
    int curlRuns;
    int bigMiB; // the download's size
    int downloadRounds;
    int startupRounds;
    QList<int> cuttingMiB;
    int idleRuns;
    int slowMs; // how long the fetch whose wait is measured waits
    int tableRounds;
    int batchSongs;
    int batchRounds;
    int flacMiB; // the tagged FLAC download's size
    int flacRounds;
};
constexpr int kWarmUpRuns = 5;
const Scale kFullScale{55, 50, 512, 5, 21, {4, 8, 16, 32}, 3, 3000, 15, 100, 7, 30, 9};
const Scale kCheckScale{kWarmUpRuns + 1, 2, 16, 1, 1, {1, 2}, 1, 300, 1, 6, 1, 3, 1};
const Scale *g_scale = &kFullScale;
const Scale &scale()
{
    return *g_scale;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A field of /proc/self/status, in KiB.
qint64 statusKiB(const char *field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// The 1-minute load average.
double loadAverage()
{
    QFile file(u"/proc/loadavg"_s);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

QByteArray loadAverages()
{
    QFile file(u"/proc/loadavg"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ')
                                          : QByteArray("unknown");
}

constexpr double kBusyLoad = 1.0;

// Waits, doing nothing, until the 1-minute load falls to `kBusyLoad` or `limit` passes;
// the load then. The benchmarks' own work (and a build just before them) raises the
// load, and it decays within about a minute once they stop; work of others keeps it up.
double settledLoad(std::chrono::seconds limit)
{
    QElapsedTimer clock;
    clock.start();
    bool told = false;
    double load = loadAverage();
    while (load > kBusyLoad && clock.elapsed() < std::chrono::milliseconds(limit).count()) {
        if (!told) {
            std::fprintf(stderr, "bench: waiting for the load (%.2f) to settle...\n", load);
            told = true;
        }
        QThread::sleep(2);
        load = loadAverage();
    }
    return load;
}

struct Line
{
    QByteArray text;
    bool met = false;
    bool informational = false; // measured and shown, with no target
    bool countsWork = false;    // instructions, not time: the machine's load does not touch it
    bool failed = false;        // nothing measured: the work itself did not succeed
};
QList<Line> g_lines;

void failed(const char *name, const QString &why)
{
    g_lines << Line{QString::asprintf("%-34s failed: %s", name, qPrintable(why)).toUtf8(), false, false, false,
                    true};
    std::fprintf(stderr, "bench: %s failed\n", name);
}

// Lines are held until the end, when the load says whether they can be trusted.
void report(const char *name, const QString &measured, const QString &reference, double ratio, const char *op,
            double target)
{
    const bool met = QByteArrayView(op) == "<=" ? ratio <= target : ratio >= target;
    g_lines << Line{QString::asprintf("%-34s %s | reference %s | ratio %.4g (target %s %g)", name,
                                      qPrintable(measured), qPrintable(reference), ratio, op, target)
                        .toUtf8(),
                    met};
    std::fprintf(stderr, "bench: %s done\n", name);
}

void inform(const char *name, const QString &measured, const QString &reference)
{
    g_lines << Line{QString::asprintf("%-34s %s | reference %s", name, qPrintable(measured), qPrintable(reference))
                        .toUtf8(),
                    true, true};
}

// The server the benchmarks talk to: the music service with one song, and beside it a
// slow answer and a big file, on loopback.
class BenchService
{
public:
    explicit BenchService(const QString &origin) : m_service(ServiceConfig::onOrigin(origin), songs()) {}

    // The songs of the batch benchmark: ids from kFirstListSong on.
    static constexpr int kFirstListSong = 7000;
    static constexpr int kListSongs = 100;

    HttpResponse answer(const HttpRequest &request) const
    {
        const QByteArray path = request.path();
        // "/slow/<ms>": an answer that long in coming.
        if (path.startsWith("/slow/")) {
            HttpResponse response = HttpResponse::text("late");
            response.delay = std::chrono::milliseconds(path.mid(6).toInt());
            return response;
        }
        // "/big/<MiB>.bin": that many MiB of data, opening as an MP3 does (the tool keeps
        // nothing else).
        if (path.startsWith("/big/") && path.endsWith(".bin")) {
            QByteArray block(1024 * 1024, Qt::Uninitialized);
            for (qsizetype i = 0; i < block.size(); ++i)
                block[i] = char(i * 31);
            block[0] = char(0xff);
            block[1] = char(0xfb);
            HttpResponse response = HttpResponse::text(block, "application/octet-stream");
            response.repeat = path.mid(5).chopped(4).toInt();
            return response;
        }
        // "/flac/<MiB>.flac": that many MiB opening as a FLAC stream does (its marker and
        // its one metadata block), the rest opaque: what a FLAC download is to the tool.
        if (path.startsWith("/flac/") && path.endsWith(".flac")) {
            QByteArray block(1024 * 1024, Qt::Uninitialized);
            for (qsizetype i = 0; i < block.size(); ++i)
                block[i] = char(i * 31);
            const QByteArray head = flacTone(1).first(4 + 4 + 34);
            block.replace(0, head.size(), head);
            HttpResponse response = HttpResponse::text(block, "audio/flac");
            response.repeat = path.mid(6).chopped(5).toInt();
            return response;
        }
        return m_service.answer(request);
    }

private:
    static QList<FakeSong> songs()
    {
        QList<FakeSong> all{song()};
        for (int i = 0; i < kListSongs; ++i) {
            FakeSong listed = song();
            listed.id = QByteArray::number(kFirstListSong + i);
            listed.name = u"列表歌曲%1"_s.arg(i);
            all << listed;
        }
        return all;
    }
    static FakeSong song()
    {
        QFile file(u":/qt-project.org/styles/commonstyle/images/standardbutton-apply-128.png"_s);
        FakeSong song = sunnyDay("1", file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        // Ten seconds at 128 kbit/s, which its record then says: the today flow's size
        // check finds the song, as it does on the service.
        song.mediaBytes = 10 * 16000;
        return song;
    }

    MusicService m_service;
};

// The server in a process of its own, so that neither the tool nor curl shares it.
class ServerProcess
{
public:
    ServerProcess()
    {
        m_process.start(QCoreApplication::applicationFilePath(), {u"serve"_s});
        m_process.waitForReadyRead(10000);
        m_origin = QString::fromLatin1(m_process.readLine().trimmed());
    }
    ~ServerProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString origin() const { return m_origin; }
    QString url(const QString &path) const { return u"http://"_s + m_origin + path; }
    QString url(const char *path) const { return url(QString::fromLatin1(path)); }

private:
    QProcess m_process;
    QString m_origin;
};

// Seconds from start to exit; -1 when the command did not succeed.
double timeCommand(const QString &program, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(program, arguments);
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                      process.exitCode() == 0;
    return done ? clock.nsecsElapsed() / 1e9 : -1;
}

void waitCpu()
{
    ServerProcess server;
    double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    awaited(GetBody(server.url(u"/slow/%1"_s.arg(scale().slowMs))));
    const double waitRatio = (processCpuSeconds() - cpu) / (wall.nsecsElapsed() / 1e9);

    // The reference: a poll that dispatches events back to back, for one second.
    cpu = processCpuSeconds();
    wall.restart();
    while (wall.elapsed() < 1000)
        QCoreApplication::processEvents();
    const double pollRatio = (processCpuSeconds() - cpu) / (wall.nsecsElapsed() / 1e9);
    report("1 fetch wait: CPU / wall", u"%1"_s.arg(waitRatio, 0, 'f', 5),
           u"busy poll %1"_s.arg(pollRatio, 0, 'f', 3), waitRatio, "<=", 0.005);
}

// The window resolves `address` 55 times (the first five warm up), against curl fetching
// `urls` and asking `headUrls` for their headers in one process 50 times.
void resolveAgainstCurl(const char *name, const ServerProcess &server, const QString &address,
                        const QStringList &urls, const QStringList &headUrls = {})
{
    ScriptedDesktop desktop; // a failure's box must not wait for a click
    const auto window = app::makeWindow(ServiceConfig::onOrigin(server.origin()), desktop);
    ui::Form1 &form = *window;
    form.setAddressEnabled(true);
    form.setResolveEnabled(true);
    form.setAddress(address);
    form.show();
    auto *resolveButton = form.findChild<QPushButton *>(u"Command1"_s);
    QList<double> tool;
    for (int i = 0; i < scale().resolveRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        resolveButton->click();
        while (!resolveButton->isEnabled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (form.statusText() != u"音乐获取成功.."_s) {
            failed(name, u"resolution %1 ended with \"%2\""_s.arg(i + 1).arg(form.statusText()));
            return;
        }
        if (i >= kWarmUpRuns) // the first runs warm the connection pool and caches
            tool << seconds;
    }
    QStringList arguments{u"-s"_s};
    for (const QString &url : urls)
        arguments << u"-o"_s << u"/dev/null"_s << url;
    // The same process and connection cache, headers only.
    for (const QString &url : headUrls)
        arguments << u"--next"_s << u"-s"_s << u"-I"_s << u"-o"_s << u"/dev/null"_s << url;
    QList<double> curl;
    for (int i = 0; i < scale().curlRuns; ++i)
        curl << timeCommand(u"curl"_s, arguments);
    if (std::any_of(curl.begin(), curl.end(), [](double seconds) { return seconds < 0; })) {
        failed(name, u"curl did not fetch the same addresses"_s);
        return;
    }
    const double ratio = median(tool) / median(curl);
    report(name, u"%1 ms (median of %2)"_s.arg(median(tool) * 1000, 0, 'f', 2).arg(tool.size()),
           u"curl %1 ms"_s.arg(median(curl) * 1000, 0, 'f', 2),
           ratio, "<=", 2.0);
}

void resolve()
{
    ServerProcess server;
    resolveAgainstCurl("2 whole resolution", server, server.url("/yinyue/1/"),
                       {server.url("/yinyue/1/"),
                        server.url("/anti.s?type=convert%5Furl&response=url&rid=MUSIC%5F1&format=mp3%7Cmp3"),
                        server.url("/webmusic/st/getNewMuiseByRid?rid=MUSIC_1"), server.url("/sample-media/1.jpg")});
    // The service as it answers today, from the phone app's share text: no page to fetch,
    // and the link's size asked before it is shown.
    const QString origin = server.origin();
    resolveAgainstCurl("2b today's service", server, u"分享歌曲《晴天》 http://m.kuwo.cn/yinyue/1?f=arphone 来自酷我音乐"_s,
                       {musicPayUrl(origin, u"1"_s), linkConversionUrl(origin, u"1"_s), lyricUrl(origin, u"1"_s),
                        pictureServiceUrl(origin, u"1"_s), server.url("/sample-media/1.jpg")},
                       {server.url("/sample-media/1.mp3")});
}

void showAndSettle(QWidget &window);

// A pl.svc answer of `count` songs, as the service sends one page.
QByteArray playlistAnswer(int count)
{
    QByteArray songs;
    for (int i = 0; i < count; ++i) {
        songs += (i ? "," : "") + u"{\"id\":\"%1\",\"name\":\"第%2首歌的名字\",\"artist\":\"歌手%3&合唱\","
                                 "\"album\":\"专辑%4\",\"duration\":\"%5\",\"formats\":\"MP3H|MP3128\"}"_s
                                      .arg(40000000 + i)
                                      .arg(i)
                                      .arg(i % 97)
                                      .arg(i % 31)
                                      .arg(120 + i % 200)
                                      .toUtf8();
    }
    return R"({"result":"ok","title":"千首歌单","total":)" + QByteArray::number(count) + R"(,"musiclist":[)" + songs +
           "]}";
}

// Shown, and painted once through.
void showAndPaint(QWidget &window)
{
    showAndSettle(window);
    window.repaint();
}

void lists()
{
    // A 1,000-song playlist from its answer to a painted window, against a plain table of
    // the same rows over a QStandardItemModel.
    const QByteArray answer = playlistAnswer(1000);
    QList<double> shown, plain;
    for (int round = 0; round < scale().tableRounds + 1; ++round) {
        QElapsedTimer clock;
        clock.start();
        {
            SongList list{{SongListRequest::Kind::Playlist, u"1"_s}, {}, {}};
            const ListPage page = readPlaylistPage(answer);
            list.title = page.title;
            list.songs = page.songs;
            const SongBatch batch(ServiceConfig::onOrigin(u"127.0.0.1:1"_s), list.songs);
            ui::SongListWindow window(list, batch);
            showAndPaint(window);
            if (round > 0)
                shown << clock.nsecsElapsed() / 1e9;
        }
        clock.restart();
        {
            const ListPage page = readPlaylistPage(answer); // the rows, not timed
            clock.restart();
            QStandardItemModel model(int(page.songs.size()), 5);
            for (int row = 0; row < page.songs.size(); ++row) {
                const ListSong &song = page.songs.at(row);
                auto *name = new QStandardItem(song.name);
                name->setCheckable(true);
                name->setCheckState(Qt::Checked);
                model.setItem(row, 0, name);
                model.setItem(row, 1, new QStandardItem(song.artist));
                model.setItem(row, 2, new QStandardItem(song.album));
                model.setItem(row, 3, new QStandardItem(QString::number(song.duration)));
                model.setItem(row, 4, new QStandardItem());
            }
            QTableView view;
            view.setModel(&model);
            view.resize(744, 432);
            showAndPaint(view);
            if (round > 0)
                plain << clock.nsecsElapsed() / 1e9;
        }
    }
    report("7 1,000-song list shown", u"%1 ms (median of %2)"_s.arg(median(shown) * 1000, 0, 'f', 2).arg(shown.size()),
           u"QTableView over QStandardItemModel %1 ms"_s.arg(median(plain) * 1000, 0, 'f', 2),
           median(shown) / median(plain), "<=", 1.5);

    // A batch of songs saved against the loopback service, no lyric limit, against curl
    // fetching the same requests and files two at a time.
    ServerProcess server;
    const QString origin = server.origin();
    const int count = scale().batchSongs;
    QList<ListSong> songs;
    QStringList urls;
    for (int i = 0; i < count; ++i) {
        const QString id = QString::number(BenchService::kFirstListSong + i);
        songs << ListSong{id, u"列表歌曲%1"_s.arg(i), u"周杰伦"_s, {}, 0};
        urls << musicPayUrl(origin, id) << linkConversionUrl(origin, id) << lyricUrl(origin, id)
             << pictureServiceUrl(origin, id) << server.url(u"/sample-media/%1.jpg"_s.arg(id))
             << server.url(u"/sample-media/%1.mp3"_s.arg(id));
    }
    // In memory where the machine has it: each save is made durable (fsync), which on a
    // disk is the disk's time, not the tool's, and curl's reference writes nothing.
    const QString folderTemplate = QFileInfo(u"/dev/shm"_s).isWritable()
                                       ? u"/dev/shm/corvane-bench-XXXXXX"_s
                                       : QDir::temp().filePath(u"corvane-bench-XXXXXX"_s);
    QList<double> tool, reference;
    qint64 growth = 0;
    for (int round = 0; round < scale().batchRounds; ++round) {
        QTemporaryDir folder(folderTemplate);
        malloc_trim(0);
        const qint64 before = statusKiB("VmRSS:");
        LyricsGate unpaced; // the service's limit is not this benchmark's subject
        unpaced.setPace(std::chrono::milliseconds(0));
        ServiceConfig config = ServiceConfig::onOrigin(origin);
        config.lyricsGate = &unpaced;
        SongBatch batch(config, songs);
        QList<int> rows(count);
        std::iota(rows.begin(), rows.end(), 0);
        QElapsedTimer clock;
        clock.start();
        batch.download(rows, folder.path());
        while (batch.isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        tool << clock.nsecsElapsed() / 1e9;
        growth = qMax(growth, statusKiB("VmRSS:") - before);
        const SongBatch::Totals totals = batch.totals();
        if (totals.ended() != count || totals.failed != 0 ||
            QDir(folder.path()).entryList(QDir::Files).size() != 2 * count) {
            failed("8 list batch", u"%1 of %2 songs saved, %3 failed"_s.arg(totals.ended() - totals.failed)
                                        .arg(count)
                                        .arg(totals.failed));
            return;
        }
    }
    QStringList arguments{u"-s"_s, u"-Z"_s, u"--parallel-max"_s, u"2"_s};
    for (const QString &url : std::as_const(urls))
        arguments << u"-o"_s << u"/dev/null"_s << url;
    for (int round = 0; round < scale().batchRounds; ++round)
        reference << timeCommand(u"curl"_s, arguments);
    if (std::any_of(reference.begin(), reference.end(), [](double seconds) { return seconds < 0; })) {
        failed("8 list batch", u"curl did not fetch the same addresses"_s);
        return;
    }
    const double seconds = median(tool), curl = median(reference);
    report("8 list batch", u"%1 songs in %2 s (median of %3)"_s.arg(count).arg(seconds, 0, 'f', 3).arg(tool.size()),
           u"curl -Z (2 at a time) %1 s"_s.arg(curl, 0, 'f', 3), seconds / curl, "<=", 1.3);
    report("8b list batch memory", u"+%1 MiB resident"_s.arg(growth / 1024.0, 0, 'f', 1), u"32 MiB"_s,
           growth / 1024.0 / 32, "<=", 1.0);
}

void download()
{
    const qint64 bigBytes = qint64(scale().bigMiB) * 1024 * 1024;
    const QString bigPath = u"/big/%1.bin"_s.arg(scale().bigMiB);
    const QByteArray rateName =
        u"3a download %1 MiB (median of %2)"_s.arg(scale().bigMiB).arg(scale().downloadRounds).toUtf8();
    const QByteArray memoryName = u"3b download %1 MiB: peak RSS growth"_s.arg(scale().bigMiB).toUtf8();
    ServerProcess server;
    // In memory where the machine has it: both sides write 512 MiB a round, and the disk's
    // writeback of one round would land on whichever side runs next.
    const bool shm = QFileInfo(u"/dev/shm"_s).isWritable();
    QTemporaryDir dir(shm ? u"/dev/shm/corvane-bench-XXXXXX"_s
                          : QDir::tempPath() + u"/corvane-bench-XXXXXX"_s);
    const QString target = dir.filePath(u"big.bin"_s);
    // As in the program: the download starts from the shown main window.
    ScriptedDesktop desktop;
    desktop.setSaveChooser([&](const QString &) { return target; });
    ui::Form1 window(desktop);
    showAndSettle(window);
    auto *downloader = window.findChild<widgets::Downloader *>(u"WebBrowser1"_s);
    downloader->setSilent(true);

    const qint64 rssBefore = statusKiB("VmRSS:");
    QString why; // how the tool's last download ended
    auto toolOnce = [&] {
        QElapsedTimer clock;
        clock.start();
        bool ok = false;
        QEventLoop loop;
        QObject::connect(downloader, &widgets::Downloader::downloadEnded, &loop,
                         [&](const QString &, bool done, const QString &message) {
                             ok = done;
                             why = message;
                             loop.quit();
                         });
        downloader->Navigate(server.url(bigPath));
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top != &window)
                top->close();
        }
        if (ok && QFile(target).size() != bigBytes) {
            ok = false;
            why = u"%1 of %2 bytes saved"_s.arg(QFile(target).size()).arg(bigBytes);
        }
        QFile::remove(target);
        return ok ? seconds : -1.0;
    };
    auto curlOnce = [&] {
        const double seconds = timeCommand(u"curl"_s, {u"-s"_s, u"-o"_s, target, server.url(bigPath)});
        QFile::remove(target);
        return seconds;
    };
    // Alternating rounds, so that neither side always meets the other's page-cache
    // writeback.
    QList<double> tool, curl;
    for (int round = 0; round < scale().downloadRounds; ++round) {
        tool << toolOnce();
        curl << curlOnce();
        if (tool.last() < 0 || curl.last() < 0) {
            failed(rateName.constData(), tool.last() < 0 ? u"the download did not arrive whole: "_s + why
                                                         : u"curl did not download it"_s);
            failed(memoryName.constData(), u"no download"_s);
            return;
        }
    }
    const qint64 peakGrowth = statusKiB("VmHWM:") - rssBefore;
    const double toolRate = bigBytes / median(tool) / (1 << 20);
    const double curlRate = bigBytes / median(curl) / (1 << 20);
    report(rateName.constData(), u"%1 MiB/s"_s.arg(toolRate, 0, 'f', 0),
           u"curl -o %1 MiB/s"_s.arg(curlRate, 0, 'f', 0), toolRate / curlRate, ">=", 0.9);
    report(memoryName.constData(), u"%1 MiB"_s.arg(peakGrowth / 1024.0, 0, 'f', 1),
           u"bound 16 MiB"_s, peakGrowth / 1024.0 / 16, "<=", 1.0);
}

// A FLAC downloaded and tagged on its way to the disk (Vorbis comments, lyrics and a cover
// block), as a list or the save dialog's 无损 FLAC saves one, against curl saving it
// untouched; and the memory it takes, which must not grow with the file.
void flac()
{
    const qint64 bytes = qint64(scale().flacMiB) * 1024 * 1024;
    const QString path = u"/flac/%1.flac"_s.arg(scale().flacMiB);
    const QByteArray timeName =
        u"3c FLAC %1 MiB tagged (median of %2)"_s.arg(scale().flacMiB).arg(scale().flacRounds).toUtf8();
    const QByteArray memoryName = u"3d FLAC %1 MiB: peak RSS growth"_s.arg(scale().flacMiB).toUtf8();
    ServerProcess server;
    const bool shm = QFileInfo(u"/dev/shm"_s).isWritable();
    QTemporaryDir dir(shm ? u"/dev/shm/corvane-bench-XXXXXX"_s : QDir::tempPath() + u"/corvane-bench-XXXXXX"_s);
    const QString target = dir.filePath(u"song.flac"_s);
    QFile cover(u":/qt-project.org/styles/commonstyle/images/standardbutton-apply-128.png"_s);
    DownloadSong song;
    song.tags = {u"晴天"_s, u"周杰伦"_s, u"叶惠美"_s, u"故事的小黄花\n从出生那年就飘着"_s,
                 cover.open(QIODevice::ReadOnly) ? cover.readAll() : QByteArray()};
    song.timedLyrics = u"[00:01.00]故事的小黄花"_s;

    // The peak so far is the other benchmarks': counted from here.
    if (QFile clear(u"/proc/self/clear_refs"_s); clear.open(QIODevice::WriteOnly))
        clear.write("5");
    const qint64 rssBefore = statusKiB("VmRSS:");
    QString why;
    auto toolOnce = [&] {
        QElapsedTimer clock;
        clock.start();
        Download download(QUrl(server.url(path)), song);
        download.setFormat(AudioFormat::Flac);
        QEventLoop loop;
        QObject::connect(&download, &Download::answered, &loop, [&] { download.saveTo(target); });
        QObject::connect(&download, &Download::ended, &loop, [&](Download::State, const QString &message) {
            why = message;
            loop.quit();
        });
        download.start();
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        QFile saved(target);
        const bool ok = download.state() == Download::State::Saved && saved.size() > bytes &&
                        saved.open(QIODevice::ReadOnly) && saved.read(4) == "fLaC";
        if (!ok && why.isEmpty())
            why = u"%1 bytes saved, untagged"_s.arg(saved.size());
        saved.close();
        QFile::remove(target);
        QFile::remove(dir.filePath(u"song.lrc"_s));
        return ok ? seconds : -1.0;
    };
    auto curlOnce = [&] {
        const double seconds = timeCommand(u"curl"_s, {u"-s"_s, u"-o"_s, target, server.url(path)});
        QFile::remove(target);
        return seconds;
    };
    QList<double> tool, curl;
    for (int round = 0; round < scale().flacRounds; ++round) {
        tool << toolOnce();
        curl << curlOnce();
        if (tool.last() < 0 || curl.last() < 0) {
            failed(timeName.constData(), tool.last() < 0 ? u"the FLAC was not saved tagged: "_s + why
                                                         : u"curl did not download it"_s);
            failed(memoryName.constData(), u"no download"_s);
            return;
        }
    }
    const qint64 peakGrowth = statusKiB("VmHWM:") - rssBefore;
    report(timeName.constData(), u"%1 ms"_s.arg(median(tool) * 1000, 0, 'f', 0),
           u"curl -o %1 ms"_s.arg(median(curl) * 1000, 0, 'f', 0), median(tool) / median(curl), "<=", 1.2);
    report(memoryName.constData(), u"%1 MiB"_s.arg(peakGrowth / 1024.0, 0, 'f', 1), u"bound 16 MiB"_s,
           peakGrowth / 1024.0 / 16, "<=", 1.0);
}

// The instructions the child executes from start to exit, counted by callgrind: the
// same count for the same binary and inputs, whatever else the machine is doing.
qint64 childInstructions(const QStringList &arguments)
{
    QProcess process;
    process.start(u"valgrind"_s, QStringList{u"--tool=callgrind"_s, u"--callgrind-out-file=/dev/null"_s,
                                             QCoreApplication::applicationFilePath()} +
                                     arguments);
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    static const QRegularExpression collected(u"Collected : (\\d+)"_s);
    return collected.match(QString::fromLatin1(process.readAllStandardError())).captured(1).toLongLong();
}

// Starts the child `what` N times; the median of their wall times.
double medianChildTime(const QStringList &arguments, int runs)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i)
        times << timeCommand(QCoreApplication::applicationFilePath(), arguments);
    return median(times);
}

// The texts the main window draws, and how many widgets it has, for the reference that
// draws the same texts in as many plain widgets (one text per line, the count first).
QByteArray windowTexts()
{
    desktop::SystemDesktop desktop;
    ui::Form1 form(desktop);
    const QList<QWidget *> widgets = form.findChildren<QWidget *>();
    QStringList texts{form.windowTitle()};
    for (QWidget *widget : widgets) {
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty())
            texts << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget); button && !button->text().isEmpty())
            texts << button->text();
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            texts << box->title();
    }
    return (QByteArray::number(widgets.size()) + '\n' + texts.join(u'\n').toUtf8());
}

// Two references: the smallest Qt Widgets program that shows a line of Chinese, and a
// window that draws the main window's texts in as many plain labels as it has widgets.
// A window that draws no text never starts the font system, and one with Latin text
// alone never loads a CJK font, so the first leaves the cost of the Chinese texts
// themselves to the tool; the second pays it too, so the gap to it is what the tool adds.
// The textless window is printed alongside.
void startup()
{
    ServerProcess server;
    QTemporaryDir dir;
    const QString textsFile = dir.filePath(u"texts"_s);
    {
        QFile file(textsFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(windowTexts()) < 0) {
            for (const char *name : {"4 start to interactive", "4a start-up work vs minimal window",
                                     "4b start-up work vs same texts"})
                failed(name, u"cannot write "_s + textsFile);
            return;
        }
    }
    const QList<QStringList> children{{u"startup-child"_s, server.origin()},
                                      {u"minimal-child"_s},
                                      {u"plain-child"_s, textsFile},
                                      {u"minimal-child"_s, u"bare"_s}};
    // Warm the file cache for all of them.
    for (const QStringList &child : children)
        medianChildTime(child, 2);
    // Interleaved, so that the machine's drift touches all alike.
    QList<QList<double>> times(children.size());
    for (int i = 0; i < scale().startupRounds; ++i) {
        for (qsizetype c = 0; c < children.size(); ++c)
            times[c] << medianChildTime(children.at(c), 1);
    }
    const double tool = median(times.at(0));
    const double minimal = median(times.at(1));
    const double plain = median(times.at(2));
    const double bare = median(times.at(3));
    const bool allRan = std::none_of(times.begin(), times.end(), [](const QList<double> &child) {
        return std::any_of(child.begin(), child.end(), [](double seconds) { return seconds < 0; });
    });
    if (allRan) {
        inform("4 start to interactive", u"%1 ms (median of %2)"_s.arg(tool * 1000, 0, 'f', 1).arg(times.at(0).size()),
               u"minimal window with Chinese text %1 ms (without text %2 ms), the window's texts in as many plain "
               u"labels %3 ms"_s.arg(minimal * 1000, 0, 'f', 1)
                   .arg(bare * 1000, 0, 'f', 1)
                   .arg(plain * 1000, 0, 'f', 1));
    } else {
        failed("4 start to interactive", u"a child did not start and exit cleanly"_s);
    }

    // Wall time moves by more than the gaps in question from one batch to the next on a
    // shared machine; the work done does not.
    const qint64 toolWork = childInstructions(children.at(0));
    const qint64 minimalWork = childInstructions(children.at(1));
    const qint64 plainWork = childInstructions(children.at(2));
    if (toolWork <= 0 || minimalWork <= 0 || plainWork <= 0) {
        failed("4a start-up work vs minimal window", u"callgrind gave no count"_s);
        failed("4b start-up work vs same texts", u"callgrind gave no count"_s);
        return;
    }
    auto millions = [](qint64 n) { return u"%1 M instructions"_s.arg(n / 1e6, 0, 'f', 1); };
    report("4a start-up work vs minimal window", millions(toolWork),
           u"minimal window with Chinese text "_s + millions(minimalWork), double(toolWork) / minimalWork, "<=",
           1.5);
    g_lines.last().countsWork = true;
    report("4b start-up work vs same texts", millions(toolWork),
           u"the window's texts in as many plain labels "_s + millions(plainWork), double(toolWork) / plainWork,
           "<=", 1.25);
    g_lines.last().countsWork = true;
}

// A song page of about `targetBytes` bytes in UTF-8, its bulk in the lyrics.
QString hugePage(qsizetype targetBytes)
{
    const QString line = u"一行歌词 lyric line<br>"_s + QString(27, u' ');
    const qsizetype lines = targetBytes / line.toUtf8().size();
    return u"<html><head><title>晴天_周杰伦_酷我音乐</title></head><body><p>【周杰伦】</p><div><a>复制歌词</a>"_s +
           line.repeated(lines) + u"</div></body></html>"_s;
}

// The median of five cuts of `page` (singer, name and lyrics), in seconds; -1 when a cut
// came out empty.
double cutSeconds(const QString &page)
{
    QList<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QString singer = singerFromPage(page);
        const QString name = songNameFromPage(page);
        const QString lyrics = lyricsFromPage(page);
        times << clock.nsecsElapsed() / 1e9;
        if (singer.isEmpty() || name.isEmpty() || lyrics.isEmpty())
            return -1;
    }
    return median(times);
}

// The cost's growth with the page size: the slope of log(time) over log(size), fitted
// by least squares. 1 is linear.
double growthExponent(const QList<std::pair<double, double>> &sizeAndTime)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &[size, time] : sizeAndTime) {
        const double x = std::log(size), y = std::log(time);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double n = sizeAndTime.size();
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

void cutting()
{
    // glibc serves a freed block under its dynamic mmap threshold (at most 32 MiB) again
    // from the warm heap, but maps every larger one anew, so small pages would reuse
    // faulted-in memory while large ones pay the kernel's page zeroing each time. A
    // fixed threshold gives every size fresh pages, so the fit measures the cutting.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    QList<std::pair<double, double>> points;
    double largestBytes = 0, largestSeconds = 0;
    QStringList times;
    // Up to the fetch's size bound: no larger page reaches the cutting.
    for (const int mib : scale().cuttingMiB) {
        const QString page = hugePage(qsizetype(mib) * 1024 * 1024);
        const double seconds = cutSeconds(page);
        if (seconds < 0) {
            failed("5a cutting: growth exponent", u"a cut of the %1 MiB page came out empty"_s.arg(mib));
            failed("5b cutting throughput", u"no cut"_s);
            return;
        }
        largestBytes = page.toUtf8().size();
        largestSeconds = seconds;
        points.append({largestBytes, seconds});
        times << u"%1 MiB %2 ms"_s.arg(mib).arg(seconds * 1000, 0, 'f', 1);
    }
    const double exponent = growthExponent(points);
    report("5a cutting: growth exponent", u"%1"_s.arg(exponent, 0, 'f', 3),
           u"medians of 5: %1; linear is 1"_s.arg(times.join(u", "_s)), exponent, "<=", 1.15);
    const double rate = largestBytes / largestSeconds / 1e6;
    const QByteArray rateName = u"5b cutting throughput at %1 MiB"_s.arg(scale().cuttingMiB.last()).toUtf8();
    report(rateName.constData(), u"%1 MB/s"_s.arg(rate, 0, 'f', 0), u"target 300 MB/s"_s,
           rate / 300, ">=", 1.0);
}

void idleMemory()
{
    auto rssOf = [](const QStringList &child) {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), child);
        process.waitForFinished(60000);
        return process.readAllStandardOutput().trimmed().toLongLong();
    };
    QList<double> tool, minimal, bare;
    for (int i = 0; i < scale().idleRuns; ++i) {
        tool << rssOf({u"idle-child"_s});
        minimal << rssOf({u"minimal-mm-child"_s});
        bare << rssOf({u"minimal-mm-child"_s, u"bare"_s});
    }
    const auto none = [](const QList<double> &values) {
        return std::any_of(values.begin(), values.end(), [](double kib) { return kib <= 0; });
    };
    if (none(tool) || none(minimal) || none(bare)) {
        failed("6 idle window resident memory", u"a child reported no memory"_s);
        return;
    }
    report("6 idle window resident memory", u"%1 MiB"_s.arg(median(tool) / 1024, 0, 'f', 1),
           u"minimal Qt Multimedia window with Chinese text %1 MiB (without text %2 MiB)"_s
               .arg(median(minimal) / 1024, 0, 'f', 1)
               .arg(median(bare) / 1024, 0, 'f', 1),
           median(tool) / median(minimal), "<=", 1.3);
}

// Shows `window` and returns once it is exposed.
void showAndSettle(QWidget &window)
{
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

int child(const QString &what, const QStringList &args)
{
    if (what == u"serve"_s) {
        HttpTestServer server;
        if (!server.listen())
            return 1;
        const BenchService service(server.origin());
        server.setHandler([&service](const HttpRequest &request) { return service.answer(request); });
        std::printf("%s\n", qPrintable(server.origin()));
        std::fflush(stdout);
        return QCoreApplication::exec();
    }
    if (what == u"startup-child"_s) {
        desktop::SystemDesktop desktop; // as the program starts
        const auto window = app::makeWindow(ServiceConfig::onOrigin(args.value(2)), desktop);
        ui::Form1 &form = *window;
        if (awaited(app::Form_Load(app::commandsOf(form), QCoreApplication::applicationDirPath())) !=
            app::LoadResult::Open)
            return 1;
        showAndSettle(form);
        return form.isAddressEnabled() ? 0 : 1;
    }
    const bool withText = args.value(2) != u"bare"_s;
    if (what == u"plain-child"_s) {
        QFile file(args.value(2));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QList<QByteArray> lines = file.readAll().split('\n');
        QWidget window;
        window.resize(513, 482);
        window.setWindowTitle(QString::fromUtf8(lines.value(1)));
        const int count = lines.value(0).toInt();
        for (int i = 0; i < count; ++i) {
            auto *label = new QLabel(QString::fromUtf8(lines.value(i + 2)), &window);
            label->move(8 + i % 4 * 120, 8 + i / 4 * 20);
        }
        showAndSettle(window);
        return 0;
    }
    if (what == u"minimal-child"_s) {
        QWidget window;
        window.resize(513, 482);
        if (withText)
            (new QLabel(u"你好"_s, &window))->move(16, 16);
        showAndSettle(window);
        return 0;
    }
    if (what == u"idle-child"_s || what == u"minimal-mm-child"_s) {
        std::unique_ptr<QWidget> window;
        desktop::SystemDesktop desktop;
        if (what == u"idle-child"_s) {
            window = app::makeWindow(ServiceConfig::fromBuild(), desktop);
        } else {
            window = std::make_unique<QWidget>();
            window->resize(513, 482);
            if (withText)
                (new QLabel(u"你好"_s, window.get()))->move(16, 16);
            // Links Qt Multimedia, as the tool does, without starting it.
            window->setProperty("engine", QString::fromLatin1(QMediaPlayer::staticMetaObject.className()));
        }
        showAndSettle(*window);
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        std::printf("%lld\n", statusKiB("VmRSS:"));
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QStringList args = QCoreApplication::arguments();
    const bool check = args.removeAll(u"--check"_s) > 0;
    const QString what = args.value(1);
    if (!what.isEmpty() && !check) {
        const int code = child(what, args);
        if (code >= 0)
            return code;
    }

    struct Benchmark
    {
        QString name;
        std::function<void()> run;
        int lines; // what it prints, each with a figure when it succeeds
    };
    const QList<Benchmark> benchmarks{
        {u"wait-cpu"_s, waitCpu, 1}, {u"resolve"_s, resolve, 2}, {u"download"_s, download, 2},
        {u"startup"_s, startup, 3},  {u"cutting"_s, cutting, 2}, {u"idle-memory"_s, idleMemory, 1},
        {u"lists"_s, lists, 3},      {u"flac"_s, flac, 2},
    };
    const bool known = what.isEmpty() || std::any_of(benchmarks.begin(), benchmarks.end(), [&](const Benchmark &b) {
                           return b.name == what;
                       });
    if (!known) {
        std::fprintf(stderr,
                     "usage: corvane-bench [--check] [wait-cpu|resolve|download|startup|cutting|idle-memory|lists|flac]\n");
        return 2;
    }
    if (check)
        g_scale = &kCheckScale;
    // A check judges no target, so the machine's load does not matter to it.
    const double startLoad = check ? 0 : settledLoad(std::chrono::seconds(120));
    std::printf("load average at start: %s\n", loadAverages().constData());
    std::fflush(stdout);
    QStringList missing;
    for (const Benchmark &benchmark : benchmarks) {
        if (!what.isEmpty() && what != benchmark.name)
            continue;
        const qsizetype before = g_lines.size();
        try {
            benchmark.run();
        } catch (const std::exception &error) {
            std::fprintf(stderr, "bench: %s threw: %s\n", qPrintable(benchmark.name), error.what());
        }
        if (const qsizetype printed = g_lines.size() - before; printed != benchmark.lines)
            missing << u"%1 gave %2 of its %3 lines"_s.arg(benchmark.name).arg(printed).arg(benchmark.lines);
    }
    const double endLoad = check ? 0 : settledLoad(std::chrono::seconds(90));
    std::printf("load average at end (once the benchmarks' own load has decayed): %s\n",
                loadAverages().constData());
    const bool busy = startLoad > kBusyLoad || endLoad > kBusyLoad;
    for (const Line &line : g_lines)
        std::printf("%s %s\n", line.text.constData(),
                    line.failed                    ? "FAILED"
                    : check                        ? "(a figure: --check judges no target)"
                    : line.informational           ? "(information)"
                    : busy && !line.countsWork     ? "UNRELIABLE (machine busy)"
                    : line.met                     ? "MET"
                                                   : "MISSED");
    for (const QString &gap : std::as_const(missing))
        std::printf("MISSING: %s\n", qPrintable(gap));
    const bool anyFailed = std::any_of(g_lines.begin(), g_lines.end(), [](const Line &line) { return line.failed; });
    return anyFailed || !missing.isEmpty() ? 1 : 0;
}
