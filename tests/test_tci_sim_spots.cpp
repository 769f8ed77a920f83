// The spots a client puts on the simulated panorama: which commands are
// taken, how the table keeps them and the line each change is logged as.
#include "tci_sim_spots.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TCI_SIM_SPOT spot(const std::string& call, uint64_t hz)
{
    return TCI_SIM_SPOT{.call = call, .mode = "cw", .frequencyHz = hz, .argb = 0xFFFF0000, .text = ""};
}

}  // namespace

TEST(TciSimSpots, AWellFormedSpotIsTakenAndAnythingElseRefusedWithAReason)
{
    TCI_SIM_SPOT s;
    std::string why;
    ASSERT_TRUE(tci_sim_parse_spot({"dl2qza", "CW", "7025300", "4294901760", "24 WPM 18 dB CQ"}, &s, &why)) << why;
    EXPECT_TRUE(s.call == "DL2QZA" && s.mode == "cw" && s.frequencyHz == 7025300u && s.argb == 0xFFFF0000u);
    EXPECT_EQ(s.text, "24 WPM 18 dB CQ");
    EXPECT_TRUE(tci_sim_parse_spot({"VE3/DL2QZA/P", "cw", "14025000", "0", ""}, &s, &why) && s.text.empty());
    for (const Args& bad :
         {Args{"DL2QZA", "cw", "7025300", "4294901760"}, Args{"DL2QZA", "cw", "7025300", "4294901760", "24 WPM", "CQ"},
          Args{"", "cw", "7025300", "0", ""}, Args{"DL2-QZA", "cw", "7025300", "0", ""},
          Args{"/DL2QZA", "cw", "7025300", "0", ""}, Args{"ABCDEFGHIJKLMNOPQRSTU", "cw", "7025300", "0", ""},
          Args{"DL2QZA", "", "7025300", "0", ""}, Args{"DL2QZA", "c w", "7025300", "0", ""},
          Args{"DL2QZA", "cw", "0", "0", ""}, Args{"DL2QZA", "cw", "7025300.5", "0", ""},
          Args{"DL2QZA", "cw", "-7025300", "0", ""}, Args{"DL2QZA", "cw", "100000000001", "0", ""},
          Args{"DL2QZA", "cw", "7025300", "4294967296", ""}, Args{"DL2QZA", "cw", "7025300", "red", ""},
          Args{"DL2QZA", "cw", "7025300", "0", "UTC 12:00"}}) {
        why.clear();
        EXPECT_TRUE(!tci_sim_parse_spot(bad, &s, &why) && !why.empty()) << bad[0] << "," << bad[2];
    }
}

// One spot a call, newest last; a call spotted again moves and becomes the
// newest. Calls are matched in any case. Each spot is logged as one line,
// its text last (test_tci_sim_session has one with text).
TEST(TciSimSpots, TheTableKeepsOneSpotACallNewestLastAndLogsEachAsOneLine)
{
    TciSimSpots spots;
    EXPECT_EQ(spots.newest(), nullptr);
    spots.put(spot("DL2QZA", 7025300));
    spots.put(spot("G4ABC", 7026100));
    spots.put(spot("DL2QZA", 7025350));
    ASSERT_EQ(spots.spots().size(), 2u);
    EXPECT_TRUE(spots.newest()->call == "DL2QZA" && spots.newest()->frequencyHz == 7025350u);
    EXPECT_EQ(tci_sim_spot_log_line(*spots.newest()), "spot DL2QZA 7025350 cw FFFF0000");
    EXPECT_EQ(spots.spots().front().call, "G4ABC");
    EXPECT_TRUE(spots.remove("dl2qza") && !spots.remove("DL2QZA") && !spots.remove("K1XYZ"));
    EXPECT_EQ(spots.newest()->call, "G4ABC");
    spots.put(spot("K1XYZ", 7027000));
    EXPECT_EQ(spots.clear(), 2u);
    EXPECT_TRUE(spots.spots().empty() && spots.newest() == nullptr);
}
