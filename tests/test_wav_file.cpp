// WAV images and files: reading every format, refusing bad ones, writing.
#include "wav_file.h"

#include "tool_run.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

Bytes le(int64_t v, int n)
{
    Bytes b(n);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

// A chunk declaring its body length (padded when odd) or the given size (unpadded).
Bytes chunk(const char* id, const Bytes& body, int64_t declared = -1)
{
    Bytes b = cat({Bytes(id, id + 4), le(declared < 0 ? static_cast<int64_t>(body.size()) : declared, 4), body});
    if (body.size() % 2 && declared < 0)
        b.push_back(0);
    return b;
}

Bytes fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int align = -1, const Bytes& extra = {})
{
    align = align < 0 ? channels * bits / 8 : align;
    return chunk("fmt ", cat({le(tag, 2), le(channels, 2), le(rate, 4), le(int64_t{rate} * align, 4), le(align, 2),
                              le(bits, 2), extra}));
}

// A non-zero guid0 spoils the standard subformat GUID.
Bytes extensible(uint16_t subformat, uint16_t bits, uint8_t guid0 = 0)
{
    const Bytes guidTail = {guid0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    return fmt(WAV_TAG_EXTENSIBLE, 1, 8000, bits, -1,
               cat({le(22, 2), le(bits, 2), le(0, 4), le(subformat, 2), guidTail}));
}

Bytes riff(std::initializer_list<Bytes> chunks, const char* form = "WAVE")
{
    return chunk("RIFF", cat({Bytes(form, form + 4), cat(chunks)}));
}

Bytes build(const std::vector<float>& samples, uint16_t channels, uint32_t rate, WAV_ENCODING encoding)
{
    Bytes image;
    std::string error;
    EXPECT_TRUE(wav_build_image(samples.data(), samples.size(), channels, rate, encoding, &image, &error)) << error;
    return image;
}

}  // namespace

TEST(WavRead, DecodesEveryFormatPastOddChunksAndKeepsWholeFramesOfAnOverlongDataChunk)
{
    // Streaming writers leave a data size of 0xFFFFFFFF; there the 13 bytes
    // and the RIFF pad byte hold two 6-byte frames.
    const struct {
        Bytes fmt, data;
        std::vector<float> samples;
        uint16_t tag;
        int64_t declared = -1;
    } cases[] = {
        {fmt(1, 1, 11025, 8), {0x00, 0x80, 0xFF, 0xC0}, {-1.0f, 0.0f, 127 / 128.0f, 0.5f}, WAV_TAG_PCM},
        {fmt(1, 1, 8000, 16), {0x00, 0x80, 0x00, 0x40}, {-1.0f, 0.5f}, WAV_TAG_PCM},
        {fmt(1, 2, 96000, 24),
         {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x40, 0x11},
         {8388607 / 8388608.0f, -1.0f, -1 / 8388608.0f, 0.5f},
         WAV_TAG_PCM,
         0xFFFFFFFF},
        {fmt(1, 1, 8000, 32), {0, 0, 0, 0x80, 0, 0, 0, 0x40, 0, 0, 0, 0xC0}, {-1.0f, 0.5f, -0.5f}, WAV_TAG_PCM},
        {fmt(3, 1, 8000, 32), {0x00, 0x00, 0x40, 0x3F}, {0.75f}, WAV_TAG_IEEE_FLOAT},
        {extensible(1, 16), {0x00, 0xC0}, {-0.5f}, WAV_TAG_PCM},
        {extensible(3, 32), {0x00, 0x00, 0x40, 0x3F}, {0.75f}, WAV_TAG_IEEE_FLOAT},
    };
    for (const auto& c : cases) {
        const Bytes image =
            riff({chunk("LIST", {1, 2, 3}), c.fmt, chunk("junk", {9}), chunk("data", c.data, c.declared)});
        WAV_AUDIO a;
        ASSERT_TRUE(wav_read_memory(image.data(), image.size(), &a, nullptr));
        EXPECT_EQ(a.samples, c.samples);
        EXPECT_TRUE(a.formatTag == c.tag && a.extensible == (c.fmt[8] == 0xFE) && a.channels == c.fmt[10]);
        EXPECT_EQ(a.dataTruncated, c.declared >= 0);
    }
}

TEST(WavRead, RejectsBadImagesWithAOneLineReason)
{
    const Bytes pcm = fmt(1, 1, 8000, 16), data = chunk("data", {0, 0});
    const struct {
        Bytes image;
        const char* reason;
    } cases[] = {
        {Bytes{'R', 'I', 'F'}, "no RIFF header"},
        {riff({pcm, data}, "AVI "), "not WAVE"},
        {riff({data}), "no fmt chunk"},
        {riff({pcm}), "no data chunk"},
        {riff({fmt(1, 1, 8000, 16, 4), data}), "block align 4"},
        {riff({fmt(85, 1, 8000, 16), data}), "format 85"},
        {riff({extensible(1, 16, 0x01), data}), "subformat"},
        {riff({chunk("fmt ", Bytes(pcm.begin() + 8, pcm.end()), 0xFFFFFFFF)}), "truncated WAV fmt"},
        {riff({chunk("LIST", {}, 0xFFFFFFFF), pcm, data}), "no fmt chunk"},
    };
    for (const auto& c : cases) {
        WAV_AUDIO a;
        std::string error;
        EXPECT_FALSE(wav_read_memory(c.image.data(), c.image.size(), &a, &error));
        EXPECT_TRUE(error.find(c.reason) != std::string::npos && error.find('\n') == std::string::npos) << error;
    }
    const Bytes good = riff({pcm, data});
    EXPECT_FALSE(wav_read_memory(good.data(), good.size(), nullptr, nullptr) ||
                 wav_read_memory(nullptr, 9, nullptr, nullptr));
}

TEST(WavRead, EveryTruncationFailsOrGivesAPrefix)
{
    std::vector<float> samples(20);
    for (int i = 0; i < 20; ++i)
        samples[i] = i / 32.0f - 0.3f;  // two channels
    for (WAV_ENCODING encoding : {WAV_ENCODING_PCM16, WAV_ENCODING_FLOAT32}) {
        const Bytes full = build(samples, 2, 8000, encoding);
        WAV_AUDIO whole, a;
        ASSERT_TRUE(wav_read_memory(full.data(), full.size(), &whole, nullptr));
        size_t accepted = 0;
        for (size_t length = 0; length <= full.size(); ++length) {
            const Bytes cut(full.begin(), full.begin() + length);  // exactly `length` bytes, for AddressSanitizer
            std::string error;
            const bool ok = wav_read_memory(cut.data(), cut.size(), &a, &error);
            accepted += ok;
            EXPECT_TRUE(ok == error.empty() && a.dataTruncated == (ok && length < full.size())) << length;
            EXPECT_TRUE(a.samples.size() % 2 == 0 &&
                        std::equal(a.samples.begin(), a.samples.end(), whole.samples.begin()));
        }
        EXPECT_EQ(accepted, samples.size() * (encoding == WAV_ENCODING_FLOAT32 ? 4 : 2) + 1);  // from empty data up
    }
}

TEST(WavWrite, ImagesHaveTheCanonicalLayout)
{
    // PCM16 clips to +-1, scales by 32767 and rounds half to even; NaN becomes 0. Floats stay as they are.
    const std::vector<float> pcm = {1.5f, -2.0f, 0.5f, -0.5f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    const Bytes pcmData = cat({le(32767, 2), le(-32767, 2), le(16384, 2), le(-16384, 2), le(0, 2), le(32767, 2)});
    EXPECT_EQ(build(pcm, 1, 48000, WAV_ENCODING_PCM16), riff({fmt(1, 1, 48000, 16), chunk("data", pcmData)}));
    const std::vector<float> floats = {0.25f, -1e-6f, 0.0f, 3.0f};
    Bytes floatData;
    for (float x : floats)
        floatData = cat({floatData, le(std::bit_cast<uint32_t>(x), 4)});
    EXPECT_EQ(build(floats, 2, 8000, WAV_ENCODING_FLOAT32),
              riff({fmt(3, 2, 8000, 32, -1, le(0, 2)), chunk("fact", le(2, 4)), chunk("data", floatData)}));
}

TEST(WavWrite, FilesAreReplacedWholeAndFailuresReported)
{
    Bytes image;
    const float s[3] = {};
    std::string error;
    EXPECT_FALSE(wav_build_image(s, 3, 2, 8000, WAV_ENCODING_PCM16, &image, &error));          // not whole frames
    EXPECT_FALSE(wav_build_image(s, 2, 1, 0xFFFFFFFF, WAV_ENCODING_FLOAT32, &image, &error));  // byte rate overflows
    const tool_run::ScratchDir scratch("zarvo_wav");
    const std::filesystem::path &dir = scratch.path, path = dir / "a.wav";
    std::filesystem::create_directories(dir / "folder");
    std::ofstream(dir / "plain-file") << "x";
    WAV_AUDIO a;
    ASSERT_TRUE(wav_write_file(path, build({0.5f}, 1, 8000, WAV_ENCODING_PCM16), &error)) << error;
    image = build({0.5f, -0.25f}, 2, 44100, WAV_ENCODING_FLOAT32);
    ASSERT_TRUE(wav_write_file(path, image, &error) && wav_read_file(path, &a, &error)) << error;  // the first replaced
    EXPECT_TRUE(a.samples == std::vector<float>({0.5f, -0.25f}) && a.channels == 2 && a.sampleRate == 44100u);
    for (const auto& bad : {dir / "missing" / "a.wav", dir / "plain-file" / "a.wav", dir / "folder"}) {
        EXPECT_FALSE(wav_write_file(bad.string(), image, &error)) << bad;
        EXPECT_NE(error.find(bad.parent_path().string()), std::string::npos) << error;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3) << "temporary file left behind";
    EXPECT_FALSE(wav_read_file(dir / "missing.wav", &a, &error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
}
