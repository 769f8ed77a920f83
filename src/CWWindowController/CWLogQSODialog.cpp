#include "CWLogQSODialog.h"

#include "CWWindowAppearance.h"
#include "cw_field_strings.h"
#include "cw_view_paint.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr QSize kAccessorySize(680, 310);

QRect cw_accessory_frame(int x, int y, int width, int height)
{
    return cw_frame(kAccessorySize.height(), x, y, width, height);
}

}  // namespace

CWLogQSODialog::CWLogQSODialog(const CW_UTC_STAMP& stamp, const CW_LOG_DIALOG_VALUES& values,
                               std::function<void(QLineEdit*)> fieldEdited, QWidget* parent)
    : CWAlertPanel(kCWLogDialogTitle, QString::fromStdString(cw_log_dialog_informative_text(stamp)),
                   kAccessorySize, {"Send to Log", "Cancel"}, parent),
      fieldEdited_(std::move(fieldEdited))
{
    setObjectName("logQSODialog");
    addCaption("QSO Data", cw_accessory_frame(0, 292, 300, 18));
    addCaption("CALL*", cw_accessory_frame(0, 270, 82, 20));
    callField = addField("logCallField", values.call, cw_accessory_frame(92, 268, 160, 24), true);
    addCaption("NAME", cw_accessory_frame(270, 270, 60, 20));
    nameField = addField("logNameField", values.name, cw_accessory_frame(340, 268, 160, 24), true);
    addCaption("RST-S*", cw_accessory_frame(0, 234, 82, 20));
    rstSentField = addField("logRstSentField", values.rstSent, cw_accessory_frame(92, 232, 70, 24), true);
    addCaption("RST-R*", cw_accessory_frame(180, 234, 60, 20));
    rstRcvdField = addField("logRstRcvdField", values.rstRcvd, cw_accessory_frame(250, 232, 70, 24), true);
    addCaption("QRG*", cw_accessory_frame(350, 234, 70, 20));
    qrgField = addField("logQrgField", values.qrg, cw_accessory_frame(430, 232, 110, 24), false);
    addCaption("LOC", cw_accessory_frame(0, 198, 82, 20));
    locField = addField("logLocField", "", cw_accessory_frame(92, 196, 120, 24), true);
    addCaption("QTH", cw_accessory_frame(230, 198, 60, 20));
    qthField = addField("logQthField", "", cw_accessory_frame(300, 196, 240, 24), true);
    addCaption("COMMENT", cw_accessory_frame(0, 162, 82, 20));
    commentField = addField("logCommentField", "", cw_accessory_frame(92, 160, 448, 24), false);

    QLabel* station = cw_label(QString::fromStdString(cw_log_station_line(values.station)), accessory());
    station->setObjectName("logStationLine");
    station->setFont(cw_system_font(11));
    station->setGeometry(cw_accessory_frame(0, 124, 650, 18));

    addCaption("UDP ADIF Target", cw_accessory_frame(0, 106, 300, 18));
    sendViaUdpBox = new QCheckBox("Send log via UDP", accessory());
    sendViaUdpBox->setObjectName("logSendViaUdpBox");
    sendViaUdpBox->setChecked(values.udp.sendViaUdp);
    sendViaUdpBox->setToolTip("Optional for this QSO: send the ADIF record to the configured UDP logbook target. "
                              "The local ADIF backup is always written.");
    cw_set_colour(sendViaUdpBox, QPalette::WindowText, cw_grey(kCWButtonTintGrey));
    sendViaUdpBox->setGeometry(cw_accessory_frame(420, 104, 190, 24));
    addCaption("HOST", cw_accessory_frame(0, 90, 82, 20));
    hostField = addField("logHostField", values.udp.host, cw_accessory_frame(92, 88, 170, 24), false);
    addCaption("PORT", cw_accessory_frame(280, 90, 50, 20));
    portField = addField("logPortField", std::to_string(values.udp.port), cw_accessory_frame(340, 88, 80, 24),
                         false);

    QLabel* note = cw_label("Required: CALL, QRG, RST-S, RST-R, STATION_CALLSIGN, MY_GRIDSQUARE. Optional fields "
                            "are omitted when empty.",
                            accessory());
    note->setFont(cw_system_font(11));
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note->setGeometry(cw_accessory_frame(0, 0, 650, 52));
}

QLineEdit* CWLogQSODialog::addField(const char* name, const std::string& value, QRect frame, bool normalized)
{
    const std::string shown = normalized ? cw_normalized_upper_field_string(value) : value;
    QLineEdit* field = cw_dark_text_field(QString::fromStdString(shown), accessory());
    field->setObjectName(name);
    field->setGeometry(frame);
    QObject::connect(field, &QLineEdit::editingFinished, this, [this, field] {
        if (fieldEdited_)
            fieldEdited_(field);
    });
    return field;
}

void CWLogQSODialog::addCaption(const char* text, QRect frame)
{
    cw_label(text, accessory())->setGeometry(frame);
}
