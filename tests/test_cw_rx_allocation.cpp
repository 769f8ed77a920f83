// Once warmed up, the receiver allocates nothing per block: every global
// allocation in this test program is counted.
#include "allocation_counter.h"
#include "CWRx.h"
#include "rx_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One continuous transmission (word gaps are shorter than the restart gap);
// allocations are counted after the first 10 s.
TEST(CwRxAllocation, NonePerBlockWithTheBackendOrTheFallbackDecoder)
{
    for (bool fallback : {false, true}) {
        rx_run::Signal s;
        s.rate = fallback ? 8000 : 48000;
        s.wpm = 25;
        s.noisy = true;
        s.snrDb = 10.0;
        const size_t block = fallback ? 32 : 2048;
        std::string sent;
        while (sent.size() < 200)
            sent += "CQ CQ DE ZR1ABC ZR1ABC PSE K ";
        const std::vector<float> audio = rx_run::generate(s, sent);
        const CW_RX_CONFIG c = rx_run::config_for(s.rate, 600.0, true);
        CW_RX* rx = fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c);
        std::string decoded;
        decoded.reserve(4096);
        char text[128];
        long allocations = 0;
        for (size_t at = 0; at + block <= audio.size(); at += block) {
            const long before = allocation_counter::count;
            cw_rx_configure(rx, &c);
            const size_t n = cw_rx_process(rx, audio.data() + at, block, text, sizeof(text));
            CW_RX_STATUS status;
            cw_rx_get_status(rx, &status);
            if (at > 10 * s.rate)
                allocations += allocation_counter::count - before;
            decoded.append(text, n);
        }
        cw_rx_destroy(rx);
        EXPECT_NE(decoded.find("PSE K"), std::string::npos) << fallback << ": " << decoded;  // it did decode
        EXPECT_EQ(allocations, 0) << fallback;
    }
}
