#pragma once

#include <functional>

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include "desktop/desktop.h"

namespace corvane::testing {

// A desktop that shows nothing: it answers boxes from a script, records every box, page
// and save dialog, and chooses save paths through a function the test sets.
class ScriptedDesktop final : public desktop::Desktop
{
public:
    struct Box
    {
        QString text;
        desktop::MessageStyle style;
    };

    // The next boxes are answered with these, in order; with none queued, OK boxes get
    // OK and the others Cancel, so that an unexpected box cannot block a headless run.
    void queueAnswer(desktop::MessageAnswer answer) { m_answers.enqueue(answer); }
    // Starting a page reports this: false makes the page "cannot be started".
    void setPagesOpen(bool open) { m_pagesOpen = open; }
    // Chooses the save path from the suggested one; unset, every save dialog is cancelled.
    void setSaveChooser(std::function<QString(const QString &suggested)> chooser)
    {
        m_chooser = std::move(chooser);
    }

    // The file type the save dialogs choose (an index); -1: the one each opens on.
    void setSaveFileType(int fileType) { m_fileType = fileType; }

    // Chooses the folder a list is saved into; unset, every folder dialog is cancelled.
    void setFolderChooser(std::function<QString(const QString &start)> chooser) { m_folderChooser = std::move(chooser); }

    // Forgets every answer, record and setting.
    void reset()
    {
        folderStarts.clear();
        openedFolders.clear();
        m_folderChooser = nullptr;
        boxes.clear();
        pages.clear();
        suggestedPaths.clear();
        offeredFileTypes.clear();
        fileTypesOpenedOn.clear();
        m_fileType = -1;
        m_answers.clear();
        m_pagesOpen = true;
        m_chooser = nullptr;
    }

    QList<Box> boxes;
    QStringList pages;
    QStringList suggestedPaths;
    // The save dialog's file types as last offered, and the one each dialog opened on.
    QStringList offeredFileTypes;
    QList<int> fileTypesOpenedOn;
    QStringList folderStarts;

    desktop::MessageAnswer showMessage(QWidget *, const QString &text, desktop::MessageStyle style) override
    {
        boxes.append({text, style});
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        const bool okOnly =
            style == desktop::MessageStyle::Warning || style == desktop::MessageStyle::Information;
        return okOnly ? desktop::MessageAnswer::vbOK : desktop::MessageAnswer::vbCancel;
    }
    bool openPage(const QString &address) override
    {
        pages.append(desktop::pageOpenerProgram() + u' ' + address);
        return m_pagesOpen;
    }
    QString chooseSavePath(QWidget *, const QString &suggestedPath, const QStringList &fileTypes,
                           int &fileType) override
    {
        suggestedPaths.append(suggestedPath);
        offeredFileTypes = fileTypes;
        fileTypesOpenedOn.append(fileType);
        if (m_fileType >= 0)
            fileType = m_fileType;
        return m_chooser ? m_chooser(suggestedPath) : QString();
    }

    QString chooseFolder(QWidget *, const QString &startFolder) override
    {
        folderStarts.append(startFolder);
        return m_folderChooser ? m_folderChooser(startFolder) : QString();
    }

    bool openFolder(const QString &folder) override
    {
        openedFolders.append(folder);
        return true;
    }
    QStringList openedFolders;

private:
    std::function<QString(const QString &)> m_folderChooser;
    QQueue<desktop::MessageAnswer> m_answers;
    bool m_pagesOpen = true;
    int m_fileType = -1;
    std::function<QString(const QString &)> m_chooser;
};

} // namespace corvane::testing
