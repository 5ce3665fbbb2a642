#include "messagebox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>

using namespace Qt::StringLiterals;

namespace corvane::platform {
namespace {

QQueue<int> &queuedAnswers()
{
    static QQueue<int> answers;
    return answers;
}

QList<MessageBox::Shown> &shownBoxes()
{
    static QList<MessageBox::Shown> boxes;
    return boxes;
}

bool &unattended()
{
    static bool on = false;
    return on;
}

} // namespace

QString MessageBox::title()
{
    return u"Quennet系列软件"_s;
}

int MessageBox::show(QWidget *parent, const QString &text, int style)
{
    shownBoxes().append({text, style});
    if (!queuedAnswers().isEmpty())
        return queuedAnswers().dequeue();
    if (unattended())
        return style == vbInformationYesNoCancel || style == vbInformationYesNo ? vbCancel : vbOK;

    QString display = text;
    display.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');

    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setWindowTitle(title());
    box->setTextFormat(Qt::PlainText);
    box->setText(display);
    box->setWindowModality(Qt::ApplicationModal);
    switch (style) {
    case vbExclamationOk:
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case vbInformationYesNoCancel:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case vbInformationYesNo:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        break;
    default:
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
    const int pressed = box->exec();
    delete box;
    switch (pressed) {
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    case QMessageBox::Ok:
        return vbOK;
    default:
        // Esc, the box's close button, or an event loop ended by the application quitting.
        return vbCancel;
    }
}

void MessageBox::setUnattended(bool on)
{
    unattended() = on;
}

void MessageBox::queueAnswer(int answer)
{
    queuedAnswers().enqueue(answer);
}

QList<MessageBox::Shown> MessageBox::shown()
{
    return shownBoxes();
}

void MessageBox::clear()
{
    shownBoxes().clear();
    queuedAnswers().clear();
}

} // namespace corvane::platform
