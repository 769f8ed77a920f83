#include "CWTxTextView.h"

#include <QKeyEvent>

CWTxTextView::CWTxTextView(QWidget* parent) : QPlainTextEdit(parent)
{
}

void CWTxTextView::keyPressEvent(QKeyEvent* event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && !(event->modifiers() & Qt::ShiftModifier) && send_) {
        send_();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
