// What the skimmer's spot news becomes for the outside: a TCI command that
// puts the spot on the radio's panorama (or takes it off) and a DX-cluster
// line for loggers. The skimmer works on audio, so every frequency goes
// through the spot mapping with the radio's tuning at that moment.
#pragma once

#include "cw_spot_mapping.h"
#include "cw_spot_table.h"

#include <cstdint>
#include <string>

// Panorama colours, opaque ARGB: a station calling CQ can be worked now and
// stands out in green; one heard in a QSO is amber.
constexpr uint32_t kCWSpotCqArgb = 0xFF30D060;
constexpr uint32_t kCWSpotHeardArgb = 0xFFFFB020;
constexpr const char* kCWSpotMode = "cw";
constexpr const char* kCWClusterSpotter = "ZARVO-#";

struct CW_SPOT_MESSAGES {
    std::string tciCommand;   // empty: nothing for the radio
    std::string clusterLine;  // empty: nothing for loggers
    double radioHz;           // where a NEW or resent spot was placed; 0 otherwise
};

// "24 WPM 18 dB CQ": speed and SNR rounded, CQ when the station called it.
std::string cw_spot_text(const CW_SPOT& spot);

uint32_t cw_spot_argb(const CW_SPOT& spot);

// NEW, and REFRESH with `resend`: "spot:CALL,cw,HZ,ARGB,TEXT;" and a cluster
// line at `utcSeconds`, both at the radio frequency; nothing when the
// tuning does not place the tone. DELETE: "spot_delete:CALL;" whatever the
// tuning (the spot was placed when it could be). Anything else: nothing.
CW_SPOT_MESSAGES cw_spot_event_messages(const CW_SPOT_EVENT& event, const CW_SPOT_TUNING& tuning, int64_t utcSeconds);
