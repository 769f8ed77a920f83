// Titles and texts of the eight macro buttons as the preferences give them.
#pragma once

#include "cw_settings.h"

#include <cstddef>
#include <string>

constexpr size_t kCWMacroButtonCount = 8;

// "CWMacroButtonTitle<index>" and "CWMacroText<index>".
std::string cw_macro_button_title_key(size_t index);
std::string cw_macro_text_key(size_t index);

// The stored title or text, else the button's built-in one.
std::string cw_macro_button_title(const CWPreferenceStore& store, size_t index);
std::string cw_macro_text(const CWPreferenceStore& store, size_t index);
