#pragma once

#include <QFileDevice>
#include <QNetworkReply>
#include <QString>

namespace corvane {

// What went wrong with a download, in words for the user: the server's answer or the
// connection, and the file it was to be saved as (named, in the platform's form).
QString describeNetworkError(QNetworkReply::NetworkError error, int httpStatus);
QString describeFileError(QFileDevice::FileError error, const QString &path);

} // namespace corvane
