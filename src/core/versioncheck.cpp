#include "versioncheck.h"

#include "errors.h"
#include "textcutting.h"

namespace corvane {

QString cutLatestVersion(QStringView response)
{
    try {
        const QStringView piece = SegmentAfter(response, u"mqvt:");
        const qsizetype bar = piece.indexOf(u'|');
        return bar < 0 ? QString() : piece.first(bar).toString();
    } catch (const ContentError &) {
        return {};
    }
}

VersionVerdict judgeVersionFile(QStringView response)
{
    const QString latest = cutLatestVersion(response);
    if (response.isEmpty() || latest.isEmpty())
        return {VersionVerdict::CheckFailed, latest};
    if (latest == kOwnVersion)
        return {VersionVerdict::UpToDate, latest};
    return {VersionVerdict::Newer, latest};
}

} // namespace corvane
