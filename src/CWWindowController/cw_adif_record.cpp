#include "cw_adif_record.h"

#include "cw_field_strings.h"
#include "cw_macro_expansion.h"
#include "cw_text_values.h"

#include <cmath>

namespace {

constexpr double kCWMhzBelow = 1000.0;
constexpr double kCWKhzRangeEnd = 100000.0;
constexpr double kCWHighestHz = 1e12;

enum CW_QRG_VERDICT { CW_QRG_USABLE, CW_QRG_EMPTY, CW_QRG_NOT_A_FREQUENCY, CW_QRG_KHZ, CW_QRG_TOO_HIGH };

struct CW_QRG {
    CW_QRG_VERDICT verdict;
    double value;  // the number as typed
};

bool cw_has_decimal_digit(const std::string& text)
{
    return text.find_first_of("0123456789") != std::string::npos;
}

CW_QRG cw_classified_qrg(const std::string& text)
{
    const std::string trimmed = cw_trimmed_string(text);
    if (trimmed.empty())
        return {CW_QRG_EMPTY, 0.0};
    // Overflow ("1e999") and "nan" read as 0 here and are refused with it.
    const double v = cw_has_decimal_digit(trimmed) ? cw_text_double_value(trimmed) : 0.0;
    if (!(v > 0.0) || !std::isfinite(v))
        return {CW_QRG_NOT_A_FREQUENCY, v};
    if (v < kCWMhzBelow)
        return {CW_QRG_USABLE, v};
    if (v < kCWKhzRangeEnd)
        return {CW_QRG_KHZ, v};
    if (v > kCWHighestHz)
        return {CW_QRG_TOO_HIGH, v};
    return {CW_QRG_USABLE, v};
}

std::string cw_quoted(const std::string& text)
{
    return "\"" + cw_trimmed_string(text) + "\"";
}

constexpr const char* kCWQrgHint = " Enter MHz (7.030) or Hz (7030000).";

}  // namespace

void cw_adif_append_tag(std::string& record, const std::string& name, const std::string& value)
{
    if (cw_trimmed_string(value).empty())
        return;
    record += "<" + name + ":" + std::to_string(value.size()) + ">" + value;
}

std::string cw_log_adif_record(const CW_LOG_QSO& qso)
{
    std::string record;
    cw_adif_append_tag(record, "CALL", cw_normalized_upper_field_string(qso.call));
    cw_adif_append_tag(record, "FREQ", cw_trimmed_string(qso.freq));
    cw_adif_append_tag(record, "MODE", "CW");
    cw_adif_append_tag(record, "QSO_DATE", qso.utcDate);
    cw_adif_append_tag(record, "TIME_ON", qso.utcTime);
    cw_adif_append_tag(record, "QSO_DATE_OFF", qso.utcDate);
    cw_adif_append_tag(record, "TIME_OFF", qso.utcTime);
    cw_adif_append_tag(record, "RST_SENT", cw_normalized_upper_field_string(qso.rstSent));
    cw_adif_append_tag(record, "RST_RCVD", cw_normalized_upper_field_string(qso.rstRcvd));
    cw_adif_append_tag(record, "STATION_CALLSIGN", cw_normalized_upper_field_string(qso.stationCallsign));
    cw_adif_append_tag(record, "MY_GRIDSQUARE", cw_normalized_upper_field_string(qso.myGridsquare));
    cw_adif_append_tag(record, "NAME", cw_normalized_upper_field_string(qso.name));
    cw_adif_append_tag(record, "GRIDSQUARE", cw_normalized_upper_field_string(qso.grid));
    cw_adif_append_tag(record, "QTH", cw_normalized_upper_field_string(qso.qth));
    cw_adif_append_tag(record, "COMMENT", cw_trimmed_string(qso.comment));
    return record + "<EOR>";
}

CW_LOG_STATION cw_log_station(const CWPreferenceStore& store)
{
    return CW_LOG_STATION{
        cw_normalized_upper_field_string(cw_defaults_string(store, kCWStationCallsignKey, "")),
        cw_normalized_upper_field_string(cw_defaults_string(store, kCWStationLocKey, "")),
    };
}

double cw_frequency_hz_from_log_string(const std::string& text)
{
    const CW_QRG qrg = cw_classified_qrg(text);
    if (qrg.verdict != CW_QRG_USABLE)
        return 0.0;
    return qrg.value < kCWMhzBelow ? qrg.value * 1e6 : qrg.value;
}

std::string cw_log_frequency_problem(const std::string& text)
{
    const CW_QRG qrg = cw_classified_qrg(text);
    switch (qrg.verdict) {
    case CW_QRG_NOT_A_FREQUENCY: return "QRG " + cw_quoted(text) + " is not a frequency." + kCWQrgHint;
    case CW_QRG_KHZ:
        return "QRG " + cw_quoted(text) + " looks like kHz. Enter MHz (" + cw_format_value(qrg.value / 1e3, 6) +
               ") or Hz (" + cw_format_value(qrg.value * 1e3, 0) + ").";
    case CW_QRG_TOO_HIGH: return "QRG " + cw_quoted(text) + " is above 1 THz." + kCWQrgHint;
    default: return "";
    }
}

std::string cw_log_frequency_string(double hz)
{
    return hz > 0.0 && std::isfinite(hz) ? cw_format_value(hz / 1e6, 6) : "";
}

std::string cw_log_prepared_frequency_text(const std::string& fieldText)
{
    const std::string trimmed = cw_trimmed_string(fieldText);
    const double hz = cw_frequency_hz_from_log_string(trimmed);
    return hz > 0.0 ? cw_log_frequency_string(hz) : trimmed;
}

std::vector<std::string> cw_missing_log_fields(const CW_LOG_REQUIRED_VALUES& values)
{
    const struct {
        const char* name;
        bool missing;
    } checks[] = {
        {"CALL", cw_normalized_upper_field_string(values.call).empty()},
        {"QRG", !(cw_frequency_hz_from_log_string(values.freq) > 0.0)},
        {"RST-S", cw_trimmed_string(values.rstSent).empty()},
        {"RST-R", cw_trimmed_string(values.rstRcvd).empty()},
        {"STATION CALLSIGN", cw_trimmed_string(values.stationCallsign).empty()},
        {"MY GRID", cw_trimmed_string(values.myGridsquare).empty()},
    };
    std::vector<std::string> missing;
    for (const auto& check : checks) {
        if (check.missing)
            missing.push_back(check.name);
    }
    return missing;
}

std::string cw_missing_log_fields_text(const CW_LOG_REQUIRED_VALUES& values)
{
    const std::vector<std::string> missing = cw_missing_log_fields(values);
    if (missing.empty())
        return "";
    std::string text = "Missing required field(s): ";
    for (size_t i = 0; i < missing.size(); ++i)
        text += (i ? ", " : "") + missing[i];
    const std::string problem = cw_log_frequency_problem(values.freq);
    return problem.empty() ? text : text + "\n\n" + problem;
}

CW_UTC_STAMP cw_utc_stamp(std::time_t when)
{
    std::tm utc{};
    if (!gmtime_r(&when, &utc))
        return {};
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y%m%d", &utc);
    std::strftime(time, sizeof time, "%H%M%S", &utc);
    return CW_UTC_STAMP{date, time};
}

std::string cw_log_dialog_informative_text(const CW_UTC_STAMP& stamp)
{
    return "UTC timestamp captured at Log click: " + stamp.date + " " + stamp.time +
           ". ADIF is always saved locally. UDP transfer is optional per QSO.";
}

std::string cw_log_station_line(const CW_LOG_STATION& station)
{
    const auto shown = [](const std::string& value) { return value.empty() ? std::string("--") : value; };
    return "Station: " + shown(station.callsign) + "    MY GRID: " + shown(station.gridsquare) + "    MODE: CW";
}
