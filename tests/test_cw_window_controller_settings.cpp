// Settings of the main window: start-up values, storing at Connect, the
// pitch, GotoMax and AutoGTM.
#include "test_cw_window_controller_fixture.h"

#include <QCheckBox>
#include <QPushButton>

#include <cmath>

using namespace cw_window_test;

namespace {

class WindowSettingsTest : public WindowTest {
protected:
    bool checked(const char* name) const { return control<QCheckBox>(name)->isChecked(); }

    // A steady 700 Hz tone gives the spectrum view a tracked peak there.
    void showPeakAt700Hz() const
    {
        std::vector<float> tone(4096);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 700.0 * static_cast<double>(i) / 48000.0));
        CWSpectrumView* view = control<CWSpectrumView>("spectrumView");
        view->updateWithSamples(tone.data(), tone.size(), 48000, 600, 120, 1, 0.5f, 0.5f, -6, 1, 0.2, 20, 20, 80,
                                20, 0.4, 2);
        ASSERT_NEAR(view->analyzer().peakHz(), 700, 5);
    }
};

CW_RX_STATUS signal(bool present)
{
    CW_RX_STATUS s{};
    s.signalPresent = present ? 1 : 0;
    s.statQuality = 70;
    s.statOnRatio = 0.4f;
    s.statWpm = 21;
    s.wpm = 20;
    s.decoderCost = 0.5f;
    return s;
}

TEST_F(WindowSettingsTest, AnEmptyStoreGivesTheDefaults)
{
    makeWindow();
    const std::pair<const char*, const char*> fields[] = {
        {"hostField", "127.0.0.1"}, {"portField", "50001"},      {"pitchField", "600"},
        {"bandwidthField", "120"},  {"sqlField", "0.50"},        {"minWpmField", "10"},
        {"maxWpmField", "60"},      {"qomSearchField", "15"},    {"qomLockHoldField", "1.8"},
        {"autoGtmRearmField", "2.5"}, {"txWpmField", "25"},
    };
    for (const auto& [name, value] : fields)
        EXPECT_EQ(text(name), value) << name;
    EXPECT_FALSE(checked("autoCenterButton"));
    EXPECT_TRUE(checked("qomAgcButton"));
    EXPECT_TRUE(checked("shortRSTButton"));
    const CW_RX_CONFIG c = controller->currentDecoderConfigWithSampleRate(48000);
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
    const CW_RX_CONFIG c = controller->currentDecoderConfigWithSampleRate(48000);
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
    const CW_RX_CONFIG c = controller->currentDecoderConfigWithSampleRate(48000);
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
    controller->storeSettings();
    EXPECT_EQ(stored("ZarvoHost"), "radio.local");
    EXPECT_EQ(stored("ZarvoPort"), "40001");
    type("hostField", "127.0.0.2");  // the operator's own choice is kept
    controller->storeSettings();
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

TEST_F(WindowSettingsTest, PitchChangesAreQuantisedShownAndStored)
{
    makeWindow();
    controller->applyPitchHz(612.4);
    EXPECT_EQ(text("pitchField"), "610");
    EXPECT_EQ(stored("ZarvoPitch"), "610");
    controller->spectrumViewDidSelectPitchHz(nullptr, 1300);
    EXPECT_EQ(text("pitchField"), "1200");
}

TEST_F(WindowSettingsTest, GotoMaxWaitsForATrackedPeak)
{
    makeWindow();
    type("pitchField", "650");
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "650");
    showPeakAt700Hz();
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "700");
}

TEST_F(WindowSettingsTest, AutoGtmRetunesOnceAtTheStartOfEachSignalAfterTheRearmDelay)
{
    makeWindow();
    showPeakAt700Hz();
    struct Step {
        double at;
        bool signal;
        const char* pitchAfter;
    };
    const auto run = [&](std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            controller->followSignalWithStatus(signal(s.signal), s.at);
            EXPECT_EQ(text("pitchField"), s.pitchAfter) << "at " << s.at;
            type("pitchField", "600");  // away from the peak again
        }
    };
    run({{10.0, true, "600"}});  // AutoGTM is off
    control<QCheckBox>("autoCenterButton")->click();
    run({{10.1, false, "600"},
         {10.2, true, "700"},   // a new signal
         {10.3, true, "600"},   // the same signal goes on
         {10.4, false, "600"},
         {11.2, true, "600"},   // new, but only 1 s after the last retune
         {11.3, false, "600"},
         {12.8, true, "700"}});  // 2.6 s after it
}

}  // namespace
