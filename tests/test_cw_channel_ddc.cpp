// A skimmer channel's down-converter: the station at its frequency comes
// out at the receiver's pitch, images and neighbours do not.
#include "cw_channel_ddc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double kRate = 8000.0;
using Ddc = std::unique_ptr<CW_CHANNEL_DDC, decltype(&cw_channel_ddc_destroy)>;

// Power of `hz` in y after the filter settled, by a Goertzel-like DFT.
double power_at(const std::vector<float>& y, double hz, size_t skip = 400)
{
    std::complex<double> acc = 0.0;
    for (size_t i = skip; i < y.size(); ++i)
        acc += double(y[i]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * double(i) / kRate);
    const double n = double(y.size() - skip);
    return std::norm(acc) / (n * n);
}

double db(double ratio)
{
    return 10.0 * std::log10(ratio);
}

struct Stream {
    std::vector<float> re, im;
};

Stream complex_tone(double hz, size_t count)
{
    Stream s{std::vector<float>(count), std::vector<float>(count)};
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * double(i) / kRate;
        s.re[i] = static_cast<float>(std::cos(phase));
        s.im[i] = static_cast<float>(std::sin(phase));
    }
    return s;
}

std::vector<float> convert(double signalHz, const Stream& s, bool complexInput)
{
    Ddc d(cw_channel_ddc_create(), cw_channel_ddc_destroy);
    cw_channel_ddc_configure(d.get(), kRate, signalHz, 600.0);
    std::vector<float> out(s.re.size());
    cw_channel_ddc_process(d.get(), s.re.data(), complexInput ? s.im.data() : nullptr, s.re.size(), out.data());
    return out;
}

}  // namespace

// Complex or real input; a bad rate after a good one is ignored, null handles are harmless.
TEST(ChannelDdc, PutsTheStationAtThePitch)
{
    const std::vector<float> y = convert(1700.0, complex_tone(1700.0, 8000), true);
    EXPECT_NEAR(db(power_at(y, 600.0)), db(0.25), 0.5);  // a unit complex tone is a cosine of amplitude 1
    EXPECT_LT(db(power_at(y, 500.0) / power_at(y, 600.0)), -40.0);
    const std::vector<float> real = convert(900.0, complex_tone(900.0, 8000), false);
    EXPECT_NEAR(db(power_at(real, 600.0)), db(0.0625), 0.5);  // half of a real cosine's two sides

    cw_channel_ddc_configure(nullptr, kRate, 1000.0, 600.0);
    cw_channel_ddc_process(nullptr, nullptr, nullptr, 10, nullptr);
    cw_channel_ddc_reset(nullptr);
    Ddc d(cw_channel_ddc_create(), cw_channel_ddc_destroy);
    cw_channel_ddc_configure(d.get(), kRate, 1000.0, 600.0);
    cw_channel_ddc_configure(d.get(), NAN, 1000.0, 600.0);
    const Stream s = complex_tone(1000.0, 4000);
    std::vector<float> out(s.re.size());
    cw_channel_ddc_process(d.get(), s.re.data(), s.im.data(), s.re.size(), out.data());
    EXPECT_NEAR(db(power_at(out, 600.0)), db(0.25), 0.5);
}

// The image of a station 1200 Hz below, a neighbour 1000 Hz off, and neighbours 70 Hz off are held
// down; keying at 40 WPM (30 Hz off the station) is let through.
TEST(ChannelDdc, NeighboursAndTheImageStayOut)
{
    const double wanted = power_at(convert(-2000.0, complex_tone(-2000.0, 8000), true), 600.0);
    const std::vector<float> image = convert(-2000.0, complex_tone(-3200.0, 8000), true);
    EXPECT_LT(db(power_at(image, 600.0) / wanted), -50.0);
    const std::vector<float> far = convert(-2000.0, complex_tone(-1000.0, 8000), true);
    double strongest = 0.0;
    for (double hz = 100.0; hz < 3900.0; hz += 25.0)
        strongest = std::max(strongest, power_at(far, hz));
    EXPECT_LT(db(strongest / wanted), -50.0);

    const double station = power_at(convert(1500.0, complex_tone(1500.0, 16000), true), 600.0);
    for (double neighbour : {1430.0, 1570.0}) {
        const std::vector<float> y = convert(1500.0, complex_tone(neighbour, 16000), true);
        EXPECT_LT(db(power_at(y, 600.0 + neighbour - 1500.0, 2000) / station), -40.0) << neighbour;
    }
    const std::vector<float> edge = convert(1500.0, complex_tone(1530.0, 16000), true);
    EXPECT_GT(db(power_at(edge, 630.0, 2000) / station), -3.0);
}

TEST(ChannelDdc, FollowingADriftingStationKeepsTheToneWhole)
{
    Ddc d(cw_channel_ddc_create(), cw_channel_ddc_destroy);
    cw_channel_ddc_configure(d.get(), kRate, 1500.0, 600.0);
    const Stream s = complex_tone(1500.0, 16000);
    std::vector<float> out(s.re.size());
    for (size_t at = 0; at < s.re.size(); at += 800) {
        // Small steps of the channel's centre as it follows: the tone moves
        // by as much and never jumps.
        cw_channel_ddc_configure(d.get(), kRate, 1500.0 + (at % 1600 == 0 ? 0.0 : 3.0), 600.0);
        cw_channel_ddc_process(d.get(), s.re.data() + at, s.im.data() + at, 800, out.data() + at);
    }
    float step = 0.0f;
    for (size_t i = 401; i < out.size(); ++i)
        step = std::max(step, std::abs(out[i] - out[i - 1]));
    // A 600 Hz cosine of amplitude 1 moves at most 2 pi 600 / 8000 = 0.47
    // per sample (a little more while the filters settle on the new
    // frequency); a jump of phase would move it by up to 2.
    EXPECT_LT(step, 0.6f);
    EXPECT_GT(step, 0.4f);
}
