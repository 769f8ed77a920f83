// Morse timing: runs of the key in, characters out, with classes learned from the sender.
#include "morse_timing.h"
#include "morse_audio_generator.h"
#include "morse_code_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct TimingDeleter {
    void operator()(MORSE_TIMING* t) const { morse_timing_destroy(t); }
};
using Timing = std::unique_ptr<MORSE_TIMING, TimingDeleter>;

// Runs of a text in dots; jitter spreads every run, smear lengthens marks and shortens gaps.
struct Keying {
    double dah = 3.0, letterGap = 3.0, wordGap = 7.0, jitter = 0.0, smearMs = 0.0;
};

// A run as the slicer reports it, its peak over a noise floor of 0.01.
KEYING_RUN mark_or_gap(bool down, float ms, float peak)
{
    return KEYING_RUN{.keyDown = down ? 1 : 0, .durationMs = ms, .peak = peak, .level = 0.01f * peak};
}

std::vector<KEYING_RUN> runs_for(const std::string& text, double dotMs, const Keying& k, uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> spread(1.0 - k.jitter, 1.0 + k.jitter);
    std::vector<KEYING_RUN> runs;
    auto add = [&](bool down, double dots) {
        const double ms = dots * dotMs * spread(rng) + (down ? k.smearMs : -k.smearMs);
        runs.push_back(mark_or_gap(down, static_cast<float>(ms), down ? 20.0f : 0.0f));
    };
    add(false, 20.0);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        if (i > 0)
            add(false, text[i - 1] == ' ' ? k.wordGap : k.letterGap);
        const char* code = morse_audio_code(text[i]);
        for (const char* e = code; *e; ++e) {
            if (e != code)
                add(false, 1.0);
            add(true, *e == '-' ? k.dah : 1.0);
        }
    }
    return runs;
}

// Feeds the runs, then silence in 2 ms steps as the slicer would report it.
std::string decode(MORSE_TIMING* t, const std::vector<KEYING_RUN>& runs, float silenceMs = 3000.0f)
{
    std::vector<uint8_t> text;
    for (const KEYING_RUN& run : runs)
        morse_timing_push_run(t, run, kMorseCode, &text);
    for (float ms = 2.0f; ms <= silenceMs; ms += 2.0f)
        morse_timing_idle(t, ms, kMorseCode, &text);
    return std::string(text.begin(), text.end());
}

Timing make(float initialDotMs = 60.0f)
{
    return Timing(morse_timing_create(initialDotMs, 1200.0f / 50.0f, 1200.0f / 10.0f));
}

std::string read(const std::vector<KEYING_RUN>& runs)
{
    return decode(make().get(), runs);
}

// Index of the n-th mark (from 1).
size_t mark(const std::vector<KEYING_RUN>& runs, int n)
{
    size_t i = 0;
    for (int seen = 0; i < runs.size(); ++i)
        if (runs[i].keyDown && ++seen == n)
            break;
    return i;
}

TEST(MorseTiming, LearnsLongDashesAndFarnsworthGapsFromTheSender)
{
    EXPECT_EQ(read(runs_for("CQ CQ DE ZR1ABC ZR1ABC K", 66.0, Keying{.dah = 3.5, .jitter = 0.2})),
              "CQ CQ DE ZR1ABC ZR1ABC K ");
    // 18 WPM characters at 10 WPM overall: letter gaps of 9.4 dots.
    Timing farnsworth = make(1200.0f / 22.0f);
    const Keying stretched{.letterGap = 9.4, .wordGap = 21.9};
    EXPECT_EQ(decode(farnsworth.get(), runs_for("CQ CQ CQ DE ZR1ABC ZR1ABC K", 66.7, stretched)),
              "CQ CQ CQ DE ZR1ABC ZR1ABC K ");
    MORSE_TIMING_STATUS s;
    morse_timing_get_status(farnsworth.get(), &s);
    EXPECT_NEAR(s.letterGapUnits, 9.4f, 1.0f);
}

std::vector<KEYING_RUN> joined(std::vector<KEYING_RUN> a, const std::vector<KEYING_RUN>& b)
{
    return a.insert(a.end(), b.begin(), b.end()), a;
}

TEST(MorseTiming, FollowsASenderWhoSpeedsUpOrSlowsDown)
{
    // A speed-up is read again at the new speed, losing nothing; a slow-down loses a few characters.
    for (auto [first, second] : {std::pair{80.0, 34.0}, {34.0, 80.0}}) {
        const Keying smeared{.smearMs = second < first ? 11.0 : 0.0};
        Timing t = make();
        const std::string text =
            decode(t.get(), joined(runs_for("CQ CQ CQ DE ZR1ABC ZR1ABC", first, Keying{}),
                                   runs_for("ZR2XY DE ZR1ABC GM OM UR RST 579 579 BK", second, smeared)));
        const std::string tail =
            second < first ? "ZR1ABC ZR2XY DE ZR1ABC GM OM UR RST 579 579 BK " : "UR RST 579 579 BK ";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
    }
}

TEST(MorseTiming, WordsOfShortLettersAreNoSlowerSender)
{
    // As many letter gaps as gaps inside characters: the gaps alone look three times slower.
    const std::string sent = "CQ DE ZR1ABC ES TNX NAME TEA TEN MEN AT ME TNX ES TEA ";
    for (uint32_t seed = 1; seed <= 3; ++seed)
        EXPECT_EQ(read(runs_for(sent, 60.0, Keying{.jitter = 0.1}, seed)), sent);
}

TEST(MorseTiming, MergesBlipsAndDropoutsAway)
{
    std::vector<KEYING_RUN> runs = runs_for("CQ DE ZR1ABC K", 60.0, Keying{});
    // A 10 ms dropout in the first dash of C, a weak 12 ms blip in the word gap after Q.
    runs[1].durationMs = 85.0f;
    runs.insert(runs.begin() + 2, {mark_or_gap(false, 10.0f, 0.0f), mark_or_gap(true, 85.0f, 20.0f)});
    const size_t wordGap = mark(runs, 9) + 1;  // C's four marks, one more for the dropout, Q's four
    runs[wordGap].durationMs = 200.0f;
    runs.insert(runs.begin() + static_cast<long>(wordGap) + 1,
                {mark_or_gap(true, 12.0f, 3.0f), mark_or_gap(false, 208.0f, 0.0f)});
    EXPECT_EQ(read(runs), "CQ DE ZR1ABC K ");

    // A 27 ms gap (0.45 dot) in the dash of T: a dropout, or two elements with a shorter glitch.
    std::vector<KEYING_RUN> split = runs_for("TEST TEST", 60.0, Keying{});
    split[1].durationMs = 76.5f;
    split.insert(split.begin() + 2, {mark_or_gap(false, 27.0f, 0.0f), mark_or_gap(true, 76.5f, 20.0f)});
    EXPECT_EQ(read(split), "TEST TEST ");
    Timing parting = make();
    morse_timing_set_glitch(parting.get(), 0.35f);
    EXPECT_EQ(decode(parting.get(), split), "IEST TEST ");
}

TEST(MorseTiming, ADotLostAfterALetterGapBreaksNoWord)
{
    // The first dot of 1 in ZR1ABC lost: the letter gap before it grows to five units.
    std::vector<KEYING_RUN> runs = runs_for("CQ DE ZR1ABC ZR1ABC K", 60.0, Keying{});
    const size_t i = mark(runs, 20);  // C Q D E Z R: 4+4+3+1+4+3 marks, then 1
    runs[i - 1].durationMs += runs[i].durationMs + runs[i + 1].durationMs;
    runs.erase(runs.begin() + static_cast<long>(i), runs.begin() + static_cast<long>(i) + 2);
    EXPECT_EQ(read(runs), "CQ DE ZR?ABC ZR1ABC K ");
}

TEST(MorseTiming, AMarkSunkInAFadeCountsWhenItStandsClearOfTheNoise)
{
    // A dot in a fade but ten noise floors up counts; one two floors up in a word gap is noise.
    std::vector<KEYING_RUN> runs = runs_for("NAME NAME", 60.0, Keying{});
    runs[mark(runs, 3)] = mark_or_gap(true, 60.0f, 10.0f);
    const size_t wordGap = mark(runs, 7) + 1;  // N A M E: 2+2+2+1 marks
    runs[wordGap].durationMs = 180.0f;
    runs.insert(runs.begin() + static_cast<long>(wordGap) + 1,
                {mark_or_gap(true, 60.0f, 2.0f), mark_or_gap(false, 180.0f, 0.0f)});
    EXPECT_EQ(read(runs), "NAME NAME ");
}

TEST(MorseTiming, TheLastCharacterOfAnOverComesOutInTheSilenceAfterIt)
{
    // Three dots of silence end the K, a word gap adds the space, more silence nothing.
    EXPECT_EQ(decode(make().get(), runs_for("CQ DE ZR1ABC K", 60.0, Keying{}), 180.0f), "CQ DE ZR1ABC K");
    EXPECT_EQ(decode(make().get(), runs_for("CQ DE ZR1ABC K", 60.0, Keying{}), 10000.0f), "CQ DE ZR1ABC K ");
}

// A word reader that reads every held word back with Q turned into K.
struct FakeWordReader {
    std::vector<std::string> words;  // as they were offered
    bool refuse = false;
    static bool read(void* context, const MORSE_TIMING_WORD& word, std::string* text)
    {
        static_cast<FakeWordReader*>(context)->words.emplace_back(word.text);
        *text = word.text;
        std::replace(text->begin(), text->end(), 'Q', 'K');
        return !static_cast<FakeWordReader*>(context)->refuse && word.endMs > word.startMs;
    }
};

TEST(MorseTiming, WeakWordsAreHeldAndReadAgainWhole)
{
    const std::vector<KEYING_RUN> runs = runs_for("CQ DE ZR1ABC PSE K", 60.0, Keying{});
    const auto read_with = [&](FakeWordReader* reader, float holdPeak) {
        Timing t = make();
        morse_timing_set_word_reader(t.get(), &FakeWordReader::read, reader, holdPeak);
        return decode(t.get(), runs);
    };
    // Marks 20 noise floors up are weak against a hold at 30: every word goes to the reader.
    FakeWordReader reader;
    EXPECT_EQ(read_with(&reader, 30.0f), "CK DE ZR1ABC PSE K ");
    EXPECT_EQ(reader.words, (std::vector<std::string>{"CQ", "DE", "ZR1ABC", "PSE", "K"}));
    // A reader that declines leaves the runs' reading, nothing lost.
    FakeWordReader declining{.words = {}, .refuse = true};
    EXPECT_EQ(read_with(&declining, 30.0f), "CQ DE ZR1ABC PSE K ");
    // Strong marks are printed as they are read.
    FakeWordReader unused;
    EXPECT_EQ(read_with(&unused, 10.0f), "CQ DE ZR1ABC PSE K ");
    EXPECT_TRUE(unused.words.empty());
}

TEST(MorseTiming, SpeedAndRangeStayWithinTheLimits)
{
    Timing t(morse_timing_create(10.0f, 1200.0f / 30.0f, 1200.0f / 15.0f));
    MORSE_TIMING_STATUS s;
    morse_timing_get_status(t.get(), &s);
    EXPECT_GE(s.dotMs, 0.7f * 40.0f);  // the start is pulled into the range
    EXPECT_GE(s.cost, 1.0f);           // nothing read yet: no fit
    morse_timing_push_run(nullptr, mark_or_gap(true, 60.0f, 10.0f), kMorseCode, nullptr);
    morse_timing_idle(nullptr, 100.0f, kMorseCode, nullptr);
    morse_timing_get_status(nullptr, &s);
    EXPECT_EQ(s.dotMs, 0.0f);
}

TEST(MorseTimingCharacter, ExactCodesAndUniqueNearMisses)
{
    // "000000" is one edit from 5 only, "0101" from eight letters.
    for (const auto& [code, c] :
         {std::pair{"01", 'A'}, {"010101", '.'}, {"000000", '5'}, {"111111", '0'}, {"0101", '?'}, {"00000000", '?'}})
        EXPECT_EQ(morse_timing_character(kMorseCode, code), c) << code;
    EXPECT_EQ(morse_timing_character(MorseCodeTable{}, "01"), '?');
}

}  // namespace
