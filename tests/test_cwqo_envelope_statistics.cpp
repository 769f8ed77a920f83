// The backend's own speed, SNR and quality figures from its envelope.
#include "cwqo_envelope_statistics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A keyed envelope at 4000 Hz: '.' dot, '-' dash, ' ' element gap, '|'
// letter gap, each unit dotMs long.
void key(CWQO_ENVELOPE_HISTORY* h, const std::string& pattern, double dotMs, float on, float off)
{
    const int unit = static_cast<int>(dotMs * 4.0);
    for (char c : pattern) {
        const int units = c == '-' ? 3 : (c == '|' ? 3 : 1);
        const float level = (c == '.' || c == '-') ? on : off;
        for (int i = 0; i < units * unit; ++i)
            cwqo_history_append(h, level);
    }
    cwqo_history_commit(h);
}

}  // namespace

TEST(CwqoDotLength, MedianOfTheShortestMarks)
{
    std::vector<float> marks = {60, 60, 180, 60, 180};
    EXPECT_DOUBLE_EQ(cwqo_dot_length_ms(&marks), 60.0);
    std::vector<float> eight = {180, 50, 60, 180, 70, 180, 80, 180};  // shortest four: 50 60 70 80
    EXPECT_DOUBLE_EQ(cwqo_dot_length_ms(&eight), 65.0);
    std::vector<float> three = {60, 60, 180};
    EXPECT_DOUBLE_EQ(cwqo_dot_length_ms(&three), 0.0);
}

TEST(CwqoEnvelopeStatistics, CleanKeyingAtTwentyWpm)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    key(&h, "- . - .|- - . -|. . .|- - . -| - . - .|", 60.0, 1.0f, 0.01f);
    const CWQO_ENVELOPE_FIGURES f = cwqo_envelope_statistics(h, 12.0, 50.0, &runs);
    EXPECT_NEAR(f.wpm, 20.0, 0.5);
    EXPECT_FLOAT_EQ(f.snrDb, 40.0f);  // 1.0 over 0.01
    EXPECT_GT(f.quality, 70.0f);
    EXPECT_GT(f.onRatio, 0.3f);
    EXPECT_LT(f.onRatio, 0.7f);
    EXPECT_GT(f.keyThreshold, 0.01f);
}

TEST(CwqoEnvelopeStatistics, SpeedOutsideTheRangeLowersQuality)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    key(&h, "- . - .|- - . -|. . .|- - . -|", 60.0, 1.0f, 0.01f);
    const float inRange = cwqo_envelope_statistics(h, 12.0, 50.0, &runs).quality;
    const float outOfRange = cwqo_envelope_statistics(h, 30.0, 50.0, &runs).quality;
    EXPECT_NEAR(outOfRange, inRange * 0.55f, 0.01f);
}

TEST(CwqoEnvelopeStatistics, FlatNoiseHasNoSpeed)
{
    CWQO_ENVELOPE_HISTORY h;
    cwqo_history_init(&h, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    for (int i = 0; i < 4000; ++i)
        cwqo_history_append(&h, 0.02f);
    cwqo_history_commit(&h);
    const CWQO_ENVELOPE_FIGURES f = cwqo_envelope_statistics(h, 12.0, 50.0, &runs);
    EXPECT_EQ(f.wpm, 0.0);
    EXPECT_FLOAT_EQ(f.snrDb, 0.0f);
}
