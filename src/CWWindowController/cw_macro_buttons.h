// The eight macro slots: their preference keys, built-in titles and texts.
#pragma once

#include "cw_settings.h"

#include <cstddef>
#include <string>

constexpr size_t kCWMacroButtonCount = 8;

// "CWMacroButtonTitle<index>" and "CWMacroText<index>".
std::string cw_macro_button_title_key(size_t index);
std::string cw_macro_text_key(size_t index);

// A slot's built-in title and text; slots 8 and above get "MACRO" and
// "<TX><RX>".
std::string cw_macro_default_title(size_t index);
std::string cw_macro_default_text(size_t index);

// The stored title or text, else the slot's built-in one.
std::string cw_macro_button_title(const CWPreferenceStore& store, size_t index);
std::string cw_macro_text(const CWPreferenceStore& store, size_t index);

// The key that sends a slot: "F1" for slot 0 up to "F8", empty for others.
std::string cw_macro_key_name(size_t index);

// The stored or built-in text, followed by its key, e.g. "<TX>CQ<RX> (F1)".
std::string cw_macro_button_tooltip(const CWPreferenceStore& store, size_t index);
