// The program's real start-up and event loop against an in-process service: the window
// is closed (or the program told to end) while one chosen fetch waits.

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/commands.h"
#include "app/lifecycle.h"
#include "common.h"
#include "core/httpfetch.h"
#include "core/proxyfactory.h"
#include "form1controls.h"
#include "scripteddesktop.h"
#include "ui/form1.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using Route = corvane::testing::MusicService::Route;

class TestCloseDuringFetch final : public QObject
{
    Q_OBJECT

private slots:
    void windsUpSilently_data();
    void windsUpSilently();
    void closingAbortsTheRequest_data();
    void closingAbortsTheRequest();
};

void TestCloseDuringFetch::windsUpSilently_data()
{
    QTest::addColumn<Route>("stage");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QString>("label1");
    const QString none = u"音乐名称：NONE"_s;
    const QString named = u"音乐名称：晴天"_s;
    // The farewell prompt is the only box: no failure box after the close.
    QTest::newRow("version check") << Route::VersionFile << 0 << none;
    QTest::newRow("song page") << Route::SongPage << 1 << none;
    QTest::newRow("link conversion") << Route::LinkConversion << 1 << named;
    QTest::newRow("metadata") << Route::Metadata << 1 << named;
    QTest::newRow("picture") << Route::Picture << 1 << named;
}

void TestCloseDuringFetch::windsUpSilently()
{
    QFETCH(Route, stage);
    QFETCH(int, boxes);
    QFETCH(QString, label1);

    HttpTestServer server;
    QVERIFY(server.listen());
    ServiceConfig config = ServiceConfig::onOrigin(server.origin());
    // Far off, so that only the close can end a waiting fetch in time.
    config.fetch.timeout = std::chrono::minutes(5);
    ScriptedDesktop desktop;
    const auto window = app::makeWindow(config, desktop);
    ui::Form1 &form = *window;
    app::Commands &commands = app::commandsOf(form);
    const MusicService service(config, {sunnyDay("1001")});
    QString statusAtClose;
    server.setHandler([&](const HttpRequest &request) {
        if (service.routeOf(request) != stage)
            return service.answer(request);
        QTimer::singleShot(100, &form, [&] {
            statusAtClose = form.statusText();
            if (stage == Route::VersionFile)
                QCoreApplication::exit(0); // nothing to close yet: the program is told to end
            else
                form.close();
        });
        HttpResponse stall;
        stall.stall = true;
        return stall;
    });
    desktop.queueAnswer(MessageAnswer::vbNo); // the farewell prompt: close without a page

    // Once the window is up, resolve the sample song.
    QTimer starter;
    starter.setInterval(20);
    connect(&starter, &QTimer::timeout, &form, [&] {
        if (!form.isVisible())
            return;
        starter.stop();
        Form1Controls(form).Text1->setText(u"http://"_s + server.origin() + u"/yinyue/1001/"_s);
        Form1Controls(form).Command1->click();
    });
    starter.start();

    // The fetches' bound is far off (config): a program that does not end at the close
    // is ended here, and fails.
    QTimer::singleShot(std::chrono::seconds(60), &form, [] { QCoreApplication::exit(2); });
    QCOMPARE(app::run(commands, QString()), 0);

    QCOMPARE(desktop.boxes.size(), boxes);
    if (boxes)
        QCOMPARE(desktop.boxes.first().style, MessageStyle::InformationYesNoCancel);
    // Nothing was shown in the window after it closed, and nothing waits any more.
    QCOMPARE(form.statusText(), statusAtClose);
    QCOMPARE(Form1Controls(form).Label1->text(), label1);
    QVERIFY(!Form1Controls(form).Command1->isEnabled());
    QVERIFY(!form.isVisible());
    QCOMPARE(commands.requests().inFlight(), 0);
}

void TestCloseDuringFetch::closingAbortsTheRequest_data()
{
    QTest::addColumn<Route>("stage");
    QTest::newRow("song page") << Route::SongPage;
    QTest::newRow("link conversion") << Route::LinkConversion;
    QTest::newRow("metadata") << Route::Metadata;
    QTest::newRow("picture") << Route::Picture;
    QTest::newRow("today's record") << Route::SongRecord;
    QTest::newRow("lyrics") << Route::Lyrics;
    QTest::newRow("picture address") << Route::PictureAddress;
}

// The window closes while the program goes on: the waiting request is aborted at once,
// seen at the wire, not left to run to its 20 s bound.
void TestCloseDuringFetch::closingAbortsTheRequest()
{
    QFETCH(Route, stage);
    HttpTestServer server;
    QVERIFY(server.listen());
    ServiceConfig config = ServiceConfig::onOrigin(server.origin());
    // Far off, so that only the close can end a waiting fetch in time.
    config.fetch.timeout = std::chrono::minutes(5);
    const bool today = stage == Route::SongRecord || stage == Route::Lyrics || stage == Route::PictureAddress;
    // A service address goes through the server as through a proxy; loopback goes direct.
    QProcessEnvironment proxy;
    proxy.insert(u"http_proxy"_s, u"http://"_s + server.origin());
    proxy.insert(u"no_proxy"_s, u"127.0.0.1"_s);
    QNetworkProxyFactory::setApplicationProxyFactory(new EnvironmentProxyFactory(proxy));
    const auto noProxy = qScopeGuard([] { QNetworkProxyFactory::setApplicationProxyFactory(nullptr); });
    ScriptedDesktop desktop;
    const auto window = app::makeWindow(config, desktop);
    ui::Form1 &form = *window;
    form.setAddressEnabled(true);
    form.setResolveEnabled(true);
    form.show();
    MusicService service(config, {sunnyDay("1001")});
    QString statusAtClose;
    server.setHandler([&](const HttpRequest &request) {
        if (service.routeOf(request) != stage)
            return service.answer(request);
        QTimer::singleShot(50, &form, [&] {
            statusAtClose = form.statusText();
            form.close();
        });
        HttpResponse stall;
        stall.stall = true;
        return stall;
    });
    QSignalSpy closed(&server, &HttpTestServer::closedBeforeAnswer);
    Form1Controls controls(form);
    controls.Text1->setText(today ? u"http://www.kuwo.cn/play_detail/1001"_s
                                  : u"http://"_s + server.origin() + u"/yinyue/1001/"_s);
    controls.Command1->click();

    // Only the close can end it: the fetch's own bound is far off (config).
    QVERIFY(closed.size() == 1 || closed.wait(30000));
    QCOMPARE(service.routeOf(closed.first().first().value<HttpRequest>()), stage);
    // What the close resumed has ended, and showed nothing.
    QTRY_COMPARE(app::commandsOf(form).requests().inFlight(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(form.statusText(), statusAtClose);
    QVERIFY(desktop.boxes.isEmpty());
    QCOMPARE(app::commandsOf(form).requests().inFlight(), 0);
}

QTEST_MAIN(TestCloseDuringFetch)
#include "tst_closeduringfetch.moc"
