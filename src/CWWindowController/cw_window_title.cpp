#include "cw_window_title.h"

#include "cw_field_strings.h"

#include <cstdio>

namespace {

constexpr const char* kSeparator = " \u2014 ";

std::string megahertz_text(double frequencyHz)
{
    char text[64];
    std::snprintf(text, sizeof text, frequencyHz >= 100e6 ? "%.3f MHz" : "%.6f MHz", frequencyHz / 1e6);
    return text;
}

}  // namespace

std::string cw_window_connection_title(bool connected, double frequencyHz, const std::string& mode)
{
    std::string title = std::string(kCWProgramName) + kSeparator + (connected ? "Connected" : "Disconnected");
    if (!connected)
        return title;
    if (frequencyHz > 0.0)
        title += kSeparator + megahertz_text(frequencyHz);
    const std::string shownMode = cw_normalized_upper_field_string(mode);
    if (!shownMode.empty())
        title += kSeparator + shownMode;
    return title;
}

std::string cw_disconnected_status(const std::string& errorDescription)
{
    return errorDescription.empty() ? std::string(kCWStatusIdle) : "Disconnected: " + errorDescription;
}
