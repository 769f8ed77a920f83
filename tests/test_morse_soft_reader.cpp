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
constexpr float kNoise = 0.1f;
constexpr float kLevel = 0.3f;

// The envelope of `code` ("0" dot, "1" dash) after `lead` values of noise:
// the keying averaged over the window, plus Gaussian noise of `sigma`.
std::vector<float> envelope(const std::string& code, int lead, float sigma, uint32_t seed)
{
    std::vector<float> keying(static_cast<size_t>(lead), 0.0f);
    for (size_t i = 0; i < code.size(); ++i) {
        if (i > 0)
            keying.insert(keying.end(), kDot, 0.0f);
        keying.insert(keying.end(), static_cast<size_t>(code[i] == '1' ? 3 * kDot : kDot), 1.0f);
    }
    keying.insert(keying.end(), 10 * kDot, 0.0f);
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, sigma);
    std::vector<float> out(keying.size());
    float sum = 0.0f;
    for (size_t k = 0; k < keying.size(); ++k) {
        sum += keying[k] - (k >= kWindow ? keying[k - kWindow] : 0.0f);
        out[k] = kNoise + (kLevel - kNoise) * sum / kWindow + g(rng);
    }
    return out;
}

// The span of the keying as the slicer would cut it: a third of a window
// late at the start, two thirds at the end, off by `errorMs` on top.
MORSE_SOFT_QUERY query_for(const std::string& code, int lead, float errorMs)
{
    int length = 0;
    for (char c : code)
        length += (c == '1' ? 3 : 1) * kDot + kDot;
    length -= kDot;
    return MORSE_SOFT_QUERY{.startMs = (lead + 0.35 * kWindow) * kStepMs + errorMs,
                            .endMs = (lead + length + 0.65 * kWindow) * kStepMs - errorMs,
                            .unitMs = kDot * kStepMs,
                            .dashMs = 3 * kDot * kStepMs,
                            .windowMs = kWindow * kStepMs,
                            .noise = kNoise,
                            .level = kLevel};
}

TEST(MorseSoftReader, ReadsCharactersWhoseMarksNoiseWouldBreak)
{
    // Noise half the mark's height on every 2 ms value, and cut ends a
    // third of a dot off: the keying as a whole still shows through.
    int right = 0;
    int total = 0;
    for (const char* c : {"A", "B", "C", "K", "Q", "R", "Y", "Z", "1", "5"}) {
        const std::string code = [&] {
            std::string s;
            for (const char* e = morse_audio_code(*c); *e; ++e)
                s.push_back(*e == '-' ? '1' : '0');
            return s;
        }();
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            const std::vector<float> values = envelope(code, 200, 0.1f, seed);
            Reader r(morse_soft_reader_create(kStepMs));
            morse_soft_reader_push(r.get(), values.data(), nullptr, static_cast<int>(values.size()));
            std::string read;
            ASSERT_TRUE(morse_soft_reader_read(r.get(), query_for(code, 200, seed % 2 ? 20.0f : -20.0f), kMorseCode, &read));
            right += read == code ? 1 : 0;
            ++total;
        }
    }
    EXPECT_GE(right, total - 1);
}

TEST(MorseSoftReader, ASpanOutsideTheHistoryOrWithoutSignalIsNotRead)
{
    const std::vector<float> values = envelope("1010", 200, 0.0f, 1);
    Reader r(morse_soft_reader_create(kStepMs));
    morse_soft_reader_push(r.get(), values.data(), nullptr, static_cast<int>(values.size()));
    std::string read;
    MORSE_SOFT_QUERY q = query_for("1010", 200, 0.0f);
    EXPECT_TRUE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    EXPECT_EQ(read, "1010");
    MORSE_SOFT_QUERY late = q;
    late.endMs = 2.0 * static_cast<double>(values.size()) + 100.0;  // not yet received
    EXPECT_FALSE(morse_soft_reader_read(r.get(), late, kMorseCode, &read));
    // Sixteen seconds on, the character has left the history.
    const std::vector<float> more(8192, kNoise);
    morse_soft_reader_push(r.get(), more.data(), nullptr, static_cast<int>(more.size()));
    EXPECT_FALSE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    MORSE_SOFT_QUERY flat = q;
    flat.level = kNoise;
    EXPECT_FALSE(morse_soft_reader_read(r.get(), flat, kMorseCode, &read));
    morse_soft_reader_reset(r.get());  // the clock starts again
    morse_soft_reader_push(r.get(), values.data(), nullptr, static_cast<int>(values.size()));
    EXPECT_TRUE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    EXPECT_FALSE(morse_soft_reader_read(nullptr, q, kMorseCode, &read));
}

}  // namespace

// A word's 2 ms baseband: the keying of `text` at amplitude kLevel with a
// steady phase (scaled by `fade` over the second half, the phase turned
// at random every 20 ms with `flutter`), in complex noise of `noisePower`
// per value. The span and the clock of the query are filled in.
struct WordSignal {
    std::vector<float> envelope;
    std::vector<float> baseband;
    MORSE_SOFT_WORD_QUERY query;
};

WordSignal word_signal(const std::string& text, float noisePower, uint32_t seed, float fade = 1.0f,
                       bool flutter = false)
{
    std::vector<float> keying(200, 0.0f);
    const size_t start = keying.size();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        if (i > 0)
            keying.insert(keying.end(), static_cast<size_t>((text[i - 1] == ' ' ? 7 : 3) * kDot), 0.0f);
        for (const char* e = morse_audio_code(text[i]); *e; ++e) {
            if (e != morse_audio_code(text[i]))
                keying.insert(keying.end(), kDot, 0.0f);
            keying.insert(keying.end(), static_cast<size_t>(*e == '-' ? 3 * kDot : kDot), 1.0f);
        }
    }
    const size_t end = keying.size();
    keying.insert(keying.end(), 200, 0.0f);
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, std::sqrt(noisePower / 2.0f));
    std::uniform_real_distribution<float> turn(0.0f, 6.2831853f);
    WordSignal s;
    float phase = 0.3f;
    for (size_t k = 0; k < keying.size(); ++k) {
        if (flutter && k % 10 == 0)
            phase = turn(rng);
        const float a = kLevel * keying[k] * (k > (start + end) / 2 ? fade : 1.0f);
        s.baseband.push_back(a * std::cos(phase) + g(rng));
        s.baseband.push_back(a * std::sin(phase) + g(rng));
        s.envelope.push_back(kNoise);
    }
    const float noise = std::sqrt(3.14159265f * noisePower / (4.0f * kWindow));
    s.query = MORSE_SOFT_WORD_QUERY{.startMs = (static_cast<double>(start) + 0.35 * kWindow) * kStepMs,
                                    .endMs = (static_cast<double>(end) + 0.65 * kWindow) * kStepMs,
                                    .unitMs = kDot * kStepMs,
                                    .dashMs = 3 * kDot * kStepMs,
                                    .wordGapMs = 5 * kDot * kStepMs,
                                    .windowMs = kWindow * kStepMs,
                                    .noise = noise,
                                    .level = std::sqrt(kLevel * kLevel + noisePower / kWindow),
                                    .read = nullptr};
    return s;
}

bool read_word(const WordSignal& s, const char* runs, std::string* text)
{
    Reader r(morse_soft_reader_create(kStepMs));
    morse_soft_reader_push(r.get(), s.envelope.data(), s.baseband.data(), static_cast<int>(s.envelope.size()));
    MORSE_SOFT_WORD_QUERY q = s.query;
    q.read = runs;
    return morse_soft_reader_read_word(r.get(), q, kMorseCode, text);
}

TEST(MorseSoftReader, AWeakWordIsReadAgainWholeWhereTheRunsWentWrong)
{
    // Marks of 30 values as strong as the noise on each: 15 dB over the
    // noise in a dot's bandwidth, where noise moves single letter gaps.
    int right = 0;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        std::string text;
        const WordSignal s = word_signal("PSE K", kLevel * kLevel, seed);
        ASSERT_TRUE(read_word(s, "P5 K", &text));
        right += text == "PSE K" ? 1 : 0;
    }
    EXPECT_GE(right, 3);
    // A reading the values show about as well as any is kept.
    std::string text;
    EXPECT_FALSE(read_word(word_signal("PSE K", 0.1f * kLevel * kLevel, 1), "PSE K", &text));
    // Without the runs' reading to beat, the values alone.
    ASSERT_TRUE(read_word(word_signal("ZR1ABC", 0.1f * kLevel * kLevel, 1), nullptr, &text));
    EXPECT_EQ(text, "ZR1ABC");
}

TEST(MorseSoftReader, AWordThatFadesOrFluttersIsNotReadAgain)
{
    std::string text;
    ASSERT_TRUE(read_word(word_signal("ZR1ABC", 0.1f * kLevel * kLevel, 1), "ZR1AB", &text));
    // The second half at a fifth of the first: one amplitude per character
    // would lose its marks.
    EXPECT_FALSE(read_word(word_signal("ZR1ABC", 0.1f * kLevel * kLevel, 1, 0.2f), "ZR1AB", &text));
    // The phase turned every 20 ms: no tone to sum along a dash.
    EXPECT_FALSE(read_word(word_signal("ZR1ABC", 0.1f * kLevel * kLevel, 1, 1.0f, true), "ZR1AB", &text));
    // A span the reader has not yet been given.
    WordSignal late = word_signal("ZR1ABC", 0.1f * kLevel * kLevel, 1);
    late.query.endMs += 10000.0;
    EXPECT_FALSE(read_word(late, "ZR1AB", &text));
}
