#pragma once

#include <QLineEdit>

namespace corvane::widgets {

// A line edit that reports double-clicks. The signal comes from the widget's own
// handler, which a disabled widget never reaches (filters and parents still would).
class AddressEdit final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressEdit)

public:
    explicit AddressEdit(QWidget *parent = nullptr);
    ~AddressEdit() override;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace corvane::widgets
