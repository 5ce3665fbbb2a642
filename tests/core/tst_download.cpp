// The download service used as a song list will use it: no widget anywhere.

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/download.h"
#include "core/songtags.h"
#include "httptestserver.h"
#include "tagreader.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

const DownloadSong kSong{{u"晴天"_s, u"周杰伦"_s, u"叶惠美"_s, u"故事的小黄花"_s, {}}, u"[00:01.00]故事的小黄花"_s};

} // namespace

class TestDownload final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savesTaggedWithItsLyrics();
    void stopLeavesNothing_data();
    void stopLeavesNothing();
    void onlyAudioIsKept_data();
    void onlyAudioIsKept();
    void silenceFails();
    void fullDiskLeavesNothing_data();
    void fullDiskLeavesNothing();
    void shortOfRoomFailsTheSong_data();
    void shortOfRoomFailsTheSong();
    void failsFast_data();
    void failsFast();

private:
    QString target() const { return m_dir->filePath(u"song.mp3"_s); }
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files); }

    // Saves the answer to /answer in `folder` (the test's own by default), waits for its end.
    // Under load (the Windows suite beside a build) a short bound would end a good
    // answer as stalled: only the test of a stall sets one.
    QList<QVariant> saveAnswer(const QString &folder = {},
                               std::chrono::milliseconds stallBound = std::chrono::seconds(5));

    HttpTestServer m_server;
    HttpResponse m_answer; // what /answer gets
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDownload::initTestCase()
{
    const QByteArray song = tone();
    QVERIFY(!song.isEmpty());
    m_server.setHandler([this, song](const HttpRequest &request) {
        if (request.path() == "/answer")
            return m_answer;
        HttpResponse response = HttpResponse::text(song, "audio/mpeg");
        if (request.path() == "/stall.mp3")
            response.stall = true;
        if (request.path() == "/endless.mp3") {
            response.repeat = 1 << 20; // far more than the test lets through
            response.sendContentLength = false; // its length would not fit on the disk
        }
        return response;
    });
    QVERIFY(m_server.listen());
}

void TestDownload::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server.clearRequests();
}

void TestDownload::savesTaggedWithItsLyrics()
{
    Download download(QUrl(QString::fromLatin1(m_server.url("/song.mp3"))), kSong);
    QSignalSpy ended(&download, &Download::ended);
    connect(&download, &Download::answered, this, [&] { download.saveTo(target()); });
    download.start();
    QVERIFY(ended.wait(10000));
    QCOMPARE(ended.first().first().value<Download::State>(), Download::State::Saved);
    QCOMPARE(files(), QStringList({u"song.lrc"_s, u"song.mp3"_s}));
    const ReadTag tag = readTag(target());
    QCOMPARE(tag.text.value(u"TIT2"_s), u"晴天"_s);
    QCOMPARE(tag.text.value(u"TALB"_s), u"叶惠美"_s);
}

void TestDownload::stopLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("choose");  // a target is chosen once the server answers
    QTest::addColumn<bool>("destroy"); // the program ends instead of a stop
    QTest::addColumn<bool>("tagged");
    QTest::newRow("at 0 %, connecting") << QByteArray("/stall.mp3") << false << false << true;
    QTest::newRow("its target awaited") << QByteArray("/endless.mp3") << false << false << true;
    QTest::newRow("mid-body") << QByteArray("/endless.mp3") << true << false << false;
    QTest::newRow("mid-body, to be tagged") << QByteArray("/endless.mp3") << true << false << true;
    QTest::newRow("program ends, to be tagged") << QByteArray("/endless.mp3") << true << true << true;
}

void TestDownload::stopLeavesNothing()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, choose);
    QFETCH(bool, destroy);
    QFETCH(bool, tagged);
    auto download = std::make_unique<Download>(QUrl(QString::fromLatin1(m_server.url(path))),
                                               tagged ? kSong : DownloadSong{});
    QSignalSpy answered(download.get(), &Download::answered);
    QSignalSpy progress(download.get(), &Download::progress);
    QSignalSpy ended(download.get(), &Download::ended);
    QSignalSpy closed(&m_server, &HttpTestServer::closedBeforeAnswer);
    download->start();
    if (path == "/stall.mp3") {
        QTRY_COMPARE(m_server.requests().size(), 1);
    } else {
        QVERIFY(answered.wait(10000));
    }
    if (choose) {
        download->saveTo(target());
        QTRY_VERIFY(!progress.isEmpty() && progress.last().first().toLongLong() > 1024 * 1024);
    }
    if (destroy) {
        download.reset();
    } else {
        download->stop();
        QVERIFY(ended.wait(1000));
        QCOMPARE(ended.first().first().value<Download::State>(), Download::State::Stopped);
    }
    QVERIFY(files().isEmpty());
    // The transfer stops at the wire too, long before the stall bound.
    QVERIFY(!closed.isEmpty() || closed.wait(5000));
}

QList<QVariant> TestDownload::saveAnswer(const QString &folder, std::chrono::milliseconds stallBound)
{
    Download download(QUrl(QString::fromLatin1(m_server.url("/answer"))), kSong);
    download.setStallBound(stallBound);
    const QString path = (folder.isEmpty() ? m_dir->path() : folder) + u"/song.mp3"_s;
    QSignalSpy ended(&download, &Download::ended);
    connect(&download, &Download::answered, this, [&] { download.saveTo(path); });
    download.start();
    return ended.wait(10000) ? ended.first() : QList<QVariant>();
}

void TestDownload::onlyAudioIsKept_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("kept");
    const QByteArray mp3 = tone();
    QByteArray tagged;
    {
        QBuffer in, out(&tagged);
        in.setData(mp3);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        copyWithTags(in, out, {u"另一首"_s, {}, {}, {}, {}});
    }
    QTest::newRow("HTML page") << QByteArray("text/html; charset=utf-8") << mp3 << false;
    QTest::newRow("JSON error") << QByteArray("application/json") << mp3 << false;
    QTest::newRow("a page typed as audio") << QByteArray("audio/mpeg") << QByteArray("<html>login</html>") << false;
    QTest::newRow("empty") << QByteArray("audio/mpeg") << QByteArray() << false;
    QTest::newRow("a few bytes") << QByteArray("audio/mpeg") << QByteArray("ID") << false;
    QTest::newRow("frame sync, untyped") << QByteArray("application/octet-stream") << mp3 << true;
    QTest::newRow("its own ID3 tag") << QByteArray("audio/mpeg") << tagged << true;
}

void TestDownload::onlyAudioIsKept()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QFETCH(bool, kept);
    m_answer = HttpResponse::text(body, type);
    const QList<QVariant> end = saveAnswer();
    QVERIFY(!end.isEmpty());
    if (!kept) {
        QCOMPARE(end.at(1).toString(), kNotAudioMessage);
        QVERIFY(files().isEmpty());
        return;
    }
    QCOMPARE(end.first().value<Download::State>(), Download::State::Saved);
    QCOMPARE(files(), QStringList({u"song.lrc"_s, u"song.mp3"_s}));
    const ReadTag tag = readTag(target());
    QCOMPARE(tag.text.value(u"TPE1"_s), u"周杰伦"_s);
    // Its own frames stay, and the audio follows the tag byte for byte.
    QCOMPARE(tag.text.value(u"TIT2"_s), body == tone() ? u"晴天"_s : u"另一首"_s);
    QFile saved(target());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().endsWith(tone()));
}

void TestDownload::silenceFails()
{
    // One byte of the song, then nothing: the download ends at its stall bound.
    m_answer = HttpResponse::text(tone(), "audio/mpeg");
    m_answer.stallAfter = 1;
    const QList<QVariant> end = saveAnswer({}, std::chrono::milliseconds(300));
    QVERIFY(!end.isEmpty());
    QCOMPARE(end.first().value<Download::State>(), Download::State::Failed);
    QCOMPARE(end.at(1).toString(), u"下载失败：连接超时"_s);
    QVERIFY(files().isEmpty());
}

void TestDownload::fullDiskLeavesNothing_data()
{
    QTest::addColumn<bool>("length");
    QTest::newRow("its length told: refused before the transfer") << true;
    QTest::newRow("no length: the disk fills") << false;
}

void TestDownload::fullDiskLeavesNothing()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a small file system of its own (a Linux tmpfs)");
#else
    QFETCH(bool, length);
    const QString small = m_dir->filePath(u"small"_s);
    QVERIFY(QDir().mkpath(small));
    if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, small}) != 0)
        QSKIP("cannot mount a 1 MiB tmpfs here (not root, or no mount permission)");
    const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {small}); });
    m_answer = HttpResponse::text(tone(), "audio/mpeg");
    m_answer.repeat = 2 * 1024 * 1024 / tone().size();
    m_answer.sendContentLength = length;
    const QList<QVariant> end = saveAnswer(small);
    QVERIFY(!end.isEmpty());
    QCOMPARE(end.first().value<Download::State>(), Download::State::Failed);
    QVERIFY2(end.at(1).toString().endsWith(u"磁盘空间不足"_s), qPrintable(end.at(1).toString()));
    QVERIFY(QDir(small).entryList(QDir::Files | QDir::Hidden).isEmpty());
#endif
}

void TestDownload::shortOfRoomFailsTheSong_data()
{
    QTest::addColumn<QString>("shortOf"); // where the room ends
    QTest::newRow("the last small write, after a pause") << u"pause"_s;
    QTest::newRow("its length told, the tag's last bytes") << u"tag"_s;
    QTest::newRow("its lyrics file") << u"lrc"_s;
}

void TestDownload::shortOfRoomFailsTheSong()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a small file system of its own (a Linux tmpfs)");
#else
    QFETCH(QString, shortOf);
    constexpr qint64 kPage = 4096;
    const auto pages = [](qint64 bytes) { return (bytes + kPage - 1) / kPage * kPage; };
    // A body that leaves 50 bytes of its last page free: its tag does not fit there.
    QByteArray body = tone();
    body += QByteArray(600000 - 600000 % kPage + kPage - 50 - body.size(), '\0');
    m_answer = HttpResponse::text(body, "audio/mpeg");
    m_answer.sendContentLength = shortOf == u"tag"_s;
    m_answer.pauseAfter = body.size() - 10000;
    m_answer.pause = std::chrono::milliseconds(300);
    // Its size whole, tagged, where there is room.
    QList<QVariant> end = saveAnswer();
    QCOMPARE(end.value(0).value<Download::State>(), Download::State::Saved);
    const qint64 whole = QFileInfo(target()).size();
    QVERIFY(whole > pages(body.size()));

    const QString small = m_dir->filePath(u"small"_s);
    QVERIFY(QDir().mkpath(small));
    if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, small}) != 0)
        QSKIP("cannot mount a 1 MiB tmpfs here (not root, or no mount permission)");
    const auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {small}); });
    const qint64 room = shortOf == u"pause"_s ? pages(body.size() - 10000) + kPage
                        : shortOf == u"tag"_s ? pages(body.size())
                                              : pages(whole);
    QFile filler(small + u"/filler"_s);
    QVERIFY(filler.open(QIODevice::WriteOnly));
    QVERIFY(filler.write(QByteArray(1024 * 1024 - room, 'f')) == 1024 * 1024 - room);
    filler.close();

    end = saveAnswer(small);
    QCOMPARE(end.value(0).value<Download::State>(), Download::State::Failed);
    QVERIFY2(end.at(1).toString().endsWith(u"磁盘空间不足"_s), qPrintable(end.at(1).toString()));
    QCOMPARE(QDir(small).entryList(QDir::Files | QDir::Hidden), QStringList{u"filler"_s});

    // With room again, the same song is saved whole.
    QVERIFY(filler.remove());
    end = saveAnswer(small);
    QCOMPARE(end.value(0).value<Download::State>(), Download::State::Saved);
    QCOMPARE(QFileInfo(small + u"/song.mp3"_s).size(), whole);
    QVERIFY(QFileInfo(small + u"/song.lrc"_s).size() > 0);
#endif
}

void TestDownload::failsFast_data()
{
    QTest::addColumn<HttpResponse>("answer");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("message");
    HttpResponse trickle = HttpResponse::text(tone(), "audio/mpeg");
    trickle.trickle = std::chrono::milliseconds(100);
    QTest::newRow("a trickle under the speed floor")
        << trickle << int(Download::Failure::Slow) << u"下载失败：速度太慢"_s;
    QTest::newRow("a redirect loop") << HttpResponse::redirect("/answer") << int(Download::Failure::Network)
                                     << u"下载失败：重定向过多"_s;
    QTest::newRow("a redirect to a file") << HttpResponse::redirect("file:///etc/passwd")
                                          << int(Download::Failure::Refused) << kRefusedMessage;
}

// Each within its own bound, not the stall bound.
void TestDownload::failsFast()
{
    QFETCH(HttpResponse, answer);
    QFETCH(int, failure);
    QFETCH(QString, message);
    m_answer = answer;
    Download download(QUrl(QString::fromLatin1(m_server.url("/answer"))), kSong);
    download.setSpeedFloor(1024, std::chrono::milliseconds(500));
    QSignalSpy ended(&download, &Download::ended);
    connect(&download, &Download::answered, this, [&] { download.saveTo(target()); });
    QElapsedTimer clock;
    clock.start();
    download.start();
    QVERIFY(ended.wait(10000));
    QVERIFY2(clock.elapsed() < 5000, "ended at the stall bound");
    QCOMPARE(ended.first().first().value<Download::State>(), Download::State::Failed);
    QCOMPARE(int(download.failure()), failure);
    QCOMPARE(ended.first().at(1).toString(), message);
    QVERIFY(files().isEmpty());
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
