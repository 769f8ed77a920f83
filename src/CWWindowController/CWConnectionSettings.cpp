#include "CWConnectionSettings.h"

#include "cw_field_editing.h"
#include "cw_settings.h"
#include "cw_text_values.h"
#include "cw_window_title.h"
#include "tci_commands.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

std::string cw_text_of(const QLineEdit* field)
{
    return field->text().toStdString();
}

void cw_show_text(QLineEdit* field, const std::string& text)
{
    field->setText(QString::fromStdString(text));
}

}  // namespace

CWConnectionSettings::CWConnectionSettings(CWPreferenceStore& preferences, const CW_SETTINGS_WIDGETS& widgets,
                                           std::function<void(const std::string&)> log)
    : preferences_(preferences), widgets_(widgets), log_(std::move(log))
{
    // Settings that cannot be written are lost at exit; the operator hears
    // of it in the log pane, whichever part stored them.
    preferences_.setFailureReport(log_);
    widgets_.host->setMaxLength(static_cast<int>(kCWHostNameMaxBytes));
    updateTitle();
}

CWConnectionSettings::~CWConnectionSettings()
{
    preferences_.setFailureReport(nullptr);  // the store outlives the log pane
    client_.disconnect();
    client_.setDelegate(nullptr);
}

CW_SETTINGS_FORM CWConnectionSettings::readForm() const
{
    const CW_SETTINGS_WIDGETS& w = widgets_;
    return CW_SETTINGS_FORM{
        .host = cw_text_of(w.host),
        .port = cw_text_of(w.port),
        .pitch = cw_text_of(w.pitch),
        .bandwidth = cw_text_of(w.bandwidth),
        .threshold = cw_text_of(w.threshold),
        .minWpm = cw_text_of(w.minWpm),
        .maxWpm = cw_text_of(w.maxWpm),
        .qomSearch = cw_text_of(w.qomSearch),
        .lockHold = cw_text_of(w.lockHold),
        .autoGtmRearm = cw_text_of(w.autoGtmRearm),
        .txWpm = cw_text_of(w.txWpm),
        .autoCenter = w.autoCenter->isChecked(),
        .agc = w.agc->isChecked(),
        .shortRst = w.shortRst->isChecked(),
        .squelch = cw_text_of(w.squelch),
    };
}

void CWConnectionSettings::showForm(const CW_SETTINGS_FORM& form)
{
    const CW_SETTINGS_WIDGETS& w = widgets_;
    cw_show_text(w.host, form.host);
    cw_show_text(w.port, form.port);
    cw_show_text(w.pitch, form.pitch);
    cw_show_text(w.bandwidth, form.bandwidth);
    cw_show_text(w.threshold, form.threshold);
    cw_show_text(w.minWpm, form.minWpm);
    cw_show_text(w.maxWpm, form.maxWpm);
    cw_show_text(w.qomSearch, form.qomSearch);
    cw_show_text(w.lockHold, form.lockHold);
    cw_show_text(w.autoGtmRearm, form.autoGtmRearm);
    cw_show_text(w.txWpm, form.txWpm);
    w.autoCenter->setChecked(form.autoCenter);
    w.agc->setChecked(form.agc);
    w.shortRst->setChecked(form.shortRst);
    cw_show_text(w.squelch, form.squelch);
}

CW_SETTINGS_FORM CWConnectionSettings::normaliseFields()
{
    const CW_SETTINGS_FORM form = cw_settings_form_after_edit(readForm());
    showForm(form);
    return form;
}

void CWConnectionSettings::resetQomDefaults()
{
    CW_SETTINGS_FORM form = readForm();
    cw_settings_form_reset_qom_defaults(&form);
    showForm(form);
}

void CWConnectionSettings::showPitch(double hz)
{
    cw_show_text(widgets_.pitch, cw_format_value(cw_tuner_quantized_pitch(hz), kCWPitchSetting.decimals));
}

double CWConnectionSettings::pitchHzValue() const
{
    return cw_setting_value(kCWPitchSetting, cw_text_of(widgets_.pitch));
}

CW_RX_CONFIG CWConnectionSettings::decoderConfig(double sampleRate) const
{
    return cw_decoder_config(cw_settings_form_decoder_fields(readForm()), sampleRate);
}

double CWConnectionSettings::squelch() const
{
    return cw_settings_form_squelch(readForm());
}

CW_TUNER_CONFIG CWConnectionSettings::tunerConfig() const
{
    return CW_TUNER_CONFIG{.autoGtm = widgets_.autoCenter->isChecked() ? 1 : 0,
                           .rearmSeconds = cw_setting_value(kCWAutoGtmRearmSetting, cw_text_of(widgets_.autoGtmRearm)),
                           .findTone = 0};
}

void CWConnectionSettings::store()
{
    const CW_SETTINGS_FORM form = readForm();
    const bool showsRunOnlyServer =
        runOnlyConnection_ && runOnlyConnection_->first == form.host && runOnlyConnection_->second == form.port;
    cw_settings_form_store(form, preferences_, !showsRunOnlyServer);
    preferences_.synchronize();
}

void CWConnectionSettings::useConnectionForThisRun(const std::string& host, long long port)
{
    widgets_.host->setText(QString::fromStdString(host));
    widgets_.port->setText(QString::number(port));
    runOnlyConnection_.emplace(host, cw_text_of(widgets_.port));
}

void CWConnectionSettings::connect()
{
    client_.connectToHost(cw_text_of(widgets_.host), static_cast<uint64_t>(cw_port_value(cw_text_of(widgets_.port))));
}

void CWConnectionSettings::disconnect()
{
    client_.disconnect();
    widgets_.statusLabel->setText(kCWStatusIdle);
    updateConnectButton();
}

void CWConnectionSettings::updateConnectButton()
{
    widgets_.connectButton->setText(client_.isConnected() ? "Disconnect" : "Connect");
    updateTitle();
}

void CWConnectionSettings::updateTitle()
{
    const std::string title = cw_window_connection_title(client_.isConnected(), radio_.frequencyHz, radio_.mode);
    widgets_.window->setWindowTitle(QString::fromStdString(title));
}

void CWConnectionSettings::didConnect()
{
    radio_ = TCI_RADIO_STATE{};
    widgets_.statusLabel->setText(kCWStatusIdle);
    updateConnectButton();
}

void CWConnectionSettings::didDisconnect(const TCI_ERROR& error)
{
    radio_ = TCI_RADIO_STATE{};
    widgets_.statusLabel->setText(QString::fromStdString(cw_disconnected_status(error.description)));
    updateConnectButton();
}

// Read for the transceiver's frequency, mode and CW speed, and logged.
TCI_STATE_EVENTS CWConnectionSettings::didReceiveText(const std::string& text)
{
    if (text.empty())
        return {};
    const TCI_STATE_EVENTS events = tci_state_apply_message(&radio_, text);
    if (events.titleChanged)
        updateTitle();
    if (events.txWpm) {
        cw_show_text(widgets_.txWpm, cw_format_value(*events.txWpm, 0));
        cw_store_double(preferences_, kCWTxWpmSetting.key, *events.txWpm);
    }
    log_(kTCIReceivedPrefix + text);
    return events;
}
