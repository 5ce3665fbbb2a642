#include "form1.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "pictures.h"
#include "widgets/addressedit.h"
#include "widgets/alphaimage.h"
#include "widgets/downloader.h"
#include "widgets/elidinglabel.h"
#include "widgets/mediaplayer.h"

using namespace Qt::StringLiterals;

namespace corvane::ui {
namespace {

constexpr int kClientWidth = 513;
constexpr int kClientHeight = 482;

const QString kNamePrefix = u"音乐名称："_s;
const QString kSingerPrefix = u"歌手名称："_s;

// A control with its design name, a name for screen readers, and its place.
template <typename Widget>
Widget *placed(Widget *widget, const QString &name, const QString &accessibleName, QRect geometry)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessibleName);
    widget->setGeometry(geometry);
    return widget;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, QRect geometry)
{
    auto *b = placed(new QPushButton(caption, parent), name, caption, geometry);
    b->setAutoDefault(false);
    return b;
}

QGroupBox *frame(QWidget *parent, const QString &name, const QString &caption, QRect geometry)
{
    return placed(new QGroupBox(caption, parent), name, caption, geometry);
}

QLabel *panel(QWidget *parent, const QString &name, const QString &text, Qt::Alignment alignment)
{
    auto *p = new QLabel(text, parent);
    p->setObjectName(name);
    p->setTextFormat(Qt::PlainText);
    p->setAlignment(alignment | Qt::AlignVCenter);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setMinimumWidth(96);
    p->setAccessibleName(text);
    return p;
}

// Raising from the bottom up leaves the first one on top.
void stackTopToBottom(std::initializer_list<QWidget *> topToBottom)
{
    for (auto it = std::rbegin(topToBottom); it != std::rend(topToBottom); ++it)
        (*it)->raise();
}

// Screen readers announce the main window as a window, as they do a QMainWindow; a plain
// top-level QWidget would be a "filler" to them.
QAccessibleInterface *mainWindowAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1StringView(Form1::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

Form1::Form1(desktop::Desktop &desktop, QWidget *parent) : QWidget(parent), m_desktop(desktop)
{
    static const bool accessibleAsWindow = [] {
        QAccessible::installFactory(mainWindowAccessible);
        return true;
    }();
    Q_UNUSED(accessibleAsWindow);
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Corvane "_s + build::versionTag.toString());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(designIcon());
    setFixedSize(kClientWidth, kClientHeight);
    buildLayout();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Text1, &widgets::AddressEdit::doubleClicked, this, &Form1::Text1_DblClick);
    // Enter in the address box does what the button does, when the button can be pressed.
    connect(Text1, &QLineEdit::returnPressed, this, [this] {
        if (Command1->isEnabled())
            Command1_Click();
    });
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    // Created in tab-index order, which makes the focus chain; the stacking is set after.
    Frame1 = frame(this, u"Frame1"_s, u"请输入音乐地址：[双击文本自动粘贴]"_s, {16, 16, 297, 57});
    Text1 = placed(new widgets::AddressEdit(Frame1), u"Text1"_s, u"音乐地址"_s, {8, 24, 281, 18});
    Text1->setEnabled(false);
    Text1->setPlaceholderText(u"歌曲、歌单、专辑、歌手的地址，或歌名"_s);
    Command1 = button(this, u"Command1"_s, u"获取外链地址"_s, {320, 16, 89, 57});
    Command1->setEnabled(false);

    Frame2 = frame(this, u"Frame2"_s, u"音乐信息"_s, {192, 80, 305, 169});
    Label2 = new widgets::ElidingLabel(Qt::ElideRight, Frame2);
    Label2->setObjectName(u"Label2"_s);
    Label2->move(16, 56);
    setCaption(Label2, kSingerPrefix + u"NONE"_s);
    Label1 = new widgets::ElidingLabel(Qt::ElideRight, Frame2);
    Label1->setObjectName(u"Label1"_s);
    Label1->move(16, 32);
    setCaption(Label1, kNamePrefix + u"NONE"_s);

    Frame3 = frame(this, u"Frame3"_s, u"外链地址"_s, {24, 264, 473, 65});
    Text2 = placed(new QLineEdit(Frame3), u"Text2"_s, u"外链地址"_s, {8, 24, 281, 18});
    Text2->setReadOnly(true);
    Command2 = button(Frame3, u"Command2"_s, u"复制"_s, {296, 16, 57, 33});
    Command3 = button(Frame3, u"Command3"_s, u"试听"_s, {352, 16, 57, 33});

    W1 = placed(new widgets::MediaPlayer(this), u"W1"_s, u"播放器"_s, {24, 392, 473, 41});

    S1 = new QStatusBar(this);
    S1->setObjectName(u"S1"_s);
    S1->setAccessibleName(u"状态栏"_s);
    S1->setSizeGripEnabled(false);
    S1->setGeometry(0, 449, kClientWidth, 33);
    Panel1 = panel(S1, u"Panel1"_s, u"运行提示："_s, Qt::AlignLeft);
    Panel1->setFixedWidth(96);
    Panel2 = panel(S1, u"Panel2"_s, u"正在检测最新版本"_s, Qt::AlignLeft);
    Panel3 = panel(S1, u"Panel3"_s, u"Quennet出品"_s, Qt::AlignHCenter);
    Panel3->setFixedWidth(96);
    S1->addWidget(Panel1, 0);
    S1->addWidget(Panel2, 1);
    S1->addWidget(Panel3, 0);

    Command4 = button(this, u"Command4"_s, u"访问酷我官网"_s, {408, 16, 89, 57});
    Command5 = button(this, u"Command5"_s, u"官方论坛"_s, {144, 336, 113, 41});
    Command6 = button(this, u"Command6"_s, u"Quennet官网"_s, {24, 336, 113, 41});
    Command7 = button(this, u"Command7"_s, u"Quennet推荐"_s, {264, 336, 113, 41});
    Command8 = button(this, u"Command8"_s, u"退出程序"_s, {384, 336, 113, 41});

    Text3 = placed(new QPlainTextEdit(Frame2), u"Text3"_s, u"歌词"_s, {16, 80, 281, 81});
    Text3->setReadOnly(true);
    Text3->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text3->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Command9 = button(Frame3, u"Command9"_s, u"下载"_s, {408, 16, 57, 33});
    WebBrowser1 =
        placed(new widgets::Downloader(m_desktop, Frame2), u"WebBrowser1"_s, u"下载器"_s, {120, 112, 17, 17});

    // The pictures take no place in the tab order.
    Image1 = placed(new QLabel(this), u"Image1"_s, u"歌手图片"_s, {16, 85, 164, 164});
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(placeholderPortrait()));
    aicAlphaImage1 =
        placed(new widgets::AlphaImage(this), u"aicAlphaImage1"_s, u"头像边框"_s, {16, 85, 164, 164});
    aicAlphaImage1->setImage(ringFrame());
    // The frame is decoration: clicks go through to the portrait.
    aicAlphaImage1->setAttribute(Qt::WA_TransparentForMouseEvents);

    // Each container's children from the top of the stacking to the bottom, as the
    // design lists them.
    stackTopToBottom({Command8, Command7, Command6, Command5, Command4, S1, Frame3, Frame2, Command1, Frame1,
                      aicAlphaImage1, Image1, W1});
    stackTopToBottom({Command9, Command3, Command2, Text2});
    stackTopToBottom({Text3, WebBrowser1, Label1, Label2});
}

void Form1::setCaption(widgets::ElidingLabel *label, const QString &caption)
{
    // The names come from the network: plain text (as rich text, markup in them would
    // render and <img> would read local files), shortened to the frame they are in.
    const int room = label->parentWidget()->width() - label->x() - 8;
    label->setFullText(caption);
    label->setAccessibleName(caption);
    label->resize(qMin(label->sizeHint().width(), room), label->sizeHint().height());
}

void Form1::setStatusText(const QString &text)
{
    Panel2->setText(text);
    Panel2->setAccessibleName(text);
}

QString Form1::statusText() const
{
    return Panel2->text();
}

QString Form1::address() const
{
    return Text1->text();
}

void Form1::setAddress(const QString &address)
{
    Text1->setText(address);
}

void Form1::setAddressEnabled(bool enabled)
{
    Text1->setEnabled(enabled);
}

bool Form1::isAddressEnabled() const
{
    return Text1->isEnabled();
}

void Form1::setResolveEnabled(bool enabled)
{
    Command1->setEnabled(enabled);
}

void Form1::showNames(const QString &songName, const QString &singerName)
{
    setCaption(Label1, kNamePrefix + songName);
    setCaption(Label2, kSingerPrefix + singerName);
}

void Form1::showLink(const QString &link)
{
    Text2->setText(link);
    Text2->setCursorPosition(0);
    // An error of the player's is about the link it tried, not this one.
    W1->clearError();
}

QString Form1::link() const
{
    return Text2->text();
}

void Form1::showLyrics(const QString &lyrics)
{
    Text3->setPlainText(lyrics);
}

void Form1::showPicture(const QImage &picture)
{
    if (picture.isNull())
        Image1->clear();
    else
        Image1->setPixmap(QPixmap::fromImage(picture));
}

void Form1::preview(const QString &link, const QString &title)
{
    W1->setURL(link);
    W1->setTitle(title);
}

void Form1::setPlayerVolume(int volume)
{
    W1->settings().setVolume(volume);
}

widgets::Downloader &Form1::webBrowser() const
{
    return *WebBrowser1;
}

void Form1::setDownloadsSilent(bool silent)
{
    WebBrowser1->setSilent(silent);
}

void Form1::Command1_Click()
{
    emit resolveRequested();
}

void Form1::Command2_Click()
{
    emit copyRequested();
}

void Form1::Command3_Click()
{
    emit previewRequested();
}

void Form1::Command4_Click()
{
    emit kuwoHomeRequested();
}

void Form1::Command5_Click()
{
    emit forumRequested();
}

void Form1::Command6_Click()
{
    emit homeRequested();
}

void Form1::Command7_Click()
{
    emit recommendRequested();
}

void Form1::Command8_Click()
{
    close();
}

void Form1::Command9_Click()
{
    emit downloadRequested();
}

void Form1::Text1_DblClick()
{
    emit pasteRequested();
}

QRect Form1::addressArea() const
{
    const QRect address(Text1->mapToGlobal(QPoint(0, 0)), Text1->size());
    const QRect button(Command1->mapToGlobal(QPoint(0, 0)), Command1->size());
    return address.united(button);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    bool allowed = true;
    // The query runs inside the close event: nothing it throws may leave into the loop.
    try {
        allowed = !m_closeQuery || m_closeQuery();
    } catch (const std::exception &error) {
        qWarning("close query: %s", error.what());
    } catch (...) {
        qWarning("close query: unknown error");
    }
    if (!allowed) {
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
    emit closed();
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace corvane::ui
