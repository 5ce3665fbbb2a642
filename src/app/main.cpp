#include <QApplication>
#include <QNetworkProxyFactory>

#include "app/lifecycle.h"
#include "corvane/buildconfig.h"
#include "ui/form1.h"

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(corvane::build::version.toString());
    corvane::app::installQtTranslations(application);
    // Honour http_proxy and no_proxy, as the player does.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    corvane::ui::Form1 form(corvane::ServiceConfig::fromBuild());
    return corvane::app::run(form, QCoreApplication::applicationDirPath());
}
