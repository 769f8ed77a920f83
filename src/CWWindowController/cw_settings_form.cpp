#include "cw_settings_form.h"

#include "cw_text_values.h"

namespace {

void store_setting(CWPreferenceStore& store, const CW_NUMERIC_SETTING& setting, const std::string& text)
{
    cw_store_double(store, setting.key, cw_setting_value(setting, text));
}

std::string default_text(const CW_NUMERIC_SETTING& setting)
{
    return cw_format_value(setting.defaultValue, setting.decimals);
}

}  // namespace

CW_SETTINGS_FORM cw_settings_form_load(const CWPreferenceStore& store)
{
    CW_SETTINGS_FORM form;
    form.host = cw_defaults_string(store, kCWHostKey, kCWHostDefault);
    form.port = std::to_string(cw_defaults_integer(store, kCWPortKey, kCWPortDefault));
    form.pitch = cw_setting_initial_text(kCWPitchSetting, store);
    form.bandwidth = cw_setting_initial_text(kCWBandwidthSetting, store);
    form.threshold = cw_setting_initial_text(kCWThresholdDisplay, store);
    form.minWpm = cw_setting_initial_text(kCWMinWpmSetting, store);
    form.maxWpm = cw_setting_initial_text(kCWMaxWpmSetting, store);
    form.qomSearch = cw_setting_initial_text(kCWQomSearchSetting, store);
    form.lockHold = cw_setting_initial_text(kCWLockHoldSetting, store);
    form.autoGtmRearm = cw_setting_initial_text(kCWAutoGtmRearmSetting, store);
    form.txWpm = cw_setting_initial_text(kCWTxWpmSetting, store);
    form.autoCenter = cw_defaults_bool(store, kCWAutoCenterKey, false);
    form.agc = cw_defaults_bool(store, kCWQomAgcKey, true);
    form.shortRst = cw_defaults_bool(store, kCWShortRstKey, true);
    form.squelch = cw_setting_initial_text(kCWSquelchSetting, store);
    return form;
}

void cw_settings_form_store(const CW_SETTINGS_FORM& form, CWPreferenceStore& store, bool withConnection)
{
    if (withConnection) {
        store.setValue(kCWHostKey, form.host);
        cw_store_integer(store, kCWPortKey, cw_text_integer_value(form.port));
    }
    store_setting(store, kCWPitchSetting, form.pitch);
    store_setting(store, kCWBandwidthSetting, form.bandwidth);
    store_setting(store, kCWSquelchSetting, form.squelch);
    cw_store_bool(store, kCWAutoCenterKey, form.autoCenter);
    store_setting(store, kCWMinWpmSetting, form.minWpm);
    store_setting(store, kCWMaxWpmSetting, form.maxWpm);
    store_setting(store, kCWQomSearchSetting, form.qomSearch);
    cw_store_bool(store, kCWQomAgcKey, form.agc);
    store_setting(store, kCWLockHoldSetting, form.lockHold);
    store_setting(store, kCWAutoGtmRearmSetting, form.autoGtmRearm);
    store_setting(store, kCWTxWpmSetting, form.txWpm);
    cw_store_bool(store, kCWShortRstKey, form.shortRst);
}

CW_DECODER_FIELDS cw_settings_form_decoder_fields(const CW_SETTINGS_FORM& form)
{
    return CW_DECODER_FIELDS{
        cw_setting_value(kCWPitchSetting, form.pitch),
        cw_setting_value(kCWBandwidthSetting, form.bandwidth),
        cw_setting_value(kCWThresholdDisplay, form.threshold),
        cw_setting_value(kCWMinWpmSetting, form.minWpm),
        cw_setting_value(kCWMaxWpmSetting, form.maxWpm),
        cw_setting_value(kCWQomSearchSetting, form.qomSearch),
        form.agc,
        cw_setting_value(kCWLockHoldSetting, form.lockHold),
    };
}

double cw_settings_form_squelch(const CW_SETTINGS_FORM& form)
{
    return cw_setting_value(kCWSquelchSetting, form.squelch);
}

void cw_settings_form_reset_qom_defaults(CW_SETTINGS_FORM* form)
{
    if (form == nullptr)
        return;
    form->bandwidth = default_text(kCWBandwidthSetting);
    form->minWpm = default_text(kCWMinWpmSetting);
    form->maxWpm = default_text(kCWMaxWpmSetting);
    form->qomSearch = default_text(kCWQomSearchSetting);
    form->agc = true;
    form->lockHold = default_text(kCWLockHoldSetting);
    form->autoGtmRearm = default_text(kCWAutoGtmRearmSetting);
}
