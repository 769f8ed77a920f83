// The preference store over QSettings: every value is kept as text under
// its key.
#pragma once

#include "cw_settings.h"

class QSettings;

class CWQSettingsStore : public CWPreferenceStore {
public:
    // Not owned; must outlive the store.
    explicit CWQSettingsStore(QSettings& settings);

    std::optional<std::string> value(const std::string& key) const override;
    void setValue(const std::string& key, const std::string& value) override;
    void synchronize() override;

private:
    QSettings& settings_;
};
