#pragma once

#include <QIcon>
#include <QImage>

namespace corvane::ui {

// The window's three pictures, drawn rather than shipped.

// A grey ring around a gridded sphere, at 16, 32 and 48 pixels.
QIcon designIcon();
// 90 x 90: a beige head-and-shoulders silhouette on a light square, soft transparent corners.
QImage placeholderPortrait();
// 180 x 180: an opaque light beige square (248, 245, 238) with a thin white ring and a
// light shadow below it; inside the ring a disc 150 pixels across is fully transparent.
QImage ringFrame();

} // namespace corvane::ui
