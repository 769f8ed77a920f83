// The last thirty seconds of receive audio, kept for saving.
#include "cw_capture_ring.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<float> ramp(size_t count, float start)
{
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), start);
    return values;
}

std::vector<float> last(const std::vector<float>& a, size_t n)
{
    return {a.end() - std::ptrdiff_t(n), a.end()};
}

}  // namespace

// Blocks of any size, one longer than the ring too, leave the newest thirty
// seconds in order.
TEST(CaptureRing, HoldsTheLastThirtySecondsInOrder)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> audio = ramp(45 * 8000, 0.0f);
    for (size_t i = 0; i < 240000; i += 1000)
        cw_capture_append(&ring, audio.data() + i, 1000, 8000);
    EXPECT_TRUE(ring.count == 240000u && cw_capture_seconds(ring) == 30.0);
    EXPECT_EQ(cw_capture_samples(ring), ramp(240000, 0.0f));
    for (size_t i = 240000; i < audio.size(); i += 700)
        cw_capture_append(&ring, audio.data() + i, std::min<size_t>(700, audio.size() - i), 8000);
    EXPECT_EQ(cw_capture_samples(ring), last(audio, 240000));

    const std::vector<float> longer = ramp(250001, 0.0f);
    cw_capture_append(&ring, longer.data(), longer.size(), 8000);
    EXPECT_EQ(cw_capture_samples(ring), last(longer, 240000));
}

TEST(CaptureRing, ShortAudioIsHeldWholeAndANewRateOrAResetEmptiesTheRing)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> audio = ramp(12345, 1.0f);
    cw_capture_append(&ring, audio.data(), audio.size(), 48000);
    EXPECT_EQ(cw_capture_samples(ring), audio);
    cw_capture_append(&ring, audio.data(), 100, 24000);
    EXPECT_EQ(cw_capture_samples(ring), ramp(100, 1.0f));  // the 48 kHz audio is gone
    cw_capture_reset(&ring);
    EXPECT_TRUE(cw_capture_samples(ring).empty() && ring.storage.size() == 720000u);  // the storage is kept
}

TEST(CaptureRing, RefusesARateOfZeroAndIgnoresEmptyBlocks)
{
    CW_CAPTURE_RING ring;
    const float one = 1.0f;
    EXPECT_TRUE(cw_capture_append(&ring, &one, 1, 0) == CW_CAPTURE_SIZING::BadRate &&
                cw_capture_ensure_rate(nullptr, 8000) == CW_CAPTURE_SIZING::BadRate);
    EXPECT_TRUE(cw_capture_append(&ring, nullptr, 5, 8000) == CW_CAPTURE_SIZING::Ready &&
                cw_capture_append(&ring, &one, 0, 8000) == CW_CAPTURE_SIZING::Ready);
    EXPECT_TRUE(cw_capture_samples(ring).empty());
}
