// Texts that show the state of the TCI link: the window title and the
// status line.
#pragma once

#include <string>

constexpr const char* kCWProgramName = "Zarvo";
constexpr const char* kCWStatusIdle = "RX audio --";

// "Zarvo — Connected — 7.030000 MHz — CW": the frequency (when known) in
// MHz, three decimals from 100 MHz up and six below, and the mode (when
// known), both only while connected.
std::string cw_window_connection_title(bool connected, double frequencyHz, const std::string& mode);

// The status line after the link was lost: "Disconnected: <description>",
// or the idle text when there is no description.
std::string cw_disconnected_status(const std::string& errorDescription);
