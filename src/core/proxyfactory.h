#pragma once

#include <QNetworkProxyFactory>
#include <QProcessEnvironment>

namespace corvane {

// The proxy for each request as curl chooses it, on every platform: http_proxy (or
// HTTP_PROXY) for http, https_proxy for https, unless no_proxy names the host ("*", a
// host, or a domain: "example.org" and ".example.org" both cover its subdomains). With
// none of them set, the system's settings. Qt on Windows reads only the latter, so the
// sample-service demo and the tests would reach nothing there otherwise.
class EnvironmentProxyFactory final : public QNetworkProxyFactory
{
public:
    explicit EnvironmentProxyFactory(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    QString variable(const char *lowerName) const;
    bool bypassed(const QString &host) const;

    QProcessEnvironment m_environment;
};

} // namespace corvane
