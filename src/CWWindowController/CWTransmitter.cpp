#include "CWTransmitter.h"

#include "CWTxTextView.h"
#include "TCIClient.h"
#include "cw_macro_buttons.h"
#include "cw_settings.h"
#include "tci_commands.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

CWTransmitter::CWTransmitter(CWPreferenceStore& preferences, TCIClient& client, CW_TRANSMIT_WIDGETS widgets,
                             std::function<void(const std::string&)> log,
                             std::function<void(const std::string&, double)> transmitted)
    : preferences_(preferences), client_(client), widgets_(std::move(widgets)), log_(std::move(log)),
      transmitted_(std::move(transmitted))
{
    refreshMacroButtons();
}

CW_MACRO_EXPANSION CWTransmitter::expandedMacroText(const std::string& text) const
{
    const CW_QSO_INPUTS qso{widgets_.partnerCall->text().toStdString(), widgets_.partnerName->text().toStdString(),
                            widgets_.rst->text().toStdString(), widgets_.prst->text().toStdString(),
                            widgets_.shortRst->isChecked()};
    return cw_expanded_macro_text(text, cw_station_values(preferences_), qso);
}

bool CWTransmitter::sendCWMacroText(const std::string& text)
{
    const CW_MACRO_SEND_PLAN plan = cw_macro_send_plan(text, client_.isOpen(), widgets_.txWpm->text().toStdString());
    if (plan.outcome == CW_MACRO_SEND_EMPTY)
        return false;
    if (plan.outcome == CW_MACRO_SEND_NOT_CONNECTED) {
        // A link still opening would only queue the text: nothing may look
        // sent that could yet be lost.
        log_(client_.isConnected() ? "TX ignored: TCI link not open yet, nothing was sent." : plan.logLine);
        return false;
    }
    widgets_.txWpm->setText(QString::fromStdString(plan.txWpmFieldText));
    cw_store_double(preferences_, kCWTxWpmSetting.key, static_cast<double>(plan.speed));
    for (const std::string& command : plan.commands)
        client_.sendText(command);
    log_(plan.logLine);
    transmitted_(plan.transmittedText, static_cast<double>(plan.speed));
    return true;
}

void CWTransmitter::sendTx()
{
    if (sendCWMacroText(expandedMacroText(widgets_.txText->toPlainText().toStdString()).text))
        widgets_.txText->clear();
}

void CWTransmitter::stop()
{
    if (client_.isConnected())
        client_.sendText(kTCICwMacroStopCommand);
}

void CWTransmitter::sendMacro(size_t index)
{
    if (index >= kCWMacroButtonCount)
        return;
    sendCWMacroText(expandedMacroText(cw_macro_text(preferences_, index)).text);
}

void CWTransmitter::sendSpeed()
{
    if (client_.isConnected())
        client_.sendText("cw_macros_speed:" + std::to_string(cw_tx_wpm_value(widgets_.txWpm->text().toStdString())) +
                         ";");
}

void CWTransmitter::refreshMacroButtons()
{
    const std::vector<QPushButton*>& buttons = widgets_.macroButtons;
    for (size_t i = 0; i < buttons.size() && i < kCWMacroButtonCount; ++i) {
        buttons[i]->setText(QString::fromStdString(cw_macro_button_title(preferences_, i)));
        buttons[i]->setToolTip(QString::fromStdString(cw_macro_button_tooltip(preferences_, i)));
    }
}
