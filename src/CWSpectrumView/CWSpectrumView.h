// The spectrum panel of the main window: 0 to 1500 Hz around the CW tone,
// the decoder pitch, the strongest tone near it and one line of receiver
// diagnostics. A click or drag in the plot picks a new pitch.
#pragma once

#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

#include "cw_spectrum_estimator.h"
#include "cw_spectrum_figures.h"

class CWSpectrumView;

class CWSpectrumViewDelegate {
public:
    // Every accepted click and every drag event inside the plot, with the
    // pitch rounded to 5 Hz and held to 300..1200 Hz.
    virtual void spectrumViewDidSelectPitchHz(CWSpectrumView* view, double pitchHz) = 0;

protected:
    ~CWSpectrumViewDelegate() = default;
};

class CWSpectrumView : public QWidget {
public:
    explicit CWSpectrumView(QWidget* parent = nullptr);

    // The tuner's newest spectrum with the receiver's figures of the block
    // it came with; draws them.
    void show(const CW_SPECTRUM_SNAPSHOT& spectrum, const CW_SPECTRUM_FIGURES& figures);

    const CW_SPECTRUM_SNAPSHOT& spectrum() const { return spectrum_; }
    const CW_SPECTRUM_FIGURES& figures() const { return figures_; }

    QRectF spectrumPlotRect() const;
    double frequencyForX(double x, const QRectF& rect) const;
    double xForFrequency(double hz, const QRectF& rect) const;

    // Not owned; must outlive the view or be cleared first.
    CWSpectrumViewDelegate* delegate() const { return delegate_; }
    void setDelegate(CWSpectrumViewDelegate* delegate) { delegate_ = delegate; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void selectPitchAt(const QPointF& point);

    CW_SPECTRUM_SNAPSHOT spectrum_{};
    CW_SPECTRUM_FIGURES figures_;
    CWSpectrumViewDelegate* delegate_ = nullptr;
    QPainterPath fillPath_;  // kept to reuse their storage from paint to paint
    QPainterPath curvePath_;
    QPixmap backdrop_;  // frame, grid and frequency labels
};
