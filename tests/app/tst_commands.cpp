#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/commands.h"
#include "desktop/desktop.h"
#include "form1controls.h"
#include "scripteddesktop.h"
#include "ui/form1.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using corvane::testing::ScriptedDesktop;
using corvane::ui::Form1;

// The buttons other than the resolve button, clicked in the window.
class TestCommands final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copy_data();
    void copy();
    void paste_data();
    void paste();
    void disabledAddressBoxDoesNotPaste();
    void webShortcuts_data();
    void webShortcuts();
    void promotion_data();
    void promotion();
    void previewAndDownloadLeaveStatus();
    void qualitySource_data();
    void qualitySource();

private:
    testing::Form1Controls ui() const { return testing::Form1Controls(*m_form); }

    std::unique_ptr<ScriptedDesktop> m_desktop;
    std::unique_ptr<Form1> m_form;
};

void TestCommands::init()
{
    m_desktop = std::make_unique<ScriptedDesktop>();
    m_form = app::makeWindow(ServiceConfig::fromBuild(), *m_desktop);
}

void TestCommands::cleanup()
{
    m_form.reset();
    m_desktop.reset();
}

void TestCommands::copy_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("a link") << u"http://m.example/a.mp3"_s;
    QTest::newRow("an empty link box") << QString();
}

void TestCommands::copy()
{
    QFETCH(QString, link);
    auto *before = new QMimeData;
    before->setHtml(u"<b>old</b>"_s);
    before->setText(u"old"_s);
    QGuiApplication::clipboard()->setMimeData(before);
    ui().Text2->setText(link);
    QTest::mouseClick(ui().Command2, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), link);
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasHtml());
    QCOMPARE(m_form->statusText(), u"外链地址已复制.."_s);
}

void TestCommands::paste_data()
{
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("an address") << true << u"http://www.kuwo.cn/yinyue/1/"_s;
    QTest::newRow("no text on the clipboard") << false << QString();
}

void TestCommands::paste()
{
    QFETCH(bool, hasText);
    QFETCH(QString, clipboard);
    if (hasText) {
        QGuiApplication::clipboard()->setText(clipboard);
    } else {
        auto *data = new QMimeData;
        data->setImageData(QImage(2, 2, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(data);
    }
    ui().Text1->setEnabled(true);
    ui().Command1->setEnabled(true);
    ui().Text1->setText(u"something typed"_s);
    ui().Text1->setCursorPosition(4);
    QTest::mouseDClick(ui().Text1, Qt::LeftButton);
    QCOMPARE(ui().Text1->text(), clipboard);
    // Pasting does not start a resolution.
    QCOMPARE(m_form->statusText(), u"正在检测最新版本"_s);
    QVERIFY(m_desktop->boxes.isEmpty());
}

void TestCommands::disabledAddressBoxDoesNotPaste()
{
    QGuiApplication::clipboard()->setText(u"http://www.kuwo.cn/yinyue/1/"_s);
    QTest::mouseDClick(ui().Text1, Qt::LeftButton);
    QCOMPARE(ui().Text1->text(), QString());
}

void TestCommands::webShortcuts_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("page");
    const ServiceConfig config = ServiceConfig::fromBuild();
    QTest::newRow("Command4: the music service") << u"Command4"_s << config.kuwoHomePage;
    QTest::newRow("Command5: the forum") << u"Command5"_s << config.forumPage;
    QTest::newRow("Command6: the maker's home") << u"Command6"_s << config.homePage;
}

void TestCommands::webShortcuts()
{
    QFETCH(QString, button);
    QFETCH(QString, page);
    QTest::mouseClick(m_form->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(m_desktop->pages, QStringList{desktop::pageOpenerProgram() + u' ' + page});
    QCOMPARE(m_form->statusText(), u"正在检测最新版本"_s);
}

void TestCommands::promotion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("started");
    QTest::newRow("Yes opens the resource page")
        << int(MessageAnswer::vbYes)
        << QStringList{desktop::pageOpenerProgram() + u' ' + ServiceConfig::fromBuild().resourcePage};
    QTest::newRow("No does nothing") << int(MessageAnswer::vbNo) << QStringList();
}

void TestCommands::promotion()
{
    QFETCH(int, answer);
    QFETCH(QStringList, started);
    m_desktop->queueAnswer(MessageAnswer(answer));
    QTest::mouseClick(ui().Command7, Qt::LeftButton);
    QCOMPARE(m_desktop->boxes.size(), 1);
    QCOMPARE(m_desktop->boxes.first().text, u"Ostrel 2014\r\n\r\n宅男超强资源神器,是否现在立刻拥有?"_s);
    QCOMPARE(m_desktop->boxes.first().style, MessageStyle::InformationYesNo);
    QCOMPARE(m_desktop->pages, started);
    QCOMPARE(m_form->statusText(), u"正在检测最新版本"_s);
}

void TestCommands::previewAndDownloadLeaveStatus()
{
    ui().Text2->setText(QString());
    QTest::mouseClick(ui().Command3, Qt::LeftButton);
    QCOMPARE(ui().W1->URL(), QString());
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QCOMPARE(m_form->statusText(), u"正在检测最新版本"_s);
    // A download window exists at once, and shows only later: counted shown or not.
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY2(!qobject_cast<QDialog *>(top), "an empty address opened a download");
}

void TestCommands::qualitySource_data()
{
    QTest::addColumn<QString>("environment"); // CORVANE_QUALITY_SOURCE; null: unset
    QTest::addColumn<QString>("file");        // the settings file's "quality/source"
    QTest::addColumn<QString>("source");
    QTest::newRow("the build's") << QString() << QString() << u"built.apk"_s;
    QTest::newRow("the settings file's") << QString() << u"kept.apk"_s << u"kept.apk"_s;
    QTest::newRow("the environment's first") << u"env.apk"_s << u"kept.apk"_s << u"env.apk"_s;
    QTest::newRow("blank is unset") << u"  "_s << u" "_s << u"built.apk"_s;
}

void TestCommands::qualitySource()
{
    QFETCH(QString, environment);
    QFETCH(QString, file);
    QFETCH(QString, source);
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(u"corvane.ini"_s);
    {
        QSettings settings(path, QSettings::IniFormat);
        if (!file.isNull())
            settings.setValue(u"quality/source"_s, file);
    }
    QProcessEnvironment env;
    if (!environment.isNull())
        env.insert(u"CORVANE_QUALITY_SOURCE"_s, environment);
    QCOMPARE(app::qualitySource(u"built.apk"_s, desktop::Settings(path), env), source);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
