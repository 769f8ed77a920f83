// Decoded text waiting for the caller's buffer.
#include "cwqo_text_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string take(CWQO_TEXT_QUEUE* q, size_t capacity)
{
    std::string buffer(capacity, 'x');
    const size_t n = cwqo_text_queue_deliver(q, buffer.data(), capacity);
    EXPECT_EQ(buffer.c_str(), buffer.substr(0, n)) << "terminator after the count";
    return buffer.substr(0, n);
}

}  // namespace

TEST(CwqoTextQueue, SmallBuffersGetEverythingInOrderOnce)
{
    CWQO_TEXT_QUEUE q;
    cwqo_text_queue_clear(&q);
    cwqo_text_queue_push(&q, "CQ DE", 5);
    EXPECT_EQ(take(&q, 1), "");
    EXPECT_EQ(take(&q, 3), "CQ");
    cwqo_text_queue_push(&q, " K", 2);
    EXPECT_EQ(take(&q, 2), " ");
    EXPECT_EQ(take(&q, 100), "DE K");
    EXPECT_EQ(take(&q, 100), "");
}

TEST(CwqoTextQueue, OverflowKeepsTheNewestBytes)
{
    CWQO_TEXT_QUEUE q;
    cwqo_text_queue_clear(&q);
    const std::string old(kCwqoTextQueueBytes, 'a');
    cwqo_text_queue_push(&q, old.data(), old.size());
    cwqo_text_queue_push(&q, "XYZ", 3);
    const std::string all = take(&q, kCwqoTextQueueBytes + 1);
    ASSERT_EQ(all.size(), kCwqoTextQueueBytes);
    EXPECT_EQ(all.substr(all.size() - 3), "XYZ");
}

TEST(CwqoTextQueue, NullOrEmptyBufferTakesNothing)
{
    CWQO_TEXT_QUEUE q;
    cwqo_text_queue_clear(&q);
    cwqo_text_queue_push(&q, "E", 1);
    char c = 'x';
    EXPECT_EQ(cwqo_text_queue_deliver(&q, nullptr, 10), 0u);
    EXPECT_EQ(cwqo_text_queue_deliver(&q, &c, 0), 0u);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(take(&q, 4), "E");
}
