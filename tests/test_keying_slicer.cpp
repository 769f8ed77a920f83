// Keying slicer: envelope values in, key-down and key-up runs out.
#include "keying_slicer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

struct SlicerDeleter {
    void operator()(KEYING_SLICER* s) const { keying_slicer_destroy(s); }
};
using Slicer = std::unique_ptr<KEYING_SLICER, SlicerDeleter>;

constexpr float kStepMs = 2.0f;

// Rayleigh noise of mean `noise`, each mark `markMs` long and followed by `gapMs` of noise.
std::vector<float> envelope(const std::vector<float>& levels, float markMs, float gapMs, float noise, uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, noise / std::sqrt(3.14159265f / 2.0f));
    std::vector<float> out;
    auto add = [&](float level, float ms) {
        for (int i = 0; i < int(ms / kStepMs); ++i)
            out.push_back(std::hypot(level + g(rng), g(rng)));
    };
    add(0.0f, 1000.0f);
    for (float level : levels)
        add(level, markMs), add(0.0f, gapMs);
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

KEYING_SLICER_STATUS status_of(const Slicer& s)
{
    KEYING_SLICER_STATUS st;
    keying_slicer_get_status(s.get(), &st);
    return st;
}

// Mark lengths, those under `shortest` left out (the timing drops blips after an over).
std::vector<float> marks(KEYING_SLICER* s, const std::vector<float>& values, float shortest = 0.0f)
{
    std::vector<float> marks;
    for (float v : values) {
        KEYING_RUN ended[2];
        const int32_t n = keying_slicer_push(s, v, ended);
        for (int32_t k = 0; k < n; ++k)
            if (ended[k].keyDown && ended[k].durationMs >= shortest)
                marks.push_back(ended[k].durationMs);
    }
    return marks;
}

std::vector<float> marks_for(const std::vector<float>& values, float threshold = 0.0f, float shortest = 2.0f)
{
    return marks(make(60.0f, threshold).get(), values, shortest);
}

TEST(KeyingSlicer, MarksKeepTheirLengthAndNoiseStaysKeyUp)
{
    Slicer s = make();
    const std::vector<float> found = marks(s.get(), envelope(std::vector<float>(20, 1.0f), 60.0f, 60.0f, 0.05f));
    ASSERT_EQ(found.size(), 20u);
    for (float m : found)
        EXPECT_NEAR(m, 60.0f, 8.0f);
    EXPECT_NEAR(status_of(s).noise, 0.05f, 0.01f);  // learned from the gaps alone
    EXPECT_EQ(status_of(s).present, 0);             // two seconds of noise after the marks
    EXPECT_TRUE(marks(make().get(), envelope({}, 0.0f, 0.0f, 0.05f, 2)).empty());
}

TEST(KeyingSlicer, TheThresholdFollowsFadesAndKeysADeepOneAtItsOwnLength)
{
    // Marks fall by 20 dB over eight dots, as in a fade, then rise again.
    std::vector<float> levels;
    for (int i = -8; i <= 8; ++i)
        levels.push_back(std::pow(10.0f, -float(8 - std::abs(i)) / 8.0f));
    EXPECT_EQ(marks_for(envelope(levels, 60.0f, 60.0f, 0.01f)).size(), levels.size());
    // Two-path fading: one mark 22 dB under its neighbours, yet 16 noise floors up.
    const std::vector<float> found = marks_for(envelope({1.0f, 1.0f, 0.08f, 1.0f, 1.0f}, 60.0f, 60.0f, 0.005f));
    ASSERT_GE(found.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(found[i], 60.0f, 10.0f) << i;
}

TEST(KeyingSlicer, ALowerThresholdKeepsTheKeyDownThroughADip)
{
    // A dash whose middle 20 ms sink to a part of its level.
    auto dash_with_dip = [](float level, float noise, float dip) {
        std::vector<float> values = envelope({level}, 180.0f, 60.0f, noise);
        std::fill(values.begin() + 540, values.begin() + 550, dip * level);
        return values;
    };
    // Ten floors up a dip parts the dash unless the threshold is lower; far above the noise it does not.
    EXPECT_EQ(marks_for(dash_with_dip(0.5f, 0.05f, 0.3f), 0.0f, 20.0f).size(), 2u);
    for (const auto& found : {marks_for(dash_with_dip(0.5f, 0.05f, 0.3f), 0.15f, 20.0f),
                              marks_for(dash_with_dip(1.0f, 0.005f, 0.25f), 0.0f, 20.0f)}) {
        ASSERT_EQ(found.size(), 1u);
        EXPECT_NEAR(found[0], 180.0f, 12.0f);
    }
}

// Between a skimmer channel's marks, a loud neighbour's key clicks arrive
// as short blips far under them. The slicer judges such a blip against
// itself, as it does a mark sunk in a fade, and keys it; under a mark floor
// it stays key-up while the marks keep their length.
TEST(KeyingSlicer, AMarkFloorLeavesBlipsFarUnderTheMarksKeyUp)
{
    std::vector<float> values = envelope(std::vector<float>(10, 1.0f), 60.0f, 60.0f, 0.005f, 3);
    // The pause after the marks begins at 1000 + 10 x 120 ms: a 16 ms blip at
    // a fifth of the marks every 100 ms for the next second.
    const size_t pause = (1000 + 1200) / 2;
    for (size_t at = pause + 25; at < pause + 525; at += 50)
        std::fill(values.begin() + at, values.begin() + at + 8, 0.2f);
    EXPECT_GE(marks(make().get(), values).size(), 15u);
    Slicer floored = make();
    keying_slicer_set_mark_floor(floored.get(), 0.4f);
    const std::vector<float> found = marks(floored.get(), values);
    ASSERT_EQ(found.size(), 10u);
    for (float m : found)
        EXPECT_NEAR(m, 60.0f, 8.0f);
    keying_slicer_set_mark_floor(nullptr, 0.4f);
    keying_slicer_set_mark_floor(floored.get(), NAN);  // off, not poisoned
}

TEST(KeyingSlicer, NullAndBadValuesAreHarmless)
{
    KEYING_RUN runs[2];
    EXPECT_EQ(keying_slicer_push(nullptr, 1.0f, runs), 0);
    keying_slicer_set_dot(nullptr, 60.0f);
    keying_slicer_reset(nullptr);
    EXPECT_EQ(status_of(Slicer()).noise, 0.0f);
    Slicer s(keying_slicer_create(kStepMs));
    for (int i = 0; i < 2000; ++i)
        keying_slicer_push(s.get(), i % 2 ? NAN : INFINITY, runs);
    EXPECT_TRUE(std::isfinite(status_of(s).noise));
    EXPECT_EQ(status_of(s).keyDown, 0);
}

}  // namespace
