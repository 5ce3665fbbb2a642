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

QCoro::Task<QImage> LoadPicture(QString strFileName, PictureLimits limits)
{
    if (strFileName.isEmpty())
        co_return QImage();

    if (const QUrl web = acceptedHttpUrl(strFileName); web.isValid()) {
        RawResponse response;
        try {
            response = co_await fetchRaw(web, FetchLimits{limits.timeout, limits.maxBytes});
        } catch (const FetchError &) {
            co_return QImage();
        }
        co_return decodePicture(response.body);
    }

    const QUrl url(strFileName);
    if (url.isLocalFile())
        co_return loadLocalFile(url.toLocalFile(), limits.maxBytes);
    co_return loadLocalFile(strFileName, limits.maxBytes);
}

} // namespace corvane
