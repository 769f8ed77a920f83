// Tuning the decoder to a spot: from the Skimmer window's list and from the
// radio's panorama, which may move its own vfo to the spot a moment later.
#include "CWSpotTuning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class SpotTuningTest : public ::testing::Test {
protected:
    CWSpotTuning make(double referencePitchHz = 600.0)
    {
        return CWSpotTuning(referencePitchHz, CW_SPOT_TUNING_HOOKS{
                                                  .vfoHz = [this] { return vfoHz; },
                                                  .mode = [this] { return mode; },
                                                  .applyPitch = [this](double hz) { pitches.push_back(hz); },
                                                  .log = [this](const std::string& line) { log.push_back(line); },
                                                  .now = [this] { return now; },
                                              });
    }

    double vfoHz = 7025000.0;
    std::string mode = "CW";
    double now = 100.0;
    std::vector<double> pitches;
    std::vector<std::string> log;
};

}  // namespace

// A station inside the pitch range is tuned to; one outside it, or with no
// radio frequency known, is only explained.
TEST_F(SpotTuningTest, AStationInsideThePitchRangeIsTunedToOthersOnlyExplained)
{
    CWSpotTuning tuning = make();
    EXPECT_TRUE(tuning.tuneTo("DL2QZA", 7025250.0));
    EXPECT_EQ(pitches, std::vector<double>{850.0});
    EXPECT_EQ(log, std::vector<std::string>{"Skimmer: tuned to DL2QZA at 850 Hz"});
    EXPECT_FALSE(tuning.tuneTo("DL2QZA", 7026000.0));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("1600 Hz, outside 300..1200 Hz"), std::string::npos) << log[1];
    vfoHz = 0.0;
    EXPECT_FALSE(tuning.tuneTo("DL2QZA", 7025000.0));
    EXPECT_EQ(pitches.size(), 1u);
}

TEST_F(SpotTuningTest, TheReferencePitchIsTheOperatorsNotTheDecodersLatest)
{
    CWSpotTuning tuning = make(700.0);
    EXPECT_TRUE(tuning.tuning().referencePitchHz == 700.0 && tuning.tuning().vfoHz == 7025000.0);
    tuning.tuneTo("K1AB", 7025100.0);
    tuning.tuneTo("K1AB", 7025100.0);  // the applied pitch did not move the reference
    ASSERT_EQ(pitches.size(), 2u);
    EXPECT_DOUBLE_EQ(pitches[1], 800.0);
    tuning.setReferencePitch(500.0);
    tuning.tuneTo("K1AB", 7025100.0);
    EXPECT_DOUBLE_EQ(pitches.back(), 600.0);
}

TEST_F(SpotTuningTest, AClickFollowedByTheRadioMovingItsVfoEndsOnTheReferencePitch)
{
    CWSpotTuning tuning = make();
    tuning.spotClicked("DL2QZA", 7025300.0);
    ASSERT_EQ(pitches.size(), 1u);
    EXPECT_DOUBLE_EQ(pitches[0], 900.0);
    now += 0.3;
    vfoHz = 7025300.0;  // the radio went to the spot
    tuning.radioMoved();
    ASSERT_EQ(pitches.size(), 2u);
    EXPECT_DOUBLE_EQ(pitches[1], 600.0);
    vfoHz = 7025500.0;  // once per click
    tuning.radioMoved();
    EXPECT_EQ(pitches.size(), 2u);

    mode = "CWL";  // a click in lower CW maps the other way
    tuning.spotClicked("DL2QZA", 7025300.0);
    EXPECT_DOUBLE_EQ(pitches.back(), 800.0);
}

TEST_F(SpotTuningTest, ALaterVfoMoveIsNotTakenForTheClick)
{
    CWSpotTuning tuning = make();
    tuning.spotClicked("DL2QZA", 7025300.0);
    now += kCWSpotClickFollowSeconds + 0.5;
    vfoHz = 7030000.0;
    tuning.radioMoved();
    EXPECT_EQ(pitches.size(), 1u);
    // A click with the vfo already on the spot is the reference pitch at once.
    vfoHz = 7025300.0;
    tuning.spotClicked("DL2QZA", 7025300.0);
    ASSERT_EQ(pitches.size(), 2u);
    EXPECT_DOUBLE_EQ(pitches[1], 600.0);
}
