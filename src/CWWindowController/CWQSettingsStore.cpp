#include "CWQSettingsStore.h"

#include <QSettings>

#include <utility>

CWQSettingsStore::CWQSettingsStore(QSettings& settings) : settings_(settings)
{
}

std::optional<std::string> CWQSettingsStore::value(const std::string& key) const
{
    const QString name = QString::fromStdString(key);
    if (!settings_.contains(name))
        return std::nullopt;
    return settings_.value(name).toString().toStdString();
}

void CWQSettingsStore::setValue(const std::string& key, const std::string& value)
{
    settings_.setValue(QString::fromStdString(key), QString::fromStdString(value));
}

void CWQSettingsStore::synchronize()
{
    settings_.sync();
    const QSettings::Status status = settings_.status();
    const bool wasFailing = std::exchange(failing_, status != QSettings::NoError);
    if (!failing_ || wasFailing || !report_)
        return;
    // QSettings tells no system reason; a folder that cannot be written and
    // a full disk both read as an access error.
    const char* reason = status == QSettings::FormatError ? "the file cannot be read as settings"
                                                          : "the file or its folder cannot be written";
    report_("Settings not saved to " + settings_.fileName().toStdString() + ": " + reason +
            "; changes last only until the program ends.");
}

void CWQSettingsStore::setFailureReport(std::function<void(const std::string&)> report)
{
    report_ = std::move(report);
}
