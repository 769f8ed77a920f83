// Geometry and label of the tone trace in its own top-left-origin
// coordinates (y downward, display points): the trace area, the fixed
// 0..1 vertical scale and the column positions.
#pragma once

#include <cstddef>

struct CW_TONE_TRACE_RECT {
    double x;
    double y;
    double width;
    double height;
};

// The bounds inset by 10 points left and right and 8 top and bottom.
CW_TONE_TRACE_RECT cw_tone_trace_rect(double x, double y, double width, double height);

// 0 at the bottom of the rect, 1 at its top; values outside are held to it.
double cw_tone_trace_y_for_value(float value, const CW_TONE_TRACE_RECT& rect);

// The inverse for a point's y (x is ignored): above the rect gives 1,
// below it 0, and a rect without height 0.
float cw_tone_trace_value_for_y(double y, const CW_TONE_TRACE_RECT& rect);

// Column 0 on the left edge of the rect, the last column on the right edge.
double cw_tone_trace_column_x(size_t column, const CW_TONE_TRACE_RECT& rect);

// Width of one key-down column: a 360th of the rect, but at least 1 point.
double cw_tone_trace_column_width(const CW_TONE_TRACE_RECT& rect);

// "Envelope / threshold  thr 0.50". Returns the length written, at most
// capacity - 1; 0 with a null buffer or no capacity.
size_t cw_tone_trace_label(float threshold, char* text, size_t capacity);
