// Macro texts exported to a LABEL=TEXT file and imported back.
#include "cw_macro_file.h"
#include "map_preference_store.h"
#include "tool_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace {

std::string exported(const CW_MACRO_SLOTS& slots)
{
    const CW_MACRO_EXPORT file = cw_macro_export_file_text(slots);
    EXPECT_TRUE(file.ok) << file.message;
    return file.text;
}

CW_MACRO_SLOTS defaults()
{
    return cw_stored_macro_slots(MapStore());
}

std::string replace_all(std::string text, const std::string& from, const std::string& to)
{
    for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

void expect_slots(const CW_MACRO_IMPORT& result, const CW_MACRO_SLOTS& expected)
{
    ASSERT_TRUE(result.ok && result.count == kCWMacroButtonCount) << result.message;
    EXPECT_EQ(result.slots.titles, expected.titles);
    EXPECT_EQ(result.slots.texts, expected.texts);
}

}  // namespace

// Upper case, one line each, with '#', '=' and '\' escaped where a reader
// would take them for syntax; a line import could not read is refused.
TEST(CWMacroFile, ExportedLinesAreNormalisedAndEscaped)
{
    for (auto [title, text, line] : {std::tuple{"  cq ", " de <mycall> ", "CQ= DE <MYCALL> "},
                                     {"#1", "a=b", "\\#1=A=B"},
                                     {"a=b\\", "c\\d", "A\\=B\\\\=C\\D"}})
        EXPECT_EQ(cw_macro_export_line(1, title, text), line) << title;
    EXPECT_EQ(cw_macro_export_line(6, " ", "x"), "QTH=X");  // a blank title is the slot's own
    EXPECT_EQ(cw_macro_export_line(2, "a\nb", "x\r\ny\xE2\x80\xA8z\x01\t\xFF"), "A B=X  Y Z \t\xEF\xBF\xBD");
    CW_MACRO_SLOTS slots = defaults();
    slots.texts[2] = std::string(kCWMacroFileMaxLineBytes, 'X');
    const CW_MACRO_EXPORT file = cw_macro_export_file_text(slots);
    EXPECT_TRUE(!file.ok && file.text.empty());
    EXPECT_EQ(file.message, "Macro 3 is too long to export: its line would have 1029 bytes, at most 1024 fit.");
}

// The stock macros export after the header, one line each, and come back
// unchanged whatever the line endings; so do tricky typed values, as stored.
TEST(CWMacroFile, ExportsComeBackUnchangedInAnyLineEnding)
{
    const CW_MACRO_SLOTS stock = defaults();
    const std::string defaultFile = exported(stock);
    EXPECT_EQ(defaultFile.rfind(kCWMacroFileHeader, 0), 0u);
    EXPECT_TRUE(defaultFile.ends_with("LOC=<TX>LOC <MYLOC><RX>\n"));
    expect_slots(cw_macro_import_parse(defaultFile), stock);
    expect_slots(cw_macro_import_parse(replace_all(defaultFile, "\n", "\r\n")), stock);
    expect_slots(cw_macro_import_parse("\xEF\xBB\xBF" + defaultFile), stock);
    const CW_MACRO_SLOTS typed = {{"#1", "a=b", "C:\\X\\", "\\#", " lo w ", "\xC3\xA4\xC3\xB6", "", "=="},
                                  {"x=y", "  spaces  ", "back\\slash", "#hash", "\xC3\xA4\xC3\xB6", "", "a\\=b", "="}};
    const CW_MACRO_SLOTS stored = {{"#1", "A=B", "C:\\X\\", "\\#", "LO W", "\xC3\x84\xC3\x96", "QTH", "=="},
                                   {"X=Y", "  SPACES  ", "BACK\\SLASH", "#HASH", "\xC3\x84\xC3\x96", "", "A\\=B", "="}};
    expect_slots(cw_macro_import_parse(exported(typed)), stored);
}

// Hand-written files: lines without a label or '=' and comments are
// skipped, every line break splits, plain backslashes stay, and no more
// slots fill than are offered.
TEST(CWMacroFile, HandWrittenLinesFillSlotsInOrder)
{
    const std::string defaultFile = exported(defaults());
    const CW_MACRO_IMPORT result = cw_macro_import_parse("A=x\nB = y \n#C=z\nno equals\n=w");
    ASSERT_EQ(result.count, 2u);
    EXPECT_EQ(result.slots.titles[1] + "|" + result.slots.texts[1], "B| Y ");
    const CW_MACRO_IMPORT breaks = cw_macro_import_parse("A=1\rB=2\xC2\x85"
                                                         "C=3\xE2\x80\xA9"
                                                         "C:\\X=4\\=");
    ASSERT_EQ(breaks.count, 4u);
    EXPECT_EQ(breaks.slots.titles[2], "C");
    EXPECT_EQ(breaks.slots.titles[3] + "|" + breaks.slots.texts[3], "C:\\X|4\\=");
    std::string tenLines;
    for (char label = 'A'; label < 'A' + 10; ++label)
        tenLines += std::string(1, label) + "=" + label + "\n";
    EXPECT_EQ(cw_macro_import_parse(tenLines).count, 8u);
    EXPECT_EQ(cw_macro_import_parse(tenLines, 3).count, 3u);
    const CW_MACRO_IMPORT unlabelled = cw_macro_import_parse(replace_all(defaultFile, "CQ=", "="));
    EXPECT_TRUE(unlabelled.ok && unlabelled.count == 7u && unlabelled.slots.titles[0] == "CALL") << unlabelled.message;
    for (const std::string& file : {std::string(), std::string("# comment\n\nno equals\n = w\n")})
        EXPECT_EQ(cw_macro_import_parse(file).message, kCWMacroNoLinesMessage);

    // An export's header does not make the reader stricter: the hand-written
    // lines under it, a cut-off last line and fewer than eight lines are read
    // as they would be without it.
    const std::string header = kCWMacroFileHeader;
    const CW_MACRO_IMPORT example = cw_macro_import_parse(header + "A=x\nB = y \n#C=z\nno equals\n=w\n");
    ASSERT_TRUE(example.ok && example.count == 2u) << example.message;
    EXPECT_EQ(example.slots.titles[0] + "|" + example.slots.texts[0], "A|X");
    EXPECT_EQ(example.slots.titles[1] + "|" + example.slots.texts[1], "B| Y ");
    const CW_MACRO_IMPORT fourLines = cw_macro_import_parse(defaultFile.substr(0, defaultFile.find("MYCALL=<TX>")));
    EXPECT_TRUE(fourLines.ok && fourLines.count == 4u && fourLines.slots.titles[3] == "73") << fourLines.message;
    const CW_MACRO_IMPORT cutOff = cw_macro_import_parse(defaultFile.substr(0, defaultFile.size() - 9));
    EXPECT_TRUE(cutOff.ok && cutOff.count == 8u) << cutOff.message;
    EXPECT_EQ(cutOff.slots.texts[7], "<TX>LOC <MY");
}

// Only what cannot be a macro text file, or may mean something else, is
// refused, and the message says which.
TEST(CWMacroFile, FilesThatCannotBeTextAreRefusedWhole)
{
    const std::string defaultFile = exported(defaults());
    const std::pair<std::string, const char*> cases[] = {
        {std::string(kCWMacroFileMaxBytes + 1, 'A'),
         "The file has 65537 bytes, more than the 64 KiB a macro text file can have."},
        {"A=x\nB=" + std::string(kCWMacroFileMaxLineBytes, 'y') + "\n", "Line 2 is longer than 1024 bytes."},
        {"A=x\r\nB=\xC3\x28\n", "Line 2 is not valid UTF-8 text (byte 0xC3)."},
        {std::string("A=x\n\0B=y\n", 9), "Line 2 holds the control byte 0x00, so the file is binary or damaged."},
        {replace_all(defaultFile, "texts v1", "texts v2"),
         "The file holds macro texts of version 2; only version 1 can be read."},
    };
    for (const auto& [file, message] : cases) {
        const CW_MACRO_IMPORT result = cw_macro_import_parse(file);
        EXPECT_TRUE(!result.ok && result.count == 0u && result.title == kCWMacroImportFailedTitle) << message;
        EXPECT_EQ(result.message, message);
    }
}

// Reading never blocks and never reads more than a macro file can hold: a
// FIFO (which no one writes) and a folder are refused at once, a large file
// by its real size. An export may create a file or replace a regular one,
// but never a FIFO or device, which a renamed file would take the place of.
TEST(CWMacroFile, OnlyRegularFilesOfBoundedSizeAreReadOrReplaced)
{
    const tool_run::ScratchDir dir{"zarvo_macro_read"};
    const std::string text = exported(defaults());
    std::ofstream(dir / "macros.txt", std::ios::binary) << text;
    const CW_MACRO_FILE_READ read = cw_macro_file_read(dir / "macros.txt");
    EXPECT_TRUE(read.ok && read.bytes == text) << read.message;

    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::ofstream(dir / "big").close();
    std::filesystem::resize_file(dir / "big", 10u << 20);
    const std::pair<std::string, std::string> refused[] = {
        {dir / "fifo", dir / "fifo" + " is not a regular file."},
        {dir.path.string(), dir.path.string() + " is not a regular file."},
        {dir / "big", "The file has 10485760 bytes, more than the 64 KiB a macro text file can have."},
        {dir / "missing", "Could not open " + dir / "missing" + ": No such file or directory"},
    };
    for (const auto& [path, message] : refused) {
        const CW_MACRO_FILE_READ result = cw_macro_file_read(path);
        EXPECT_TRUE(!result.ok && result.bytes.empty()) << path;
        EXPECT_EQ(result.message, message);
    }

    EXPECT_EQ(cw_macro_export_target_error(dir / "macros.txt"), "");
    EXPECT_EQ(cw_macro_export_target_error(dir / "new.txt"), "");
    EXPECT_EQ(cw_macro_export_target_error(dir / "fifo"), dir / "fifo" + " is not a regular file.");
    EXPECT_EQ(cw_macro_export_target_error("/dev/null"), "/dev/null is not a regular file.");
}
