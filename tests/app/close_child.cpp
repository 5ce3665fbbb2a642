// Runs the program's real start-up and event loop against an in-process service, and
// closes the window (or quits) while one chosen fetch waits. Prints what the window
// showed afterwards for tst_closeduringfetch to check.
//
//   corvane_close_child STAGE     STAGE: version | page | link | metadata | picture

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "app/commands.h"
#include "app/lifecycle.h"
#include "common.h"
#include "desktop/desktop.h"
#include "form1controls.h"
#include "scripteddesktop.h"
#include "ui/form1.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;
using corvane::testing::ScriptedDesktop;

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QByteArray stage = argc > 1 ? QByteArray(argv[1]) : QByteArray("page");
    using Route = MusicService::Route;
    const Route stageRoute = stage == "version"    ? Route::VersionFile
                             : stage == "page"     ? Route::SongPage
                             : stage == "link"     ? Route::LinkConversion
                             : stage == "metadata" ? Route::Metadata
                                                   : Route::Picture;

    HttpTestServer server;
    if (!server.listen())
        return 3;
    ServiceConfig config = ServiceConfig::onOrigin(server.origin());
    ScriptedDesktop desktop;
    ui::Form1 form(desktop);
    auto *commands = new app::Commands(form, config, desktop);
    const MusicService service(config, {sunnyDay("1001")});
    QString statusAtClose;

    server.setHandler([&](const HttpRequest &request) {
        if (service.routeOf(request) != stageRoute)
            return service.answer(request);
        QTimer::singleShot(100, &form, [&] {
            statusAtClose = form.statusText();
            if (stage == "version")
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
    QObject::connect(&starter, &QTimer::timeout, &form, [&] {
        if (!form.isVisible())
            return;
        starter.stop();
        Form1Controls(form).Text1->setText(u"http://"_s + server.origin() + u"/yinyue/1001/"_s);
        Form1Controls(form).Command1->click();
    });
    starter.start();

    const int code = app::run(*commands, QCoreApplication::applicationDirPath());

    QStringList styles;
    for (const ScriptedDesktop::Box &box : desktop.boxes)
        styles << QString::number(int(box.style));
    std::printf("exit=%d\n", code);
    std::printf("boxes=%s\n", qPrintable(styles.join(u',')));
    std::printf("status=%s\n", form.statusText().toUtf8().constData());
    std::printf("statusAtClose=%s\n", statusAtClose.toUtf8().constData());
    std::printf("command1=%d\n", int(Form1Controls(form).Command1->isEnabled()));
    std::printf("label1=%s\n", Form1Controls(form).Label1->text().toUtf8().constData());
    return 0;
}
