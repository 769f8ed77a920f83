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
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--rate", "7999"},
                                                                                      {"--rate", "48001"},
                                                                                      {"--frame", "15"},
                                                                                      {"--port", "65536"},
                                                                                      {"--port", "-1"},
                                                                                      {"--port", "12x"},
                                                                                      {"--bogus"},
                                                                                      {"--port"},
                                                                                      {"--echo=1"},
                                                                                      {"--wav", "a.wav", "--ramp"},
                                                                                      {"--close-after", "-1"},
                                                                                      {"--stall-after", "nan"},
                                                                                      {"--malformed", "0"},
                                                                                      {"--snr", "200"},
                                                                                      {"--host", ""}}) {
        error.clear();
        EXPECT_TRUE(!tci_sim_parse_options(args, &o, &error) && !error.empty()) << args[0];
    }
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

// The IQ band, the band audio and the spot clicks; every one is off or at
// its default unless given.
TEST(TciSimOptions, BandIqAndClickOptionsAreTakenWithinTheirRanges)
{
    TCI_SIM_OPTIONS o;
    std::string error;
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
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--band", "0"},
                                                                                      {"--band", "41"},
                                                                                      {"--band", "5", "--wav", "a.wav"},
                                                                                      {"--band", "5", "--ramp"},
                                                                                      {"--iq-stations", "501"},
                                                                                      {"--iq-stations", "-1"},
                                                                                      {"--iq-truth", ""},
                                                                                      {"--click-spot", "-1"},
                                                                                      {"--click-spot", "soon"},
                                                                                      {"--old-clicks=yes"}}) {
        error.clear();
        EXPECT_TRUE(!tci_sim_parse_options(args, &o, &error) && !error.empty()) << args[0] << " " << args.back();
    }
}
