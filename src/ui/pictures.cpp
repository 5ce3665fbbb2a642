#include "pictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace corvane::ui {
namespace {

QImage sphereIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(0, 0, size, size).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal ring = qMax<qreal>(1.5, size / 10.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 128, 128));
    p.drawEllipse(outer);
    const QRectF sphere = outer.adjusted(ring, ring, -ring, -ring);
    QRadialGradient shade(sphere.center() - QPointF(sphere.width() / 5, sphere.height() / 5),
                          sphere.width() / 1.4);
    shade.setColorAt(0, QColor(170, 205, 240));
    shade.setColorAt(1, QColor(40, 90, 160));
    p.setBrush(shade);
    p.drawEllipse(sphere);
    // Meridians and parallels.
    QPen grid(QColor(235, 245, 255, 190), qMax<qreal>(0.8, size / 40.0));
    p.setPen(grid);
    p.setBrush(Qt::NoBrush);
    for (qreal f : {0.35, 0.7}) {
        const qreal w = sphere.width() * f;
        p.drawEllipse(QRectF(sphere.center().x() - w / 2, sphere.top(), w, sphere.height()));
        const qreal h = sphere.height() * f;
        p.drawEllipse(QRectF(sphere.left(), sphere.center().y() - h / 2, sphere.width(), h));
    }
    p.drawLine(QPointF(sphere.center().x(), sphere.top()), QPointF(sphere.center().x(), sphere.bottom()));
    p.drawLine(QPointF(sphere.left(), sphere.center().y()), QPointF(sphere.right(), sphere.center().y()));
    return image;
}

// Draws the icon only when a size of it is asked for: the window hands its icon back at
// start before the icon is ever shown.
class SphereIconEngine final : public QIconEngine
{
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        painter->drawImage(rect, sphereIcon(qMin(rect.width(), rect.height())));
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return QPixmap::fromImage(sphereIcon(qMin(size.width(), size.height())));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {{16, 16}, {32, 32}, {48, 48}}; }
    QIconEngine *clone() const override { return new SphereIconEngine; }
    QString key() const override { return QStringLiteral("corvane-sphere"); }
};

} // namespace

QIcon designIcon()
{
    return QIcon(new SphereIconEngine);
}

QImage placeholderPortrait()
{
    constexpr int size = 90;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // Soft corners: the square's corners stay transparent.
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, size, size), 8, 8);
    p.setClipPath(square);
    p.fillRect(image.rect(), QColor(246, 242, 234));
    const QColor beige(214, 196, 168);
    p.setBrush(beige);
    p.drawEllipse(QRectF(29, 14, 32, 36));             // head
    p.drawRoundedRect(QRectF(13, 56, 64, 48), 30, 24); // shoulders
    return image;
}

QImage ringFrame()
{
    constexpr int size = 180;
    constexpr qreal hole = 150;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(248, 245, 238));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(size / 2.0, size / 2.0);
    // A light shadow below the ring.
    QRadialGradient shadow(centre + QPointF(0, 4), hole / 2 + 9);
    shadow.setColorAt(0.80, QColor(0, 0, 0, 60));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(centre + QPointF(0, 4), hole / 2 + 9, hole / 2 + 9);
    // The thin white ring.
    p.setBrush(Qt::white);
    p.drawEllipse(centre, hole / 2 + 4, hole / 2 + 4);
    // The transparent disc.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(centre, hole / 2, hole / 2);
    return image;
}

} // namespace corvane::ui
