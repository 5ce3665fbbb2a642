#include "serviceconfig.h"

#include <corvane/buildconfig.h>

using namespace Qt::StringLiterals;

namespace corvane {

ServiceConfig ServiceConfig::fromBuild()
{
    ServiceConfig config;
    config.webHost = build::kuwoWebHost.toString();
    config.linkHost = build::kuwoLinkHost.toString();
    config.metadataHost = build::kuwoMetadataHost.toString();
    config.payHost = build::kuwoPayHost.toString();
    config.lyricHost = build::kuwoLyricHost.toString();
    config.pictureHost = build::kuwoPictureHost.toString();
    config.playlistHost = build::kuwoPlaylistHost.toString();
    config.searchHost = build::kuwoSearchHost.toString();
    config.qualityHost = build::kuwoQualityHost.toString();
    config.qualitySource = build::kuwoQualitySource.toString();
    config.versionHost = build::versionHost.toString();
    config.kuwoHomePage = build::kuwoHomePage.toString();
    config.forumPage = build::forumPage.toString();
    config.homePage = build::homePage.toString();
    config.resourcePage = build::resourcePage.toString();
    config.updateForumPage = build::updateForumPage.toString();
    config.checkForUpdates = build::updateCheck;
    return config;
}

ServiceConfig ServiceConfig::onOrigin(const QString &hostAndPort)
{
    ServiceConfig config;
    config.webHost = config.linkHost = config.metadataHost = config.versionHost = hostAndPort;
    config.payHost = config.lyricHost = config.pictureHost = hostAndPort;
    config.playlistHost = config.searchHost = config.qualityHost = hostAndPort;
    config.qualitySource = build::kuwoQualitySource.toString();
    config.localLinks = true;
    const QString origin = u"http://"_s + hostAndPort;
    config.kuwoHomePage = origin + u"/kuwo-home"_s;
    config.forumPage = origin + u"/forum"_s;
    config.homePage = origin + u"/home"_s;
    config.resourcePage = origin + u"/resource"_s;
    config.updateForumPage = origin + u"/update-forum"_s;
    return config;
}

} // namespace corvane
