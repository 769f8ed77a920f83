// Settings of the main window: start-up values, storing at Connect, the
// pitch and GotoMax.
#include "test_cw_window_controller_fixture.h"

#include <QCheckBox>
#include <QPushButton>

#include <cmath>

using namespace cw_window_test;

namespace {

class WindowSettingsTest : public WindowTest {
protected:
    bool checked(const char* name) const { return control<QCheckBox>(name)->isChecked(); }

    // A steady 700 Hz tone gives the tuner a tracked peak there.
    void showPeakAt700Hz()
    {
        std::vector<float> tone(4096);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 700.0 * static_cast<double>(i) / 48000.0));
        deliver_frame(controller.get(), tone, 48000, 1);
        ASSERT_NEAR(control<CWSpectrumView>("spectrumView")->spectrum().peakHz, 700, 5);
    }
};

TEST_F(WindowSettingsTest, AnEmptyStoreGivesTheDefaults)
{
    makeWindow();
    const std::pair<const char*, const char*> fields[] = {
        {"hostField", "127.0.0.1"}, {"portField", "50001"},      {"pitchField", "600"},
        {"bandwidthField", "120"},  {"thresholdDisplay", "0.50"},        {"minWpmField", "10"},
        {"maxWpmField", "60"},      {"qomSearchField", "15"},    {"qomLockHoldField", "1.8"},
        {"autoGtmRearmField", "2.5"}, {"txWpmField", "25"},
    };
    for (const auto& [name, value] : fields)
        EXPECT_EQ(text(name), value) << name;
    EXPECT_FALSE(checked("autoCenterButton"));
    EXPECT_TRUE(checked("qomAgcButton"));
    EXPECT_TRUE(checked("shortRSTButton"));
    const CW_RX_CONFIG c = controller->settings().decoderConfig(48000);
    EXPECT_EQ(c.pitchHz, 600);
    EXPECT_FLOAT_EQ(c.threshold, 0.5f);
    EXPECT_EQ(c.lockHoldMs, 1800);
    EXPECT_TRUE(settings->allKeys().isEmpty());  // nothing is written before Connect
}

TEST_F(WindowSettingsTest, StoredValuesAreShownAsStoredAndReadBackClamped)
{
    settings->setValue("ZarvoHost", "");
    settings->setValue("ZarvoPitch", "2000");
    settings->setValue("ZarvoQOMLockHold", "9");
    settings->setValue("ZarvoAutoCenter", "true");
    settings->setValue("ZarvoQOMAGC", "false");
    makeWindow();
    EXPECT_EQ(text("hostField"), "127.0.0.1");
    EXPECT_EQ(text("pitchField"), "2000");
    EXPECT_EQ(text("qomLockHoldField"), "9.0");
    EXPECT_TRUE(checked("autoCenterButton"));
    const CW_RX_CONFIG c = controller->settings().decoderConfig(48000);
    EXPECT_EQ(c.pitchHz, 1200);
    EXPECT_EQ(c.lockHoldMs, 4000);
    EXPECT_EQ(c.agcEnabled, 0);
}

TEST_F(WindowSettingsTest, ConnectStoresEveryKeyClampedAndANewWindowShowsThem)
{
    makeWindow();
    type("portField", "-5");
    type("pitchField", "2000");
    type("minWpmField", "70");
    type("maxWpmField", "20");
    type("autoGtmRearmField", "nan");
    type("txWpmField", "500");
    control<QPushButton>("connectButton")->click();
    EXPECT_EQ(logCount("Connecting to ws://127.0.0.1:1"), 1u);
    QStringList keys = settings->allKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"ZarvoAutoCenter", "ZarvoAutoGTMRearm", "ZarvoBandwidth", "ZarvoHost", "ZarvoMaxWPM",
                                 "ZarvoMinWPM", "ZarvoPitch", "ZarvoPort", "ZarvoQOMAGC", "ZarvoQOMLockHold",
                                 "ZarvoQOMSearchHz", "ZarvoSQL", "ZarvoShortRST", "ZarvoTxWPM"}));
    EXPECT_EQ(stored("ZarvoTxWPM"), "100");
    const CW_RX_CONFIG c = controller->settings().decoderConfig(48000);
    EXPECT_EQ(c.minWpm, 20);
    EXPECT_EQ(c.maxWpm, 70);

    controller.reset();
    makeWindow();
    EXPECT_EQ(text("pitchField"), "1200");
    EXPECT_EQ(text("autoGtmRearmField"), "1.0");
    EXPECT_EQ(text("portField"), "-5");
}

TEST_F(WindowSettingsTest, AServerGivenForThisRunIsNotStored)
{
    settings->setValue("ZarvoHost", "radio.local");
    settings->setValue("ZarvoPort", "40001");
    makeWindow();
    controller->useConnectionForThisRun("127.0.0.1", 50123);
    EXPECT_EQ(text("hostField"), "127.0.0.1");
    EXPECT_EQ(text("portField"), "50123");
    controller->controlTextDidEndEditing(nullptr);
    EXPECT_EQ(stored("ZarvoHost"), "radio.local");
    EXPECT_EQ(stored("ZarvoPort"), "40001");
    type("hostField", "127.0.0.2");  // the operator's own choice is kept
    controller->controlTextDidEndEditing(nullptr);
    EXPECT_EQ(stored("ZarvoHost"), "127.0.0.2");
    EXPECT_EQ(stored("ZarvoPort"), "50123");
}

TEST_F(WindowSettingsTest, QomDefaultsLeavePitchTxSpeedAndTheFlags)
{
    makeWindow();
    type("pitchField", "750");
    type("txWpmField", "32");
    type("bandwidthField", "30");
    type("qomLockHoldField", "3");
    control<QCheckBox>("qomAgcButton")->click();
    control<QCheckBox>("autoCenterButton")->click();
    EXPECT_EQ(stored("ZarvoQOMAGC"), "false");  // checkboxes store at once
    control<QPushButton>("resetQOMDefaultsButton")->click();
    EXPECT_EQ(text("bandwidthField"), "120");
    EXPECT_EQ(text("qomLockHoldField"), "1.8");
    EXPECT_TRUE(checked("qomAgcButton"));
    EXPECT_EQ(text("pitchField"), "750");
    EXPECT_EQ(text("txWpmField"), "32");
    EXPECT_TRUE(checked("autoCenterButton"));
    EXPECT_EQ(stored("ZarvoBandwidth"), "120");
    EXPECT_EQ(stored("ZarvoPitch"), "750");
}

TEST_F(WindowSettingsTest, PitchChangesAreQuantisedShownAndStoredAndGotoMaxWaitsForAPeak)
{
    makeWindow();
    controller->applyPitchHz(612.4);
    EXPECT_EQ(text("pitchField"), "610");
    EXPECT_EQ(stored("ZarvoPitch"), "610");
    controller->spectrumViewDidSelectPitchHz(nullptr, 1300);
    EXPECT_EQ(text("pitchField"), "1200");
    type("pitchField", "650");
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "650");
    showPeakAt700Hz();
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "700");
    EXPECT_EQ(controller->settings().decoderConfig(48000).pitchHz, 700);
}

}  // namespace
