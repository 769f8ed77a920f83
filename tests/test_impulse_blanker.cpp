// Impulse blanker: audio in, the same audio 4 ms later out, silenced where a crash struck.
#include "impulse_blanker.h"
#include "morse_audio_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

struct BlankerDeleter {
    void operator()(IMPULSE_BLANKER* b) const { impulse_blanker_destroy(b); }
};
using Blanker = std::unique_ptr<IMPULSE_BLANKER, BlankerDeleter>;

constexpr uint32_t kRate = 48000;

// 20 WPM at 700 Hz over white noise, with crashes and a second station as asked.
std::vector<float> band(double snrDb, double crashesPerSecond, bool neighbour = false)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.pitchHz = 700.0, c.sampleRateHz = kRate, c.addNoise = true, c.snrDb = snrDb, c.qrnRate = crashesPerSecond;
    c.qrmEnabled = neighbour, c.qrmOffsetHz = 500.0, c.qrmLevelDb = 10.0;  // right on a watched band
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(c, "CQ CQ DE ZR1ABC ZR1ABC K", &samples, nullptr, nullptr));
    return samples;
}

int64_t blanked_ms(std::vector<float> samples)
{
    const IMPULSE_BLANKER_CONFIG c{.sampleRate = float(kRate), .pitchHz = 700.0f};
    Blanker b(impulse_blanker_create(&c));
    impulse_blanker_process(b.get(), samples.data(), samples.data(), int(samples.size()));
    IMPULSE_BLANKER_STATUS st;
    impulse_blanker_get_status(b.get(), &st);
    return st.blankedMs;
}

TEST(ImpulseBlanker, SilencesCrashesAndNothingElse)
{
    // Two crashes a second, most of them found, each silenced for 8 ms.
    const std::vector<float> crashes = band(10.0, 2.0);
    const double seconds = double(crashes.size()) / kRate;
    const int64_t ms = blanked_ms(crashes);
    EXPECT_GT(ms, int64_t(2.0 * seconds * 0.6 * 8.0));
    EXPECT_LE(ms, int64_t(2.0 * seconds * 8.0));
    // A keyed tone's edges, strong or weak, and a louder station on a watched band are no crashes.
    for (double snr : {40.0, 10.0, -6.0})
        EXPECT_EQ(blanked_ms(band(snr, 0.0)), 0) << snr;
    EXPECT_LE(blanked_ms(band(10.0, 0.0, true)), 8);  // one edge that met a noise peak at most
}

TEST(ImpulseBlanker, PassesTheAudioFourMillisecondsLate)
{
    const IMPULSE_BLANKER_CONFIG c{.sampleRate = 8000.0f, .pitchHz = 600.0f};
    Blanker b(impulse_blanker_create(&c));
    std::vector<float> in(800), out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = std::sin(0.1f * float(i));
    for (size_t at = 0; at < in.size(); at += 7)  // pieces of any size make one stream
        impulse_blanker_process(b.get(), in.data() + at, out.data() + at, int(std::min<size_t>(7, in.size() - at)));
    for (size_t i = 32; i < out.size(); ++i)
        ASSERT_FLOAT_EQ(out[i], in[i - 32]) << i;
    // Without a blanker the audio passes as it is; bad samples become silence.
    float x = 0.25f;
    impulse_blanker_process(nullptr, &x, &x, 1);
    EXPECT_EQ(x, 0.25f);
    std::vector<float> bad(64, NAN);
    impulse_blanker_process(b.get(), bad.data(), bad.data(), 64);
    EXPECT_EQ(bad[63], 0.0f);
    IMPULSE_BLANKER_STATUS st;
    impulse_blanker_get_status(nullptr, &st);
    EXPECT_EQ(st.blankedMs, 0);
}

}  // namespace
