// The skimmer allocates only when a channel first needs its receiver: in
// steady state nothing, and without memory it keeps decoding the channels
// it has.
#include "allocation_counter.h"
#include "cw_skimmer.h"
#include "morse_band_generator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

MORSE_BAND_CONFIG band_config()
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.stationCount = 6;
    c.minSpacingHz = 200.0;
    c.minSnrDb = 10.0;
    c.startSpreadSeconds = 1.0;
    c.seed = 6;
    return c;
}

// Renders all audio first, so that only the skimmer's allocations count.
std::vector<float> render(MORSE_BAND_CONFIG c, double seconds)
{
    MORSE_BAND* band = morse_band_create(c);
    std::vector<float> x(static_cast<size_t>(seconds * c.sampleRateHz));
    morse_band_render(band, x.data(), x.size());
    morse_band_destroy(band);
    return x;
}

}  // namespace

// One band for both: a skimmer that has made its receivers allocates nothing in the second half; one
// whose memory runs out after its first receiver keeps decoding that channel.
TEST(SkimmerAllocation, NothingOnceTheReceiversAreMadeAndWithoutMemoryTheChannelsGoOn)
{
    const MORSE_BAND_CONFIG c = band_config();
    const std::vector<float> x = render(c, 60.0);
    CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
    config.sampleRate = c.sampleRateHz;
    CW_SKIMMER_STATUS before{}, after{};
    CW_SKIMMER* s = cw_skimmer_create(&config);
    const size_t half = x.size() / 2;
    cw_skimmer_process(s, x.data(), half);
    cw_skimmer_get_status(s, &before);
    ASSERT_GT(before.receiversBuilt, 0);
    const long count = allocation_counter::count;
    CW_SPOT_EVENT events[8];
    for (size_t at = half; at < x.size(); at += 160) {
        cw_skimmer_process(s, x.data() + at, 160);
        cw_skimmer_take_events(s, events, 8);
    }
    cw_skimmer_get_status(s, &after);
    EXPECT_EQ(after.receiversBuilt, before.receiversBuilt);
    EXPECT_EQ(allocation_counter::count - count, 0);
    cw_skimmer_destroy(s);

    CW_SKIMMER* starved = cw_skimmer_create(&config);
    CW_SKIMMER_STATUS status{};
    size_t at = 0;
    for (; at < x.size() && status.receiversBuilt == 0; at += 160) {
        cw_skimmer_process(starved, x.data() + at, 160);
        cw_skimmer_get_status(starved, &status);
    }
    ASSERT_EQ(status.receiversBuilt, 1);
    allocation_counter::refuse = true;
    size_t spots = 0;
    for (; at < x.size(); at += 160) {
        cw_skimmer_process(starved, x.data() + at, 160);
        spots += cw_skimmer_take_events(starved, events, 8);
    }
    allocation_counter::refuse = false;
    cw_skimmer_get_status(starved, &status);
    EXPECT_EQ(status.receiversBuilt, 1);
    EXPECT_GT(status.refused, 0);
    EXPECT_GE(spots, 1u);
    cw_skimmer_destroy(starved);
}
