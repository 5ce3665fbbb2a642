#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <QCoroTask>

#include "core/errors.h"
#include "core/httpfetch.h"
#include "httptestserver.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

QCoro::Task<> fetchInto(QString url, bool &ended, bool &failed)
{
    try {
        co_await GetBody(url);
    } catch (const FetchError &) {
        failed = true;
    }
    ended = true;
}

} // namespace

// The end of the program: no event loop will run again, and a fetch still waits.
class TestAbandonedFetch final : public QObject
{
    Q_OBJECT

private slots:
    void waitingFetchWindsUp();
};

void TestAbandonedFetch::waitingFetchWindsUp()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    server.setHandler([](const HttpRequest &) {
        HttpResponse response;
        response.stall = true;
        return response;
    });
    bool ended = false, failed = false;
    fetchInto(QString::fromLatin1(server.url("/x")), ended, failed);
    QTRY_COMPARE(server.requests().size(), 1);
    QVERIFY(!ended);

    abandonFetches();
    QVERIFY(ended);
    QVERIFY(failed);
    QVERIFY(networkAccessManager().findChildren<QNetworkReply *>().isEmpty());
}

QTEST_GUILESS_MAIN(TestAbandonedFetch)
#include "tst_abandonedfetch.moc"
