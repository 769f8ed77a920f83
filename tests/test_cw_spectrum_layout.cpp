// Where the spectrum view draws and what a click on it picks.
#include "cw_spectrum_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// At this size the plot is (10, 10, 600, 52): 0.4 points per hertz.
constexpr double kW = 620.0, kH = 110.0;
const CW_SPECTRUM_RECT kPlot = cw_spectrum_plot_rect(kW, kH);

double x_of(double hz)
{
    return 10.0 + hz * 600.0 / 1500.0;
}

double pick(double x, double y = 30.0)
{
    double pitch = -1.0;
    return cw_spectrum_pick_pitch(x, y, kW, kH, 600.0, &pitch) ? pitch : -1.0;
}

}  // namespace

TEST(SpectrumLayout, PlotMapsFrequencyBinsAndValuesAndClampsAtItsEdges)
{
    for (auto [x, hz] : {std::pair{10.0, 0.0}, {610.0, 1500.0}, {310.0, 750.0}, {-50.0, 0.0}, {900.0, 1500.0}})
        EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(x, kPlot, 600.0), hz) << x;
    for (auto [hz, x] : {std::pair{600.0, 250.0}, {-10.0, 10.0}, {2000.0, 610.0}, {std::nan(""), 10.0}})
        EXPECT_DOUBLE_EQ(cw_spectrum_x_for_frequency(hz, kPlot), x) << hz;
    for (auto [bin, x] : {std::pair{0u, 10.0}, {150u, 310.0}, {300u, 610.0}})
        EXPECT_DOUBLE_EQ(cw_spectrum_bin_x(bin, kPlot), x) << bin;
    for (auto [value, y] : {std::pair{0.0f, 62.0}, {0.5f, 36.0}, {1.0f, 10.0}})
        EXPECT_DOUBLE_EQ(cw_spectrum_value_y(value, kPlot), y) << value;
}

// Picks round to 5 Hz (halves away from zero), are held to 300..1200 Hz and
// reach four points beside the plot and six above and below it.
TEST(SpectrumPick, RoundsClampsAndReachesALittleBeyondThePlot)
{
    for (auto [x, y, pitch] : {std::tuple{x_of(697.6), 30.0, 700.0},
                               {x_of(120.0), 30.0, 300.0},
                               {6.0, 30.0, 300.0},
                               {5.9, 30.0, -1.0},
                               {614.0, 30.0, 1200.0},
                               {614.1, 30.0, -1.0},
                               {x_of(600.0), 4.0, 600.0},
                               {x_of(600.0), 3.9, -1.0},
                               {x_of(600.0), 68.0, 600.0},
                               {x_of(600.0), 68.1, -1.0},
                               {std::nan(""), 30.0, -1.0}})
        EXPECT_EQ(pick(x, y), pitch) << x << ", " << y;
}
