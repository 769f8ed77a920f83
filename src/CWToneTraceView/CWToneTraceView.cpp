#include "CWToneTraceView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "cw_tone_trace_layout.h"
#include "CWViewPaint.h"

namespace {

CW_TONE_TRACE_RECT cw_rect(const QRectF& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

QColor cw_blended_over(const QColor& color, double alpha, const QColor& background)
{
    const auto mix = [alpha](double over, double under) { return over * alpha + under * (1.0 - alpha); };
    return QColor::fromRgbF(mix(color.redF(), background.redF()), mix(color.greenF(), background.greenF()),
                            mix(color.blueF(), background.blueF()));
}

// On whole pixels, with antialiasing off (the caller's setting).
void cw_fill_key_down_run(QPainter& p, const QRectF& run, const QColor& color)
{
    p.fillRect(run.toAlignedRect(), color);
}

}  // namespace

void CWToneTraceViewDelegate::toneTraceViewDidChangeThreshold(CWToneTraceView*, float)
{
}

CWToneTraceView::CWToneTraceView(QWidget* parent) : QWidget(parent), labelFont_(cw_monospaced_font(11))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

void CWToneTraceView::updateWithLevel(float level, float threshold, int32_t keyDown)
{
    history_.update(level, threshold, keyDown);
    update();
}

void CWToneTraceView::clear()
{
    history_.clear();
    update();
}

void CWToneTraceView::updateWithStatus(const CW_RX_STATUS& status)
{
    updateWithLevel(status.level, status.threshold, status.keyDown);
}

QRectF CWToneTraceView::traceRect() const
{
    const CW_TONE_TRACE_RECT r = cw_tone_trace_rect(0.0, 0.0, width(), height());
    return QRectF(r.x, r.y, r.width, r.height);
}

double CWToneTraceView::yForValue(float value, const QRectF& rect) const
{
    return cw_tone_trace_y_for_value(value, cw_rect(rect));
}

float CWToneTraceView::valueForPoint(const QPointF& point, const QRectF& rect) const
{
    return cw_tone_trace_value_for_y(point.y(), cw_rect(rect));
}

void CWToneTraceView::collectColumns(QPainter& p, const QRectF& trace)
{
    const CW_TONE_TRACE_RECT r = cw_rect(trace);
    const QColor keyDown = cw_blended_over(QColor::fromRgbF(0.08, 0.25, 0.08), 0.55, cw_grey(0.07));
    const double columnWidth = cw_tone_trace_column_width(r);
    // A run of key-down columns is filled as one rectangle, opaque (the
    // translucent colour blended over the trace background) and on whole
    // pixels: Qt spreads translucent or antialiased fills of this height
    // over its thread pool, which at 20 repaints a second cost more in
    // thread wake-ups than the decoding does.
    double runStart = -1.0, runEnd = 0.0;
    columnCount_ = 0;
    // Switched rather than saved and restored: a painter's save copies its
    // whole state, once per run.
    const bool antialiased = p.testRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (size_t i = 0; i < kCWToneTraceLength; ++i) {
        CW_TONE_TRACE_ENTRY e;
        if (!history_.entryForColumn(i, &e))
            continue;
        const double x = cw_tone_trace_column_x(i, r);
        if (e.keyDown) {
            if (runStart < 0.0)
                runStart = x;
            runEnd = x + columnWidth;
        } else if (runStart >= 0.0) {
            cw_fill_key_down_run(p, QRectF(runStart, trace.y(), runEnd - runStart, trace.height()), keyDown);
            runStart = -1.0;
        }
        levelPoints_[columnCount_] = QPointF(x, cw_tone_trace_y_for_value(e.level, r));
        thresholdPoints_[columnCount_] = QPointF(x, cw_tone_trace_y_for_value(e.threshold, r));
        ++columnCount_;
    }
    if (runStart >= 0.0)
        cw_fill_key_down_run(p, QRectF(runStart, trace.y(), runEnd - runStart, trace.height()), keyDown);
    p.setRenderHint(QPainter::Antialiasing, antialiased);
}

// Laying out and rasterising text costs more than the whole trace; the
// label is drawn once on a clear pixmap and copied while it stays the same.
const QPixmap& CWToneTraceView::labelFor(const QString& text)
{
    const qreal ratio = devicePixelRatioF();
    if (text == labelText_ && !label_.isNull() && label_.devicePixelRatio() == ratio)
        return label_;
    labelText_ = text;
    const QFontMetricsF metrics(labelFont_);
    const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 2.0, std::ceil(metrics.height()));
    label_ = QPixmap((size * ratio).toSize());
    label_.setDevicePixelRatio(ratio);
    label_.fill(Qt::transparent);
    QPainter q(&label_);
    q.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    q.setFont(labelFont_);
    q.setPen(cw_grey(0.78));
    q.drawText(QPointF(0.0, metrics.ascent()), text);
    return label_;
}

void CWToneTraceView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF trace = traceRect();
    cw_draw_backdrop(p, *this, &backdrop_, [&](QPainter& q) {
        q.fillRect(rect(), cw_grey(0.04));
        q.fillRect(trace, cw_grey(0.07));
        q.setPen(cw_pen(cw_grey(0.22), 1.0));
        q.setBrush(Qt::NoBrush);
        q.drawRect(trace);
    });

    collectColumns(p, trace);
    // Both traces one pixel wide: Qt strokes lines no wider than a pixel
    // with its fast stroker, wider ones outline first and cost three times
    // as much, at 20 repaints a second the largest share of the window's
    // time.
    const auto columns = static_cast<int>(columnCount_);
    p.setPen(cw_pen(QColor::fromRgbF(0.25, 0.9, 0.25, 1.0), 1.0));
    p.drawPolyline(levelPoints_.data(), columns);
    // Opaque for the same reason as the key-down runs, which it may cross
    // slightly brighter than a translucent line would.
    p.setPen(cw_pen(cw_blended_over(QColor::fromRgbF(1.0, 0.25, 0.2), 0.6, cw_grey(0.07)), 1.0));
    p.drawPolyline(thresholdPoints_.data(), columns);

    const double y = yForValue(history_.currentThreshold(), trace);
    p.setPen(cw_pen(QColor::fromRgbF(1.0, 0.1, 0.08, 1.0), 1.6));
    p.drawLine(QPointF(trace.left(), y), QPointF(trace.right(), y));

    char label[64];
    cw_tone_trace_label(history_.currentThreshold(), label, sizeof label);
    p.drawPixmap(trace.topLeft() + QPointF(8.0, 5.0), labelFor(QString::fromLatin1(label)));
}

void CWToneTraceView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setManualThresholdAt(event->position());
}

void CWToneTraceView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        setManualThresholdAt(event->position());
}

void CWToneTraceView::setManualThresholdAt(const QPointF& point)
{
    const float value = valueForPoint(point, traceRect());
    history_.setCurrentThreshold(value);
    if (delegate_)
        delegate_->toneTraceViewDidChangeThreshold(this, value);
    update();
}
