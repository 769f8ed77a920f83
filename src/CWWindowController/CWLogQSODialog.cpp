#include "CWLogQSODialog.h"

#include "CWWindowAppearance.h"
#include "cw_field_strings.h"
#include "CWViewPaint.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr QSize kAccessorySize(680, 310);

}  // namespace

CWLogQSODialog::CWLogQSODialog(const CW_UTC_STAMP& stamp, const CW_LOG_DIALOG_VALUES& values, QWidget* parent)
    : CWAlertPanel(kCWLogDialogTitle, QString::fromStdString(cw_log_dialog_informative_text(stamp)), kAccessorySize,
                   {"Send to Log", "Cancel"}, parent)
{
    const auto normalized = [](const std::string& value) { return cw_normalized_upper_field_string(value); };
    setObjectName("logQSODialog");
    addCaption("QSO Data", accessoryFrame(0, 292, 300, 18));
    addCaption("CALL*", accessoryFrame(0, 270, 82, 20));
    callField = addField("logCallField", normalized(values.call), accessoryFrame(92, 268, 160, 24));
    addCaption("NAME", accessoryFrame(270, 270, 60, 20));
    nameField = addField("logNameField", normalized(values.name), accessoryFrame(340, 268, 160, 24));
    addCaption("RST-S*", accessoryFrame(0, 234, 82, 20));
    rstSentField = addField("logRstSentField", normalized(values.rstSent), accessoryFrame(92, 232, 70, 24));
    addCaption("RST-R*", accessoryFrame(180, 234, 60, 20));
    rstRcvdField = addField("logRstRcvdField", normalized(values.rstRcvd), accessoryFrame(250, 232, 70, 24));
    addCaption("QRG*", accessoryFrame(350, 234, 70, 20));
    qrgField = addField("logQrgField", values.qrg, accessoryFrame(430, 232, 110, 24));
    addCaption("LOC", accessoryFrame(0, 198, 82, 20));
    locField = addField("logLocField", "", accessoryFrame(92, 196, 120, 24));
    addCaption("QTH", accessoryFrame(230, 198, 60, 20));
    qthField = addField("logQthField", "", accessoryFrame(300, 196, 240, 24));
    addCaption("COMMENT", accessoryFrame(0, 162, 82, 20));
    commentField = addField("logCommentField", "", accessoryFrame(92, 160, 448, 24));

    stationLine_ = cw_label(QString::fromStdString(cw_log_station_line(values.station)), accessory());
    stationLine_->setObjectName("logStationLine");
    stationLine_->setFont(cw_system_font(11));
    stationLine_->setGeometry(accessoryFrame(0, 134, 650, 18));

    addCaption("UDP ADIF Target", accessoryFrame(0, 112, 300, 20));
    sendViaUdpBox = new QCheckBox("Send log via UDP", accessory());
    sendViaUdpBox->setObjectName("logSendViaUdpBox");
    sendViaUdpBox->setChecked(values.udp.sendViaUdp);
    sendViaUdpBox->setToolTip("Optional for this QSO: send the ADIF record to the configured UDP logbook target. "
                              "The local ADIF backup is always written.");
    cw_set_colour(sendViaUdpBox, QPalette::WindowText, cw_grey(kCWButtonTintGrey));
    sendViaUdpBox->setGeometry(accessoryFrame(420, 84, 190, 24));
    addCaption("HOST", accessoryFrame(0, 86, 82, 20));
    hostField = addField("logHostField", values.udp.host, accessoryFrame(92, 84, 170, 24));
    addCaption("PORT", accessoryFrame(280, 86, 50, 20));
    portField = addField("logPortField", std::to_string(values.udp.port), accessoryFrame(340, 84, 80, 24));

    QLabel* note = cw_label("Required: CALL, QRG, RST-S, RST-R, STATION_CALLSIGN, MY_GRIDSQUARE. Optional fields "
                            "are omitted when empty.",
                            accessory());
    note->setFont(cw_system_font(11));
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note->setGeometry(accessoryFrame(0, 0, 650, 52));
}

void CWLogQSODialog::pointAtMissing(const std::vector<std::string>& missing)
{
    const std::pair<const char*, QLineEdit*> fields[] = {
        {"CALL", callField}, {"QRG", qrgField}, {"RST-S", rstSentField}, {"RST-R", rstRcvdField}};
    pointed_ = nullptr;
    for (const std::string& name : missing)
        for (const auto& [fieldName, field] : fields)
            if (!pointed_ && name == fieldName)
                pointed_ = field;
    for (const auto& [fieldName, field] : fields)
        field->setStyleSheet(field == pointed_ ? "border: 2px solid #e05050;" : "");
    if (pointed_) {
        pointed_->setFocus(Qt::OtherFocusReason);
        pointed_->selectAll();
    }
}

void CWLogQSODialog::setStation(const CW_LOG_STATION& station)
{
    stationLine_->setText(QString::fromStdString(cw_log_station_line(station)));
}
