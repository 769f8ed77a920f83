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

TEST(CaptureRing, HoldsExactlyThirtySecondsAndWrapsAfterThem)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> full = ramp(240000, 0.0f);
    for (size_t i = 0; i < full.size(); i += 1000)
        cw_capture_append(&ring, full.data() + i, 1000, 8000);
    EXPECT_EQ(ring.count, 240000u);
    EXPECT_EQ(ring.writeIndex, 0u);
    EXPECT_DOUBLE_EQ(cw_capture_seconds(ring), 30.0);
    const float next = 240000.0f;
    cw_capture_append(&ring, &next, 1, 8000);
    const std::vector<float> held = cw_capture_samples(ring);
    ASSERT_EQ(held.size(), 240000u);
    EXPECT_EQ(held.front(), 1.0f);
    EXPECT_EQ(held.back(), 240000.0f);
}

TEST(CaptureRing, FortyFiveSecondsLeaveTheLastThirtyInOrder)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> audio = ramp(45 * 8000, 0.0f);
    for (size_t i = 0; i < audio.size(); i += 700)
        cw_capture_append(&ring, audio.data() + i, std::min<size_t>(700, audio.size() - i), 8000);
    const std::vector<float> held = cw_capture_samples(ring);
    ASSERT_EQ(held.size(), 240000u);
    EXPECT_EQ(held, std::vector<float>(audio.end() - 240000, audio.end()));
}

TEST(CaptureRing, ABlockLongerThanTheRingKeepsItsNewestPart)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> first = ramp(1000, -1000.0f);
    cw_capture_append(&ring, first.data(), first.size(), 8000);
    const std::vector<float> audio = ramp(250001, 0.0f);
    cw_capture_append(&ring, audio.data(), audio.size(), 8000);
    EXPECT_EQ(cw_capture_samples(ring), std::vector<float>(audio.end() - 240000, audio.end()));
}

TEST(CaptureRing, LessThanThirtySecondsIsHeldWhole)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> audio = ramp(12345, 1.0f);
    cw_capture_append(&ring, audio.data(), audio.size(), 48000);
    EXPECT_EQ(ring.storage.size(), 1440000u);
    EXPECT_EQ(cw_capture_samples(ring), audio);
}

TEST(CaptureRing, ANewRateEmptiesTheRingAndAResetKeepsTheStorage)
{
    CW_CAPTURE_RING ring;
    const std::vector<float> audio = ramp(500, 1.0f);
    cw_capture_append(&ring, audio.data(), audio.size(), 48000);
    cw_capture_append(&ring, audio.data(), 100, 24000);
    EXPECT_EQ(ring.sampleRate, 24000u);
    EXPECT_EQ(ring.count, 100u);
    cw_capture_reset(&ring);
    EXPECT_EQ(ring.count, 0u);
    EXPECT_EQ(ring.storage.size(), 720000u);
    EXPECT_TRUE(cw_capture_samples(ring).empty());
}

TEST(CaptureRing, RefusesNothingToDoAndARateOfZero)
{
    CW_CAPTURE_RING ring;
    const float one = 1.0f;
    EXPECT_EQ(cw_capture_append(&ring, &one, 1, 0), CW_CAPTURE_SIZING::BadRate);
    EXPECT_EQ(cw_capture_append(&ring, nullptr, 5, 8000), CW_CAPTURE_SIZING::Ready);
    EXPECT_EQ(cw_capture_append(&ring, &one, 0, 8000), CW_CAPTURE_SIZING::Ready);
    EXPECT_EQ(ring.count, 0u);
    EXPECT_TRUE(ring.storage.empty());
    EXPECT_EQ(cw_capture_ensure_rate(nullptr, 8000), CW_CAPTURE_SIZING::BadRate);
}

TEST(CaptureFileName, CarriesTimeAndRateAndASerialForRepeats)
{
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 21;
    t.tm_min = 30;
    t.tm_sec = 15;
    EXPECT_EQ(cw_capture_file_name(t, 48000, 0), "Zarvo-rx-20260105-213015-48000Hz.wav");
    EXPECT_EQ(cw_capture_file_name(t, 12000, 1), "Zarvo-rx-20260105-213015-12000Hz-2.wav");
}

}  // namespace
