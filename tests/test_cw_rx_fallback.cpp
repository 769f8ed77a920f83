// The receiver's own decoder: keying, classification, presence, text
// assembly from its level history, and end to end decoding of clean CW.
#include "CWRx.h"
#include "cw_rx_fallback.h"
#include "cw_rx_state.h"
#include "cw_rx_text_assembly.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct RxDeleter {
    void operator()(CW_RX* rx) const { cw_rx_destroy(rx); }
};
using Rx = std::unique_ptr<CW_RX, RxDeleter>;

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

Rx fallback(const CW_RX_CONFIG& c)
{
    return Rx(cw_rx_create_fallback(&c));
}

std::vector<float> tone(double seconds)
{
    std::vector<float> v(static_cast<size_t>(8000 * seconds));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 600.0 * i / 8000));
    return v;
}

// Feeds 2 ms blocks until the key is in the given state; returns the blocks
// fed, or -1 when the audio ran out first.
int blocks_until_key(CW_RX* rx, const std::vector<float>& audio, int32_t keyDown)
{
    CW_RX_STATUS s;
    cw_rx_get_status(rx, &s);
    int blocks = 0;
    for (size_t at = 0; at + 16 <= audio.size() && s.keyDown != keyDown; at += 16, ++blocks) {
        cw_rx_process(rx, audio.data() + at, 16, nullptr, 0);
        cw_rx_get_status(rx, &s);
    }
    return s.keyDown == keyDown ? blocks : -1;
}

}  // namespace

TEST(CwRxFlushSymbol, MatchesRaiseConfidenceMissesLowerItAndTheGradeFollows)
{
    Rx rx = fallback(cw_rx_default_config());
    ASSERT_EQ(cw_rx_has_backend(rx.get()), 0);
    EXPECT_EQ(cw_rx_flush_symbol(rx.get()), 0);  // nothing pending
    const double dot = cw_rx_dot_in_use(rx.get(), rx->dotMs);
    const struct {
        const char* pattern;
        std::vector<double> marks;  // dot units
        double confidence;          // before
        int32_t dotCount;
        bool rises;
        int32_t grade;
    } steps[] = {
        {".", {1}, 0.0, 0, true, 0},
        {"-.-.", {3, 1, 3, 1}, 0.5, 10, true, 1},
        {"....", {1, 1, 1, 1}, 0.6, 10, true, 2},
        {"....", {1, 1, 1, 1}, 0.7, 5, true, 1},  // confident, but too few dots measured
        {"-.-..-..", {3, 1, 3, 1, 1, 3, 1, 1}, 0.5, 10, false, 1},  // no code has eight elements
        {"......", {7, 7, 7, 7, 7, 7}, 0.3, 10, false, 0},
    };
    for (const auto& s : steps) {
        std::strcpy(rx->pattern, s.pattern);
        rx->elementCount = static_cast<int32_t>(s.marks.size());
        for (size_t i = 0; i < s.marks.size(); ++i)
            rx->durations[i] = s.marks[i] * dot;
        rx->confidence = s.confidence;
        rx->dotCount = s.dotCount;
        EXPECT_EQ(cw_rx_flush_symbol(rx.get()), s.grade) << s.pattern;
        EXPECT_EQ(rx->confidence > s.confidence, s.rises) << s.pattern;
        EXPECT_EQ(rx->elementCount, 0);
        EXPECT_STREQ(rx->pattern, "");
    }
}

TEST(CwRxLiveLayer, KeysAfterEightMillisecondsAndReleasesAfterEighteen)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    const std::vector<float> quiet(800, 0.0f);
    cw_rx_process(rx.get(), quiet.data(), 32, nullptr, 0);  // noise floor
    EXPECT_GE(blocks_until_key(rx.get(), tone(0.2), 1), 4);
    EXPECT_GE(blocks_until_key(rx.get(), quiet, 0), 9);  // after the level falls

    Rx once = fallback(c);  // one 10 ms block counts as 10 ms above the threshold
    cw_rx_process(once.get(), tone(0.01).data(), 80, nullptr, 0);
    CW_RX_STATUS s;
    cw_rx_get_status(once.get(), &s);
    EXPECT_EQ(s.keyDown, 1);
    EXPECT_EQ(s.signalPresent, 1);
}

TEST(CwRxLiveLayer, SixSecondsWithoutToneClearTheHistory)
{
    rx_run::Signal sig;
    sig.tailSeconds = 0.0;
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    rx_run::decode(rx.get(), c, rx_run::generate(sig, "TEST"), 32);
    ASSERT_GT(rx->levelHistoryCount, 0);
    double absentAfter = -1.0;
    rx_run::decode(rx.get(), c, std::vector<float>(8000 * 7, 0.0f), 80, 128, [&](const CW_RX_STATUS& s, size_t end) {
        if (s.signalPresent == 0 && absentAfter < 0.0)
            absentAfter = end / 8000.0;
    });
    EXPECT_GE(absentAfter, 6.0);  // counted from where the smoothed level drops
    EXPECT_LE(absentAfter, 6.3);
    EXPECT_EQ(rx->levelHistoryCount, 0);
    EXPECT_STREQ(rx->lastText, "");
}

TEST(CwRxOverlap, SuffixOfTheFirstAgainstPrefixOfTheSecond)
{
    const struct {
        const char* a;
        const char* b;
        size_t overlap;
    } cases[] = {
        {"CQ DE", "DEF", 2}, {"ABC", "XYZ", 0},  {"", "ABC", 0},         {"ABC", "", 0},
        {nullptr, "ABC", 0}, {"AAAA", "AAB", 2}, {"ABAB", "ABABAB", 4},  // never longer than either
    };
    for (const auto& k : cases)
        EXPECT_EQ(cw_rx_overlap_suffix_prefix(k.a, k.b), k.overlap) << (k.a ? k.a : "null") << " / " << k.b;
    std::string tail;  // the history holds far more than 64 characters of text
    for (int i = 0; i < 20; ++i)
        tail += "CQ DE ";
    EXPECT_EQ(cw_rx_overlap_suffix_prefix(("ZR1ABC " + tail).c_str(), (tail + "K").c_str()), tail.size());
}

// Each step runs on the text the steps before left, unless it sets one.
TEST(CwRxEmission, OnlyWhatIsNewComesOutAndACutRebuildGoesOnNextTime)
{
    Rx rx = fallback(cw_rx_default_config());
    const struct {
        const char* last;  // null: as left
        const char* rebuild;
        bool strong;
        int32_t repeats;
        size_t capacity;
        const char* out;
    } steps[] = {
        {"", "CQ DE", false, 0, 100, "CQ DE"},
        {"CQ DE", "CQ DE ZR1", false, 0, 100, " ZR1"},
        {nullptr, "CQ DE ZR1", false, 0, 100, ""},
        {"CQ CQ DE ZR1", "DE ZR1ABC", false, 0, 100, "ABC"},
        {"CQ", "TEST", true, 0, 100, " TEST"},  // no overlap: a space first
        {"CQ", "TEST", false, 1, 100, ""},         // a weak one is not emitted ...
        {nullptr, "TEST X", true, 0, 100, " X"},   // ... but counts as the text to go on from
        {"CQ", "TEST", false, 3, 100, " TEST"},    // ... unless it has repeated
        {"CQ", "CQ DE ZR1ABC", false, 0, 5, " DE "},
        {nullptr, "CQ DE ZR1ABC", false, 0, 5, "ZR1A"},
        {nullptr, "CQ DE ZR1ABC", false, 0, 100, "BC"},
        {"CQ", "TEST", true, 0, 2, " "},
        {nullptr, "TEST", true, 0, 100, "TEST"},
        // A slid history cuts into its oldest character, which then reads
        // differently: C became F, then went.
        {"CQ CQ DE ZR1ABC ZR", "FQ CQ DE ZR1ABC ZR1", false, 0, 100, "1"},
        {nullptr, "Q CQ DE ZR1ABC ZR1A", false, 0, 100, "A"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        if (s.last != nullptr)
            std::strcpy(rx->lastText, s.last);
        rx->candidateRepeats = s.repeats;
        std::string out(s.capacity, 'x');
        const size_t n = cw_rx_emit_rebuild(rx.get(), s.rebuild, s.strong, out.data(), s.capacity);
        EXPECT_EQ(std::strlen(out.c_str()), n) << "step " << i;
        EXPECT_EQ(out.substr(0, n), s.out) << "step " << i;
    }
}

// Levels are smoothed per block, so the fallback needs blocks well below a
// dot: 4 ms here. 4096 of them hold 16 s, so the text slides through the
// history, and what has slid out must not come back.
TEST(CwRxFallbackDecoding, CleanCwWithoutRepeats)
{
    for (auto [wpm, bandwidth] : {std::pair{15.0, 100.0}, {25.0, 100.0}, {15.0, 30.0}}) {
        rx_run::Signal s;
        s.wpm = wpm;
        CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
        c.bandwidthHz = bandwidth;
        const std::string text = rx_run::decode(fallback(c).get(), c, rx_run::generate(s, kText), 32);
        EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.03) << text;
        EXPECT_EQ(text.find("CQ", text.find("DE")), std::string::npos) << text;
    }
}
