// The log pane, the received-text pane and the RX text log that mirrors
// the decoded text to a file.
#include "CWWindowController.h"

#include "CWDecodedTextView.h"
#include "CWFolders.h"
#include "cw_text_panes.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>

#include <ctime>

namespace {

const QColor kDecodedTextColour = QColor::fromRgbF(0.92, 0.92, 0.92);
const QColor kTransmittedTextColour = QColor::fromRgbF(0.3, 0.62, 1.0);


std::string cw_reason(const QFile& file, const char* fallback)
{
    return file.errorString().isEmpty() ? fallback : file.errorString().toStdString();
}

}  // namespace

void CWWindowController::appendLog(const std::string& line)
{
    if (line.empty())
        return;
    logTextView_->appendPlainText(QString::fromStdString(line));
    QScrollBar* bar = logTextView_->verticalScrollBar();
    bar->setValue(bar->maximum());
    if (logEcho_)
        logEcho_(line);
}

void CWWindowController::appendDecodedText(const std::string& text)
{
    if (text.empty())
        return;
    const std::string folded = cw_fold_decoded_text(text, decodedTextView_->endsInBlank());
    if (folded.empty())
        return;
    decodedTextView_->appendText(QString::fromStdString(folded), kDecodedTextColour);
    appendRxTextLog(folded);
}

void CWWindowController::appendTransmittedText(const std::string& text)
{
    const std::string line = cw_transmitted_line(text, decodedTextView_->endsAtLineStart());
    if (!line.empty())
        decodedTextView_->appendText(QString::fromStdString(line), kTransmittedTextColour);
}

void CWWindowController::clearRxClicked()
{
    decodedTextView_->clear();
}

void CWWindowController::saveTxtClicked()
{
    if (rxTextLogFile_)
        closeRxTextLog();
    else
        openRxTextLog();
}

QString CWWindowController::documentsFolder() const
{
    return cw_standard_folder(QStandardPaths::DocumentsLocation, environment_.documentsFolder);
}

QString CWWindowController::rxTextLogDirectory() const
{
    return QDir(documentsFolder()).filePath("Zarvo/rx");
}

std::tm CWWindowController::localTimeNow() const
{
    if (environment_.localTime)
        return environment_.localTime();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

QString CWWindowController::newRxTextLogPath() const
{
    const std::tm start = localTimeNow();
    return cw_first_free_path(QDir(rxTextLogDirectory()),
                              [&](int i) { return cw_rx_text_log_file_name(start, i + 1); });
}

bool CWWindowController::openRxTextLog()
{
    if (rxTextLogFile_)
        return true;
    const QString folder = rxTextLogDirectory();
    if (!QDir().mkpath(folder)) {
        appendLog("RX TXT log failed: could not create directory " + folder.toStdString());
        return false;
    }
    const QString path = newRxTextLogPath();
    auto file = std::make_unique<QFile>(path);
    // NewOnly: a file that appeared meanwhile is never truncated.
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        appendLog("RX TXT log failed: could not create file.");
        return false;
    }
    file->close();
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        appendLog("RX TXT log failed: " + cw_reason(*file, "could not open file"));
        return false;
    }
    rxTextLogFile_ = std::move(file);
    rxTextLogPath_ = path;
    saveTxtButton_->setText("TXT ON");
    appendLog("RX TXT log started: " + path.toStdString());
    return true;
}

void CWWindowController::appendRxTextLog(const std::string& text)
{
    if (!rxTextLogFile_ || text.empty())
        return;
    const qint64 size = static_cast<qint64>(text.size());
    if (rxTextLogFile_->write(text.data(), size) != size || !rxTextLogFile_->flush()) {
        appendLog("RX TXT log write failed: " + cw_reason(*rxTextLogFile_, "unknown error"));
        closeRxTextLog();
    }
}

void CWWindowController::closeRxTextLog()
{
    if (!rxTextLogFile_)
        return;
    rxTextLogFile_->close();
    rxTextLogFile_.reset();
    const QString path = std::exchange(rxTextLogPath_, QString());
    saveTxtButton_->setText("RX TXT");
    if (!path.isEmpty())
        appendLog("RX TXT log stopped: " + path.toStdString());
}
