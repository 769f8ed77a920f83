#include "tci_sim_options.h"

#include "wav_file.h"

#include <gtest/gtest.h>

namespace {

bool parse(std::vector<const char*> args, TCI_SIM_OPTIONS* o, std::string* error = nullptr)
{
    args.insert(args.begin(), "zarvo-tci-sim");
    std::string ignored;
    return tci_sim_parse_options(static_cast<int>(args.size()), args.data(), o, error ? error : &ignored);
}

WAV_AUDIO wav_at(uint32_t rate)
{
    WAV_AUDIO wav;
    wav.channels = 1;
    wav.sampleRate = rate;
    wav.samples.assign(100, 0.0f);
    return wav;
}

}  // namespace

TEST(TciSimOptionsDefaults, LoopbackPort50001At48000Hz)
{
    TCI_SIM_OPTIONS o;
    ASSERT_TRUE(parse({}, &o));
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 50001u);
    EXPECT_EQ(o.sampleRate, 48000u);
    EXPECT_EQ(o.source, TCI_SIM_SOURCE::Qso);
    EXPECT_FALSE(o.stereo || o.echo || o.chatty);
    EXPECT_LT(o.closeAfterSeconds, 0.0);
    EXPECT_LT(o.stallAfterSeconds, 0.0);
}

TEST(TciSimOptionsValues, ValuesFollowTheirOptionOrAnEqualsSign)
{
    TCI_SIM_OPTIONS o;
    ASSERT_TRUE(parse({"--port", "0", "--rate=8000", "--frame", "256", "--seed=7", "--snr", "-3.5"}, &o));
    EXPECT_EQ(o.port, 0u);
    EXPECT_EQ(o.sampleRate, 8000u);
    EXPECT_TRUE(o.rateGiven);
    EXPECT_EQ(o.frameSamples, 256u);
    EXPECT_EQ(o.seed, 7u);
    EXPECT_DOUBLE_EQ(o.snrDb, -3.5);
}

TEST(TciSimOptionsValues, SourcesQuirksAndFaults)
{
    TCI_SIM_OPTIONS o;
    ASSERT_TRUE(parse({"--wav", "qso.wav", "--stereo", "--echo", "--chatty", "--malformed", "5", "--garbage=9",
                       "--close-after", "2.5", "--stall-after=1", "--stall-for", "0.5", "--exit-after", "60"},
                      &o));
    EXPECT_EQ(o.source, TCI_SIM_SOURCE::Wav);
    EXPECT_EQ(o.wavPath, "qso.wav");
    EXPECT_TRUE(o.stereo && o.echo && o.chatty);
    EXPECT_EQ(o.malformedEvery, 5u);
    EXPECT_EQ(o.garbageEvery, 9u);
    EXPECT_DOUBLE_EQ(o.closeAfterSeconds, 2.5);
    EXPECT_DOUBLE_EQ(o.stallAfterSeconds, 1.0);
    EXPECT_DOUBLE_EQ(o.stallForSeconds, 0.5);
    EXPECT_DOUBLE_EQ(o.exitAfterSeconds, 60.0);
    ASSERT_TRUE(parse({"--ramp"}, &o));
    EXPECT_EQ(o.source, TCI_SIM_SOURCE::Ramp);
}

TEST(TciSimOptionsErrors, BadInputIsRefusedWithAReason)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--rate", "7999"},     {"--rate", "48001"},  {"--frame", "15"},      {"--port", "65536"},
        {"--port", "-1"},       {"--port", "12x"},    {"--bogus"},            {"--port"},
        {"--echo=1"},           {"--wav", "a.wav", "--ramp"},                 {"--close-after", "-1"},
        {"--stall-after", "nan"}, {"--malformed", "0"}, {"--snr", "200"},     {"--host", ""},
    };
    for (const auto& args : bad) {
        TCI_SIM_OPTIONS o;
        std::string error;
        EXPECT_FALSE(parse(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(TciSimOptionsWav, RecordingSetsTheRateUnlessItDisagrees)
{
    TCI_SIM_OPTIONS o;
    std::string error;
    ASSERT_TRUE(tci_sim_adopt_wav_rate(wav_at(11025), &o, &error)) << error;
    EXPECT_EQ(o.sampleRate, 11025u);
    TCI_SIM_OPTIONS given;
    ASSERT_TRUE(parse({"--rate", "8000"}, &given));
    EXPECT_FALSE(tci_sim_adopt_wav_rate(wav_at(11025), &given, &error));
    EXPECT_NE(error.find("11025"), std::string::npos);
    EXPECT_FALSE(tci_sim_adopt_wav_rate(wav_at(96000), &o, &error));
    EXPECT_FALSE(tci_sim_adopt_wav_rate(WAV_AUDIO{}, &o, &error));
}
