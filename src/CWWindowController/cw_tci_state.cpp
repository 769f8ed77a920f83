#include "cw_tci_state.h"

#include "cw_field_strings.h"
#include "cw_text_values.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace {

constexpr const char* kSeparators = ",; \t\r\n";

std::vector<std::string> split_any(const std::string& text, const char* separators)
{
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (std::char_traits<char>::find(separators, std::char_traits<char>::length(separators), c))
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool has_digit(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Non-finite readings ("1e999") count as no number at all.
double finite_value(const std::string& text)
{
    const double v = cw_text_double_value(text);
    return std::isfinite(v) ? v : 0.0;
}

double token_frequency(const std::string& token)
{
    const double v = finite_value(token);
    if (v >= 100000.0 && v <= 1e11)
        return v;
    if (v >= 1.0 && v <= 1000.0 && token.find('.') != std::string::npos)
        return v * 1e6;
    return 0.0;
}

bool split_name(const std::string& command, std::string* name, std::string* arguments)
{
    const std::string trimmed = cw_trimmed_string(command);
    const size_t colon = trimmed.find(':');
    if (colon == std::string::npos)
        return false;
    *name = lower(trimmed.substr(0, colon));
    *arguments = trimmed.substr(colon + 1);
    return true;
}

bool is_frequency_name(const std::string& name)
{
    static const std::array<const char*, 5> names = {"vfo", "dds", "frequency", "rx_frequency", "tx_frequency"};
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string mode_candidate(const std::string& token)
{
    const std::string word = upper(cw_trimmed_string(token));
    if (word.empty() || word == "TRUE" || word == "FALSE")
        return {};
    std::string kept;
    for (char c : word)
        if (std::isalnum(static_cast<unsigned char>(c)))
            kept += c;
    const bool hasLetter =
        std::any_of(kept.begin(), kept.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
    return hasLetter ? kept : std::string();
}

}  // namespace

std::vector<std::string> cw_tci_commands(const std::string& message)
{
    return split_any(message, ";");
}

std::string cw_parse_tci_title_mode_string(const std::string& arguments)
{
    bool sawCW = false;
    std::string first;
    for (const std::string& token : split_any(arguments, kSeparators)) {
        const std::string candidate = mode_candidate(token);
        if (candidate == "CWU" || candidate == "CWL")
            return candidate;
        if (candidate == "CW")
            sawCW = true;
        else if (first.empty())
            first = candidate;
    }
    return sawCW ? "CW" : first;
}

double cw_tci_command_frequency(const std::string& command)
{
    std::string name;
    std::string arguments;
    if (!split_name(command, &name, &arguments) || !is_frequency_name(name))
        return 0.0;
    for (const std::string& piece : split_any(arguments, kSeparators)) {
        const std::string token = cw_trimmed_string(piece);
        if (token.empty() || !has_digit(token))
            continue;
        const double hz = token_frequency(token);
        if (hz > 0.0)
            return hz;
    }
    return 0.0;
}

bool cw_tci_track_command(CW_TCI_STATE* state, const std::string& command)
{
    std::string name;
    std::string arguments;
    if (state == nullptr || !split_name(command, &name, &arguments))
        return false;
    if (is_frequency_name(name)) {
        const double hz = cw_tci_command_frequency(command);
        if (!(hz > 0.0))
            return false;
        state->frequencyHz = hz;
        return true;
    }
    if (name != "modulation" && name != "mode")
        return false;
    const std::string mode = cw_parse_tci_title_mode_string(arguments);
    if (mode.empty() || mode == state->mode)
        return false;
    state->mode = mode;
    return true;
}

std::optional<double> cw_tci_speed_reply(const std::string& command)
{
    if (command.rfind("cw_macros_speed:", 0) != 0 && command.rfind("cw_keyer_speed:", 0) != 0)
        return std::nullopt;
    const std::vector<std::string> pieces = split_any(command, ":");
    if (pieces.size() < 2 || !has_digit(pieces[1]))
        return std::nullopt;
    const double v = cw_text_double_value(pieces[1]);
    if (std::isnan(v))
        return std::nullopt;
    return std::clamp(v, 1.0, 100.0);
}

CW_TCI_MESSAGE_EFFECT cw_tci_apply_message(CW_TCI_STATE* state, const std::string& message)
{
    CW_TCI_MESSAGE_EFFECT effect;
    for (const std::string& command : cw_tci_commands(message)) {
        if (cw_tci_track_command(state, command))
            effect.titleChanged = true;
        if (const std::optional<double> wpm = cw_tci_speed_reply(command))
            effect.txWpm = wpm;
    }
    return effect;
}
