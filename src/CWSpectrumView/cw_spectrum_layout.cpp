#include "cw_spectrum_layout.h"

#include <algorithm>
#include <cmath>

#include "cw_spectrum_estimator.h"
#include "cw_tuner.h"

namespace {

constexpr double kInset = 10.0;
constexpr double kBottomSpace = 58.0;  // both vertical insets together
constexpr double kPickSlackX = 4.0;
constexpr double kPickSlackY = 6.0;

double unit_clamp(double v)
{
    return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}

}  // namespace

CW_SPECTRUM_RECT cw_spectrum_plot_rect(double width, double height)
{
    return {kInset, kInset, width - 2.0 * kInset, height - kBottomSpace};
}

double cw_spectrum_frequency_for_x(double x, const CW_SPECTRUM_RECT& rect, double fallbackHz)
{
    if (!(rect.width > 1.0))
        return fallbackHz;
    return unit_clamp((x - rect.x) / rect.width) * kCWSpectrumSpanHz;
}

double cw_spectrum_x_for_frequency(double hz, const CW_SPECTRUM_RECT& rect)
{
    return rect.x + unit_clamp(hz / kCWSpectrumSpanHz) * rect.width;
}

double cw_spectrum_bin_x(size_t bin, const CW_SPECTRUM_RECT& plot)
{
    return plot.x + static_cast<double>(bin) * plot.width / (kCWSpectrumBinCount - 1);
}

double cw_spectrum_value_y(float value, const CW_SPECTRUM_RECT& plot)
{
    return plot.y + plot.height - static_cast<double>(value) * plot.height;
}

bool cw_spectrum_pick_pitch(double x, double y, double width, double height, double fallbackHz, double* pitchHz)
{
    const CW_SPECTRUM_RECT plot = cw_spectrum_plot_rect(width, height);
    const bool inside = x >= plot.x - kPickSlackX && x <= plot.x + plot.width + kPickSlackX &&
                        y >= plot.y - kPickSlackY && y <= plot.y + plot.height + kPickSlackY;
    if (!inside || !pitchHz)
        return false;
    const double hz = cw_spectrum_frequency_for_x(x, plot, fallbackHz);
    *pitchHz = cw_tuner_quantized_pitch(hz);
    return true;
}
