// The band generator, measured back from what it renders: calls, layout,
// levels, the IQ sign, timing and the stream's seamlessness.
#include "morse_band_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <regex>
#include <set>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

struct BandDeleter {
    void operator()(MORSE_BAND* b) const { morse_band_destroy(b); }
};
using Band = std::unique_ptr<MORSE_BAND, BandDeleter>;

Band make(const MORSE_BAND_CONFIG& config)
{
    std::string error;
    EXPECT_TRUE(morse_band_check_config(config, &error)) << error;
    return Band(morse_band_create(config));
}

std::vector<MORSE_BAND_STATION> stations(const MORSE_BAND* band)
{
    std::vector<MORSE_BAND_STATION> all(morse_band_station_count(band));
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_TRUE(morse_band_get_station(band, i, &all[i]));
    return all;
}

size_t channels(const MORSE_BAND_CONFIG& c)
{
    return c.output == MORSE_BAND_IQ ? 2 : 1;
}

std::vector<float> render(MORSE_BAND* band, const MORSE_BAND_CONFIG& c, double seconds)
{
    std::vector<float> out(static_cast<size_t>(seconds * c.sampleRateHz) * channels(c));
    morse_band_render(band, out.data(), out.size() / channels(c));
    return out;
}

MORSE_BAND_CONFIG iq_config()
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.sampleRateHz = 96000, c.output = MORSE_BAND_IQ, c.stationCount = 60, c.lowHz = -45000.0, c.highHz = 45000.0;
    return c;
}

// Hann-windowed DFT power at f of the N frames from `first`; complex frames
// for IQ, so that a negative f is told from a positive one.
double power_at(const std::vector<float>& x, const MORSE_BAND_CONFIG& c, size_t first, size_t n, double f)
{
    const size_t ch = channels(c);
    std::complex<double> sum = 0.0;
    for (size_t k = 0; k < n; ++k) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * (k + 0.5) / n);
        const size_t i = (first + k) * ch;
        const std::complex<double> v = ch == 2 ? std::complex<double>(x[i], x[i + 1]) : std::complex<double>(x[i]);
        sum += w * v * std::polar(1.0, -2.0 * kPi * f * static_cast<double>(first + k) / c.sampleRateHz);
    }
    return std::norm(sum);
}

// A call as radio amateurs form them: prefix (letters, digit-letter or
// letter-digit), one call area digit, one to three letters; optionally "/P"
// after or a visited prefix with its area before.
bool call_is_well_formed(const std::string& call)
{
    static const std::regex shape("^(?:(?:[A-Z]{1,2}|[0-9][A-Z]|[A-Z][0-9])[0-9]/)?"
                                  "(?:[A-Z]{1,2}|[0-9][A-Z]|[A-Z][0-9])[0-9][A-Z]{1,3}(?:/P)?$");
    return std::regex_match(call, shape);
}

}  // namespace

// ---- Configuration ----

TEST(MorseBandConfig, EachBadFieldIsRejectedWithAReasonAndNullHandlesAreSafe)
{
    std::string error;  // the defaults pass: make() checks every config it is given
    const auto bad = [](auto change) {
        MORSE_BAND_CONFIG c = morse_band_default_config();
        change(c);
        return c;
    };
    for (const MORSE_BAND_CONFIG& c :
         {bad([](auto& c) { c.sampleRateHz = 500; }), bad([](auto& c) { c.highHz = 4000.0; }),
          bad([](auto& c) { c.lowHz = -100.0; }),  // negative pitches exist only in IQ
          bad([](auto& c) { c.lowHz = 2900.0; }), bad([](auto& c) { c.minSpacingHz = 200.0; }),  // 19 x 200 > 2500
          bad([](auto& c) { c.minWpm = 30.0, c.maxWpm = 20.0; }), bad([](auto& c) { c.maxSnrDb = NAN; }),
          bad([](auto& c) { c.fadingShare = 1.5; }), bad([](auto& c) { c.minPauseSeconds = 0.0; }),
          bad([](auto& c) { c.zeroDbAmplitude = 0.0; }), bad([](auto& c) { c.maxDriftHz = 400.0; }),
          bad([](auto& c) { c.output = static_cast<MORSE_BAND_OUTPUT>(7); })}) {
        error.clear();
        EXPECT_FALSE(morse_band_check_config(c, &error));
        EXPECT_TRUE(!error.empty() && error.find('\n') == std::string::npos) << error;
        EXPECT_EQ(morse_band_create(c), nullptr);
    }
    float out[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    morse_band_render(nullptr, out, 2);
    EXPECT_EQ(out[0], 1.0f);
    MORSE_BAND_STATION s{};
    EXPECT_FALSE(morse_band_get_station(nullptr, 0, &s));
    EXPECT_EQ(morse_band_station_count(nullptr), 0u);
    EXPECT_EQ(morse_band_position(nullptr), 0u);
    morse_band_destroy(nullptr);
    Band band = make(morse_band_default_config());
    EXPECT_FALSE(morse_band_get_station(band.get(), 20, &s));
    EXPECT_FALSE(morse_band_get_station(band.get(), 0, nullptr));
    morse_band_render(band.get(), nullptr, 100);
    EXPECT_EQ(morse_band_position(band.get()), 0u);
}

// ---- The stations ----

TEST(MorseBandStations, CallsAreUniqueAndShapedLikeRealOnes)
{
    MORSE_BAND_CONFIG c = iq_config();
    c.stationCount = 600, c.minSpacingHz = 100.0;
    for (uint32_t seed : {1u, 2u, 3u}) {
        c.seed = seed;
        Band band = make(c);
        std::set<std::string> seen;
        size_t portable = 0;
        for (const MORSE_BAND_STATION& s : stations(band.get())) {
            EXPECT_TRUE(call_is_well_formed(s.call)) << s.call;
            EXPECT_TRUE(seen.insert(s.call).second) << s.call;
            portable += std::string(s.call).find('/') != std::string::npos;
        }
        EXPECT_EQ(seen.size(), 600u);
        EXPECT_TRUE(portable > 5 && portable < 100) << portable;  // a few operators, not most
    }
    EXPECT_FALSE(call_is_well_formed("CQ"));  // the checker itself tells calls from words
    EXPECT_FALSE(call_is_well_formed("DL2"));
    EXPECT_TRUE(call_is_well_formed("VE3/DL2QZA"));
}

TEST(MorseBandStations, FiguresStayInsideTheirRangesAndTheSpacingHolds)
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.stationCount = 41, c.lowHz = 400.0, c.highHz = 2801.0;  // 40 gaps of 60 Hz fill the 2400 Hz almost exactly
    c.fadingShare = 0.5, c.handKeyingShare = 0.5, c.answerShare = 0.5, c.maxDriftHz = 5.0;
    Band band = make(c);
    const std::vector<MORSE_BAND_STATION> all = stations(band.get());
    ASSERT_EQ(all.size(), 41u);
    size_t fading = 0, hand = 0, answering = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const MORSE_BAND_STATION& s = all[i];
        EXPECT_TRUE(s.frequencyHz >= c.lowHz && s.frequencyHz <= c.highHz) << s.frequencyHz;
        if (i > 0) {
            EXPECT_GE(s.frequencyHz - all[i - 1].frequencyHz, c.minSpacingHz - 1e-9) << i;
        }
        EXPECT_TRUE(s.wpm >= 15.0 && s.wpm <= 40.0) << s.wpm;
        EXPECT_TRUE(s.snrDb >= 0.0 && s.snrDb <= 25.0) << s.snrDb;
        EXPECT_TRUE(s.firstCqSeconds >= 0.0 && s.firstCqSeconds <= 20.0) << s.firstCqSeconds;
        EXPECT_TRUE(s.driftHz >= 0.0 && s.driftHz <= 5.0) << s.driftHz;
        if (s.handKeyed) {
            EXPECT_TRUE(s.dahRatio >= 3.3 && s.dahRatio <= 3.8 && s.jitterPercent >= 5.0 && s.jitterPercent <= 15.0);
        } else {
            EXPECT_TRUE(s.dahRatio == 3.0 && s.jitterPercent == 0.0);
        }
        EXPECT_EQ(s.cqCount, 0u);  // nothing rendered yet
        fading += s.fading != MORSE_BAND_FADING_NONE;
        hand += s.handKeyed;
        answering += s.answering;
    }
    for (size_t n : {fading, hand, answering})
        EXPECT_TRUE(n >= 8 && n <= 33) << n;  // about half of 41
}

// ---- The stream ----

// The same seed gives the same band in any block sizes; another seed another band.
TEST(MorseBandStream, AnyBlockSizesGiveTheSamplesOfOneLongCall)
{
    for (MORSE_BAND_CONFIG c : {morse_band_default_config(), iq_config()}) {
        c.fadingShare = 0.5, c.maxDriftHz = 3.0, c.startSpreadSeconds = 2.0;  // fading, drift and delays too
        Band whole = make(c), pieces = make(c);
        const std::vector<float> expected = render(whole.get(), c, 4.0);
        std::vector<float> got(expected.size(), -9.0f);
        const size_t ch = channels(c);
        const size_t sizes[] = {1, 7, 255, 256, 257, 4096, 13, 0, 30000};
        size_t done = 0;
        for (size_t k = 0; done < expected.size() / ch; ++k) {
            const size_t n = std::min(sizes[k % std::size(sizes)], expected.size() / ch - done);
            morse_band_render(pieces.get(), got.data() + done * ch, n);
            done += n;
        }
        EXPECT_EQ(morse_band_position(pieces.get()), done);
        EXPECT_TRUE(got == expected);
        EXPECT_GT(*std::max_element(expected.begin(), expected.end()), 0.05f);  // stations keyed in 4 s
        EXPECT_STREQ(stations(whole.get())[5].call, stations(pieces.get())[5].call);
        ++c.seed;  // another seed, another band
        Band other = make(c);
        EXPECT_NE(render(other.get(), c, 4.0), expected);
        EXPECT_STRNE(stations(other.get())[5].call, stations(whole.get())[5].call);
    }
}

// Carrier over noise in 2500 Hz measured back per station: the noiseless
// render of the same seed tells full key-down windows from silent ones;
// with a Hann window of N, the DFT power is N^2/16 A^2 for a real tone
// (N^2/4 A^2 complex) and 3N/8 sigma^2 for noise, which makes
// SNR = 3 Pc rate / (5000 N Pn) for both. The same band with every station
// fading changes level from one of those full key-downs to the next.
TEST(MorseBandStream, EachStationHasTheSnrItReportsAndFadedOnesVaryInLevel)
{
    MORSE_BAND_CONFIG audio = morse_band_default_config();
    audio.stationCount = 3, audio.minSpacingHz = 600.0, audio.minWpm = 15.0, audio.maxWpm = 18.0;
    audio.fadingShare = 0.0, audio.startSpreadSeconds = 1.0, audio.seed = 3;  // faded: two-path and QSB
    MORSE_BAND_CONFIG iq = audio;
    iq.sampleRateHz = 48000, iq.output = MORSE_BAND_IQ, iq.lowHz = -20000.0, iq.highHz = 20000.0;
    iq.minSpacingHz = 10000.0;
    for (const MORSE_BAND_CONFIG& c : {audio, iq}) {
        MORSE_BAND_CONFIG quiet = c, faded = c;
        quiet.addNoise = faded.addNoise = false, faded.fadingShare = 1.0;
        Band noisy = make(c), clean = make(quiet), fading = make(faded);
        const double seconds = c.output == MORSE_BAND_IQ ? 20.0 : 60.0;
        const std::vector<float> x = render(noisy.get(), c, seconds);
        const std::vector<float> ref = render(clean.get(), quiet, seconds);
        const std::vector<float> xf =
            c.output == MORSE_BAND_IQ ? std::vector<float>{} : render(fading.get(), faded, seconds);
        const size_t n = c.output == MORSE_BAND_IQ ? 1024 : 256;
        const size_t windows = x.size() / channels(c) / n;
        for (const MORSE_BAND_STATION& s : stations(noisy.get())) {
            std::vector<double> refPower(windows);
            for (size_t w = 0; w < windows; ++w)
                refPower[w] = power_at(ref, c, w * n, n, s.frequencyHz);
            const double full = *std::max_element(refPower.begin(), refPower.end());
            double on = 0.0, off = 0.0, lo = INFINITY, hi = 0.0;
            size_t onCount = 0, offCount = 0;
            for (size_t w = 0; w < windows; ++w) {
                if (refPower[w] >= 0.98 * full) {
                    on += power_at(x, c, w * n, n, s.frequencyHz), ++onCount;
                    const double f = xf.empty() ? 0.0 : power_at(xf, faded, w * n, n, s.frequencyHz);
                    lo = std::min(lo, f), hi = std::max(hi, f);
                } else if (refPower[w] <= 1e-6 * full)
                    off += power_at(x, c, w * n, n, s.frequencyHz), ++offCount;
            }
            ASSERT_TRUE(onCount > 30 && offCount > 100) << onCount << " " << offCount;
            const double pn = off / offCount;
            const double pc = on / onCount - pn;
            const double snr = 10.0 * std::log10(3.0 * pc * c.sampleRateHz / (5000.0 * n * pn));
            EXPECT_NEAR(snr, s.snrDb, 1.0) << s.call << " at " << s.frequencyHz << " Hz";
            EXPECT_TRUE(xf.empty() || hi > 4.0 * lo) << s.call << " fading";
        }
        for (const MORSE_BAND_STATION& s : stations(fading.get()))
            EXPECT_NE(s.fading, MORSE_BAND_FADING_NONE) << s.call;
    }
}

// IQ frames are I + jQ: a station below the centre is at a negative
// frequency, and its mirror holds nothing.
TEST(MorseBandStream, IqStationsSitOnTheSideOfTheCentreTheirOffsetSays)
{
    MORSE_BAND_CONFIG c = iq_config();
    c.sampleRateHz = 48000, c.stationCount = 2, c.startSpreadSeconds = 0.5, c.addNoise = false;
    // One station in -20000..-16000 Hz, one in 4000..8000: neither on the other's mirror.
    c.lowHz = -20000.0, c.highHz = 8000.0, c.minSpacingHz = 24000.0;
    Band band = make(c);
    const std::vector<float> x = render(band.get(), c, 8.0);
    const std::vector<MORSE_BAND_STATION> all = stations(band.get());
    ASSERT_LT(all[0].frequencyHz, -15000.0);
    ASSERT_GT(all[1].frequencyHz, 3000.0);
    for (const MORSE_BAND_STATION& s : all) {
        double at = 0.0, mirror = 0.0;
        for (size_t first = 0; first + 2048 <= x.size() / 2; first += 2048) {
            at += power_at(x, c, first, 2048, s.frequencyHz);
            mirror += power_at(x, c, first, 2048, -s.frequencyHz);
        }
        EXPECT_GT(at, 0.0);
        EXPECT_LT(mirror, 1e-4 * at) << s.frequencyHz;
    }
}

// The first key-down of each station starts at its firstCqSeconds, and
// cqCount counts the transmissions the stream has reached.
TEST(MorseBandStream, StationsStartKeyingWhenTheTruthSays)
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.stationCount = 6, c.minSpacingHz = 400.0, c.startSpreadSeconds = 10.0, c.answerShare = 0.5, c.addNoise = false;
    c.minSnrDb = c.maxSnrDb = 20.0;  // equal levels: no neighbour leaks over the threshold
    c.fadingShare = 0.0;             // and none starts in a fade
    Band band = make(c);
    const std::vector<float> x = render(band.get(), c, 12.0);
    const std::vector<MORSE_BAND_STATION> all = stations(band.get());
    constexpr size_t n = 64, hop = 4;
    for (const MORSE_BAND_STATION& s : all) {
        const double full = std::pow(c.zeroDbAmplitude * std::pow(10.0, s.snrDb / 20.0) * n / 4.0, 2.0);
        size_t first = 0;
        while (first + n <= x.size() && power_at(x, c, first, n, s.frequencyHz) < 0.25 * full)
            first += hop;
        ASSERT_LT(first + n, x.size()) << s.call << " never keyed";
        const double onset = (first + n / 2.0) / c.sampleRateHz;  // half covered: half the amplitude
        EXPECT_NEAR(onset, s.firstCqSeconds, 0.006) << s.call;
        EXPECT_EQ(s.cqCount > 0, s.firstCqSeconds < 12.0) << s.call;
    }
    std::vector<float> more(c.sampleRateHz * 60);
    morse_band_render(band.get(), more.data(), more.size());
    for (const MORSE_BAND_STATION& s : stations(band.get()))
        EXPECT_GE(s.cqCount, 3u) << s.call;  // a minute of transmissions up to ~10 s and pauses up to 9 s
}
