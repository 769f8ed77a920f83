#include "cw_macro_buttons.h"

namespace {

struct CW_MACRO_SLOT_DEFAULT {
    const char* title;
    const char* text;
};

constexpr CW_MACRO_SLOT_DEFAULT kCWMacroSlotDefaults[kCWMacroButtonCount] = {
    {"CQ", "<TX>CQ CQ CQ DE <MYCALL> <MYCALL> <MYCALL> K<RX>"},
    {"CALL", "<TX><PCALL> DE <MYCALL> <RST> <RST> BK<RX>"},
    {"INFO", "<TX>NAME <MYNAME> QTH <MYQTH> LOC <MYLOC> BK<RX>"},
    {"73", "<TX>TU 73 DE <MYCALL> SK<RX>"},
    {"MYCALL", "<TX><MYCALL><RX>"},
    {"RST", "<TX><RST><RX>"},
    {"QTH", "<TX>QTH <MYQTH><RX>"},
    {"LOC", "<TX>LOC <MYLOC><RX>"},
};

}  // namespace

std::string cw_macro_button_title_key(size_t index)
{
    return "CWMacroButtonTitle" + std::to_string(index);
}

std::string cw_macro_text_key(size_t index)
{
    return "CWMacroText" + std::to_string(index);
}

std::string cw_macro_default_title(size_t index)
{
    return index < kCWMacroButtonCount ? kCWMacroSlotDefaults[index].title : "MACRO";
}

std::string cw_macro_default_text(size_t index)
{
    return index < kCWMacroButtonCount ? kCWMacroSlotDefaults[index].text : "<TX><RX>";
}

std::string cw_macro_button_title(const CWPreferenceStore& store, size_t index)
{
    return cw_defaults_string(store, cw_macro_button_title_key(index), cw_macro_default_title(index));
}

std::string cw_macro_text(const CWPreferenceStore& store, size_t index)
{
    return cw_defaults_string(store, cw_macro_text_key(index), cw_macro_default_text(index));
}

std::string cw_macro_key_name(size_t index)
{
    return index < kCWMacroButtonCount ? "F" + std::to_string(index + 1) : std::string();
}

std::string cw_macro_button_tooltip(const CWPreferenceStore& store, size_t index)
{
    const std::string key = cw_macro_key_name(index);
    return cw_macro_text(store, index) + (key.empty() ? std::string() : " (" + key + ")");
}
