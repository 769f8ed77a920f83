// Where the echo of transmitted text goes in the received-text pane. A
// "TX: ..." line waits until the received text reaches the end of a word,
// so it never splits one, and the lines still being keyed when Stop is
// pressed are named, so the pane can mark them as cut short.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The longest a TX line waits for a received word to end.
constexpr double kCWTxEchoWaitSeconds = 1.5;
constexpr const char* kCWTxStoppedMark = " (stopped)";

struct CW_TX_ECHO_KEYING {
    uint64_t line;
    double until;  // when the keyer will have sent it, in seconds
};

struct CW_TX_ECHO {
    std::vector<std::string> waitingTexts;
    std::vector<uint64_t> waitingLines;
    double waitingSince = 0.0;
    std::vector<CW_TX_ECHO_KEYING> keying;  // shown or waiting, oldest first
    double keyerFreeAt = 0.0;
    uint64_t nextLine = 1;
};

// One piece for the pane, in order: received text (line 0) or a TX line,
// already placed on a line of its own.
struct CW_TX_ECHO_PIECE {
    std::string text;
    uint64_t line;
};

// Seconds a keyer takes to send the text at `wpm` (PARIS timing); a
// character without a Morse code counts as a word space.
double cw_morse_keying_seconds(const std::string& text, double wpm);

// A line went out to the keyer at `now`; it keys after what is queued.
void cw_tx_echo_sent(CW_TX_ECHO* echo, const std::string& text, double wpm, double now);

// Waiting TX lines once the pane ends a word (ends in a blank or is
// empty) or they have waited long enough. `paneAtLineStart` is true when
// the pane is empty or ends in a line break.
std::vector<CW_TX_ECHO_PIECE> cw_tx_echo_due(CW_TX_ECHO* echo, bool paneAtWordEnd, bool paneAtLineStart, double now);

// Received text to append: the waiting TX lines go in after its first
// blank (or before it, when the pane already ends a word).
std::vector<CW_TX_ECHO_PIECE> cw_tx_echo_received(CW_TX_ECHO* echo, const std::string& text, bool paneAtWordEnd,
                                                  bool paneAtLineStart, double now);

// Stop at `now`: lines the keyer had not finished are cut short. A line
// still waiting gets the stopped mark in its text; the lines already shown
// are returned, newest first, for the pane to mark.
std::vector<uint64_t> cw_tx_echo_stop(CW_TX_ECHO* echo, double now);

// The pane was cleared: lines shown can no longer be marked; lines still
// waiting are shown as usual.
void cw_tx_echo_pane_cleared(CW_TX_ECHO* echo);
