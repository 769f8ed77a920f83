#include "cw_text_panes.h"

#include "cw_field_strings.h"

#include <cstdio>

bool cw_is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string cw_fold_decoded_text(const std::string& text, bool paneEndsInBlank)
{
    std::string folded;
    folded.reserve(text.size());
    bool pendingSpace = paneEndsInBlank;
    for (char c : text) {
        if (!cw_is_blank(c)) {
            folded += c;
            pendingSpace = false;
        } else if (!pendingSpace) {
            folded += ' ';
            pendingSpace = true;
        }
    }
    return folded;
}

std::string cw_log_pane_line(const std::string& line)
{
    if (line.size() <= kCWLogLineMaxBytes)
        return line;
    size_t cut = 0;
    for (size_t length = 0; cut < line.size(); cut += length) {
        cw_utf8_code_point_at(line, cut, &length);
        if (cut + length > kCWLogLineMaxBytes)
            break;
    }
    return line.substr(0, cut) + " ... (" + std::to_string(line.size()) + " bytes)";
}

std::string cw_transmitted_line(const std::string& text, bool paneEmptyOrAtLineStart)
{
    const std::string line = cw_trimmed_string(text);
    if (line.empty())
        return std::string();
    return std::string(paneEmptyOrAtLineStart ? "" : "\n") + "TX: " + line + "\n";
}

std::string cw_rx_text_log_file_name(const std::tm& localTime, int suffix)
{
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &localTime);
    std::string name = std::string("Zarvo-rx-") + stamp;
    if (suffix > 1)
        name += "-" + std::to_string(suffix);
    return name + ".txt";
}
