#pragma once

#include <QLabel>
#include <QString>

namespace corvane::widgets {

// Tooltips take markup whenever the text looks like it, and names come from the
// network: this one always shows the text as it is.
QString plainToolTip(const QString &text);

// A line of plain text that shows its whole text when it has the room and shortens it
// with "…" to the width it is given when it has not; the whole text is its tooltip. It
// asks for its whole width and takes less without complaint, so that a name from the
// server cannot widen the window it is in.
class ElidingLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit ElidingLabel(Qt::TextElideMode mode, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return m_full; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    Qt::TextElideMode m_mode;
    QString m_full;
};

} // namespace corvane::widgets
