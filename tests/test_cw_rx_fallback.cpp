// The receiver's own decoder, as a receiver made with cw_rx_create_fallback
// shows it: keying, lock grade, presence, and text rebuilt from its level
// history without repeats or losses.
#include "CWRx.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using rx_run::Rx;

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

Rx fallback(const CW_RX_CONFIG& c) { return Rx(cw_rx_create_fallback(&c)); }

std::vector<float> tone(double seconds)
{
    std::vector<float> v(static_cast<size_t>(8000 * seconds));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 600.0 * i / 8000));
    return v;
}

// Feeds 2 ms blocks until the key is in the given state; returns the blocks
// fed, or -1 when the audio ran out first.
int blocks_until_key(CW_RX* rx, const std::vector<float>& audio, int32_t keyDown)
{
    CW_RX_STATUS s;
    cw_rx_get_status(rx, &s);
    int blocks = 0;
    for (size_t at = 0; at + 16 <= audio.size() && s.keyDown != keyDown; at += 16, ++blocks) {
        cw_rx_process(rx, audio.data() + at, 16, nullptr, 0);
        cw_rx_get_status(rx, &s);
    }
    return s.keyDown == keyDown ? blocks : -1;
}

}  // namespace

TEST(CwRxFallbackKeying, KeysAfterEightMillisecondsAndReleasesAfterEighteen)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    ASSERT_EQ(cw_rx_has_backend(rx.get()), 0);
    const std::vector<float> quiet(800, 0.0f);
    cw_rx_process(rx.get(), quiet.data(), 32, nullptr, 0);  // noise floor
    EXPECT_GE(blocks_until_key(rx.get(), tone(0.2), 1), 4);
    EXPECT_GE(blocks_until_key(rx.get(), quiet, 0), 9);  // after the level falls

    Rx once = fallback(c);  // one 10 ms block counts as 10 ms above the threshold
    cw_rx_process(once.get(), tone(0.01).data(), 80, nullptr, 0);
    CW_RX_STATUS s;
    cw_rx_get_status(once.get(), &s);
    EXPECT_EQ(s.keyDown, 1);
    EXPECT_EQ(s.signalPresent, 1);
}

// Characters that match a code raise the confidence until the grade is
// locked; a tone that is never keyed matches none and stays unlocked.
TEST(CwRxFallbackLock, CleanKeyingLocksAndASteadyCarrierDoesNot)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    int keyed = 0;
    rx_run::decode(fallback(c).get(), c, rx_run::generate(rx_run::Signal{}, kText), 32, 128,
                   [&](const CW_RX_STATUS& s, size_t) { keyed = std::max(keyed, static_cast<int>(s.lock)); });
    EXPECT_EQ(keyed, 2);
    int carrier = 0;
    rx_run::decode(fallback(c).get(), c, tone(10.0), 32, 128,
                   [&](const CW_RX_STATUS& s, size_t) { carrier = std::max(carrier, static_cast<int>(s.lock)); });
    EXPECT_EQ(carrier, 0);
}

// Six seconds without tone clear the history and the text emitted from it,
// so the same word sent again comes out again.
TEST(CwRxFallbackPresence, SixSecondsWithoutToneStartAfresh)
{
    const rx_run::Signal sig{.tailSeconds = 0.0};
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    rx_run::decode(rx.get(), c, rx_run::generate(sig, "TEST TEST TEST"), 32);
    double absentAfter = -1.0;
    rx_run::decode(rx.get(), c, std::vector<float>(8000 * 7, 0.0f), 80, 128, [&](const CW_RX_STATUS& s, size_t end) {
        if (s.signalPresent == 0 && absentAfter < 0.0)
            absentAfter = end / 8000.0;
    });
    EXPECT_GE(absentAfter, 6.0);  // counted from where the smoothed level drops
    EXPECT_LE(absentAfter, 6.3);
    const std::string again = rx_run::decode(rx.get(), c, rx_run::generate(rx_run::Signal{}, "TEST"), 32);
    EXPECT_NE(again.find("TEST"), std::string::npos) << again;
}

// Levels are smoothed per block, so the fallback needs blocks well below a
// dot: 4 ms here. 4096 of them hold 16 s, so the text slides through the
// history, and what has slid out must not come back; a rebuild cut by a
// small buffer goes on in the next call.
TEST(CwRxFallbackDecoding, CleanCwWithoutRepeatsOrLossesInAnyBuffer)
{
    for (auto [wpm, bandwidth] : {std::pair{15.0, 100.0}, {25.0, 100.0}, {15.0, 30.0}}) {
        CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
        c.bandwidthHz = bandwidth;
        const std::vector<float> audio = rx_run::generate(rx_run::Signal{.wpm = wpm}, kText);
        const std::string text = rx_run::decode(fallback(c).get(), c, audio, 32);
        EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.03) << text;
        EXPECT_EQ(text.find("CQ", text.find("DE")), std::string::npos) << text;
        EXPECT_EQ(rx_run::decode(fallback(c).get(), c, audio, 32, 3), text) << wpm;
    }
}
