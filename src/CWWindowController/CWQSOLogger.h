// "Log": the Log QSO dialog, the record appended to the local ADIF log and,
// when asked, sent to a logbook program as one UDP datagram. The local
// record always comes first: nothing is sent that is not on disk.
#pragma once

#include "cw_adif_record.h"
#include "cw_operation_error.h"

#include <QString>

#include <ctime>
#include <functional>
#include <string>

class CWLogQSODialog;
class CWPreferenceStore;
class QLineEdit;
class QWidget;

// The QSO fields the dialog starts from; owned by the window.
struct CW_QSO_FIELDS {
    QLineEdit* call;
    QLineEdit* name;
    QLineEdit* rst;
    QLineEdit* prst;
};

// What the logger needs from around it.
struct CW_QSO_LOG_HOOKS {
    std::function<std::time_t()> utcNow;
    std::function<bool(CWLogQSODialog&)> runDialog;  // true for "Send to Log"
    std::function<double()> frequencyHz;             // the radio's, 0 when unknown
    std::function<void(QLineEdit*)> endEditing;      // an edit ended in the dialog
    std::function<void()> clearQSO;                  // after a record is saved
    std::function<void()> openSetup;                 // the station's call and grid are entered there
    std::function<void(const std::string&)> log;
    std::function<void(const std::string& message, const std::string& detail)> alert;
};

class CWQSOLogger {
public:
    // An empty documentsFolder means the user's Documents, else home. The
    // store must outlive this object.
    CWQSOLogger(CWPreferenceStore& preferences, QString documentsFolder, const CW_QSO_FIELDS& fields,
                QWidget* dialogParent, CW_QSO_LOG_HOOKS hooks);

    void open();
    // Empty when the folder cannot be made (logged).
    std::string adifLogFilePath();
    // logPath, when given, receives the file's path (empty when none).
    bool appendADIFRecordToFile(const std::string& record, CW_OPERATION_ERROR* error, std::string* logPath = nullptr);

private:
    CW_LOG_REQUIRED_VALUES requiredValues(const CWLogQSODialog& dialog) const;
    void logFromDialog(const CWLogQSODialog& dialog, const CW_UTC_STAMP& stamp);
    void sendViaUdp(const std::string& record, const std::string& call, const std::string& freq,
                    const std::string& host, long long port, const std::string& logPath);

    CWPreferenceStore& preferences_;
    QString documentsFolder_;
    CW_QSO_FIELDS fields_;
    QWidget* dialogParent_;
    CW_QSO_LOG_HOOKS hooks_;
    bool setupOffered_ = false;  // once a run, not on every refusal
};
