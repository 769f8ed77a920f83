// The receiver's own decoder (cw_rx_create_fallback): lock, presence and text without repeats.
#include "CWRx.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using rx_run::Rx;

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

Rx fallback(const CW_RX_CONFIG& c)
{
    return Rx(cw_rx_create_fallback(&c));
}

std::vector<float> tone(double seconds)
{
    std::vector<float> v(size_t(8000 * seconds));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = 0.5f * float(std::sin(2.0 * M_PI * 600.0 * i / 8000));
    return v;
}

}  // namespace

// Keying that matches codes locks; a tone never keyed matches none and stays unlocked; band noise is
// no signal (after the first second), however the level normalisation lifts it.
TEST(CwRxFallbackLock, CleanKeyingLocksASteadyCarrierDoesNotAndNoiseIsNoSignal)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    const auto best_lock_and_presence = [&](const std::vector<float>& audio, size_t block) {
        std::pair<int, int> seen{0, 0};
        rx_run::decode(fallback(c).get(), c, audio, block, 128, [&](const CW_RX_STATUS& s, size_t end) {
            seen.first = std::max(seen.first, int(s.lock));
            seen.second += end > 8000 && s.signalPresent;
        });
        return seen;
    };
    EXPECT_EQ(best_lock_and_presence(rx_run::generate({}, kText), 32).first, 2);
    EXPECT_EQ(best_lock_and_presence(tone(10.0), 32).first, 0);
    std::vector<float> noise(8000 * 30);
    std::mt19937 rng(4);
    morse_audio_add_noise(noise.data(), noise.size(), 0.1, &rng);
    EXPECT_EQ(best_lock_and_presence(noise, 256).second, 0);
}

// The signal is gone about a second after the keying stops; six seconds
// without tone start afresh: the same word sent again comes out again.
TEST(CwRxFallbackPresence, GoneWithinASecondAndSixSecondsWithoutToneStartAfresh)
{
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
    Rx rx = fallback(c);
    ASSERT_EQ(cw_rx_has_backend(rx.get()), 0);
    int present = 0;
    rx_run::decode(rx.get(), c, rx_run::generate({.tailSeconds = 0.0}, "TEST TEST TEST"), 32, 128,
                   [&](const CW_RX_STATUS& s, size_t) { present += s.signalPresent; });
    EXPECT_GT(present, 0);
    double absentAfter = -1.0;
    rx_run::decode(rx.get(), c, std::vector<float>(8000 * 7, 0.0f), 80, 128, [&](const CW_RX_STATUS& s, size_t end) {
        if (s.signalPresent == 0 && absentAfter < 0.0)
            absentAfter = end / 8000.0;
    });
    EXPECT_TRUE(absentAfter >= 0.3 && absentAfter <= 1.2) << absentAfter;
    const std::string again = rx_run::decode(rx.get(), c, rx_run::generate({}, "TEST"), 32);
    EXPECT_NE(again.find("TEST"), std::string::npos) << again;
}

// 4 ms blocks; 4096 of them hold 16 s, so text slides out of the history and must not come back.
TEST(CwRxFallbackDecoding, CleanCwWithoutRepeatsOrLossesInAnyBuffer)
{
    for (auto [wpm, bandwidth] : {std::pair{15.0, 100.0}, {25.0, 100.0}, {15.0, 30.0}}) {
        CW_RX_CONFIG c = rx_run::config_for(8000, 600.0);
        c.bandwidthHz = bandwidth;
        const std::vector<float> audio = rx_run::generate({.wpm = wpm}, kText);
        const std::string text = rx_run::decode(fallback(c).get(), c, audio, 32);
        EXPECT_LE(text_metrics::cer_after_first_word(kText, text), 0.03) << text;
        EXPECT_EQ(text.find("CQ", text.find("DE")), std::string::npos) << text;
        EXPECT_EQ(rx_run::decode(fallback(c).get(), c, audio, 32, 3), text) << wpm;
    }
}
