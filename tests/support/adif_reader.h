// A small ADIF reader for tests: reads back what the log writer produced, following the data specifier lengths
// rather than looking for the next tag.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using AdifFields = std::vector<std::pair<std::string, std::string>>;

struct AdifFile {
    bool ok = true;
    std::string header;  // text before <EOH>, empty when there is none
    std::vector<AdifFields> records;
};

inline AdifFile adif_read(const std::string& text)
{
    AdifFile file;
    const size_t eoh = text.find("<EOH>");
    size_t pos = eoh == std::string::npos ? 0 : eoh + 5;
    file.header = text.substr(0, eoh == std::string::npos ? 0 : eoh);
    AdifFields fields;
    for (size_t open = text.find('<', pos); open != std::string::npos; open = text.find('<', pos)) {
        const size_t close = text.find('>', open);
        if (close == std::string::npos)
            return file.ok = false, file;
        const std::string specifier = text.substr(open + 1, close - open - 1);
        const size_t colon = specifier.find(':');
        pos = close + 1;
        if (specifier == "EOR") {
            file.records.push_back(fields), fields.clear();
            continue;
        }
        const size_t length = colon == std::string::npos ? 0 : std::strtoul(specifier.c_str() + colon + 1, nullptr, 10);
        if (colon == std::string::npos || pos + length > text.size())
            return file.ok = false, file;
        fields.emplace_back(specifier.substr(0, colon), text.substr(pos, length));
        pos += length;
    }
    file.ok = fields.empty();  // no fields left without their <EOR>
    return file;
}
