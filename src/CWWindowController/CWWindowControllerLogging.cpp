// The Log QSO dialog, the local ADIF log and the UDP logbook send. The
// local record always comes first: nothing is sent that is not on disk.
#include "CWWindowController.h"

#include "CWLogQSODialog.h"
#include "CWQSOTextField.h"
#include "cw_adif_log_file.h"
#include "cw_field_strings.h"
#include "cw_text_values.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>

namespace {

std::string cw_text(const QLineEdit* field)
{
    return field->text().toStdString();
}

}  // namespace

std::time_t CWWindowController::utcNow() const
{
    return environment_.utcNow ? environment_.utcNow() : std::time(nullptr);
}

std::string CWWindowController::currentLogFrequencyString() const
{
    return cw_log_frequency_string(currentTCIFrequencyHz());
}

std::string CWWindowController::adifLogFilePath()
{
    std::string error;
    const std::string path = cw_adif_log_file_path(documentsFolder().toStdString(), &error);
    if (path.empty())
        appendLog(cw_adif_log_directory_failed_message(error));
    return path;
}

bool CWWindowController::appendADIFRecordToFile(const std::string& record, CW_OPERATION_ERROR* error,
                                                std::string* logPath)
{
    // The core refuses an empty record before it looks at the path, so an
    // empty record must not create the folder.
    const std::string path = record.empty() ? std::string() : adifLogFilePath();
    if (logPath)
        *logPath = path;
    return cw_adif_append_record(path, record, error);
}

void CWWindowController::openLogQSO()
{
    const CW_UTC_STAMP stamp = cw_utc_stamp(utcNow());
    const CW_LOG_DIALOG_VALUES values{cw_text(partnerCallField_), cw_text(partnerNameField_),
                                      cw_text(qsoRSTField_),      cw_text(qsoPRSTField_),
                                      currentLogFrequencyString(), cw_log_station(preferences_),
                                      cw_udp_log_settings(preferences_)};
    CWLogQSODialog dialog(stamp, values, window_.get());
    // Ending an edit here applies the settings as in the main window.
    dialog.setFieldHandlers(nullptr, [this](QLineEdit* field) { controlTextDidEndEditing(field); });
    if (runLogDialog(dialog))
        logQSOFromDialog(dialog, stamp);
}

bool CWWindowController::runLogDialog(CWLogQSODialog& dialog)
{
    if (environment_.runLogQSODialog)
        return environment_.runLogQSODialog(dialog);
    return dialog.exec() == QDialog::Accepted && dialog.chosenButton() == 0;
}

void CWWindowController::logQSOFromDialog(const CWLogQSODialog& dialog, const CW_UTC_STAMP& stamp)
{
    const CW_LOG_STATION station = cw_log_station(preferences_);
    const std::string freq = cw_log_prepared_frequency_text(cw_text(dialog.qrgField));
    const CW_LOG_REQUIRED_VALUES required{cw_text(dialog.callField), freq, cw_text(dialog.rstSentField),
                                          cw_text(dialog.rstRcvdField), station.callsign, station.gridsquare};
    const std::string missing = cw_missing_log_fields_text(required);
    if (!missing.empty()) {
        showAlert(kCWLogNotLoggedTitle, missing);
        return;
    }
    const CW_LOG_QSO qso{cw_text(dialog.callField), cw_text(dialog.nameField),  cw_text(dialog.rstSentField),
                         cw_text(dialog.rstRcvdField), freq,                    cw_text(dialog.locField),
                         cw_text(dialog.qthField),   cw_text(dialog.commentField), stamp.date,
                         stamp.time,                 station.callsign,          station.gridsquare};
    const std::string record = cw_log_adif_record(qso);
    CW_OPERATION_ERROR error;
    std::string path;
    if (!appendADIFRecordToFile(record, &error, &path)) {
        appendLog(cw_log_adif_failed_message(error.description));
        showAlert(kCWAdifFailedAlertTitle, cw_log_adif_failed_alert_text(error.description));
        return;
    }
    const std::string logPath = cw_home_relative_path(path, QDir::homePath().toStdString());
    const std::string call = cw_normalized_upper_field_string(qso.call);
    appendLog(cw_log_saved_message(call, freq, logPath));
    clearQSOClicked();
    const CW_UDP_LOG_SETTINGS udp{cw_text(dialog.hostField), cw_text_integer_value(cw_text(dialog.portField)),
                                  dialog.sendViaUdpBox->isChecked()};
    cw_store_udp_log_settings(preferences_, udp);
    preferences_.synchronize();
    if (!udp.sendViaUdp) {
        appendLog(cw_log_udp_disabled_message(call, freq));
        return;
    }
    sendLogRecordViaUdp(record, call, freq, udp.host, udp.port, logPath);
}

void CWWindowController::sendLogRecordViaUdp(const std::string& record, const std::string& call,
                                             const std::string& freq, const std::string& host, long long port,
                                             const std::string& logPath)
{
    CW_OPERATION_ERROR error;
    if (cw_udp_send_log_record(host, port, record, &error)) {
        appendLog(cw_log_udp_sent_message(call, freq, host, port));
        return;
    }
    appendLog(cw_log_udp_failed_message(host, port, error.description));
    showAlert(kCWUdpFailedAlertTitle, cw_log_udp_failed_alert_text(logPath, error.description));
}
