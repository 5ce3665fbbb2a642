#include "addressedit.h"

namespace corvane::widgets {

AddressEdit::AddressEdit(QWidget *parent) : QLineEdit(parent) {}

AddressEdit::~AddressEdit() = default;

void AddressEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

} // namespace corvane::widgets
