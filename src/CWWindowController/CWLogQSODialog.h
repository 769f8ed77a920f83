// The Log QSO dialog: the QSO's fields prefilled from the main window, the
// station line and the UDP logbook target. It only collects values; the
// controller validates, logs and sends.
#pragma once

#include "CWAlertPanel.h"
#include "cw_adif_record.h"
#include "cw_udp_log_sender.h"

#include <string>

class QCheckBox;
class QLineEdit;

struct CW_LOG_DIALOG_VALUES {
    std::string call;
    std::string name;
    std::string rstSent;
    std::string rstRcvd;
    std::string qrg;
    CW_LOG_STATION station;
    CW_UDP_LOG_SETTINGS udp;
};

class CWLogQSODialog : public CWAlertPanel {
public:
    CWLogQSODialog(const CW_UTC_STAMP& stamp, const CW_LOG_DIALOG_VALUES& values, QWidget* parent = nullptr);

    QLineEdit* callField = nullptr;
    QLineEdit* nameField = nullptr;
    QLineEdit* rstSentField = nullptr;
    QLineEdit* rstRcvdField = nullptr;
    QLineEdit* qrgField = nullptr;
    QLineEdit* locField = nullptr;
    QLineEdit* qthField = nullptr;
    QLineEdit* commentField = nullptr;
    QLineEdit* hostField = nullptr;
    QLineEdit* portField = nullptr;
    QCheckBox* sendViaUdpBox = nullptr;
};
