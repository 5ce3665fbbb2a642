#include <QApplication>
#include <QNetworkProxyFactory>

#include "app/lifecycle.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.5"));
    // Honour http_proxy and no_proxy, as the player does.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    return corvane::app::run(corvane::ServiceConfig::fromBuild(), QCoreApplication::applicationDirPath());
}
