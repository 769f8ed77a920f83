// One skimmer spot as a DX-cluster line. Loggers read these lines by fixed
// columns, so the layout is kept whatever the fields hold:
//
//   DX de ZARVO-#:    7025.3  DL2QZA       CW 18 dB 24 WPM CQ             1403Z
//
// columns (from 1): "DX de " and the spotter with ':' from 7, the frequency
// in kHz with one decimal right-aligned ending at 24, the call from 27, the
// comment from 40, the time HHMMZ at 71..75, then CR LF (77 bytes).
#pragma once

#include <cstdint>
#include <string>

constexpr size_t kCWClusterLineColumns = 75;  // without CR LF
constexpr size_t kCWClusterCallColumn = 27;
constexpr size_t kCWClusterCommentColumn = 40;
constexpr size_t kCWClusterTimeColumn = 71;
// Frequencies are clamped to 0..kCWClusterMaxFrequencyHz (not finite: 0):
// "99999999.9" kHz still leaves room for a spotter before column 24.
constexpr double kCWClusterMaxFrequencyHz = 99999999949.0;

struct CW_CLUSTER_SPOT {
    std::string spotter;  // e.g. "ZARVO-#"
    double frequencyHz;   // the carrier heard
    std::string call;
    double snrDb;        // rounded, clamped to -99..99; not finite: 0
    double wpm;          // rounded, clamped to 0..99; not finite: 0
    bool cq;             // the station was calling CQ
    int64_t utcSeconds;  // UTC seconds since 1970; negative: 0
};

// Spotter and call are upper-cased and lose white space and control
// characters (a space would split them for a logger reading words).
// A spotter is cut so that ':' and a space still come before the frequency:
// 10 characters below 10 MHz, one fewer for each further digit (9 from
// 10 MHz, 8 from 100 MHz, 6 from 10 GHz). A call of more than 12
// characters pushes the comment right and shortens it by as much, so the
// time stays at 71..75; a call is cut at column 68 (42 characters), which
// leaves no comment.
std::string cw_cluster_spot_line(const CW_CLUSTER_SPOT& spot);

// "CW 18 dB 24 WPM CQ": mode, SNR, speed, and "CQ" when calling CQ.
std::string cw_cluster_spot_comment(double snrDb, double wpm, bool cq);
