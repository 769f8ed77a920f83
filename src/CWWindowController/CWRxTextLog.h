// The "RX TXT" log: while it is on, the decoded text goes to a new plain
// text file in Documents/Zarvo/rx as it is shown.
#pragma once

#include <QString>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

class QFile;
class QPushButton;

class CWRxTextLog {
public:
    // An empty documentsFolder means the user's Documents, else home;
    // localTime names the file; the button, when given, shows the state.
    CWRxTextLog(QString documentsFolder, std::function<std::tm()> localTime, QPushButton* button,
                std::function<void(const std::string&)> log);
    ~CWRxTextLog();
    CWRxTextLog(const CWRxTextLog&) = delete;
    CWRxTextLog& operator=(const CWRxTextLog&) = delete;

    bool open();
    void close();
    void toggle();
    // Written through at once; a failed write stops the log.
    void append(const std::string& text);
    QString directory() const;
    QString path() const { return path_; }  // empty while off

private:
    QString newPath() const;

    QString documentsFolder_;
    std::function<std::tm()> localTime_;
    QPushButton* button_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<QFile> file_;
    QString path_;
};
