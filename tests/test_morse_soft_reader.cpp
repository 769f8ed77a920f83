// Soft reader: a character read again from the envelope values themselves.
#include "morse_soft_reader.h"
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct ReaderDeleter {
    void operator()(MORSE_SOFT_READER* r) const { morse_soft_reader_destroy(r); }
};
using Reader = std::unique_ptr<MORSE_SOFT_READER, ReaderDeleter>;

constexpr float kStepMs = 2.0f;
constexpr int kDot = 30;     // 60 ms: 20 WPM
constexpr int kWindow = 24;  // the demodulator's 48 ms average
constexpr float kNoise = 0.1f, kLevel = 0.3f;

// The keying of `text` in 2 ms values between 200 of silence; *end gets the end of the last mark.
std::vector<float> keying_of(const std::string& text, size_t* end)
{
    std::vector<float> keying(200, 0.0f);
    for (size_t i = 0; i < text.size(); ++i) {
        const char* code = morse_audio_code(text[i]);
        if (code == nullptr)
            continue;
        if (i > 0)
            keying.insert(keying.end(), size_t((text[i - 1] == ' ' ? 7 : 3) * kDot), 0.0f);
        for (const char* e = code; *e; ++e) {
            if (e != code)
                keying.insert(keying.end(), kDot, 0.0f);
            keying.insert(keying.end(), size_t(*e == '-' ? 3 * kDot : kDot), 1.0f);
        }
    }
    *end = keying.size();
    keying.insert(keying.end(), 200, 0.0f);
    return keying;
}

// The span as the slicer cuts it: a third of a window late at the start, two thirds at the end.
double start_ms()
{
    return (200 + 0.35 * kWindow) * kStepMs;
}
double end_ms(size_t end)
{
    return (double(end) + 0.65 * kWindow) * kStepMs;
}

Reader loaded(const std::vector<float>& envelope, const float* baseband = nullptr)
{
    Reader r(morse_soft_reader_create(kStepMs));
    morse_soft_reader_push(r.get(), envelope.data(), baseband, int(envelope.size()));
    return r;
}

// Character `c` averaged over the window plus noise of `sigma`; its span off by `errorMs`.
std::vector<float> envelope(char c, float sigma, uint32_t seed, float errorMs, MORSE_SOFT_QUERY* query)
{
    size_t end = 0;
    const std::vector<float> keying = keying_of(std::string(1, c), &end);
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, sigma);
    std::vector<float> out(keying.size());
    float sum = 0.0f;
    for (size_t k = 0; k < keying.size(); ++k) {
        sum += keying[k] - (k >= kWindow ? keying[k - kWindow] : 0.0f);
        out[k] = kNoise + (kLevel - kNoise) * sum / kWindow + g(rng);
    }
    *query = {.startMs = start_ms() + errorMs,
              .endMs = end_ms(end) - errorMs,
              .unitMs = kDot * kStepMs,
              .dashMs = 3 * kDot * kStepMs,
              .windowMs = kWindow * kStepMs,
              .noise = kNoise,
              .level = kLevel};
    return out;
}

TEST(MorseSoftReader, ReadsCharactersWhoseMarksNoiseWouldBreak)
{
    // Noise half a mark high on every value, ends cut a third of a dot off: the keying still shows.
    int wrong = 0;
    for (char c : std::string("ABCKQRYZ15")) {
        std::string code;
        for (const char* e = morse_audio_code(c); *e; ++e)
            code.push_back(*e == '-' ? '1' : '0');
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            MORSE_SOFT_QUERY q;
            const std::vector<float> values = envelope(c, 0.1f, seed, seed % 2 ? 20.0f : -20.0f, &q);
            std::string read;
            ASSERT_TRUE(morse_soft_reader_read(loaded(values).get(), q, kMorseCode, &read));
            wrong += read == code ? 0 : 1;
        }
    }
    EXPECT_LE(wrong, 1);
}

// Reads `text` keyed in 2 ms baseband (faded over the second half, or phase-turned every 20 ms) in noise.
bool read_word(const std::string& text, float noisePower, const char* runs, std::string* out, float fade = 1.0f,
               bool flutter = false, double endShiftMs = 0.0, uint32_t seed = 1)
{
    size_t end = 0;
    const std::vector<float> keying = keying_of(text, &end);
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, std::sqrt(noisePower / 2.0f));
    std::uniform_real_distribution<float> turn(0.0f, 6.2831853f);
    std::vector<float> baseband;
    float phase = 0.3f;
    for (size_t k = 0; k < keying.size(); ++k) {
        if (flutter && k % 10 == 0)
            phase = turn(rng);
        const float a = kLevel * keying[k] * (k > (200 + end) / 2 ? fade : 1.0f);
        baseband.push_back(a * std::cos(phase) + g(rng));
        baseband.push_back(a * std::sin(phase) + g(rng));
    }
    const MORSE_SOFT_WORD_QUERY q{.startMs = start_ms(),
                                  .endMs = end_ms(end) + endShiftMs,
                                  .unitMs = kDot * kStepMs,
                                  .dashMs = 3 * kDot * kStepMs,
                                  .wordGapMs = 5 * kDot * kStepMs,
                                  .windowMs = kWindow * kStepMs,
                                  .noise = std::sqrt(3.14159265f * noisePower / (4.0f * kWindow)),
                                  .level = std::sqrt(kLevel * kLevel + noisePower / kWindow),
                                  .read = runs};
    return morse_soft_reader_read_word(loaded(std::vector<float>(keying.size(), kNoise), baseband.data()).get(), q,
                                       kMorseCode, out);
}

constexpr float kQuiet = 0.1f * kLevel * kLevel;

TEST(MorseSoftReader, AWeakWordIsReadAgainWholeWhereTheRunsWentWrongUnlessItFadesOrFlutters)
{
    // Marks as strong as the noise per value: 15 dB in a dot's bandwidth, where letter gaps move.
    int right = 0;
    std::string text;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        ASSERT_TRUE(read_word("PSE K", kLevel * kLevel, "P5 K", &text, 1.0f, false, 0.0, seed));
        right += text == "PSE K" ? 1 : 0;
    }
    EXPECT_GE(right, 3);
    // A reading the values show about as well as any is kept.
    EXPECT_FALSE(read_word("PSE K", kQuiet, "PSE K", &text));
    // Without the runs' reading to beat, the values alone.
    ASSERT_TRUE(read_word("ZR1ABC", kQuiet, nullptr, &text));
    EXPECT_EQ(text, "ZR1ABC");
    // A word that fades or flutters is not read again.
    ASSERT_TRUE(read_word("ZR1ABC", kQuiet, "ZR1AB", &text));
    // The second half at a fifth: one amplitude per character would lose its marks.
    EXPECT_FALSE(read_word("ZR1ABC", kQuiet, "ZR1AB", &text, 0.2f));
    // The phase turned every 20 ms: no tone to sum along a dash.
    EXPECT_FALSE(read_word("ZR1ABC", kQuiet, "ZR1AB", &text, 1.0f, true));
    // A span the reader has not yet been given.
    EXPECT_FALSE(read_word("ZR1ABC", kQuiet, "ZR1AB", &text, 1.0f, false, 10000.0));
}

}  // namespace
