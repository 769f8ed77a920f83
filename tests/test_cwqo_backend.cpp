// The decoder backend through CWQoMorseBackend.h: pitch clamps, prefilter, decoding and restarts.
#include "CWQoMorseBackend.h"
#include "morse_audio_generator.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct BackendDeleter {
    void operator()(CWQO_BACKEND* b) const { cwqo_destroy(b); }
};
using Backend = std::unique_ptr<CWQO_BACKEND, BackendDeleter>;

Backend make_backend(double rate, double pitch = 600.0, double bandwidth = 50.0)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.sampleRate = rate, c.pitchHz = pitch, c.bandwidthHz = bandwidth;
    return Backend(cwqo_create(&c));
}

std::vector<float> morse(const std::string& text, double wpm, double leadS = 1.0, double tailS = 3.0)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = wpm, c.leadSeconds = leadS, c.tailSeconds = tailS;
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(c, text, &samples, nullptr, nullptr));
    return samples;
}

std::vector<float> sine(double hz, double rate, double seconds)
{
    std::vector<float> x(size_t(rate * seconds));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 0.5f * float(std::sin(2.0 * M_PI * hz * double(i) / rate));
    return x;
}

// The text of `samples` fed in blocks; `status` gets the last status.
std::string run(CWQO_BACKEND* b, const std::vector<float>& samples, size_t block, CWQO_STATUS* status = nullptr)
{
    std::string text;
    char buffer[256];
    for (size_t at = 0; at < samples.size(); at += block)
        text.append(buffer, cwqo_process(b, samples.data() + at, std::min(block, samples.size() - at), buffer,
                                         sizeof(buffer), status));
    return text;
}

std::string words(const std::string& text)
{
    return text_metrics::collapse_whitespace(text);
}

float input_level(double bandwidth, double hz)
{
    CWQO_STATUS status{};
    run(make_backend(48000, 600, bandwidth).get(), sine(hz, 48000, 2.0), 4800, &status);
    return status.inputLevel;
}

}  // namespace

// The receiver's configuration test decodes through non-finite values; these clamps are the backend's.
// Every entry tolerates null pointers.
TEST(CwqoConfig, NonFinitePitchIsClampedIntoTheRangeAndNullPointersAreTolerated)
{
    for (auto [pitch, expected] : {std::pair{NAN, 200.0}, {INFINITY, 1200.0}, {100.0, 200.0}}) {
        CWQO_STATUS status;
        cwqo_get_status(make_backend(48000, pitch).get(), &status);
        EXPECT_EQ(status.pitchHz, expected) << pitch;
    }

    char text[4] = "xyz";
    CWQO_STATUS status{};
    status.level = 5.0f, cwqo_configure(nullptr, nullptr), cwqo_reset(nullptr), cwqo_destroy(nullptr);
    cwqo_get_status(nullptr, &status);
    EXPECT_EQ(cwqo_process(nullptr, nullptr, 10, text, sizeof(text), nullptr) + cwqo_has_engine(nullptr), 0u);
    EXPECT_TRUE(text[0] == '\0' && status.level == 0.0f);
    Backend b(cwqo_create(nullptr));
    ASSERT_TRUE(b);
    cwqo_configure(b.get(), nullptr), cwqo_get_status(b.get(), nullptr), std::strcpy(text, "xyz");
    EXPECT_EQ(cwqo_process(b.get(), nullptr, 100, text, sizeof(text), &status), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(status.pitchHz, cwqo_default_config().pitchHz);  // the defaults
}

// Two equal band-pass sections: 0 dB at the pitch, 3 dB down geometrically about it, never under 120 Hz.
TEST(CwqoPrefilter, ZeroDbPeakAndNeverNarrowerThan120Hz)
{
    for (auto [bandwidth, q] : {std::pair{10.0, 5.0}, {300.0, 2.0}}) {
        const float peak = input_level(bandwidth, 600.0);
        EXPECT_NEAR(peak, 0.5 * M_SQRT1_2, 0.01) << bandwidth;
        for (double sign : {-1.0, 1.0}) {
            const double edge = 600.0 * (std::sqrt(1.0 + 0.25 / (q * q)) + sign * 0.5 / q);
            EXPECT_NEAR(input_level(bandwidth, edge) / peak, 0.5, 0.01) << bandwidth << " " << edge;
        }
    }
}

// A pitch moved by under half a hertz leaves the running filter alone; more restarts it.
TEST(CwqoPrefilter, RedesignsOnlyForChangesAboveHalfAHertz)
{
    CWQO_CONFIG c = cwqo_default_config();
    c.sampleRate = 8000;
    Backend steady(cwqo_create(&c)), moved(cwqo_create(&c));
    const std::vector<float> tone = sine(600.0, 8000, 1.0);
    auto level_after = [&](CWQO_BACKEND* b, size_t at) {
        CWQO_STATUS s;
        cwqo_process(b, tone.data() + at, 1000, nullptr, 0, &s);
        return s.inputLevel;
    };
    ASSERT_EQ(level_after(steady.get(), 0), level_after(moved.get(), 0));
    c.pitchHz = 600.3;
    cwqo_configure(moved.get(), &c);
    EXPECT_EQ(level_after(steady.get(), 1000), level_after(moved.get(), 1000));
    c.pitchHz = 600.6;
    cwqo_configure(moved.get(), &c);
    EXPECT_NE(level_after(steady.get(), 2000), level_after(moved.get(), 2000));
}

TEST(CwqoProcess, DecodesReportsTheEngineFiguresAndResets)
{
    Backend b = make_backend(8000);
    const std::vector<float> signal = morse("CQ CQ DE ZR1ABC ZR1ABC K", 20);
    const std::vector<float> first(signal.begin(), signal.begin() + signal.size() / 2);
    const std::vector<float> second(signal.begin() + signal.size() / 2, signal.end());
    CWQO_STATUS status;
    std::string text = run(b.get(), first, 1024, &status);
    EXPECT_NEAR(status.pitchHz, 600.0, 1.0);  // the tone's own frequency, followed
    EXPECT_NEAR(status.wpm, 20.0, 2.0);
    // The envelope's marks come out short of the keying, so the statistics speed reads high.
    EXPECT_GE(status.statWpm, 19.0);
    EXPECT_LE(status.statWpm, 27.0);
    EXPECT_GE(status.statQuality, 55.0f);
    EXPECT_EQ(status.signalPresent, 1);
    EXPECT_EQ(words(text + run(b.get(), second, 1024)), "CQ CQ DE ZR1ABC ZR1ABC K");
    cwqo_reset(b.get());  // a fresh engine and status; the configuration stays
    cwqo_get_status(b.get(), &status);
    EXPECT_EQ(status.wpm + status.statWpm + status.statQuality, 0.0);
    EXPECT_EQ(cwqo_has_engine(b.get()), 1);
    EXPECT_EQ(words(run(b.get(), signal, 1024)), "CQ CQ DE ZR1ABC ZR1ABC K");

    // Samples that are not numbers count as silence and huge ones are cut
    // down, in the lead-in and among the marks: nothing is poisoned.
    std::vector<float> spoiled = signal;
    const float bad[] = {NAN, INFINITY, -INFINITY, 1e30f, -3e38f};
    for (size_t i = 0; i < spoiled.size(); i += 4001)
        spoiled[i] = bad[(i / 4001) % 5];
    cwqo_reset(b.get());
    EXPECT_EQ(words(run(b.get(), spoiled, 1024, &status)), "CQ CQ DE ZR1ABC ZR1ABC K");
    EXPECT_TRUE(std::isfinite(status.level) && std::isfinite(status.inputLevel) && std::isfinite(status.statSnrDb));
}

// A pause between overs costs neither the end of the first nor the start of the second.
TEST(CwqoOvers, APauseKeepsBothOversWhole)
{
    for (auto [wpm, pauseS] : {std::pair{12.0, 1.0}, {40.0, 0.5}}) {
        std::vector<float> audio = morse("CQ CQ DE ZR1ABC K", wpm, 1.0, pauseS);
        const std::vector<float> second = morse("ZR1ABC DE ZR2XYZ 73 BK", wpm, 0.0, 3.0);
        audio.insert(audio.end(), second.begin(), second.end());
        EXPECT_EQ(words(run(make_backend(8000).get(), audio, 512)), "CQ CQ DE ZR1ABC K ZR1ABC DE ZR2XYZ 73 BK") << wpm;
    }
}
