// The skimmer's input stage: stream rates down to the working rate, the
// CW passband (or an IQ tile) kept, what would fold onto it removed.
#include "cw_skim_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using Input = std::unique_ptr<CW_SKIM_INPUT, decltype(&cw_skim_input_destroy)>;

std::vector<float> tone(double hz, double rate, size_t count)
{
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / rate));
    return x;
}

double rms_after(const std::vector<float>& y, size_t skip)
{
    double sum = 0.0;
    for (size_t i = skip; i < y.size(); ++i)
        sum += double(y[i]) * y[i];
    return std::sqrt(sum / double(y.size() - skip));
}

std::vector<float> run(CW_SKIM_INPUT* in, const std::vector<float>& x, size_t chunk)
{
    std::vector<float> y(x.size() + 1);
    size_t written = 0;
    for (size_t at = 0; at < x.size(); at += chunk)
        written +=
            cw_skim_input_process(in, x.data() + at, std::min(chunk, x.size() - at), y.data() + written, nullptr);
    y.resize(written);
    return y;
}

Input configured(double rate)
{
    Input in(cw_skim_input_create(), cw_skim_input_destroy);
    cw_skim_input_configure(in.get(), rate, 0, 0.0);
    return in;
}

}  // namespace

// Rates outside 8000..384000 keep the last one; at 8000 Hz samples pass unchanged.
TEST(SkimInput, StreamRatesComeDownToEightToSixteenKilohertzByWholeFactors)
{
    Input in(cw_skim_input_create(), cw_skim_input_destroy);
    ASSERT_NE(in, nullptr);
    for (const auto& [rate, work] : {std::pair{48000.0, 8000.0},
                                     {12000.0, 12000.0},
                                     {44100.0, 8820.0},
                                     {96000.0, 8000.0},
                                     {4000.0, 8000.0},
                                     {NAN, 8000.0}})
        EXPECT_DOUBLE_EQ(cw_skim_input_configure(in.get(), rate, 0, 0.0), work) << rate;
    EXPECT_DOUBLE_EQ(cw_skim_input_passband_hz(in.get()), 3200.0);
    EXPECT_DOUBLE_EQ(cw_skim_input_configure(nullptr, 48000.0, 0, 0.0), 8000.0);
    const std::vector<float> x = tone(700.0, 8000.0, 1000);
    EXPECT_EQ(run(configured(8000.0).get(), x, 100), x);
}

// 5200 Hz would land on 2800 Hz at 8000 Hz. Any chunking gives the same samples.
TEST(SkimInput, KeepsThePassbandAndRemovesWhatWouldFoldOntoIt)
{
    const std::vector<float> kept = run(configured(48000.0).get(), tone(2800.0, 48000.0, 48000), 4096);
    ASSERT_EQ(kept.size(), 8000u);
    EXPECT_NEAR(rms_after(kept, 200), std::sqrt(0.5), 0.02);
    const std::vector<float> folded = run(configured(48000.0).get(), tone(5200.0, 48000.0, 48000), 4096);
    EXPECT_LT(20.0 * std::log10(rms_after(folded, 200) / std::sqrt(0.5)), -60.0);
    const std::vector<float> x = tone(1234.0, 48000.0, 30000);
    EXPECT_EQ(run(configured(48000.0).get(), x, 30000), run(configured(48000.0).get(), x, 7));
}

// An IQ tile at +20 kHz of a 96 kHz stream: a carrier 1500 Hz above the
// tile's centre comes out at +1500 Hz, one 1500 Hz below at -1500 Hz, and
// a carrier in the next tile is gone.
TEST(SkimInput, AnIqTileKeepsItsOwnStretchWithTheSignOfEachCarrier)
{
    const double rate = 96000.0;
    auto power_at = [&](double carrierHz, double lookHz) {
        Input in(cw_skim_input_create(), cw_skim_input_destroy);
        const double work = cw_skim_input_configure(in.get(), rate, 1, 20000.0);
        EXPECT_DOUBLE_EQ(work, 8000.0);
        std::vector<float> iq(2 * 96000);
        for (size_t i = 0; i < 96000; ++i) {
            const double phase = 2.0 * std::numbers::pi * carrierHz * double(i) / rate;
            iq[2 * i] = static_cast<float>(std::cos(phase));
            iq[2 * i + 1] = static_cast<float>(std::sin(phase));
        }
        std::vector<float> re(8001), im(8001);
        size_t n = 0;
        for (size_t at = 0; at < 96000; at += 960)
            n += cw_skim_input_process(in.get(), iq.data() + 2 * at, 960, re.data() + n, im.data() + n);
        EXPECT_EQ(n, 8000u);
        std::complex<double> acc = 0.0;
        for (size_t i = 400; i < n; ++i)
            acc += std::complex<double>(re[i], im[i]) *
                   std::polar(1.0, -2.0 * std::numbers::pi * lookHz * double(i) / 8000.0);
        return std::norm(acc / double(n - 400));
    };
    EXPECT_NEAR(power_at(21500.0, 1500.0), 1.0, 0.02);
    EXPECT_NEAR(power_at(18500.0, -1500.0), 1.0, 0.02);
    EXPECT_LT(power_at(18500.0, 1500.0), 1e-4);
    // 26 kHz is 6 kHz off the centre: it would fold onto -2 kHz.
    EXPECT_LT(power_at(26000.0, -2000.0), 1e-6);
}
