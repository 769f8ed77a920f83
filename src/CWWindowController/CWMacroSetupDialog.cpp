#include "CWMacroSetupDialog.h"

#include "CWWindowAppearance.h"
#include "cw_field_strings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr QSize kAccessorySize(780, 430);

QRect cw_accessory_frame(int x, int y, int width, int height)
{
    return cw_frame(kAccessorySize.height(), x, y, width, height);
}

}  // namespace

CWMacroSetupDialog::CWMacroSetupDialog(const CW_STATION_VALUES& station, const CW_MACRO_SLOTS& slots,
                                       QWidget* parent)
    : CWAlertPanel("Macro Setup",
                   "Station replacement values and editable macro button texts. QSO values PCALL, PNAME, RST and "
                   "PRST are edited in the main window.",
                   kAccessorySize, {"OK", "Cancel"}, parent)
{
    setObjectName("macroSetupDialog");
    addCaption("CALLSIGN", cw_accessory_frame(0, 388, 85, 20));
    stationFields.push_back(addField("setupCallField", cw_normalized_upper_field_string(station.callsign),
                                     cw_accessory_frame(95, 386, 150, 24)));
    addCaption("NAME", cw_accessory_frame(250, 388, 65, 20));
    stationFields.push_back(addField("setupNameField", cw_normalized_upper_field_string(station.name),
                                     cw_accessory_frame(325, 386, 150, 24)));
    addCaption("LOC", cw_accessory_frame(0, 356, 85, 20));
    QLineEdit* loc = addField("setupLocField", cw_normalized_upper_field_string(station.locator),
                              cw_accessory_frame(95, 354, 150, 24));
    addCaption("QTH", cw_accessory_frame(250, 356, 65, 20));
    stationFields.push_back(addField("setupQthField", cw_normalized_upper_field_string(station.qth),
                                     cw_accessory_frame(325, 354, 150, 24)));
    stationFields.push_back(loc);
    addCaption("Macros", cw_accessory_frame(0, 324, 220, 18));
    for (size_t n = 0; n < kCWMacroButtonCount; ++n) {
        const int y = 292 - 32 * static_cast<int>(n);
        addCaption(QString::number(n + 1), cw_accessory_frame(0, y + 2, 38, 20));
        titleFields.push_back(addField(QString("setupTitleField%1").arg(n),
                                       cw_normalized_upper_field_string(slots.titles[n]),
                                       cw_accessory_frame(48, y, 74, 24)));
        textFields.push_back(
            addField(QString("setupTextField%1").arg(n), slots.texts[n], cw_accessory_frame(140, y, 620, 24)));
    }
    QPushButton* import = new QPushButton("Import Macros…", accessory());
    import->setObjectName("importMacrosButton");
    import->setGeometry(cw_accessory_frame(0, 28, 130, 26));
    QObject::connect(import, &QPushButton::clicked, this, [this] {
        if (onImport_)
            onImport_();
    });
    QPushButton* exportButton = new QPushButton("Export Macros…", accessory());
    exportButton->setObjectName("exportMacrosButton");
    exportButton->setGeometry(cw_accessory_frame(140, 28, 130, 26));
    QObject::connect(exportButton, &QPushButton::clicked, this, [this] {
        if (onExport_)
            onExport_();
    });
    QLabel* help = cw_label("Tokens: <TX> <RX> <BR>/<CRLF> <MYCALL> <MYNAME> <MYQTH> <MYLOC> <PCALL> <PNAME> <RST> "
                            "<PRST>",
                            accessory());
    help->setFont(cw_system_font(11));
    help->setGeometry(cw_accessory_frame(0, 0, 760, 18));
}

void CWMacroSetupDialog::setFieldHandlers(std::function<void(QLineEdit*)> fieldChanged,
                                          std::function<void(QLineEdit*)> fieldEdited)
{
    fieldChanged_ = std::move(fieldChanged);
    fieldEdited_ = std::move(fieldEdited);
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

QLineEdit* CWMacroSetupDialog::addField(const QString& name, const std::string& value, QRect frame)
{
    QLineEdit* field = cw_dark_text_field(QString::fromStdString(value), accessory());
    field->setObjectName(name);
    field->setGeometry(frame);
    QObject::connect(field, &QLineEdit::textChanged, this, [this, field] {
        if (fieldChanged_)
            fieldChanged_(field);
    });
    QObject::connect(field, &QLineEdit::editingFinished, this, [this, field] {
        if (fieldEdited_)
            fieldEdited_(field);
    });
    return field;
}

void CWMacroSetupDialog::addCaption(const QString& text, QRect frame)
{
    cw_label(text, accessory())->setGeometry(frame);
}
