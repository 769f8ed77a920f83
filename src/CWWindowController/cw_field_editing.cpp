#include "cw_field_editing.h"

#include "cw_macro_expansion.h"

#include <algorithm>

CW_SETTINGS_FORM cw_settings_form_after_edit(const CW_SETTINGS_FORM& form)
{
    CW_SETTINGS_FORM edited = form;
    edited.pitch = cw_setting_text(kCWPitchSetting, form.pitch);
    edited.bandwidth = cw_setting_text(kCWBandwidthSetting, form.bandwidth);
    edited.threshold = cw_formatted_threshold(kCWThresholdDisplay.defaultValue);
    const double minWpm = cw_setting_value(kCWMinWpmSetting, form.minWpm);
    const double maxWpm = cw_setting_value(kCWMaxWpmSetting, form.maxWpm);
    edited.minWpm = cw_setting_format(kCWMinWpmSetting, std::min(minWpm, maxWpm));
    edited.maxWpm = cw_setting_format(kCWMaxWpmSetting, std::max(minWpm, maxWpm));
    edited.qomSearch = cw_setting_text(kCWQomSearchSetting, form.qomSearch);
    edited.lockHold = cw_setting_text(kCWLockHoldSetting, form.lockHold);
    edited.autoGtmRearm = cw_setting_text(kCWAutoGtmRearmSetting, form.autoGtmRearm);
    edited.txWpm = cw_tx_wpm_field_text(form.txWpm);
    edited.squelch = cw_setting_text(kCWSquelchSetting, form.squelch);
    return edited;
}

bool cw_decoder_config_differs(const CW_RX_CONFIG& a, const CW_RX_CONFIG& b)
{
    return a.sampleRate != b.sampleRate || a.pitchHz != b.pitchHz || a.bandwidthHz != b.bandwidthHz ||
           a.threshold != b.threshold || a.releaseThreshold != b.releaseThreshold ||
           a.autoThreshold != b.autoThreshold || a.autoPitch != b.autoPitch || a.minWpm != b.minWpm ||
           a.maxWpm != b.maxWpm || a.searchHz != b.searchHz || a.agcEnabled != b.agcEnabled ||
           a.lockHoldMs != b.lockHoldMs;
}

std::optional<CW_TEXT_SELECTION> cw_selection_after_upper_case(CW_TEXT_SELECTION selection, size_t newLength)
{
    if (selection.start > newLength)
        return std::nullopt;
    return CW_TEXT_SELECTION{selection.start, std::min(selection.length, newLength - selection.start)};
}
