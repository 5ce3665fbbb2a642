#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <QCoroTask>

#include "core/errors.h"
#include "core/httpfetch.h"
#include "httptestserver.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;

namespace {

QCoro::Task<> fetchInto(QString url, Requests *owner, bool &ended, bool &stopped)
{
    try {
        co_await GetBody(url, {}, owner);
    } catch (const FetchStopped &) {
        stopped = true;
    } catch (const Error &) {
    }
    ended = true;
}

} // namespace

// A piece of work's requests are stopped while a fetch waits on a server that never
// answers: with no event loop running after the stop, as at the end of the program.
class TestStoppedFetch final : public QObject
{
    Q_OBJECT

private slots:
    void waitingFetchEndsAtTheStop_data();
    void waitingFetchEndsAtTheStop();
    void stoppedWorkSendsNothing();
};

void TestStoppedFetch::waitingFetchEndsAtTheStop_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("stopped") << u"stop"_s;
    QTest::newRow("destroyed") << u"delete"_s;
    QTest::newRow("the work above it stopped") << u"parent"_s;
}

void TestStoppedFetch::waitingFetchEndsAtTheStop()
{
    QFETCH(QString, how);
    HttpTestServer server;
    QVERIFY(server.listen());
    server.setHandler([](const HttpRequest &) {
        HttpResponse response;
        response.stall = true;
        return response;
    });
    QSignalSpy closed(&server, &HttpTestServer::closedBeforeAnswer);
    Requests parent;
    auto *owner = new Requests(&parent);
    bool ended = false, stopped = false;
    fetchInto(QString::fromLatin1(server.url("/x")), owner, ended, stopped);
    QTRY_COMPARE(server.requests().size(), 1);
    QCOMPARE(owner->inFlight(), 1);

    if (how == u"stop")
        owner->stop();
    else if (how == u"delete")
        delete owner;
    else
        parent.stop();
    QVERIFY(ended);
    QVERIFY(stopped);
    QCOMPARE(parent.inFlight(), 0);
    // The server sees the connection go at once, not at the fetch's time bound.
    // (The fetch's own bound is 20 s.)
    QVERIFY(closed.size() == 1 || closed.wait(10000));
}

void TestStoppedFetch::stoppedWorkSendsNothing()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    Requests parent;
    parent.stop();
    Requests owner(&parent); // made after the stop, under it
    bool ended = false, stopped = false;
    fetchInto(QString::fromLatin1(server.url("/x")), &owner, ended, stopped);
    QVERIFY(ended);
    QVERIFY(stopped);
    // Nothing was asked of the network manager: no reply was ever made.
    QVERIFY(parent.findChildren<QNetworkReply *>().isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(server.requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestStoppedFetch)
#include "tst_stoppedfetch.moc"
