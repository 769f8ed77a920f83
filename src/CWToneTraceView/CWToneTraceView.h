// The strip under the spectrum: the recent tone level, the threshold that
// applied at each moment and the key-down stretches, newest at the right.
// A click or drag places a threshold line by hand.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>

#include "CWRx.h"
#include "cw_tone_trace_history.h"

class CWToneTraceView;

class CWToneTraceViewDelegate {
public:
    // Optional: the hand-placed threshold, 0..1. The default ignores it.
    virtual void toneTraceViewDidChangeThreshold(CWToneTraceView* view, float threshold);

protected:
    ~CWToneTraceViewDelegate() = default;
};

class CWToneTraceView : public QWidget {
public:
    explicit CWToneTraceView(QWidget* parent = nullptr);

    void updateWithLevel(float level, float threshold, int32_t keyDown);
    void updateWithStatus(const CW_RX_STATUS& status);
    // An empty trace, for when no audio comes any more.
    void clear();

    QRectF traceRect() const;
    double yForValue(float value, const QRectF& rect) const;
    float valueForPoint(const QPointF& point, const QRectF& rect) const;

    float currentThreshold() const { return history_.currentThreshold(); }
    const CWToneTraceHistory& history() const { return history_; }

    // Not owned; must outlive the view or be cleared first.
    CWToneTraceViewDelegate* delegate() const { return delegate_; }
    void setDelegate(CWToneTraceViewDelegate* delegate) { delegate_ = delegate; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void setManualThresholdAt(const QPointF& point);
    // Fills the key-down columns and gathers both traces' points.
    void collectColumns(QPainter& painter, const QRectF& trace);
    const QPixmap& labelFor(const QString& text);

    CWToneTraceHistory history_;
    CWToneTraceViewDelegate* delegate_ = nullptr;
    std::array<QPointF, kCWToneTraceLength> levelPoints_;
    std::array<QPointF, kCWToneTraceLength> thresholdPoints_;
    size_t columnCount_ = 0;
    QPixmap backdrop_;
    // The threshold's label, drawn again only when it reads differently.
    QFont labelFont_;
    QString labelText_;
    QPixmap label_;
};
