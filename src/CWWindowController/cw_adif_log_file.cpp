#include "cw_adif_log_file.h"

#include "cw_field_strings.h"
#include "cw_make_folders.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr long kCWEinval = EINVAL;
constexpr long kCWEio = EIO;

std::string cw_without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Makes a newly created file's name durable along with its contents.
void cw_sync_parent_folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

std::string cw_with_reason(const char* what, int err)
{
    return std::string(what) + ": " + std::strerror(err);
}

// Opens for appending, creating the file when absent; *created tells which.
// Anything but a regular file is refused before it is opened, and
// O_NONBLOCK keeps a FIFO put there meanwhile from holding the window until
// something reads it (it means nothing for a regular file).
int cw_open_log(const std::string& path, bool* created, CW_OPERATION_ERROR* error)
{
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    *created = false;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEio, "Could not open ADIF log file: not a regular file");
        return -1;
    }
    int fd = open(path.c_str(), flags);
    if (fd >= 0)
        return fd;
    if (errno != ENOENT) {
        cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEio, cw_with_reason("Could not open ADIF log file", errno));
        return -1;
    }
    fd = open(path.c_str(), flags | O_CREAT, 0644);
    if (fd < 0) {
        cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEio,
                            cw_with_reason("Could not create ADIF log file", errno));
        return -1;
    }
    *created = true;
    return fd;
}

// 0 when every byte was written, else the error number (EIO when the writer
// stopped without one).
int cw_write_all(int fd, const std::string& bytes, const CW_WRITE_FUNCTION& writeBytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = writeBytes(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 && errno != 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return fsync(fd) == 0 ? 0 : errno;
}

bool cw_write_failed(int fd, off_t sizeBefore, int err, CW_OPERATION_ERROR* error)
{
    std::string description = std::string("ADIF write failed: ") + std::strerror(err);
    // Leaves no partial record for the next one to be glued to.
    if (ftruncate(fd, sizeBefore) != 0 || fsync(fd) != 0)
        description += " (the log file may end in a partial record)";
    close(fd);
    return cw_operation_failed(error, kCWCocoaErrorDomain, kCWFileWriteUnknownError, description);
}

std::string cw_or_unknown(const std::string& description, const char* unknown)
{
    return description.empty() ? unknown : description;
}

}  // namespace

std::string cw_adif_log_file_path(const std::string& documentsPath, std::string* error)
{
    if (documentsPath.empty()) {
        if (error)
            *error = "No Documents or home folder";
        return "";
    }
    const std::string folder = cw_without_trailing_slashes(documentsPath) + "/" + kCWAdifLogFolderName;
    if (!cw_make_folders(folder, error))
        return "";
    return folder + "/" + kCWAdifLogFileName;
}

std::string cw_adif_log_directory_failed_message(const std::string& description)
{
    return "ADIF log directory failed: " + cw_or_unknown(description, "unknown error");
}

bool cw_adif_append_record(const std::string& path, const std::string& record, CW_OPERATION_ERROR* error)
{
    return cw_adif_append_record_with_writer(path, record, ::write, error);
}

bool cw_adif_append_record_with_writer(const std::string& path, const std::string& record,
                                       const CW_WRITE_FUNCTION& writeBytes, CW_OPERATION_ERROR* error)
{
    if (record.empty())
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEinval, "Empty ADIF record");
    if (path.empty())
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEio, "Could not create ADIF log directory");
    bool created = false;
    const int fd = cw_open_log(path, &created, error);
    if (fd < 0)
        return false;
    // The header goes only into a file known to be empty: a size that cannot
    // be read must not put a header into the middle of a log.
    struct stat info {};
    const long statError = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : kCWEinval;
    if (statError != 0) {
        close(fd);
        return cw_operation_failed(error, kCWPOSIXErrorDomain, statError,
                                   "Could not read the size of the ADIF log file");
    }
    std::string text = info.st_size == 0 ? kCWAdifHeader : "";
    text += record;
    if (record.back() != '\n')
        text += '\n';
    const int err = cw_write_all(fd, text, writeBytes);
    if (err != 0)
        return cw_write_failed(fd, info.st_size, err, error);
    close(fd);
    if (created)
        cw_sync_parent_folder(path);
    return true;
}

std::string cw_home_relative_path(const std::string& path, const std::string& homePath)
{
    const std::string home = cw_without_trailing_slashes(homePath);
    if (home.empty() || home == "/" || path.compare(0, home.size(), home) != 0)
        return path;
    if (path.size() == home.size())
        return "~";
    return path[home.size()] == '/' ? "~" + path.substr(home.size()) : path;
}

std::string cw_log_adif_failed_message(const std::string& description)
{
    return "LOG ADIF: failed — " + cw_or_unknown(description, "unknown error");
}

std::string cw_log_adif_failed_alert_text(const std::string& description)
{
    const std::string text = "The QSO was not sent via UDP because the local ADIF backup could not be written.";
    return description.empty() ? text : text + "\n\n" + description;
}

std::string cw_log_saved_message(const std::string& call, const std::string& freq, const std::string& path)
{
    return "LOG ADIF: saved CALL=" + cw_normalized_upper_field_string(call) + " FREQ=" + freq + " to " + path;
}
