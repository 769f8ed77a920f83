// Every global allocation of this program is counted, and refused on request.
#include "allocation_counter.h"
#include "CWRx.h"
#include "rx_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Counted after the first 10 s of one long over; at -6 dB weak words take a path of their own.
TEST(CwRxAllocation, NonePerBlockWithTheBackendOrTheFallbackDecoder)
{
    std::string sent;
    while (sent.size() < 200)
        sent += "CQ CQ DE ZR1ABC ZR1ABC PSE K ";
    for (const auto& [fallback, snrDb] : {std::pair{false, 10.0}, {false, -6.0}, {true, 10.0}}) {
        const rx_run::Signal s{.wpm = 25, .rate = fallback ? 8000u : 48000u, .noisy = true, .snrDb = snrDb};
        const size_t block = fallback ? 32 : 2048;
        const std::vector<float> audio = rx_run::generate(s, sent);
        const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0, true);
        rx_run::Rx rx(fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c));
        std::string decoded;
        decoded.reserve(4096);
        char text[128];
        long allocations = 0;
        for (size_t at = 0; at + block <= audio.size(); at += block) {
            const long before = allocation_counter::count;
            cw_rx_configure(rx.get(), &c);
            decoded.append(text, cw_rx_process(rx.get(), audio.data() + at, block, text, sizeof(text)));
            CW_RX_STATUS status;
            cw_rx_get_status(rx.get(), &status);
            allocations += at > 10 * s.rate ? allocation_counter::count - before : 0;
        }
        EXPECT_NE(decoded.find("ZR1ABC"), std::string::npos) << fallback << ": " << decoded;  // it did decode
        EXPECT_EQ(allocations, 0) << fallback << " at " << snrDb << " dB";
    }
}

// The operator's reset and AutoGTM's retune (a reset and the last seconds of audio read again) restart
// the engine in its own memory: nothing is allocated, and with every allocation refused the restarted
// engine (no fallback) reads the next over.
TEST(CwRxAllocation, NoneAcrossAResetOrARetuneAndWithNoMemoryLeftTheEngineReadsOn)
{
    const rx_run::Signal s{.wpm = 25, .rate = 48000, .noisy = true, .snrDb = 10.0};
    const std::vector<float> audio = rx_run::generate(s, "CQ CQ DE ZR1ABC ZR1ABC PSE K CQ CQ DE ZR1ABC ZR1ABC PSE K");
    const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0, true);
    CW_RX_CONFIG moved = c;
    moved.pitchHz = 610.0;
    for (const bool retune : {false, true}) {
        SCOPED_TRACE(retune ? "retune" : "reset");
        rx_run::Rx rx(cw_rx_create(&c));
        char text[128];
        const size_t block = 2048;
        const size_t restartAt = audio.size() / 2 / block * block;
        for (size_t at = 0; at + block <= restartAt; at += block)
            cw_rx_process(rx.get(), audio.data() + at, block, text, sizeof(text));
        std::string after;
        after.reserve(4096);
        const long before = allocation_counter::count;
        allocation_counter::refuse = true;
        if (retune) {
            cw_rx_retune(rx.get(), &moved, 0);
        } else {
            cw_rx_reset(rx.get());
            cw_rx_configure(rx.get(), &c);
        }
        CW_RX_STATUS status{};
        for (size_t at = restartAt; at + block <= audio.size(); at += block) {
            after.append(text, cw_rx_process(rx.get(), audio.data() + at, block, text, sizeof(text)));
            cw_rx_get_status(rx.get(), &status);
        }
        allocation_counter::refuse = false;
        EXPECT_EQ(allocation_counter::count - before, 0);
        EXPECT_EQ(status.engineMissing, 0);
        EXPECT_NE(after.find("ZR1ABC"), std::string::npos) << after;
    }
}
