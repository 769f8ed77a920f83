// Text squelch of the receiver: withholds what the decoder prints while no
// CW signal is present. It judges each block by two figures the backend
// already computes: the envelope SNR of the last 3 s, which band noise keeps
// near 4 dB and keyed tone lifts above 7 dB even at -6 dB in 2500 Hz, and
// the engine's cost, which stays low while the engine reads real keying and
// rises to 0.45 and more once only noise is left in its window (the garbage
// after a transmission comes while the SNR still remembers the signal).
// A third figure is where the tone sits: a station off the pitch (at the
// edge of the filter or beyond it) keys as cleanly as a tuned one, and the
// engine reads it into text, well or badly, but it is not the station the
// operator tuned. Text that arrives with signal energy on the pitch but a
// poor fit is held for a while and released in order when the fit returns;
// other text is dropped.
#pragma once

#include "CWRx.h"
#include "cw_text_queue.h"

#include <cstddef>
#include <cstdint>

inline constexpr size_t kCwRxSquelchHeldBytes = 1024;
inline constexpr double kCwRxSquelchHoldMs = 1500.0;

struct CW_RX_SQUELCH {
    double level;       // 0 off, up to 1 strictest
    double snrMinDb;    // derived from level
    float costMax;      // derived from level
    float offsetMaxHz;  // derived from level
    double clockMs;     // audio time seen
    int32_t open;       // the last block carried a signal
    char held[kCwRxSquelchHeldBytes];
    double heldAtMs[kCwRxSquelchHeldBytes];  // arrival time of each held byte
    size_t heldHead;
    size_t heldCount;
};

// Level clamped to 0..1 (NaN gives 0); the running state stays.
void cw_rx_squelch_set_level(CW_RX_SQUELCH* squelch, double level);

// Running state and held text cleared; the level stays.
void cw_rx_squelch_reset(CW_RX_SQUELCH* squelch);

// The pitch moved: text held back for what was heard at the old pitch
// would come out, once the new station fits, as if it were that station's;
// it is dropped. The level and the clock stay.
void cw_rx_squelch_retune(CW_RX_SQUELCH* squelch);

// One block's text through the squelch, judged by the status after that
// block; what passes is appended to *out. Level 0 passes everything.
void cw_rx_squelch_step(CW_RX_SQUELCH* squelch, const CW_RX_STATUS& status, double blockMs, const char* text,
                        size_t count, CW_TEXT_QUEUE* out);

// The limits a level sets, for measuring and for tests.
double cw_rx_squelch_snr_min_db(double level);
float cw_rx_squelch_cost_max(double level);
float cw_rx_squelch_offset_max_hz(double level);
