#include "CWDarkContentView.h"

#include <QPainter>
#include <QResizeEvent>

#include <utility>

namespace {

constexpr double kBackgroundGrey = 0.08;

}  // namespace

CWDarkContentView::CWDarkContentView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CWDarkContentView::setResizeHandler(ResizeHandler handler)
{
    resizeHandler_ = std::move(handler);
    if (resizeHandler_)
        resizeHandler_(size());
}

QColor CWDarkContentView::backgroundColor()
{
    return QColor::fromRgbF(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey);
}

void CWDarkContentView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), backgroundColor());
}

void CWDarkContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (resizeHandler_)
        resizeHandler_(event->size());
}
