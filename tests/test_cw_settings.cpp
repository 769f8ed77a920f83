#include "cw_settings.h"
#include "cw_settings_form.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

namespace {

TEST(CWSettings, ReadersFallBackOnlyWhenNothingUsableIsStored)
{
    MapStore store;
    EXPECT_EQ(cw_defaults_string(store, kCWHostKey, kCWHostDefault), "127.0.0.1");
    store.setValue(kCWHostKey, "");
    EXPECT_EQ(cw_defaults_string(store, kCWHostKey, kCWHostDefault), "127.0.0.1");
    store.setValue(kCWHostKey, "radio.local");
    EXPECT_EQ(cw_defaults_string(store, kCWHostKey, kCWHostDefault), "radio.local");

    EXPECT_EQ(cw_defaults_integer(store, kCWPortKey, kCWPortDefault), 50001);
    store.setValue(kCWPortKey, "40001");
    EXPECT_EQ(cw_defaults_integer(store, kCWPortKey, kCWPortDefault), 40001);
    EXPECT_TRUE(cw_defaults_bool(store, kCWQomAgcKey, true));
    store.setValue(kCWQomAgcKey, "false");
    EXPECT_FALSE(cw_defaults_bool(store, kCWQomAgcKey, true));
}

TEST(CWSettings, FieldsShowTheStoredValueAndReadBackClamped)
{
    MapStore store;
    EXPECT_EQ(cw_setting_initial_text(kCWLockHoldSetting, store), "1.8");
    EXPECT_EQ(cw_setting_initial_text(kCWThresholdDisplay, store), "0.50");
    store.setValue("ZarvoPitch", "2000");
    EXPECT_EQ(cw_setting_initial_text(kCWPitchSetting, store), "2000");  // shown unclamped
    EXPECT_EQ(cw_setting_value(kCWPitchSetting, "2000"), 1200);
    EXPECT_EQ(cw_setting_text(kCWPitchSetting, "nan"), "300");  // not a number: the minimum
    EXPECT_EQ(cw_setting_text(kCWAutoGtmRearmSetting, "9"), "5.0");
    EXPECT_EQ(cw_port_value("0"), 1);
    EXPECT_EQ(cw_port_value("-5"), 1);
    EXPECT_EQ(cw_port_value("50001"), 50001);
}

TEST(CWSettings, DecoderConfigOrdersTheSpeedsAndScalesTheHold)
{
    const CW_DECODER_FIELDS fields{650, 120, 0.5, 70, 20, 15, false, 1.8};
    const CW_RX_CONFIG c = cw_decoder_config(fields, 48000);
    EXPECT_EQ(c.sampleRate, 48000);
    EXPECT_EQ(c.pitchHz, 650);
    EXPECT_EQ(c.minWpm, 20);
    EXPECT_EQ(c.maxWpm, 70);
    EXPECT_FLOAT_EQ(c.releaseThreshold, 0.25f);
    EXPECT_EQ(c.agcEnabled, 0);
    EXPECT_EQ(c.autoPitch, 0);
    EXPECT_DOUBLE_EQ(c.lockHoldMs, 1800);
}

TEST(CWSettingsForm, StoringWritesEveryKeyClampedAndLoadingShowsItBack)
{
    MapStore store;
    CW_SETTINGS_FORM form = cw_settings_form_load(store);
    form.host = " radio ";
    form.port = "40001.9";
    form.pitch = "2000";
    form.minWpm = "inf";
    form.lockHold = "1.75";
    form.autoCenter = true;
    form.agc = false;
    cw_settings_form_store(form, store, true);
    const std::map<std::string, std::string> expected = {
        {"ZarvoHost", " radio "},    {"ZarvoPort", "40001"},       {"ZarvoPitch", "1200"},
        {"ZarvoBandwidth", "120"},   {"ZarvoSQL", "0.5"},          {"ZarvoAutoCenter", "true"},
        {"ZarvoMinWPM", "5"},        {"ZarvoMaxWPM", "60"},        {"ZarvoQOMSearchHz", "15"},
        {"ZarvoQOMAGC", "false"},    {"ZarvoQOMLockHold", "1.75"}, {"ZarvoAutoGTMRearm", "2.5"},
        {"ZarvoTxWPM", "25"},        {"ZarvoShortRST", "true"},
    };
    EXPECT_EQ(store.values, expected);

    const CW_SETTINGS_FORM loaded = cw_settings_form_load(store);
    EXPECT_EQ(loaded.host, " radio ");
    EXPECT_EQ(loaded.port, "40001");
    EXPECT_EQ(loaded.lockHold, "1.8");  // "%.1f" of the stored 1.75
    EXPECT_EQ(loaded.threshold, "0.50");
    EXPECT_TRUE(loaded.autoCenter);
    EXPECT_FALSE(loaded.agc);
}

// "ZarvoSQL" holds the text squelch level: 0.5 until the operator sets one,
// 0 off, stored clamped to 0..1 and shown again as stored.
TEST(CWSettingsForm, SquelchLevelDefaultsClampsAndPersists)
{
    MapStore store;
    CW_SETTINGS_FORM form = cw_settings_form_load(store);
    EXPECT_EQ(form.squelch, "0.50");
    EXPECT_EQ(cw_settings_form_squelch(form), 0.5);
    const struct {
        const char* typed;
        const char* stored;
        double level;
    } cases[] = {{"0.8", "0.8", 0.8}, {"0", "0", 0.0}, {"3", "1", 1.0}, {"-0.2", "0", 0.0}, {"x", "0", 0.0}};
    for (const auto& c : cases) {
        form.squelch = c.typed;
        EXPECT_EQ(cw_settings_form_squelch(form), c.level) << c.typed;
        cw_settings_form_store(form, store, false);
        EXPECT_EQ(store.values["ZarvoSQL"], c.stored) << c.typed;
        EXPECT_EQ(cw_settings_form_squelch(cw_settings_form_load(store)), c.level) << c.typed;
    }
    store.values["ZarvoSQL"] = "0.35";
    EXPECT_EQ(cw_settings_form_load(store).squelch, "0.35");
}

}  // namespace
