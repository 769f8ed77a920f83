// The tone trace's 360 columns of level, threshold and key state.
#include "cw_tone_trace_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

// Entry i carries level i / 1000, so columns read back as indices.
CWToneTraceHistory after(int updates)
{
    CWToneTraceHistory h;
    for (int i = 0; i < updates; ++i)
        h.update(i / 1000.0f, 0.5f, i % 2);
    return h;
}

// The index shown in a column, or -1 when it is empty.
int shown(const CWToneTraceHistory& h, size_t column)
{
    CW_TONE_TRACE_ENTRY e;
    return h.entryForColumn(column, &e) ? static_cast<int>(std::lround(e.level * 1000.0f)) : -1;
}

}  // namespace

TEST(ToneTraceHistory, NewestAtTheRightOldestToItsLeft)
{
    for (auto [updates, firstColumn, firstIndex] :
         {std::tuple{1, 359, 0}, {5, 355, 0}, {359, 1, 0}, {360, 0, 0}, {1000, 0, 640}}) {
        const CWToneTraceHistory h = after(updates);
        EXPECT_TRUE(firstColumn == 0 || shown(h, firstColumn - 1) == -1) << updates;
        for (int col = firstColumn; col < 360; ++col)
            ASSERT_EQ(shown(h, col), firstIndex + col - firstColumn) << updates << " col " << col;
        EXPECT_EQ(h.filled(), updates >= 360) << updates;
    }
    CW_TONE_TRACE_ENTRY e;
    EXPECT_FALSE(after(3).entryForColumn(360, &e) || after(3).entryForColumn(359, nullptr));
}

TEST(ToneTraceHistory, ValuesAreHeldToZeroThroughOneAndTheThresholdCanBePlacedByHand)
{
    CWToneTraceHistory h;
    EXPECT_EQ(h.currentThreshold(), 0.5f);
    h.update(1.7f, -0.2f, 5), h.update(-0.2f, 3.0f, 0), h.update(std::nanf(""), std::nanf(""), -1);
    CW_TONE_TRACE_ENTRY a, b, c;
    ASSERT_TRUE(h.entryForColumn(357, &a) && h.entryForColumn(358, &b) && h.entryForColumn(359, &c));
    EXPECT_TRUE(a.level == 1.0f && a.threshold == 0.0f && a.keyDown == 1);
    EXPECT_TRUE(b.level == 0.0f && b.threshold == 1.0f && b.keyDown == 0);
    EXPECT_TRUE(c.level == 0.0f && c.threshold == 0.0f && c.keyDown == 1);
    h.update(0.3f, 0.62f, 1);
    EXPECT_EQ(h.currentThreshold(), 0.62f);
    h.setCurrentThreshold(0.25f);
    ASSERT_TRUE(h.currentThreshold() == 0.25f && h.entryForColumn(359, &c));
    EXPECT_EQ(c.threshold, 0.62f);  // the history keeps what applied
    h.setCurrentThreshold(4.0f);
    EXPECT_EQ(h.currentThreshold(), 1.0f);
}
