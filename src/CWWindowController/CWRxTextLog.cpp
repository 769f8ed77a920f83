#include "CWRxTextLog.h"

#include "CWFolders.h"
#include "cw_make_folders.h"
#include "cw_text_panes.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>

#include <utility>

namespace {

std::string cw_reason(const QFile& file, const char* fallback)
{
    return file.errorString().isEmpty() ? fallback : file.errorString().toStdString();
}

}  // namespace

CWRxTextLog::CWRxTextLog(QString documentsFolder, std::function<std::tm()> localTime, QPushButton* button,
                         std::function<void(const std::string&)> log)
    : documentsFolder_(std::move(documentsFolder)), localTime_(std::move(localTime)), button_(button),
      log_(std::move(log))
{
}

CWRxTextLog::~CWRxTextLog()
{
    close();
}

void CWRxTextLog::toggle()
{
    if (file_)
        close();
    else
        open();
}

QString CWRxTextLog::directory() const
{
    return QDir(cw_standard_folder(QStandardPaths::DocumentsLocation, documentsFolder_)).filePath("Zarvo/rx");
}

QString CWRxTextLog::newPath() const
{
    const std::tm start = localTime_();
    return cw_first_free_path(QDir(directory()), [&](int i) { return cw_rx_text_log_file_name(start, i + 1); });
}

bool CWRxTextLog::open()
{
    if (file_)
        return true;
    const QString folder = directory();
    std::string reason;
    if (!cw_make_folders(folder.toStdString(), &reason)) {
        log_("RX TXT log failed: " + reason);
        return false;
    }
    const QString path = newPath();
    auto file = std::make_unique<QFile>(path);
    // NewOnly: a file that appeared meanwhile is never truncated.
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        log_("RX TXT log failed: could not create file" + (path.isEmpty()
                                                               ? std::string(", every name for this second is taken.")
                                                               : ": " + cw_reason(*file, "unknown error")));
        return false;
    }
    file->close();
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        log_("RX TXT log failed: " + cw_reason(*file, "could not open file"));
        return false;
    }
    file_ = std::move(file);
    path_ = path;
    if (button_)
        button_->setText("TXT ON");
    log_("RX TXT log started: " + path.toStdString());
    return true;
}

void CWRxTextLog::append(const std::string& text)
{
    if (!file_ || text.empty())
        return;
    const qint64 size = static_cast<qint64>(text.size());
    if (file_->write(text.data(), size) != size || !file_->flush()) {
        log_("RX TXT log write failed: " + cw_reason(*file_, "unknown error"));
        close();
    }
}

void CWRxTextLog::close()
{
    if (!file_)
        return;
    file_->close();
    file_.reset();
    const QString path = std::exchange(path_, QString());
    if (button_)
        button_->setText("RX TXT");
    if (!path.isEmpty())
        log_("RX TXT log stopped: " + path.toStdString());
}
