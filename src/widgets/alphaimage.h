#pragma once

#include <QImage>
#include <QWidget>

namespace corvane::widgets {

// Paints a picture with its alpha channel over the whole of its square.
class AlphaImage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlphaImage)

public:
    explicit AlphaImage(QWidget *parent = nullptr);
    ~AlphaImage() override;

    void setImage(const QImage &image);
    QImage image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

} // namespace corvane::widgets
