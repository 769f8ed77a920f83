// The Log QSO dialog: the QSO's fields prefilled from the main window, the
// station line and the UDP logbook target. It only collects values; the
// controller validates, logs and sends.
#pragma once

#include "CWAlertPanel.h"
#include "cw_adif_record.h"
#include "cw_udp_log_sender.h"

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
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

    // After a refusal: the first named field that is in this dialog gets
    // the focus and a red frame, the others lose theirs. Names as the
    // missing-field list gives them ("CALL", "QRG", "RST-S", "RST-R").
    void pointAtMissing(const std::vector<std::string>& missing);
    // The field pointed at, or null.
    QLineEdit* pointedField() const { return pointed_; }
    void setStation(const CW_LOG_STATION& station);

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

private:
    QLabel* stationLine_ = nullptr;
    QLineEdit* pointed_ = nullptr;
};
