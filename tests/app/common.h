#pragma once

// The songs the window tests resolve on the fake music service, and waiting for them.

#include <QPushButton>
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

// Waits until the resolution that Command1 started has ended, whichever way: the button
// is enabled again then.
inline bool resolutionEnded(const QPushButton *command1, int timeoutMs = 20000)
{
    return QTest::qWaitFor([command1] { return command1->isEnabled(); }, timeoutMs);
}

} // namespace corvane::testing
