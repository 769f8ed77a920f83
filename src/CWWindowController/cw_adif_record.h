// One logged QSO as an ADIF record, the QSO frequency as the operator
// enters it, the required-field check and the Log QSO dialog's texts.
// Strings are UTF-8.
#pragma once

#include "cw_settings.h"

#include <ctime>
#include <string>
#include <vector>

// Appends "<NAME:bytes>value"; nothing when the value is empty after
// trimming. The value is written as given.
void cw_adif_append_tag(std::string& record, const std::string& name, const std::string& value);

// The values of one QSO record, as typed; the builder normalises them.
struct CW_LOG_QSO {
    std::string call;
    std::string name;
    std::string rstSent;
    std::string rstRcvd;
    std::string freq;  // as prepared by cw_log_prepared_frequency_text
    std::string grid;
    std::string qth;
    std::string comment;
    std::string utcDate;  // "yyyyMMdd"
    std::string utcTime;  // "HHmmss"
    std::string stationCallsign;
    std::string myGridsquare;
};

// The record's fields in their fixed order, ending in "<EOR>", no line feed.
std::string cw_log_adif_record(const CW_LOG_QSO& qso);

// The station call-sign and locator settings the log uses: empty fallback,
// trimmed and upper-cased.
struct CW_LOG_STATION {
    std::string callsign;
    std::string gridsquare;
};

CW_LOG_STATION cw_log_station(const CWPreferenceStore& store);

// A QRG text in Hz, 0 when unusable: below 1000 it is MHz, otherwise Hz.
// Refused (0): no number, not above 0, not finite, 1000 Hz up to 100 kHz
// (such values are kHz typed by mistake, not an amateur CW frequency in Hz:
// guessing the unit could log a wrong band, so the operator is asked), and
// above 1 THz.
double cw_frequency_hz_from_log_string(const std::string& text);

// Why a non-empty QRG text is refused, for the operator; empty when it is
// usable or empty.
std::string cw_log_frequency_problem(const std::string& text);

// "%.6f" MHz; empty when hz is not above 0 (or not finite).
std::string cw_log_frequency_string(double hz);

// The QRG field's text as the record takes it: trimmed, and in MHz with six
// decimals when it is a usable frequency (7.03 and 7030000 both give
// "7.030000"); an unusable text stays as typed so the check can name it.
std::string cw_log_prepared_frequency_text(const std::string& fieldText);

struct CW_LOG_REQUIRED_VALUES {
    std::string call;
    std::string freq;
    std::string rstSent;
    std::string rstRcvd;
    std::string stationCallsign;
    std::string myGridsquare;
};

// Names of the missing values in order: "CALL", "QRG", "RST-S", "RST-R",
// "STATION CALLSIGN", "MY GRID".
std::vector<std::string> cw_missing_log_fields(const CW_LOG_REQUIRED_VALUES& values);

constexpr const char* kCWLogNotLoggedTitle = "QSO not logged";
// Added to the refusal the first time the station's call or grid is missing.
constexpr const char* kCWLogStationSetupHint =
    "\n\nEnter your station call and locator in Setup, which opens now; the QSO stays in the Log dialog.";

// The alert's informative text, "Missing required field(s): %@", followed
// by a blank line and the QRG problem when the QRG was typed but refused.
// Empty when nothing is missing.
std::string cw_missing_log_fields_text(const CW_LOG_REQUIRED_VALUES& values);

// The QSO time in UTC: "yyyyMMdd" and "HHmmss".
struct CW_UTC_STAMP {
    std::string date;
    std::string time;
};

CW_UTC_STAMP cw_utc_stamp(std::time_t when);

constexpr const char* kCWLogDialogTitle = "Log QSO";

// "UTC timestamp captured at Log click: %@ %@. ADIF is always saved
// locally. UDP transfer is optional per QSO."
std::string cw_log_dialog_informative_text(const CW_UTC_STAMP& stamp);

// "Station: %@    MY GRID: %@    MODE: CW", "--" for an empty value.
std::string cw_log_station_line(const CW_LOG_STATION& station);
