#include "alphaimage.h"

#include <QPainter>

namespace corvane::widgets {

AlphaImage::AlphaImage(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
}

AlphaImage::~AlphaImage() = default;

void AlphaImage::setImage(const QImage &image)
{
    m_image = image;
    update();
}

void AlphaImage::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

} // namespace corvane::widgets
