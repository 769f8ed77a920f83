#include "cw_spectrum_tables.h"

#include <gtest/gtest.h>


TEST(BesselI0, MatchesTabulatedValues)
{
    EXPECT_DOUBLE_EQ(cw_bessel_i0(0.0), 1.0);
    EXPECT_NEAR(cw_bessel_i0(1.0), 1.2660658777520082, 1e-13);
    EXPECT_NEAR(cw_bessel_i0(3.0), 4.8807925858650249, 1e-12);
    EXPECT_NEAR(cw_bessel_i0(-3.0), cw_bessel_i0(3.0), 1e-15);
}

TEST(SpectrumTables, KaiserWindowIsSymmetricAndNormalisedToOneAtTheCentre)
{
    CWSpectrumTables tables;
    ASSERT_TRUE(tables.prepare(48000.0));
    const float* w = tables.window();
    // The ends see I0(0) = 1 over the normaliser I0(3).
    EXPECT_NEAR(w[0], 1.0 / 4.8807925858650249, 1e-6);
    EXPECT_NEAR(w[kCWSpectrumFrameSize - 1], w[0], 1e-7);
    for (size_t n = 0; n < kCWSpectrumFrameSize / 2; ++n)
        ASSERT_NEAR(w[n], w[kCWSpectrumFrameSize - 1 - n], 1e-6) << n;
    EXPECT_NEAR(w[kCWSpectrumFrameSize / 2], 1.0, 1e-6);
    for (size_t n = 1; n < kCWSpectrumFrameSize / 2; ++n) ASSERT_GE(w[n], w[n - 1]) << n;
}

TEST(SpectrumTables, RebuildsOnlyWhenTheRateMovesByHalfAHertz)
{
    CWSpectrumTables tables;
    EXPECT_EQ(tables.preparedSampleRate(), 0.0);
    EXPECT_TRUE(tables.prepare(48000.0));
    EXPECT_FALSE(tables.prepare(48000.0));
    EXPECT_FALSE(tables.prepare(48000.3));
    EXPECT_FALSE(tables.prepare(47999.6));
    EXPECT_EQ(tables.buildCount(), 1u);
    EXPECT_TRUE(tables.prepare(48000.5));
    EXPECT_EQ(tables.preparedSampleRate(), 48000.5);
    EXPECT_EQ(tables.buildCount(), 2u);
}
