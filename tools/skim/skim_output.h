// What zarvo-skim makes of the skimmer's news: each spot worth sending as
// a cluster line on its output and to the telnet feed, spot commands for
// the radio's panorama, and with text on, one line per channel and over.
// Every line is written whole, so spots and text never mix mid-line.
#pragma once

#include "cw_cluster_server.h"
#include "cw_skimmer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Text lines end after this much quiet of their channel, or when this long.
constexpr double kSkimTextQuietSeconds = 2.0;
constexpr size_t kSkimTextLineChars = 70;

struct SKIM_OUTPUT_CONFIG {
    FILE* out;                   // spot and text lines
    std::string spotter;         // e.g. "ZARVO-#"
    bool text;                   // print decoded text too
    CW_CLUSTER_SERVER* cluster;  // null: no telnet feed; not owned
    bool radioCommands;          // collect spot:/spot_delete: for the server
};

struct SKIM_OUTPUT;

SKIM_OUTPUT* skim_output_create(const SKIM_OUTPUT_CONFIG& config);

// Takes the skimmer's events and text; spots are stamped utcSeconds. Text
// of a channel quiet for kSkimTextQuietSeconds of stream time is printed.
// Returns false once a write to the output failed.
bool skim_output_take(SKIM_OUTPUT* output, CW_SKIMMER* skimmer, int64_t utcSeconds);

// Prints the text lines still open (at the end of the input).
bool skim_output_flush_text(SKIM_OUTPUT* output);

// The spot commands collected since the last call, in order.
std::vector<std::string> skim_output_take_radio_commands(SKIM_OUTPUT* output);

// Spot lines printed so far.
uint64_t skim_output_spot_count(const SKIM_OUTPUT* output);

void skim_output_destroy(SKIM_OUTPUT* output);
