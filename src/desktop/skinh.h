#pragma once

#include <QByteArray>

// The skin library's entry points, grouped as the program declares them.
namespace SkinH {

// Applies the skin file at `path` (local 8-bit encoding) to the whole application. The
// skin file is a Qt style sheet; `password` is unused. Returns 1 when a skin was
// applied, 0 when the file is missing, unreadable or empty (nothing changes then).
int AttachEx(const QByteArray &path, const QByteArray &password);

} // namespace SkinH
