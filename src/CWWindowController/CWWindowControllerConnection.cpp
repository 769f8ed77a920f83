// Connect and Disconnect, the client's reports, the status line and the
// window title.
#include "CWWindowController.h"

#include "tci_commands.h"
#include "cw_window_title.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

void CWWindowController::connectClicked()
{
    if (client_.isConnected()) {
        client_.disconnect();
        statusLabel_->setText(kCWStatusIdle);
        updateConnectButton();
        return;
    }
    resetAudioBookkeeping();
    storeSettings();
    recreateDecoder();
    client_.connectToHost(hostField_->text().toStdString(),
                          static_cast<uint64_t>(cw_port_value(portField_->text().toStdString())));
}

void CWWindowController::updateConnectButton()
{
    connectButton_->setText(client_.isConnected() ? "Disconnect" : "Connect");
    updateWindowConnectionTitle();
}

void CWWindowController::updateWindowConnectionTitle()
{
    const std::string title =
        cw_window_connection_title(client_.isConnected(), tciState_.frequencyHz, tciState_.mode);
    window_->setWindowTitle(QString::fromStdString(title));
}

void CWWindowController::useConnectionForThisRun(const std::string& host, long long port)
{
    hostField_->setText(QString::fromStdString(host));
    portField_->setText(QString::number(port));
    runOnlyConnection_.emplace(host, portField_->text().toStdString());
}

void CWWindowController::tciClientDidLogLine(TCIClient*, const std::string& line)
{
    appendLog(line);
}

void CWWindowController::tciClientDidConnect(TCIClient*)
{
    tciState_ = TCI_RADIO_STATE{};
    statusLabel_->setText(kCWStatusIdle);
    updateConnectButton();
}

void CWWindowController::tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& error)
{
    tciState_ = TCI_RADIO_STATE{};
    statusLabel_->setText(QString::fromStdString(cw_disconnected_status(error.description)));
    updateConnectButton();
}
