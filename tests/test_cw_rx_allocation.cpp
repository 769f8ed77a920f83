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

// A reset with no memory for an engine says so, and the fallback reads until one can be built.
TEST(CwRxAllocation, AnEngineThatCannotBeBuiltLeavesTheFallbackReadingAndSaysSo)
{
    const std::vector<float> audio = rx_run::generate({}, "CQ CQ DE ZR1ABC ZR1ABC PSE K CQ CQ DE ZR1ABC ZR1ABC PSE K");
    const CW_RX_CONFIG c = rx_run::config_for(8000, 600.0, true);
    rx_run::Rx rx(cw_rx_create(&c));
    ASSERT_NE(rx, nullptr);
    allocation_counter::refuse = true;
    cw_rx_reset(rx.get());
    cw_rx_configure(rx.get(), &c);
    allocation_counter::refuse = false;
    std::string decoded;
    char text[128];
    CW_RX_STATUS status{};
    const size_t block = 32;  // the fallback decoder keys once per block: short blocks
    const size_t half = audio.size() / 2 / block * block;
    for (size_t at = 0; at + block <= half; at += block) {
        decoded.append(text, cw_rx_process(rx.get(), audio.data() + at, block, text, sizeof(text)));
        cw_rx_get_status(rx.get(), &status);
        ASSERT_EQ(status.engineMissing, 1) << at;
    }
    EXPECT_NE(decoded.find("ZR1ABC"), std::string::npos) << decoded;
    cw_rx_configure(rx.get(), &c);  // memory is back: the engine is built again
    cw_rx_process(rx.get(), audio.data() + half, block, text, sizeof(text));
    cw_rx_get_status(rx.get(), &status);
    EXPECT_EQ(status.engineMissing, 0);
}
