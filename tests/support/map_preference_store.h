// A preference store over a map, for tests of the window logic.
#pragma once

#include "cw_settings.h"

#include <map>
#include <optional>
#include <string>

class MapStore : public CWPreferenceStore {
public:
    std::map<std::string, std::string> values;
    std::optional<std::string> value(const std::string& key) const override
    {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    void setValue(const std::string& key, const std::string& value) override { values[key] = value; }
};
