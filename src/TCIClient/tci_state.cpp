#include "tci_state.h"

#include "tci_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

namespace {

// Servers differ in how they separate a command's values; any of these does.
constexpr const char* kSeparators = ", \t\r\n";

std::vector<std::string> tokens(const std::string& text)
{
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (std::char_traits<char>::find(kSeparators, std::char_traits<char>::length(kSeparators), c))
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

bool has_digit(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The decimal number a token starts with ("7030000", "7.030", "25wpm"); 0
// when there is none or it is not finite.
double leading_number(const std::string& token)
{
    double value = 0.0;
    const std::errc error = std::from_chars(token.data(), token.data() + token.size(), value).ec;
    return error == std::errc() && std::isfinite(value) ? value : 0.0;
}

// Hz as sent, or MHz with a decimal point as some servers send.
double token_frequency(const std::string& token)
{
    const double v = leading_number(token);
    if (v >= 100000.0 && v <= 1e11)
        return v;
    if (v >= 1.0 && v <= 1000.0 && token.find('.') != std::string::npos)
        return v * 1e6;
    return 0.0;
}

bool is_frequency_name(const std::string& name)
{
    static const std::array<const char*, 5> names = {"vfo", "dds", "frequency", "rx_frequency", "tx_frequency"};
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string mode_candidate(const std::string& token)
{
    std::string word = tci_trimmed(token);
    for (char& c : word)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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

double frequency_in(const std::string& arguments)
{
    for (const std::string& piece : tokens(arguments)) {
        const std::string token = tci_trimmed(piece);
        if (token.empty() || !has_digit(token))
            continue;
        if (const double hz = token_frequency(token); hz > 0.0)
            return hz;
    }
    return 0.0;
}

// A whole argument of decimal digits, at most `limit`; nothing else (no
// sign, no space inside, no trailing text).
std::optional<uint64_t> plain_count(const std::string& text, uint64_t limit)
{
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end || value > limit)
        return std::nullopt;
    return value;
}

std::optional<int32_t> receiver_index(const std::string& text)
{
    const std::optional<uint64_t> index = plain_count(text, kTCIMaxReceiverIndex);
    return index ? std::optional<int32_t>(static_cast<int32_t>(*index)) : std::nullopt;
}

// Receiver and channel indices come before the value: "vfo:RX,CH,HZ;",
// "dds:RX,HZ;", "modulation:RX,MODE;". Forms without them ("vfo:7030000;",
// "modulation:cw;") are of the only receiver there is. False when the
// command names another receiver or channel.
bool of_main_receiver(const TCI_COMMAND& command)
{
    const std::vector<std::string>& a = command.arguments;
    for (size_t i = 0; i + 1 < a.size(); ++i) {
        const std::optional<int32_t> index = receiver_index(a[i]);
        if (!index)
            break;  // "modulation:0,usb,cw": one index, then words
        if (*index != 0)
            return false;
    }
    return true;
}

bool track(TCI_RADIO_STATE* state, const TCI_COMMAND& command)
{
    if (!command.hasArguments)
        return false;
    if (is_frequency_name(command.name)) {
        const bool vfo = command.name == "vfo", dds = command.name == "dds";
        if ((vfo || dds) && !of_main_receiver(command))
            return false;
        // The panorama centre stands in for the dial only on servers that
        // report no vfo.
        if (dds && state->mainVfoSeen)
            return false;
        const double hz = frequency_in(command.argumentText);
        if (!(hz > 0.0))
            return false;
        state->frequencyHz = hz;
        state->mainVfoSeen = state->mainVfoSeen || vfo;
        return true;
    }
    if (command.name != "modulation" && command.name != "mode")
        return false;
    if (!of_main_receiver(command))
        return false;
    const std::string mode = tci_mode_in_arguments(command.argumentText);
    if (mode.empty() || mode == state->mode)
        return false;
    state->mode = mode;
    return true;
}

// A speed reply is taken as the server writes it, in lower case, clamped to
// 1..100; a value that is no number is not taken.
std::optional<double> speed_reply(const std::string& command)
{
    if (command.rfind("cw_macros_speed:", 0) != 0 && command.rfind("cw_keyer_speed:", 0) != 0)
        return std::nullopt;
    const std::string value = tci_trimmed(command.substr(command.find(':') + 1));
    if (!has_digit(value))
        return std::nullopt;
    double v = 0.0;
    const std::errc error = std::from_chars(value.data(), value.data() + value.size(), v).ec;
    if (error == std::errc::result_out_of_range)
        v = value.front() == '-' ? 1.0 : 100.0;
    else if (error != std::errc() || std::isnan(v))
        return std::nullopt;
    return std::clamp(v, 1.0, 100.0);
}

// Whole Hz as sent; a decimal fraction is taken too, since some servers
// echo the frequency a client gave as a double.
std::optional<double> click_frequency(const std::string& text)
{
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    const bool digitsOnly =
        std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (text.empty() || !digitsOnly || error != std::errc() || stop != end || !(value >= 1.0) ||
        value > kTCIMaxClickFrequencyHz)
        return std::nullopt;
    return value;
}

std::optional<TCI_SPOT_CLICK> spot_click(const TCI_COMMAND& command)
{
    const bool withReceiver = command.name == "rx_clicked_on_spot";
    if (!withReceiver && command.name != "clicked_on_spot")
        return std::nullopt;
    const std::vector<std::string>& a = command.arguments;
    if (a.size() != (withReceiver ? 4u : 2u))
        return std::nullopt;
    const size_t first = withReceiver ? 2 : 0;
    TCI_SPOT_CLICK click;
    click.call = a[first];
    const std::optional<double> hz = click_frequency(a[first + 1]);
    if (click.call.empty() || !hz)
        return std::nullopt;
    click.frequencyHz = *hz;
    if (withReceiver) {
        const std::optional<int32_t> receiver = receiver_index(a[0]), channel = receiver_index(a[1]);
        if (!receiver || !channel)
            return std::nullopt;
        click.receiver = *receiver, click.channel = *channel;
    }
    return click;
}

std::optional<uint32_t> iq_rate(const TCI_COMMAND& command)
{
    if (command.name != "iq_samplerate" || command.arguments.size() != 1)
        return std::nullopt;
    const std::optional<uint64_t> rate = plain_count(command.arguments[0], kTCIMaxIqSampleRate);
    if (!rate || *rate < kTCIMinIqSampleRate)
        return std::nullopt;
    return static_cast<uint32_t>(*rate);
}

std::optional<TCI_IQ_SWITCH> iq_switch(const TCI_COMMAND& command)
{
    const bool start = command.name == "iq_start";
    if ((!start && command.name != "iq_stop") || command.arguments.size() != 1)
        return std::nullopt;
    const std::optional<int32_t> receiver = receiver_index(command.arguments[0]);
    if (!receiver)
        return std::nullopt;
    return TCI_IQ_SWITCH{.receiver = *receiver, .running = start};
}

}  // namespace

std::string tci_mode_in_arguments(const std::string& arguments)
{
    bool sawCW = false;
    std::string first;
    for (const std::string& token : tokens(arguments)) {
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

TCI_STATE_EVENTS tci_state_apply_message(TCI_RADIO_STATE* state, const std::string& message)
{
    TCI_STATE_EVENTS events;
    if (state == nullptr)
        return events;
    for (const std::string& command : tci_split_commands(message)) {
        const TCI_COMMAND parsed = tci_parse_command(command);
        if (track(state, parsed))
            events.titleChanged = true;
        if (std::optional<TCI_SPOT_CLICK> click = spot_click(parsed))
            events.spotClicks.push_back(std::move(*click));
        if (const std::optional<uint32_t> rate = iq_rate(parsed))
            events.iqSampleRate = rate;
        if (const std::optional<TCI_IQ_SWITCH> change = iq_switch(parsed))
            events.iqSwitches.push_back(*change);
        if (const std::optional<double> wpm = speed_reply(command))
            events.txWpm = wpm;
    }
    return events;
}
