// The simulator's IQ stream: float32 I, Q frames at the rate asked, paced in
// real time, carrying a band of CW stations at their offsets from the
// centre, and the file that tells where they are.
#include "tci_sim_iq.h"

#include "TCIStreamInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <sstream>

namespace {

constexpr uint64_t kCentreHz = 7025000;

struct TRUTH_LINE {
    std::string call;
    double frequencyHz, wpm, snrDb, firstSeconds;
};

std::vector<TRUTH_LINE> read_truth(const std::string& path, std::string* header)
{
    std::ifstream in(path);
    std::vector<TRUTH_LINE> lines;
    std::getline(in, *header);
    for (std::string text; std::getline(in, text);) {
        std::istringstream fields(text);
        TRUTH_LINE line;
        if (fields >> line.call >> line.frequencyHz >> line.wpm >> line.snrDb >> line.firstSeconds)
            lines.push_back(line);
    }
    return lines;
}

// The complex samples of the frames due until `until`, ticked every 0.25 s.
std::vector<std::complex<float>> stream_until(TciSimIq* iq, double until)
{
    std::vector<std::complex<float>> samples;
    iq->start(0.0);
    for (double now = 0.25; now <= until + 1e-9; now += 0.25) {
        for (uint64_t due = iq->takeDue(now); due > 0; --due) {
            const std::vector<uint8_t> frame = iq->nextFrame();
            const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
            std::vector<float> pairs(2 * info.frameCount);
            const size_t n = tci_stream_iq(frame.data(), frame.size(), info, pairs.data(), info.frameCount);
            for (size_t i = 0; i < n; ++i)
                samples.emplace_back(pairs[2 * i], pairs[2 * i + 1]);
        }
    }
    return samples;
}

// Mean power at `hz` (negative: below the centre) over samples [from, to).
double power_at(const std::vector<std::complex<float>>& s, size_t from, size_t to, double hz, double rate)
{
    std::complex<double> sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += std::complex<double>(s[i]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * i / rate);
    return std::norm(sum) / static_cast<double>(to - from);
}

bool clear_of_stations(double hz, const std::vector<MORSE_BAND_STATION>& stations, double margin)
{
    return std::ranges::none_of(stations, [&](const auto& s) { return std::abs(s.frequencyHz - hz) < margin; });
}

}  // namespace

// Only the rates offered are taken; each comes in frames of its own, as
// many a second as the rate fills, 2048 complex samples each.
TEST(TciSimIq, FramesAreFloat32IqPairsAtTheRateAskedInRealTime)
{
    TciSimIq iq(5, 1);
    EXPECT_EQ(iq.takeDue(1.0), 0u);
    iq.start(0.0);
    EXPECT_TRUE(iq.running());
    EXPECT_EQ(iq.takeDue(1.0), 23u);  // 48000 / 2048 = 23.4
    const std::vector<uint8_t> frame = iq.nextFrame();
    const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
    EXPECT_TRUE(info.isIQFloat32);
    EXPECT_TRUE(info.type == kTCIStreamTypeIQ && info.format == 3u && info.channels == 2u && info.receiver == 0u);
    EXPECT_TRUE(info.sampleRate == 48000u && info.length == 4096u && info.frameCount == 2048u);
    EXPECT_EQ(frame.size(), 64u + 4u * 4096u);

    for (uint32_t refused : {44100u, 384000u, 0u})
        EXPECT_FALSE(iq.setSampleRate(refused, 1.0) || tci_sim_iq_rate_offered(refused)) << refused;
    ASSERT_TRUE(iq.setSampleRate(96000, 1.0));
    EXPECT_EQ(iq.sampleRate(), 96000u);
    EXPECT_EQ(iq.takeDue(2.0), 46u);  // paced afresh from the change
    const std::vector<uint8_t> faster = iq.nextFrame();
    EXPECT_EQ(parseStreamInfoFromData(faster.data(), faster.size()).sampleRate, 96000u);
    EXPECT_EQ(iq.stop(), 23u + 46u);
    EXPECT_EQ(iq.takeDue(3.0), 0u);
}

// Every station of the file lies in 0.9 of the band at the centre plus its
// offset; a steady one is heard there once it has begun, and neither at
// its mirror below the centre nor beside it. A file that cannot be written
// is reported by name.
TEST(TciSimIq, StationsOfTheTruthFileAreHeardAtTheirOffsets)
{
    TciSimIq iq(6, 3);
    const std::vector<MORSE_BAND_STATION> stations = iq.stations();
    ASSERT_EQ(stations.size(), 6u);
    const std::string path = testing::TempDir() + "tci_sim_iq_truth.txt";
    std::string error, header;
    ASSERT_TRUE(tci_sim_write_iq_truth(path, stations, kCentreHz, &error)) << error;
    const std::vector<TRUTH_LINE> truth = read_truth(path, &header);
    EXPECT_EQ(header, "# call frequency_hz wpm snr_db first_s");
    EXPECT_FALSE(tci_sim_write_iq_truth("/nonexistent-dir/truth.txt", stations, kCentreHz, &error));
    EXPECT_NE(error.find("/nonexistent-dir/truth.txt"), std::string::npos);
    ASSERT_EQ(truth.size(), stations.size());
    for (size_t i = 0; i < truth.size(); ++i) {
        EXPECT_EQ(truth[i].call, stations[i].call);
        EXPECT_NEAR(truth[i].frequencyHz, kCentreHz + stations[i].frequencyHz, 0.1);
        EXPECT_LE(std::abs(truth[i].frequencyHz - kCentreHz), 0.45 * 48000) << truth[i].call;
        EXPECT_TRUE(truth[i].wpm >= 15.0 && truth[i].wpm <= 40.0 && truth[i].snrDb >= 0.0 && truth[i].snrDb <= 25.0);
    }

    // The strongest steady station whose mirror and neighbourhood are free.
    const MORSE_BAND_STATION* heard = nullptr;
    for (const MORSE_BAND_STATION& s : stations)
        if (s.fading == MORSE_BAND_FADING_NONE && clear_of_stations(-s.frequencyHz, stations, 300.0) &&
            clear_of_stations(s.frequencyHz + 300.0, stations, 150.0) && (!heard || s.snrDb > heard->snrDb))
            heard = &s;
    ASSERT_NE(heard, nullptr);
    const std::vector<std::complex<float>> s = stream_until(&iq, heard->firstCqSeconds + 3.5);
    const size_t from = static_cast<size_t>(heard->firstCqSeconds * 48000);
    ASSERT_GE(s.size(), from + 3 * 48000);
    const double at = power_at(s, from, from + 3 * 48000, heard->frequencyHz, 48000);
    EXPECT_GT(at, 30.0 * power_at(s, from, from + 3 * 48000, -heard->frequencyHz, 48000)) << heard->call;
    EXPECT_GT(at, 30.0 * power_at(s, from, from + 3 * 48000, heard->frequencyHz + 300.0, 48000)) << heard->call;
    // Before its first key-down the station is not there.
    const size_t quiet = std::min<size_t>(from, 48000);
    if (quiet > 4800) {
        EXPECT_GT(at, 30.0 * power_at(s, from - quiet, from, heard->frequencyHz, 48000)) << heard->call;
    }
}
