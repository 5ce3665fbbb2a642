#include "elidinglabel.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {

QString plainToolTip(const QString &text)
{
    return text.isEmpty() ? text : u"<p style='white-space:pre-wrap'>"_s + text.toHtmlEscaped() + u"</p>"_s;
}

ElidingLabel::ElidingLabel(Qt::TextElideMode mode, QWidget *parent) : QLabel(parent), m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void ElidingLabel::setFullText(const QString &text)
{
    m_full = text;
    setToolTip(plainToolTip(text));
    elide();
    updateGeometry();
}

QSize ElidingLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_full) + 2 * margin() + 2, QLabel::sizeHint().height()};
}

QSize ElidingLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidingLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidingLabel::elide()
{
    setText(fontMetrics().elidedText(m_full, m_mode, qMax(0, contentsRect().width())));
}

} // namespace corvane::widgets
