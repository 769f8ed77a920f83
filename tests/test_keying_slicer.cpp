// Keying slicer: envelope values in, key-down and key-up runs out.
#include "keying_slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

namespace {

struct SlicerDeleter {
    void operator()(KEYING_SLICER* s) const { keying_slicer_destroy(s); }
};
using Slicer = std::unique_ptr<KEYING_SLICER, SlicerDeleter>;

constexpr float kStepMs = 2.0f;

// A Rayleigh noise envelope of mean `noise` plus marks of the given levels:
// each mark is `markMs` long and followed by `gapMs` of noise.
std::vector<float> envelope(const std::vector<float>& levels, float markMs, float gapMs, float noise,
                            uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, noise / std::sqrt(3.14159265f / 2.0f));
    std::vector<float> out;
    auto add = [&](float level, float ms) {
        for (int i = 0; i < static_cast<int>(ms / kStepMs); ++i)
            out.push_back(std::hypot(level + g(rng), g(rng)));
    };
    add(0.0f, 1000.0f);
    for (float level : levels) {
        add(level, markMs);
        add(0.0f, gapMs);
    }
    add(0.0f, 2000.0f);
    return out;
}

Slicer make(float dotMs = 60.0f, float threshold = 0.0f)
{
    Slicer s(keying_slicer_create(kStepMs));
    keying_slicer_set_dot(s.get(), dotMs);
    if (threshold > 0.0f)
        keying_slicer_set_threshold(s.get(), threshold);
    return s;
}

std::vector<KEYING_RUN> slice(KEYING_SLICER* s, const std::vector<float>& values)
{
    std::vector<KEYING_RUN> runs;
    for (float v : values) {
        KEYING_RUN ended[2];
        const int32_t n = keying_slicer_push(s, v, ended);
        runs.insert(runs.end(), ended, ended + n);
    }
    return runs;
}

std::vector<float> marks_of(const std::vector<KEYING_RUN>& runs)
{
    std::vector<float> marks;
    for (const KEYING_RUN& r : runs)
        if (r.keyDown)
            marks.push_back(r.durationMs);
    return marks;
}

TEST(KeyingSlicer, MarksKeepTheirLengthAndNoiseStaysKeyUp)
{
    Slicer s = make();
    const std::vector<float> marks = marks_of(slice(s.get(), envelope(std::vector<float>(20, 1.0f), 60.0f, 60.0f, 0.05f)));
    ASSERT_EQ(marks.size(), 20u);
    for (float m : marks)
        EXPECT_NEAR(m, 60.0f, 8.0f);
    KEYING_SLICER_STATUS st;
    keying_slicer_get_status(s.get(), &st);
    EXPECT_NEAR(st.noise, 0.05f, 0.01f);  // learned from the gaps alone
    EXPECT_EQ(st.present, 0);             // two seconds of noise after the marks

    Slicer quiet = make();
    EXPECT_TRUE(marks_of(slice(quiet.get(), envelope({}, 0.0f, 0.0f, 0.05f, 2))).empty());
}

// Marks 2 ms or longer from a fresh slicer at 60 ms dots (noise after the
// over may leave 2 ms blips; the timing drops them).
std::vector<float> marks_for(const std::vector<float>& values, float threshold = 0.0f, float shortest = 2.0f)
{
    std::vector<float> marks = marks_of(slice(make(60.0f, threshold).get(), values));
    std::erase_if(marks, [&](float m) { return m < shortest; });
    return marks;
}

TEST(KeyingSlicer, TheThresholdFollowsFadesAndKeysADeepOneAtItsOwnLength)
{
    // Marks fall by 20 dB over eight dots, as in a fade, then rise again.
    std::vector<float> levels;
    for (int i = -8; i <= 8; ++i)
        levels.push_back(std::pow(10.0f, -static_cast<float>(8 - std::abs(i)) / 8.0f));
    EXPECT_EQ(marks_for(envelope(levels, 60.0f, 60.0f, 0.01f)).size(), levels.size());
    // Two-path fading puts one mark 22 dB under its neighbours, yet 16
    // noise floors above the noise.
    const std::vector<float> marks = marks_for(envelope({1.0f, 1.0f, 0.08f, 1.0f, 1.0f}, 60.0f, 60.0f, 0.005f));
    ASSERT_GE(marks.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(marks[i], 60.0f, 10.0f) << i;
}

TEST(KeyingSlicer, ALowerThresholdKeepsTheKeyDownThroughADip)
{
    // A dash whose middle 20 ms sink to a part of its level.
    auto dash_with_dip = [](float level, float noise, float dip) {
        std::vector<float> values = envelope({level}, 180.0f, 60.0f, noise);
        std::fill(values.begin() + 540, values.begin() + 550, dip * level);
        return values;
    };
    // Ten noise floors up, the dip parts the dash unless the threshold is
    // set lower; far above the noise, a dip to a quarter leaves it whole.
    EXPECT_EQ(marks_for(dash_with_dip(0.5f, 0.05f, 0.3f), 0.0f, 20.0f).size(), 2u);
    for (const auto& marks : {marks_for(dash_with_dip(0.5f, 0.05f, 0.3f), 0.15f, 20.0f),
                              marks_for(dash_with_dip(1.0f, 0.005f, 0.25f), 0.0f, 20.0f)}) {
        ASSERT_EQ(marks.size(), 1u);
        EXPECT_NEAR(marks[0], 180.0f, 12.0f);
    }
}

TEST(KeyingSlicer, AWeakSenderIsKeyedAndTheFloorIsTheNoiseBetweenHisMarks)
{
    // Marks three times the mean noise, half the time key-down: too weak
    // to start an over by their peaks alone.
    const float noise = 0.05f;
    const std::vector<float> values = envelope(std::vector<float>(60, 3.0f * noise), 60.0f, 60.0f, noise, 3);
    Slicer s = make();
    const size_t middle = 500 + 60 * 30;  // 1 s of noise, then thirty marks and gaps
    const std::vector<float> first(values.begin(), values.begin() + static_cast<long>(middle));
    const std::vector<float> marks = marks_of(slice(s.get(), first));
    KEYING_SLICER_STATUS st;
    keying_slicer_get_status(s.get(), &st);
    EXPECT_EQ(st.present, 1);
    EXPECT_NEAR(st.noise, noise, 0.15f * noise);  // a share of all values would count the marks
    // Unaveraged values break the marks up (the timing mends that); the
    // key-down time is the marks' own.
    float keyDownMs = 0.0f;
    for (float m : marks)
        keyDownMs += m;
    EXPECT_NEAR(keyDownMs, 30.0f * 60.0f, 0.25f * 30.0f * 60.0f);
}

TEST(KeyingSlicer, EveryValueIsJudgedOnceWhileTheReachChanges)
{
    Slicer s = make(30.0f);
    const std::vector<float> values = envelope(std::vector<float>(30, 1.0f), 90.0f, 90.0f, 0.02f);
    float total = 0.0f;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i == values.size() / 3)
            keying_slicer_set_dot(s.get(), 120.0f);  // the reach grows: the decision point waits
        if (i == 2 * values.size() / 3)
            keying_slicer_set_dot(s.get(), 40.0f);  // it shrinks: two values at a time
        KEYING_RUN ended[2];
        const int32_t n = keying_slicer_push(s.get(), values[i], ended);
        for (int32_t k = 0; k < n; ++k)
            total += ended[k].durationMs;
    }
    KEYING_SLICER_STATUS st;
    keying_slicer_get_status(s.get(), &st);
    EXPECT_NEAR(total + st.runMs + st.delayMs, static_cast<float>(values.size()) * kStepMs, kStepMs);
}

TEST(KeyingSlicer, NullAndBadValuesAreHarmless)
{
    KEYING_RUN runs[2];
    EXPECT_EQ(keying_slicer_push(nullptr, 1.0f, runs), 0);
    keying_slicer_set_dot(nullptr, 60.0f);
    keying_slicer_reset(nullptr);
    KEYING_SLICER_STATUS st;
    keying_slicer_get_status(nullptr, &st);
    EXPECT_EQ(st.noise, 0.0f);
    Slicer s(keying_slicer_create(kStepMs));
    for (int i = 0; i < 2000; ++i)
        keying_slicer_push(s.get(), i % 2 ? NAN : INFINITY, runs);
    keying_slicer_get_status(s.get(), &st);
    EXPECT_TRUE(std::isfinite(st.noise));
    EXPECT_EQ(st.keyDown, 0);
}

}  // namespace
