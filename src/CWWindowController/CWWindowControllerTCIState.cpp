// Text messages from the server: logged, and searched for the transceiver's
// frequency, mode and CW speed.
#include "CWWindowController.h"

#include "cw_settings.h"
#include "cw_text_values.h"
#include "tci_commands.h"

#include <QLineEdit>

void CWWindowController::processTCITextForLogFrequency(const std::string& command)
{
    if (cw_tci_track_command(&tciState_, command))
        updateWindowConnectionTitle();
}

void CWWindowController::tciClientDidReceiveTextMessage(TCIClient*, const std::string& text)
{
    if (text.empty())
        return;
    for (const std::string& command : cw_tci_commands(text)) {
        processTCITextForLogFrequency(command);
        if (const std::optional<double> wpm = cw_tci_speed_reply(command)) {
            txWpmField_->setText(QString::fromStdString(cw_format_value(*wpm, 0)));
            cw_store_double(preferences_, kCWTxWpmSetting.key, *wpm);
        }
    }
    appendLog(kTCIReceivedPrefix + text);
}
