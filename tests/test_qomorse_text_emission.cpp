// Turning the best run list into characters at the reading point.
#include "qomorse_impl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kSlots = 12000 / 128;    // frames in the window
constexpr int kEarly = kSlots / 3;     // reading slot about 2 s back
constexpr int kLate = 5 * kSlots / 6;  // reading slot about 0.5 s back
constexpr int kSlotValues = 128 / 8;   // envelope values per slot

Interval down(int kind) { return Interval{1, 0, 0, 0.0f, kind}; }
Interval up(int kind) { return Interval{0, 0, 0, 0.0f, kind}; }

class QoMorseEmission : public testing::Test {
protected:
    QoMorse::Impl impl{QoMorse::getDefaultParameters()};

    std::string feed(const std::vector<Interval>& runs, float cost = 0.5f)
    {
        impl.bestCost = cost;
        for (const Interval& run : runs)
            impl.actOnRun(run);
        return std::string(impl.rxData.begin(), impl.rxData.end());
    }

    // The text of one symbol keyed with inner gaps and a character gap.
    std::string textOf(const std::string& symbol)
    {
        std::vector<Interval> runs;
        for (size_t i = 0; i < symbol.size(); ++i) {
            runs.push_back(down(symbol[i] == '1' ? 1 : 0));
            runs.push_back(up(i + 1 < symbol.size() ? 1 : 2));
        }
        impl.rxData.clear();
        impl.symbol.clear();
        impl.lastInterval = Interval{};
        return feed(runs);
    }

    // Lays out runs over a full-size envelope: each pair is (keyDown, kind)
    // with its length in envelope values.
    void layOut(const std::vector<std::pair<Interval, int>>& runs)
    {
        impl.envelope.assign(1484, 0.0f);
        impl.decimation = 8;
        impl.bestRuns.clear();
        int start = 0;
        for (const auto& [run, length] : runs) {
            Interval r = run;
            r.start = start;
            r.end = start + length;
            impl.bestRuns.push_back(r);
            start = r.end;
        }
        impl.bestRuns.back().end = 1484;
        impl.bestCost = 0.5f;
    }
};

TEST_F(QoMorseEmission, DotGapDashAndCharacterGapMakeA)
{
    EXPECT_EQ(feed({down(0), up(1), down(1), up(2)}), "A");
    EXPECT_TRUE(impl.symbol.empty());
}

TEST_F(QoMorseEmission, WordGapsAndLongSilencesAddASpace)
{
    EXPECT_EQ(feed({down(0), up(1), down(0), up(1), down(0), up(1), down(0), up(3)}), "H ");
    EXPECT_EQ(feed({down(1), up(0)}), "H T ");
}

TEST_F(QoMorseEmission, NearMissesNeedAUniqueLetterOrDigit)
{
    EXPECT_EQ(textOf("0101"), "?");  // eight letters lie one edit away
    EXPECT_EQ(textOf("000000"), "5");
    EXPECT_EQ(textOf("111111"), "0");
    EXPECT_EQ(textOf("00000000"), "?");  // too long to search
    EXPECT_EQ(textOf("0001001"), "$");   // exact punctuation
}

TEST_F(QoMorseEmission, PoorFitRecordsTransitionsButEmitsNothing)
{
    EXPECT_EQ(feed({down(0), up(1), down(1), up(2)}, 1.2f), "");
    EXPECT_TRUE(impl.symbol.empty());
    EXPECT_EQ(impl.lastInterval.keyDown, 0);
    EXPECT_EQ(impl.lastInterval.kind, 2);
}

TEST_F(QoMorseEmission, RepeatedStatesAreActedOnOnce)
{
    // Only changes between key-down and key-up count: the second key-down
    // and the second key-up in a row are ignored.
    EXPECT_EQ(feed({down(0), down(1), up(1), up(2), down(1)}), "");
    EXPECT_EQ(impl.symbol, "01");
}

TEST_F(QoMorseEmission, AnEmptyTableGivesAQuestionMark)
{
    impl.morseCode.clear();
    EXPECT_EQ(feed({down(0), up(2)}), "?");
}

TEST_F(QoMorseEmission, NoisyElementsDoNotGrowTheSymbolWithoutBound)
{
    std::vector<Interval> runs;
    for (int i = 0; i < 1000; ++i) {
        runs.push_back(down(0));
        runs.push_back(up(1));
    }
    runs.push_back(up(2));
    runs.push_back(down(0));
    feed(runs);
    EXPECT_LE(impl.symbol.size(), QoMorse::Impl::kSymbolCapacity);
}

TEST_F(QoMorseEmission, CatchUpReadsFromTheEarlyToTheLateSlot)
{
    // A dot well after the early slot and before the late one.
    const int dotAt = (kEarly + 20) * kSlotValues;
    layOut({{up(0), dotAt}, {down(0), 30}, {up(0), 0}});
    impl.bestSpeedIndex = 15;
    impl.emitText(0, 1);  // early slot only: the dot has not reached it
    EXPECT_TRUE(impl.rxData.empty());
    impl.emitText(kSlots - 1, kSlots);
    EXPECT_EQ(std::string(impl.rxData.begin(), impl.rxData.end()), "E ");
}

TEST_F(QoMorseEmission, SlowSpeedsAlwaysReadTheEarlySlot)
{
    const int dotAt = (kEarly + 20) * kSlotValues;
    layOut({{up(0), dotAt}, {down(0), 30}, {up(0), 0}});
    impl.bestSpeedIndex = 9;
    impl.emitText(kSlots, kSlots + 1);
    EXPECT_TRUE(impl.rxData.empty());
}

TEST_F(QoMorseEmission, FallingBackToTheEarlySlotNeverEmitsTwice)
{
    // Read at the late slot until a dot has passed it.
    const int dotAt = kLate * kSlotValues + 2;
    layOut({{up(0), dotAt}, {down(0), 10}, {up(0), 0}});
    impl.bestSpeedIndex = 15;
    impl.emitText(kSlots, kSlots + 1);
    ASSERT_EQ(std::string(impl.rxData.begin(), impl.rxData.end()), "E ");

    // The speed changes: the window has moved on by one slot and the same
    // dot now lies between the early and the late slot. Reading falls back
    // to the early slot for every frame until the dot would pass it again.
    for (int frame = 1; frame <= kLate - kEarly + 2; ++frame) {
        impl.framesDecoded = frame;
        layOut({{up(0), dotAt - frame * kSlotValues}, {down(0), 10}, {up(0), 0}});
        impl.emitText(0, 1);
    }
    EXPECT_EQ(std::string(impl.rxData.begin(), impl.rxData.end()), "E ");
}

}  // namespace
