// The stored settings, the settings form and the receiver configuration
// made from them.
#include "cw_settings.h"
#include "cw_settings_form.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

#include <tuple>

// What the window shows and stores is checked through it; here the edges of the clamping.
TEST(CWSettings, ValuesAreReadBackClamped)
{
    EXPECT_EQ(cw_setting_text(kCWPitchSetting, "nan"), "300");  // not a number: the minimum
    EXPECT_EQ(cw_setting_text(kCWAutoGtmRearmSetting, "9"), "5.0");
    for (auto [text, port] : {std::pair{"0", 1}, {"-5", 1}, {"50001", 50001}})
        EXPECT_EQ(cw_port_value(text), port) << text;
}

// The speeds are put in order and the hold goes from seconds to ms.
TEST(CWSettings, DecoderConfigOrdersTheSpeedsAndScalesTheHold)
{
    const CW_RX_CONFIG c = cw_decoder_config(CW_DECODER_FIELDS{650, 120, 0.5, 70, 20, 15, false, 1.8}, 48000);
    EXPECT_TRUE(c.sampleRate == 48000 && c.pitchHz == 650 && c.agcEnabled == 0 && c.autoPitch == 0);
    EXPECT_TRUE(c.minWpm == 20 && c.maxWpm == 70 && c.releaseThreshold == 0.25f);
    EXPECT_DOUBLE_EQ(c.lockHoldMs, 1800);
}

// A settings file edited by hand or damaged cannot hand the window an
// endless string: each is cut to its key's length, never inside a letter.
TEST(CWSettings, StoredStringsAreReadBackBounded)
{
    MapStore store;
    const std::string huge(1 << 20, 'a');
    for (const char* key : {"ZarvoHost", "CWLogHost", "CWMacroSetupCallsign", "CWMacroSetupLoc", "CWMacroText7",
                            "CWMacroButtonTitle0", "SomeOtherKey"})
        store.values[key] = huge;
    for (auto [key, length] : {std::pair{"ZarvoHost", 253u},
                               {"CWLogHost", 253u},
                               {"CWMacroSetupCallsign", 32u},
                               {"CWMacroSetupLoc", 10u},
                               {"CWMacroText7", 900u},
                               {"CWMacroButtonTitle0", 32u},
                               {"SomeOtherKey", 1024u}})
        EXPECT_EQ(cw_defaults_string(store, key, "").size(), length) << key;
    EXPECT_EQ(cw_settings_form_load(store).host, std::string(253, 'a'));
    store.values["CWMacroSetupLoc"] = "JO62QMA\xC3\x96\xC3\x96";  // byte 10 is inside the second letter
    EXPECT_EQ(cw_defaults_string(store, "CWMacroSetupLoc", ""), "JO62QMA\xC3\x96");
    store.values["ZarvoHost"] = "radio.local";
    EXPECT_EQ(cw_defaults_string(store, "ZarvoHost", ""), "radio.local");
}

TEST(CWSettingsForm, StoringWritesEveryKeyClampedAndLoadingShowsItBack)
{
    MapStore store;
    CW_SETTINGS_FORM form = cw_settings_form_load(store);
    form.host = " radio ", form.port = "40001.9", form.pitch = "2000", form.minWpm = "inf", form.lockHold = "1.75";
    form.autoCenter = true, form.agc = false;
    cw_settings_form_store(form, store, true);
    const std::map<std::string, std::string> expected = {
        {"ZarvoHost", " radio "},  {"ZarvoPort", "40001"},       {"ZarvoPitch", "1200"},
        {"ZarvoBandwidth", "120"}, {"ZarvoSQL", "0.5"},          {"ZarvoAutoCenter", "true"},
        {"ZarvoMinWPM", "5"},      {"ZarvoMaxWPM", "60"},        {"ZarvoQOMSearchHz", "15"},
        {"ZarvoQOMAGC", "false"},  {"ZarvoQOMLockHold", "1.75"}, {"ZarvoAutoGTMRearm", "2.5"},
        {"ZarvoTxWPM", "25"},      {"ZarvoShortRST", "true"},
    };
    EXPECT_EQ(store.values, expected);
    const CW_SETTINGS_FORM loaded = cw_settings_form_load(store);
    EXPECT_TRUE(loaded.port == "40001" && loaded.threshold == "0.50" && loaded.autoCenter && !loaded.agc);
    EXPECT_EQ(loaded.lockHold, "1.8");  // one decimal of the stored 1.75
}

// The text squelch level: 0.5 until the operator sets one, 0 off, stored
// clamped to 0..1 and shown again as stored.
TEST(CWSettingsForm, SquelchLevelDefaultsClampsAndPersists)
{
    MapStore store;
    CW_SETTINGS_FORM form = cw_settings_form_load(store);
    EXPECT_TRUE(form.squelch == "0.50" && cw_settings_form_squelch(form) == 0.5);
    for (auto [typed, stored, level] :
         {std::tuple{"0.8", "0.8", 0.8}, {"0", "0", 0.0}, {"3", "1", 1.0}, {"-0.2", "0", 0.0}, {"x", "0", 0.0}}) {
        form.squelch = typed;
        EXPECT_EQ(cw_settings_form_squelch(form), level) << typed;
        cw_settings_form_store(form, store, false);
        EXPECT_EQ(store.values["ZarvoSQL"], stored) << typed;
        EXPECT_EQ(cw_settings_form_squelch(cw_settings_form_load(store)), level) << typed;
    }
    store.values["ZarvoSQL"] = "0.35";
    EXPECT_EQ(cw_settings_form_load(store).squelch, "0.35");
}
