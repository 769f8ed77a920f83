#include "cw_settings.h"

#include "cw_auto_gtm.h"
#include "cw_macro_buttons.h"
#include "cw_macro_expansion.h"
#include "cw_text_values.h"
#include "cw_udp_log_sender.h"

#include <algorithm>
#include <charconv>
#include <cmath>

const CW_NUMERIC_SETTING kCWPitchSetting = {"ZarvoPitch", 600.0, 300.0, 1200.0, 0};
const CW_NUMERIC_SETTING kCWBandwidthSetting = {"ZarvoBandwidth", 120.0, 10.0, 200.0, 0};
const CW_NUMERIC_SETTING kCWThresholdDisplay = {nullptr, 0.5, 0.0, 1.0, 2};
const CW_NUMERIC_SETTING kCWMinWpmSetting = {"ZarvoMinWPM", 10.0, 5.0, 80.0, 0};
const CW_NUMERIC_SETTING kCWMaxWpmSetting = {"ZarvoMaxWPM", 60.0, 5.0, 80.0, 0};
const CW_NUMERIC_SETTING kCWQomSearchSetting = {"ZarvoQOMSearchHz", 15.0, 5.0, 30.0, 0};
const CW_NUMERIC_SETTING kCWLockHoldSetting = {"ZarvoQOMLockHold", 1.8, 0.8, 4.0, 1};
const CW_NUMERIC_SETTING kCWAutoGtmRearmSetting = {"ZarvoAutoGTMRearm", kCWAutoGtmDefaultRearmSeconds, 1.0, 5.0, 1};
const CW_NUMERIC_SETTING kCWTxWpmSetting = {"ZarvoTxWPM", 25.0, 1.0, 100.0, 0};
const CW_NUMERIC_SETTING kCWSquelchSetting = {kCWSqlKey, 0.5, 0.0, 1.0, 2};

namespace {

bool cw_is_macro_key(const std::string& key, std::string (*slotKey)(size_t))
{
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        if (key == slotKey(i))
            return true;
    }
    return false;
}

// At most maxBytes, never ending inside a UTF-8 sequence.
std::string cw_bounded_text(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

size_t cw_string_setting_max_bytes(const std::string& key)
{
    if (key == kCWHostKey || key == kCWLogHostKey)
        return kCWHostNameMaxBytes;
    if (key == kCWStationCallsignKey)
        return kCWStationCallsignMaxBytes;
    if (key == kCWStationNameKey || key == kCWStationQthKey)
        return kCWStationTextMaxBytes;
    if (key == kCWStationLocKey)
        return kCWStationLocatorMaxBytes;
    if (cw_is_macro_key(key, cw_macro_button_title_key))
        return kCWMacroTitleMaxBytes;
    if (cw_is_macro_key(key, cw_macro_text_key))
        return kCWMacroTextMaxBytes;
    return kCWStringSettingMaxBytes;
}

std::string cw_defaults_string(const CWPreferenceStore& store, const std::string& key, const std::string& fallback)
{
    const std::optional<std::string> stored = store.value(key);
    return stored && !stored->empty() ? cw_bounded_text(*stored, cw_string_setting_max_bytes(key)) : fallback;
}

long long cw_defaults_integer(const CWPreferenceStore& store, const std::string& key, long long fallback)
{
    const std::optional<std::string> stored = store.value(key);
    return stored ? cw_text_integer_value(*stored) : fallback;
}

double cw_defaults_double(const CWPreferenceStore& store, const std::string& key, double fallback)
{
    const std::optional<std::string> stored = store.value(key);
    return stored ? cw_text_double_value(*stored) : fallback;
}

bool cw_defaults_bool(const CWPreferenceStore& store, const std::string& key, bool fallback)
{
    const std::optional<std::string> stored = store.value(key);
    return stored ? cw_text_bool_value(*stored) : fallback;
}

double cw_setting_value(const CW_NUMERIC_SETTING& setting, const std::string& fieldText)
{
    return cw_clamp_value(cw_text_double_value(fieldText), setting.min, setting.max);
}

std::string cw_setting_text(const CW_NUMERIC_SETTING& setting, const std::string& fieldText)
{
    return cw_format_value(cw_setting_value(setting, fieldText), setting.decimals);
}

std::string cw_setting_format(const CW_NUMERIC_SETTING& setting, double value)
{
    return cw_format_value(cw_clamp_value(value, setting.min, setting.max), setting.decimals);
}

std::string cw_formatted_threshold(double threshold)
{
    return cw_setting_format(kCWThresholdDisplay, threshold);
}

void cw_store_integer(CWPreferenceStore& store, const std::string& key, long long value)
{
    store.setValue(key, std::to_string(value));
}

void cw_store_double(CWPreferenceStore& store, const std::string& key, double value)
{
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    store.setValue(key, std::string(text, end.ptr));
}

void cw_store_bool(CWPreferenceStore& store, const std::string& key, bool value)
{
    store.setValue(key, value ? "true" : "false");
}

std::string cw_setting_initial_text(const CW_NUMERIC_SETTING& setting, const CWPreferenceStore& store)
{
    const double value =
        setting.key ? cw_defaults_double(store, setting.key, setting.defaultValue) : setting.defaultValue;
    return cw_format_value(value, setting.decimals);
}

long long cw_port_value(const std::string& fieldText)
{
    const long long port = cw_text_integer_value(fieldText);
    return port < 2 ? 1 : port;
}

CW_RX_CONFIG cw_decoder_config(const CW_DECODER_FIELDS& fields, double sampleRate)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.sampleRate = sampleRate;
    config.pitchHz = fields.pitchHz;
    config.bandwidthHz = fields.bandwidthHz;
    config.threshold = static_cast<float>(fields.threshold);
    config.releaseThreshold = config.threshold * 0.5f;
    config.autoThreshold = 0;
    config.autoPitch = 0;
    config.minWpm = std::min(fields.minWpm, fields.maxWpm);
    config.maxWpm = std::max(fields.minWpm, fields.maxWpm);
    config.searchHz = fields.searchHz;
    config.agcEnabled = fields.agcEnabled ? 1 : 0;
    config.lockHoldMs = fields.lockHoldSeconds * 1000.0;
    return config;
}
