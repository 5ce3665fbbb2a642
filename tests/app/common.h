#pragma once

// The songs the window tests resolve on the fake music service.

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

} // namespace corvane::testing
