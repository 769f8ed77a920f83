// Macro text expansion and the CW transmit over TCI: station and QSO
// tokens, the TCI CW text encoding, the TX speed and the commands of one
// send. Strings are UTF-8.
#pragma once

#include "cw_settings.h"

#include <string>
#include <vector>

constexpr const char* kCWStationCallsignKey = "CWMacroSetupCallsign";
constexpr const char* kCWStationCallsignDefault = "QQ0QQ";
constexpr const char* kCWStationNameKey = "CWMacroSetupName";
constexpr const char* kCWStationQthKey = "CWMacroSetupQTH";
constexpr const char* kCWStationLocKey = "CWMacroSetupLoc";

constexpr const char* kCWTxNotConnectedMessage = "TX ignored: TCI not connected.";

// The station's own data as the macro tokens insert it (stored value if
// non-empty, else the default; not trimmed).
struct CW_STATION_VALUES {
    std::string callsign;
    std::string name;
    std::string qth;
    std::string locator;
};

CW_STATION_VALUES cw_station_values(const CWPreferenceStore& store);

// The QSO fields of the main window at expansion time, as typed.
struct CW_QSO_INPUTS {
    std::string partnerCall;
    std::string partnerName;
    std::string rstSent;
    std::string rstReceived;
    bool shortRst = false;
};

struct CW_MACRO_EXPANSION {
    std::string text;             // upper-cased, not trimmed
    bool startTx = false;         // the text held <TX>
    bool stopAfterQueue = false;  // the text held <RX>
};

// Normalised, then every "0" becomes "T" and every "9" becomes "N".
std::string cw_short_rst_string(const std::string& text);

// White space and line breaks.
bool cw_macro_char_is_space(char32_t c);

// Deletes the last character when it is white space or a line break.
void cw_delete_one_trailing_macro_space(std::string& text);

// Replaces the tokens in angle brackets (case-insensitive); unknown tokens
// vanish, an unclosed "<" stays as text. The result is upper-cased.
CW_MACRO_EXPANSION cw_expanded_macro_text(const std::string& text, const CW_STATION_VALUES& station,
                                          const CW_QSO_INPUTS& qso);

// The TX WPM field's speed: clamped to 1..100 (empty or below 1 gives 1),
// halves rounded away from zero. Used for every send and every rewrite of
// the field, so the field always shows the speed that is sent.
long cw_tx_wpm_value(const std::string& fieldText);

// That speed as the field shows it ("%ld").
std::string cw_tx_wpm_field_text(const std::string& fieldText);

enum CW_MACRO_SEND_OUTCOME {
    CW_MACRO_SEND_EMPTY,          // nothing left after trimming: no command, no log line
    CW_MACRO_SEND_NOT_CONNECTED,  // nothing sent; keep the operator's text
    CW_MACRO_SEND_SENT,
};

// Everything one send does, for the caller to carry out in order.
struct CW_MACRO_SEND_PLAN {
    CW_MACRO_SEND_OUTCOME outcome = CW_MACRO_SEND_EMPTY;
    std::vector<std::string> commands;  // TCI text messages, in sending order
    std::string logLine;                // for the log pane; empty when nothing is logged
    std::string transmittedText;        // for the transmitted-text pane when sent
    long speed = 0;                     // when sent: store under kCWTxWpmSetting.key
    std::string txWpmFieldText;         // when sent: the TX WPM field's new text
};

// connected must mean the TCI link is open and its handshake complete.
CW_MACRO_SEND_PLAN cw_macro_send_plan(const std::string& expandedText, bool connected,
                                      const std::string& txWpmFieldText);
