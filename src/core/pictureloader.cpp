#include "pictureloader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

#include "errors.h"
#include "httpfetch.h"

namespace corvane {
namespace {

QImage loadLocalFile(const QString &path, qint64 maxBytes)
{
    // Only a regular file of bounded size: a path from the network could name a device,
    // a FIFO or a huge file, and reading those would hang or exhaust the program.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decodePicture(file.read(maxBytes));
}

} // namespace

QImage decodePicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

QImage LoadPicture(QString strFileName, const PictureLimits &limits)
{
    if (strFileName.isEmpty())
        return {};

    if (const QUrl web = acceptedHttpUrl(strFileName); web.isValid()) {
        try {
            const RawResponse response = fetchRaw(web, FetchLimits{limits.timeout, limits.maxBytes},
                                                  QEventLoop::ExcludeUserInputEvents);
            return decodePicture(response.body);
        } catch (const FetchError &) {
            return {};
        }
    }

    const QUrl url(strFileName);
    if (url.isLocalFile())
        return loadLocalFile(url.toLocalFile(), limits.maxBytes);
    return loadLocalFile(strFileName, limits.maxBytes);
}

} // namespace corvane
