#include "TCIStreamInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct HEADER {
    uint32_t receiver = 0;
    uint32_t sampleRate = 48000;
    uint32_t format = 3;
    uint32_t codec = 0;
    uint32_t crc = 0;
    uint32_t length = 0;
    uint32_t type = 1;
    uint32_t channels = 1;
};

void put32(std::vector<uint8_t>* bytes, size_t offset, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        (*bytes)[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

void put_float(std::vector<uint8_t>* bytes, size_t index, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    put32(bytes, 64 + 4 * index, bits);
}

// A message of the header and payloadBytes zero bytes; reserved words are
// filled with junk the parser must ignore.
std::vector<uint8_t> message(const HEADER& h, size_t payloadBytes)
{
    std::vector<uint8_t> bytes(64 + payloadBytes, 0);
    const uint32_t words[] = {h.receiver, h.sampleRate, h.format, h.codec, h.crc, h.length, h.type, h.channels};
    for (size_t i = 0; i < 8; ++i)
        put32(&bytes, 4 * i, words[i]);
    for (size_t i = 8; i < 16; ++i)
        put32(&bytes, 4 * i, 0xDEADBEEF);
    return bytes;
}

std::vector<uint8_t> float_frame(uint32_t frames, uint32_t channels, uint32_t rate = 48000)
{
    HEADER h;
    h.length = frames * channels;
    h.channels = channels;
    h.sampleRate = rate;
    return message(h, 4 * size_t{h.length});
}

TCIStreamInfo parse(const std::vector<uint8_t>& bytes)
{
    return parseStreamInfoFromData(bytes.data(), bytes.size());
}

void expect_zero_except_size(const TCIStreamInfo& i, uint64_t size)
{
    EXPECT_EQ(i.messageBytes, size);
    EXPECT_FALSE(i.valid || i.payloadComplete || i.isRxAudioFloat32) << size;
    const uint64_t words[] = {i.receiver, i.sampleRate, i.format,       i.codec,
                              i.crc,      i.length,     i.type,         i.channels,
                              i.payloadBytes, i.expectedPayloadBytes, i.headerBytes, i.frameCount};
    for (uint64_t w : words)
        EXPECT_EQ(w, 0u) << size;
    EXPECT_EQ(i.peakChannel0, 0.0f);
    EXPECT_EQ(i.peakChannel1, 0.0f);
}

}  // namespace

TEST(TciStreamInfoValid, MonoFloatFrameHasEveryDerivedField)
{
    HEADER h{2, 12000, 3, 7, 99, 100, 1, 1};
    const TCIStreamInfo info = parse(message(h, 400));
    EXPECT_TRUE(info.valid);
    EXPECT_TRUE(info.payloadComplete);
    EXPECT_TRUE(info.isRxAudioFloat32);
    EXPECT_EQ(info.receiver, 2u);
    EXPECT_EQ(info.sampleRate, 12000u);
    EXPECT_EQ(info.format, 3u);
    EXPECT_EQ(info.codec, 7u);
    EXPECT_EQ(info.crc, 99u);
    EXPECT_EQ(info.length, 100u);
    EXPECT_EQ(info.type, 1u);
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.messageBytes, 464u);
    EXPECT_EQ(info.payloadBytes, 400u);
    EXPECT_EQ(info.expectedPayloadBytes, 400u);
    EXPECT_EQ(info.headerBytes, 64u);
    EXPECT_EQ(info.frameCount, 100u);
}

TEST(TciStreamInfoValid, EachFormatAndChannelCountSizesItsPayload)
{
    const uint64_t bytesPerSample[] = {2, 3, 4, 4};
    for (uint32_t format = 0; format < 4; ++format) {
        for (uint32_t channels = 1; channels <= 2; ++channels) {
            HEADER h;
            h.format = format;
            h.channels = channels;
            h.length = 30 * channels;
            const TCIStreamInfo info = parse(message(h, bytesPerSample[format] * h.length));
            EXPECT_TRUE(info.valid) << format << "/" << channels;
            EXPECT_EQ(info.expectedPayloadBytes, bytesPerSample[format] * h.length);
            EXPECT_EQ(info.frameCount, 30u);
            EXPECT_EQ(info.isRxAudioFloat32, format == 3);
        }
    }
}

TEST(TciStreamInfoValid, LongerPayloadIsAccepted)
{
    HEADER h;
    h.length = 10;
    const TCIStreamInfo info = parse(message(h, 41));
    EXPECT_TRUE(info.isRxAudioFloat32);
    EXPECT_EQ(info.payloadBytes, 41u);
}

TEST(TciStreamInfoValid, OtherStreamTypeIsValidButNotReceiveAudio)
{
    HEADER h;
    h.length = 10;
    h.type = 2;
    const TCIStreamInfo info = parse(message(h, 40));
    EXPECT_TRUE(info.valid);
    EXPECT_FALSE(info.isRxAudioFloat32);
}

TEST(TciStreamInfoShort, MessageOf63BytesIsAllZero)
{
    const std::vector<uint8_t> bytes(63, 0xFF);
    expect_zero_except_size(parse(bytes), 63);
}

TEST(TciStreamInfoShort, EveryTruncationOfAValidFrameIsSafe)
{
    const std::vector<uint8_t> full = float_frame(8, 2);
    for (size_t n = 0; n <= full.size(); ++n) {
        const std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const TCIStreamInfo info = parse(prefix);
        if (n < 64) {
            expect_zero_except_size(info, n);
            continue;
        }
        EXPECT_EQ(info.channels, 2u) << n;
        EXPECT_EQ(info.payloadBytes, n - 64);
        EXPECT_EQ(info.payloadComplete, n == full.size()) << n;
        EXPECT_EQ(info.isRxAudioFloat32, n == full.size()) << n;
    }
}

TEST(TciStreamInfoShort, OneByteShortIsIncomplete)
{
    std::vector<uint8_t> bytes = float_frame(10, 1);
    bytes.pop_back();
    const TCIStreamInfo info = parse(bytes);
    EXPECT_FALSE(info.payloadComplete);
    EXPECT_FALSE(info.valid);
    EXPECT_FALSE(info.isRxAudioFloat32);
}

TEST(TciStreamInfoShort, NullDataCountsAsEmpty)
{
    expect_zero_except_size(parseStreamInfoFromData(nullptr, 500), 0);
}

TEST(TciStreamInfoHostile, ZeroLengthIsNotComplete)
{
    const TCIStreamInfo info = parse(message(HEADER{}, 16));
    EXPECT_EQ(info.expectedPayloadBytes, 0u);
    EXPECT_FALSE(info.payloadComplete);
    EXPECT_FALSE(info.valid);
}

TEST(TciStreamInfoHostile, UnknownFormatHasNoSizeButKeepsItsWords)
{
    HEADER h{5, 8000, 7, 0, 0, 10, 1, 1};
    const TCIStreamInfo info = parse(message(h, 400));
    EXPECT_EQ(info.expectedPayloadBytes, 0u);
    EXPECT_FALSE(info.payloadComplete || info.valid || info.isRxAudioFloat32);
    EXPECT_EQ(info.format, 7u);
    EXPECT_EQ(info.receiver, 5u);
    EXPECT_EQ(info.length, 10u);
}

TEST(TciStreamInfoHostile, ZeroChannelsWithCompletePayloadIsNotValid)
{
    HEADER h;
    h.length = 10;
    h.channels = 0;
    const TCIStreamInfo info = parse(message(h, 40));
    EXPECT_TRUE(info.payloadComplete);
    EXPECT_FALSE(info.valid);
    EXPECT_EQ(info.frameCount, 0u);
}

TEST(TciStreamInfoHostile, LargestLengthDoesNotWrapAround)
{
    HEADER h;
    h.length = std::numeric_limits<uint32_t>::max();
    const TCIStreamInfo info = parse(message(h, 64));
    EXPECT_EQ(info.expectedPayloadBytes, 4ull * std::numeric_limits<uint32_t>::max());
    EXPECT_FALSE(info.payloadComplete);
}

TEST(TciStreamInfoHostile, HugeChannelCountScansNothing)
{
    HEADER h;
    h.length = 8;
    h.channels = std::numeric_limits<uint32_t>::max();
    std::vector<uint8_t> bytes = message(h, 32);
    put_float(&bytes, 0, 0.9f);
    const TCIStreamInfo info = parse(bytes);
    EXPECT_EQ(info.frameCount, 0u);
    EXPECT_EQ(info.peakChannel0, 0.0f);
}

TEST(TciStreamInfoHostile, PartialLastFrameIsNotScanned)
{
    HEADER h;
    h.length = 7;  // two frames of three channels and one odd sample
    h.channels = 3;
    std::vector<uint8_t> bytes = message(h, 28);
    put_float(&bytes, 3, -0.25f);
    put_float(&bytes, 6, 0.9f);
    const TCIStreamInfo info = parse(bytes);
    EXPECT_EQ(info.frameCount, 2u);
    EXPECT_FLOAT_EQ(info.peakChannel0, 0.25f);
}

TEST(TciStreamInfoRate, OnlyRatesFrom8000To384000HzAreUsableAudio)
{
    const struct {
        uint32_t rate;
        bool usable;
    } cases[] = {{0, false}, {7999, false}, {8000, true}, {48000, true}, {384000, true}, {384001, false},
                 {std::numeric_limits<uint32_t>::max(), false}};
    for (const auto& c : cases) {
        const TCIStreamInfo info = parse(float_frame(4, 1, c.rate));
        EXPECT_TRUE(info.valid) << c.rate;
        EXPECT_EQ(info.isRxAudioFloat32, c.usable) << c.rate;
    }
}

TEST(TciStreamInfoPeaks, MonoPeakIsTheLargestMagnitudeAndBothChannelsAgree)
{
    std::vector<uint8_t> bytes = float_frame(10, 1);
    put_float(&bytes, 2, 0.3f);
    put_float(&bytes, 7, -0.6f);
    const TCIStreamInfo info = parse(bytes);
    EXPECT_FLOAT_EQ(info.peakChannel0, 0.6f);
    EXPECT_FLOAT_EQ(info.peakChannel1, 0.6f);
}

TEST(TciStreamInfoPeaks, StereoChannelsArePeakedApart)
{
    std::vector<uint8_t> bytes = float_frame(10, 2);
    put_float(&bytes, 2 * 4, 0.2f);
    put_float(&bytes, 2 * 5 + 1, -0.7f);
    const TCIStreamInfo info = parse(bytes);
    EXPECT_FLOAT_EQ(info.peakChannel0, 0.2f);
    EXPECT_FLOAT_EQ(info.peakChannel1, 0.7f);
}

TEST(TciStreamInfoPeaks, OnlyTheFirst256FramesCount)
{
    std::vector<uint8_t> bytes = float_frame(1000, 2);
    put_float(&bytes, 2 * 255, 0.1f);
    put_float(&bytes, 2 * 255 + 1, 0.2f);
    put_float(&bytes, 2 * 300, 0.9f);
    put_float(&bytes, 2 * 300 + 1, 0.9f);
    const TCIStreamInfo info = parse(bytes);
    EXPECT_FLOAT_EQ(info.peakChannel0, 0.1f);
    EXPECT_FLOAT_EQ(info.peakChannel1, 0.2f);
}

TEST(TciStreamInfoPeaks, NanSampleDoesNotHideThePeak)
{
    std::vector<uint8_t> bytes = float_frame(3, 1);
    put_float(&bytes, 0, std::nanf(""));
    put_float(&bytes, 1, 0.4f);
    EXPECT_FLOAT_EQ(parse(bytes).peakChannel0, 0.4f);
}

TEST(TciStreamInfoPeaks, FramesThatAreNotReceiveAudioAreNotScanned)
{
    HEADER h;
    h.length = 4;
    h.type = 2;
    std::vector<uint8_t> bytes = message(h, 16);
    put_float(&bytes, 0, 0.5f);
    EXPECT_EQ(parse(bytes).peakChannel0, 0.0f);
}
