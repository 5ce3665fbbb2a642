#include "lifecycle.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include "commands.h"
#include "core/errors.h"
#include "core/httpfetch.h"
#include "core/textcutting.h"
#include "core/versioncheck.h"
#include "corvane/buildconfig.h"
#include "desktop/desktop.h"
#include "desktop/skinh.h"
#include "ui/form1.h"

using namespace Qt::StringLiterals;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;

Q_LOGGING_CATEGORY(lcStartup, "corvane.startup", QtWarningMsg)

namespace corvane::app {
namespace {

// Resume-next: a step that fails is abandoned and the next one runs.
template <typename Step> void resumeNext(Step &&step)
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

QString closePromptText()
{
    return u"感谢您对Quennet、Quennet系列的软件的支持!"_s + u"\r"_s + u" "_s + u"\r"_s +
           u"是否退出并到论坛可以下载更多Quennet系列原创免费软件?"_s;
}

QString newVersionText(const QString &latest)
{
    // The version file is the server's text: a box as tall as a page of it would put
    // its button off the screen.
    constexpr qsizetype kShownVersionUnits = 64;
    return u"发现最新版本!["_s + firstUnits(serverName(latest), kShownVersionUnits) + u"]"_s + u"\r\n"_s + u" "_s + u"\r\n"_s +
           u"确定后自动打开官方论坛!"_s;
}

QString skinPath(const QString &programFolder)
{
    return programFolder + u"/skinh.she"_s;
}

QString findSkin(const QString &programFolder)
{
    // The program's own folder first: a portable copy, and the Windows layout.
    const QString beside = skinPath(programFolder);
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed =
        QDir::cleanPath(programFolder + u'/' + build::dataFolderFromProgram.toString() + u"/skinh.she"_s);
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}

bool installQtTranslations(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    // Next to the program first (a portable copy), then where Qt keeps them.
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    for (const QString &folder : {QCoreApplication::applicationDirPath() + u"/translations"_s,
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(chinese, u"qtbase"_s, u"_"_s, folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

QCoro::Task<LoadResult> gx(Commands &commands)
{
    ui::Form1 &form = commands.form();
    const ServiceConfig &config = commands.config();
    desktop::Desktop &desktop = commands.desktop();
    VersionVerdict verdict;
    if (!config.checkForUpdates) {
        // A build without the maker's check: as if the check had found this version.
        verdict.outcome = VersionVerdict::UpToDate;
    } else {
        QString response;
        try {
            response = co_await GetBody(config.versionFileUrl(), config.fetch, &commands.requests());
        } catch (const FetchStopped &) {
            co_return LoadResult::EndProgram; // the program ended while the check waited
        } catch (...) {
            response.clear();
        }
        verdict = judgeVersionFile(response);
    }

    switch (verdict.outcome) {
    case VersionVerdict::CheckFailed:
        resumeNext([&] {
            desktop.showMessage(&form, u"检测更新失败!请您稍后再试,暂时使用原版"_s, MessageStyle::Warning);
        });
        co_return LoadResult::Open;
    case VersionVerdict::UpToDate:
        resumeNext([&] { form.setAddressEnabled(true); });
        resumeNext([&] { form.setResolveEnabled(true); });
        resumeNext([&] { form.setStatusText(u"欢迎使用Quennet系列软件"_s); });
        co_return LoadResult::Open;
    case VersionVerdict::Newer:
        resumeNext(
            [&] { desktop.showMessage(&form, newVersionText(verdict.latest), MessageStyle::Information); });
        resumeNext([&] { desktop.openPage(config.updateForumPage); });
        co_return LoadResult::EndProgram;
    }
    co_return LoadResult::Open;
}

QCoro::Task<LoadResult> Form_Load(Commands &commands, QString programFolder)
{
    ui::Form1 &form = commands.form();
    form.setPlayerVolume(100);
    form.setWindowIcon(QIcon());
    const QString skin = findSkin(programFolder);
    const int attached = SkinH::AttachEx(desktop::localEightBitPath(skin), QByteArray());
    qCInfo(lcStartup, "skin: %s%s", qUtf8Printable(QDir::toNativeSeparators(skin)),
           attached ? "" : " (not applied)");
    form.setDownloadsSilent(true);
    co_return co_await gx(commands);
}

bool QueryUnload(Commands &commands)
{
    desktop::Desktop &desktop = commands.desktop();
    // Lists at work are named first: ending the program ends them.
    if (const int songs = commands.songsDownloading(); songs > 0) {
        if (desktop.showMessage(&commands.form(), u"正在下载 %1 首歌曲，确定停止并退出吗？"_s.arg(songs),
                                MessageStyle::InformationYesNo) != MessageAnswer::vbYes)
            return false;
    }
    switch (desktop.showMessage(&commands.form(), closePromptText(), MessageStyle::InformationYesNoCancel)) {
    case MessageAnswer::vbYes:
        desktop.openPage(commands.config().forumPage);
        return true;
    case MessageAnswer::vbNo:
        return true;
    default:
        return false;
    }
}

QCoro::Task<> startUp(Commands &commands, QString programFolder)
{
    ui::Form1 &form = commands.form();
    const QPointer<Commands> alive(&commands);
    LoadResult loaded = LoadResult::EndProgram;
    try {
        loaded = co_await Form_Load(commands, programFolder);
    } catch (const std::exception &error) {
        // A failed step ends the load event; the window still opens as far as it got.
        qWarning("start-up: %s", error.what());
        loaded = LoadResult::Open;
    }
    if (!alive || alive->hasEnded())
        co_return; // the program ended during the load: its loop has returned
    QGuiApplication::setQuitOnLastWindowClosed(true);
    if (loaded == LoadResult::EndProgram) {
        QCoreApplication::exit(0);
        co_return;
    }
    form.show();
    qCInfo(lcStartup, "window shown, address box %s", form.isAddressEnabled() ? "enabled" : "disabled");
}

int run(Commands &commands, const QString &programFolder)
{
    ui::Form1 &form = commands.form();
    form.setCloseQuery([&commands] { return QueryUnload(commands); });
    // A box shown before the window (the version check's) is the only window then:
    // closing it must not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Started from the loop, so that ending the program before the window shows reaches
    // a loop that is running.
    QTimer::singleShot(0, &form, [&commands, programFolder] { startUp(commands, programFolder); });
    const int code = QApplication::exec();
    // A fetch may still wait (the window closed during it, or the loop was told to end):
    // it ends now, showing nothing.
    commands.end();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    return code;
}

} // namespace corvane::app
