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
    for (auto [seconds, text] : {std::pair{0.0, "0 s"},
                                 {12.7, "12 s"},
                                 {59.9, "59 s"},
                                 {60.0, "1 min"},
                                 {3 * 60 + 59.0, "3 min"},
                                 {3599.0, "59 min"},
                                 {7300.0, "2 h"},
                                 {-4.0, "0 s"},
                                 {double(NAN), "0 s"}})
        EXPECT_EQ(cw_skimmer_age_text(seconds), text) << seconds;
}

// Every cell is text; rows come newest first, equal times keep their order,
// and a spot not placed on the band shows a dash.
TEST(CWSkimmerRows, NewestFirstEveryCellTextAndADashForAnUnplacedSpot)
{
    const std::vector<CW_SKIMMER_ROW> one = cw_skimmer_rows({spot("DL2QZA", 7025260.0, 100.0, true)}, 112.0);
    ASSERT_EQ(one.size(), 1u);
    const CW_SKIMMER_ROW& r = one[0];
    EXPECT_EQ(r.call + "|" + r.frequency + "|" + r.speed + "|" + r.snr + "|" + r.age, "DL2QZA|7025.3|27|-4|12 s");
    EXPECT_TRUE(r.radioHz == 7025260.0 && r.cq);
    EXPECT_EQ(cw_skimmer_rows({spot("W1AW", 14025049.0, 0.0)}, 0.0)[0].frequency, "14025.0");

    const std::vector<CW_SKIMMER_ROW> rows =
        cw_skimmer_rows({spot("OLD1", 7001000, 10.0), spot("NEW1", 7002000, 300.0), spot("MID1", 7003000, 200.0),
                         spot("MID2", 7004000, 200.0), spot("K1AB", 0.0, 5.0), spot("K2AB", NAN, 4.0)},
                        400.0);
    std::string order;
    for (const CW_SKIMMER_ROW& row : rows)
        order += row.call + " " + row.frequency + " " + row.age + " " + std::to_string(row.radioHz) + ", ";
    EXPECT_EQ(order,
              "NEW1 7002.0 1 min 7002000.000000, MID1 7003.0 3 min 7003000.000000, MID2 7004.0 3 min 7004000.000000, "
              "OLD1 7001.0 6 min 7001000.000000, K1AB - 6 min 0.000000, K2AB - 6 min 0.000000, ");
    EXPECT_TRUE(cw_skimmer_rows({}, 0.0).empty());
}
