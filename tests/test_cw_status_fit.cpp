// Status lines fitted to their room; the lines the window shows are tested
// with their own figures.
#include "cw_status_fit.h"

#include <gtest/gtest.h>

#include <string>

TEST(StatusFit, DropsTheHighestNumberedGroupsFirstAndNeverTheLast)
{
    const CW_STATUS_GROUP groups[] = {
        {.text = "Pitch 600", .drop = 0}, {.text = "", .drop = 1},      {.text = "Cost 0.30", .drop = 2},
        {.text = "Thr 0.4", .drop = 2},   {.text = nullptr, .drop = 9}, {.text = "LOCK", .drop = 9},
    };
    char line[64];
    const auto fit = [&](size_t maxChars, size_t capacity = sizeof line) {
        const size_t n = cw_status_fit(groups, std::size(groups), maxChars, line, capacity);
        EXPECT_EQ(n, std::string(line).size());
        return std::string(line);
    };
    EXPECT_EQ(fit(100), "Pitch 600  Cost 0.30  Thr 0.4  LOCK");  // empty groups skipped
    EXPECT_EQ(fit(30), "Pitch 600  Cost 0.30  LOCK");            // the later of equals goes first
    EXPECT_EQ(fit(3), "Pitch 600  LOCK");
    EXPECT_EQ(fit(100, 12), "Pitch 600");  // a short buffer takes only whole groups
    EXPECT_EQ(cw_status_fit(groups, 0, 100, line, sizeof line), 0u);
    EXPECT_EQ(cw_status_fit(groups, std::size(groups), 100, nullptr, 10), 0u);
}
