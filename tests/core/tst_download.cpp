// The download service used as a song list will use it: no widget anywhere.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/download.h"
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

private:
    QString target() const { return m_dir->filePath(u"song.mp3"_s); }
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files); }

    HttpTestServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDownload::initTestCase()
{
    const QByteArray song = tone();
    QVERIFY(!song.isEmpty());
    m_server.setHandler([song](const HttpRequest &request) {
        HttpResponse response = HttpResponse::text(song, "audio/mpeg");
        if (request.path() == "/stall.mp3")
            response.stall = true;
        if (request.path() == "/endless.mp3")
            response.repeat = 1 << 20; // far more than the test lets through
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
    // The transfer stops at the wire too (a download has no time bound of its own).
    QVERIFY(!closed.isEmpty() || closed.wait(5000));
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
