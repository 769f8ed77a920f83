// Channel 0 of files and streams through the input of zarvo-decode: WAV in
// every width, streaming WAV headers, headerless PCM, libsndfile formats and
// inputs that are refused.
#include "decode_audio_input.h"
#include "tool_run.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

namespace {

constexpr uint32_t kRate = 8000;

// A ramp on channel 0 that every width holds exactly enough to compare; the
// other channels carry its negation so a mix-up shows.
std::vector<float> ramp(size_t frames, int channels)
{
    std::vector<float> samples;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back((c == 0 ? 1.0f : -1.0f) * (static_cast<float>(i % 200) / 200.0f - 0.5f));
    return samples;
}

struct ReadBack {
    std::vector<float> mono;  // or pairs
    DECODE_INPUT_STATUS status;
    size_t largestPiece = 0;
};

class AudioInput : public ::testing::Test {
protected:
    std::string write_sound(const std::string& name, int format, int channels, size_t frames)
    {
        SF_INFO info{
            .frames = 0, .samplerate = kRate, .channels = channels, .format = format, .sections = 0, .seekable = 0};
        SNDFILE* f = sf_open((dir / name).c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
        const std::vector<float> samples = ramp(frames, channels);
        EXPECT_EQ(sf_writef_float(f, samples.data(), static_cast<sf_count_t>(frames)), static_cast<sf_count_t>(frames));
        sf_close(f);
        return dir / name;
    }
    std::string write_bytes(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    }
    // All of the input in pieces of at most `piece` frames, channel 0 alone or channels 0 and 1 as pairs; false
    // when it could not be opened or a read failed.
    bool read_all(const DECODE_INPUT_CONFIG& config, ReadBack* back, size_t piece = 1000, bool pairs = false)
    {
        DECODE_INPUT* in = decode_input_open(&config, &error);
        if (in == nullptr)
            return false;
        const size_t width = pairs ? 2 : 1;
        std::vector<float> samples(width * piece);
        size_t count = 0;
        bool ok = true;
        while ((ok = pairs ? decode_input_read_pairs(in, samples.data(), piece, &count, &error)
                           : decode_input_read(in, samples.data(), piece, &count, &error)) &&
               count > 0) {
            back->mono.insert(back->mono.end(), samples.begin(),
                              samples.begin() + static_cast<std::ptrdiff_t>(width * count));
            back->largestPiece = std::max(back->largestPiece, count);
        }
        decode_input_get_status(in, &back->status);
        decode_input_destroy(in);
        return ok;
    }

    tool_run::ScratchDir dir{"decode_audio_input"};
    std::string error;
};

std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// A 16-bit mono WAV header with the given data size and rate.
std::string wav_header(uint32_t dataSize, uint32_t rate = kRate)
{
    return "RIFF" + le32(0xFFFFFFFFu) + "WAVE" + "fmt " + le32(16) + std::string("\x01\x00\x01\x00", 4) + le32(rate) +
           le32(rate * 2) + std::string("\x02\x00\x10\x00", 4) + "data" + le32(dataSize);
}

}  // namespace

// Lossless formats give channel 0 back sample for sample, and channels 0 and
// 1 as pairs in order for IQ, in pieces no larger than asked, whichever reader
// handles them; a one-channel input has no pairs to give.
TEST_F(AudioInput, ReadsChannelZeroOrTheFirstTwoChannelsOfEveryLosslessFormat)
{
    const struct {
        const char* name;
        int format;
        const char* reader;
        float tolerance;
    } files[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "WAV", 1.0f / 128},
        {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV", 1.0f / 32768},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAV", 1e-6f},
        {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, "WAV", 1e-6f},
        {"f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "WAV", 0.0f},
        {"f64.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, "WAV", 0.0f},
        {"ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, "WAV", 1.0f / 32768},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "libsndfile", 1.0f / 32768},
        {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "libsndfile", 1.0f / 32768},
    };
    const std::vector<float> expected = ramp(3000, 3);  // channel 1 is the negated ramp
    for (const auto& f : files) {
        const std::string path = write_sound(f.name, f.format, 3, 3000);
        for (const bool pairs : {false, true}) {
            SCOPED_TRACE(std::string(f.name) + (pairs ? " as pairs" : " channel 0"));
            const size_t width = pairs ? 2 : 1;
            ReadBack back;
            ASSERT_TRUE(read_all({.path = path}, &back, 700, pairs)) << error;
            EXPECT_EQ(std::string(back.status.format), f.reader);
            EXPECT_EQ(back.status.sampleRate, kRate);
            EXPECT_EQ(back.status.channels, 3);
            EXPECT_EQ(back.status.frames, 3000u);
            EXPECT_LE(back.largestPiece, 700u);
            ASSERT_EQ(back.mono.size(), width * 3000);
            for (size_t i = 0; i < back.mono.size(); ++i)
                ASSERT_NEAR(back.mono[i], expected[3 * (i / width) + i % width], f.tolerance) << "sample " << i;
        }
    }
    ReadBack mono;
    EXPECT_FALSE(
        read_all({.path = write_sound("mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 100)}, &mono, 100, true));
    EXPECT_TRUE(mono.mono.empty());
    EXPECT_NE(error.find("one channel"), std::string::npos) << error;
}

// Lossy formats keep the rate and about the length; the tone survives.
TEST_F(AudioInput, ReadsLossyFormats)
{
    for (const auto& [name, format] : {std::pair{"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                       std::pair{"a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}}) {
        ReadBack back;
        ASSERT_TRUE(read_all({.path = write_sound(name, format, 1, 16000)}, &back)) << error;
        EXPECT_EQ(back.status.sampleRate, kRate) << name;
        EXPECT_NEAR(static_cast<double>(back.mono.size()), 16000.0, 2000.0) << name;
        double power = 0;
        for (float s : back.mono)
            power += s * s;
        EXPECT_GT(power / static_cast<double>(back.mono.size()), 0.03) << name;  // the ramp's is 1/12
    }
}

// A streaming writer's unknown sizes read to the end; a stated size stops
// there even if more follows, and one larger than the file is reported.
TEST_F(AudioInput, FollowsTheDataChunkSize)
{
    const std::string body(2000, '\x10');  // 1000 frames
    const struct {
        uint32_t size;
        size_t frames;
        bool truncated;
    } cases[] = {{0, 1000, false}, {0xFFFFFFFFu, 1000, false}, {600, 300, false}, {4000, 1000, true}};
    for (const auto& c : cases) {
        ReadBack back;
        ASSERT_TRUE(read_all({.path = write_bytes("s.wav", wav_header(c.size) + body)}, &back)) << error;
        EXPECT_EQ(back.mono.size(), c.frames) << c.size;
        EXPECT_EQ(back.status.truncated, c.truncated) << c.size;
    }
}

// Headerless PCM is taken as the options describe it, channel 0 alone or
// channels 0 and 1 as pairs.
TEST_F(AudioInput, ReadsRawPcm)
{
    std::string s16, f32, iq;
    for (int i = 0; i < 500; ++i) {
        const int16_t left = static_cast<int16_t>(i * 16), right = -1;
        s16.append(reinterpret_cast<const char*>(&left), 2).append(reinterpret_cast<const char*>(&right), 2);
        const float value = static_cast<float>(i) / 1000.0f, pair[] = {static_cast<float>(i), -static_cast<float>(i)};
        f32.append(reinterpret_cast<const char*>(&value), 4);
        iq.append(reinterpret_cast<const char*>(pair), 8);
    }
    ReadBack a, b, pairs;
    ASSERT_TRUE(
        read_all({.path = write_bytes("a.raw", s16), .raw = DECODE_RAW_S16LE, .rawRate = 11025, .rawChannels = 2}, &a))
        << error;
    ASSERT_TRUE(read_all({.path = write_bytes("b.raw", f32), .raw = DECODE_RAW_F32LE, .rawRate = 8000}, &b)) << error;
    ASSERT_TRUE(
        read_all({.path = write_bytes("iq.raw", iq), .raw = DECODE_RAW_F32LE, .rawRate = 48000, .rawChannels = 2},
                 &pairs, 100, true))
        << error;
    ASSERT_EQ(a.mono.size(), 500u);
    ASSERT_EQ(b.mono.size(), 500u);
    ASSERT_EQ(pairs.mono.size(), 1000u);
    EXPECT_EQ(a.status.sampleRate, 11025u);
    EXPECT_FLOAT_EQ(a.mono[100], 1600.0f / 32768.0f);
    EXPECT_FLOAT_EQ(b.mono[499], 0.499f);
    EXPECT_FLOAT_EQ(pairs.mono[2 * 42], 42.0f);
    EXPECT_FLOAT_EQ(pairs.mono[2 * 42 + 1], -42.0f);
}

// Refused inputs name the input and the fault in one line, before any
// audio-sized buffer exists.
TEST_F(AudioInput, RefusesWhatIsNotUsableAudio)
{
    const std::string wav = wav_header(0) + std::string(100, '\0');
    const struct {
        DECODE_INPUT_CONFIG config;
        const char* message;
    } bad[] = {
        {{.path = write_bytes("fast.wav", wav_header(0, 100000000) + "ab")}, "sample rate 100000000 Hz is outside"},
        {{.path = write_bytes("slow.wav", wav_header(0, 4000) + "ab")}, "sample rate 4000 Hz is outside"},
        {{.path = write_bytes("junk.wav", wav.substr(0, 12) + "JUNK" + le32(1000000) + "xyz")},
         "WAV chunk JUNK runs past the end of the file"},
        {{.path = write_bytes("nofmt.wav", wav.substr(0, 12))}, "WAV has no fmt chunk"},
        {{.path = write_bytes("text.txt", "hello, this is not audio")}, "not a WAV file"},
        {{.path = write_bytes("empty.wav", "")}, "no audio in"},
        {{.path = dir / "missing.wav"}, "missing.wav"},
        {{.path = dir.path.string()}, "is a directory"},
        {{.path = "/dev/zero"}, "not a WAV file"},
        {{.path = "/dev/zero", .raw = DECODE_RAW_S16LE, .rawRate = 1000}, "sample rate 1000 Hz is outside"},
    };
    for (const auto& b : bad) {
        error.clear();
        EXPECT_EQ(decode_input_open(&b.config, &error), nullptr) << b.message;
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}
