#include "tci_sim_audio.h"

#include "tci_keying_reader.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

TCI_SIM_OPTIONS options(TCI_SIM_SOURCE source, uint32_t rate = 8000)
{
    TCI_SIM_OPTIONS o;
    o.source = source;
    o.sampleRate = rate;
    return o;
}

std::vector<float> render(TciSimAudio* audio, double seconds)
{
    std::vector<float> out(static_cast<size_t>(seconds * audio->sampleRate()));
    for (size_t at = 0; at < out.size(); at += 500)
        audio->render(out.data() + at, std::min<size_t>(500, out.size() - at));
    return out;
}

double tone_power(const std::vector<float>& s, double hz, double rate)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0.0, s2 = 0.0;
    for (float x : s) {
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / s.size();
}

double rms(const std::vector<float>& s, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double{s[i]} * s[i];
    return std::sqrt(sum / (end - begin));
}

}  // namespace

TEST(TciSimAudioContacts, TheFirstContactIsHeardAtBothStationsPitches)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Qso), nullptr);
    const std::vector<float> s = render(&audio, 40.0);
    const double noise = tone_power(s, 1500.0, 8000);
    for (size_t station : {0, 1})
        EXPECT_GT(tone_power(s, tci_sim_stations()[station].pitchHz, 8000), 20 * noise) << station;
}

TEST(TciSimAudioContacts, NoiseFollowsTheSignalToNoiseRatio)
{
    TCI_SIM_OPTIONS loud = options(TCI_SIM_SOURCE::Qso), quiet = loud;
    loud.snrDb = 0.0;
    quiet.snrDb = 20.0;
    TciSimAudio a(loud, nullptr), b(quiet, nullptr);
    const std::vector<float> sa = render(&a, 2.5), sb = render(&b, 2.5);  // inside the first pause
    EXPECT_GT(rms(sb, 0, sb.size()), 0.0);
    EXPECT_NEAR(rms(sa, 0, sa.size()) / rms(sb, 0, sb.size()), 10.0, 0.5);
}

TEST(TciSimAudioKeyer, KeyedTextReplacesTheBackgroundThenItResumes)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Ramp), nullptr);
    std::vector<float> first(3);
    audio.render(first.data(), first.size());
    audio.key("TEST", 25);
    EXPECT_TRUE(audio.keying());
    std::vector<float> keyed;
    while (audio.keying()) {
        std::vector<float> piece(100);
        audio.render(piece.data(), piece.size());
        keyed.insert(keyed.end(), piece.begin(), piece.end());
    }
    // Ramp samples at the end of the last piece stay below the reader's threshold.
    EXPECT_EQ(tci_keying::code(keyed, 8000, 25), "- . ... -");
    std::vector<float> after(2);
    audio.render(after.data(), after.size());
    EXPECT_GT(after[0], first[2]);  // the ramp goes on from where it was
    EXPECT_NEAR(after[1] - after[0], 1.0f / 4096, 1e-7);
}

TEST(TciSimAudioKeyer, SpeedIsClampedTo100Wpm)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Ramp), nullptr);
    audio.key("E", 500);  // at 100 WPM a 12 ms dot and an 84 ms word gap
    render(&audio, 0.080);
    EXPECT_TRUE(audio.keying());
    render(&audio, 0.030);
    EXPECT_FALSE(audio.keying());
}

TEST(TciSimAudioKeyer, StopDropsTheQueuedText)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Ramp), nullptr);
    audio.key("PARIS PARIS", 20);
    render(&audio, 0.1);
    EXPECT_EQ(audio.stopKeying(), 5u);
    EXPECT_FALSE(audio.keying());
    std::vector<float> next(2);
    audio.render(next.data(), next.size());
    EXPECT_NEAR(next[1] - next[0], 1.0f / 4096, 1e-7);
}

TEST(TciSimAudioWav, RecordingLoopsOnItsFirstChannel)
{
    WAV_AUDIO wav;
    wav.channels = 2;
    wav.sampleRate = 8000;
    for (int i = 0; i < 10; ++i) {
        wav.samples.push_back(i / 10.0f);
        wav.samples.push_back(-1.0f);
    }
    TciSimAudio audio(options(TCI_SIM_SOURCE::Wav), &wav);
    std::vector<float> out(25);
    audio.render(out.data(), 13);
    audio.render(out.data() + 13, 12);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_FLOAT_EQ(out[i], (i % 10) / 10.0f) << i;
}
