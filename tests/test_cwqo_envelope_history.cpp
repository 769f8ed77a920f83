// The envelope history's ascending copy must match a fresh sort after any
// sequence of appends, wraps and commits.
#include "cwqo_envelope_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<float> sorted_ring(const CWQO_ENVELOPE_HISTORY& h)
{
    std::vector<float> v(h.ring.count);
    cwqo_ring_copy(h.ring, v.data());
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

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
        ASSERT_EQ(h.sorted, sorted_ring(h)) << "after a batch of " << batch;
    }
}

TEST(CwqoEnvelopeHistory, QuantilesInterpolateBetweenNeighbours)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, 100);
    for (float v : {4.0f, 0.0f, 3.0f, 1.0f, 2.0f})
        cwqo_history_append(&h, v);
    cwqo_history_commit(&h);
    EXPECT_FLOAT_EQ(cwqo_history_quantile(h, 0.5), 2.0f);
    EXPECT_FLOAT_EQ(cwqo_history_quantile(h, 0.9), 3.6f);  // 0.9 * 4 = 3.6: between 3 and 4
    EXPECT_FLOAT_EQ(cwqo_history_quantile(h, 0.2), 0.8f);
    cwqo_history_clear(&h);
    EXPECT_EQ(cwqo_history_quantile(h, 0.5), 0.0f);
}
