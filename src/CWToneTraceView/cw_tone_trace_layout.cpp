#include "cw_tone_trace_layout.h"

#include <algorithm>
#include <cstdio>

#include "cw_tone_trace_history.h"

namespace {

constexpr double kInsetX = 10.0;
constexpr double kInsetY = 8.0;

}  // namespace

CW_TONE_TRACE_RECT cw_tone_trace_rect(double x, double y, double width, double height)
{
    return {x + kInsetX, y + kInsetY, width - 2.0 * kInsetX, height - 2.0 * kInsetY};
}

double cw_tone_trace_y_for_value(float value, const CW_TONE_TRACE_RECT& rect)
{
    return rect.y + rect.height - static_cast<double>(cw_tone_trace_clamp(value)) * rect.height;
}

float cw_tone_trace_value_for_y(double y, const CW_TONE_TRACE_RECT& rect)
{
    if (!(rect.height > 0.0))
        return 0.0f;
    const double bottom = rect.y + rect.height;
    const double held = std::clamp(y, rect.y, bottom);
    return cw_tone_trace_clamp(static_cast<float>((bottom - held) / rect.height));
}

double cw_tone_trace_column_x(size_t column, const CW_TONE_TRACE_RECT& rect)
{
    return rect.x + static_cast<double>(column) * rect.width / (kCWToneTraceLength - 1);
}

double cw_tone_trace_column_width(const CW_TONE_TRACE_RECT& rect)
{
    return std::max(rect.width / kCWToneTraceLength, 1.0);
}

size_t cw_tone_trace_label(float threshold, char* text, size_t capacity)
{
    if (!text || capacity == 0)
        return 0;
    const int n = std::snprintf(text, capacity, "Envelope / threshold  thr %.2f", static_cast<double>(threshold));
    if (n < 0) {
        text[0] = '\0';
        return 0;
    }
    return std::min(static_cast<size_t>(n), capacity - 1);
}
