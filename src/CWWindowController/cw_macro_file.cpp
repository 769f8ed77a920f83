#include "cw_macro_file.h"

#include "cw_field_strings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Escapes. A plain LABEL=TEXT line cannot carry a title that starts with
// "#" (read back as a comment) or holds "=" (split there), so the LABEL
// alone is escaped: "\" is written "\\", "=" is written "\=" and a leading
// "#" is written "\#". Import splits at the first "=" not preceded by "\"
// and undoes exactly these three pairs; any other backslash stays as it
// is, so files in the plain form read as before unless a label holds one
// of these pairs. TEXT is not escaped (everything after the separator is
// the text, further "=" included); instead, line breaks and control
// characters in a title or text become spaces on export, so one value can
// never split a line. Fields are single-line and transmission turns line
// breaks into spaces, so nothing the dialog holds is lost by that.

namespace {

constexpr char32_t kCWInvalidCodePoint = 0xFFFFFFFF;
constexpr std::string_view kCWUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kCWVersionPrefix = "# Zarvo macro texts v";

struct CW_MACRO_FILE_LINE {
    std::string text;
    size_t number;  // as an editor counts lines, from 1
};

struct CW_MACRO_FILE_LINES {
    std::vector<CW_MACRO_FILE_LINE> lines;
    std::string error;  // set when the bytes are not a text file
};

bool cw_is_continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Strict UTF-8: no overlong forms, surrogates or values past U+10FFFF.
// Invalid bytes decode as kCWInvalidCodePoint with length 1.
char32_t cw_strict_code_point_at(std::string_view text, size_t pos, size_t* length)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    *length = 1;
    if (lead < 0x80)
        return lead;
    const size_t count = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (count == 0 || pos + count > text.size())
        return kCWInvalidCodePoint;
    char32_t c = lead & (0x7F >> count);
    for (size_t i = 1; i < count; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if (!cw_is_continuation(b))
            return kCWInvalidCodePoint;
        c = (c << 6) | (b & 0x3F);
    }
    const char32_t minimum = count == 2 ? 0x80 : count == 3 ? 0x800 : 0x10000;
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kCWInvalidCodePoint;
    *length = count;
    return c;
}

// Line feed, vertical tab, form feed, carriage return, NEL, U+2028, U+2029.
bool cw_is_macro_line_break(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Control bytes that no macro text file holds; tab, CR and LF are fine.
bool cw_is_refused_control(char32_t c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

std::string cw_hex_byte(unsigned char b)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0x0F];
}

std::string cw_line_prefix(size_t number)
{
    return "Line " + std::to_string(number);
}

// Why the code point at pos cannot be part of a line, or empty.
std::string cw_character_error(std::string_view bytes, size_t pos, char32_t c, size_t number)
{
    const auto byte = static_cast<unsigned char>(bytes[pos]);
    if (c == kCWInvalidCodePoint)
        return cw_line_prefix(number) + " is not valid UTF-8 text (byte " + cw_hex_byte(byte) + ").";
    if (cw_is_refused_control(c))
        return cw_line_prefix(number) + " holds the control byte " + cw_hex_byte(byte) +
               ", so the file is binary or damaged.";
    return {};
}

// Splits at every line break (a CR LF pair counts once) and checks every
// character and line length on the way.
CW_MACRO_FILE_LINES cw_split_macro_file(std::string_view bytes)
{
    CW_MACRO_FILE_LINES result;
    if (bytes.substr(0, kCWUtf8ByteOrderMark.size()) == kCWUtf8ByteOrderMark)
        bytes.remove_prefix(kCWUtf8ByteOrderMark.size());
    CW_MACRO_FILE_LINE line = {{}, 1};
    for (size_t pos = 0, length = 0; pos < bytes.size(); pos += length) {
        const char32_t c = cw_strict_code_point_at(bytes, pos, &length);
        result.error = cw_character_error(bytes, pos, c, line.number);
        if (!result.error.empty())
            return result;
        if (!cw_is_macro_line_break(c)) {
            line.text.append(bytes.substr(pos, length));
        } else {
            if (c == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n')
                ++length;
            result.lines.push_back(line);
            line = {{}, line.number + 1};
        }
        if (line.text.size() > kCWMacroFileMaxLineBytes) {
            result.error =
                cw_line_prefix(line.number) + " is longer than " + std::to_string(kCWMacroFileMaxLineBytes) + " bytes.";
            return result;
        }
    }
    if (!line.text.empty())
        result.lines.push_back(line);
    return result;
}

// Line breaks and control characters as spaces, invalid bytes as U+FFFD.
std::string cw_single_line_value(std::string_view value)
{
    std::string out;
    for (size_t pos = 0, length = 0; pos < value.size(); pos += length) {
        const char32_t c = cw_strict_code_point_at(value, pos, &length);
        if (c == kCWInvalidCodePoint)
            cw_append_utf8(out, 0xFFFD);
        else if (cw_is_macro_line_break(c) || cw_is_refused_control(c))
            out += ' ';
        else
            out.append(value.substr(pos, length));
    }
    return out;
}

std::string cw_escaped_label(const std::string& label)
{
    std::string out;
    for (size_t i = 0; i < label.size(); ++i) {
        const char c = label[i];
        if (c == '\\' || c == '=' || (c == '#' && i == 0))
            out += '\\';
        out += c;
    }
    return out;
}

bool cw_is_escaped_label_char(char c)
{
    return c == '\\' || c == '=' || c == '#';
}

std::string cw_unescaped_label(const std::string& label)
{
    std::string out;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '\\' && i + 1 < label.size() && cw_is_escaped_label_char(label[i + 1]))
            ++i;
        out += label[i];
    }
    return out;
}

// The first "=" that is not escaped, or npos.
size_t cw_label_separator(const std::string& line)
{
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string::npos;
}

bool cw_is_skipped_line(const std::string& text)
{
    const std::string trimmed = cw_trimmed_string(text);
    return trimmed.empty() || trimmed.front() == '#';
}

std::string cw_too_large_message(unsigned long long size)
{
    return "The file has " + std::to_string(size) + " bytes, more than the " +
           std::to_string(kCWMacroFileMaxBytes / 1024) + " KiB a macro text file can have.";
}

std::string cw_not_regular_message(const std::string& path)
{
    return path + " is not a regular file.";
}

CW_MACRO_FILE_READ cw_read_failed(const std::string& message)
{
    return {false, message, {}};
}

CW_MACRO_IMPORT cw_refused_import(const std::string& message)
{
    return {false, kCWMacroImportFailedTitle, message, 0, {}};
}

// The version a "# Zarvo macro texts vN" first line names, or empty when
// the file does not start with such a line (a hand-written file).
std::string cw_declared_version(const std::vector<CW_MACRO_FILE_LINE>& lines)
{
    for (const CW_MACRO_FILE_LINE& line : lines) {
        const std::string trimmed = cw_trimmed_string(line.text);
        if (trimmed.empty())
            continue;
        if (trimmed.compare(0, kCWVersionPrefix.size(), kCWVersionPrefix) != 0)
            return {};
        return trimmed.substr(kCWVersionPrefix.size());
    }
    return {};
}

std::string cw_file_error(const CW_MACRO_FILE_LINES& file)
{
    if (!file.error.empty())
        return file.error;
    const std::string version = cw_declared_version(file.lines);
    if (version.empty())
        return {};
    // A later version may mean something else by its lines, and a macro
    // read wrongly goes out on the air.
    if (version != "1")
        return "The file holds macro texts of version " + version + "; only version 1 can be read.";
    return {};
}

void cw_take_slots(const std::vector<CW_MACRO_FILE_LINE>& lines, size_t slotCount, CW_MACRO_IMPORT& result)
{
    for (const CW_MACRO_FILE_LINE& line : lines) {
        if (cw_is_skipped_line(line.text))
            continue;
        const size_t separator = cw_label_separator(line.text);
        if (separator == std::string::npos)
            continue;
        if (result.count >= slotCount)
            return;
        const std::string rawLabel = cw_trimmed_string(line.text.substr(0, separator));
        const std::string label = cw_upper_string(cw_unescaped_label(rawLabel));
        if (label.empty())
            continue;
        result.slots.titles[result.count] = label;
        result.slots.texts[result.count] = cw_upper_string(line.text.substr(separator + 1));
        ++result.count;
    }
}

}  // namespace

CW_MACRO_SLOTS cw_stored_macro_slots(const CWPreferenceStore& store)
{
    CW_MACRO_SLOTS slots;
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        slots.titles[i] = cw_macro_button_title(store, i);
        slots.texts[i] = cw_macro_text(store, i);
    }
    return slots;
}

std::string cw_macro_export_line(size_t index, const std::string& title, const std::string& text)
{
    std::string label = cw_normalized_upper_field_string(cw_single_line_value(title));
    if (label.empty())
        label = cw_macro_default_title(index);
    return cw_escaped_label(label) + "=" + cw_upper_string(cw_single_line_value(text));
}

CW_MACRO_EXPORT cw_macro_export_file_text(const CW_MACRO_SLOTS& slots)
{
    std::string text = kCWMacroFileHeader;
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        const std::string line = cw_macro_export_line(i, slots.titles[i], slots.texts[i]);
        if (line.size() > kCWMacroFileMaxLineBytes)
            return {false,
                    "Macro " + std::to_string(i + 1) + " is too long to export: its line would have " +
                        std::to_string(line.size()) + " bytes, at most " + std::to_string(kCWMacroFileMaxLineBytes) +
                        " fit.",
                    {}};
        text += line + "\n";
    }
    return {true, {}, text};
}

CW_MACRO_IMPORT cw_macro_import_parse(const std::string& bytes, size_t fieldCount)
{
    if (bytes.size() > kCWMacroFileMaxBytes)
        return cw_refused_import(cw_too_large_message(bytes.size()));
    const CW_MACRO_FILE_LINES file = cw_split_macro_file(bytes);
    const std::string error = cw_file_error(file);
    if (!error.empty())
        return cw_refused_import(error);
    CW_MACRO_IMPORT result = {true, {}, {}, 0, {}};
    cw_take_slots(file.lines, std::min(fieldCount, kCWMacroButtonCount), result);
    if (result.count == 0)
        return {false, kCWMacroImportTitle, kCWMacroNoLinesMessage, 0, {}};
    return result;
}

CW_MACRO_FILE_READ cw_macro_file_read(const std::string& path)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer that never comes; nothing but a regular file is read at all.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return cw_read_failed("Could not open " + path + ": " + std::strerror(errno));
    struct stat info {};
    std::string refusal;
    if (fstat(fd, &info) != 0)
        refusal = "Could not read " + path + ": " + std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        refusal = cw_not_regular_message(path);
    else if (static_cast<unsigned long long>(info.st_size) > kCWMacroFileMaxBytes)
        refusal = cw_too_large_message(static_cast<unsigned long long>(info.st_size));
    if (!refusal.empty()) {
        close(fd);
        return cw_read_failed(refusal);
    }
    CW_MACRO_FILE_READ result = {true, {}, {}};
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = cw_read_failed("Could not read " + path + ": " + std::strerror(errno));
            break;
        }
        if (n == 0)
            break;
        result.bytes.append(buffer, static_cast<size_t>(n));
        // A file that grew after the size was taken is still bounded.
        if (result.bytes.size() > kCWMacroFileMaxBytes) {
            result = cw_read_failed(cw_too_large_message(result.bytes.size()));
            break;
        }
    }
    close(fd);
    return result;
}

std::string cw_macro_export_target_error(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? std::string() : "Could not check " + path + ": " + std::strerror(errno);
    // Replacing a device or FIFO by a file would break whatever uses it.
    return S_ISREG(info.st_mode) ? std::string() : cw_not_regular_message(path);
}
