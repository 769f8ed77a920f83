// Settings read back from the fields, the receiver configuration, the pitch
// and GotoMax.
#include "CWWindowController.h"

#include "cw_field_editing.h"
#include "cw_text_values.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

constexpr double kConfigSampleRate = 48000.0;

std::string cw_text_of(const QLineEdit* field)
{
    return field->text().toStdString();
}

void cw_show_text(QLineEdit* field, const std::string& text)
{
    field->setText(QString::fromStdString(text));
}

}  // namespace

double CWWindowController::pitchHzValue() const
{
    return cw_setting_value(kCWPitchSetting, cw_text_of(pitchField_));
}

double CWWindowController::bandwidthHzValue() const
{
    return cw_setting_value(kCWBandwidthSetting, cw_text_of(bandwidthField_));
}

double CWWindowController::thresholdValue() const
{
    return cw_setting_value(kCWThresholdDisplay, cw_text_of(thresholdDisplay_));
}

double CWWindowController::minWpmValue() const
{
    return cw_setting_value(kCWMinWpmSetting, cw_text_of(minWpmField_));
}

double CWWindowController::maxWpmValue() const
{
    return cw_setting_value(kCWMaxWpmSetting, cw_text_of(maxWpmField_));
}

double CWWindowController::qomSearchHzValue() const
{
    return cw_setting_value(kCWQomSearchSetting, cw_text_of(qomSearchField_));
}

double CWWindowController::qomLockHoldSecondsValue() const
{
    return cw_setting_value(kCWLockHoldSetting, cw_text_of(qomLockHoldField_));
}

double CWWindowController::autoGtmRearmSecondsValue() const
{
    return cw_setting_value(kCWAutoGtmRearmSetting, cw_text_of(autoGtmRearmField_));
}

double CWWindowController::txWpmValue() const
{
    return cw_setting_value(kCWTxWpmSetting, cw_text_of(txWpmField_));
}

bool CWWindowController::autoGtmEnabled() const
{
    return autoCenterButton_->isChecked();
}

CW_SETTINGS_FORM CWWindowController::readForm() const
{
    return CW_SETTINGS_FORM{
        cw_text_of(hostField_),      cw_text_of(portField_),         cw_text_of(pitchField_),
        cw_text_of(bandwidthField_), cw_text_of(thresholdDisplay_),          cw_text_of(minWpmField_),
        cw_text_of(maxWpmField_),    cw_text_of(qomSearchField_),    cw_text_of(qomLockHoldField_),
        cw_text_of(autoGtmRearmField_), cw_text_of(txWpmField_),     autoCenterButton_->isChecked(),
        qomAgcButton_->isChecked(),  shortRSTButton_->isChecked(),  cw_text_of(squelchField_),
    };
}

void CWWindowController::showForm(const CW_SETTINGS_FORM& form)
{
    cw_show_text(hostField_, form.host);
    cw_show_text(portField_, form.port);
    cw_show_text(pitchField_, form.pitch);
    cw_show_text(bandwidthField_, form.bandwidth);
    cw_show_text(thresholdDisplay_, form.threshold);
    cw_show_text(minWpmField_, form.minWpm);
    cw_show_text(maxWpmField_, form.maxWpm);
    cw_show_text(qomSearchField_, form.qomSearch);
    cw_show_text(qomLockHoldField_, form.lockHold);
    cw_show_text(autoGtmRearmField_, form.autoGtmRearm);
    cw_show_text(txWpmField_, form.txWpm);
    autoCenterButton_->setChecked(form.autoCenter);
    qomAgcButton_->setChecked(form.agc);
    shortRSTButton_->setChecked(form.shortRst);
    cw_show_text(squelchField_, form.squelch);
}

CW_RX_CONFIG CWWindowController::currentDecoderConfigWithSampleRate(double sampleRate) const
{
    return cw_decoder_config(cw_settings_form_decoder_fields(readForm()), sampleRate);
}

bool CWWindowController::decoderSettingsChanged() const
{
    return !cwRx_ || cw_settings_form_squelch(readForm()) != appliedSquelch_ ||
           cw_decoder_config_differs(currentDecoderConfigWithSampleRate(kConfigSampleRate), appliedDecoderConfig_);
}

void CWWindowController::recreateDecoder()
{
    const CW_RX_CONFIG config = currentDecoderConfigWithSampleRate(kConfigSampleRate);
    appliedDecoderConfig_ = config;
    ++decoderRebuildCount_;
    if (cwRx_) {
        cw_rx_configure(cwRx_, &config);
        cw_rx_reset(cwRx_);
    } else {
        cwRx_ = cw_rx_create(&config);
    }
    appliedSquelch_ = cw_settings_form_squelch(readForm());
    cw_rx_set_squelch(cwRx_, appliedSquelch_);
}

void CWWindowController::storeSettings()
{
    const CW_SETTINGS_FORM form = readForm();
    const bool showsRunOnlyServer =
        runOnlyConnection_ && runOnlyConnection_->first == form.host && runOnlyConnection_->second == form.port;
    cw_settings_form_store(form, preferences_, !showsRunOnlyServer);
}

void CWWindowController::settingsChanged()
{
    storeSettings();
    recreateDecoder();
}

void CWWindowController::resetQOMDefaultsClicked()
{
    CW_SETTINGS_FORM form = readForm();
    cw_settings_form_reset_qom_defaults(&form);
    showForm(form);
    storeSettings();
    recreateDecoder();
}

void CWWindowController::applyPitchHz(double hz, bool resetDecoder)
{
    cw_show_text(pitchField_, cw_format_value(cw_tuner_quantized_pitch(hz), kCWPitchSetting.decimals));
    storeSettings();
    if (!cwRx_)
        return;
    const CW_RX_CONFIG config = currentDecoderConfigWithSampleRate(kConfigSampleRate);
    cw_rx_configure(cwRx_, &config);
    if (resetDecoder) {
        cw_rx_reset(cwRx_);
        lastStatusUpdateTime_ = 0.0;
    }
}

// The tracked peak; 0 before any spectrum.
double CWWindowController::peakHz() const
{
    double hz = 0.0;
    return cw_tuner_goto_max(tuner_, &hz) ? hz : 0.0;
}

void CWWindowController::gotoMaxClicked()
{
    const double peak = peakHz();
    if (peak > 0.0)
        applyPitchHz(peak);
}

void CWWindowController::spectrumViewDidSelectPitchHz(CWSpectrumView*, double pitchHz)
{
    applyPitchHz(pitchHz);
}
