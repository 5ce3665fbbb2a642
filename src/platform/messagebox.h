#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace corvane::platform {

// Style numbers: icon plus buttons, as the callers pass them.
enum MessageStyle : int {
    vbExclamationOk = 48,
    vbInformationOk = 64,
    vbInformationYesNoCancel = 67,
    vbInformationYesNo = 68,
};

// Answers.
enum MessageAnswer : int {
    vbOK = 1,
    vbCancel = 2,
    vbYes = 6,
    vbNo = 7,
};

// The application-modal message box. Every box bears the same title; the text is shown
// as plain text, with CR, LF and CR LF each breaking a line.
class MessageBox final
{
public:
    struct Shown
    {
        QString text;
        int style;
    };

    static QString title();
    static int show(QWidget *parent, const QString &text, int style);

    // For tests: the next boxes are answered with these instead of being shown.
    static void queueAnswer(int answer);
    // For tests: with no queued answer, answer OK boxes with OK and others with Cancel
    // instead of showing them, so that an unexpected box cannot block a headless run.
    static void setUnattended(bool unattended);
    // Every box asked for since the last clear, answered or shown.
    static QList<Shown> shown();
    static void clear();
};

} // namespace corvane::platform
