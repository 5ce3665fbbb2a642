#include "pageopener.h"

#include <QProcess>

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
    if (starter())
        return starter()(program(), {address});
    return QProcess::startDetached(program(), {address});
}

void PageOpener::setStarter(Starter newStarter)
{
    starter() = std::move(newStarter);
}

} // namespace corvane::platform
