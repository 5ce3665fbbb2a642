#pragma once

#include <QPointer>
#include <QString>

#include "httpfetch.h"
#include "lyricsgate.h"
#include "pictureloader.h"

namespace corvane {

// Where the tool finds the music service and the maker's servers, and the bounds of its
// fetches. The program uses the build's configuration; tests point it at a local server.
struct ServiceConfig
{
    QString webHost;      // song pages: "http://" + webHost + "/yinyue/" + id
    QString linkHost;     // link conversion
    QString metadataHost; // metadata records
    // The service as it answers today, for an address whose classic page yields no names.
    QString payHost;     // song records: music.pay
    QString lyricHost;   // lyrics: newlyric.lrc
    QString pictureHost; // picture addresses: pic.web
    // The service's lists of songs.
    QString playlistHost; // playlists: pl.svc
    QString searchHost;   // albums, singers and search: r.s
    // The signed links of the higher qualities: mobi.s, asked with `qualitySource`.
    QString qualityHost;
    QString qualitySource;
    QString versionHost; // "/soft/version/main.txt"
    QString kuwoHomePage;
    QString forumPage;
    QString homePage;
    QString resourcePage;
    QString updateForumPage; // opened by the version check alone
    // Off: the start-up opens the window as if the check had found this version, and
    // asks nothing.
    bool checkForUpdates = true;
    // Whether the links and picture addresses the service hands out may name this machine
    // or its network (isLocalHost). Only a service that runs there itself does that (the
    // tests' and the benchmarks' own, on loopback: onOrigin); from the service on the
    // network such an address is a bad answer.
    bool localLinks = false;
    // The gate every lyric request of the program goes through (one, owned by the
    // commands); none: a lone resolution asks at once (a list makes a gate of its own).
    QPointer<LyricsGate> lyricsGate;
    FetchLimits fetch;
    FetchLimits picture = kPictureLimits;
    // How long asking a today link for its size may take (see servesNotice).
    std::chrono::milliseconds sizeCheckTimeout = std::chrono::seconds(10);

    QString songPagePrefix() const
    {
        return QStringLiteral("http://") + webHost + QStringLiteral("/yinyue/");
    }
    QString versionFileUrl() const
    {
        return QStringLiteral("http://") + versionHost + QStringLiteral("/soft/version/main.txt");
    }

    // The hosts and pages the build was configured with.
    static ServiceConfig fromBuild();
    // Every host and page on one origin such as "127.0.0.1:8080".
    static ServiceConfig onOrigin(const QString &hostAndPort);
};

} // namespace corvane
