// The skimmer feed on generated audio: what it hands the radio and the
// cluster for a station calling CQ, where it places the spot, and that a
// restart forgets everything.
#include "CWSkimmerFeed.h"

#include "cw_spot_messages.h"
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 12000;
constexpr size_t kBlock = 480;  // 40 ms, as the simulator's frames

std::vector<float> station(const char* text, double pitchHz, uint32_t rate = kRate)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 26.0, config.pitchHz = pitchHz, config.sampleRateHz = rate;
    config.addNoise = true, config.snrDb = 20.0;  // a band has noise; a noise-free tone is no test of a skimmer
    config.leadSeconds = 0.5, config.tailSeconds = 1.5;
    std::vector<float> mono;
    std::string error;
    EXPECT_TRUE(morse_audio_generate(config, text, &mono, nullptr, &error)) << error;
    return mono;
}

class SkimmerFeedTest : public ::testing::Test {
protected:
    void make()
    {
        feed = std::make_unique<CWSkimmerFeed>(CW_SKIMMER_FEED_HOOKS{
            .tuning = [this] { return tuning; },
            .utcNow = [] { return std::time_t{1796738600}; },  // 14:03:20 UTC
            .sendCommand = [this](const std::string& c) { commands.push_back(c); },
            .clusterLine = [this](const std::string& l) { lines.push_back(l); },
        });
    }
    void stream(const std::vector<float>& audio, uint32_t rate = kRate)
    {
        const size_t block = kBlock * rate / kRate;
        for (size_t at = 0; at < audio.size(); at += block)
            feed->process(audio.data() + at, std::min(block, audio.size() - at), rate);
    }
    std::string sent() const
    {
        std::string all;
        for (const std::string& c : commands)
            all += c + " ";
        return all;
    }
    std::vector<std::string> starting(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const std::string& c : commands)
            if (c.rfind(prefix, 0) == 0)
                found.push_back(c);
        return found;
    }

    CW_SPOT_TUNING tuning{.vfoHz = 7025000.0, .mode = "cw", .referencePitchHz = 600.0};
    std::unique_ptr<CWSkimmerFeed> feed;
    std::vector<std::string> commands;
    std::vector<std::string> lines;
};

}  // namespace

// At every stream rate servers offer: one spot command and one cluster line at the station's radio
// frequency. The spot keeps the frequency it was placed at when the vfo moves (the pitch it is heard at
// has changed, the station has not); a restart forgets channels and spots, so the same station on the
// next stream is news again.
TEST_F(SkimmerFeedTest, AStationCallingCQGoesToThePanoramaAndTheClusterAtItsRadioFrequency)
{
    for (uint32_t rate : {kRate, 8000u, 24000u, 48000u}) {
        SCOPED_TRACE(rate);
        make();
        commands.clear(), lines.clear(), tuning.vfoHz = 7025000.0;
        stream(station("CQ CQ DE DL2QZA DL2QZA K", 800.0, rate), rate);
        const std::vector<std::string> spots = starting("spot:DL2QZA,cw,");
        ASSERT_EQ(spots.size(), 1u) << sent();
        const double hz = std::stod(spots[0].substr(std::string("spot:DL2QZA,cw,").size()));
        EXPECT_NEAR(hz, 7025200.0, 20.0) << spots[0];
        EXPECT_NE(spots[0].find("," + std::to_string(kCWSpotCqArgb) + ","), std::string::npos) << spots[0];
        EXPECT_TRUE(spots[0].ends_with(" CQ;")) << spots[0];
        EXPECT_EQ(feed->spotsSent(), 1u) << sent();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("DX de ZARVO-#:    7025.2  DL2QZA", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find("1403Z"), std::string::npos) << lines[0];

        const std::vector<CW_SPOT> listed = feed->spots();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_STREQ(listed[0].call, "DL2QZA");
        EXPECT_NEAR(listed[0].frequencyHz, hz, 0.5);  // the command carries whole Hz
        EXPECT_GT(feed->seconds(), 5.0);
        tuning.vfoHz = 7030000.0;
        EXPECT_DOUBLE_EQ(feed->spots().at(0).frequencyHz, listed[0].frequencyHz);
    }
    feed->restart();
    EXPECT_TRUE(feed->spots().empty());
    EXPECT_EQ(feed->seconds(), 0.0);
    stream(station("CQ CQ DE DL2QZA DL2QZA K", 800.0, 48000), 48000);
    EXPECT_EQ(starting("spot:DL2QZA,").size(), 2u);
}

// No audio, or audio without a rate, does nothing; a spot heard before the radio reports its tuning is
// kept but not sent.
TEST_F(SkimmerFeedTest, WithoutAudioNothingHappensAndWithoutTheRadiosTuningTheSpotIsKeptButNotSent)
{
    tuning.vfoHz = 0.0;
    make();
    feed->process(nullptr, 480, kRate);
    const std::vector<float> silence(480, 0.0f);
    feed->process(silence.data(), silence.size(), 0);
    EXPECT_TRUE(feed->spots().empty());
    EXPECT_EQ(feed->seconds(), 0.0);
    EXPECT_TRUE(commands.empty());
    stream(station("CQ CQ DE DL2QZA DL2QZA K", 800.0));
    EXPECT_TRUE(starting("spot:").empty());
    EXPECT_TRUE(lines.empty());
    ASSERT_EQ(feed->spots().size(), 1u);
    EXPECT_EQ(feed->spots()[0].frequencyHz, 0.0);
    // Once the radio reports its frequency the list places it.
    tuning.vfoHz = 7025000.0;
    EXPECT_NEAR(feed->spots()[0].frequencyHz, 7025200.0, 20.0);
}
