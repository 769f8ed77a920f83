// The spectrum panel of the main window: 0 to 1500 Hz around the CW tone,
// the decoder pitch, the strongest tone near it and one line of receiver
// diagnostics. A click or drag in the plot picks a new pitch.
#pragma once

#include <QPainterPath>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "CWRx.h"
#include "cw_spectrum_analyzer.h"

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
    // Monotonic seconds; only differences matter, 0 means "never".
    using Clock = std::function<double()>;

    explicit CWSpectrumView(QWidget* parent = nullptr);

    // One received block, as the audio pipeline hands it over. The
    // bandwidth, level and gain do not change what is drawn.
    void updateWithSamples(const float* samples, uint64_t count, double sampleRate, double pitch, double bandwidth,
                           int32_t signalPresent, float level, float threshold, double inputDbFS, double decoderGain,
                           double decoderCost, double wpm, double statWpm, double statQuality, double statSnrDb,
                           double statOnRatio, int32_t lock);

    // The same from the receiver's records.
    void updateWithStatus(const float* samples, uint64_t count, const CW_RX_CONFIG& config,
                          const CW_RX_STATUS& status, double inputDbFS);

    // The tracked peak, or the pitch while none has been tracked.
    double currentPeakHz() const { return analyzer_.currentPeakHz(); }

    QRectF spectrumPlotRect() const;
    double frequencyForX(double x, const QRectF& rect) const;
    double xForFrequency(double hz, const QRectF& rect) const;
    void prepareSpectrumTablesForSampleRate(double sampleRate) { analyzer_.prepareTables(sampleRate); }

    // Not owned; must outlive the view or be cleared first.
    CWSpectrumViewDelegate* delegate() const { return delegate_; }
    void setDelegate(CWSpectrumViewDelegate* delegate) { delegate_ = delegate; }

    // Replaces the monotonic system clock, for tests and offline rendering.
    void setClock(Clock clock);

    const CWSpectrumAnalyzer& analyzer() const { return analyzer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void feed(const float* samples, uint64_t count, double sampleRate, const CW_SPECTRUM_FIGURES& figures);
    void selectPitchAt(const QPointF& point);

    CWSpectrumAnalyzer analyzer_;
    Clock clock_;
    CWSpectrumViewDelegate* delegate_ = nullptr;
    QPainterPath fillPath_;   // kept to reuse their storage from paint to paint
    QPainterPath curvePath_;
};
