#include "form1.h"

#include <QAccessibleWidget>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "addressedit.h"
#include "core/errors.h"
#include "core/filename.h"
#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "pictures.h"
#include "widgets/alphaimage.h"
#include "widgets/downloader.h"
#include "widgets/mediaplayer.h"

using namespace Qt::StringLiterals;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;

namespace corvane::ui {
namespace {

constexpr int kClientWidth = 513;
constexpr int kClientHeight = 482;

const QString kNamePrefix = u"音乐名称："_s;
const QString kSingerPrefix = u"歌手名称："_s;

// A handler's errors end it at the failing step; none may leave into the event loop.
template <typename Handler> void guarded(const char *name, Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        qWarning("%s: %s", name, error.what());
    } catch (...) {
        qWarning("%s: unknown error", name);
    }
}

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

// Puts each result into its control the moment it is settled. Once the window has
// closed, nothing is written: the resolution winds up instead.
class Form1::Reports final : public SongReports
{
public:
    explicit Reports(Form1 &form) : m_form(form) {}

    void NamesReady(const QString &SongName, const QString &SingerName) override
    {
        checkOpen();
        m_form.setCaption(m_form.Label1, kNamePrefix + SongName);
        m_form.setCaption(m_form.Label2, kSingerPrefix + SingerName);
    }
    void LinkReady(const QString &DirectLink) override
    {
        checkOpen();
        m_form.Text2->setText(DirectLink);
        m_form.Text2->setCursorPosition(0);
        // The link's own song, for the file name and the player: after a later failure
        // the labels may already name another song.
        m_form.m_linkSong = {DirectLink, m_form.m_song.SingerName,
                             fullSongNameFromPage(m_form.m_song.PageText)};
    }
    void LyricsReady(const QString &LyricsText) override
    {
        checkOpen();
        m_form.Text3->setPlainText(LyricsText);
    }
    void PictureReady(const QImage &picture) override
    {
        checkOpen();
        if (picture.isNull())
            m_form.Image1->clear();
        else
            m_form.Image1->setPixmap(QPixmap::fromImage(picture));
    }

private:
    void checkOpen() const
    {
        if (m_form.m_closed)
            throw FetchAbandoned("window closed");
    }

    Form1 &m_form;
};

Form1::Form1(ServiceConfig config, desktop::Desktop &desktop, QWidget *parent)
    : QWidget(parent), m_config(std::move(config)), m_desktop(desktop)
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
    connect(Text1, &AddressEdit::doubleClicked, this, &Form1::Text1_DblClick);
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
    Text1 = placed(new AddressEdit(Frame1), u"Text1"_s, u"音乐地址"_s, {8, 24, 281, 18});
    Text1->setEnabled(false);
    Command1 = button(this, u"Command1"_s, u"获取外链地址"_s, {320, 16, 89, 57});
    Command1->setEnabled(false);

    Frame2 = frame(this, u"Frame2"_s, u"音乐信息"_s, {192, 80, 305, 169});
    Label2 = new QLabel(Frame2);
    Label2->setObjectName(u"Label2"_s);
    Label2->move(16, 56);
    setCaption(Label2, kSingerPrefix + u"NONE"_s);
    Label1 = new QLabel(Frame2);
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

void Form1::setCaption(QLabel *label, const QString &caption)
{
    label->setWordWrap(false);
    label->setText(caption);
    label->setAccessibleName(caption);
    label->adjustSize();
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

void Form1::Command1_Click()
{
    guarded("resolve", [this] {
        const QString enterAddress = u"请输入酷我音乐地址.."_s;
        const QString failed = u"获取出错,请您检查地址是否正确!"_s;

        // One reading for the whole resolution: an edit made while it waits belongs to
        // the next one, and reading again would mix two songs in one result.
        const QString address = Text1->text();
        if (address.isEmpty()) {
            setStatusText(enterAddress);
            m_desktop.showMessage(this, enterAddress, MessageStyle::vbInformationOk);
        } else {
            Command1->setEnabled(false);
            setStatusText(u"正在获取音乐信息.."_s);
            bool succeeded = false;
            try {
                Reports reports(*this);
                ResolveSong(
                    m_song, [&address] { return address; }, reports, m_config);
                succeeded = true;
            } catch (const FetchAbandoned &) {
                return; // the window has closed: nothing more to show
            } catch (const std::exception &) {
                succeeded = false;
            }
            if (m_closed)
                return;
            if (succeeded) {
                setStatusText(u"音乐获取成功.."_s);
            } else {
                setStatusText(failed);
                m_desktop.showMessage(this, failed, MessageStyle::vbInformationOk);
            }
        }
        if (!m_closed)
            Command1->setEnabled(true);
    });
}

void Form1::Command2_Click()
{
    guarded("copy", [this] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(Text2->text());
        setStatusText(u"外链地址已复制.."_s);
    });
}

void Form1::Command3_Click()
{
    guarded("preview", [this] {
        const QString link = Text2->text();
        W1->setURL(link);
        W1->setTitle(isLinkOfLastSong(link) ? songTitle(m_linkSong.singer, m_linkSong.name) : QString());
    });
}

void Form1::Command4_Click()
{
    guarded("kuwo home", [this] { m_desktop.openPage(m_config.kuwoHomePage); });
}

void Form1::Command5_Click()
{
    guarded("forum", [this] { m_desktop.openPage(m_config.forumPage); });
}

void Form1::Command6_Click()
{
    guarded("home", [this] { m_desktop.openPage(m_config.homePage); });
}

void Form1::Command7_Click()
{
    guarded("recommend", [this] {
        const QString text =
            u"Ostrel 2014"_s + u"\r\n"_s + u"\r\n"_s + u"宅男超强资源神器,是否现在立刻拥有?"_s;
        if (m_desktop.showMessage(this, text, MessageStyle::vbInformationYesNo) == MessageAnswer::vbYes)
            m_desktop.openPage(m_config.resourcePage);
    });
}

void Form1::Command8_Click()
{
    guarded("exit", [this] { close(); });
}

void Form1::Command9_Click()
{
    guarded("download", [this] {
        const QString link = Text2->text();
        WebBrowser1->Navigate(link, isLinkOfLastSong(link) ? songFileName(m_linkSong.singer, m_linkSong.name)
                                                           : QString());
    });
}

bool Form1::isLinkOfLastSong(const QString &link) const
{
    return !link.isEmpty() && link == m_linkSong.link;
}

void Form1::Text1_DblClick()
{
    guarded("paste", [this] { Text1->setText(QGuiApplication::clipboard()->text()); });
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    bool allowed = true;
    guarded("close query", [&] { allowed = !m_closeQuery || m_closeQuery(); });
    if (!allowed) {
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
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
