// The local ADIF log file: its folder, its header and the append of one
// record, plus the log lines and alerts about it. A record reaches the disk
// whole or not at all; an existing log is only ever appended to.
#pragma once

#include "cw_operation_error.h"

#include <functional>
#include <string>
#include <sys/types.h>

constexpr const char* kCWAdifLogFolderName = "Zarvo";
constexpr const char* kCWAdifLogFileName = "Zarvo.adi";
constexpr const char* kCWAdifHeader = "Zarvo ADIF log\n<ADIF_VER:5>3.1.4\n<PROGRAMID:5>Zarvo\n<EOH>\n\n";

// documentsPath + "/Zarvo/Zarvo.adi", creating the folder and any missing
// intermediates. Empty on failure, with *error (when given) describing it.
std::string cw_adif_log_file_path(const std::string& documentsPath, std::string* error);

// "ADIF log directory failed: %@" ("unknown error" for an empty description).
std::string cw_adif_log_directory_failed_message(const std::string& description);

// Appends record (plus "\n" unless it ends with one) to the file at path,
// preceded by the header when the file is new or empty. Opens, writes,
// flushes to disk and closes; true only when the record is on disk. A failed
// write truncates the file back to its size before the attempt.
bool cw_adif_append_record(const std::string& path, const std::string& record, CW_OPERATION_ERROR* error);

// The same with the write call given (write(2) semantics), so that failing
// and partial writes can be exercised.
using CW_WRITE_FUNCTION = std::function<ssize_t(int fd, const void* bytes, size_t count)>;
bool cw_adif_append_record_with_writer(const std::string& path, const std::string& record,
                                       const CW_WRITE_FUNCTION& writeBytes, CW_OPERATION_ERROR* error);

// path with the home folder shown as "~" ("/home/op/Documents/x" gives
// "~/Documents/x"); other paths unchanged.
std::string cw_home_relative_path(const std::string& path, const std::string& homePath);

constexpr const char* kCWAdifFailedAlertTitle = "ADIF backup failed";

// "LOG ADIF: failed — %@" ("unknown error" for an empty description).
std::string cw_log_adif_failed_message(const std::string& description);

// The alert's informative text, with the description after a blank line
// when there is one.
std::string cw_log_adif_failed_alert_text(const std::string& description);

// "LOG ADIF: saved CALL=%@ FREQ=%@ to %@" with the log file's real path.
std::string cw_log_saved_message(const std::string& call, const std::string& freq, const std::string& path);
