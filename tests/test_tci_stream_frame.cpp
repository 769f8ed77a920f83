#include "tci_stream_frame.h"

#include "TCIStreamInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

TCI_STREAM_FRAME_HEADER header(uint32_t format, uint32_t channels = 1)
{
    return TCI_STREAM_FRAME_HEADER{0, 24000, format, 0, 0, 0, 1, channels};
}

std::vector<uint8_t> build(uint32_t format, const std::vector<float>& samples)
{
    std::vector<uint8_t> frame;
    EXPECT_TRUE(tci_build_stream_frame(header(format), samples.data(), samples.size(), &frame));
    return frame;
}

std::vector<uint8_t> payload(const std::vector<uint8_t>& frame)
{
    return std::vector<uint8_t>(frame.begin() + 64, frame.end());
}

}  // namespace

TEST(TciStreamFrameHeader, FloatFrameParsesBackWithItsSamples)
{
    const std::vector<float> samples = {0.5f, -0.25f, 1.5f, -3.0f, 0.0f, 1e-7f};
    std::vector<uint8_t> frame;
    ASSERT_TRUE(tci_build_stream_frame(TCI_STREAM_FRAME_HEADER{3, 8000, 3, 4, 5, 999, 1, 2}, samples.data(),
                                       samples.size(), &frame));
    const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
    EXPECT_TRUE(info.isRxAudioFloat32);
    EXPECT_EQ(info.receiver, 3u);
    EXPECT_EQ(info.sampleRate, 8000u);
    EXPECT_EQ(info.codec, 4u);
    EXPECT_EQ(info.crc, 5u);
    EXPECT_EQ(info.length, 6u);  // from the samples, not the header given
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.frameCount, 3u);
    EXPECT_EQ(std::memcmp(frame.data() + 64, samples.data(), 4 * samples.size()), 0);
}

TEST(TciStreamFrameHeader, ReservedWordsAreZero)
{
    const std::vector<uint8_t> frame = build(3, {0.1f});
    for (size_t i = 32; i < 64; ++i)
        EXPECT_EQ(frame[i], 0) << i;
}

TEST(TciStreamFrameIntegers, Int16IsScaledRoundedAndClipped)
{
    const std::vector<uint8_t> p = payload(build(0, {1.0f, -1.0f, 0.5f, 2.0f, std::nanf("")}));
    EXPECT_EQ(p, (std::vector<uint8_t>{0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40, 0xFF, 0x7F, 0x00, 0x00}));
}

TEST(TciStreamFrameIntegers, Int24TakesThreeBytes)
{
    const std::vector<uint8_t> p = payload(build(1, {1.0f, -1.0f, -4.0f}));
    EXPECT_EQ(p, (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x01, 0x00, 0x80}));
}

TEST(TciStreamFrameIntegers, Int32ReachesFullScale)
{
    const std::vector<uint8_t> p = payload(build(2, {1.0f, -1.0f}));
    EXPECT_EQ(p, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}));
}

TEST(TciStreamFrameErrors, UnknownFormatLeavesTheFrameAlone)
{
    std::vector<uint8_t> frame = {1, 2, 3};
    const float sample = 0.0f;
    EXPECT_FALSE(tci_build_stream_frame(header(4), &sample, 1, &frame));
    EXPECT_EQ(frame, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(tci_build_stream_frame(header(3), nullptr, 5, &frame));
    EXPECT_FALSE(tci_build_stream_frame(header(3), &sample, 1, nullptr));
}
