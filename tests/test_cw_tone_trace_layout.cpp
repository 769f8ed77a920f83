// Where the tone trace draws and what height a click stands for.
#include "cw_tone_trace_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

static const CW_TONE_TRACE_RECT kTrace = cw_tone_trace_rect(0.0, 0.0, 1180.0, 75.0);  // (10, 8, 1160, 59)

TEST(ToneTraceLayout, AreaValuesAndColumns)
{
    const CW_TONE_TRACE_RECT moved = cw_tone_trace_rect(5.0, 7.0, 100.0, 40.0);
    EXPECT_TRUE(moved.x == 15.0 && moved.y == 15.0);
    for (auto [value, y] : {std::pair{0.0f, 67.0}, {1.0f, 8.0}, {0.5f, 37.5}, {1.7f, 8.0}, {-0.2f, 67.0}})
        EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(value, kTrace), y) << value;
    EXPECT_TRUE(cw_tone_trace_column_x(0, kTrace) == 10.0 && cw_tone_trace_column_x(359, kTrace) == 1170.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_column_width(kTrace), 1160.0 / 360.0);
    EXPECT_EQ(cw_tone_trace_column_width(cw_tone_trace_rect(0.0, 0.0, 200.0, 75.0)), 1.0);  // at least one point
}

TEST(ToneTraceLayout, AClickHeightIsAThresholdHeldToZeroThroughOne)
{
    for (auto [y, value] : {std::pair{37.5, 0.5f},
                            {8.0, 1.0f},
                            {67.0, 0.0f},
                            {-40.0, 1.0f},
                            {74.0, 0.0f},
                            {8.0 + 59.0 * 0.25, 0.75f},
                            {std::nan(""), 0.0f}})
        EXPECT_NEAR(cw_tone_trace_value_for_y(y, kTrace), value, 1e-6) << y;
    for (double height : {16.0, 10.0})  // no room left inside the insets
        EXPECT_EQ(cw_tone_trace_value_for_y(3.0, cw_tone_trace_rect(0.0, 0.0, 100.0, height)), 0.0f) << height;
}

TEST(ToneTraceLayout, LabelShowsTheThresholdAndFitsItsBuffer)
{
    char buffer[64];
    EXPECT_EQ(cw_tone_trace_label(0.5f, buffer, sizeof buffer), 30u);
    EXPECT_EQ(std::string(buffer), "Envelope / threshold  thr 0.50");
    EXPECT_TRUE(cw_tone_trace_label(0.5f, buffer, 9) == 8u && std::string(buffer) == "Envelope");
    EXPECT_EQ(cw_tone_trace_label(0.5f, nullptr, 9), 0u);
}
