#include "cw_macro_expansion.h"

#include "cw_field_strings.h"
#include "tci_commands.h"

#include <cmath>

namespace {

constexpr const char* kCWDefaultRst = "599";

// Start of the UTF-8 character that ends just before pos (pos > 0).
size_t cw_previous_char_start(const std::string& text, size_t pos)
{
    size_t start = pos - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return start;
}

bool cw_space_before(const std::string& text, size_t pos)
{
    if (pos == 0)
        return false;
    size_t length = 0;
    return cw_macro_char_is_space(cw_utf8_code_point_at(text, cw_previous_char_start(text, pos), &length));
}

bool cw_space_at(const std::string& text, size_t pos)
{
    size_t length = 0;
    return pos < text.size() && cw_macro_char_is_space(cw_utf8_code_point_at(text, pos, &length));
}

std::string cw_rst_token_value(const std::string& field, bool cutNumbers)
{
    const std::string rst = field.empty() ? kCWDefaultRst : field;
    return cutNumbers ? cw_short_rst_string(rst) : cw_normalized_upper_field_string(rst);
}

// Appends a known token's value (or sets its flag); false for an unknown token.
bool cw_apply_macro_token(const std::string& token, const CW_STATION_VALUES& station, const CW_QSO_INPUTS& qso,
                          CW_MACRO_EXPANSION& expansion)
{
    std::string& out = expansion.text;
    if (token == "TX")
        expansion.startTx = true;
    else if (token == "RX")
        expansion.stopAfterQueue = true;
    else if (token == "BR" || token == "CRLF")
        out += ' ';
    else if (token == "MYCALL")
        out += station.callsign;
    else if (token == "MYNAME")
        out += station.name;
    else if (token == "MYQTH")
        out += station.qth;
    else if (token == "MYLOC")
        out += station.locator;
    else if (token == "PCALL" || token == "CALL")
        out += cw_normalized_upper_field_string(qso.partnerCall);
    else if (token == "PNAME" || token == "NAME")
        out += cw_normalized_upper_field_string(qso.partnerName);
    else if (token == "RST")
        out += cw_rst_token_value(qso.rstSent, qso.shortRst);
    else if (token == "PRST")
        out += cw_rst_token_value(qso.rstReceived, false);
    else
        return false;
    return true;
}

}  // namespace

CW_STATION_VALUES cw_station_values(const CWPreferenceStore& store)
{
    return CW_STATION_VALUES{
        cw_defaults_string(store, kCWStationCallsignKey, kCWStationCallsignDefault),
        cw_defaults_string(store, kCWStationNameKey, ""),
        cw_defaults_string(store, kCWStationQthKey, ""),
        cw_defaults_string(store, kCWStationLocKey, ""),
    };
}

std::string cw_short_rst_string(const std::string& text)
{
    std::string out = cw_normalized_upper_field_string(text);
    for (char& c : out) {
        if (c == '0')
            c = 'T';
        else if (c == '9')
            c = 'N';
    }
    return out;
}

bool cw_macro_char_is_space(char32_t c)
{
    return cw_is_space_code_point(c);
}

void cw_delete_one_trailing_macro_space(std::string& text)
{
    if (!text.empty() && cw_space_before(text, text.size()))
        text.erase(cw_previous_char_start(text, text.size()));
}

CW_MACRO_EXPANSION cw_expanded_macro_text(const std::string& text, const CW_STATION_VALUES& station,
                                          const CW_QSO_INPUTS& qso)
{
    CW_MACRO_EXPANSION expansion;
    size_t p = 0;
    while (p < text.size()) {
        const size_t open = text.find('<', p);
        const size_t close = open == std::string::npos ? open : text.find('>', open + 1);
        if (close == std::string::npos) {
            expansion.text.append(text, p);
            break;
        }
        expansion.text.append(text, p, open - p);
        const std::string token = cw_upper_string(text.substr(open + 1, close - open - 1));
        const bool known = cw_apply_macro_token(token, station, qso, expansion);
        // 'A <X> B' becomes 'A B', not 'A  B'.
        if (!known && cw_space_before(text, open) && cw_space_at(text, close + 1))
            cw_delete_one_trailing_macro_space(expansion.text);
        p = close + 1;
    }
    expansion.text = cw_upper_string(expansion.text);
    return expansion;
}

long cw_tx_wpm_value(const std::string& fieldText)
{
    return std::lround(cw_setting_value(kCWTxWpmSetting, fieldText));
}

std::string cw_tx_wpm_field_text(const std::string& fieldText)
{
    return std::to_string(cw_tx_wpm_value(fieldText));
}

CW_MACRO_SEND_PLAN cw_macro_send_plan(const std::string& expandedText, bool connected,
                                      const std::string& txWpmFieldText)
{
    CW_MACRO_SEND_PLAN plan;
    const std::string text = cw_trimmed_string(expandedText);
    if (text.empty())
        return plan;
    if (!connected) {
        plan.outcome = CW_MACRO_SEND_NOT_CONNECTED;
        plan.logLine = kCWTxNotConnectedMessage;
        return plan;
    }
    plan.outcome = CW_MACRO_SEND_SENT;
    plan.speed = cw_tx_wpm_value(txWpmFieldText);
    plan.txWpmFieldText = std::to_string(plan.speed);
    plan.commands = tci_cw_macro_commands(plan.speed, text);
    plan.logLine = ">> TX macro: " + text;
    plan.transmittedText = text;
    return plan;
}
