#include "tci_sim_stream.h"

#include "TCIStreamInfo.h"
#include "tci_sim_audio.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TCIStreamInfo info_of(const std::vector<uint8_t>& frame)
{
    return parseStreamInfoFromData(frame.data(), frame.size());
}

float sample(const std::vector<uint8_t>& frame, size_t index)
{
    float v;
    std::memcpy(&v, frame.data() + 64 + 4 * index, 4);
    return v;
}

TCI_SIM_OPTIONS ramp_options()
{
    TCI_SIM_OPTIONS o;
    o.source = TCI_SIM_SOURCE::Ramp;
    o.sampleRate = 8000;
    return o;
}

}  // namespace

TEST(TciSimStreamPace, FramesComeDueAtRealTime)
{
    TciSimStream stream(8000, 400, false);  // 20 frames a second
    stream.start(10.0);
    EXPECT_EQ(stream.takeDue(10.049), 0u);
    EXPECT_EQ(stream.takeDue(10.05), 1u);
    EXPECT_EQ(stream.takeDue(10.05), 0u);
    EXPECT_EQ(stream.takeDue(11.0), 19u);
    EXPECT_EQ(stream.stop(), 20u);
}

TEST(TciSimStreamPace, NothingIsDueWhileStopped)
{
    TciSimStream stream(8000, 400, false);
    EXPECT_EQ(stream.takeDue(5.0), 0u);
    stream.start(0.0);
    stream.stop();
    EXPECT_EQ(stream.takeDue(5.0), 0u);
}

TEST(TciSimStreamPace, LongGapSendsOneSecondAndSkipsTheRest)
{
    TciSimStream stream(8000, 400, false);
    stream.start(0.0);
    EXPECT_EQ(stream.takeDue(100.0), 20u);
    EXPECT_EQ(stream.takeDue(100.05), 1u);
}

TEST(TciSimStreamPace, ResumeLeavesTheMissedFramesOut)
{
    TciSimStream stream(8000, 400, false);
    stream.start(0.0);
    stream.takeDue(0.5);
    stream.resume(3.0);
    EXPECT_EQ(stream.takeDue(3.04), 0u);
    EXPECT_EQ(stream.takeDue(3.1), 2u);
}

TEST(TciSimStreamFrames, MonoFloatFrameOfTheAudio)
{
    TciSimAudio audio(ramp_options(), nullptr);
    TciSimStream stream(8000, 160, false);
    const std::vector<uint8_t> a = stream.nextFrame(&audio), b = stream.nextFrame(&audio);
    const TCIStreamInfo info = info_of(a);
    EXPECT_TRUE(info.isRxAudioFloat32);
    EXPECT_EQ(info.sampleRate, 8000u);
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.length, 160u);
    EXPECT_EQ(info.receiver, 0u);
    EXPECT_FLOAT_EQ(sample(b, 0), tci_sim_ramp_sample(160));
}

TEST(TciSimStreamFrames, TwoChannelsCarryTheSameSignal)
{
    TciSimAudio audio(ramp_options(), nullptr);
    TciSimStream stream(8000, 100, false);
    ASSERT_TRUE(stream.setChannels(2));
    const std::vector<uint8_t> f = stream.nextFrame(&audio);
    EXPECT_EQ(info_of(f).channels, 2u);
    EXPECT_EQ(info_of(f).frameCount, 100u);
    EXPECT_FLOAT_EQ(sample(f, 2 * 7), tci_sim_ramp_sample(7));
    EXPECT_FLOAT_EQ(sample(f, 2 * 7 + 1), tci_sim_ramp_sample(7));
}

TEST(TciSimStreamFrames, ForcedStereoIgnoresTheRequest)
{
    TciSimAudio audio(ramp_options(), nullptr);
    TciSimStream stream(8000, 100, true);
    stream.setChannels(1);
    EXPECT_EQ(info_of(stream.nextFrame(&audio)).channels, 2u);
}

TEST(TciSimStreamFormat, SampleTypesMapToFormatCodes)
{
    TciSimAudio audio(ramp_options(), nullptr);
    TciSimStream stream(8000, 100, false);
    const char* names[] = {"int16", "int24", "int32", "float32"};
    for (uint32_t code = 0; code < 4; ++code) {
        ASSERT_TRUE(stream.setSampleType(names[code]));
        const TCIStreamInfo info = info_of(stream.nextFrame(&audio));
        EXPECT_EQ(info.format, code);
        EXPECT_TRUE(info.valid);
    }
    EXPECT_FALSE(stream.setSampleType("float64"));
    EXPECT_EQ(stream.sampleTypeName(), "float32");
}

TEST(TciSimStreamFormat, OutOfRangeSettingsAreRefused)
{
    TciSimStream stream(8000, 100, false);
    EXPECT_FALSE(stream.setChannels(0));
    EXPECT_FALSE(stream.setChannels(3));
    EXPECT_FALSE(stream.setFrameSamples(15, 0.0));
    EXPECT_FALSE(stream.setFrameSamples(16385, 0.0));
    EXPECT_EQ(stream.frameSamples(), 100u);
    EXPECT_EQ(stream.channels(), 1u);
}
