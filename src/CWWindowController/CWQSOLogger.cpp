#include "CWQSOLogger.h"

#include "CWFolders.h"
#include "CWLogQSODialog.h"
#include "cw_adif_log_file.h"
#include "cw_field_strings.h"
#include "cw_text_values.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QStandardPaths>

namespace {

std::string cw_text(const QLineEdit* field)
{
    return field->text().toStdString();
}

}  // namespace

CWQSOLogger::CWQSOLogger(CWPreferenceStore& preferences, QString documentsFolder, const CW_QSO_FIELDS& fields,
                         QWidget* dialogParent, CW_QSO_LOG_HOOKS hooks)
    : preferences_(preferences), documentsFolder_(std::move(documentsFolder)), fields_(fields),
      dialogParent_(dialogParent), hooks_(std::move(hooks))
{
}

std::string CWQSOLogger::adifLogFilePath()
{
    const QString documents = cw_standard_folder(QStandardPaths::DocumentsLocation, documentsFolder_);
    std::string error;
    const std::string path = cw_adif_log_file_path(documents.toStdString(), &error);
    if (path.empty())
        hooks_.log(cw_adif_log_directory_failed_message(error));
    return path;
}

bool CWQSOLogger::appendADIFRecordToFile(const std::string& record, CW_OPERATION_ERROR* error, std::string* logPath)
{
    // The core refuses an empty record before it looks at the path, so an
    // empty record must not create the folder.
    const std::string path = record.empty() ? std::string() : adifLogFilePath();
    if (logPath)
        *logPath = path;
    return cw_adif_append_record(path, record, error);
}

void CWQSOLogger::open()
{
    const std::time_t now = hooks_.utcNow ? hooks_.utcNow() : std::time(nullptr);
    const CW_UTC_STAMP stamp = cw_utc_stamp(now);
    const CW_LOG_DIALOG_VALUES values{cw_text(fields_.call),
                                      cw_text(fields_.name),
                                      cw_text(fields_.rst),
                                      cw_text(fields_.prst),
                                      cw_log_frequency_string(hooks_.frequencyHz()),
                                      cw_log_station(preferences_),
                                      cw_udp_log_settings(preferences_)};
    CWLogQSODialog dialog(stamp, values, dialogParent_);
    // Ending an edit here applies the settings as in the main window.
    dialog.setFieldHandlers(nullptr, hooks_.endEditing);
    // A refusal keeps the dialog and everything typed in it, and points at
    // what to fix; a station without a call or grid is set up first.
    for (;;) {
        const bool send = hooks_.runDialog ? hooks_.runDialog(dialog)
                                           : dialog.exec() == QDialog::Accepted && dialog.chosenButton() == 0;
        if (!send)
            return;
        const CW_LOG_REQUIRED_VALUES required = requiredValues(dialog);
        const std::vector<std::string> missing = cw_missing_log_fields(required);
        if (missing.empty()) {
            logFromDialog(dialog, stamp);
            return;
        }
        const bool stationMissing =
            cw_trimmed_string(required.stationCallsign).empty() || cw_trimmed_string(required.myGridsquare).empty();
        const bool offerSetup = stationMissing && !setupOffered_;
        hooks_.alert(kCWLogNotLoggedTitle,
                     cw_missing_log_fields_text(required) + (offerSetup ? kCWLogStationSetupHint : ""));
        if (offerSetup) {
            setupOffered_ = true;
            hooks_.openSetup();
            dialog.setStation(cw_log_station(preferences_));
        }
        dialog.pointAtMissing(missing);
    }
}

CW_LOG_REQUIRED_VALUES CWQSOLogger::requiredValues(const CWLogQSODialog& dialog) const
{
    const CW_LOG_STATION station = cw_log_station(preferences_);
    return CW_LOG_REQUIRED_VALUES{.call = cw_text(dialog.callField),
                                  .freq = cw_log_prepared_frequency_text(cw_text(dialog.qrgField)),
                                  .rstSent = cw_text(dialog.rstSentField),
                                  .rstRcvd = cw_text(dialog.rstRcvdField),
                                  .stationCallsign = station.callsign,
                                  .myGridsquare = station.gridsquare};
}

void CWQSOLogger::logFromDialog(const CWLogQSODialog& dialog, const CW_UTC_STAMP& stamp)
{
    const CW_LOG_STATION station = cw_log_station(preferences_);
    const std::string freq = cw_log_prepared_frequency_text(cw_text(dialog.qrgField));
    const CW_LOG_QSO qso{cw_text(dialog.callField),
                         cw_text(dialog.nameField),
                         cw_text(dialog.rstSentField),
                         cw_text(dialog.rstRcvdField),
                         freq,
                         cw_text(dialog.locField),
                         cw_text(dialog.qthField),
                         cw_text(dialog.commentField),
                         stamp.date,
                         stamp.time,
                         station.callsign,
                         station.gridsquare};
    const std::string record = cw_log_adif_record(qso);
    CW_OPERATION_ERROR error;
    std::string path;
    if (!appendADIFRecordToFile(record, &error, &path)) {
        hooks_.log(cw_log_adif_failed_message(error.description));
        hooks_.alert(kCWAdifFailedAlertTitle, cw_log_adif_failed_alert_text(error.description));
        return;
    }
    const std::string logPath = cw_home_relative_path(path, QDir::homePath().toStdString());
    const std::string call = cw_normalized_upper_field_string(qso.call);
    hooks_.log(cw_log_saved_message(call, freq, logPath));
    hooks_.clearQSO();
    const CW_UDP_LOG_SETTINGS udp{cw_text(dialog.hostField), cw_text_integer_value(cw_text(dialog.portField)),
                                  dialog.sendViaUdpBox->isChecked()};
    cw_store_udp_log_settings(preferences_, udp);
    preferences_.synchronize();
    if (!udp.sendViaUdp) {
        hooks_.log(cw_log_udp_disabled_message(call, freq));
        return;
    }
    sendViaUdp(record, call, freq, udp.host, udp.port, logPath);
}

void CWQSOLogger::sendViaUdp(const std::string& record, const std::string& call, const std::string& freq,
                             const std::string& host, long long port, const std::string& logPath)
{
    CW_OPERATION_ERROR error;
    if (cw_udp_send_log_record(host, port, record, &error)) {
        hooks_.log(cw_log_udp_sent_message(call, freq, host, port));
        return;
    }
    hooks_.log(cw_log_udp_failed_message(host, port, error.description));
    hooks_.alert(kCWUdpFailedAlertTitle, cw_log_udp_failed_alert_text(logPath, error.description));
}
