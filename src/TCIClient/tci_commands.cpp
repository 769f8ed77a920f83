#include "tci_commands.h"

#include <algorithm>
#include <cmath>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_host_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool is_ipv6_literal_char(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

bool host_acceptable(const std::string& host)
{
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return std::all_of(host.begin() + 1, host.end() - 1, is_ipv6_literal_char);
    return !host.empty() && std::all_of(host.begin(), host.end(), is_host_name_char);
}

std::vector<std::string> split_trimmed(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(separator, begin);
        pieces.push_back(tci_trimmed(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin)));
        if (end == std::string::npos)
            return pieces;
        begin = end + 1;
    }
}

}  // namespace

std::string tci_trimmed(const std::string& text)
{
    const auto first = std::find_if_not(text.begin(), text.end(), is_space);
    const auto last = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(first), is_space).base();
    return std::string(first, last);
}

std::string tci_lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

TCI_URL tci_make_url(const std::string& host, uint64_t port)
{
    std::string name = tci_trimmed(host);
    if (name.empty())
        name = kTCIDefaultHost;
    return TCI_URL{"ws://" + name + ":" + std::to_string(port), host_acceptable(name) && port <= kTCIMaxPort};
}

std::vector<std::string> tci_split_commands(const std::string& message)
{
    std::vector<std::string> commands = split_trimmed(message, ';');
    std::erase_if(commands, [](const std::string& c) { return c.empty(); });
    return commands;
}

TCI_COMMAND tci_parse_command(const std::string& command)
{
    const std::string text = tci_trimmed(command);
    const size_t colon = text.find(':');
    TCI_COMMAND parsed{tci_lower(tci_trimmed(text.substr(0, colon))), "", {}, colon != std::string::npos};
    if (parsed.hasArguments) {
        parsed.argumentText = text.substr(colon + 1);
        parsed.arguments = split_trimmed(parsed.argumentText, ',');
    }
    return parsed;
}

std::string tci_encode_cw_macro_text(const std::string& text)
{
    std::string encoded = text;
    for (char& c : encoded)
        c = c == '\t' || c == '\n' || c == '\r' ? ' ' : c == ',' ? '~' : c == ':' ? '^' : c == ';' ? '*' : c;
    return encoded;
}

std::vector<std::string> tci_cw_macro_commands(long wpm, const std::string& text)
{
    return {
        "cw_terminal:false;",
        "cw_macros_speed:" + std::to_string(wpm) + ";",
        "cw_macros:0," + tci_encode_cw_macro_text(text) + ";",
    };
}

std::string tci_decode_cw_macro_text(const std::string& encoded)
{
    std::string text = encoded;
    for (char& c : text)
        c = c == '~' ? ',' : c == '^' ? ':' : c == '*' ? ';' : c;
    return text;
}

std::string tci_spot_safe_text(const std::string& text)
{
    std::string safe = text;
    for (char& c : safe)
        if (c == ':' || c == ',' || c == ';' || static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = ' ';
    return safe;
}

std::string tci_spot_command(const std::string& call, const std::string& mode, double frequencyHz, uint32_t argb,
                             const std::string& text)
{
    const double hz = std::isfinite(frequencyHz) ? std::clamp(frequencyHz, 0.0, kTCIMaxSpotFrequencyHz) : 0.0;
    return "spot:" + tci_trimmed(tci_spot_safe_text(call)) + "," + tci_trimmed(tci_spot_safe_text(mode)) + "," +
           std::to_string(std::llround(hz)) + "," + std::to_string(argb) + "," + tci_spot_safe_text(text) + ";";
}

std::string tci_spot_delete_command(const std::string& call)
{
    return "spot_delete:" + tci_trimmed(tci_spot_safe_text(call)) + ";";
}

uint32_t tci_iq_offered_rate(uint32_t sampleRate)
{
    for (uint32_t offered : kTCIIqSampleRates)
        if (sampleRate <= offered)
            return offered;
    return kTCIIqSampleRates.back();
}

std::string tci_iq_samplerate_command(uint32_t sampleRate)
{
    return "iq_samplerate:" + std::to_string(tci_iq_offered_rate(sampleRate)) + ";";
}

std::string tci_iq_start_command(uint32_t receiver)
{
    return "iq_start:" + std::to_string(receiver) + ";";
}

std::string tci_iq_stop_command(uint32_t receiver)
{
    return "iq_stop:" + std::to_string(receiver) + ";";
}
