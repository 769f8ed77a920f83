// The macro text file, version 1: export of the eight macro slots and the
// parsing of an import. The file is UTF-8, one LABEL=TEXT line per slot
// after a two-line comment header. Import takes the usable lines and skips
// the rest; only a file that cannot be text (binary, invalid UTF-8, too
// large) or declares another version is refused, whole.
#pragma once

#include "cw_macro_buttons.h"
#include "cw_settings.h"

#include <array>
#include <cstddef>
#include <string>

constexpr const char* kCWMacroFileHeader = "# Zarvo macro texts v1\n# Format: LABEL=TEXT\n\n";
constexpr const char* kCWMacroFileName = "Zarvo-macros.txt";
constexpr const char* kCWMacroExportFailedTitle = "Export Macro Texts Failed";
constexpr const char* kCWMacroImportFailedTitle = "Import Macro Texts Failed";
constexpr const char* kCWMacroImportTitle = "Import Macro Texts";
constexpr const char* kCWMacroNoLinesMessage = "No LABEL=TEXT macro lines were found.";

// Anything larger is refused on import, and export never writes more.
constexpr size_t kCWMacroFileMaxBytes = 64 * 1024;
constexpr size_t kCWMacroFileMaxLineBytes = 1024;

struct CW_MACRO_SLOTS {
    std::array<std::string, kCWMacroButtonCount> titles;
    std::array<std::string, kCWMacroButtonCount> texts;
};

// The stored titles and texts of the eight slots (defaults where unset).
CW_MACRO_SLOTS cw_stored_macro_slots(const CWPreferenceStore& store);

// One slot's LABEL=TEXT line, without its line feed. LABEL is the title
// trimmed and upper-cased (the slot's default title when that leaves it
// empty), TEXT the text upper-cased. Line breaks and control characters
// become spaces, invalid UTF-8 becomes U+FFFD.
std::string cw_macro_export_line(size_t index, const std::string& title, const std::string& text);

struct CW_MACRO_EXPORT {
    bool ok;
    std::string message;  // why nothing can be written, empty when ok
    std::string text;     // the whole file, empty unless ok
};

// Header and the eight lines. Fails only when a slot's line would exceed
// kCWMacroFileMaxLineBytes, which import would refuse.
CW_MACRO_EXPORT cw_macro_export_file_text(const CW_MACRO_SLOTS& slots);

struct CW_MACRO_IMPORT {
    bool ok;
    std::string title;     // alert title when not ok
    std::string message;   // alert detail when not ok
    size_t count;          // slots taken: 0 .. count-1; the others stay as they are
    CW_MACRO_SLOTS slots;  // titles and texts for the taken slots
};

struct CW_MACRO_FILE_READ {
    bool ok;
    std::string message;  // why nothing was read, empty when ok
    std::string bytes;
};

// A macro file's bytes. Never blocks: a FIFO, device or folder is refused
// before a byte is read, and so is a file larger than kCWMacroFileMaxBytes,
// named with its real size.
CW_MACRO_FILE_READ cw_macro_file_read(const std::string& path);

// Why an export must not replace what is at path (something other than a
// regular file), or empty when it may.
std::string cw_macro_export_target_error(const std::string& path);

// Parses a file's bytes. fieldCount is the number of slots the dialog
// offers (at most kCWMacroButtonCount are filled). Lines fill the slots in
// file order; blank and "#" lines, lines without "=" and lines with an
// empty label are skipped, lines after the last slot are ignored.
CW_MACRO_IMPORT cw_macro_import_parse(const std::string& bytes, size_t fieldCount = kCWMacroButtonCount);
