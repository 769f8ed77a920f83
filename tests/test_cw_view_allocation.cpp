// The displays' computations allocate nothing once built: every global
// allocation in this test program is counted.
#include "allocation_counter.h"
#include "cw_spectrum_analyzer.h"
#include "cw_tone_trace_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

TEST(ViewAllocation, NonePerUpdateEvenAcrossARateChange)
{
    static float x[6000];
    for (size_t i = 0; i < std::size(x); ++i) x[i] = static_cast<float>(0.5 * std::sin(0.3 * i));
    CWSpectrumAnalyzer analyzer;
    CWToneTraceHistory history;
    const CW_SPECTRUM_FIGURES figures = cw_spectrum_initial_figures();
    const long before = allocation_counter::count.load();
    for (int i = 0; i < 20; ++i) {
        const double rate = i < 10 ? 48000.0 : 12000.0;
        EXPECT_TRUE(analyzer.update(x, std::size(x), rate, figures, 1.0 + i));
        EXPECT_FALSE(analyzer.update(x, 512, rate, figures, 1.05 + i));
        history.update(0.1f * (i % 10), 0.5f, i % 2);
    }
    EXPECT_EQ(allocation_counter::count.load() - before, 0);
    EXPECT_EQ(analyzer.tables().buildCount(), 2u);
}
