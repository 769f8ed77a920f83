// zarvo-tci-sim's command line and the rate a recording brings.
#include "tci_sim_options.h"

#include "wav_file.h"

#include <gtest/gtest.h>

// Each parse starts from the defaults.
TEST(TciSimOptions, ValuesFollowTheirOptionOrAnEqualsSignAndBadInputIsRefused)
{
    TCI_SIM_OPTIONS o;
    std::string error;
    ASSERT_TRUE(tci_sim_parse_options(
        {"--port", "0", "--rate=8000", "--wav", "qso.wav", "--echo", "--stall-for", "0.5"}, &o, &error))
        << error;
    EXPECT_TRUE(o.port == 0u && o.sampleRate == 8000u && o.rateGiven && o.echo && !o.stereo);
    EXPECT_TRUE(o.source == TCI_SIM_SOURCE::Wav && o.wavPath == "qso.wav");
    EXPECT_TRUE(o.stallForSeconds == 0.5 && o.stallAfterSeconds < 0.0);
    ASSERT_TRUE(tci_sim_parse_options({"--ramp"}, &o, &error));
    EXPECT_TRUE(o.source == TCI_SIM_SOURCE::Ramp && !o.rateGiven && !o.echo);

    // The IQ band, the band audio and the spot clicks: off or at their defaults unless given.
    ASSERT_TRUE(tci_sim_parse_options({}, &o, &error)) << error;
    EXPECT_TRUE(o.source == TCI_SIM_SOURCE::Qso && o.bandStations == 0u && o.iqStations == 30u);
    EXPECT_TRUE(o.iqTruthPath.empty() && o.clickSpotSeconds < 0.0 && !o.oldClicks);
    ASSERT_TRUE(tci_sim_parse_options(
        {"--band", "12", "--iq-stations=8", "--iq-truth", "truth.txt", "--click-spot", "1.5", "--old-clicks"}, &o,
        &error))
        << error;
    EXPECT_TRUE(o.source == TCI_SIM_SOURCE::Band && o.bandStations == 12u && o.iqStations == 8u);
    EXPECT_TRUE(o.iqTruthPath == "truth.txt" && o.clickSpotSeconds == 1.5 && o.oldClicks);
    ASSERT_TRUE(tci_sim_parse_options({"--iq-stations", "0", "--click-spot", "0"}, &o, &error)) << error;
    EXPECT_TRUE(o.iqStations == 0u && o.clickSpotSeconds == 0.0 && o.source == TCI_SIM_SOURCE::Qso);
    using Args = std::vector<std::string>;
    const auto refused = [&](const Args& args) {
        error.clear();
        return !tci_sim_parse_options(args, &o, &error) && !error.empty();
    };
    for (const Args& args :
         {Args{"--rate", "7999"}, Args{"--rate", "48001"}, Args{"--frame", "15"}, Args{"--port", "65536"},
          Args{"--port", "-1"}, Args{"--port", "12x"}, Args{"--bogus"}, Args{"--port"}, Args{"--echo=1"},
          Args{"--wav", "a.wav", "--ramp"}, Args{"--close-after", "-1"}, Args{"--stall-after", "nan"},
          Args{"--malformed", "0"}, Args{"--snr", "200"}, Args{"--host", ""}})
        EXPECT_TRUE(refused(args)) << args[0];
    for (const Args& args :
         {Args{"--band", "0"}, Args{"--band", "41"}, Args{"--band", "5", "--wav", "a.wav"},
          Args{"--band", "5", "--ramp"}, Args{"--iq-stations", "501"}, Args{"--iq-stations", "-1"},
          Args{"--iq-truth", ""}, Args{"--click-spot", "-1"}, Args{"--click-spot", "soon"}, Args{"--old-clicks=yes"}})
        EXPECT_TRUE(refused(args)) << args[0] << " " << args.back();
}

// A recording sets the stream rate unless a given rate disagrees or the
// stream cannot carry it.
TEST(TciSimOptions, RecordingSetsTheRateUnlessItDisagreesOrCannotBeStreamed)
{
    const auto wav_at = [](uint32_t rate) {
        WAV_AUDIO wav;
        wav.channels = 1, wav.sampleRate = rate, wav.samples.assign(100, 0.0f);
        return wav;
    };
    TCI_SIM_OPTIONS o, given;
    std::string error;
    ASSERT_TRUE(tci_sim_adopt_wav_rate(wav_at(11025), &o, &error) && o.sampleRate == 11025u) << error;
    ASSERT_TRUE(tci_sim_parse_options({"--rate", "8000"}, &given, &error));
    EXPECT_FALSE(tci_sim_adopt_wav_rate(wav_at(11025), &given, &error));
    EXPECT_NE(error.find("11025"), std::string::npos);
    EXPECT_FALSE(tci_sim_adopt_wav_rate(wav_at(96000), &o, &error) || tci_sim_adopt_wav_rate(WAV_AUDIO{}, &o, &error));
}
