// The simulator's receive audio: its CW contacts, the keyed tone track
// under them, a keyer that takes over while it sends, and looped recordings.
#include "tci_sim_audio.h"

#include "tci_sim_band.h"

#include "tci_keying_reader.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

namespace {

constexpr uint32_t kRate = 8000;

TCI_SIM_OPTIONS options(TCI_SIM_SOURCE source, double snrDb = NAN)
{
    TCI_SIM_OPTIONS o;
    o.source = source, o.sampleRate = kRate, o.snrDb = std::isnan(snrDb) ? o.snrDb : snrDb;
    return o;
}

// `count` samples rendered in pieces of `piece`.
std::vector<float> render(TciSimAudio* audio, size_t count, size_t piece = 500)
{
    std::vector<float> out(count);
    for (size_t at = 0; at < out.size(); at += piece)
        audio->render(out.data() + at, std::min(piece, out.size() - at));
    return out;
}

double tone_power(const std::vector<float>& s, double hz)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kRate);
    double s1 = 0.0, s2 = 0.0;
    for (float x : s)
        s2 = std::exchange(s1, x + coeff * s1 - s2);
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / s.size();
}

MORSE_AUDIO_CONFIG keyed(double wpm)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = wpm, c.sampleRateHz = kRate;
    return c;
}

// Plays the track to its end in odd-sized pieces, as a stream would.
std::vector<float> play(TciSimCwTrack* track)
{
    std::vector<float> out;
    for (size_t guard = 0; guard < 10000 && !track->idle(); ++guard) {
        std::vector<float> piece(317, 0.0f);
        piece.resize(track->mix(piece.data(), piece.size()));
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

}  // namespace

// Word by word with word gaps, leaving out what has no code; each item at
// its own speed after its pause.
TEST(TciSimCwTrack, TextIsKeyedAtEachItemsSpeedAfterItsPause)
{
    for (auto [text, code] : {std::pair{"CQ  TEST", "-.-. --.- / - . ... -"}, {"E\xC3\xA4 #T", ". / -"}}) {
        TciSimCwTrack track;
        track.append(text, keyed(20));
        EXPECT_EQ(tci_keying::code(play(&track), kRate, 20), code) << text;
    }
    TciSimCwTrack track;
    track.append("M", keyed(20));
    track.append("M", keyed(40), 0.5);
    std::vector<tci_keying::Run> runs = tci_keying::runs(play(&track), kRate);
    if (!runs.empty() && !runs.front().keyDown)
        runs.erase(runs.begin());  // the block before the tone has risen
    ASSERT_EQ(runs.size(), 8u);    // dash gap dash, word gap and pause, dash gap dash, word gap
    EXPECT_TRUE(std::fabs(runs[0].ms - 180) <= 6 && std::fabs(runs[4].ms - 90) <= 6);
    EXPECT_NEAR(runs[3].ms, 7 * 60 + 500, 12);
}

// The tone is added to what is there until the track runs dry.
TEST(TciSimCwTrack, ToneIsAddedToWhatIsThereUntilTheTrackRunsDry)
{
    TciSimCwTrack track, alone;
    track.append("E", keyed(20)), alone.append("E", keyed(20));  // 60 ms dot and a 420 ms word gap
    std::vector<float> base(kRate, 0.25f), tone(kRate, 0.0f);
    EXPECT_NEAR(track.mix(base.data(), base.size()), 0.48 * kRate, 2);
    alone.mix(tone.data(), tone.size());
    for (size_t i = 0; i < base.size(); ++i)
        ASSERT_FLOAT_EQ(base[i], 0.25f + tone[i]) << i;
    EXPECT_TRUE(track.idle() && track.mix(base.data(), base.size()) == 0u);
}

// The first contact's two stations take turns at their own pitches; inside
// the first pause there is noise alone, here 20 dB apart.
TEST(TciSimAudio, ContactsAreHeardAtTheStationsPitchesInNoiseOfTheGivenRatio)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Qso), nullptr);
    const std::vector<float> s = render(&audio, 40 * kRate);
    const double noise = tone_power(s, 1500.0);
    for (size_t station : {0, 1})
        EXPECT_GT(tone_power(s, tci_sim_stations()[station].pitchHz), 20 * noise) << station;
    TciSimAudio loud(options(TCI_SIM_SOURCE::Qso, 0.0), nullptr), quiet(options(TCI_SIM_SOURCE::Qso, 20.0), nullptr);
    const std::vector<float> a = render(&loud, 20000), b = render(&quiet, 20000);
    const double power = std::inner_product(b.begin(), b.end(), b.begin(), 0.0);
    EXPECT_NEAR(std::inner_product(a.begin(), a.end(), a.begin(), 0.0) / power, 100.0, 10.0);
}

// Ramp samples at the end of the keyed audio stay below the reader's
// threshold; the ramp goes on from where it was. Speeds are held to 100 WPM.
TEST(TciSimAudio, KeyedTextReplacesTheBackgroundThenItResumes)
{
    TciSimAudio audio(options(TCI_SIM_SOURCE::Ramp), nullptr);
    const std::vector<float> first = render(&audio, 3);
    audio.key("TEST", 25);
    std::vector<float> keyedAudio;
    while (audio.keying()) {
        const std::vector<float> piece = render(&audio, 100);
        keyedAudio.insert(keyedAudio.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(tci_keying::code(keyedAudio, kRate, 25), "- . ... -");
    const std::vector<float> after = render(&audio, 2);
    EXPECT_GT(after[0], first[2]);
    EXPECT_NEAR(after[1] - after[0], 1.0f / 4096, 1e-7);

    audio.key("E", 500);  // a 12 ms dot and an 84 ms word gap
    render(&audio, 640);
    EXPECT_TRUE(audio.keying());
    render(&audio, 240);
    EXPECT_FALSE(audio.keying());
    audio.key("PARIS PARIS", 20);
    render(&audio, 800);
    EXPECT_TRUE(audio.stopKeying() == 5u && !audio.keying());  // the word under way does not count
}

TEST(TciSimAudio, RecordingLoopsOnItsFirstChannel)
{
    WAV_AUDIO wav;
    wav.channels = 2, wav.sampleRate = kRate;
    for (int i = 0; i < 10; ++i)
        wav.samples.insert(wav.samples.end(), {i / 10.0f, -1.0f});
    TciSimAudio audio(options(TCI_SIM_SOURCE::Wav), &wav);
    const std::vector<float> out = render(&audio, 25, 13);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_FLOAT_EQ(out[i], (i % 10) / 10.0f) << i;
}

// "--band": the audio is the band generator's, stations at their pitches
// and noise between them, from the first sample.
TEST(TciSimAudio, BandAudioIsABandOfStationsAtTheirPitches)
{
    TCI_SIM_OPTIONS o = options(TCI_SIM_SOURCE::Band);
    o.bandStations = 6, o.seed = 5;
    TciSimAudio audio(o, nullptr);
    const std::vector<float> s = render(&audio, 15 * kRate);

    TciSimBand band = tci_sim_make_band(tci_sim_audio_band_config(kRate, 6, 5));
    ASSERT_TRUE(band);
    std::vector<float> expected(s.size());
    morse_band_render(band.get(), expected.data(), expected.size());
    EXPECT_EQ(s, expected);

    ASSERT_EQ(morse_band_station_count(band.get()), 6u);
    MORSE_BAND_STATION loudest{};
    for (size_t i = 0; i < 6; ++i) {
        MORSE_BAND_STATION station;
        morse_band_get_station(band.get(), i, &station);
        if (station.fading == MORSE_BAND_FADING_NONE && station.snrDb > loudest.snrDb)
            loudest = station;
    }
    ASSERT_GT(loudest.wpm, 0.0);
    EXPECT_GT(tone_power(s, loudest.frequencyHz), 10 * tone_power(s, 3500.0)) << loudest.call;
}
