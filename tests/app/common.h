#pragma once

// The songs the window tests resolve on the fake music service, and waiting for them.

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include "core/versioncheck.h"
#include "musicservice.h"
#include "pictures.h"

namespace corvane::testing {

// A version file naming this build's own version: the up-to-date outcome.
inline QByteArray ownVersionFile()
{
    return "mqvt:" + kOwnVersion.toUtf8() + "|";
}

// A second song beside sunnyDay(): every result differs from the first's.
inline FakeSong otherSong(QByteArray id = "1002")
{
    return {.id = std::move(id),
            .name = QStringLiteral("七里香"),
            .singer = QStringLiteral("另一位"),
            .lyrics = {QStringLiteral("窗外的麻雀")},
            .title = QStringLiteral("七里香_周杰伦"),
            .picture = pngOf(Qt::blue)};
}

namespace detail {
// Ends a local event loop when the widget it watches becomes enabled.
class EnabledWatch final : public QObject
{
public:
    explicit EnabledWatch(QEventLoop &loop) : m_loop(loop) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange && static_cast<QWidget *>(watched)->isEnabled())
            m_loop.quit();
        return false;
    }

private:
    QEventLoop &m_loop;
};
} // namespace detail

// Waits until the resolution that Command1 started has ended, whichever way: the button
// is enabled again then. Woken by the change, not polled: a poll sleeps 10 ms a round,
// and a resolution against a server in this thread takes dozens of rounds.
inline bool resolutionEnded(QPushButton *command1, int timeoutMs = 20000)
{
    if (command1->isEnabled())
        return true;
    QEventLoop loop;
    detail::EnabledWatch watch(loop);
    command1->installEventFilter(&watch);
    // A timer of its own, gone with the wait: a single-shot one would outlive it by
    // `timeoutMs`, and a hundred waits in a row would pile them up.
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    loop.exec();
    command1->removeEventFilter(&watch);
    return command1->isEnabled();
}

} // namespace corvane::testing
