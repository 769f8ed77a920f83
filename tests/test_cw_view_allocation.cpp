// The displays' computations allocate nothing once built: every global
// allocation in this test program is counted.
#include "allocation_counter.h"
#include "cw_tone_trace_history.h"
#include "cw_tuner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

TEST(ViewAllocation, NonePerUpdateEvenAcrossARateChange)
{
    static float x[6000];
    for (size_t i = 0; i < std::size(x); ++i)
        x[i] = static_cast<float>(0.5 * std::sin(0.3 * i));
    const CW_TUNER_CONFIG config{.autoGtm = 1, .rearmSeconds = 2.5, .findTone = 1};
    CW_TUNER* tuner = cw_tuner_create(&config);
    CWToneTraceHistory history;
    CW_RX_CONFIG rx = cw_rx_default_config();
    CW_RX_STATUS status{};
    CW_SPECTRUM_SNAPSHOT snapshot;
    CW_TUNER_RESULT result;
    const long before = allocation_counter::count.load();
    for (int i = 0; i < 20; ++i) {
        rx.sampleRate = i < 10 ? 48000.0 : 12000.0, status.signalPresent = i % 2;
        cw_tuner_update(tuner, x, std::size(x), &rx, &status, 1.0 + i, &result);
        EXPECT_EQ(result.spectrumUpdated, 1);
        cw_tuner_update(tuner, x, 512, &rx, &status, 1.05 + i, &result);  // throttled
        EXPECT_EQ(result.spectrumUpdated, 0);
        cw_tuner_get_spectrum(tuner, &snapshot);
        history.update(0.1f * (i % 10), 0.5f, i % 2);
    }
    EXPECT_EQ(allocation_counter::count.load() - before, 0);
    cw_tuner_destroy(tuner);
}
