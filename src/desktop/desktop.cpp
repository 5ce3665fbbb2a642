#include "desktop.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QProcess>
#include <QScreen>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace corvane::desktop {

QString messageBoxTitle()
{
    return u"Quennet系列软件"_s;
}

QByteArray localEightBitPath(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    if (QFile::decodeName(local) == path)
        return local;
#ifdef Q_OS_WIN
    const std::wstring wide = QDir::toNativeSeparators(path).toStdWString();
    const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0)
        return local; // no such file, or short names are off on that volume
    std::wstring shortPath(needed, L'\0');
    const DWORD written = GetShortPathNameW(wide.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed)
        return local;
    shortPath.resize(written);
    return QFile::encodeName(QString::fromStdWString(shortPath));
#else
    return local;
#endif
}

QString pageOpenerProgram()
{
#ifdef Q_OS_WIN
    return u"explorer.exe"_s;
#else
    return u"xdg-open"_s;
#endif
}

MessageAnswer SystemDesktop::showMessage(QWidget *parent, const QString &text, MessageStyle style)
{
    QString display = text;
    display.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');

    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setWindowTitle(messageBoxTitle());
    box->setTextFormat(Qt::PlainText);
    box->setText(display);
    box->setWindowModality(Qt::ApplicationModal);
    // The design's MsgBox styles: Warning 48 (vbExclamation), Information 64
    // (vbInformation), InformationYesNoCancel 67 (64 + vbYesNoCancel), InformationYesNo 68
    // (64 + vbYesNo).
    switch (style) {
    case MessageStyle::Warning:
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::InformationYesNoCancel:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageStyle::InformationYesNo:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        break;
    case MessageStyle::Information:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    }
    // The buttons speak the tool's language, as the system's boxes do on a Chinese desktop.
    const QList<QPair<QMessageBox::StandardButton, QString>> captions{{QMessageBox::Ok, u"确定"_s},
                                                                      {QMessageBox::Yes, u"是(&Y)"_s},
                                                                      {QMessageBox::No, u"否(&N)"_s},
                                                                      {QMessageBox::Cancel, u"取消"_s}};
    for (const auto &[which, caption] : captions) {
        if (QAbstractButton *button = box->button(which))
            button->setText(caption);
    }
    if (!parent || !parent->isVisible())
        placeOnScreen(*box);
    const int pressed = box->exec();
    delete box;
    switch (pressed) {
    case QMessageBox::Yes:
        return MessageAnswer::vbYes;
    case QMessageBox::No:
        return MessageAnswer::vbNo;
    case QMessageBox::Ok:
        return MessageAnswer::vbOK;
    default:
        // Esc, the box's close button, or an event loop ended by the application quitting.
        return MessageAnswer::vbCancel;
    }
}

bool SystemDesktop::openPage(const QString &address)
{
    // One detached process, no shell, nothing waited for or kept.
    if (QProcess::startDetached(pageOpenerProgram(), {address}))
        return true;
    // No xdg-open (a minimal desktop) or no explorer.exe: whatever the desktop offers.
    return QDesktopServices::openUrl(QUrl(address));
}

namespace {

// "mp3" for "… (*.mp3)"; empty for "所有文件 (*)".
QString suffixOf(const QString &filter)
{
    static const QRegularExpression pattern(u"\\(\\*\\.([A-Za-z0-9]+)\\)$"_s);
    return pattern.match(filter).captured(1);
}

} // namespace

void setUpSaveDialog(QFileDialog &dialog, const QStringList &fileTypes, int fileType)
{
    const QStringList filters = fileTypes.isEmpty() ? QStringList{u"MP3 音频 (*.mp3)"_s, u"所有文件 (*)"_s} : fileTypes;
    const QString chosen = filters.value(fileType, filters.first());
    dialog.setWindowTitle(u"保存文件"_s);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(chosen);
    dialog.setDefaultSuffix(suffixOf(chosen));
    // Qt's own dialog changes the name's extension with the type by itself.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString &filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
}

QString SystemDesktop::chooseSavePath(QWidget *parent, const QString &suggestedPath, const QStringList &fileTypes,
                                      int &fileType)
{
    // The suggested path opens its folder with its name filled in.
    QFileDialog dialog(parent, QString(), suggestedPath);
    setUpSaveDialog(dialog, fileTypes, fileType);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    fileType = qMax(0, dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().value(0);
}

void setUpFolderDialog(QFileDialog &dialog)
{
    dialog.setWindowTitle(u"选择保存文件夹"_s);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog, where the platform has no other: its texts are set here whether
    // or not Qt's translations are found. A system's dialog speaks the system's language.
    dialog.setLabelText(QFileDialog::LookIn, u"查找范围："_s);
    dialog.setLabelText(QFileDialog::FileName, u"文件夹："_s);
    dialog.setLabelText(QFileDialog::FileType, u"类型："_s);
    dialog.setLabelText(QFileDialog::Accept, u"选择文件夹"_s);
    dialog.setLabelText(QFileDialog::Reject, u"取消"_s);
}

FolderDialog::~FolderDialog() = default;

void FolderDialog::accept()
{
    // A name typed in the current folder: made there, one level only; a path that is not
    // there at all is Qt's to refuse.
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1) {
        const QFileInfo folder(chosen.first());
        if (!folder.exists() && folder.dir().exists())
            folder.dir().mkdir(folder.fileName());
    }
    QFileDialog::accept();
}

bool SystemDesktop::openFolder(const QString &folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString SystemDesktop::chooseFolder(QWidget *parent, const QString &startFolder)
{
    FolderDialog dialog(parent, QString(), startFolder);
    setUpFolderDialog(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void placeOnScreen(QWidget &box)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    box.adjustSize();
    QRect frame = box.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    box.move(frame.topLeft());
}

} // namespace corvane::desktop
