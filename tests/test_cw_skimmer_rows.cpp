#include "cw_skimmer_rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

CW_SPOT spot(const char* call, double radioHz, double lastHeard, bool cq = false)
{
    CW_SPOT s{};
    std::strncpy(s.call, call, sizeof s.call - 1);
    s.frequencyHz = radioHz;
    s.wpm = 27.4;
    s.snrDb = -3.6;
    s.cq = cq ? 1 : 0;
    s.firstHeard = lastHeard - 30.0;
    s.lastHeard = lastHeard;
    return s;
}

}  // namespace

TEST(CWSkimmerRows, AgesReadInSecondsMinutesAndHours)
{
    EXPECT_EQ(cw_skimmer_age_text(0.0), "0 s");
    EXPECT_EQ(cw_skimmer_age_text(12.7), "12 s");
    EXPECT_EQ(cw_skimmer_age_text(59.9), "59 s");
    EXPECT_EQ(cw_skimmer_age_text(60.0), "1 min");
    EXPECT_EQ(cw_skimmer_age_text(3 * 60 + 59), "3 min");
    EXPECT_EQ(cw_skimmer_age_text(3599.0), "59 min");
    EXPECT_EQ(cw_skimmer_age_text(7300.0), "2 h");
    EXPECT_EQ(cw_skimmer_age_text(-4.0), "0 s");
    EXPECT_EQ(cw_skimmer_age_text(NAN), "0 s");
}

TEST(CWSkimmerRows, EveryCellIsText)
{
    const std::vector<CW_SKIMMER_ROW> rows = cw_skimmer_rows({spot("DL2QZA", 7025260.0, 100.0, true)}, 112.0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].call, "DL2QZA");
    EXPECT_EQ(rows[0].frequency, "7025.3");
    EXPECT_EQ(rows[0].speed, "27");
    EXPECT_EQ(rows[0].snr, "-4");
    EXPECT_EQ(rows[0].age, "12 s");
    EXPECT_DOUBLE_EQ(rows[0].radioHz, 7025260.0);
    EXPECT_TRUE(rows[0].cq);
    EXPECT_EQ(cw_skimmer_rows({spot("W1AW", 14025049.0, 0.0)}, 0.0)[0].frequency, "14025.0");
}

TEST(CWSkimmerRows, NewestFirstAndEqualTimesKeepTheirOrder)
{
    const std::vector<CW_SKIMMER_ROW> rows =
        cw_skimmer_rows({spot("OLD1", 7001000, 10.0), spot("NEW1", 7002000, 300.0), spot("MID1", 7003000, 200.0),
                         spot("MID2", 7004000, 200.0)},
                        400.0);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].call, "NEW1");
    EXPECT_EQ(rows[1].call, "MID1");
    EXPECT_EQ(rows[2].call, "MID2");
    EXPECT_EQ(rows[3].call, "OLD1");
    EXPECT_EQ(rows[0].age, "1 min");
    EXPECT_EQ(rows[3].age, "6 min");
}

TEST(CWSkimmerRows, ASpotNotPlacedOnTheBandShowsADash)
{
    const std::vector<CW_SKIMMER_ROW> rows = cw_skimmer_rows({spot("K1AB", 0.0, 5.0), spot("K2AB", NAN, 4.0)}, 5.0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].frequency, "-");
    EXPECT_EQ(rows[0].radioHz, 0.0);
    EXPECT_EQ(rows[1].frequency, "-");
    EXPECT_EQ(rows[1].radioHz, 0.0);
    EXPECT_TRUE(cw_skimmer_rows({}, 0.0).empty());
}
