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
    CWMacroSetupDialog(const CW_STATION_VALUES& station, const CW_MACRO_SLOTS& slots, QWidget* parent = nullptr);

    // The actions of the "Import Macros…" and "Export Macros…" buttons.
    void setFileActions(std::function<void()> onImport, std::function<void()> onExport);

    // Call, name, QTH, locator.
    std::vector<QLineEdit*> stationFields;
    std::vector<QLineEdit*> titleFields;
    std::vector<QLineEdit*> textFields;

    CW_MACRO_SLOTS shownSlots() const;
    void showSlots(const CW_MACRO_SLOTS& slots, size_t count);

private:
    std::function<void()> onImport_;
    std::function<void()> onExport_;
};
