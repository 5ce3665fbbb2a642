// corvane-sample-service: a local stand-in for the music service and the maker's
// servers, so that the tool can be tried without the internet. Point http_proxy at it.
//
//   corvane-sample-service [--port N] [--copy-first]

#include <QClipboard>
#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

#include "httptestserver.h"
#include "musicservice.h"

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The service draws its pictures off screen; it needs a display only to hold the
    // clipboard for --copy-first.
    bool wantsClipboard = false;
    for (int i = 1; i < argc; ++i)
        wantsClipboard |= qstrcmp(argv[i], "--copy-first") == 0;
    if (!wantsClipboard || qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A local stand-in for the music service, for trying Corvane offline."_s);
    parser.addHelpOption();
    parser.addOption({u"port"_s, u"Port on 127.0.0.1 (0: any free port)."_s, u"N"_s, u"0"_s});
    parser.addOption({u"copy-first"_s, u"Keep the first sample song's address on the clipboard."_s});
    parser.process(application);

    const corvane::testing::MusicService service(corvane::ServiceConfig::fromBuild(),
                                                 corvane::testing::sampleSongs() + corvane::testing::sampleListSongs());
    corvane::testing::HttpTestServer server(
        [&service](const corvane::testing::HttpRequest &request) { return service.answer(request); });
    server.setLogging(true);
    if (!server.listen(quint16(parser.value(u"port"_s).toUInt()))) {
        std::fprintf(stderr, "corvane-sample-service: cannot listen on 127.0.0.1:%s\n",
                     qPrintable(parser.value(u"port"_s)));
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
    for (const corvane::testing::FakeSong &song : corvane::testing::sampleSongs()) {
        std::printf("%s  %s — %s: %s\n", qPrintable(service.songAddress(song.id)),
                    song.name.toUtf8().constData(), song.singer.toUtf8().constData(),
                    song.expected.toUtf8().constData());
    }
    std::printf("%s  (不是歌曲页面: 失败)\n", qPrintable(service.notASongAddress()));
    for (const corvane::testing::FakeList &list : corvane::testing::sampleLists()) {
        std::printf("%s  歌曲列表《%s》: %s\n", qPrintable(corvane::testing::listAddress(list)),
                    list.title.toUtf8().constData(), list.expected.toUtf8().constData());
    }
    for (const auto &[words, found] : corvane::testing::sampleSearches())
        std::printf("%s  (搜索: %s)\n", words.toUtf8().constData(), found.toUtf8().constData());
    std::fflush(stdout);

    if (parser.isSet(u"copy-first"_s))
        QGuiApplication::clipboard()->setText(service.songAddress(corvane::testing::sampleSongs().first().id));
    return QGuiApplication::exec();
}
