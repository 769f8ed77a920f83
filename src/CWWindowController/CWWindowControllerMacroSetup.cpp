// The Macro Setup dialog and the macro text files. Nothing reaches the
// preferences before "OK"; an import fills the dialog's fields whole or
// not at all.
#include "CWWindowController.h"

#include "CWMacroSetupDialog.h"
#include "cw_field_strings.h"
#include "cw_macro_buttons.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QSaveFile>

void CWWindowController::openMacroSetup()
{
    CWMacroSetupDialog dialog(cw_station_values(preferences_), cw_stored_macro_slots(preferences_), window_.get());
    dialog.setFieldHandlers([this](QLineEdit* field) { uppercaseTextFieldPreservingSelection(field); },
                            [this](QLineEdit* field) { controlTextDidEndEditing(field); });
    dialog.setFileActions([this] { importMacroTextsClicked(); }, [this] { exportMacroTextsClicked(); });
    macroSetupDialog_ = &dialog;
    const bool ok = environment_.runMacroSetupDialog ? environment_.runMacroSetupDialog(dialog)
                                                     : dialog.exec() == QDialog::Accepted && dialog.chosenButton() == 0;
    if (ok)
        storeMacroSetup(dialog);
    macroSetupDialog_ = nullptr;
}

void CWWindowController::storeMacroSetup(const CWMacroSetupDialog& dialog)
{
    const char* const stationKeys[] = {kCWStationCallsignKey, kCWStationNameKey, kCWStationQthKey, kCWStationLocKey};
    for (size_t i = 0; i < dialog.stationFields.size(); ++i)
        preferences_.setValue(stationKeys[i],
                              cw_normalized_upper_field_string(dialog.stationFields[i]->text().toStdString()));
    const CW_MACRO_SLOTS slots = dialog.shownSlots();
    for (size_t n = 0; n < kCWMacroButtonCount; ++n) {
        const std::string title = cw_normalized_upper_field_string(slots.titles[n]);
        const std::string text = cw_upper_string(slots.texts[n]);
        preferences_.setValue(cw_macro_button_title_key(n), title.empty() ? cw_macro_default_title(n) : title);
        preferences_.setValue(cw_macro_text_key(n), text.empty() ? cw_macro_default_text(n) : text);
    }
    preferences_.synchronize();
    transmitter_->refreshMacroButtons();
}

QString CWWindowController::chooseFile(bool save, const QString& title, const QString& proposedName)
{
    if (environment_.chooseFile)
        return environment_.chooseFile(save, title, proposedName);
    QWidget* parent = macroSetupDialog_ ? static_cast<QWidget*>(macroSetupDialog_) : window_.get();
    return save ? QFileDialog::getSaveFileName(parent, title, proposedName)
                : QFileDialog::getOpenFileName(parent, title);
}

void CWWindowController::exportMacroTextsClicked()
{
    const CW_MACRO_SLOTS slots =
        macroSetupDialog_ ? macroSetupDialog_->shownSlots() : cw_stored_macro_slots(preferences_);
    const QString path = chooseFile(true, "Export Macro Texts", kCWMacroFileName);
    if (path.isEmpty())
        return;
    const CW_MACRO_EXPORT exported = cw_macro_export_file_text(slots);
    if (!exported.ok) {
        showMacroTextFileError(kCWMacroExportFailedTitle, exported.message);
        return;
    }
    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(exported.text);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        showMacroTextFileError(kCWMacroExportFailedTitle, file.errorString().toStdString());
}

void CWWindowController::importMacroTextsClicked()
{
    if (!macroSetupDialog_ || macroSetupDialog_->titleFields.empty() || macroSetupDialog_->textFields.empty())
        return;
    const QString path = chooseFile(false, "Import Macro Texts", QString());
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMacroTextFileError(kCWMacroImportFailedTitle, file.errorString().toStdString());
        return;
    }
    // One byte past the limit is enough to refuse a file as too large.
    const QByteArray bytes = file.read(static_cast<qint64>(kCWMacroFileMaxBytes) + 1);
    const size_t fields = std::min(macroSetupDialog_->titleFields.size(), macroSetupDialog_->textFields.size());
    const CW_MACRO_IMPORT imported = cw_macro_import_parse(bytes.toStdString(), fields);
    if (!imported.ok) {
        showMacroTextFileError(imported.title, imported.message);
        return;
    }
    macroSetupDialog_->showSlots(imported.slots, imported.count);
}

void CWWindowController::showMacroTextFileError(const std::string& title, const std::string& detail)
{
    showAlert(title.empty() ? "Macro File Error" : title, detail.empty() ? "Unknown error" : detail);
}
