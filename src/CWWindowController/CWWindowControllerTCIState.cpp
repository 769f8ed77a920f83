// Text messages from the server: logged, and read for the transceiver's
// frequency, mode and CW speed.
#include "CWWindowController.h"

#include "cw_settings.h"
#include "cw_text_values.h"
#include "tci_commands.h"

#include <QLineEdit>

void CWWindowController::tciClientDidReceiveTextMessage(TCIClient*, const std::string& text)
{
    if (text.empty())
        return;
    const TCI_STATE_EVENTS events = tci_state_apply_message(&tciState_, text);
    if (events.titleChanged)
        updateWindowConnectionTitle();
    if (events.txWpm) {
        txWpmField_->setText(QString::fromStdString(cw_format_value(*events.txWpm, 0)));
        cw_store_double(preferences_, kCWTxWpmSetting.key, *events.txWpm);
    }
    appendLog(kTCIReceivedPrefix + text);
}
