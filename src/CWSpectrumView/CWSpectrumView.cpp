#include "CWSpectrumView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "cw_spectrum_diagnostics.h"
#include "cw_spectrum_layout.h"
#include "CWViewPaint.h"

namespace {

constexpr double kGridStepHz = 100.0;
constexpr double kMajorGridHz = 500.0;
constexpr double kTickLength = 5.0;

CW_SPECTRUM_RECT cw_rect(const QRectF& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

void cw_draw_frame(QPainter& p, const QRectF& bounds, const QRectF& plot)
{
    p.fillRect(bounds, cw_grey(0.04));
    p.fillRect(plot, cw_grey(0.08));
    p.setPen(cw_pen(cw_grey(0.22), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
}

void cw_draw_grid(QPainter& p, const QRectF& plot)
{
    const CW_SPECTRUM_RECT r = cw_rect(plot);
    const QPen major = cw_pen(cw_grey(0.18), 1.0);
    const QPen minor = cw_pen(cw_grey(0.11), 0.5);
    for (int i = 0; i * kGridStepHz <= kCWSpectrumSpanHz; ++i) {
        const double hz = i * kGridStepHz;
        const double x = cw_spectrum_x_for_frequency(hz, r);
        p.setPen(i % static_cast<int>(kMajorGridHz / kGridStepHz) == 0 ? major : minor);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
}

void cw_draw_labels(QPainter& p, const QRectF& plot)
{
    const CW_SPECTRUM_RECT r = cw_rect(plot);
    const QPen tick = cw_pen(cw_grey(0.28), 1.0);
    const QPen text = cw_pen(cw_grey(0.62), 1.0);
    p.setFont(cw_monospaced_font(10));
    char label[32];
    for (double hz = 0.0; hz <= kCWSpectrumSpanHz; hz += kMajorGridHz) {
        const double x = cw_spectrum_x_for_frequency(hz, r);
        p.setPen(tick);
        p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTickLength));
        p.setPen(text);
        cw_spectrum_frequency_label(hz, label, sizeof label);
        p.drawText(QRectF(x - 22.0, plot.bottom() + 4.0, 44.0, 12.0), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromLatin1(label));
    }
}

void cw_draw_peak_marker(QPainter& p, const QRectF& plot, double x)
{
    const QColor red = QColor::fromRgbF(1.0, 0.25, 0.2, 0.95);
    QPen dashed = cw_pen(red, 2.0);
    dashed.setDashPattern({3.0 / 2.0, 2.0 / 2.0});  // Qt counts dashes in pen widths
    dashed.setDashOffset(0.0);
    p.setPen(dashed);
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(QRectF(x - 3.0, plot.top() + 2.0, 6.0, 6.0));
    p.setBrush(Qt::NoBrush);
}

}  // namespace

CWSpectrumView::CWSpectrumView(QWidget* parent) : QWidget(parent), figures_(cw_spectrum_initial_figures())
{
    spectrum_.pitchHz = figures_.pitchHz;
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
    setFocusPolicy(Qt::StrongFocus);
}

void CWSpectrumView::show(const CW_SPECTRUM_SNAPSHOT& spectrum, const CW_SPECTRUM_FIGURES& figures)
{
    spectrum_ = spectrum;
    figures_ = figures;
    update();
}

QRectF CWSpectrumView::spectrumPlotRect() const
{
    const CW_SPECTRUM_RECT r = cw_spectrum_plot_rect(width(), height());
    return QRectF(r.x, r.y, r.width, r.height);
}

double CWSpectrumView::frequencyForX(double x, const QRectF& rect) const
{
    return cw_spectrum_frequency_for_x(x, cw_rect(rect), figures_.pitchHz);
}

double CWSpectrumView::xForFrequency(double hz, const QRectF& rect) const
{
    return cw_spectrum_x_for_frequency(hz, cw_rect(rect));
}

void CWSpectrumView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF plot = spectrumPlotRect();
    const CW_SPECTRUM_RECT r = cw_rect(plot);
    const double bottom = plot.bottom();
    cw_draw_backdrop(p, *this, &backdrop_, [&](QPainter& q) {
        cw_draw_frame(q, rect(), plot);
        cw_draw_grid(q, plot);
        cw_draw_labels(q, plot);
    });

    fillPath_.clear();
    curvePath_.clear();
    const float* s = spectrum_.bins;
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const QPointF top(cw_spectrum_bin_x(k, r), cw_spectrum_value_y(s[k], r));
        fillPath_.moveTo(top.x(), bottom);
        fillPath_.lineTo(top);
        if (k == 0)
            curvePath_.moveTo(top);
        else
            curvePath_.lineTo(top);
    }
    p.strokePath(fillPath_, cw_pen(QColor::fromRgbF(0.12, 0.42, 0.14, 0.32), 0.8));
    p.strokePath(curvePath_, cw_pen(QColor::fromRgbF(0.22, 0.95, 0.28, 1.0), 1.0));

    const double pitchX = cw_spectrum_x_for_frequency(figures_.pitchHz, r);
    p.setPen(cw_pen(QColor::fromRgbF(1.0, 0.85, 0.2, 1.0), 1.0));
    p.drawLine(QPointF(pitchX, plot.top()), QPointF(pitchX, bottom + kTickLength));

    if (spectrum_.peakMarkerVisible)
        cw_draw_peak_marker(p, plot, cw_spectrum_x_for_frequency(spectrum_.peakHz, r));

    char line[512];
    const QFont font = cw_monospaced_font(12);
    const QRectF room(10.0, bottom + 18.0, width() - 20.0, 20.0);
    cw_spectrum_diagnostics_text(figures_, spectrum_.peakHz, cw_monospaced_columns(font, room.width()), line,
                                 sizeof line);
    p.setFont(font);
    p.setPen(cw_pen(cw_grey(0.82), 1.0));
    p.drawText(room, Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(line));
}

void CWSpectrumView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    selectPitchAt(event->position());
}

void CWSpectrumView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        selectPitchAt(event->position());
}

void CWSpectrumView::selectPitchAt(const QPointF& point)
{
    double pitch = 0.0;
    if (!cw_spectrum_pick_pitch(point.x(), point.y(), width(), height(), figures_.pitchHz, &pitch))
        return;
    figures_.pitchHz = pitch;
    update();
    if (delegate_)
        delegate_->spectrumViewDidSelectPitchHz(this, pitch);
}
