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

// 晴天 by 周杰伦 with a plain red picture, so that a test can tell whose picture is shown.
inline FakeSong sunnyDay(QByteArray id = "1001")
{
    return {.id = std::move(id),
            .name = QStringLiteral("晴天"),
            .singer = QStringLiteral("周杰伦"),
            .lyrics = {QStringLiteral("故事的小黄花"), QStringLiteral("从出生那年就飘着")},
            .title = QStringLiteral("晴天_周杰伦_酷我音乐"),
            .picture = pngOf(Qt::red)};
}

// A second song: every result differs from the first's.
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
