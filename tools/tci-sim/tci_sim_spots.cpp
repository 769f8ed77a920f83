#include "tci_sim_spots.h"

#include "tci_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <system_error>

namespace {

constexpr size_t kMaxCallLength = 20;
constexpr size_t kMaxModeLength = 16;

bool alnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool whole(const std::string& text, uint64_t lo, uint64_t hi, uint64_t* value)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && stop == end && !text.empty() && *value >= lo && *value <= hi;
}

bool fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

}  // namespace

void TciSimSpots::put(const TCI_SIM_SPOT& spot)
{
    remove(spot.call);
    spots_.push_back(spot);
}

bool TciSimSpots::remove(const std::string& call)
{
    const std::string key = upper(call);
    return std::erase_if(spots_, [&key](const TCI_SIM_SPOT& s) { return s.call == key; }) > 0;
}

size_t TciSimSpots::clear()
{
    const size_t count = spots_.size();
    spots_.clear();
    return count;
}

const std::vector<TCI_SIM_SPOT>& TciSimSpots::spots() const
{
    return spots_;
}

const TCI_SIM_SPOT* TciSimSpots::newest() const
{
    return spots_.empty() ? nullptr : &spots_.back();
}

bool tci_sim_spot_call_valid(const std::string& call)
{
    return !call.empty() && call.size() <= kMaxCallLength && alnum(call.front()) && alnum(call.back()) &&
           std::ranges::all_of(call, [](char c) { return alnum(c) || c == '/'; });
}

bool tci_sim_parse_spot(const std::vector<std::string>& arguments, TCI_SIM_SPOT* spot, std::string* why)
{
    if (arguments.size() != 5)
        return fail(why, "wants CALL,MODE,HZ,ARGB,TEXT");
    if (!tci_sim_spot_call_valid(arguments[0]))
        return fail(why, "not a call: " + arguments[0]);
    const std::string& mode = arguments[1];
    if (mode.empty() || mode.size() > kMaxModeLength || !std::ranges::all_of(mode, alnum))
        return fail(why, "not a mode: " + mode);
    uint64_t hz = 0, argb = 0;
    if (!whole(arguments[2], 1, static_cast<uint64_t>(kTCIMaxSpotFrequencyHz), &hz))
        return fail(why, "not a frequency in Hz: " + arguments[2]);
    if (!whole(arguments[3], 0, std::numeric_limits<uint32_t>::max(), &argb))
        return fail(why, "not a 32-bit ARGB colour: " + arguments[3]);
    if (arguments[4].find(':') != std::string::npos)
        return fail(why, "':' in the text");
    if (spot)
        *spot = TCI_SIM_SPOT{.call = upper(arguments[0]),
                             .mode = tci_lower(mode),
                             .frequencyHz = hz,
                             .argb = static_cast<uint32_t>(argb),
                             .text = arguments[4]};
    return true;
}

std::string tci_sim_spot_log_line(const TCI_SIM_SPOT& spot)
{
    char argb[9];
    std::snprintf(argb, sizeof argb, "%08X", static_cast<unsigned>(spot.argb));
    std::string line = "spot " + spot.call + " " + std::to_string(spot.frequencyHz) + " " + spot.mode + " " + argb;
    return spot.text.empty() ? line : line + " " + spot.text;
}
