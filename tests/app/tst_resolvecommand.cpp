#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/commands.h"
#include "common.h"
#include "desktop/desktop.h"
#include "form1controls.h"
#include "scripteddesktop.h"
#include "tagreader.h"
#include "ui/form1.h"
#include "widgets/downloader.h"
#include "widgets/mediaplayer.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using corvane::testing::ScriptedDesktop;

namespace {
const QString kBusy = u"正在获取音乐信息.."_s;
const QString kDone = u"音乐获取成功.."_s;
const QString kFailed = u"获取出错,请您检查地址是否正确!"_s;
const QString kEnter = u"请输入酷我音乐地址.."_s;
} // namespace

class TestResolveCommand final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wholeResolution();
    void failuresLeaveWhatWasReached_data();
    void failuresLeaveWhatWasReached();
    void emptyAddress();
    void blankAddressIsAttempted();
    void editDuringResolutionWaitsForTheNext_data();
    void editDuringResolutionWaitsForTheNext();
    void enterResolves_data();
    void enterResolves();
    void linkKeepsItsSongName();
    void longNameIsShortened();
    void newResolutionAfterFailure();
    void windowWorksWhileThePictureLoads();
    void whatTheDownloadCarries_data();
    void whatTheDownloadCarries();

private:
    QString songAddress(const QByteArray &id) const
    {
        return u"http://"_s + m_server.origin() + u"/yinyue/"_s + QString::fromLatin1(id) + u"/"_s;
    }
    void resolve(const QString &address);
    void waitForTheEnd();
    Form1Controls ui() const { return Form1Controls(*m_form); }
    QColor pictureColour() const
    {
        return ui().Image1->pixmap().toImage().pixelColor(ui().Image1->pixmap().width() / 2, 2);
    }

    HttpTestServer m_server;
    ScriptedDesktop m_desktop;
    MusicService m_service;
    QStringList m_statusAtRequest;
    QList<bool> m_buttonAtRequest;
    std::function<void(const HttpRequest &)> m_onRequest;
    std::unique_ptr<ui::Form1> m_form;
};

void TestResolveCommand::initTestCase()
{
    QVERIFY(m_server.listen());
    m_service.setHosts(ServiceConfig::onOrigin(m_server.origin()));
    m_server.setHandler([this](const HttpRequest &request) {
        if (m_form) {
            m_statusAtRequest << m_form->statusText();
            m_buttonAtRequest << ui().Command1->isEnabled();
        }
        if (m_onRequest)
            m_onRequest(request);
        return m_service.answer(request);
    });
}

void TestResolveCommand::init()
{
    m_desktop.reset();
    m_server.clearRequests();
    m_statusAtRequest.clear();
    m_buttonAtRequest.clear();
    m_onRequest = nullptr;
    m_service.setSongs({sunnyDay("1001"), otherSong("1002")});
    m_service.clearFaults();

    ServiceConfig config = ServiceConfig::onOrigin(m_server.origin());
    config.fetch.timeout = std::chrono::milliseconds(3000);
    m_form = app::makeWindow(config, m_desktop);
    ui().Text1->setEnabled(true);
    ui().Command1->setEnabled(true);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

// The window goes while the event loop and Qt Test's watchdog are still there, not with
// the test object after the report, where nothing would name a wait in its teardown.
void TestResolveCommand::cleanup()
{
    m_form.reset();
    m_onRequest = nullptr;
}

void TestResolveCommand::resolve(const QString &address)
{
    ui().Text1->setText(address);
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    waitForTheEnd();
}

void TestResolveCommand::waitForTheEnd()
{
    QVERIFY(resolutionEnded(ui().Command1));
}

void TestResolveCommand::wholeResolution()
{
    resolve(songAddress("1001"));

    // Busy through every fetch, the button disabled throughout.
    QCOMPARE(m_statusAtRequest, QStringList(4, kBusy));
    QCOMPARE(m_buttonAtRequest, QList<bool>(4, false));
    QCOMPARE(m_form->statusText(), kDone);
    QVERIFY(m_desktop.boxes.isEmpty());
    QVERIFY(ui().Command1->isEnabled());
    QCOMPARE(ui().Label1->text(), u"音乐名称：晴天"_s);
    QCOMPARE(ui().Label2->text(), u"歌手名称：周杰伦"_s);
    QCOMPARE(ui().Text2->text(), u"http://"_s + m_server.origin() + u"/sample-media/1001.mp3"_s);
    QCOMPARE(ui().Text3->toPlainText(), u"故事的小黄花\n从出生那年就飘着"_s);
    QCOMPARE(pictureColour(), QColor(Qt::red));
}

void TestResolveCommand::failuresLeaveWhatWasReached_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("label1");
    QTest::addColumn<bool>("newLink");
    QTest::addColumn<bool>("newLyrics");
    QTest::newRow("no 复制歌词</a>: names and link new")
        << u"no-lyrics"_s << u"音乐名称：七里香"_s << true << false;
    QTest::newRow("IPDeny: names new") << u"ipdeny"_s << u"音乐名称：七里香"_s << false << false;
    QTest::newRow("not a song page: nothing new") << u"missing"_s << u"音乐名称：晴天"_s << false << false;
}

void TestResolveCommand::failuresLeaveWhatWasReached()
{
    QFETCH(QString, change);
    QFETCH(QString, label1);
    QFETCH(bool, newLink);
    QFETCH(bool, newLyrics);

    resolve(songAddress("1001"));
    QCOMPARE(m_form->statusText(), kDone);
    const QString firstLink = ui().Text2->text();
    const QString firstLyrics = ui().Text3->toPlainText();

    QByteArray id = "1002";
    if (change == u"no-lyrics"_s)
        m_service.song("1002")->hasLyrics = false;
    else if (change == u"ipdeny"_s)
        m_service.song("1002")->linkDenied = true;
    else
        id = "9999";
    m_desktop.reset();
    resolve(songAddress(id));

    QCOMPARE(m_form->statusText(), kFailed);
    QCOMPARE(m_desktop.boxes.size(), 1);
    QCOMPARE(m_desktop.boxes.first().text, kFailed);
    QCOMPARE(m_desktop.boxes.first().style, MessageStyle::Information);
    QVERIFY(ui().Command1->isEnabled());
    QCOMPARE(ui().Label1->text(), label1);
    QCOMPARE(ui().Text2->text() != firstLink, newLink);
    QCOMPARE(ui().Text3->toPlainText() != firstLyrics, newLyrics);
    QCOMPARE(pictureColour(), QColor(Qt::red)); // the previous song's picture stays
}

void TestResolveCommand::emptyAddress()
{
    resolve(QString());
    QCOMPARE(m_form->statusText(), kEnter);
    QCOMPARE(m_desktop.boxes.size(), 1);
    QCOMPARE(m_desktop.boxes.first().text, kEnter);
    QCOMPARE(m_desktop.boxes.first().style, MessageStyle::Information);
    QVERIFY(ui().Command1->isEnabled());
    QVERIFY(m_server.requests().isEmpty());
}

void TestResolveCommand::blankAddressIsAttempted()
{
    resolve(u"   "_s);
    QCOMPARE(m_form->statusText(), kFailed);
    QCOMPARE(m_desktop.boxes.size(), 1);
    QCOMPARE(m_desktop.boxes.first().text, kFailed);
    QVERIFY(ui().Command1->isEnabled());
}

void TestResolveCommand::editDuringResolutionWaitsForTheNext_data()
{
    QTest::addColumn<QByteArray>("editAt");
    QTest::newRow("during the page fetch") << QByteArray("/yinyue/1001/");
    QTest::newRow("during the link request") << QByteArray("/anti.s");
    QTest::newRow("during the metadata request") << QByteArray("/webmusic/st/getNewMuiseByRid");
}

void TestResolveCommand::editDuringResolutionWaitsForTheNext()
{
    QFETCH(QByteArray, editAt);
    // A second paste while the first song resolves: Text1 stays editable, and the result
    // is still one song, the one the button was pressed for.
    m_onRequest = [&](const HttpRequest &request) {
        if (request.path() == editAt) {
            QVERIFY(ui().Text1->isEnabled());
            ui().Text1->setText(songAddress("1002"));
        }
    };
    resolve(songAddress("1001"));
    QCOMPARE(m_form->statusText(), kDone);
    QCOMPARE(ui().Label1->text(), u"音乐名称：晴天"_s);
    QCOMPARE(ui().Label2->text(), u"歌手名称：周杰伦"_s);
    QVERIFY(ui().Text2->text().endsWith(u"/sample-media/1001.mp3"_s));
    QCOMPARE(pictureColour(), QColor(Qt::red));
    for (const HttpRequest &request : m_server.requests())
        QVERIFY2(!request.pathAndQuery().contains("1002"), request.pathAndQuery().constData());

    // The edit is what the next resolution uses.
    m_onRequest = nullptr;
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    waitForTheEnd();
    QCOMPARE(ui().Label2->text(), u"歌手名称：另一位"_s);
    QVERIFY(ui().Text2->text().endsWith(u"/sample-media/1002.mp3"_s));
}

void TestResolveCommand::enterResolves_data()
{
    QTest::addColumn<bool>("buttonEnabled");
    QTest::newRow("button enabled: resolves") << true;
    QTest::newRow("button disabled: nothing") << false;
}

void TestResolveCommand::enterResolves()
{
    QFETCH(bool, buttonEnabled);
    ui().Text1->setText(songAddress("1001"));
    ui().Command1->setEnabled(buttonEnabled);
    ui().Text1->setFocus();
    if (!buttonEnabled) // nothing will enable it again
        QTimer::singleShot(500, ui().Command1, [this] { ui().Command1->setEnabled(true); });
    QTest::keyClick(ui().Text1, Qt::Key_Return);
    waitForTheEnd();
    QCOMPARE(m_form->statusText() == kDone, buttonEnabled);
    QCOMPARE(m_server.requests().isEmpty(), !buttonEnabled);
}

void TestResolveCommand::linkKeepsItsSongName()
{
    ui().WebBrowser1->setSilent(true);
    QStringList suggested;
    m_desktop.setSaveChooser([&](const QString &path) {
        suggested << QFileInfo(path).fileName();
        return QString();
    });
    auto download = [&] {
        QSignalSpy ended(ui().WebBrowser1, &widgets::Downloader::downloadEnded);
        QTest::mouseClick(ui().Command9, Qt::LeftButton);
        QTRY_COMPARE(ended.size(), 1);
    };
    m_service.song("1002")->linkDenied = true;
    resolve(songAddress("1001"));
    download();
    // The next song fails at the link: its names show, but the link is still the first song's.
    resolve(songAddress("1002"));
    QCOMPARE(m_form->statusText(), kFailed);
    QCOMPARE(ui().Label1->text(), u"音乐名称：七里香"_s);
    download();
    QCOMPARE(ui().W1->title(), QString());
    QTest::mouseClick(ui().Command3, Qt::LeftButton);
    QCOMPARE(ui().W1->title(), u"周杰伦 - 晴天"_s);
    QCOMPARE(suggested, (QStringList{u"周杰伦 - 晴天.mp3"_s, u"周杰伦 - 晴天.mp3"_s}));
}

void TestResolveCommand::longNameIsShortened()
{
    m_service.song("1001")->title = u"一二三四五六七八九十一二三四五六七八_歌手"_s;
    resolve(songAddress("1001"));
    QCOMPARE(ui().Label1->text(), u"音乐名称：一二三四五六七八九十一二三四五六七.."_s);
    // The label sizes itself to its caption: nothing of the name is clipped.
    QVERIFY(ui().Label1->width() >= ui().Label1->sizeHint().width());
}

void TestResolveCommand::newResolutionAfterFailure()
{
    resolve(songAddress("9999"));
    QCOMPARE(m_form->statusText(), kFailed);
    resolve(songAddress("1002"));
    QCOMPARE(m_form->statusText(), kDone);
    QCOMPARE(ui().Label2->text(), u"歌手名称：另一位"_s);
}

void TestResolveCommand::windowWorksWhileThePictureLoads()
{
    HttpResponse slowPicture = HttpResponse::text(pngOf(Qt::blue), "image/png");
    slowPicture.delay = std::chrono::milliseconds(1500);
    m_service.setFault(MusicService::Route::Picture, slowPicture);
    ui().Text1->setText(songAddress("1001"));
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    QTRY_COMPARE(m_server.requests().size(), 4);

    // The link can be copied while the picture downloads; a second resolution cannot start.
    QTest::mouseClick(ui().Command2, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), ui().Text2->text());
    QCOMPARE(m_form->statusText(), u"外链地址已复制.."_s);
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    QTest::keyClick(ui().Text1, Qt::Key_Return);

    waitForTheEnd();
    QCOMPARE(pictureColour(), QColor(Qt::blue));
    QCOMPARE(m_server.requests().size(), 4);
}

void TestResolveCommand::whatTheDownloadCarries_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("download"); // "saved", "fails", "cancelled" or "typed link"
    QTest::addColumn<bool>("lrc");
    QTest::addColumn<QString>("title"); // the tag's; empty: saved as served, or nothing saved
    QTest::addColumn<QString>("singer");
    QTest::addColumn<QString>("album");
    // The phone app's share text: no page to fetch, the song resolves by its id.
    const QString today = u"分享歌曲《青石板路》 http://kuwo.cn/play_detail/3001 来自酷我音乐"_s;
    QTest::newRow("today's song, saved: tagged, its lyrics beside it")
        << today << u"saved"_s << true << u"青石板路"_s << u"苏晚"_s << u"今日专辑"_s;
    QTest::newRow("today's song, the download fails: nothing")
        << today << u"fails"_s << false << QString() << QString() << QString();
    QTest::newRow("today's song, the save dialog cancelled: nothing")
        << today << u"cancelled"_s << false << QString() << QString() << QString();
    QTest::newRow("a link typed into the box: saved as served")
        << today << u"typed link"_s << false << QString() << QString() << QString();
    QTest::newRow("a song page's song: tagged without album, untimed")
        << u"classic"_s << u"saved"_s << false << u"晴天"_s << u"周杰伦"_s << QString();
}

void TestResolveCommand::whatTheDownloadCarries()
{
    QFETCH(QString, address);
    QFETCH(QString, download);
    QFETCH(bool, lrc);
    QFETCH(QString, title);
    QFETCH(QString, singer);
    QFETCH(QString, album);
    QList<FakeSong> songs{sunnyDay("1001")};
    songs.first().tone = "tone-440.mp3";
    for (const FakeSong &song : sampleSongs()) {
        if (song.id == "3001")
            songs << song;
    }
    m_service.setSongs(songs);
    if (download == u"fails"_s)
        m_service.setFault(MusicService::Route::Media, HttpResponse::text("gone", "text/plain", 404));
    QTemporaryDir dir;
    const QString song = dir.filePath(u"歌手 - 歌名.mp3"_s);
    m_desktop.setSaveChooser([&](const QString &) { return download == u"cancelled"_s ? QString() : song; });
    ui().WebBrowser1->setSilent(true);
    resolve(address == u"classic"_s ? songAddress("1001") : address);
    QCOMPARE(m_form->statusText(), kDone);
    if (download == u"typed link"_s)
        ui().Text2->setText(ui().Text2->text() + u"?typed"_s);

    QSignalSpy ended(ui().WebBrowser1, &widgets::Downloader::downloadEnded);
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    const bool saved = download == u"saved"_s || download == u"typed link"_s;
    QCOMPARE(ended.first().at(1).toBool(), saved);
    // Nothing but what was saved: no part file, no lyrics of a failed download.
    QStringList expected;
    if (saved)
        expected << u"歌手 - 歌名.mp3"_s;
    if (lrc)
        expected.prepend(u"歌手 - 歌名.lrc"_s);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);

    if (lrc) {
        QFile file(dir.filePath(u"歌手 - 歌名.lrc"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF[ti:青石板路]\r\n"));
        QVERIFY(bytes.contains("]第一句歌词\r\n"));
    }
    if (saved) {
        const ReadTag tag = readTag(song);
        QCOMPARE(tag.text.value(u"TIT2"_s), title);
        if (!title.isEmpty()) {
            QCOMPARE(tag.text.value(u"TPE1"_s), singer);
            QCOMPARE(tag.text.value(u"TALB"_s), album);
            QCOMPARE(tag.text.value(u"USLT"_s), u"chi|"_s + ui().Text3->toPlainText());
            // The picture shown, as the server sent it.
            const QImage cover = QImage::fromData(tag.cover);
            QCOMPARE(cover.pixelColor(cover.width() / 2, 2), pictureColour());
        } else {
            QCOMPARE(tag.version, 0);
        }
    }
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top != m_form.get() && qobject_cast<QDialog *>(top))
            top->close();
    }
}

QTEST_MAIN(TestResolveCommand)
#include "tst_resolvecommand.moc"
