// The preference store over QSettings: every value is kept as text under
// its key. A synchronize that cannot write the file is reported once, and
// again only after a write has worked in between.
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
    void setFailureReport(std::function<void(const std::string&)> report) override;

private:
    QSettings& settings_;
    std::function<void(const std::string&)> report_;
    bool failing_ = false;
};
