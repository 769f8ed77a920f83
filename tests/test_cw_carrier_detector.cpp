// Finding CW stations in the skimmer's working stream: keyed carriers are
// found where they are, noise and steady carriers are not, and a strong
// station's keying sidebands are not taken for stations.
#include "cw_carrier_detector.h"

#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 8000.0;
constexpr float kAmplitude = 0.05f;
using Detector = std::unique_ptr<CW_CARRIER_DETECTOR, decltype(&cw_carrier_detector_destroy)>;

struct Station {
    double hz;
    double snrDb;  // this station's carrier over the band's noise in 2500 Hz
    double wpm;
};

// Stations calling CQ over a common noise floor set for kAmplitude at
// `noiseSnrDb`.
std::vector<float> band(const std::vector<Station>& stations, double seconds, double noiseSnrDb, uint32_t seed = 3)
{
    std::vector<float> x(static_cast<size_t>(seconds * kRate), 0.0f);
    for (const Station& s : stations) {
        MORSE_AUDIO_CONFIG c = morse_audio_default_config();
        c.sampleRateHz = static_cast<uint32_t>(kRate), c.pitchHz = s.hz, c.wpm = s.wpm, c.leadSeconds = 0.2;
        c.amplitude = kAmplitude * std::pow(10.0, (s.snrDb - noiseSnrDb) / 20.0);
        std::vector<float> v;
        EXPECT_TRUE(morse_audio_generate(c, "CQ CQ DE DL2QZA DL2QZA K  CQ CQ DE DL2QZA DL2QZA K  CQ CQ DE DL2QZA K", &v,
                                         nullptr, nullptr));
        for (size_t i = 0; i < v.size() && i < x.size(); ++i)
            x[i] += v[i];
    }
    std::mt19937 rng(seed);
    morse_audio_add_noise(x.data(), x.size(), morse_audio_noise_sigma(kAmplitude, noiseSnrDb, 8000), &rng);
    return x;
}

// Feeds x in 20 ms blocks; returns the carriers of the last list, and the
// time of the first list that held a carrier near `firstHz` (or -1).
std::vector<CW_CARRIER> detect(const std::vector<float>& x, double firstHz = 0.0, double* firstSeconds = nullptr,
                               const std::vector<float>* im = nullptr)
{
    CW_CARRIER_DETECTOR_CONFIG config = cw_carrier_detector_default_config();
    if (im != nullptr)
        config.lowHz = -3200.0;
    Detector d(cw_carrier_detector_create(&config), cw_carrier_detector_destroy);
    std::vector<CW_CARRIER> last;
    if (firstSeconds)
        *firstSeconds = -1.0;
    for (size_t at = 0; at + 160 <= x.size(); at += 160) {
        if (!cw_carrier_detector_process(d.get(), x.data() + at, im ? im->data() + at : nullptr, 160))
            continue;
        last.assign(256, CW_CARRIER{});
        last.resize(cw_carrier_detector_get_carriers(d.get(), last.data(), last.size()));
        for (const CW_CARRIER& c : last) {
            if (firstSeconds && *firstSeconds < 0.0 && std::abs(c.frequencyHz - firstHz) < 10.0)
                *firstSeconds = double(at + 160) / kRate;
        }
    }
    return last;
}

}  // namespace

TEST(CarrierDetector, FindsAKeyedStationWhereItIsWithinASecondAndAHalf)
{
    for (double snr : {0.0, 10.0, 25.0}) {
        double first = 0.0;
        const std::vector<CW_CARRIER> found = detect(band({{1234.0, snr, 22.0}}, 6.0, snr), 1234.0, &first);
        ASSERT_EQ(found.size(), 1u) << snr << " dB";
        EXPECT_NEAR(found[0].frequencyHz, 1234.0, 3.0);
        EXPECT_NEAR(found[0].snrDb, snr, 4.0);
        EXPECT_GT(first, 0.0);
        EXPECT_LT(first, 1.5);
    }
}

TEST(CarrierDetector, NoiseAloneAndASteadyCarrierAreNoStationsAndNullHandlesAreHarmless)
{
    EXPECT_EQ(cw_carrier_detector_process(nullptr, nullptr, nullptr, 10), 0);
    EXPECT_EQ(cw_carrier_detector_get_carriers(nullptr, nullptr, 4), 0u);
    cw_carrier_detector_configure(nullptr, nullptr);
    cw_carrier_detector_reset(nullptr);
    cw_carrier_detector_destroy(nullptr);
    CW_CARRIER_DETECTOR_CONFIG config = cw_carrier_detector_default_config();
    Detector d(cw_carrier_detector_create(&config), cw_carrier_detector_destroy);
    std::mt19937 rng(11);
    std::vector<float> x(160);
    size_t lists = 0;
    size_t at = 0;
    for (int block = 0; block < 30 * 50; ++block) {
        for (float& v : x)
            v = 0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1500.0 * double(at++) / kRate));
        morse_audio_add_noise(x.data(), x.size(), 0.1, &rng);
        if (cw_carrier_detector_process(d.get(), x.data(), nullptr, x.size())) {
            ++lists;
            CW_CARRIER c[8];
            EXPECT_EQ(cw_carrier_detector_get_carriers(d.get(), c, 8), 0u) << "at " << double(at) / kRate << " s";
        }
    }
    EXPECT_GT(lists, 120u);  // five lists a second after the first second
}

TEST(CarrierDetector, StationsEightyHertzApartAreTwoAndSidebandsNone)
{
    const std::vector<CW_CARRIER> found =
        detect(band({{800.0, 25.0, 30.0}, {880.0, 8.0, 18.0}, {2000.0, 25.0, 40.0}}, 8.0, 25.0));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_NEAR(found[0].frequencyHz, 800.0, 3.0);
    EXPECT_NEAR(found[1].frequencyHz, 880.0, 3.0);
    EXPECT_NEAR(found[2].frequencyHz, 2000.0, 3.0);
}

TEST(CarrierDetector, AComplexStreamHasStationsBelowZero)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    std::vector<MORSE_KEYING> timeline;
    std::string skipped, error;
    ASSERT_TRUE(morse_audio_timeline(c, "CQ CQ DE G4ABC G4ABC K CQ CQ DE G4ABC G4ABC K", &timeline, &skipped, &error));
    // The keying on a complex carrier at -1500 Hz, in complex noise.
    std::vector<float> re, im;
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::mt19937 rng(5);
    for (const MORSE_KEYING& k : timeline) {
        for (size_t i = 0; i < static_cast<size_t>(k.durationMs * kRate / 1000.0); ++i) {
            const double phase = -2.0 * std::numbers::pi * 1500.0 * double(re.size()) / kRate;
            const float on = k.keyDown ? 1.0f : 0.0f;
            re.push_back(on * static_cast<float>(std::cos(phase)) + noise(rng));
            im.push_back(on * static_cast<float>(std::sin(phase)) + noise(rng));
        }
    }
    const std::vector<CW_CARRIER> found = detect(re, 0.0, nullptr, &im);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0].frequencyHz, -1500.0, 3.0);
}
