#pragma once

// The window's controls, found by their design names as a screen reader finds them:
// tests drive the window through its controls, not through its insides.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include "widgets/alphaimage.h"
#include "widgets/downloader.h"
#include "widgets/mediaplayer.h"

namespace corvane::testing {

struct Form1Controls
{
    explicit Form1Controls(QWidget &form) : m_form(form) {}

    QWidget &m_form;

    template <typename Widget> Widget *find(const char *name) const
    {
        auto *widget = m_form.findChild<Widget *>(QLatin1StringView(name));
        if (!widget)
            qFatal("Form1 has no %s of that type", name);
        return widget;
    }

    QLineEdit *const Text1 = find<QLineEdit>("Text1");
    QLineEdit *const Text2 = find<QLineEdit>("Text2");
    QPlainTextEdit *const Text3 = find<QPlainTextEdit>("Text3");
    QPushButton *const Command1 = find<QPushButton>("Command1");
    QPushButton *const Command2 = find<QPushButton>("Command2");
    QPushButton *const Command3 = find<QPushButton>("Command3");
    QPushButton *const Command4 = find<QPushButton>("Command4");
    QPushButton *const Command5 = find<QPushButton>("Command5");
    QPushButton *const Command6 = find<QPushButton>("Command6");
    QPushButton *const Command7 = find<QPushButton>("Command7");
    QPushButton *const Command8 = find<QPushButton>("Command8");
    QPushButton *const Command9 = find<QPushButton>("Command9");
    QLabel *const Label1 = find<QLabel>("Label1");
    QLabel *const Label2 = find<QLabel>("Label2");
    QLabel *const Image1 = find<QLabel>("Image1");
    widgets::AlphaImage *const aicAlphaImage1 = find<widgets::AlphaImage>("aicAlphaImage1");
    QStatusBar *const S1 = find<QStatusBar>("S1");
    QLabel *const Panel1 = find<QLabel>("Panel1");
    QLabel *const Panel2 = find<QLabel>("Panel2");
    QLabel *const Panel3 = find<QLabel>("Panel3");
    widgets::MediaPlayer *const W1 = find<widgets::MediaPlayer>("W1");
    widgets::Downloader *const WebBrowser1 = find<widgets::Downloader>("WebBrowser1");
};

} // namespace corvane::testing
