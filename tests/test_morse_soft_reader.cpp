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
            morse_soft_reader_push(r.get(), values.data(), static_cast<int>(values.size()));
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
    morse_soft_reader_push(r.get(), values.data(), static_cast<int>(values.size()));
    std::string read;
    MORSE_SOFT_QUERY q = query_for("1010", 200, 0.0f);
    EXPECT_TRUE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    EXPECT_EQ(read, "1010");
    MORSE_SOFT_QUERY late = q;
    late.endMs = 2.0 * static_cast<double>(values.size()) + 100.0;  // not yet received
    EXPECT_FALSE(morse_soft_reader_read(r.get(), late, kMorseCode, &read));
    // Eight seconds on, the character has left the history.
    const std::vector<float> more(4096, kNoise);
    morse_soft_reader_push(r.get(), more.data(), static_cast<int>(more.size()));
    EXPECT_FALSE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    MORSE_SOFT_QUERY flat = q;
    flat.level = kNoise;
    EXPECT_FALSE(morse_soft_reader_read(r.get(), flat, kMorseCode, &read));
    morse_soft_reader_reset(r.get());  // the clock starts again
    morse_soft_reader_push(r.get(), values.data(), static_cast<int>(values.size()));
    EXPECT_TRUE(morse_soft_reader_read(r.get(), q, kMorseCode, &read));
    EXPECT_FALSE(morse_soft_reader_read(nullptr, q, kMorseCode, &read));
}

}  // namespace
