// The Macro Setup dialog: the four station values and the title and text
// of the eight macro slots, with import and export of a macro file. It
// only holds the values; the controller stores them on "OK".
#pragma once

#include "CWAlertPanel.h"
#include "cw_macro_expansion.h"
#include "cw_macro_file.h"

#include <functional>
#include <vector>

class QLineEdit;

class CWMacroSetupDialog : public CWAlertPanel {
public:
    // fieldChanged runs after every change of a field, fieldEdited whenever
    // editing ends in one; onImport and onExport are the two file buttons.
    CWMacroSetupDialog(const CW_STATION_VALUES& station, const CW_MACRO_SLOTS& slots, QWidget* parent = nullptr);

    void setFieldHandlers(std::function<void(QLineEdit*)> fieldChanged, std::function<void(QLineEdit*)> fieldEdited);
    void setFileActions(std::function<void()> onImport, std::function<void()> onExport);

    // Call, name, QTH, locator.
    std::vector<QLineEdit*> stationFields;
    std::vector<QLineEdit*> titleFields;
    std::vector<QLineEdit*> textFields;

    CW_MACRO_SLOTS shownSlots() const;
    void showSlots(const CW_MACRO_SLOTS& slots, size_t count);

private:
    QLineEdit* addField(const QString& name, const std::string& value, QRect frame);
    void addCaption(const QString& text, QRect frame);

    std::function<void(QLineEdit*)> fieldChanged_;
    std::function<void(QLineEdit*)> fieldEdited_;
    std::function<void()> onImport_;
    std::function<void()> onExport_;
};
