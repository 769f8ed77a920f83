// Macro buttons, the TX text and the CW transmit through the server's
// macro keyer.
#include "CWWindowController.h"

#include "CWQSOTextField.h"
#include "cw_macro_buttons.h"
#include "tci_commands.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

CW_MACRO_EXPANSION CWWindowController::expandedMacroText(const std::string& text) const
{
    const CW_QSO_INPUTS qso{partnerCallField_->text().toStdString(), partnerNameField_->text().toStdString(),
                            qsoRSTField_->text().toStdString(), qsoPRSTField_->text().toStdString(),
                            shortRSTButton_->isChecked()};
    return cw_expanded_macro_text(text, cw_station_values(preferences_), qso);
}

bool CWWindowController::sendCWMacroText(const std::string& text)
{
    const CW_MACRO_SEND_PLAN plan =
        cw_macro_send_plan(text, client_.isOpen(), txWpmField_->text().toStdString());
    if (plan.outcome == CW_MACRO_SEND_EMPTY)
        return false;
    if (plan.outcome == CW_MACRO_SEND_NOT_CONNECTED) {
        // A link still opening would only queue the text: nothing may look
        // sent that could yet be lost.
        appendLog(client_.isConnected() ? "TX ignored: TCI link not open yet, nothing was sent." : plan.logLine);
        return false;
    }
    txWpmField_->setText(QString::fromStdString(plan.txWpmFieldText));
    cw_store_double(preferences_, kCWTxWpmSetting.key, static_cast<double>(plan.speed));
    for (const std::string& command : plan.commands)
        client_.sendText(command);
    appendLog(plan.logLine);
    appendTransmittedText(plan.transmittedText);
    return true;
}

std::string CWWindowController::txTextCurrentString() const
{
    return txTextView_->toPlainText().toStdString();
}

void CWWindowController::sendTxClicked()
{
    if (sendCWMacroText(expandedMacroText(txTextCurrentString()).text))
        txTextView_->clear();
}

void CWWindowController::stopTxClicked()
{
    if (client_.isConnected())
        client_.sendText(kTCICwMacroStopCommand);
}

void CWWindowController::macroButtonClicked(size_t index)
{
    if (index >= kCWMacroButtonCount)
        return;
    sendCWMacroText(expandedMacroText(cw_macro_text(preferences_, index)).text);
}

void CWWindowController::clearQSOClicked()
{
    partnerCallField_->clear();
    partnerNameField_->clear();
    decodePickTarget_ = 1;
    partnerCallField_->setFocus();
}

void CWWindowController::refreshMacroButtonsFromDefaults()
{
    for (size_t i = 0; i < macroButtons_.size() && i < kCWMacroButtonCount; ++i) {
        macroButtons_[i]->setText(QString::fromStdString(cw_macro_button_title(preferences_, i)));
        macroButtons_[i]->setToolTip(QString::fromStdString(cw_macro_text(preferences_, i)));
    }
}
