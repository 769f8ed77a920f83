// The window's settings as the operator sees them: the texts of the
// settings fields and the states of the three checkboxes, loaded from and
// stored to the preferences.
#pragma once

#include "cw_settings.h"

#include <string>

struct CW_SETTINGS_FORM {
    std::string host;
    std::string port;
    std::string pitch;
    std::string bandwidth;
    std::string threshold;  // the QOM Thr display, never stored
    std::string minWpm;
    std::string maxWpm;
    std::string qomSearch;
    std::string lockHold;
    std::string autoGtmRearm;
    std::string txWpm;
    bool autoCenter;
    bool agc;
    bool shortRst;
    std::string squelch = "0.50";  // the text squelch control
};

// Each control's start-up value: the stored value or the default, formatted
// but not clamped; the threshold display starts at 0.50.
CW_SETTINGS_FORM cw_settings_form_load(const CWPreferenceStore& store);

// Writes every connection and decoder key: the host as typed, the port as
// the field's integer, the numbers (the squelch level too) clamped. Without
// `withConnection` the host and port keys are left as they are.
void cw_settings_form_store(const CW_SETTINGS_FORM& form, CWPreferenceStore& store, bool withConnection);

// The clamped decoder values behind the receiver configuration.
CW_DECODER_FIELDS cw_settings_form_decoder_fields(const CW_SETTINGS_FORM& form);

// The squelch level for cw_rx_set_squelch: the control's value, 0..1.
double cw_settings_form_squelch(const CW_SETTINGS_FORM& form);

// The "QOM Def" button: engine tuning back to its defaults; pitch, TX WPM,
// AutoGTM and Short stay.
void cw_settings_form_reset_qom_defaults(CW_SETTINGS_FORM* form);
