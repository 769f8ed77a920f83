#include "CWMacroSetupDialog.h"

#include "CWWindowAppearance.h"
#include "cw_field_strings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr QSize kAccessorySize(780, 430);

}  // namespace

CWMacroSetupDialog::CWMacroSetupDialog(const CW_STATION_VALUES& station, const CW_MACRO_SLOTS& slots, QWidget* parent)
    : CWAlertPanel("Macro Setup",
                   "Station replacement values and editable macro button texts. QSO values PCALL, PNAME, RST and "
                   "PRST are edited in the main window.",
                   kAccessorySize, {"OK", "Cancel"}, parent)
{
    setObjectName("macroSetupDialog");
    addCaption("CALLSIGN", accessoryFrame(0, 388, 85, 20));
    stationFields.push_back(addField("setupCallField", cw_normalized_upper_field_string(station.callsign),
                                     accessoryFrame(95, 386, 150, 24)));
    addCaption("NAME", accessoryFrame(250, 388, 65, 20));
    stationFields.push_back(
        addField("setupNameField", cw_normalized_upper_field_string(station.name), accessoryFrame(325, 386, 150, 24)));
    addCaption("LOC", accessoryFrame(0, 356, 85, 20));
    QLineEdit* loc =
        addField("setupLocField", cw_normalized_upper_field_string(station.locator), accessoryFrame(95, 354, 150, 24));
    addCaption("QTH", accessoryFrame(250, 356, 65, 20));
    stationFields.push_back(
        addField("setupQthField", cw_normalized_upper_field_string(station.qth), accessoryFrame(325, 354, 150, 24)));
    stationFields.push_back(loc);
    addCaption("Macros", accessoryFrame(0, 324, 220, 18));
    for (size_t n = 0; n < kCWMacroButtonCount; ++n) {
        const int y = 292 - 32 * static_cast<int>(n);
        addCaption(QString::number(n + 1), accessoryFrame(0, y + 2, 38, 20));
        titleFields.push_back(addField(QString("setupTitleField%1").arg(n),
                                       cw_normalized_upper_field_string(slots.titles[n]),
                                       accessoryFrame(48, y, 74, 24)));
        textFields.push_back(
            addField(QString("setupTextField%1").arg(n), slots.texts[n], accessoryFrame(140, y, 620, 24)));
    }
    QPushButton* import = new QPushButton("Import Macros…", accessory());
    import->setObjectName("importMacrosButton");
    import->setGeometry(accessoryFrame(0, 28, 130, 26));
    QObject::connect(import, &QPushButton::clicked, this, [this] {
        if (onImport_)
            onImport_();
    });
    QPushButton* exportButton = new QPushButton("Export Macros…", accessory());
    exportButton->setObjectName("exportMacrosButton");
    exportButton->setGeometry(accessoryFrame(140, 28, 130, 26));
    QObject::connect(exportButton, &QPushButton::clicked, this, [this] {
        if (onExport_)
            onExport_();
    });
    // A field takes no more than its setting is read back with.
    const size_t stationMax[] = {kCWStationCallsignMaxBytes, kCWStationTextMaxBytes, kCWStationTextMaxBytes,
                                 kCWStationLocatorMaxBytes};
    for (size_t i = 0; i < stationFields.size(); ++i)
        stationFields[i]->setMaxLength(static_cast<int>(stationMax[i]));
    for (size_t n = 0; n < kCWMacroButtonCount; ++n) {
        titleFields[n]->setMaxLength(static_cast<int>(kCWMacroTitleMaxBytes));
        textFields[n]->setMaxLength(static_cast<int>(kCWMacroTextMaxBytes));
    }
    QLabel* help = cw_label("Tokens: <TX> <RX> <BR>/<CRLF> <MYCALL> <MYNAME> <MYQTH> <MYLOC> <PCALL> <PNAME> <RST> "
                            "<PRST>",
                            accessory());
    help->setFont(cw_system_font(11));
    help->setGeometry(accessoryFrame(0, 0, 760, 18));
}

void CWMacroSetupDialog::setFileActions(std::function<void()> onImport, std::function<void()> onExport)
{
    onImport_ = std::move(onImport);
    onExport_ = std::move(onExport);
}

CW_MACRO_SLOTS CWMacroSetupDialog::shownSlots() const
{
    CW_MACRO_SLOTS slots;
    for (size_t n = 0; n < kCWMacroButtonCount; ++n) {
        slots.titles[n] = titleFields[n]->text().toStdString();
        slots.texts[n] = textFields[n]->text().toStdString();
    }
    return slots;
}

void CWMacroSetupDialog::showSlots(const CW_MACRO_SLOTS& slots, size_t count)
{
    for (size_t n = 0; n < count && n < kCWMacroButtonCount; ++n) {
        titleFields[n]->setText(QString::fromStdString(slots.titles[n]));
        textFields[n]->setText(QString::fromStdString(slots.texts[n]));
    }
}
