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

// What a web picture's address answers, unjudged; empty when it is no web address or
// nothing came (a stop still throws FetchStopped).
QCoro::Task<QByteArray> fetchPicture(QString address, FetchLimits limits, Requests *owner)
{
    const QUrl web = acceptedHttpUrl(address);
    if (!web.isValid())
        co_return QByteArray();
    RawResponse response;
    try {
        response = co_await fetchRaw(web, limits, owner);
    } catch (const FetchError &) {
        co_return QByteArray();
    }
    co_return std::move(response.body);
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

QCoro::Task<WebPicture> loadWebPicture(QString address, FetchLimits limits, Requests *owner)
{
    QByteArray bytes = co_await fetchPicture(std::move(address), limits, owner);
    WebPicture picture{decodePicture(bytes), QByteArray()};
    if (!picture.image.isNull())
        picture.bytes = std::move(bytes);
    co_return picture;
}

QCoro::Task<QByteArray> loadCoverBytes(QString address, FetchLimits limits, Requests *owner)
{
    QByteArray bytes = co_await fetchPicture(std::move(address), limits, owner);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const bool picture = reader.canRead() && reader.size().isValid();
    buffer.close();
    co_return picture ? bytes : QByteArray();
}

QCoro::Task<QImage> LoadPicture(QString strFileName, FetchLimits limits)
{
    if (strFileName.isEmpty())
        co_return QImage();

    if (acceptedHttpUrl(strFileName).isValid())
        co_return (co_await loadWebPicture(strFileName, limits)).image;

    const QUrl url(strFileName);
    if (url.isLocalFile())
        co_return loadLocalFile(url.toLocalFile(), limits.maxBytes);
    co_return loadLocalFile(strFileName, limits.maxBytes);
}

} // namespace corvane
