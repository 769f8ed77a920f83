// The rows of the Skimmer window: one per call heard, newest first, every
// cell as text, so the table widget only shows them.
#pragma once

#include "cw_spot_table.h"

#include <string>
#include <vector>

struct CW_SKIMMER_ROW {
    std::string call;
    std::string frequency;  // radio kHz, one decimal: "7025.3"
    std::string speed;      // WPM: "24"
    std::string snr;        // dB: "18"
    std::string age;        // since last heard: "12 s", "3 min", "2 h"
    double radioHz;         // what a click tunes to
    bool cq;
};

// Whole seconds below a minute, whole minutes below an hour, then hours;
// negative or not finite: "0 s".
std::string cw_skimmer_age_text(double seconds);

// `spots` at radio frequencies (0: not placed, shown as "-"), their
// times on the same clock as `now`. Most recently heard first; equal times
// keep their order.
std::vector<CW_SKIMMER_ROW> cw_skimmer_rows(const std::vector<CW_SPOT>& spots, double now);
