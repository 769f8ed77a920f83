// The Macro Setup dialog and the macro text files. Nothing reaches the
// preferences before "OK"; an import fills the dialog's fields from the
// file's usable lines, or none when the file is refused.
#include "CWWindowController.h"

#include "CWFolders.h"
#include "CWMacroSetupDialog.h"
#include "cw_adif_record.h"
#include "cw_field_strings.h"
#include "cw_macro_buttons.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QSaveFile>

void CWWindowController::openMacroSetup()
{
    CWMacroSetupDialog dialog(cw_station_values(preferences_), cw_stored_macro_slots(preferences_), window_.get());
    // Until the operator gives a call, the macros' stand-in shows only as a
    // hint: "OK" must not store it as the station's call, which the log
    // would then accept.
    if (cw_log_station(preferences_).callsign.empty()) {
        dialog.stationFields[0]->clear();
        dialog.stationFields[0]->setPlaceholderText(kCWStationCallsignDefault);
    }
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
    // The dialog starts in Documents, not in whatever folder the program
    // was started from.
    const QDir documents(cw_standard_folder(QStandardPaths::DocumentsLocation, environment_.documentsFolder));
    const QString start = proposedName.isEmpty() ? documents.path() : documents.filePath(proposedName);
    if (environment_.chooseFile)
        return environment_.chooseFile(save, title, start);
    QWidget* parent = macroSetupDialog_ ? static_cast<QWidget*>(macroSetupDialog_) : window_.get();
    return save ? QFileDialog::getSaveFileName(parent, title, start)
                : QFileDialog::getOpenFileName(parent, title, start);
}

void CWWindowController::exportMacroTextsClicked()
{
    const CW_MACRO_SLOTS slots =
        macroSetupDialog_ ? macroSetupDialog_->shownSlots() : cw_stored_macro_slots(preferences_);
    const QString path = chooseFile(true, "Export Macro Texts", kCWMacroFileName);
    if (path.isEmpty())
        return;
    const CW_MACRO_EXPORT exported = cw_macro_export_file_text(slots);
    const std::string refusal = exported.ok ? cw_macro_export_target_error(path.toStdString()) : exported.message;
    if (!refusal.empty()) {
        showMacroTextFileError(kCWMacroExportFailedTitle, refusal);
        return;
    }
    // Written beside the old file and renamed over it only once all of it
    // is on disk, so a full disk leaves the old file as it was. Unbuffered:
    // a buffered flush takes a short write for success and would commit a
    // cut-off file.
    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(exported.text);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 done = 0, n = 0; written && done < bytes.size(); done += n) {
        n = file.write(bytes.constData() + done, bytes.size() - done);
        written = n > 0;
    }
    if (!written || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        showMacroTextFileError(kCWMacroExportFailedTitle, reason.toStdString());
    }
}

void CWWindowController::importMacroTextsClicked()
{
    if (!macroSetupDialog_ || macroSetupDialog_->titleFields.empty() || macroSetupDialog_->textFields.empty())
        return;
    const QString path = chooseFile(false, "Import Macro Texts", QString());
    if (path.isEmpty())
        return;
    const CW_MACRO_FILE_READ file = cw_macro_file_read(path.toStdString());
    if (!file.ok) {
        showMacroTextFileError(kCWMacroImportFailedTitle, file.message);
        return;
    }
    const size_t fields = std::min(macroSetupDialog_->titleFields.size(), macroSetupDialog_->textFields.size());
    const CW_MACRO_IMPORT imported = cw_macro_import_parse(file.bytes, fields);
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
