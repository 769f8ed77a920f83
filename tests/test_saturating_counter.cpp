#include "saturating_counter.h"

#include <gtest/gtest.h>

#include <limits>

TEST(SaturatingCounter, CountsUpAndStopsAtTheTop)
{
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(saturating_increment(0), 1);
    EXPECT_EQ(saturating_increment(127), 128);
    EXPECT_EQ(saturating_increment(top - 1), top);
    EXPECT_EQ(saturating_increment(top), top);
    EXPECT_EQ(saturating_increment(saturating_increment(top)), top);
}
