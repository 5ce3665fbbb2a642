#pragma once

// Records what a resolution reports, in order, for the core's tests.

#include <QImage>
#include <QStringList>

#include "core/errors.h"
#include "core/songresolver.h"

namespace corvane::testing {

class ReportRecorder final : public SongReports
{
public:
    void NamesReady(const QString &SongName, const QString &SingerName) override
    {
        record(QStringLiteral("names"));
        songName = SongName;
        singerName = SingerName;
    }
    void LinkReady(const QString &DirectLink) override
    {
        record(QStringLiteral("link"));
        link = DirectLink;
    }
    void LyricsReady(const QString &LyricsText) override
    {
        record(QStringLiteral("lyrics"));
        lyrics = LyricsText;
    }
    void PictureReady(const QImage &image) override
    {
        record(QStringLiteral("picture"));
        picture = image;
    }

    QStringList calls;
    QString throwAt;              // the report that throws, as a receiver may
    QString songName, singerName, link, lyrics;
    QImage picture;

private:
    void record(const QString &call)
    {
        calls << call;
        if (call == throwAt)
            throw ContentError("control refused");
    }
};

} // namespace corvane::testing
