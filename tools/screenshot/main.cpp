// Saves a picture of the X display's whole screen, or of a rectangle of it
// (corvane-screenshot FILE [X Y WIDTH HEIGHT]). Used by `./run --screenshot` under Xvfb.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: corvane-screenshot FILE [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "corvane-screenshot: no screen\n");
        return 1;
    }
    QPixmap shot = screen->grabWindow(0);
    if (args.size() >= 6)
        shot = shot.copy(args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt());
    if (!shot.save(args.at(1))) {
        std::fprintf(stderr, "corvane-screenshot: cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
