#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace corvane::platform {

// Opens a web page in the system's browser: one detached process, no shell, nothing
// waited for or kept; when that program cannot be started, the desktop's own way of
// opening addresses.
class PageOpener final
{
public:
    using Starter = std::function<bool(const QString &program, const QStringList &arguments)>;

    // Returns whether the process could be started.
    static bool open(const QString &address);
    static QString program();

    // For tests: record instead of start. An empty starter restores the real one.
    static void setStarter(Starter starter);
};

} // namespace corvane::platform
