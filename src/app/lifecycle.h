#pragma once

#include <QString>

#include <QCoroTask>

class QCoreApplication;

#include "core/serviceconfig.h"

namespace corvane::app {

class Commands;

enum class LoadResult {
    Open,       // show the window
    EndProgram, // end now: the window is never shown and no close prompt runs
};

// The farewell prompt, with its bare carriage returns.
QString closePromptText();
// The newer-version message for `latest`.
QString newVersionText(const QString &latest);
// The skin file's path: the program's folder with "/skinh.she" appended as it is.
QString skinPath(const QString &programFolder);

// Qt's own texts (the save dialog, its overwrite question, the standard buttons) in the
// window's language, Simplified Chinese, from the translations installed with Qt.
// Returns whether they were found; without them those texts stay in English.
bool installQtTranslations(QCoreApplication &application);

// The skin to load: "skinh.she" in the program's folder, else in the installed data
// folder beside it (../share/corvane on Linux); the first when neither exists.
QString findSkin(const QString &programFolder);

// gx: the start-up version check (the design's name for it), its fetch awaited. Nothing
// escapes it: a failed step is skipped.
QCoro::Task<LoadResult> gx(Commands &commands);

// The window's load event: player volume 100, icon cleared, skin applied, downloader
// made silent, then the version check, which may end the program.
QCoro::Task<LoadResult> Form_Load(Commands &commands, QString programFolder);

// Form_Load, then the window shown in the state it left, or the program ended without
// it.
QCoro::Task<> startUp(Commands &commands, QString programFolder);

// The close query: the farewell prompt. Yes opens the forum page and closes, No closes,
// anything else keeps the window open. Returns whether the close goes ahead.
bool QueryUnload(Commands &commands);

// The program from the window's load to its end; returns the exit code. The load runs
// inside the event loop. The window outlives the call, so that what it shows at the end
// can be looked at.
int run(Commands &commands, const QString &programFolder);

} // namespace corvane::app
