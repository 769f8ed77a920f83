#include "tci_sim_cw_track.h"

#include "tci_keying_reader.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kRate = 8000;

MORSE_AUDIO_CONFIG config(double wpm)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = wpm;
    c.sampleRateHz = kRate;
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

TEST(TciSimCwTrackKeying, TextIsKeyedWordByWordWithWordGaps)
{
    TciSimCwTrack track;
    track.append("CQ  TEST", config(20));
    EXPECT_EQ(tci_keying::code(play(&track), kRate, 20), "-.-. --.- / - . ... -");
}

TEST(TciSimCwTrackKeying, ItemsPlayInOrderAtTheirOwnSpeedAfterTheirPause)
{
    TciSimCwTrack track;
    track.append("M", config(20));
    track.append("M", config(40), 0.5);
    std::vector<tci_keying::Run> runs = tci_keying::runs(play(&track), kRate);
    if (!runs.empty() && !runs.front().keyDown)
        runs.erase(runs.begin());  // the block before the tone has risen
    ASSERT_EQ(runs.size(), 8u);  // dash gap dash, word gap and pause, dash gap dash, word gap
    EXPECT_NEAR(runs[0].ms, 180, 6);
    EXPECT_NEAR(runs[4].ms, 90, 6);
    EXPECT_NEAR(runs[3].ms, 7 * 60 + 500, 12);
}

TEST(TciSimCwTrackMixing, ToneIsAddedToWhatIsThere)
{
    TciSimCwTrack track;
    track.append("T", config(20));
    std::vector<float> base(800, 0.25f), tone(800, 0.0f);
    track.mix(base.data(), base.size());
    TciSimCwTrack again;
    again.append("T", config(20));
    again.mix(tone.data(), tone.size());
    for (size_t i = 0; i < base.size(); ++i)
        ASSERT_FLOAT_EQ(base[i], 0.25f + tone[i]) << i;
}

TEST(TciSimCwTrackMixing, RunsDryWithFewerSamplesAndThenNone)
{
    TciSimCwTrack track;
    EXPECT_TRUE(track.idle());
    track.append("E", config(20));  // 60 ms dot and a 420 ms word gap
    std::vector<float> out(kRate, 0.0f);
    const size_t given = track.mix(out.data(), out.size());
    EXPECT_NEAR(given, 0.48 * kRate, 2);
    EXPECT_TRUE(track.idle());
    EXPECT_EQ(track.mix(out.data(), out.size()), 0u);
}

TEST(TciSimCwTrackClear, DropsWhatIsQueuedAndCountsIt)
{
    TciSimCwTrack track;
    track.append("AAAA BBB", config(20));
    track.append("CC", config(20));
    std::vector<float> out(100, 0.0f);
    track.mix(out.data(), out.size());
    EXPECT_EQ(track.clear(), 5u);
    EXPECT_TRUE(track.idle());
    EXPECT_EQ(track.mix(out.data(), out.size()), 0u);
}

TEST(TciSimCwTrackKeying, CharactersWithoutCodeAreLeftOut)
{
    TciSimCwTrack track;
    track.append("E\xC3\xA4 #T", config(20));
    EXPECT_EQ(tci_keying::code(play(&track), kRate, 20), ". / -");
}
