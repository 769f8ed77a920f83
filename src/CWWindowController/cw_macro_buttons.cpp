#include "cw_macro_buttons.h"

namespace {

// Stand-ins until the macro work brings the operating defaults.
std::string built_in_title(size_t index)
{
    return "M" + std::to_string(index + 1);
}

}  // namespace

std::string cw_macro_button_title_key(size_t index)
{
    return "CWMacroButtonTitle" + std::to_string(index);
}

std::string cw_macro_text_key(size_t index)
{
    return "CWMacroText" + std::to_string(index);
}

std::string cw_macro_button_title(const CWPreferenceStore& store, size_t index)
{
    return cw_defaults_string(store, cw_macro_button_title_key(index), built_in_title(index));
}

std::string cw_macro_text(const CWPreferenceStore& store, size_t index)
{
    return cw_defaults_string(store, cw_macro_text_key(index), std::string());
}
