#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

class QWidget;

namespace corvane::desktop {

// Message box styles: icon plus buttons, by the numbers the design gives them.
enum class MessageStyle {
    Warning,                // warning icon, OK
    Information,            // information icon, OK
    InformationYesNoCancel, // information icon, Yes No Cancel
    InformationYesNo,       // information icon, Yes No
};

// The button that closed a message box.
enum class MessageAnswer : int {
    vbOK = 1,
    vbCancel = 2, // also Esc, the close box, or the application quitting
    vbYes = 6,
    vbNo = 7,
};

// Everything the tool asks of the desktop: the one seam that tests replace. The program
// passes SystemDesktop; tests pass a scripted one that answers and records.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // An application-modal box titled messageBoxTitle(); the text is plain, with CR, LF
    // and CR LF each breaking a line.
    virtual MessageAnswer showMessage(QWidget *parent, const QString &text, MessageStyle style) = 0;
    // Opens a web page in the system's browser; whether anything could be started.
    virtual bool openPage(const QString &address) = 0;
    // Where to save a download, starting from the suggested path; empty: cancelled. With
    // `fileTypes` ("名称 (*.ext)"), the dialog offers them, opening on `fileType` (an index),
    // and `fileType` says which was chosen; without, it offers MP3 and all files.
    virtual QString chooseSavePath(QWidget *parent, const QString &suggestedPath, const QStringList &fileTypes,
                                   int &fileType) = 0;
    // The folder a list of songs is saved into, starting in `startFolder`; empty: cancelled.
    virtual QString chooseFolder(QWidget *parent, const QString &startFolder) = 0;
    // Opens `folder` in the desktop's file manager; whether anything could be started.
    virtual bool openFolder(const QString &folder) = 0;
};

// The real desktop: QMessageBox with Chinese buttons, one detached xdg-open (or
// explorer.exe) per page with QDesktopServices as the fallback, QFileDialog for saving.
class SystemDesktop final : public Desktop
{
public:
    MessageAnswer showMessage(QWidget *parent, const QString &text, MessageStyle style) override;
    bool openPage(const QString &address) override;
    QString chooseSavePath(QWidget *parent, const QString &suggestedPath, const QStringList &fileTypes,
                           int &fileType) override;
    QString chooseFolder(QWidget *parent, const QString &startFolder) override;
    bool openFolder(const QString &folder) override;
};

// The save dialog as chooseSavePath shows it: `fileTypes` (else the MP3 filter and "所有文件"),
// `fileType` chosen, and the chosen type's extension added to a name typed without it (none
// while "所有文件" is chosen).
void setUpSaveDialog(QFileDialog &dialog, const QStringList &fileTypes = {}, int fileType = 0);

// The folder dialog as chooseFolder shows it: folders only, its texts in Chinese.
void setUpFolderDialog(QFileDialog &dialog);
// Qt's own folder dialog takes a new folder's name typed into it: the folder is made
// when the dialog is accepted (a native dialog has its own way).
class FolderDialog final : public QFileDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderDialog)

public:
    using QFileDialog::QFileDialog;
    ~FolderDialog() override;

    void accept() override;
};

// Where a box with no visible window under it goes: centred on the screen the window
// will appear on. Boxes over a visible window are placed by Qt over that window.
void placeOnScreen(QWidget &box);

// "Quennet系列软件": the title of every message box.
QString messageBoxTitle();
// The program that opens web pages: "explorer.exe" on Windows, "xdg-open" elsewhere.
QString pageOpenerProgram();

// `path` in the local 8-bit encoding, for a library that takes its paths that way (the
// ANSI code page on Windows). Where that encoding cannot hold the path, as a Chinese
// folder on a Western Windows, the file's short 8.3 name is given instead, which it can.
QByteArray localEightBitPath(const QString &path);

} // namespace corvane::desktop
