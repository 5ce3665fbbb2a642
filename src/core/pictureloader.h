#pragma once

#include <chrono>

#include <QImage>
#include <QString>

#include <QCoroTask>

#include "httpfetch.h"

namespace corvane {

using namespace std::chrono_literals;

// A web picture that takes longer or is larger than this counts as unreadable.
inline constexpr std::chrono::milliseconds kPictureTimeout = 10s;
inline constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;

inline constexpr FetchLimits kPictureLimits{kPictureTimeout, kMaxPictureBytes};

// The picture at a web address (http or https) or a local file, or a null image when
// nothing readable is there: an unreachable address, something that is not a picture,
// an empty location, a local path that is not a regular file of at most maxBytes. None of
// these is an error. A web picture is awaited: the caller's event loop runs meanwhile.
QCoro::Task<QImage> LoadPicture(QString strFileName, FetchLimits limits = kPictureLimits);

// LoadPicture for a web address, with the bytes as the server sent them (a downloaded
// song carries them as its cover): both empty when nothing readable came. Its request is
// owned by `owner`, and a stop of it throws FetchStopped (see fetchRaw).
struct WebPicture
{
    QImage image;
    QByteArray bytes;
};
QCoro::Task<WebPicture> loadWebPicture(QString address, FetchLimits limits = kPictureLimits,
                                       Requests *owner = nullptr);

// A cover to embed in a song's tag, not to show: the bytes as the server sent them when
// they begin as a picture does (a format Qt reads, a size in its header), else empty.
// Nothing is decoded, as a list saves hundreds of covers it never shows. Requests and
// stops as loadWebPicture's.
QCoro::Task<QByteArray> loadCoverBytes(QString address, FetchLimits limits = kPictureLimits,
                                       Requests *owner = nullptr);

// The picture in some bytes, or a null image.
QImage decodePicture(const QByteArray &bytes);

} // namespace corvane
