#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "core/errors.h"
#include "core/httpfetch.h"
#include "httptestserver.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

// Quitting ends every later event loop of the process, so this case has a process of
// its own.
class TestAbandonedFetch final : public QObject
{
    Q_OBJECT

private slots:
    void quitWhileWaitingAbandons();
};

void TestAbandonedFetch::quitWhileWaitingAbandons()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    server.setHandler([](const HttpRequest &) {
        HttpResponse response;
        response.stall = true;
        return response;
    });
    // QTest runs no exec(), where quit() does nothing; exit() ends the running loops as
    // closing the last window does in the program.
    QTimer::singleShot(100, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY_THROWS_EXCEPTION(FetchAbandoned, GetBody(QString::fromLatin1(server.url("/x"))));
    QVERIFY(clock.elapsed() < 5000);
    // A fetch started after the quit is abandoned at once, never hanging.
    QVERIFY_THROWS_EXCEPTION(FetchAbandoned, GetBody(QString::fromLatin1(server.url("/y"))));
}

QTEST_GUILESS_MAIN(TestAbandonedFetch)
#include "tst_abandonedfetch.moc"
