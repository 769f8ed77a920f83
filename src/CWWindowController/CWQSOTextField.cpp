#include "CWQSOTextField.h"

CWQSOTextField::CWQSOTextField(int pickTarget, QWidget* parent) : QLineEdit(parent), pickTarget_(pickTarget)
{
}

void CWQSOTextField::mousePressEvent(QMouseEvent* event)
{
    if (pickTarget_ != 0 && request_)
        request_(pickTarget_);
    QLineEdit::mousePressEvent(event);
}
