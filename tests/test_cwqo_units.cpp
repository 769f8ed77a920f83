// Small parts of the decoder backend: its sample ring, text queue, envelope
// history, the figures read from that history and the lock grading.
#include "cwqo_envelope_statistics.h"
#include "cwqo_lock.h"
#include "cw_text_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string take(CW_TEXT_QUEUE* q, size_t capacity)
{
    std::string buffer(capacity, 'x');
    const size_t n = cw_text_queue_deliver(q, buffer.data(), capacity);
    EXPECT_EQ(buffer.c_str(), buffer.substr(0, n)) << "terminator after the count";
    return buffer.substr(0, n);
}

// A keyed envelope at 4000 Hz: '.' dot, '-' dash, ' ' element gap, '|'
// letter gap, each unit dotMs long.
void key(CWQO_ENVELOPE_HISTORY* h, const std::string& pattern, double dotMs, float on, float off)
{
    const int unit = static_cast<int>(dotMs * 4.0);
    for (char c : pattern)
        for (int i = 0; i < (c == '-' || c == '|' ? 3 : 1) * unit; ++i)
            cwqo_history_append(h, c == '.' || c == '-' ? on : off);
    cwqo_history_commit(h);
}

CWQO_LOCK_INPUT fit(float cost, bool active = true, size_t textCount = 0)
{
    return CWQO_LOCK_INPUT{active, cost, 20.0f, textCount, 1800.0, 100.0};
}

}  // namespace

TEST(CwqoSampleRing, DropsTheOldestWhenFullAndPopsWholeRequestsAcrossTheWrap)
{
    CWQO_SAMPLE_RING ring;
    cwqo_ring_init(&ring, 4);
    float dropped = -1.0f, out[5] = {};
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f})
        EXPECT_FALSE(cwqo_ring_push(&ring, v, &dropped));
    EXPECT_TRUE(cwqo_ring_push(&ring, 5.0f, &dropped) && cwqo_ring_push(&ring, 6.0f, nullptr));
    EXPECT_EQ(dropped, 1.0f);
    EXPECT_FALSE(cwqo_ring_pop_front(&ring, out, 5));  // more than held: nothing moves
    ASSERT_TRUE(cwqo_ring_pop_front(&ring, out, 3));
    EXPECT_EQ(std::vector<float>(out, out + 3), (std::vector<float>{3.0f, 4.0f, 5.0f}));
    EXPECT_EQ(std::tuple(ring.count, cwqo_ring_at(ring, 0)), std::tuple(1u, 6.0f));
}

// What does not fit a buffer waits for the next, and overflow drops the
// oldest bytes.
TEST(CwqoTextQueue, SmallBuffersGetEverythingInOrderOnceAndOverflowKeepsTheNewest)
{
    CW_TEXT_QUEUE q;
    cw_text_queue_clear(&q);
    cw_text_queue_push(&q, "CQ DE", 5);
    char c = 'x';
    EXPECT_EQ(cw_text_queue_deliver(&q, nullptr, 10) + cw_text_queue_deliver(&q, &c, 0), 0u);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(take(&q, 1), "");
    EXPECT_EQ(take(&q, 3), "CQ");
    cw_text_queue_push(&q, " K", 2);
    EXPECT_EQ(take(&q, 2), " ");
    EXPECT_EQ(take(&q, 100), "DE K");
    EXPECT_EQ(take(&q, 100), "");
    const std::string old(kCWTextQueueBytes, 'a');
    cw_text_queue_push(&q, old.data(), old.size());
    cw_text_queue_push(&q, "XYZ", 3);
    const std::string all = take(&q, kCWTextQueueBytes + 1);
    ASSERT_EQ(all.size(), kCWTextQueueBytes);
    EXPECT_EQ(all.substr(all.size() - 4), "aXYZ");
}

// The ascending copy must match a fresh sort after any sequence of
// appends, wraps and commits.
TEST(CwqoEnvelopeHistory, AscendingCopyFollowsSmallAndLargeBatches)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, 1000);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> level(0, 40);  // many equal values
    for (int batch : {50, 170, 700, 3, 1, 400, 2500, 90}) {
        for (int i = 0; i < batch; ++i)
            cwqo_history_append(&h, static_cast<float>(level(rng)) * 0.25f);
        cwqo_history_commit(&h);
        std::vector<float> expected(h.ring.count);
        cwqo_ring_copy(h.ring, expected.data());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(h.sorted, expected) << "after a batch of " << batch;
    }
}

TEST(CwqoEnvelopeStatistics, CleanKeyingAndFlatNoise)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    key(&h, "- . - .|- - . -|. . .|- - . -| - . - .|", 60.0, 1.0f, 0.01f);
    const CWQO_ENVELOPE_FIGURES f = cwqo_envelope_statistics(h, 12.0, 50.0, &runs);
    EXPECT_NEAR(f.wpm, 20.0, 0.5);
    EXPECT_FLOAT_EQ(f.snrDb, 40.0f);  // 1.0 over 0.01
    EXPECT_GT(f.quality, 70.0f);
    EXPECT_TRUE(f.onRatio > 0.3f && f.onRatio < 0.7f && f.keyThreshold > 0.01f) << f.onRatio << " " << f.keyThreshold;
    EXPECT_LT(cwqo_envelope_statistics(h, 30.0, 50.0, &runs).quality, 0.6f * f.quality);  // 20 WPM out of range

    cwqo_history_clear(&h);
    for (int i = 0; i < 4000; ++i)
        cwqo_history_append(&h, 0.02f);
    cwqo_history_commit(&h);
    const CWQO_ENVELOPE_FIGURES flat = cwqo_envelope_statistics(h, 12.0, 50.0, &runs);
    EXPECT_EQ(flat.wpm, 0.0);
    EXPECT_FLOAT_EQ(flat.snrDb, 0.0f);
}

TEST(CwqoLockMachine, GoodFitLocksAtOnceAndAFairOneClimbsThroughTentative)
{
    CWQO_LOCK lock;
    cwqo_lock_start(&lock, 2500.0);
    int32_t present = 0;
    EXPECT_EQ(cwqo_lock_step(&lock, fit(0.9f), &present), 2);
    EXPECT_EQ(present, 1);
    cwqo_lock_start(&lock, 0.0);
    EXPECT_EQ(cwqo_lock_step(&lock, fit(3.0f), &present), 1);
    EXPECT_EQ(cwqo_lock_step(&lock, fit(1.5f), &present), 1);
    EXPECT_EQ(cwqo_lock_step(&lock, fit(1.5f, true, 2), &present), 2);  // with text a moderate cost locks
}

TEST(CwqoLockReport, FiguresThatContradictTheGradeLowerOrResetIt)
{
    const struct { float quality, cost, engineWpm; int32_t shown; } cases[] = {  // the envelope reads 20 WPM
        {70.0f, 0.9f, 20.0f, 2}, {40.0f, 0.9f, 20.0f, 1}, {30.0f, 0.9f, 20.0f, 0}, {70.0f, 0.9f, 27.0f, 0},
        {70.0f, 0.9f, 25.0f, 2}, {70.0f, 1.2f, 25.0f, 1}, {70.0f, 10.0f, 20.0f, 0}};
    for (const auto& k : cases) {
        CWQO_LOCK lock{2, 0, 0.0};
        const CWQO_LOCK_EVIDENCE e{20.0, k.quality, 0.4f, k.cost, k.engineWpm, 12.0, 50.0};
        EXPECT_EQ(cwqo_lock_report(&lock, 2, e), k.shown) << k.quality << " " << k.cost << " " << k.engineWpm;
        EXPECT_EQ(lock.state, k.shown == 0 ? 0 : 2);
    }
}
