#include "skinh.h"

#include <QApplication>
#include <QFile>

namespace SkinH {

// Style sheets are text; a larger file is not a skin.
constexpr qint64 kMaxSkinBytes = 1024 * 1024;

int AttachEx(const QByteArray &path, const QByteArray &password)
{
    Q_UNUSED(password);
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    QFile file(QFile::decodeName(path));
    if (!app || !file.open(QIODevice::ReadOnly) || file.size() > kMaxSkinBytes)
        return 0;
    const QString sheet = QString::fromUtf8(file.readAll());
    if (sheet.trimmed().isEmpty())
        return 0;
    app->setStyleSheet(sheet);
    return 1;
}

} // namespace SkinH
