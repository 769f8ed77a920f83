// Reading the header of a binary stream frame, and channel 0 of its audio.
#include "TCIStreamInfo.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();

// receiver, sampleRate, format, codec, crc, length, type, channels
using Words = std::array<uint32_t, 8>;
using Samples = std::vector<std::pair<size_t, float>>;

Words floats(uint32_t frames, uint32_t channels, uint32_t type = 1)
{
    return {0, 48000, 3, 0, 0, frames * channels, type, channels};
}

// The header, reserved words filled with junk the parser must ignore, then
// payloadBytes of zero with the given float samples set.
std::vector<uint8_t> frame(const Words& h, size_t payloadBytes, const Samples& samples = {})
{
    std::vector<uint8_t> bytes(64 + payloadBytes, 0);
    for (size_t i = 0; i < 16; ++i) {
        const uint32_t word = i < 8 ? h[i] : 0xDEADBEEF;  // little-endian on every host this runs on
        std::memcpy(&bytes[4 * i], &word, 4);
    }
    for (auto [index, value] : samples)
        std::memcpy(&bytes[64 + 4 * index], &value, 4);
    return bytes;
}

// Parsed from a buffer of the kept size alone, so that a sanitizer sees reads past it.
TCIStreamInfo parse(const std::vector<uint8_t>& bytes, size_t keep = SIZE_MAX)
{
    const auto n = static_cast<std::ptrdiff_t>(std::min(keep, bytes.size()));
    const std::vector<uint8_t> kept(bytes.begin(), bytes.begin() + n);
    return parseStreamInfoFromData(kept.data(), kept.size());
}

}  // namespace

TEST(TciStreamInfo, FrameHasEveryHeaderWordAndPayloadSizeOfItsFormat)
{
    const TCIStreamInfo i = parse(frame({2, 12000, 3, 7, 99, 100, 1, 1}, 400));
    EXPECT_TRUE(i.valid && i.payloadComplete && i.isRxAudioFloat32);
    EXPECT_EQ((std::vector<uint64_t>{i.receiver, i.sampleRate, i.format, i.codec, i.crc, i.length, i.type, i.channels,
                                     i.messageBytes, i.payloadBytes, i.headerBytes, i.frameCount}),
              (std::vector<uint64_t>{2, 12000, 3, 7, 99, 100, 1, 1, 464, 400, 64, 100}));
    const uint64_t bytesPerSample[] = {2, 3, 4, 4};
    for (uint32_t format = 0; format < 8; ++format) {
        Words h = floats(30, 1 + format % 2);
        h[2] = format / 2;
        const TCIStreamInfo info = parse(frame(h, bytesPerSample[h[2]] * h[5]));
        EXPECT_TRUE(info.valid && info.frameCount == 30u && info.isRxAudioFloat32 == (h[2] == 3)) << format;
        EXPECT_EQ(info.expectedPayloadBytes, bytesPerSample[h[2]] * h[5]);
    }
}

// Nothing is read past the end, and no header word of a message too short
// to hold a header is reported.
TEST(TciStreamInfo, EveryTruncationOfAValidFrameIsSafe)
{
    const std::vector<uint8_t> whole = frame(floats(8, 2), 64, {{0, 0.5f}});
    for (size_t n = 0; n <= 128; ++n) {
        const TCIStreamInfo i = parse(whole, n);
        EXPECT_TRUE(i.messageBytes == n && (i.payloadComplete && i.isRxAudioFloat32) == (n == 128)) << n;
        EXPECT_TRUE(i.peakChannel0 == (n == 128 ? 0.5f : 0.0f) && i.channels == (n < 64 ? 0u : 2u)) << n;
        EXPECT_EQ(i.headerBytes + i.payloadBytes + i.sampleRate + i.length + i.frameCount == 0, n < 64) << n;
    }
    const TCIStreamInfo none = parseStreamInfoFromData(nullptr, 500);
    EXPECT_TRUE(none.messageBytes == 0u && !none.valid);
}

TEST(TciStreamInfo, HeaderWordsDecideCompletenessValidityAndUse)
{
    const struct {
        const char* what;
        Words header;
        size_t payloadBytes;
        bool complete, valid, audio;
    } cases[] = {
        {"longer payload", floats(10, 1), 41, true, true, true},
        {"another stream type", floats(10, 1, 2), 40, true, true, false},
        {"zero length", floats(0, 1), 16, false, false, false},
        {"unknown format", {5, 8000, 7, 0, 0, 10, 1, 1}, 400, false, false, false},
        {"zero channels", {0, 48000, 3, 0, 0, 10, 1, 0}, 40, true, false, false},
        {"largest length", {0, 48000, 3, 0, 0, kMax, 1, 1}, 64, false, false, false},
    };
    for (const auto& k : cases) {
        const TCIStreamInfo info = parse(frame(k.header, k.payloadBytes));
        EXPECT_TRUE(info.payloadComplete == k.complete && info.valid == k.valid && info.isRxAudioFloat32 == k.audio)
            << k.what;
    }
    EXPECT_EQ(parse(frame({0, 48000, 3, 0, 0, kMax, 1, 1}, 64)).expectedPayloadBytes, 4ull * kMax);  // no wrap-around
    for (auto [rate, usable] : {std::pair{0u, false},
                                {7999u, false},
                                {8000u, true},
                                {48000u, true},
                                {384000u, true},
                                {384001u, false},
                                {kMax, false}}) {
        const TCIStreamInfo info = parse(frame({0, rate, 3, 0, 0, 4, 1, 1}, 16));
        EXPECT_TRUE(info.valid && info.isRxAudioFloat32 == usable) << rate;
    }
}

TEST(TciStreamInfo, PeaksAreTheLargestMagnitudesOfTheFirst256WholeFrames)
{
    const struct {
        const char* what;
        Words header;
        Samples samples;
        float peak0, peak1;
    } cases[] = {
        {"mono, both the same", floats(10, 1), {{2, 0.3f}, {7, -0.6f}}, 0.6f, 0.6f},
        {"first 256 frames", floats(1000, 2), {{510, 0.1f}, {511, 0.2f}, {600, 0.9f}, {601, 0.9f}}, 0.1f, 0.2f},
        {"NaN ignored", floats(3, 1), {{0, std::nanf("")}, {1, 0.4f}}, 0.4f, 0.4f},
        {"not receive audio", floats(4, 1, 2), {{0, 0.5f}}, 0.0f, 0.0f},
        {"huge channel count", {0, 48000, 3, 0, 0, 8, 1, kMax}, {{0, 0.9f}}, 0.0f, 0.0f},
        {"partial last frame", {0, 48000, 3, 0, 0, 7, 1, 3}, {{3, -0.25f}, {6, 0.9f}}, 0.25f, 0.0f},
    };
    for (const auto& k : cases) {
        const TCIStreamInfo info = parse(frame(k.header, 4 * size_t{k.header[5]}, k.samples));
        EXPECT_TRUE(info.peakChannel0 == k.peak0 && info.peakChannel1 == k.peak1) << k.what;
    }
}

// A frame that is usable but for a rate of 0 is taken at the stream's last
// good rate; every other frame stays as it was.
TEST(TciStreamInfo, AFrameWithRateZeroIsTakenAtTheLastGoodRate)
{
    Words h = floats(4, 2);
    h[1] = 0;
    const std::vector<uint8_t> bytes = frame(h, 32, {{0, 0.25f}, {2, -0.5f}, {1, 0.9f}});
    const TCIStreamInfo zero = parse(bytes);
    EXPECT_TRUE(tci_stream_rate_missing(zero) && !zero.isRxAudioFloat32);
    const TCIStreamInfo taken = tci_stream_info_at_rate(bytes.data(), zero, 24000);
    EXPECT_TRUE(taken.isRxAudioFloat32 && taken.sampleRate == 24000 && taken.frameCount == 4);
    EXPECT_EQ(taken.peakChannel0, 0.5f);
    std::vector<float> mono(4);
    ASSERT_EQ(tci_stream_channel0(bytes.data(), bytes.size(), taken, mono.data(), mono.size()), 4u);
    EXPECT_EQ(mono, (std::vector<float>{0.25f, -0.5f, 0.0f, 0.0f}));                // channel 1 left out
    EXPECT_FALSE(tci_stream_info_at_rate(bytes.data(), zero, 0).isRxAudioFloat32);  // no good rate yet

    Words other = h;
    other[6] = 2;  // transmit audio
    EXPECT_FALSE(tci_stream_rate_missing(parse(frame(other, 32))));
    const std::vector<uint8_t> good = frame(floats(4, 1), 16);
    EXPECT_EQ(tci_stream_info_at_rate(good.data(), parse(good), 12000).sampleRate, 48000u);
    EXPECT_FALSE(tci_stream_rate_missing(parse(frame(h, 32), 70)));  // payload cut short
}

// Stream type 0, float32, I and Q: usable IQ at the rate the frame's own
// header gives, whatever was asked.
TEST(TciStreamIq, FloatFramesOfTwoChannelsAtAnIqRateAreUsableIq)
{
    const TCIStreamInfo iq = parse(frame({0, 192000, 3, 0, 0, 8, 0, 2}, 32));
    EXPECT_TRUE(iq.valid && iq.isIQFloat32 && !iq.isRxAudioFloat32);
    EXPECT_TRUE(iq.frameCount == 4u && iq.sampleRate == 192000u);
    EXPECT_FALSE(parse(frame(floats(4, 2), 32)).isIQFloat32);  // receive audio is not IQ

    const struct {
        const char* what;
        Words header;
        size_t payloadBytes;
        bool iq;
    } cases[] = {
        {"48000", {0, 48000, 3, 0, 0, 8, 0, 2}, 32, true},
        {"384000", {1, 384000, 3, 0, 0, 8, 0, 2}, 32, true},
        {"rate below IQ rates", {0, 24000, 3, 0, 0, 8, 0, 2}, 32, false},
        {"rate above", {0, 384001, 3, 0, 0, 8, 0, 2}, 32, false},
        {"rate 0", {0, 0, 3, 0, 0, 8, 0, 2}, 32, false},
        {"one channel", {0, 48000, 3, 0, 0, 8, 0, 1}, 32, false},
        {"three channels", {0, 48000, 3, 0, 0, 9, 0, 3}, 36, false},
        {"int16", {0, 48000, 0, 0, 0, 8, 0, 2}, 16, false},
        {"int32", {0, 48000, 2, 0, 0, 8, 0, 2}, 32, false},
        {"payload cut short", {0, 48000, 3, 0, 0, 8, 0, 2}, 31, false},
        {"huge length", {0, 48000, 3, 0, 0, kMax, 0, 2}, 64, false},
        {"transmit audio", {0, 48000, 3, 0, 0, 8, 2, 2}, 32, false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(parse(frame(k.header, k.payloadBytes)).isIQFloat32, k.iq) << k.what;
}

// Three frames of two channels, 1 -1, 2 -2, 3 -3: receive audio gives channel 0 and IQ the interleaved pairs,
// each only from its own kind of float frame, whole, and into room for every frame.
TEST(TciStreamSamples, ComeOutOnlyFromTheirOwnKindOfFrame)
{
    const Samples six{{0, 1}, {1, -1}, {2, 2}, {3, -2}, {4, 3}, {5, -3}};
    std::vector<uint8_t> audio = frame(floats(3, 2), 24, six);
    const std::vector<uint8_t> iq = frame({0, 96000, 3, 0, 0, 6, 0, 2}, 24, six);
    const struct {
        const char* what;
        const std::vector<uint8_t>& bytes;
        const std::vector<uint8_t>& other;
        decltype(&tci_stream_iq) take;
        std::vector<float> out;
    } cases[] = {{"channel 0", audio, iq, &tci_stream_channel0, {1, 2, 3, 9, 9, 9, 9, 9}},
                 {"IQ", iq, audio, &tci_stream_iq, {1, -1, 2, -2, 3, -3, 9, 9}}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        const TCIStreamInfo info = parse(k.bytes);
        std::vector<float> out(8, 9.0f);
        ASSERT_EQ(k.take(k.bytes.data(), k.bytes.size(), info, out.data(), 4), 3u);
        EXPECT_EQ(out, k.out);                                                           // nothing past the samples
        EXPECT_EQ(k.take(k.bytes.data(), k.bytes.size(), info, out.data(), 2), 0u);      // no room
        EXPECT_EQ(k.take(k.bytes.data(), k.bytes.size() - 1, info, out.data(), 4), 0u);  // samples cut off
        EXPECT_EQ(k.take(nullptr, k.bytes.size(), info, out.data(), 4) +
                      k.take(k.bytes.data(), k.bytes.size(), info, nullptr, 4),
                  0u);
        EXPECT_EQ(k.take(k.other.data(), k.other.size(), parse(k.other), out.data(), 4), 0u);  // the other kind
    }
    audio[8] = 0;  // int16 samples: not float audio
    float out[4];
    EXPECT_EQ(tci_stream_channel0(audio.data(), audio.size(), parse(audio), out, 4), 0u);
}
