#include "proxyfactory.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace corvane {

EnvironmentProxyFactory::EnvironmentProxyFactory(QProcessEnvironment environment)
    : m_environment(std::move(environment))
{
}

QString EnvironmentProxyFactory::variable(const char *lowerName) const
{
    const QString lower = QString::fromLatin1(lowerName);
    const QString value = m_environment.value(lower);
    return value.isEmpty() ? m_environment.value(lower.toUpper()) : value;
}

bool EnvironmentProxyFactory::bypassed(const QString &host) const
{
    const QString list = variable("no_proxy");
    for (QString entry : list.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        if (const qsizetype colon = entry.lastIndexOf(u':'); colon > 0 && !entry.contains(u']'))
            entry.truncate(colon); // a port does not narrow it further here
        if (entry == u"*"_s || host == entry || host.endsWith(u'.' + entry))
            return true;
    }
    return false;
}

QList<QNetworkProxy> EnvironmentProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    const QString scheme = query.protocolTag().toLower();
    const QString setting = scheme == u"https"_s  ? variable("https_proxy")
                            : scheme == u"http"_s ? variable("http_proxy")
                                                  : QString();
    const bool anySet = !variable("http_proxy").isEmpty() || !variable("https_proxy").isEmpty() ||
                        !variable("no_proxy").isEmpty();
    if (!anySet)
        return systemProxyForQuery(query);
    const QString host = query.peerHostName().toLower();
    if (setting.isEmpty() || bypassed(host))
        return {QNetworkProxy::NoProxy};
    const QUrl proxy = QUrl::fromUserInput(setting);
    if (!proxy.isValid() || proxy.host().isEmpty())
        return {QNetworkProxy::NoProxy};
    return {QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host(), quint16(proxy.port(1080)), proxy.userName(),
                          proxy.password())};
}

} // namespace corvane
