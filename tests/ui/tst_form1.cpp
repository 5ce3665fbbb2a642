#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/serviceconfig.h"
#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "form1controls.h"
#include "markup.h"
#include "scripteddesktop.h"
#include "ui/form1.h"
#include "widgets/alphaimage.h"
#include "widgets/downloader.h"
#include "widgets/mediaplayer.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using corvane::testing::ScriptedDesktop;
using corvane::ui::Form1;

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void windowIsFixed();
    void tabOrder();
    void stacking();
    void statusBar();
    void linkBoxesAreReadOnly();
    void portraitFillsItsSquare();
    void closeAsksOncePerRequest_data();
    void closeAsksOncePerRequest();
    void pageOpensWithoutTheProgram();
    void announcedAsAWindow();
    void eachControlHandsOver_data();
    void eachControlHandsOver();
    void networkTextShowsAsText_data();
    void networkTextShowsAsText();
    void boxBeforeTheWindowIsCentred();

private:
    testing::Form1Controls ui() const { return testing::Form1Controls(*m_form); }

    std::unique_ptr<ScriptedDesktop> m_desktop;
    std::unique_ptr<Form1> m_form;
};

void TestForm1::init()
{
    m_desktop = std::make_unique<ScriptedDesktop>();
    m_form = std::make_unique<Form1>(*m_desktop);
}

void TestForm1::cleanup()
{
    m_form.reset();
    m_desktop.reset();
}

void TestForm1::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    auto row = [](const char *name, const char *container, QRect twips, const QString &caption,
                  bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << twips << caption
                            << enabled;
    };
    row("Command8", "Form1", {5760, 5040, 1695, 615}, u"退出程序"_s);
    row("Command7", "Form1", {3960, 5040, 1695, 615}, u"Quennet推荐"_s);
    row("Command6", "Form1", {360, 5040, 1695, 615}, u"Quennet官网"_s);
    row("Command5", "Form1", {2160, 5040, 1695, 615}, u"官方论坛"_s);
    row("Command4", "Form1", {6120, 240, 1335, 855}, u"访问酷我官网"_s);
    row("S1", "Form1", {0, 6735, 7695, 495}, QString());
    row("Frame3", "Form1", {360, 3960, 7095, 975}, u"外链地址"_s);
    row("Command9", "Frame3", {6120, 240, 855, 495}, u"下载"_s);
    row("Command3", "Frame3", {5280, 240, 855, 495}, u"试听"_s);
    row("Command2", "Frame3", {4440, 240, 855, 495}, u"复制"_s);
    row("Text2", "Frame3", {120, 360, 4215, 270}, QString());
    row("Frame2", "Form1", {2880, 1200, 4575, 2535}, u"音乐信息"_s);
    row("Text3", "Frame2", {240, 1200, 4215, 1215}, QString());
    row("WebBrowser1", "Frame2", {1800, 1680, 255, 255}, QString());
    row("Label1", "Frame2", {240, 480, -1, -1}, u"音乐名称：NONE"_s);
    row("Label2", "Frame2", {240, 840, -1, -1}, u"歌手名称：NONE"_s);
    row("Command1", "Form1", {4800, 240, 1335, 855}, u"获取外链地址"_s, false);
    row("Frame1", "Form1", {240, 240, 4455, 855}, u"请输入音乐地址：[双击文本自动粘贴]"_s);
    row("Text1", "Frame1", {120, 360, 4215, 270}, QString(), false);
    row("aicAlphaImage1", "Form1", {240, 1275, 2460, 2460}, QString());
    row("Image1", "Form1", {240, 1275, 2460, 2460}, QString());
    row("W1", "Form1", {360, 5880, 7095, 615}, QString());
}

void TestForm1::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);

    auto *widget = m_form->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->pos(), QPoint(twips.x() / 15, twips.y() / 15));
    if (twips.width() > 0) // labels size themselves to their caption
        QCOMPARE(widget->size(), QSize(twips.width() / 15, twips.height() / 15));
    QCOMPARE(widget->isEnabled(), enabled);
    QVERIFY(!widget->accessibleName().isEmpty());

    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    } else if (auto *frame = qobject_cast<QGroupBox *>(widget)) {
        QCOMPARE(frame->title(), caption);
    } else if (auto *label = qobject_cast<QLabel *>(widget); label && !caption.isEmpty()) {
        QCOMPARE(label->text(), caption);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(edit->text(), QString());
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
    } else if (auto *lyrics = qobject_cast<QPlainTextEdit *>(widget)) {
        QCOMPARE(lyrics->toPlainText(), QString());
    }
}

void TestForm1::windowIsFixed()
{
    QCOMPARE(m_form->windowTitle(), u"Corvane V"_s + build::version.toString());
    QCOMPARE(m_form->minimumSize(), QSize(513, 482));
    QCOMPARE(m_form->maximumSize(), QSize(513, 482));
    QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!m_form->windowIcon().isNull());
    QCOMPARE(m_form->windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
    // A grey ring around a blue sphere: grey at the rim, blue inside.
    const QImage icon = m_form->windowIcon().pixmap(QSize(48, 48)).toImage();
    QCOMPARE(icon.size(), QSize(48, 48));
    QCOMPARE(icon.pixelColor(24, 1).red(), icon.pixelColor(24, 1).blue());
    QVERIFY(icon.pixelColor(24, 24).blue() > icon.pixelColor(24, 24).red() + 40);
    QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
}

void TestForm1::tabOrder()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QStringList order;
    QWidget *start = ui().Text1;
    QWidget *w = start;
    do {
        QWidget *owner = w;
        while (owner && owner->parentWidget() != m_form.get() && owner->parentWidget() &&
               !qobject_cast<QGroupBox *>(owner->parentWidget()))
            owner = owner->parentWidget(); // the player's inner controls count as W1
        if (!owner->objectName().isEmpty() && (order.isEmpty() || order.last() != owner->objectName()))
            order << owner->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    order.removeIf([](const QString &name) { return name.startsWith(u"qt_"_s); });
    const QStringList expected{u"Text1"_s,    u"Command1"_s, u"Text2"_s,    u"Command2"_s, u"Command3"_s,
                               u"W1"_s,       u"Command4"_s, u"Command5"_s, u"Command6"_s, u"Command7"_s,
                               u"Command8"_s, u"Text3"_s,    u"Command9"_s};
    QStringList focusable;
    for (const QString &name : std::as_const(order)) {
        if (expected.contains(name) && !focusable.contains(name))
            focusable << name;
    }
    QCOMPARE(focusable, expected);
    // With Text1 and Command1 disabled, the focus starts in the link box.
    m_form->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(ui().Text2));
}

void TestForm1::stacking()
{
    auto above = [](QWidget *upper, QWidget *lower) {
        const QObjectList siblings = upper->parentWidget()->children();
        return siblings.indexOf(upper) > siblings.indexOf(lower);
    };
    QVERIFY(above(ui().aicAlphaImage1, ui().Image1));
    QVERIFY(above(ui().Text3, ui().WebBrowser1));
    QVERIFY(ui().Text3->geometry().contains(ui().WebBrowser1->geometry()));
    QVERIFY(above(ui().Command8, ui().W1));
    QVERIFY(above(ui().Command9, ui().Text2));
    QCOMPARE(ui().aicAlphaImage1->image().size(), QSize(180, 180));
    QVERIFY(ui().aicAlphaImage1->image().hasAlphaChannel());
    // The ring frame: opaque beige corners, a transparent centre.
    QCOMPARE(ui().aicAlphaImage1->image().pixelColor(2, 2), QColor(248, 245, 238));
    QCOMPARE(ui().aicAlphaImage1->image().pixelColor(90, 90).alpha(), 0);
    QCOMPARE(ui().aicAlphaImage1->image().pixelColor(90, 90 - 70).alpha(), 0);
}

void TestForm1::statusBar()
{
    QStatusBar *bar = ui().S1;
    QCOMPARE(bar->geometry(), QRect(0, 449, 513, 33));
    QVERIFY(!bar->isSizeGripEnabled());
    QCOMPARE(ui().Panel1->text(), u"运行提示："_s);
    QCOMPARE(m_form->statusText(), u"正在检测最新版本"_s);
    QCOMPARE(ui().Panel3->text(), u"Quennet出品"_s);
    QVERIFY(ui().Panel3->alignment() & Qt::AlignHCenter);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(ui().Panel1->width(), 96);
    QCOMPARE(ui().Panel3->width(), 96);
    QVERIFY(ui().Panel2->width() > 96 * 2);
    m_form->setStatusText(u"外链地址已复制.."_s);
    QCOMPARE(ui().Panel1->text(), u"运行提示："_s);
    QCOMPARE(ui().Panel3->text(), u"Quennet出品"_s);
    QCOMPARE(ui().Panel2->text(), u"外链地址已复制.."_s);
}

void TestForm1::linkBoxesAreReadOnly()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    ui().Text2->setText(u"http://m.example/a.mp3"_s);
    ui().Text2->setFocus();
    QTest::keyClicks(ui().Text2, u"typed"_s);
    QCOMPARE(ui().Text2->text(), u"http://m.example/a.mp3"_s);
    ui().Text2->selectAll();
    QCOMPARE(ui().Text2->selectedText(), u"http://m.example/a.mp3"_s);
    QVERIFY(ui().Text3->isReadOnly());
    QCOMPARE(ui().Text3->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(ui().Text3->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(ui().Text3->textInteractionFlags() & Qt::TextSelectableByMouse);
}

void TestForm1::portraitFillsItsSquare()
{
    QVERIFY(ui().Image1->hasScaledContents());
    QCOMPARE(ui().Image1->pixmap().size(), QSize(90, 90));
    QImage tiny(7, 3, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    ui().Image1->setPixmap(QPixmap::fromImage(tiny));
    const QImage shown = ui().Image1->grab().toImage();
    QCOMPARE(shown.size(), QSize(164, 164));
    QCOMPARE(shown.pixelColor(160, 160), QColor(Qt::red));
}

void TestForm1::closeAsksOncePerRequest_data()
{
    QTest::addColumn<bool>("allow");
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("close box, kept") << false << false;
    QTest::newRow("close box, closed") << true << false;
    QTest::newRow("exit button, kept") << false << true;
    QTest::newRow("exit button, closed") << true << true;
}

void TestForm1::closeAsksOncePerRequest()
{
    QFETCH(bool, allow);
    QFETCH(bool, byExitButton);
    int asked = 0;
    m_form->setCloseQuery([&] {
        ++asked;
        return allow;
    });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QSignalSpy closed(m_form.get(), &Form1::closed);
    if (byExitButton)
        QTest::mouseClick(ui().Command8, Qt::LeftButton);
    else
        m_form->close();
    QCOMPARE(asked, 1);
    QCOMPARE(m_form->isVisible(), !allow);
    QCOMPARE(closed.size(), allow ? 1 : 0);
}

// Records the addresses the desktop is asked to open.
class UrlRecorder final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

void TestForm1::pageOpensWithoutTheProgram()
{
#ifdef Q_OS_WIN
    QSKIP("explorer.exe is always found: Windows looks in its own folder whatever PATH says");
#endif
    // No xdg-open (or explorer.exe) on the path: the desktop's own handler opens the page.
    QTemporaryDir nothing;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(nothing.path()));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(u"http"_s, &recorder, "open");
    desktop::SystemDesktop desktop;
    const bool opened = desktop.openPage(ServiceConfig::fromBuild().forumPage);
    QDesktopServices::unsetUrlHandler(u"http"_s);
    qputenv("PATH", path);
    QVERIFY(opened);
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(ServiceConfig::fromBuild().forumPage)});
}

void TestForm1::announcedAsAWindow()
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_form.get());
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::Window);
    QCOMPARE(accessible->text(QAccessible::Name), m_form->windowTitle());
}

void TestForm1::eachControlHandsOver_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QByteArray>("signal");
    auto row = [](const char *control, bool doubleClick, auto signal) {
        QTest::newRow(control) << QString::fromLatin1(control) << doubleClick
                               << QMetaMethod::fromSignal(signal).methodSignature();
    };
    row("Command1", false, &Form1::resolveRequested);
    row("Command2", false, &Form1::copyRequested);
    row("Command3", false, &Form1::previewRequested);
    row("Command4", false, &Form1::kuwoHomeRequested);
    row("Command5", false, &Form1::forumRequested);
    row("Command6", false, &Form1::homeRequested);
    row("Command7", false, &Form1::recommendRequested);
    row("Command9", false, &Form1::downloadRequested);
    row("Text1", true, &Form1::pasteRequested);
}

// Each control reaches its own command and no other; the window decides nothing itself.
void TestForm1::eachControlHandsOver()
{
    QFETCH(QString, control);
    QFETCH(bool, doubleClick);
    QFETCH(QByteArray, signal);
    m_form->setAddressEnabled(true);
    m_form->setResolveEnabled(true);
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject *meta = m_form->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            spies.push_back(std::make_unique<QSignalSpy>(m_form.get(), meta->method(i)));
    }
    QCOMPARE(spies.size(), size_t(10)); // the nine commands and the close
    QWidget *widget = m_form->findChild<QWidget *>(control);
    QVERIFY(widget);
    if (doubleClick)
        QTest::mouseDClick(widget, Qt::LeftButton);
    else
        QTest::mouseClick(widget, Qt::LeftButton);
    for (const auto &spy : spies)
        QCOMPARE(spy->count(), spy->signal() == signal ? 1 : 0);
}

void TestForm1::networkTextShowsAsText_data()
{
    static QTemporaryDir dir;
    testing::addMarkupRows(testing::writeRedSquare(dir.path()));
}

void TestForm1::networkTextShowsAsText()
{
    QFETCH(QString, text);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->showNames(text, text);
    m_form->preview(QString(), text);
    auto *title = ui().W1->findChild<QLabel *>(u"title"_s);
    QVERIFY(title);
    QTRY_VERIFY(!title->text().isEmpty()); // laid out
    for (QLabel *label : {ui().Label1, ui().Label2, title}) {
        QVERIFY2(label->text().endsWith(text) || label->text().contains(u"…"_s), qPrintable(label->text()));
        QVERIFY2(testing::showsAsText(label), qPrintable(label->objectName()));
    }
    QVERIFY(!testing::showsRed(m_form.get()));
    QCOMPARE(testing::shownToolTip(title->toolTip()), text);
    QVERIFY(testing::shownToolTip(ui().W1->toolTip()).startsWith(text));
}

// The failed version check's box shows before the window: on the screen's centre, where
// the window will appear, not at the corner of the window that is not there yet.
void TestForm1::boxBeforeTheWindowIsCentred()
{
    desktop::SystemDesktop desktop;
    QRect placed;
    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        placed = box->frameGeometry();
        box->close();
    });
    desktop.showMessage(m_form.get(), u"检测更新失败!请您稍后再试,暂时使用原版"_s, MessageStyle::Warning);
    // Placed before it has a frame: the title bar, added when shown, may move its centre a
    // little. Left to Qt, it would sit at the screen's top-left corner.
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((placed.center() - centre).manhattanLength() <= 40,
             qPrintable(u"box at %1,%2 %3x%4"_s.arg(placed.x())
                            .arg(placed.y())
                            .arg(placed.width())
                            .arg(placed.height())));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
