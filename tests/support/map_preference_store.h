// A preference store over a map, for tests of the window logic.
#pragma once

#include "cw_settings.h"

#include <map>
#include <optional>
#include <string>

struct MapStore : CWPreferenceStore {
    std::map<std::string, std::string> values;
    std::optional<std::string> value(const std::string& key) const override
    {
        return values.contains(key) ? std::optional(values.at(key)) : std::nullopt;
    }
    void setValue(const std::string& key, const std::string& value) override { values[key] = value; }
};
