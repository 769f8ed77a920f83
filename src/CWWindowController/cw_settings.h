// The window's persisted settings: keys, defaults, ranges, the preference
// readers and the receiver configuration built from the fields.
#pragma once

#include "CWRx.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// Per-user preferences as text by key (QSettings in the program, a map in
// tests).
class CWPreferenceStore {
public:
    virtual ~CWPreferenceStore() = default;
    virtual std::optional<std::string> value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const std::string& value) = 0;
    // Writes what was set through to storage now.
    virtual void synchronize() {}
    // Given one line when what was set cannot be written to storage.
    virtual void setFailureReport(std::function<void(const std::string&)>) {}
};

// The longest text each string setting is read back with, in bytes: a
// settings file edited by hand or damaged cannot hand the window a
// megabyte host name to resolve or lay out.
constexpr size_t kCWHostNameMaxBytes = 253;  // the longest DNS name
constexpr size_t kCWStationCallsignMaxBytes = 32;
constexpr size_t kCWStationTextMaxBytes = 64;  // name and QTH
constexpr size_t kCWStationLocatorMaxBytes = 10;
constexpr size_t kCWMacroTitleMaxBytes = 32;
// With an escaped title it still fits a macro file line of 1024 bytes.
constexpr size_t kCWMacroTextMaxBytes = 900;
constexpr size_t kCWStringSettingMaxBytes = 1024;  // any other key

size_t cw_string_setting_max_bytes(const std::string& key);

// The stored value if present (for strings: present and non-empty, and cut
// to the key's maximum at a character boundary), else the fallback.
std::string cw_defaults_string(const CWPreferenceStore& store, const std::string& key, const std::string& fallback);
long long cw_defaults_integer(const CWPreferenceStore& store, const std::string& key, long long fallback);
double cw_defaults_double(const CWPreferenceStore& store, const std::string& key, double fallback);
bool cw_defaults_bool(const CWPreferenceStore& store, const std::string& key, bool fallback);

// A numeric setting shown in a text field and clamped whenever it is read
// back from it.
struct CW_NUMERIC_SETTING {
    const char* key;  // null for displays that are not stored
    double defaultValue;
    double min;
    double max;
    int decimals;  // shown with "%.<decimals>f"
};

extern const CW_NUMERIC_SETTING kCWPitchSetting;
extern const CW_NUMERIC_SETTING kCWBandwidthSetting;
extern const CW_NUMERIC_SETTING kCWThresholdDisplay;
extern const CW_NUMERIC_SETTING kCWMinWpmSetting;
extern const CW_NUMERIC_SETTING kCWMaxWpmSetting;
extern const CW_NUMERIC_SETTING kCWQomSearchSetting;
extern const CW_NUMERIC_SETTING kCWLockHoldSetting;
extern const CW_NUMERIC_SETTING kCWAutoGtmRearmSetting;
extern const CW_NUMERIC_SETTING kCWTxWpmSetting;
extern const CW_NUMERIC_SETTING kCWSquelchSetting;  // text squelch level, 0 off

constexpr const char* kCWHostKey = "ZarvoHost";
constexpr const char* kCWHostDefault = "127.0.0.1";
constexpr const char* kCWPortKey = "ZarvoPort";
constexpr long long kCWPortDefault = 50001;
constexpr const char* kCWSqlKey = "ZarvoSQL";  // text squelch level 0..1, 0 off
constexpr const char* kCWAutoCenterKey = "ZarvoAutoCenter";
constexpr const char* kCWQomAgcKey = "ZarvoQOMAGC";
constexpr const char* kCWShortRstKey = "ZarvoShortRST";

// The field's text read as a number and clamped to the setting's range.
double cw_setting_value(const CW_NUMERIC_SETTING& setting, const std::string& fieldText);

// The field's text formatted for display: the clamped value.
std::string cw_setting_text(const CW_NUMERIC_SETTING& setting, const std::string& fieldText);

// A value clamped to the setting's range and formatted for its field.
std::string cw_setting_format(const CW_NUMERIC_SETTING& setting, double value);

// What the QOM Thr display shows for a receiver threshold: 0..1, "%.2f".
std::string cw_formatted_threshold(double threshold);

// The stored value (or default) formatted for the field, not clamped.
std::string cw_setting_initial_text(const CW_NUMERIC_SETTING& setting, const CWPreferenceStore& store);

// Writers matching the readers: numbers as shortest round-trip text, flags
// as "true" and "false".
void cw_store_integer(CWPreferenceStore& store, const std::string& key, long long value);
void cw_store_double(CWPreferenceStore& store, const std::string& key, double value);
void cw_store_bool(CWPreferenceStore& store, const std::string& key, bool value);

// A port field's value as the link uses it: below 2 gives 1.
long long cw_port_value(const std::string& fieldText);

// The clamped values of the decoder fields.
struct CW_DECODER_FIELDS {
    double pitchHz;
    double bandwidthHz;
    double threshold;
    double minWpm;
    double maxWpm;
    double searchHz;
    bool agcEnabled;
    double lockHoldSeconds;
};

CW_RX_CONFIG cw_decoder_config(const CW_DECODER_FIELDS& fields, double sampleRate);
