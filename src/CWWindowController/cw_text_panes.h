// Text appended to the received-text pane and mirrored to the RX text log.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

// The log pane keeps this many lines and drops the oldest beyond them, so
// a burst of TCI traffic costs the same for every line.
constexpr size_t kCWLogPaneMaxLines = 2000;
// A longer log line shows only its start: a server can send messages of
// any size, and laying out one giant line stops the window.
constexpr size_t kCWLogLineMaxBytes = 240;

// The line as the log pane and its echo show it: a line longer than
// kCWLogLineMaxBytes is cut at a character boundary and ends in
// " ... (N bytes)" with its whole length.
std::string cw_log_pane_line(const std::string& line);

// Decoder text with every run of blanks and line breaks folded to one
// space; a leading blank is dropped when the pane already ends in one.
std::string cw_fold_decoded_text(const std::string& text, bool paneEndsInBlank);

// "TX: <trimmed text>\n", on a line of its own: prefixed with "\n" unless
// the pane is empty or ends with one. Empty when only blanks were given.
std::string cw_transmitted_line(const std::string& text, bool paneEmptyOrAtLineStart);

// "Zarvo-rx-yyyyMMdd-HHmmss.txt" for the local start time; a suffix
// above 1 ("...-2.txt") keeps a second start in the same second from
// replacing the first file.
std::string cw_rx_text_log_file_name(const std::tm& localTime, int suffix);

bool cw_is_blank(char c);
