#include <QTest>

#include "core/proxyfactory.h"

using namespace Qt::StringLiterals;
using corvane::EnvironmentProxyFactory;

class TestProxyFactory final : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
};

void TestProxyFactory::choice_data()
{
    QTest::addColumn<QStringList>("environment"); // NAME=value
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("proxy"); // host:port, "none", or "system"
    const QString page = u"http://www.kuwo.cn/yinyue/1001/"_s;
    QTest::newRow("nothing set: the system's") << QStringList() << page << u"system"_s;
    QTest::newRow("http_proxy") << QStringList{u"http_proxy=http://127.0.0.1:8123"_s} << page
                                << u"127.0.0.1:8123"_s;
    QTest::newRow("upper-case HTTP_PROXY")
        << QStringList{u"HTTP_PROXY=127.0.0.1:8123"_s} << page << u"127.0.0.1:8123"_s;
    QTest::newRow("no port: curl's 1080")
        << QStringList{u"http_proxy=http://proxy.lan"_s} << page << u"proxy.lan:1080"_s;
    QTest::newRow("https needs https_proxy")
        << QStringList{u"http_proxy=http://127.0.0.1:8123"_s} << u"https://www.kuwo.cn/"_s << u"none"_s;
    QTest::newRow("https_proxy") << QStringList{u"https_proxy=http://127.0.0.1:9000"_s}
                                 << u"https://www.kuwo.cn/"_s << u"127.0.0.1:9000"_s;
    QTest::newRow("no_proxy names the host")
        << QStringList{u"http_proxy=http://127.0.0.1:8123"_s, u"no_proxy=localhost,www.kuwo.cn"_s} << page
        << u"none"_s;
    QTest::newRow("no_proxy names the domain")
        << QStringList{u"http_proxy=http://127.0.0.1:8123"_s, u"no_proxy=.kuwo.cn"_s} << page << u"none"_s;
    QTest::newRow("no_proxy names another domain")
        << QStringList{u"http_proxy=http://127.0.0.1:8123"_s, u"no_proxy=uwo.cn"_s} << page
        << u"127.0.0.1:8123"_s;
    QTest::newRow("no_proxy=*") << QStringList{u"http_proxy=http://127.0.0.1:8123"_s, u"no_proxy=*"_s} << page
                                << u"none"_s;
    QTest::newRow("empty values count as unset")
        << QStringList{u"http_proxy="_s, u"no_proxy="_s} << page << u"system"_s;
}

void TestProxyFactory::choice()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, address);
    QFETCH(QString, proxy);
    QProcessEnvironment variables;
    for (const QString &pair : environment)
        variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    EnvironmentProxyFactory factory(variables);
    const QNetworkProxyQuery query{QUrl(address)};
    const QList<QNetworkProxy> chosen = factory.queryProxy(query);
    QVERIFY(!chosen.isEmpty());
    if (proxy == u"system"_s) {
        QCOMPARE(chosen, QNetworkProxyFactory::systemProxyForQuery(query));
    } else if (proxy == u"none"_s) {
        QCOMPARE(chosen.first().type(), QNetworkProxy::NoProxy);
    } else {
        QCOMPARE(chosen.first().type(), QNetworkProxy::HttpProxy);
        QCOMPARE(chosen.first().hostName() + u':' + QString::number(chosen.first().port()), proxy);
    }
}

QTEST_GUILESS_MAIN(TestProxyFactory)
#include "tst_proxyfactory.moc"
