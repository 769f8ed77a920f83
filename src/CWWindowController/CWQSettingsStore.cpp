#include "CWQSettingsStore.h"

#include <QSettings>

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
}
