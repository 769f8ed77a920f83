// Once warmed up, the receiver allocates nothing per block: every global
// allocation in this test program is counted.
#include "CWRx.h"
#include "rx_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

struct Count {
    long allocations = 0;
    std::string text;
};

// One continuous transmission (word gaps are shorter than the restart gap)
// in 2048-sample blocks; allocations are counted after the first 10 s.
Count count_allocations(bool fallback, uint32_t rate, size_t block)
{
    rx_run::Signal s;
    s.rate = rate;
    s.wpm = 25;
    s.noisy = true;
    s.snrDb = 10.0;
    std::string sent;
    while (sent.size() < 200)
        sent += "CQ CQ DE ZR1ABC ZR1ABC PSE K ";
    const std::vector<float> audio = rx_run::generate(s, sent);
    const CW_RX_CONFIG c = rx_run::config_for(rate, 600.0, true);
    CW_RX* rx = fallback ? cw_rx_create_fallback(&c) : cw_rx_create(&c);
    Count count;
    count.text.reserve(4096);
    char text[128];
    const size_t warmUp = 10 * rate;
    for (size_t at = 0; at + block <= audio.size(); at += block) {
        const long before = g_allocations;
        cw_rx_configure(rx, &c);
        const size_t n = cw_rx_process(rx, audio.data() + at, block, text, sizeof(text));
        CW_RX_STATUS status;
        cw_rx_get_status(rx, &status);
        if (at > warmUp)
            count.allocations += g_allocations - before;
        count.text.append(text, n);
    }
    cw_rx_destroy(rx);
    return count;
}

}  // namespace

TEST(CwRxAllocation, BackendModeAllocatesNothingPerBlock)
{
    const Count c = count_allocations(false, 48000, 2048);
    EXPECT_NE(c.text.find("PSE K"), std::string::npos) << c.text;  // it did decode
    EXPECT_EQ(c.allocations, 0);
}

TEST(CwRxAllocation, FallbackModeAllocatesNothingPerBlock)
{
    const Count c = count_allocations(true, 8000, 32);
    EXPECT_FALSE(c.text.empty());
    EXPECT_EQ(c.allocations, 0);
}
