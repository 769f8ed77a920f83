#include "cw_spectrum_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// At this width the plot is 600 points wide, 0.4 points per hertz.
constexpr double kW = 620.0, kH = 110.0;

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

TEST(SpectrumLayout, PlotLeavesTenPointsAroundAndRoomBelow)
{
    const CW_SPECTRUM_RECT r = cw_spectrum_plot_rect(1180.0, 110.0);
    EXPECT_EQ(r.x, 10.0);
    EXPECT_EQ(r.y, 10.0);
    EXPECT_EQ(r.width, 1160.0);
    EXPECT_EQ(r.height, 52.0);
}

TEST(SpectrumLayout, FrequencyAndXMapOntoEachOtherAndClampAtTheEdges)
{
    const CW_SPECTRUM_RECT r = cw_spectrum_plot_rect(kW, kH);
    EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(10.0, r, 600.0), 0.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(610.0, r, 600.0), 1500.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(310.0, r, 600.0), 750.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(-50.0, r, 600.0), 0.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_frequency_for_x(900.0, r, 600.0), 1500.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_x_for_frequency(600.0, r), 250.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_x_for_frequency(-10.0, r), 10.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_x_for_frequency(2000.0, r), 610.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_x_for_frequency(std::nan(""), r), 10.0);
}

TEST(SpectrumLayout, BinsSpanThePlotAndValuesRiseFromItsBottom)
{
    const CW_SPECTRUM_RECT r = cw_spectrum_plot_rect(kW, kH);
    EXPECT_DOUBLE_EQ(cw_spectrum_bin_x(0, r), 10.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_bin_x(300, r), 610.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_bin_x(150, r), 310.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_value_y(0.0f, r), 62.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_value_y(1.0f, r), 10.0);
    EXPECT_DOUBLE_EQ(cw_spectrum_value_y(0.5f, r), 36.0);
}

TEST(SpectrumPick, RoundsToFiveHertzWithHalvesAwayFromZero)
{
    ASSERT_DOUBLE_EQ(cw_spectrum_frequency_for_x(x_of(1002.5), cw_spectrum_plot_rect(kW, kH), 0.0), 1002.5);
    EXPECT_EQ(pick(x_of(1002.4)), 1000.0);
    EXPECT_EQ(pick(x_of(1002.5)), 1005.0);
    EXPECT_EQ(pick(x_of(697.6)), 700.0);
}

TEST(SpectrumPick, HoldsThePitchTo300Through1200Hz)
{
    EXPECT_EQ(pick(x_of(0.0) - 3.0), 300.0);
    EXPECT_EQ(pick(x_of(120.0)), 300.0);
    EXPECT_EQ(pick(x_of(1237.0)), 1200.0);
    EXPECT_EQ(pick(x_of(1500.0) + 4.0), 1200.0);
}

TEST(SpectrumPick, AcceptsFourPointsSidewaysAndSixUpAndDownOnly)
{
    EXPECT_EQ(pick(6.0), 300.0);
    EXPECT_EQ(pick(5.9), -1.0);
    EXPECT_EQ(pick(614.0), 1200.0);
    EXPECT_EQ(pick(614.1), -1.0);
    EXPECT_EQ(pick(x_of(600.0), 4.0), 600.0);
    EXPECT_EQ(pick(x_of(600.0), 3.9), -1.0);
    EXPECT_EQ(pick(x_of(600.0), 68.0), 600.0);
    EXPECT_EQ(pick(x_of(600.0), 68.1), -1.0);
    EXPECT_EQ(pick(std::nan(""), 30.0), -1.0);
}
