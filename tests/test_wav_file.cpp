#include "wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;

void add16(Bytes* b, uint32_t v)
{
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
}

void add32(Bytes* b, uint32_t v)
{
    add16(b, v & 0xFFFF);
    add16(b, v >> 16);
}

// A chunk with its declared size (the body length unless given) and pad byte.
Bytes chunk(const char* id, const Bytes& body, uint64_t declared = UINT64_MAX)
{
    Bytes b(id, id + 4);
    add32(&b, declared == UINT64_MAX ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(declared));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 && declared == UINT64_MAX)
        b.push_back(0);
    return b;
}

Bytes fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int blockAlign = -1)
{
    Bytes b;
    const uint16_t align = blockAlign < 0 ? static_cast<uint16_t>(channels * bits / 8) : blockAlign;
    add16(&b, tag);
    add16(&b, channels);
    add32(&b, rate);
    add32(&b, rate * align);
    add16(&b, align);
    add16(&b, bits);
    return b;
}

Bytes extensible_fmt(uint16_t subformat, uint16_t channels, uint16_t bits, uint8_t guidByte = 0x00)
{
    Bytes b = fmt(WAV_TAG_EXTENSIBLE, channels, 8000, bits);
    add16(&b, 22);
    add16(&b, bits);
    add32(&b, 0);
    add16(&b, subformat);
    const Bytes tail = {guidByte, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

Bytes riff(const std::vector<Bytes>& chunks, const char* form = "WAVE")
{
    Bytes body(form, form + 4);
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return chunk("RIFF", body);
}

WAV_AUDIO read_ok(const Bytes& image)
{
    WAV_AUDIO audio;
    std::string error;
    EXPECT_TRUE(wav_read_memory(image.data(), image.size(), &audio, &error)) << error;
    return audio;
}

std::string read_error(const Bytes& image)
{
    WAV_AUDIO audio;
    std::string error;
    EXPECT_FALSE(wav_read_memory(image.data(), image.size(), &audio, &error));
    EXPECT_TRUE(audio.samples.empty());
    return error;
}

Bytes build(const std::vector<float>& samples, uint16_t channels, uint32_t rate, WAV_ENCODING encoding)
{
    Bytes image;
    std::string error;
    EXPECT_TRUE(wav_build_image(samples.data(), samples.size(), channels, rate, encoding, &image, &error)) << error;
    return image;
}

std::filesystem::path scratch_dir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::temp_directory_path() / (std::string("zarvo_wav_") + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

TEST(WavReadIntegerPcm, EightBitIsUnsignedAroundMidScale)
{
    const WAV_AUDIO a = read_ok(riff({chunk("fmt ", fmt(1, 1, 11025, 8)), chunk("data", {0x00, 0x80, 0xFF, 0xC0})}));
    EXPECT_EQ(a.sampleRate, 11025u);
    EXPECT_EQ(a.bitsPerSample, 8);
    EXPECT_EQ(a.samples, (std::vector<float>{-1.0f, 0.0f, 127 / 128.0f, 0.5f}));
}

TEST(WavReadIntegerPcm, TwentyFourBitStereoSignExtends)
{
    const Bytes data = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x40};
    const WAV_AUDIO a = read_ok(riff({chunk("fmt ", fmt(1, 2, 96000, 24)), chunk("data", data)}));
    EXPECT_EQ(a.channels, 2);
    ASSERT_EQ(wav_frame_count(a), 2u);
    EXPECT_FLOAT_EQ(a.samples[0], 8388607 / 8388608.0f);
    EXPECT_FLOAT_EQ(a.samples[1], -1.0f);
    EXPECT_FLOAT_EQ(a.samples[2], -1 / 8388608.0f);
    EXPECT_FLOAT_EQ(a.samples[3], 0.5f);
}

TEST(WavReadIntegerPcm, ThirtyTwoBitFullScale)
{
    const Bytes data = {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0};
    const WAV_AUDIO a = read_ok(riff({chunk("fmt ", fmt(1, 1, 8000, 32)), chunk("data", data)}));
    EXPECT_EQ(a.samples, (std::vector<float>{-1.0f, 0.5f, -0.5f}));
}

TEST(WavReadExtensible, UsesTheSubformat)
{
    const WAV_AUDIO pcm = read_ok(riff({chunk("fmt ", extensible_fmt(1, 1, 16)), chunk("data", {0x00, 0xC0})}));
    EXPECT_TRUE(pcm.extensible);
    EXPECT_EQ(pcm.formatTag, WAV_TAG_PCM);
    EXPECT_EQ(pcm.samples, std::vector<float>{-0.5f});

    const WAV_AUDIO flt =
        read_ok(riff({chunk("fmt ", extensible_fmt(3, 1, 32)), chunk("data", {0x00, 0x00, 0x40, 0x3F})}));
    EXPECT_EQ(flt.formatTag, WAV_TAG_IEEE_FLOAT);
    EXPECT_EQ(flt.samples, std::vector<float>{0.75f});
}

TEST(WavReadChunks, SkipsUnknownChunksWithOddPadding)
{
    const Bytes image = riff({chunk("LIST", {1, 2, 3}), chunk("fmt ", fmt(1, 1, 8000, 16)), chunk("junk", {9}),
                              chunk("data", {0x00, 0x40, 0x00, 0xC0})});
    EXPECT_EQ(read_ok(image).samples, (std::vector<float>{0.5f, -0.5f}));
}

TEST(WavReadChunks, DataChunkLongerThanFileKeepsWholeFrames)
{
    // Streaming writers leave 0xFFFFFFFF; 5 bytes hold two 16-bit frames.
    Bytes image = riff({chunk("fmt ", fmt(1, 1, 8000, 16))});
    const Bytes data = chunk("data", {0x00, 0x40, 0x00, 0xC0, 0x11}, 0xFFFFFFFF);
    image.insert(image.end(), data.begin(), data.end());
    const WAV_AUDIO a = read_ok(image);
    EXPECT_TRUE(a.dataTruncated);
    EXPECT_EQ(a.samples, (std::vector<float>{0.5f, -0.5f}));
}

TEST(WavReadErrors, RejectsBadImagesWithAReason)
{
    const Bytes pcm = fmt(1, 1, 8000, 16);
    const Bytes data = chunk("data", {0, 0});
    const struct {
        Bytes image;
        const char* reason;
    } cases[] = {
        {Bytes{'R', 'I', 'F'}, "no RIFF header"},
        {riff({chunk("fmt ", pcm), data}, "AVI "), "not WAVE"},
        {riff({data}), "no fmt chunk"},
        {riff({chunk("fmt ", pcm)}), "no data chunk"},
        {riff({chunk("fmt ", Bytes(pcm.begin(), pcm.begin() + 14)), data}), "too short"},
        {riff({chunk("fmt ", fmt(1, 0, 8000, 16, 2)), data}), "zero channels"},
        {riff({chunk("fmt ", fmt(1, 1, 0, 16)), data}), "zero sample rate"},
        {riff({chunk("fmt ", fmt(1, 1, 8000, 16, 4)), data}), "block align 4"},
        {riff({chunk("fmt ", fmt(85, 1, 8000, 16)), data}), "format 85"},
        {riff({chunk("fmt ", fmt(1, 1, 8000, 12, 2)), data}), "bit depth 12"},
        {riff({chunk("fmt ", fmt(3, 1, 8000, 64)), data}), "float bit depth 64"},
        {riff({chunk("fmt ", extensible_fmt(1, 1, 16, 0x01)), data}), "subformat"},
        {riff({chunk("fmt ", fmt(WAV_TAG_EXTENSIBLE, 1, 8000, 16)), data}), "extensible fmt chunk too short"},
        {riff({chunk("fmt ", pcm, 0xFFFFFFFF)}), "truncated WAV fmt"},
        {riff({chunk("LIST", {}, 0xFFFFFFFF), chunk("fmt ", pcm), data}), "no fmt chunk"},
    };
    for (const auto& c : cases) {
        const std::string error = read_error(c.image);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(WavReadErrors, NullArgumentsFail)
{
    WAV_AUDIO audio;
    EXPECT_FALSE(wav_read_memory(nullptr, 100, &audio, nullptr));
    const Bytes image = build({0.0f}, 1, 8000, WAV_ENCODING_PCM16);
    EXPECT_FALSE(wav_read_memory(image.data(), image.size(), nullptr, nullptr));
}

TEST(WavReadErrors, EveryTruncationFailsOrGivesAPrefix)
{
    std::vector<float> samples;
    for (int i = 0; i < 20; ++i)
        samples.push_back(static_cast<float>(i) / 32.0f - 0.3f);
    for (WAV_ENCODING encoding : {WAV_ENCODING_PCM16, WAV_ENCODING_FLOAT32}) {
        const Bytes full = build(samples, 2, 8000, encoding);
        const WAV_AUDIO whole = read_ok(full);
        size_t accepted = 0;
        for (size_t length = 0; length <= full.size(); ++length) {
            // A copy of exactly `length` bytes lets AddressSanitizer catch overreads.
            const Bytes cut(full.begin(), full.begin() + length);
            WAV_AUDIO a;
            std::string error;
            if (!wav_read_memory(cut.data(), cut.size(), &a, &error)) {
                EXPECT_FALSE(error.empty());
                continue;
            }
            ++accepted;
            EXPECT_EQ(a.samples.size() % 2, 0u);
            EXPECT_TRUE(std::equal(a.samples.begin(), a.samples.end(), whole.samples.begin()));
        }
        const size_t bytesPerSample = encoding == WAV_ENCODING_FLOAT32 ? 4 : 2;
        EXPECT_EQ(accepted, samples.size() * bytesPerSample + 1);  // from an empty data chunk up
    }
}

TEST(WavWrite, Pcm16HeaderIsTheCanonical44Bytes)
{
    const Bytes image = build({0.0f, 0.5f, -1.0f}, 1, 48000, WAV_ENCODING_PCM16);
    const Bytes expected = {'R', 'I', 'F', 'F', 42, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0x80, 0xBB, 0, 0, 0x00, 0x77, 0x01, 0,
                            2, 0, 16, 0, 'd', 'a', 't', 'a', 6, 0, 0, 0, 0, 0, 0x00, 0x40, 0x01, 0x80};
    EXPECT_EQ(image, expected);
}

TEST(WavWrite, Pcm16ClipsAndRoundsHalfToEven)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Bytes image = build({1.5f, -2.0f, 0.5f, -0.5f, nan, 1.0f}, 1, 8000, WAV_ENCODING_PCM16);
    const WAV_AUDIO a = read_ok(image);
    const std::vector<int> expected = {32767, -32767, 16384, -16384, 0, 32767};
    ASSERT_EQ(a.samples.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(std::lround(a.samples[i] * 32768.0f), expected[i]) << i;
}

TEST(WavWrite, RoundTripsThroughAFile)
{
    const std::vector<float> samples = {0.25f, -0.75f, 0.1f, -0.999f, 1e-6f, 0.3333f};
    const auto dir = scratch_dir();
    for (WAV_ENCODING encoding : {WAV_ENCODING_PCM16, WAV_ENCODING_FLOAT32}) {
        const std::string path = (dir / "round.wav").string();
        std::string error;
        ASSERT_TRUE(wav_write_file(path, build(samples, 2, 44100, encoding), &error)) << error;
        WAV_AUDIO a;
        ASSERT_TRUE(wav_read_file(path, &a, &error)) << error;
        EXPECT_EQ(a.channels, 2);
        EXPECT_EQ(a.sampleRate, 44100u);
        EXPECT_EQ(a.formatTag, encoding == WAV_ENCODING_FLOAT32 ? WAV_TAG_IEEE_FLOAT : WAV_TAG_PCM);
        ASSERT_EQ(a.samples.size(), samples.size());
        // Written with 32767 steps, read back with 32768: up to 1.5 LSB apart.
        const float tolerance = encoding == WAV_ENCODING_FLOAT32 ? 0.0f : 2.0f / 32768;
        for (size_t i = 0; i < samples.size(); ++i)
            EXPECT_NEAR(a.samples[i], samples[i], tolerance);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "temporary file left behind";
}

TEST(WavWrite, RejectsImpossibleRequests)
{
    Bytes image;
    const float s[3] = {};
    EXPECT_FALSE(wav_build_image(s, 3, 2, 8000, WAV_ENCODING_PCM16, &image, nullptr));
    EXPECT_FALSE(wav_build_image(s, 2, 0, 8000, WAV_ENCODING_PCM16, &image, nullptr));
    EXPECT_FALSE(wav_build_image(nullptr, 2, 1, 8000, WAV_ENCODING_FLOAT32, &image, nullptr));
    EXPECT_FALSE(wav_build_image(s, 2, 1, 0xFFFFFFFF, WAV_ENCODING_FLOAT32, &image, nullptr));
}

TEST(WavWrite, UnwritableFolderReportsAnError)
{
    const auto dir = scratch_dir();
    std::ofstream(dir / "plain-file") << "x";
    const Bytes image = build({0.0f}, 1, 8000, WAV_ENCODING_PCM16);
    std::filesystem::create_directory(dir / "folder");
    for (const auto& path : {dir / "missing" / "a.wav", dir / "plain-file" / "a.wav", dir / "folder"}) {
        std::string error;
        EXPECT_FALSE(wav_write_file(path.string(), image, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "temporary file left behind";
    WAV_AUDIO a;
    std::string error;
    EXPECT_FALSE(wav_read_file((dir / "missing.wav").string(), &a, &error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos);
}
