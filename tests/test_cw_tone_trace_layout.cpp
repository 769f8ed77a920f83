#include "cw_tone_trace_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const CW_TONE_TRACE_RECT kTrace = cw_tone_trace_rect(0.0, 0.0, 1180.0, 75.0);

}  // namespace

TEST(ToneTraceLayout, TraceAreaIsInsetTenSidewaysAndEightUpAndDown)
{
    EXPECT_EQ(kTrace.x, 10.0);
    EXPECT_EQ(kTrace.y, 8.0);
    EXPECT_EQ(kTrace.width, 1160.0);
    EXPECT_EQ(kTrace.height, 59.0);
    const CW_TONE_TRACE_RECT moved = cw_tone_trace_rect(5.0, 7.0, 100.0, 40.0);
    EXPECT_EQ(moved.x, 15.0);
    EXPECT_EQ(moved.y, 15.0);
}

TEST(ToneTraceLayout, ValuesRiseFromTheBottomAndAreHeldToTheArea)
{
    EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(0.0f, kTrace), 67.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(1.0f, kTrace), 8.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(0.5f, kTrace), 37.5);
    EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(1.7f, kTrace), 8.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_y_for_value(-0.2f, kTrace), 67.0);
}

TEST(ToneTraceClick, MapsHeightToAThreshold)
{
    EXPECT_EQ(cw_tone_trace_value_for_y(37.5, kTrace), 0.5f);
    EXPECT_EQ(cw_tone_trace_value_for_y(8.0, kTrace), 1.0f);
    EXPECT_EQ(cw_tone_trace_value_for_y(67.0, kTrace), 0.0f);
    EXPECT_EQ(cw_tone_trace_value_for_y(-40.0, kTrace), 1.0f);
    EXPECT_EQ(cw_tone_trace_value_for_y(74.0, kTrace), 0.0f);
    EXPECT_NEAR(cw_tone_trace_value_for_y(8.0 + 59.0 * 0.25, kTrace), 0.75f, 1e-6);
    EXPECT_EQ(cw_tone_trace_value_for_y(std::nan(""), kTrace), 0.0f);
}

TEST(ToneTraceClick, AnAreaWithoutHeightGivesZero)
{
    EXPECT_EQ(cw_tone_trace_value_for_y(3.0, cw_tone_trace_rect(0.0, 0.0, 100.0, 16.0)), 0.0f);
    EXPECT_EQ(cw_tone_trace_value_for_y(3.0, cw_tone_trace_rect(0.0, 0.0, 100.0, 10.0)), 0.0f);
}

TEST(ToneTraceLayout, ColumnsRunFromEdgeToEdgeAndAreAtLeastOnePointWide)
{
    EXPECT_DOUBLE_EQ(cw_tone_trace_column_x(0, kTrace), 10.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_column_x(359, kTrace), 1170.0);
    EXPECT_DOUBLE_EQ(cw_tone_trace_column_width(kTrace), 1160.0 / 360.0);
    EXPECT_EQ(cw_tone_trace_column_width(cw_tone_trace_rect(0.0, 0.0, 200.0, 75.0)), 1.0);
}

TEST(ToneTraceLabel, PrintsTheThresholdWithTwoDecimals)
{
    char buffer[64];
    const size_t n = cw_tone_trace_label(0.5f, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), "Envelope / threshold  thr 0.50");
    EXPECT_EQ(n, 30u);
    EXPECT_EQ(cw_tone_trace_label(0.5f, buffer, 9), 8u);
    EXPECT_EQ(std::string(buffer), "Envelope");
    EXPECT_EQ(cw_tone_trace_label(0.5f, nullptr, 9), 0u);
}
