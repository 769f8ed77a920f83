// Geometry of the spectrum view in its own top-left-origin coordinates
// (x to the right, y downward, display points): the plot area, the mapping
// between frequency and x, and the pitch a click picks.
#pragma once

#include <cstddef>

struct CW_SPECTRUM_RECT {
    double x;
    double y;
    double width;
    double height;
};

// The plot inside bounds of width x height: 10 points in from the left,
// right and top, 48 from the bottom to leave room for labels and the
// diagnostics line.
CW_SPECTRUM_RECT cw_spectrum_plot_rect(double width, double height);

// 0..1500 Hz across the rect, clamped at its edges; a rect of width 1 or
// less has no scale and gives `fallbackHz`.
double cw_spectrum_frequency_for_x(double x, const CW_SPECTRUM_RECT& rect, double fallbackHz);

// The inverse, clamped to the rect; a frequency that is not a number maps
// to the left edge.
double cw_spectrum_x_for_frequency(double hz, const CW_SPECTRUM_RECT& rect);

// Corner points of bin k's column: x across the plot, y down from the top
// by the bin's value (0..1) times the plot height.
double cw_spectrum_bin_x(size_t bin, const CW_SPECTRUM_RECT& plot);
double cw_spectrum_value_y(float value, const CW_SPECTRUM_RECT& plot);

// The pitch picked by a click at (x, y) in bounds of width x height: only
// within the plot grown by 4 points sideways and 6 up and down; the
// frequency under x rounded to 5 Hz (halves away from zero) and held to
// 300..1200 Hz. Returns false, leaving *pitchHz alone, for a point
// outside. `fallbackHz` is used when the plot has no width.
bool cw_spectrum_pick_pitch(double x, double y, double width, double height, double fallbackHz, double* pitchHz);
