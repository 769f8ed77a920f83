// The backend's fixed-capacity sample queue.
#include "cwqo_sample_ring.h"

#include <gtest/gtest.h>

#include <vector>

TEST(CwqoSampleRing, DropsTheOldestWhenFullAndReportsIt)
{
    CWQO_SAMPLE_RING ring;
    cwqo_ring_init(&ring, 3);
    float dropped = -1.0f;
    EXPECT_FALSE(cwqo_ring_push(&ring, 1.0f, &dropped));
    cwqo_ring_push(&ring, 2.0f, nullptr);
    cwqo_ring_push(&ring, 3.0f, nullptr);
    EXPECT_TRUE(cwqo_ring_push(&ring, 4.0f, &dropped));
    EXPECT_EQ(dropped, 1.0f);
    ASSERT_EQ(ring.count, 3u);
    EXPECT_EQ(cwqo_ring_at(ring, 0), 2.0f);
    EXPECT_EQ(cwqo_ring_at(ring, 2), 4.0f);
}

TEST(CwqoSampleRing, PopsWholeRequestsAcrossTheWrap)
{
    CWQO_SAMPLE_RING ring;
    cwqo_ring_init(&ring, 4);
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})
        cwqo_ring_push(&ring, v, nullptr);
    float out[4] = {};
    EXPECT_FALSE(cwqo_ring_pop_front(&ring, out, 5));  // more than held: nothing moves
    EXPECT_EQ(ring.count, 4u);
    ASSERT_TRUE(cwqo_ring_pop_front(&ring, out, 3));
    EXPECT_EQ(std::vector<float>(out, out + 3), (std::vector<float>{3.0f, 4.0f, 5.0f}));
    EXPECT_EQ(ring.count, 1u);
    std::vector<float> rest(1);
    cwqo_ring_copy(ring, rest.data());
    EXPECT_EQ(rest[0], 6.0f);
}
