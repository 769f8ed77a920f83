// Small parts of the decoder backend whose faults its decoding would hide.
#include "cwqo_envelope_statistics.h"
#include "cwqo_lock.h"
#include "cwqo_prefilter.h"
#include "cwqo_presence.h"
#include "cwqo_sample_ring.h"
#include "cwqo_tone_offset.h"
#include "cw_text_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string take(CW_TEXT_QUEUE* q, size_t capacity)
{
    std::string buffer(capacity, 'x');
    const size_t n = cw_text_queue_deliver(q, buffer.data(), capacity);
    EXPECT_EQ(buffer.c_str(), buffer.substr(0, n)) << "terminator after the count";
    return buffer.substr(0, n);
}

std::vector<float> contents(const CWQO_SAMPLE_RING& ring)
{
    std::vector<float> v;
    for (size_t i = 0; i < ring.count; ++i)
        v.push_back(cwqo_ring_at(ring, i));
    return v;
}

}  // namespace

TEST(CwqoSampleRing, DropsTheOldestWhenFullAndPopsWholeRequestsAcrossTheWrap)
{
    CWQO_SAMPLE_RING ring;
    cwqo_ring_init(&ring, 4);
    float out[5] = {};
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})
        cwqo_ring_append(&ring, &v, 1);
    EXPECT_EQ(contents(ring), (std::vector<float>{3.0f, 4.0f, 5.0f, 6.0f}));
    EXPECT_FALSE(cwqo_ring_pop_front(&ring, out, 5));  // more than held: nothing moves
    ASSERT_TRUE(cwqo_ring_pop_front(&ring, out, 3));
    EXPECT_EQ(std::vector<float>(out, out + 3), (std::vector<float>{3.0f, 4.0f, 5.0f}));
    EXPECT_EQ(contents(ring), (std::vector<float>{6.0f}));

    // Appended in one call: across the end of the storage, and more than
    // it holds, of which only the newest stay.
    const float run[] = {7.0f, 8.0f, 9.0f};
    cwqo_ring_append(&ring, run, 3);
    EXPECT_EQ(contents(ring), (std::vector<float>{6.0f, 7.0f, 8.0f, 9.0f}));
    cwqo_ring_append(&ring, run, 2);
    EXPECT_EQ(contents(ring), (std::vector<float>{8.0f, 9.0f, 7.0f, 8.0f}));
    ASSERT_TRUE(cwqo_ring_pop_front(&ring, out, 4));
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{8.0f, 9.0f, 7.0f, 8.0f}));
    const float many[] = {10.0f, 11.0f, 12.0f, 13.0f, 14.0f, 15.0f};
    cwqo_ring_append(&ring, many, 6);
    EXPECT_EQ(contents(ring), (std::vector<float>{12.0f, 13.0f, 14.0f, 15.0f}));
    cwqo_ring_clear(&ring);
    EXPECT_TRUE(contents(ring).empty());
}

// What does not fit a buffer waits for the next; overflow drops the oldest bytes.
TEST(CwqoTextQueue, SmallBuffersGetEverythingInOrderOnceAndOverflowKeepsTheNewest)
{
    CW_TEXT_QUEUE q;
    cw_text_queue_clear(&q);
    cw_text_queue_push(&q, "CQ DE", 5);
    char c = 'x';
    EXPECT_EQ(cw_text_queue_deliver(&q, nullptr, 10) + cw_text_queue_deliver(&q, &c, 0), 0u);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(take(&q, 1), "");
    EXPECT_EQ(take(&q, 3), "CQ");
    cw_text_queue_push(&q, " K", 2);
    EXPECT_EQ(take(&q, 2), " ");
    EXPECT_EQ(take(&q, 100), "DE K");
    EXPECT_EQ(take(&q, 100), "");
    const std::string old(kCWTextQueueBytes, 'a');
    cw_text_queue_push(&q, old.data(), old.size());
    cw_text_queue_push(&q, "XYZ", 3);
    const std::string all = take(&q, kCWTextQueueBytes + 1);
    ASSERT_EQ(all.size(), kCWTextQueueBytes);
    EXPECT_EQ(all.substr(all.size() - 4), "aXYZ");
}

TEST(CwqoLockReport, FiguresThatContradictTheGradeLowerOrResetIt)
{
    const struct {
        float quality, cost, engineWpm;
        int32_t shown;
    } cases[] = {// the envelope reads 20 WPM
                 {70.0f, 0.9f, 20.0f, 2}, {40.0f, 0.9f, 20.0f, 1}, {30.0f, 0.9f, 20.0f, 0}, {70.0f, 0.9f, 27.0f, 0},
                 {70.0f, 0.9f, 25.0f, 2}, {70.0f, 1.2f, 25.0f, 1}, {70.0f, 10.0f, 20.0f, 0}};
    for (const auto& k : cases) {
        CWQO_LOCK lock{2, 0, 0.0};
        const CWQO_LOCK_EVIDENCE e{20.0, k.quality, 0.4f, k.cost, k.engineWpm, 12.0, 50.0};
        EXPECT_EQ(cwqo_lock_report(&lock, 2, e), k.shown) << k.quality << " " << k.cost << " " << k.engineWpm;
        EXPECT_EQ(lock.state, k.shown == 0 ? 0 : 2);
    }
}

namespace {

// Linear-interpolated percentile of a plain sorted copy, as the history
// must give it.
float reference_quantile(std::vector<float> v, double q)
{
    std::sort(v.begin(), v.end());
    const size_t last = v.size() - 1;
    const double p = q * static_cast<double>(last);
    const size_t i = std::min(static_cast<size_t>(std::floor(p)), last);
    const size_t j = std::min(i + 1, last);
    const double f = p - static_cast<double>(i);
    return static_cast<float>(static_cast<double>(v[i]) * (1.0 - f) + static_cast<double>(v[j]) * f);
}

}  // namespace

// Commits of a few values, of many (past a quarter of the history) and of none; repeated values, then
// distinct values closer together than one percent (so many share a value range); a full ring that drops
// its oldest, a commit of more values than the history holds, appends not yet committed, and a clear;
// a level that climbs through the binades until the lowest ones empty, then falls back: every percentile
// stays that of a sorted copy of the committed values.
TEST(CwqoEnvelopeHistory, PercentilesEqualThoseOfASortedCopyOfTheHeldValues)
{
    {
        SCOPED_TRACE("climbing and falling level");
        CWQO_ENVELOPE_HISTORY history;
        cwqo_history_init(&history, 300);
        std::vector<float> held;
        for (int shift : {-20, -16, -12, -8, -4, 0, 0, 0, -18, -6, -2, -2, -2, -2, -19}) {
            for (int i = 0; i < 100; ++i) {
                const float v = std::ldexp(1.0f + 0.01f * static_cast<float>(i % 13), shift);
                cwqo_history_append(&history, &v, 1);
                held.push_back(v);
            }
            cwqo_history_commit(&history);
            if (held.size() > 300)
                held.erase(held.begin(), held.end() - 300);
            for (double q : {0.0, 0.2, 0.5, 0.95})
                ASSERT_EQ(cwqo_history_quantile(history, q), reference_quantile(held, q)) << shift << ", q " << q;
        }
    }
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close values" : "repeated values");
        const size_t capacity = close ? 500 : 2000;
        CWQO_ENVELOPE_HISTORY history;
        cwqo_history_init(&history, capacity);
        std::mt19937 rng(close ? 5 : 11);
        std::uniform_int_distribution<int> level(0, 60);
        std::uniform_real_distribution<float> near(1.0f, 1.004f);
        std::vector<float> held;
        const auto commit = [&](size_t n) {
            std::vector<float> batch;
            for (size_t i = 0; i < n; ++i) {
                const float v = close ? (i % 5 == 0 ? 0.0f : near(rng)) : static_cast<float>(level(rng)) * 0.125f;
                batch.push_back(v);
                held.push_back(v);
                if (held.size() > capacity)
                    held.erase(held.begin());
            }
            cwqo_history_append(&history, batch.data(), batch.size());
            cwqo_history_commit(&history);
            ASSERT_EQ(cwqo_history_size(history), held.size()) << n;
            for (double q : {0.0, 0.2, 0.5, 0.77, 0.9, 0.95, 1.0})
                ASSERT_TRUE(held.empty() || cwqo_history_quantile(history, q) == reference_quantile(held, q))
                    << "after " << n << ", q " << q;
        };
        if (close) {
            commit(300);
            const float median = cwqo_history_quantile(history, 0.5);
            const std::vector<float> high(50, 9.0f);
            cwqo_history_append(&history, high.data(), high.size());
            EXPECT_EQ(cwqo_history_quantile(history, 0.5), median);
            cwqo_history_clear(&history);
            held.clear();
            EXPECT_EQ(cwqo_history_quantile(history, 0.5), 0.0f);
            commit(1234);  // more than the ring holds, in one commit
            for (int round = 0; round < 40; ++round)
                commit(37);
        } else {
            for (int round = 0; round < 30; ++round)
                for (size_t batch : {1, 7, 0, 40, 130, 3, 300, 17, 64, 129, 2, 90})
                    commit(batch);
        }
    }
}

// Runs of every length across the chunks the key-down pass skips whole, in
// both pieces of a wrapped ring: the key-down share and the dot length are
// those of a sample-by-sample count.
TEST(CwqoEnvelopeStatistics, RunLengthsAndKeyDownShareMatchASampleBySampleCount)
{
    CWQO_ENVELOPE_HISTORY history;
    cwqo_history_init(&history, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> length(1, 300);
    std::uniform_int_distribution<int> piece(1, 700);
    std::uniform_real_distribution<float> jitter(0.0f, 0.02f);
    bool down = false;
    int left = 0;
    int checked = 0;
    // Pieces of any size committed one by one, the ring wrapping many
    // times: the figures are those of the values held after each commit.
    std::vector<float> values;
    for (size_t n = 0; n < 4 * kCwqoHistorySamples;) {
        values.clear();
        for (int k = piece(rng); k > 0; --k, ++n) {
            if (left == 0) {
                left = length(rng);
                down = !down;
            }
            --left;
            values.push_back(down ? 1.0f + jitter(rng) : jitter(rng));
        }
        cwqo_history_append(&history, values.data(), values.size());
        cwqo_history_commit(&history);
        if (cwqo_history_size(history) <= kCwqoStatisticsMinimum)
            continue;
        const CWQO_ENVELOPE_FIGURES figures = cwqo_envelope_statistics(history, 5.0, 80.0, &runs);

        std::vector<float> marks, spaces;
        size_t onCount = 0, runLength = 0;
        bool runOn = cwqo_ring_at(history.ring, 0) >= figures.keyThreshold;
        for (size_t i = 0; i <= history.ring.count; ++i) {
            const bool end = i == history.ring.count;
            const bool on = !end && cwqo_ring_at(history.ring, i) >= figures.keyThreshold;
            onCount += on ? 1 : 0;
            if (end || on != runOn) {
                if (runLength >= kCwqoMinimumRun)
                    (runOn ? marks : spaces).push_back(static_cast<float>(runLength * 0.25));
                runLength = 0;
                runOn = on;
            }
            ++runLength;
        }
        ASSERT_GT(figures.keyThreshold, 0.02f);
        ASSERT_EQ(figures.onRatio,
                  static_cast<float>(static_cast<double>(onCount) / static_cast<double>(history.ring.count)));
        ASSERT_EQ(runs.spaces, spaces);
        std::vector<float> sortedMarks = marks;
        std::sort(sortedMarks.begin(), sortedMarks.end());
        std::sort(runs.marks.begin(), runs.marks.end());
        ASSERT_EQ(runs.marks, sortedMarks);
        const double dotMs = cwqo_dot_length_ms(&marks);
        ASSERT_EQ(figures.wpm, dotMs >= 12.0 && dotMs <= 250.0 ? 1200.0 / dotMs : 0.0);
        checked += figures.wpm > 0.0 ? 1 : 0;
    }
    EXPECT_GT(checked, 50);  // with a speed, so that the marks were compared too
}

// One bin per 5 ms value: the spread is that of a selection from the bins
// held, the floor from all of them and the peak from the newest 0.8 s, as
// old bins leave both.
TEST(CwqoPresence, SpreadIsThatOfTheHeldBinsAsTheyComeAndGo)
{
    CWQO_PRESENCE presence;
    cwqo_presence_reset(&presence);
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> level(1, 400);
    std::vector<float> bins;
    const auto pick = [](std::vector<float> v, double q) {
        const auto k = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        return v[k];
    };
    for (int n = 0; n < 2000; ++n) {
        // Loud keying for a while, then quieter: the verdict changes.
        const float scale = n < 1200 ? 1e-3f : 1e-4f;
        const float v = static_cast<float>(level(rng) % (n < 1200 ? 400 : 3) + 1) * scale;
        cwqo_presence_add(&presence, &v, 1, kCwqoPresenceBinMs);
        bins.push_back(v);
        if (bins.size() > kCwqoPresenceBins)
            bins.erase(bins.begin());
        cwqo_presence_update(&presence, kCwqoPresenceOnDb, kCwqoPresenceOffDb);
        if (bins.size() < kCwqoPresenceMinimumBins)
            continue;
        const size_t recent = std::min(bins.size(), kCwqoPresencePeakBins);
        const float floor = std::max(pick(bins, 0.2), 1e-7f);
        const float peak = pick(std::vector<float>(bins.end() - static_cast<std::ptrdiff_t>(recent), bins.end()), 0.95);
        ASSERT_EQ(presence.spreadDb, 20.0f * std::log10(peak / floor)) << "bin " << n;
    }

    // Quarter-millisecond values in blocks of any length, a bin filling
    // across them, give what the same values one at a time give.
    CWQO_PRESENCE single, blocks;
    cwqo_presence_reset(&single);
    cwqo_presence_reset(&blocks);
    std::uniform_int_distribution<int> blockLength(0, 90);
    for (int round = 0; round < 300; ++round) {
        std::vector<float> values(static_cast<size_t>(blockLength(rng)));
        for (float& v : values)
            v = static_cast<float>(level(rng)) * 1e-3f;
        if (round % 7 == 3 && !values.empty())
            values[0] = NAN;
        for (const float& v : values)
            cwqo_presence_add(&single, &v, 1, 0.25);
        cwqo_presence_add(&blocks, values.data(), values.size(), 0.25);
        ASSERT_EQ(cwqo_presence_update(&blocks, kCwqoPresenceOnDb, kCwqoPresenceOffDb),
                  cwqo_presence_update(&single, kCwqoPresenceOnDb, kCwqoPresenceOffDb));
        ASSERT_EQ(blocks.spreadDb, single.spreadDb) << "round " << round;
    }
    EXPECT_EQ(blocks.count, kCwqoPresenceBins);
}

// The chain sample by sample, as written: DC blocker, both sections in
// transposed direct form II, a sample picked each time the phase passes 1.
std::vector<double> chain_by_sample(const CWQO_CONDITIONER& designed, const std::vector<float>& in, double step)
{
    double prevIn = 0.0, prevOut = 0.0, phase = 0.0;
    double z[2][2] = {};
    std::vector<double> out;
    for (float x : in) {
        double u = x - prevIn + 0.995 * prevOut;
        prevIn = x, prevOut = u;
        for (int k = 0; k < 2; ++k) {
            const CWQO_BIQUAD& s = designed.sections[k];
            const double y = s.b0 * u + z[k][0];
            z[k][0] = s.b1 * u - s.a1 * y + z[k][1];
            z[k][1] = s.b2 * u - s.a2 * y;
            u = y;
        }
        for (phase += step; phase >= 1.0; phase -= 1.0)
            out.push_back(u);
    }
    return out;
}

// At the usual rates, at one that does not divide evenly, at rates whose
// picks lie further apart than the chain's stretch tables reach, and below
// 4000 Hz where a sample is picked twice; in blocks of one sample up to
// thousands, so that stretches end at block edges: the same samples are
// picked as sample by sample, and their values agree to float precision.
TEST(CwqoConditioner, PicksWhatTheChainGivesSampleBySample)
{
    for (const double rate : {8000.0, 12000.0, 44100.0, 48000.0, 384000.0, 3000.0}) {
        SCOPED_TRACE(rate);
        auto c = std::make_unique<CWQO_CONDITIONER>();
        cwqo_conditioner_design(c.get(), rate, 700.0, 150.0);
        std::mt19937 rng(7);
        std::normal_distribution<float> noise(0.0f, 0.3f);
        std::vector<float> in(static_cast<size_t>(rate * 2.0));
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = noise(rng) + 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 700.0 * double(i) / rate)) + 0.2f;
        const double step = 4000.0 / rate;
        const std::vector<double> want = chain_by_sample(*c, in, step);
        std::vector<float> got(want.size() + 8);
        size_t written = 0;
        const size_t blocks[] = {1, 5, 64, 2048, 333, 10007};
        for (size_t at = 0, b = 0; at < in.size(); ++b) {
            const size_t n = std::min(blocks[b % 6], in.size() - at);
            written += cwqo_conditioner_run(c.get(), in.data() + at, n, step, got.data() + written);
            at += n;
        }
        ASSERT_EQ(written, want.size());
        double largest = 0.0;
        for (double v : want)
            largest = std::max(largest, std::fabs(v));
        for (size_t i = 0; i < written; ++i)
            ASSERT_NEAR(got[i], want[i], 1e-6 * largest) << "sample " << i;
    }
}

namespace {

// Two seconds of a tone at the engine rate, with a sample that is not finite.
std::vector<float> tone_at(double hz)
{
    std::vector<float> samples(8000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 4000.0));
    samples[1234] = NAN;
    return samples;
}

}  // namespace

// A tone above the pitch reads positive, one below negative, whatever the
// blocks the passes take; a retune moves the reading at once.
TEST(CwqoToneOffset, ReadsTheToneAgainstThePitchAndARetuneAtOnce)
{
    for (const double hz : {740.0, 660.0}) {
        SCOPED_TRACE(hz);
        const std::vector<float> samples = tone_at(hz);
        std::vector<float> readings;
        for (const size_t block : {size_t{171}, size_t{1}, samples.size()}) {
            CWQO_TONE_OFFSET offset;
            cwqo_tone_offset_reset(&offset, 700.0);
            for (size_t at = 0; at < samples.size(); at += block) {
                CWQO_TONE_OFFSET_PASS pass = cwqo_tone_offset_begin(offset);
                for (size_t i = at; i < std::min(at + block, samples.size()); ++i)
                    if (std::isfinite(samples[i]))
                        cwqo_tone_offset_step(&pass, samples[i]);
                cwqo_tone_offset_end(&offset, pass);
            }
            readings.push_back(cwqo_tone_offset_hz(offset));
            cwqo_tone_offset_tune(&offset, 720.0);
            EXPECT_NEAR(cwqo_tone_offset_hz(offset), hz - 720.0, 2.0);
        }
        for (float r : readings)
            EXPECT_NEAR(r, hz - 700.0, 2.0);
    }
    CWQO_TONE_OFFSET silent;
    cwqo_tone_offset_reset(&silent, 700.0);
    EXPECT_EQ(cwqo_tone_offset_hz(silent), 0.0f);
}
