#include <QApplication>
#include <QIcon>
#include <QNetworkProxyFactory>

#include "app/commands.h"
#include "app/lifecycle.h"
#include "core/proxyfactory.h"
#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "desktop/settings.h"
#include "ui/form1.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(corvane::build::version.toString());
    corvane::app::installQtTranslations(application);
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(corvane::build::appId.toString());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/corvane.png")));
    // http_proxy and no_proxy as curl reads them, on every platform; else the system's.
    QNetworkProxyFactory::setApplicationProxyFactory(new corvane::EnvironmentProxyFactory);
    corvane::desktop::SystemDesktop desktop;
    auto settings = corvane::desktop::Settings::platform();
    corvane::ServiceConfig config = corvane::ServiceConfig::fromBuild();
    config.qualitySource =
        corvane::app::qualitySource(config.qualitySource, *settings, QProcessEnvironment::systemEnvironment());
    const auto form = corvane::app::makeWindow(std::move(config), desktop, std::move(settings));
    return corvane::app::run(corvane::app::commandsOf(*form), QCoreApplication::applicationDirPath());
}
