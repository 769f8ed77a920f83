// Small parts of the decoder backend whose faults its decoding would hide.
#include "cwqo_envelope_statistics.h"
#include "cwqo_lock.h"
#include "cw_text_queue.h"

#include <gtest/gtest.h>

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

// What does not fit a buffer waits for the next; overflow drops the oldest bytes.
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

TEST(CwqoLockReport, FiguresThatContradictTheGradeLowerOrResetIt)
{
    const struct {
        float quality, cost, engineWpm;
        int32_t shown;
    } cases[] = {// the envelope reads 20 WPM
                 {70.0f, 0.9f, 20.0f, 2}, {40.0f, 0.9f, 20.0f, 1}, {30.0f, 0.9f, 20.0f, 0}, {70.0f, 0.9f, 27.0f, 0},
                 {70.0f, 0.9f, 25.0f, 2}, {70.0f, 1.2f, 25.0f, 1}, {70.0f, 10.0f, 20.0f, 0}};
    for (const auto& k : cases) {
        CWQO_LOCK lock{2, 0, 0.0};
        const CWQO_LOCK_EVIDENCE e{20.0, k.quality, 0.4f, k.cost, k.engineWpm, 12.0, 50.0};
        EXPECT_EQ(cwqo_lock_report(&lock, 2, e), k.shown) << k.quality << " " << k.cost << " " << k.engineWpm;
        EXPECT_EQ(lock.state, k.shown == 0 ? 0 : 2);
    }
}
