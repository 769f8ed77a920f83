#include "cw_spot_mapping.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CW_SPOT_TUNING radio(double vfoHz, const char* mode, double pitchHz = 600.0)
{
    return CW_SPOT_TUNING{.vfoHz = vfoHz, .mode = mode, .referencePitchHz = pitchHz};
}

double radio_hz(const CW_SPOT_TUNING& tuning, double audioHz)
{
    double hz = -1.0;
    EXPECT_TRUE(cw_spot_radio_hz(tuning, audioHz, &hz));
    return hz;
}

double audio_hz(const CW_SPOT_TUNING& tuning, double radioHz)
{
    double hz = -1.0;
    EXPECT_TRUE(cw_spot_audio_hz(tuning, radioHz, &hz));
    return hz;
}

}  // namespace

TEST(CWSpotMapping, NamesTheSidebandOfTheModesServersSend)
{
    for (const char* upper : {"cw", "CW", " cwu ", "CWU", "usb", "DIGU"})
        EXPECT_EQ(cw_spot_sideband(upper), CW_SPOT_SIDEBAND_UPPER) << upper;
    for (const char* lower : {"cwl", "CWL", "lsb", "digl"})
        EXPECT_EQ(cw_spot_sideband(lower), CW_SPOT_SIDEBAND_LOWER) << lower;
    for (const char* none : {"", "am", "nfm", "wfm", "cw2"})
        EXPECT_EQ(cw_spot_sideband(none), CW_SPOT_SIDEBAND_NONE) << none;
    EXPECT_TRUE(cw_spot_mode_is_cw("cwl"));
    EXPECT_FALSE(cw_spot_mode_is_cw("usb"));
}

// Upper CW puts the reference pitch on the vfo, lower CW turns the offset
// around, SSB puts the suppressed carrier there; both ways agree.
TEST(CWSpotMapping, AudioPitchAndRadioFrequencyMapBothWays)
{
    const struct {
        CW_SPOT_TUNING tuning;
        double audioHz, radioHz;
    } cases[] = {
        {radio(7025000, "cw"), 600.0, 7025000.0},           {radio(7025000, "cw"), 900.0, 7025300.0},
        {radio(7025000, "cw"), 450.0, 7024850.0},           {radio(7025000, "CWU", 700.0), 900.0, 7025200.0},
        {radio(7025000, "cwl"), 900.0, 7024700.0},          {radio(7025000, "cwl"), 500.0, 7025100.0},
        {radio(14070000, "usb"), 1000.0, 14071000.0},       {radio(3560000, "lsb"), 800.0, 3559200.0},
        {radio(10110000, "cwl", 650.0), 587.5, 10110062.5},
    };
    for (const auto& k : cases) {
        EXPECT_DOUBLE_EQ(radio_hz(k.tuning, k.audioHz), k.radioHz) << k.tuning.mode << " " << k.audioHz;
        EXPECT_DOUBLE_EQ(audio_hz(k.tuning, k.radioHz), k.audioHz) << k.tuning.mode << " " << k.radioHz;
    }
}

TEST(CWSpotMapping, NothingIsPlacedWithoutVfoOrSideband)
{
    double hz = 5.0;
    EXPECT_FALSE(cw_spot_radio_hz(radio(0.0, "cw"), 600.0, &hz));
    EXPECT_EQ(hz, 0.0);
    EXPECT_FALSE(cw_spot_radio_hz(radio(7025000, "am"), 600.0, &hz));
    EXPECT_FALSE(cw_spot_radio_hz(radio(7025000, ""), 600.0, &hz));
    EXPECT_FALSE(cw_spot_radio_hz(radio(7025000, "cw"), NAN, &hz));
    EXPECT_FALSE(cw_spot_audio_hz(radio(NAN, "cw"), 7025000.0, &hz));
    EXPECT_FALSE(cw_spot_audio_hz(radio(7025000, "cw", INFINITY), 7025000.0, &hz));
    EXPECT_FALSE(cw_spot_radio_hz(radio(7025000, "cw"), 600.0, nullptr));
}

TEST(CWSpotMapping, TunesOnlyToStationsInsideTheDecodersPitchRange)
{
    const CW_SPOT_TUNE_ANSWER near = cw_spot_tune_answer(radio(7025000, "cw"), "DL2QZA", 7025300.0);
    EXPECT_TRUE(near.tune);
    EXPECT_DOUBLE_EQ(near.pitchHz, 900.0);
    EXPECT_TRUE(near.reason.empty());
    EXPECT_TRUE(cw_spot_tune_answer(radio(7025000, "cw"), "K1AB", 7024700.0).tune);  // 300 Hz
    EXPECT_TRUE(cw_spot_tune_answer(radio(7025000, "cw"), "K1AB", 7025600.0).tune);  // 1200 Hz

    const CW_SPOT_TUNE_ANSWER far = cw_spot_tune_answer(radio(7025000, "cw"), "DL2QZA", 7026000.0);
    EXPECT_FALSE(far.tune);
    EXPECT_DOUBLE_EQ(far.pitchHz, 1600.0);
    EXPECT_EQ(far.reason,
              "Skimmer: cannot tune to DL2QZA: heard at 1600 Hz, outside 300..1200 Hz; tune the radio nearer");
    EXPECT_FALSE(cw_spot_tune_answer(radio(7025000, "cw"), "K1AB", 7024600.0).tune);  // 200 Hz

    EXPECT_EQ(cw_spot_tune_answer(radio(0.0, "cw"), "K1AB", 7025000.0).reason,
              "Skimmer: cannot tune to K1AB: the radio's frequency is not known");
    EXPECT_EQ(cw_spot_tune_answer(radio(7025000, "AM"), "K1AB", 7025000.0).reason,
              "Skimmer: cannot tune to K1AB: the radio's mode (AM) has no CW pitch");
    EXPECT_EQ(cw_spot_tune_answer(radio(7025000, "cw"), "K1AB", 0.0).reason,
              "Skimmer: cannot tune to K1AB: its frequency is not known");
}
