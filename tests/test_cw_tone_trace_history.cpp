#include "cw_tone_trace_history.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Entry i carries level i / 1000, so columns can be read back as indices.
CWToneTraceHistory after(int updates)
{
    CWToneTraceHistory h;
    for (int i = 0; i < updates; ++i) h.update(i / 1000.0f, 0.5f, i % 2);
    return h;
}

// The index shown in a column, or -1 when it is empty.
int shown(const CWToneTraceHistory& h, size_t column)
{
    CW_TONE_TRACE_ENTRY e;
    return h.entryForColumn(column, &e) ? static_cast<int>(std::lround(e.level * 1000.0f)) : -1;
}

}  // namespace

TEST(ToneTraceRing, NewestAtTheRightOldestToItsLeft)
{
    const struct { int updates; int firstShownColumn; int indexInFirstColumn; } cases[] = {
        {1, 359, 0}, {5, 355, 0}, {359, 1, 0}, {360, 0, 0}, {1000, 0, 640},
    };
    for (const auto& c : cases) {
        const CWToneTraceHistory h = after(c.updates);
        if (c.firstShownColumn > 0) {
            EXPECT_EQ(shown(h, c.firstShownColumn - 1), -1) << c.updates;
        }
        for (int col = c.firstShownColumn; col < 360; ++col)
            ASSERT_EQ(shown(h, col), c.indexInFirstColumn + col - c.firstShownColumn) << c.updates << " col " << col;
        EXPECT_EQ(h.filled(), c.updates >= 360) << c.updates;
        EXPECT_EQ(h.head(), static_cast<size_t>(c.updates % 360)) << c.updates;
    }
    CW_TONE_TRACE_ENTRY e;
    EXPECT_FALSE(after(3).entryForColumn(360, &e));
    EXPECT_FALSE(after(3).entryForColumn(359, nullptr));
}

TEST(ToneTraceValues, LevelsAndThresholdsAreHeldToZeroThroughOne)
{
    CWToneTraceHistory h;
    h.update(1.7f, -0.2f, 5);
    h.update(-0.2f, 3.0f, 0);
    h.update(std::nanf(""), std::nanf(""), -1);
    CW_TONE_TRACE_ENTRY a, b, c;
    ASSERT_TRUE(h.entryForColumn(357, &a) && h.entryForColumn(358, &b) && h.entryForColumn(359, &c));
    EXPECT_EQ(a.level, 1.0f);
    EXPECT_EQ(a.threshold, 0.0f);
    EXPECT_EQ(a.keyDown, 1);
    EXPECT_EQ(b.level, 0.0f);
    EXPECT_EQ(b.threshold, 1.0f);
    EXPECT_EQ(b.keyDown, 0);
    EXPECT_EQ(c.level, 0.0f);
    EXPECT_EQ(c.threshold, 0.0f);
    EXPECT_EQ(c.keyDown, 1);
}

TEST(ToneTraceThreshold, StartsAtOneHalfFollowsUpdatesAndTakesAHandPlacedValue)
{
    CWToneTraceHistory h;
    EXPECT_EQ(h.currentThreshold(), 0.5f);
    h.update(0.3f, 0.62f, 1);
    EXPECT_EQ(h.currentThreshold(), 0.62f);
    h.setCurrentThreshold(0.25f);
    EXPECT_EQ(h.currentThreshold(), 0.25f);
    CW_TONE_TRACE_ENTRY e;
    ASSERT_TRUE(h.entryForColumn(359, &e));
    EXPECT_EQ(e.threshold, 0.62f);  // the history keeps what applied
    h.setCurrentThreshold(4.0f);
    EXPECT_EQ(h.currentThreshold(), 1.0f);
}
