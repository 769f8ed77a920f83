// The simulator's receive stream: frame encoding, real-time pacing, channel
// settings, and the faults it can put between good frames.
#include "TCIStreamInfo.h"
#include "tci_sim_audio.h"
#include "tci_sim_faults.h"
#include "tci_sim_stream.h"
#include "tci_stream_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

namespace {

TCIStreamInfo info_of(const std::vector<uint8_t>& frame)
{
    return parseStreamInfoFromData(frame.data(), frame.size());
}

}  // namespace

// Integers are scaled, rounded and clipped, little-endian; an unknown format
// or missing samples build nothing and leave the output alone.
TEST(TciStreamFrame, SamplesAreEncodedInTheFormatAsked)
{
    const struct {
        uint32_t format;
        std::vector<float> samples;
        std::vector<uint8_t> payload;
    } cases[] = {
        {0, {1.0f, -1.0f, 0.5f, 2.0f, std::nanf("")}, {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40, 0xFF, 0x7F, 0x00, 0x00}},
        {1, {1.0f, -1.0f, -4.0f}, {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x01, 0x00, 0x80}},
        {2, {1.0f, -1.0f}, {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}},
    };
    for (const auto& k : cases) {
        std::vector<uint8_t> frame;
        ASSERT_TRUE(
            tci_build_stream_frame({0, 24000, k.format, 0, 0, 0, 1, 1}, k.samples.data(), k.samples.size(), &frame));
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 64, frame.end()), k.payload) << k.format;
    }
    std::vector<uint8_t> frame = {1, 2, 3};
    const float one = 0.0f;
    const TCI_STREAM_FRAME_HEADER unknown{0, 24000, 4, 0, 0, 0, 1, 1}, floats{0, 24000, 3, 0, 0, 0, 1, 1};
    EXPECT_FALSE(tci_build_stream_frame(unknown, &one, 1, &frame));
    EXPECT_FALSE(tci_build_stream_frame(floats, nullptr, 5, &frame) ||
                 tci_build_stream_frame(floats, &one, 1, nullptr));
    EXPECT_EQ(frame, (std::vector<uint8_t>{1, 2, 3}));
}

// 16 frames a second; after a gap at most one second's worth is sent, the
// rest left out rather than made up.
TEST(TciSimStream, FramesComeDueAtRealTimeAndAGapIsNotMadeUp)
{
    TciSimStream stream(8000, 500, false);
    EXPECT_EQ(stream.takeDue(5.0), 0u);  // not started
    stream.start(0.0);
    for (auto [now, due] :
         {std::pair{0.0624, 0u}, {0.0625, 1u}, {0.0625, 0u}, {1.0, 15u}, {100.0, 16u}, {100.0625, 1u}})
        EXPECT_EQ(stream.takeDue(now), due) << now;
    stream.resume(104.0);
    EXPECT_TRUE(stream.takeDue(104.03125) == 0u && stream.takeDue(104.125) == 2u);
    EXPECT_TRUE(stream.stop() == 35u && stream.takeDue(120.0) == 0u);
}

// Every channel carries the same audio, which goes on across frames; a
// forced stereo stream stays stereo.
TEST(TciSimStream, FramesGoOnWithTheAudioOnEveryChannelAsked)
{
    TCI_SIM_OPTIONS o;
    o.source = TCI_SIM_SOURCE::Ramp, o.sampleRate = 8000;
    TciSimAudio audio(o, nullptr);
    TciSimStream stream(8000, 160, false), forced(8000, 100, true);
    stream.nextFrame(&audio);
    ASSERT_TRUE(stream.setChannels(2) && !stream.setFrameSamples(15, 0.0) && !stream.setFrameSamples(16385, 0.0));
    const std::vector<uint8_t> two = stream.nextFrame(&audio);
    float seventh[2];
    std::memcpy(seventh, two.data() + 64 + 4 * 2 * 7, sizeof(seventh));
    EXPECT_TRUE(seventh[0] == tci_sim_ramp_sample(160 + 7) && seventh[1] == seventh[0]);
    forced.setChannels(1);
    EXPECT_EQ(info_of(forced.nextFrame(&audio)).channels, 2u);
}

// Every kind of malformed frame is unusable as audio; faults follow every
// Nth good frame (malformed every 3rd, garbage text every 2nd).
TEST(TciSimFaults, MalformedFramesAreNeverUsableAudioAndFaultsTakeTurns)
{
    const std::vector<float> quarter(64, 0.25f);
    std::vector<uint8_t> good;
    ASSERT_TRUE(tci_build_stream_frame({0, 24000, 3, 0, 0, 0, 1, 1}, quarter.data(), quarter.size(), &good));
    ASSERT_TRUE(info_of(good).isRxAudioFloat32);
    for (size_t kind = 0; kind < tci_sim_malformed_kinds(); ++kind) {
        std::string name;
        EXPECT_FALSE(info_of(tci_sim_malformed_frame(kind, good, &name)).isRxAudioFloat32) << name;
    }
    TciSimFaults faults({.malformedEvery = 3, .garbageEvery = 2, .longTextEvery = 0, .floodPerFrame = 0});
    std::string pattern;
    std::set<std::string> logged;  // every kind and "garbage text" once the kinds have had their turns
    for (size_t frame = 1; frame <= 3 * tci_sim_malformed_kinds(); ++frame) {
        TCI_SIM_OUTPUT out;
        faults.afterGoodFrame(good, &out);
        for (const TCI_SIM_MESSAGE& m : out.messages)
            pattern += m.binary ? "M" : "G";
        pattern += ".";
        logged.insert(out.log.begin(), out.log.end());
    }
    EXPECT_EQ(pattern.substr(0, 11), ".G.M.G..MG.");
    EXPECT_EQ(logged.size(), tci_sim_malformed_kinds() + 1);
}
