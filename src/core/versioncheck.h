#pragma once

#include <QString>

#include "corvane/buildconfig.h"

namespace corvane {

// The tool's own version, as the version file publishes it.
inline constexpr QStringView kOwnVersion = build::versionTag;

struct VersionVerdict
{
    enum Outcome {
        CheckFailed, // no answer, or an answer from which no version can be cut
        UpToDate,    // the published version is exactly kOwnVersion
        Newer,       // any other version: `latest` names it
    };
    Outcome outcome = CheckFailed;
    QString latest;
};

// The latest version in a version file: the text after the first "mqvt:" up to the
// first "|", looked for only up to a second "mqvt:". Empty when there is none.
QString cutLatestVersion(QStringView response);

// What the version file says about this build. An answer that names no version (a
// proxy's error page, a captive portal) is a failed check, not a new version.
VersionVerdict judgeVersionFile(QStringView response);

} // namespace corvane
