// What ending an edit does to the settings fields, and the caret kept
// across upper-casing while the operator types.
#pragma once

#include "CWRx.h"
#include "cw_settings_form.h"

#include <cstddef>
#include <optional>

// Every settings field rewritten with its clamped value: Min shows the
// smaller and Max the larger of the two speeds, the QOM Thr display goes
// back to 0.50, and TX WPM shows the speed a send would use.
CW_SETTINGS_FORM cw_settings_form_after_edit(const CW_SETTINGS_FORM& form);

// True when the receiver would run differently under b than under a, so
// that an edit of an unrelated field keeps the last seconds of decoding.
bool cw_decoder_config_differs(const CW_RX_CONFIG& a, const CW_RX_CONFIG& b);

struct CW_TEXT_SELECTION {
    size_t start;
    size_t length;
};

// The selection to put back after the text changed to newLength
// characters: none when its start now lies beyond the text.
std::optional<CW_TEXT_SELECTION> cw_selection_after_upper_case(CW_TEXT_SELECTION selection, size_t newLength);
