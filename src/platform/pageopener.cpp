#include "pageopener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace corvane::platform {
namespace {

PageOpener::Starter &starter()
{
    static PageOpener::Starter current;
    return current;
}

} // namespace

QString PageOpener::program()
{
#ifdef Q_OS_WIN
    return u"explorer.exe"_s;
#else
    return u"xdg-open"_s;
#endif
}

bool PageOpener::open(const QString &address)
{
    const bool started =
        starter() ? starter()(program(), {address}) : QProcess::startDetached(program(), {address});
    if (started)
        return true;
    // No xdg-open (a minimal desktop) or no explorer.exe: whatever the desktop offers.
    return QDesktopServices::openUrl(QUrl(address));
}

void PageOpener::setStarter(Starter newStarter)
{
    starter() = std::move(newStarter);
}

} // namespace corvane::platform
