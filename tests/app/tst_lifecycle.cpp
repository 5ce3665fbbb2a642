#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/commands.h"
#include "app/lifecycle.h"
#include "app/songlistcommands.h"
#include "awaited.h"
#include "common.h"
#include "core/songbatch.h"
#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "form1controls.h"
#include "scripteddesktop.h"
#include "ui/form1.h"
#include "ui/songlistwindow.h"
#include "widgets/downloader.h"
#include "widgets/mediaplayer.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using corvane::testing::ScriptedDesktop;

class TestLifecycle final : public QObject
{
    Q_OBJECT

private slots:
    void skinFromProgramFolderElseInstalled();
    void buildWithoutUpdateCheckAsksNothing();
    void qtDialogsSpeakChinese();
    void initTestCase();
    void init();
    void cleanup();
    void versionCheck_data();
    void versionCheck();
    void versionCheckUnreachable();
    void startupSequence_data();
    void startupSequence();
    void missingSkinChangesNothing();
    void closePrompt_data();
    void closePrompt();
    void exitButtonAsksTheSame();
    void quitNamesTheDownloads_data();
    void quitNamesTheDownloads();

private:
    std::unique_ptr<ui::Form1> makeForm();

    HttpTestServer m_server;
    MusicService m_service;
    ScriptedDesktop m_desktop;
    QTemporaryDir m_folder;
};

void TestLifecycle::initTestCase()
{
    QVERIFY(m_server.listen());
    m_service.setHosts(ServiceConfig::onOrigin(m_server.origin()));
    m_server.setHandler([this](const HttpRequest &request) { return m_service.answer(request); });
    QVERIFY(m_folder.isValid());
}

void TestLifecycle::init()
{
    m_desktop.reset();
    m_service.clearFaults();
    m_server.clearRequests();
}

void TestLifecycle::cleanup()
{
    qApp->setStyleSheet(QString());
}

std::unique_ptr<ui::Form1> TestLifecycle::makeForm()
{
    ServiceConfig config = ServiceConfig::onOrigin(m_server.origin());
    config.fetch.timeout = std::chrono::milliseconds(1500);
    return app::makeWindow(config, m_desktop);
}

void TestLifecycle::versionCheck_data()
{
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("boxStyle"); // a MessageStyle, -1: no box
    QTest::addColumn<QString>("boxText");

    const QString waiting = u"正在检测最新版本"_s;
    const QString welcome = u"欢迎使用Quennet系列软件"_s;
    const QString failed = u"检测更新失败!请您稍后再试,暂时使用原版"_s;
    auto newer = [](const QString &version) {
        return u"发现最新版本!["_s + version + u"]\r\n \r\n确定后自动打开官方论坛!"_s;
    };
    const QByteArray own = kOwnVersion.toUtf8();
    const QByteArray other = own + ".1";
    QTest::newRow("own version") << "mqvt:" + own + "|" << true << true << welcome << -1 << QString();
    QTest::newRow("own version among other lines")
        << "[main]\r\nname=Corvane\r\nmqvt:" + own + "|2014-05-01\r\nurl=x|y\r\n"
        << true << true << welcome << -1 << QString();
    QTest::newRow("newer version") << "mqvt:" + other + "|" << false << false << waiting
                                   << int(MessageStyle::Information) << newer(QString::fromUtf8(other));
    QTest::newRow("lower-case own version is another")
        << "mqvt:" + own.toLower() + "|" << false << false << waiting << int(MessageStyle::Information)
        << newer(QString::fromUtf8(own.toLower()));
    QTest::newRow("trailing blank is another")
        << "mqvt:" + own + " |" << false << false << waiting << int(MessageStyle::Information)
        << newer(QString::fromUtf8(own + " "));
    QTest::newRow("empty answer") << QByteArray() << true << false << waiting << int(MessageStyle::Warning)
                                  << failed;
    // An answer that names no version is a failed check, not a new version.
    QTest::newRow("no marker") << QByteArray("<html>portal login</html>") << true << false << waiting
                               << int(MessageStyle::Warning) << failed;
    QTest::newRow("no bar") << "mqvt:" + own << true << false << waiting << int(MessageStyle::Warning)
                            << failed;
    QTest::newRow("marker twice") << "mqvt:mqvt:" + own + "|" << true << false << waiting
                                  << int(MessageStyle::Warning) << failed;
}

void TestLifecycle::versionCheck()
{
    QFETCH(QByteArray, versionFile);
    QFETCH(bool, opens);
    QFETCH(bool, enabled);
    QFETCH(QString, status);
    QFETCH(int, boxStyle);
    QFETCH(QString, boxText);

    m_service.setVersionFile(versionFile);
    auto form = makeForm();
    const app::LoadResult result = awaited(app::Form_Load(app::commandsOf(*form), m_folder.path()));

    QCOMPARE(result == app::LoadResult::Open, opens);
    QCOMPARE(Form1Controls(*form).Text1->isEnabled(), enabled);
    QCOMPARE(Form1Controls(*form).Command1->isEnabled(), enabled);
    QCOMPARE(form->statusText(), status);
    QVERIFY(!form->isVisible());
    const QList<ScriptedDesktop::Box> shown = m_desktop.boxes;
    QCOMPARE(shown.size(), boxStyle >= 0 ? 1 : 0);
    if (boxStyle >= 0) {
        QCOMPARE(int(shown.first().style), boxStyle);
        QCOMPARE(shown.first().text, boxText);
    }
    // Only the newer version opens a page: the version check's own forum, once.
    QCOMPARE(m_desktop.pages, opens ? QStringList()
                                    : QStringList{desktop::pageOpenerProgram() + u' ' +
                                                  app::commandsOf(*form).config().updateForumPage});
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(m_server.requests().first().target, QByteArray("/soft/version/main.txt"));
    QCOMPARE(m_server.requests().first().header("If-Modified-Since"), QByteArray("0"));
}

void TestLifecycle::versionCheckUnreachable()
{
    HttpResponse stall;
    stall.stall = true;
    m_service.setFault(MusicService::Route::VersionFile, stall);
    auto form = makeForm();
    QCOMPARE(awaited(app::Form_Load(app::commandsOf(*form), m_folder.path())), app::LoadResult::Open);
    QCOMPARE(m_desktop.boxes.size(), 1);
    QCOMPARE(m_desktop.boxes.first().style, MessageStyle::Warning);
    QVERIFY(!Form1Controls(*form).Text1->isEnabled());
    QCOMPARE(form->statusText(), u"正在检测最新版本"_s);
}

void TestLifecycle::startupSequence_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::newRow("a plain folder") << QString();
    // On Windows the skin's path goes through the ANSI code page, which on a Western
    // system has no Chinese characters.
    QTest::newRow("a folder with a Chinese name") << u"酷我 工具"_s;
}

void TestLifecycle::startupSequence()
{
    QFETCH(QString, programFolder);
    const QString folder = programFolder.isEmpty() ? m_folder.path() : m_folder.filePath(programFolder);
    QVERIFY(QDir().mkpath(folder));
    m_service.setVersionFile(ownVersionFile());
    QFile skin(app::skinPath(folder));
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { color: #123456; }");
    skin.close();
    auto form = makeForm();
    QCOMPARE(Form1Controls(*form).W1->settings().volume(), 50);
    QVERIFY(form->testAttribute(Qt::WA_SetWindowIcon));
    QVERIFY(!Form1Controls(*form).WebBrowser1->Silent());

    QCOMPARE(awaited(app::Form_Load(app::commandsOf(*form), folder)), app::LoadResult::Open);
    QCOMPARE(Form1Controls(*form).W1->settings().volume(), 100);
    // The window's own icon is gone; what shows is whatever the desktop gives a window without one.
    QVERIFY(!form->testAttribute(Qt::WA_SetWindowIcon));
    QCOMPARE(qApp->styleSheet(), u"QPushButton { color: #123456; }"_s);
    QVERIFY(Form1Controls(*form).WebBrowser1->Silent());
    QCOMPARE(app::skinPath(u"/opt/corvane"_s), u"/opt/corvane/skinh.she"_s);
    QCOMPARE(app::skinPath(u"/"_s), u"//skinh.she"_s);
}

void TestLifecycle::missingSkinChangesNothing()
{
    m_service.setVersionFile(ownVersionFile());
    QTemporaryDir empty;
    auto form = makeForm();
    QCOMPARE(awaited(app::Form_Load(app::commandsOf(*form), empty.path())), app::LoadResult::Open);
    QCOMPARE(qApp->styleSheet(), QString());
    QVERIFY(Form1Controls(*form).WebBrowser1->Silent());
    QVERIFY(Form1Controls(*form).Command1->isEnabled()); // the version check still ran
}

void TestLifecycle::closePrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("opensForum");
    QTest::newRow("Yes: forum, then close") << int(MessageAnswer::vbYes) << true << true;
    QTest::newRow("No: close") << int(MessageAnswer::vbNo) << true << false;
    QTest::newRow("Cancel, Esc or the box's close button: stay")
        << int(MessageAnswer::vbCancel) << false << false;
}

void TestLifecycle::closePrompt()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, opensForum);
    m_service.setVersionFile(ownVersionFile());
    auto form = makeForm();
    form->setCloseQuery([&form] { return app::QueryUnload(app::commandsOf(*form)); });
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    m_desktop.queueAnswer(MessageAnswer(answer));
    form->close();
    QCOMPARE(m_desktop.boxes.size(), 1);
    QCOMPARE(m_desktop.boxes.first().style, MessageStyle::InformationYesNoCancel);
    QCOMPARE(
        m_desktop.boxes.first().text,
        u"感谢您对Quennet、Quennet系列的软件的支持!\r \r是否退出并到论坛可以下载更多Quennet系列原创免费软件?"_s);
    QCOMPARE(form->isVisible(), !closes);
    QCOMPARE(m_desktop.pages, opensForum ? QStringList{desktop::pageOpenerProgram() + u' ' +
                                                       app::commandsOf(*form).config().forumPage}
                                         : QStringList());
}

void TestLifecycle::exitButtonAsksTheSame()
{
    auto form = makeForm();
    form->setCloseQuery([&form] { return app::QueryUnload(app::commandsOf(*form)); });
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    m_desktop.queueAnswer(MessageAnswer::vbCancel);
    QTest::mouseClick(Form1Controls(*form).Command8, Qt::LeftButton);
    QCOMPARE(m_desktop.boxes.size(), 1);
    QVERIFY(form->isVisible());
    m_desktop.queueAnswer(MessageAnswer::vbNo);
    QTest::mouseClick(Form1Controls(*form).Command8, Qt::LeftButton);
    QCOMPARE(m_desktop.boxes.size(), 2);
    QVERIFY(!form->isVisible());
    QVERIFY(m_desktop.pages.isEmpty());
}

void TestLifecycle::quitNamesTheDownloads_data()
{
    QTest::addColumn<QList<int>>("answers"); // MessageAnswer, one per box
    QTest::addColumn<bool>("closes");
    QTest::newRow("否: all goes on") << QList<int>{int(MessageAnswer::vbNo)} << false;
    QTest::newRow("是, then the farewell question")
        << QList<int>{int(MessageAnswer::vbYes), int(MessageAnswer::vbNo)} << true;
    QTest::newRow("是, then the farewell cancelled")
        << QList<int>{int(MessageAnswer::vbYes), int(MessageAnswer::vbCancel)} << false;
}

// A list at work: quitting from the main window names its songs before the farewell.
void TestLifecycle::quitNamesTheDownloads()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, closes);
    QTemporaryDir folder;
    m_desktop.setFolderChooser([&folder](const QString &) { return folder.path(); });
    HttpResponse part = HttpResponse::text(QByteArray(300000, '\xff'), "audio/mpeg");
    part.stallAfter = 100000;
    m_service.setFault(MusicService::Route::Media, part);
    auto form = makeForm();
    app::Commands &commands = app::commandsOf(*form);
    form->setCloseQuery([&commands] { return app::QueryUnload(commands); });
    form->show();
    SongList list;
    list.songs = {{u"3001"_s, u"青石板路"_s, u"苏晚"_s, {}, 0}, {u"3003"_s, u"山风"_s, u"木子"_s, {}, 0},
                  {u"3004"_s, u"旧站台"_s, u"江河"_s, {}, 0}};
    ui::SongListWindow *window = app::SongListCommands::open(commands, list);
    window->findChild<QPushButton *>(u"DownloadSelected"_s)->click();
    const SongBatch &batch = app::SongListCommands::of(*window)->batch();
    QVERIFY(batch.isRunning());

    for (const int answer : answers)
        m_desktop.queueAnswer(MessageAnswer(answer));
    QCOMPARE(form->close(), closes);
    QCOMPARE(m_desktop.boxes.size(), answers.size());
    QCOMPARE(m_desktop.boxes.first().text, u"正在下载 3 首歌曲，确定停止并退出吗？"_s);
    QCOMPARE(m_desktop.boxes.first().style, MessageStyle::InformationYesNo);
    if (answers.size() > 1)
        QCOMPARE(m_desktop.boxes.at(1).text, app::closePromptText());
    if (!closes)
        QVERIFY(batch.isRunning());
    commands.end();
}

void TestLifecycle::qtDialogsSpeakChinese()
{
    // The save dialog's title, as Qt writes it.
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Save As"), u"Save As"_s);
    QVERIFY(app::installQtTranslations(*qApp));
    const QString translated = QCoreApplication::translate("QFileDialog", "Save As");
    QVERIFY2(translated != u"Save As"_s, qPrintable(translated));
}

void TestLifecycle::skinFromProgramFolderElseInstalled()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // An installed layout: <prefix>/bin and the data folder the build names beside it.
    const QString bin = root.filePath(u"usr/bin"_s);
    const QString installed =
        QDir::cleanPath(bin + u'/' + build::dataFolderFromProgram.toString() + u"/skinh.she"_s);
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(QFileInfo(installed).absolutePath()));
    QCOMPARE(app::findSkin(bin), bin + u"/skinh.she"_s); // neither: the program's folder, as ever
    QFile data(installed);
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write("QWidget {}") > 0);
    data.close();
    QCOMPARE(app::findSkin(bin), installed);
    QFile beside(bin + u"/skinh.she"_s);
    QVERIFY(beside.open(QIODevice::WriteOnly) && beside.write("QWidget {}") > 0);
    beside.close();
    QCOMPARE(app::findSkin(bin), bin + u"/skinh.she"_s); // a portable copy wins
}

void TestLifecycle::buildWithoutUpdateCheckAsksNothing()
{
    m_server.clearRequests();
    ServiceConfig config = ServiceConfig::onOrigin(m_server.origin());
    config.checkForUpdates = false;
    const auto window = app::makeWindow(config, m_desktop);
    ui::Form1 &form = *window;
    QCOMPARE(awaited(app::gx(app::commandsOf(form))), app::LoadResult::Open);
    QVERIFY(m_server.requests().isEmpty());
    QVERIFY(Form1Controls(form).Text1->isEnabled());
    QVERIFY(Form1Controls(form).Command1->isEnabled());
    QCOMPARE(form.statusText(), u"欢迎使用Quennet系列软件"_s);
}

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
