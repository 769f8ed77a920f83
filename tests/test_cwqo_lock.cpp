// Lock grading of the decoder backend.
#include "cwqo_lock.h"

#include <gtest/gtest.h>

namespace {

CWQO_LOCK_INPUT good_fit()
{
    CWQO_LOCK_INPUT in{};
    in.active = true;
    in.speedOk = true;
    in.cost = 0.9f;
    in.engineWpm = 20.0f;
    in.holdMs = 1800.0;
    in.blockMs = 100.0;
    return in;
}

CWQO_LOCK_INPUT silence(double blockMs)
{
    CWQO_LOCK_INPUT in = good_fit();
    in.active = false;
    in.blockMs = blockMs;
    return in;
}

CWQO_LOCK_EVIDENCE evidence(float quality)
{
    return CWQO_LOCK_EVIDENCE{20.0, quality, 0.4f, 0.9f, 20.0f, 12.0, 50.0};
}

}  // namespace

TEST(CwqoLockMachine, GoodFitLocksAtOnce)
{
    CWQO_LOCK lock;
    cwqo_lock_start(&lock, 2500.0);
    int32_t present = 0;
    EXPECT_EQ(cwqo_lock_step(&lock, good_fit(), &present), 2);
    EXPECT_EQ(lock.state, 2);
    EXPECT_EQ(lock.miss, 0);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(lock.quietMs, 0.0);
}

TEST(CwqoLockMachine, FairFitClimbsThroughTentative)
{
    CWQO_LOCK lock;
    cwqo_lock_start(&lock, 0.0);
    CWQO_LOCK_INPUT in = good_fit();
    in.cost = 3.0f;
    int32_t present = 0;
    EXPECT_EQ(cwqo_lock_step(&lock, in, &present), 1);
    in.textCount = 2;
    in.cost = 1.5f;  // text and a moderate cost also lock
    EXPECT_EQ(cwqo_lock_step(&lock, in, &present), 2);
}

TEST(CwqoLockMachine, StrongLockHoldsThroughSilenceThenDrops)
{
    CWQO_LOCK lock;
    cwqo_lock_start(&lock, 0.0);
    int32_t present = 0;
    cwqo_lock_step(&lock, good_fit(), &present);
    double quiet = 0.0;
    int32_t grade = 2;
    while (grade == 2 && quiet < 5000.0) {
        grade = cwqo_lock_step(&lock, silence(100.0), &present);
        quiet += 100.0;
    }
    EXPECT_DOUBLE_EQ(quiet, 1800.0);  // the hold time
    EXPECT_EQ(grade, 0);
    EXPECT_EQ(present, 1);
    while (present == 1 && quiet < 5000.0) {
        cwqo_lock_step(&lock, silence(100.0), &present);
        quiet += 100.0;
    }
    EXPECT_DOUBLE_EQ(quiet, 2500.0);
}

TEST(CwqoLockReport, QualityDecidesWhatIsShown)
{
    CWQO_LOCK lock{2, 0, 0.0};
    EXPECT_EQ(cwqo_lock_report(&lock, 2, evidence(60.0f)), 2);
    EXPECT_EQ(cwqo_lock_report(&lock, 2, evidence(40.0f)), 1);
    EXPECT_EQ(lock.state, 2);
    EXPECT_EQ(cwqo_lock_report(&lock, 2, evidence(30.0f)), 0);
    EXPECT_EQ(lock.state, 0);
    EXPECT_EQ(lock.miss, 5);
}

TEST(CwqoLockReport, EngineSpeedFarFromTheEnvelopeSpeedUnlocks)
{
    CWQO_LOCK lock{2, 0, 0.0};
    CWQO_LOCK_EVIDENCE e = evidence(70.0f);
    e.engineWpm = 27.0f;  // 7 WPM off the envelope's 20
    EXPECT_EQ(cwqo_lock_report(&lock, 2, e), 0);
    lock = CWQO_LOCK{2, 0, 0.0};
    e.engineWpm = 25.0f;
    EXPECT_EQ(cwqo_lock_report(&lock, 2, e), 2);
    e.cost = 1.2f;  // only a fair timing fit
    EXPECT_EQ(cwqo_lock_report(&lock, 2, e), 1);
}
