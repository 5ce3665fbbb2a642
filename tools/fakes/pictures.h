#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

namespace corvane::testing {

// A square PNG of one colour.
inline QByteArray pngOf(QColor colour, int size = 48)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace corvane::testing
