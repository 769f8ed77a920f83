#include "cw_macro_file.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string exported(const CW_MACRO_SLOTS& slots)
{
    const CW_MACRO_EXPORT file = cw_macro_export_file_text(slots);
    EXPECT_TRUE(file.ok) << file.message;
    return file.text;
}

std::string defaultFile()
{
    return exported(cw_stored_macro_slots(MapStore()));
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

void expectSlots(const CW_MACRO_IMPORT& result, const CW_MACRO_SLOTS& expected)
{
    ASSERT_TRUE(result.ok) << result.message;
    ASSERT_EQ(result.count, kCWMacroButtonCount);
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        EXPECT_EQ(result.slots.titles[i], expected.titles[i]) << i;
        EXPECT_EQ(result.slots.texts[i], expected.texts[i]) << i;
    }
}

TEST(CWMacroFileExport, DefaultsGiveHeaderAndEightLines)
{
    const std::string text = defaultFile();
    ASSERT_EQ(text.rfind(kCWMacroFileHeader, 0), 0u);
    const std::string firstLine = "CQ=<TX>CQ CQ CQ DE <MYCALL> <MYCALL> <MYCALL> K<RX>\n";
    EXPECT_EQ(text.substr(std::string(kCWMacroFileHeader).size(), firstLine.size()), firstLine);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 8);
    EXPECT_TRUE(text.ends_with("LOC=<TX>LOC <MYLOC><RX>\n"));
}

TEST(CWMacroFileExport, LineIsNormalisedAndSingleLine)
{
    EXPECT_EQ(cw_macro_export_line(0, "  cq ", " de <mycall> "), "CQ= DE <MYCALL> ");
    EXPECT_EQ(cw_macro_export_line(6, " ", "x"), "QTH=X");
    EXPECT_EQ(cw_macro_export_line(1, "#1", "a=b"), "\\#1=A=B");
    EXPECT_EQ(cw_macro_export_line(1, "a=b\\", "c\\d"), "A\\=B\\\\=C\\D");
    EXPECT_EQ(cw_macro_export_line(2, "a\nb", "x\r\ny\xE2\x80\xA8z\x01\t\xFF"), "A B=X  Y Z \t\xEF\xBF\xBD");
}

TEST(CWMacroFileExport, RefusesLineImportCouldNotRead)
{
    CW_MACRO_SLOTS slots = cw_stored_macro_slots(MapStore());
    slots.texts[2] = std::string(kCWMacroFileMaxLineBytes, 'X');
    const CW_MACRO_EXPORT file = cw_macro_export_file_text(slots);
    EXPECT_FALSE(file.ok);
    EXPECT_EQ(file.message, "Macro 3 is too long to export: its line would have 1029 bytes, at most 1024 fit.");
    EXPECT_TRUE(file.text.empty());
}

TEST(CWMacroFileRoundTrip, DefaultsComeBackUnchanged)
{
    const CW_MACRO_SLOTS defaults = cw_stored_macro_slots(MapStore());
    expectSlots(cw_macro_import_parse(defaultFile()), defaults);
    expectSlots(cw_macro_import_parse(replaceAll(defaultFile(), "\n", "\r\n")), defaults);
    expectSlots(cw_macro_import_parse("\xEF\xBB\xBF" + defaultFile()), defaults);
}

TEST(CWMacroFileRoundTrip, TrickyValuesComeBackUnchanged)
{
    const CW_MACRO_SLOTS typed = {
        {"#1", "a=b", "C:\\X\\", "\\#", " lo w ", "\xC3\xA4\xC3\xB6", "", "=="},
        {"x=y", "  spaces  ", "back\\slash", "#hash", "\xC3\xA4\xC3\xB6", "", "a\\=b", "="}};
    const CW_MACRO_SLOTS stored = {
        {"#1", "A=B", "C:\\X\\", "\\#", "LO W", "\xC3\x84\xC3\x96", "QTH", "=="},
        {"X=Y", "  SPACES  ", "BACK\\SLASH", "#HASH", "\xC3\x84\xC3\x96", "", "A\\=B", "="}};
    expectSlots(cw_macro_import_parse(exported(typed)), stored);
}

TEST(CWMacroFileImport, HandWrittenLinesFillSlotsInOrder)
{
    const CW_MACRO_IMPORT result = cw_macro_import_parse("A=x\nB = y \n#C=z\nno equals\n=w");
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.count, 2u);
    EXPECT_EQ(result.slots.titles[0], "A");
    EXPECT_EQ(result.slots.texts[0], "X");
    EXPECT_EQ(result.slots.titles[1], "B");
    EXPECT_EQ(result.slots.texts[1], " Y ");
}

TEST(CWMacroFileImport, SplitsAtEveryLineBreakAndKeepsPlainBackslashes)
{
    const CW_MACRO_IMPORT result = cw_macro_import_parse("A=1\rB=2\xC2\x85" "C=3\xE2\x80\xA9" "C:\\X=4\\=");
    ASSERT_EQ(result.count, 4u);
    EXPECT_EQ(result.slots.titles[2], "C");
    EXPECT_EQ(result.slots.titles[3], "C:\\X");
    EXPECT_EQ(result.slots.texts[3], "4\\=");
}

TEST(CWMacroFileImport, FillsNoMoreSlotsThanOffered)
{
    std::string tenLines;
    for (char label = 'A'; label < 'A' + 10; ++label)
        tenLines += std::string(1, label) + "=" + label + "\n";
    const CW_MACRO_IMPORT all = cw_macro_import_parse(tenLines);
    ASSERT_EQ(all.count, 8u);
    EXPECT_EQ(all.slots.titles[7], "H");
    EXPECT_EQ(cw_macro_import_parse(tenLines, 3).count, 3u);
}

TEST(CWMacroFileImport, ExportWithEmptyLabelLineStillReads)
{
    const std::string file = replaceAll(defaultFile(), "CQ=", "=");
    const CW_MACRO_IMPORT result = cw_macro_import_parse(file);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.count, 7u);
    EXPECT_EQ(result.slots.titles[0], "CALL");
}

TEST(CWMacroFileImport, NoUsableLineIsReported)
{
    for (const std::string& file : {std::string(), std::string("# comment\n\nno equals\n = w\n")}) {
        const CW_MACRO_IMPORT result = cw_macro_import_parse(file);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.title, kCWMacroImportTitle);
        EXPECT_EQ(result.message, kCWMacroNoLinesMessage);
        EXPECT_EQ(result.count, 0u);
    }
}

TEST(CWMacroFileImport, MalformedFilesAreRefusedWhole)
{
    const std::string good = defaultFile();
    const std::string header = kCWMacroFileHeader;
    struct Case {
        std::string file;
        const char* message;
    };
    const Case cases[] = {
        {std::string(kCWMacroFileMaxBytes + 1, 'A'),
         "The file has 65537 bytes, more than the 64 KiB a macro text file can have."},
        {"A=x\nB=" + std::string(kCWMacroFileMaxLineBytes, 'y') + "\n", "Line 2 is longer than 1024 bytes."},
        {"A=x\r\nB=\xC3\x28\n", "Line 2 is not valid UTF-8 text (byte 0xC3)."},
        {"A=\xC0\xAF\n", "Line 1 is not valid UTF-8 text (byte 0xC0)."},
        {"A=\xED\xA0\x80\n", "Line 1 is not valid UTF-8 text (byte 0xED)."},
        {std::string("A=x\n\0B=y\n", 9), "Line 2 holds the control byte 0x00, so the file is binary or damaged."},
        {"A=\x1B[0m\n", "Line 1 holds the control byte 0x1B, so the file is binary or damaged."},
        {"A=x\x7F\n", "Line 1 holds the control byte 0x7F, so the file is binary or damaged."},
        {replaceAll(good, "texts v1", "texts v2"),
         "The file holds macro texts of version 2; only version 1 can be read."},
        {good.substr(0, good.size() - 5), "The file ends in the middle of line 11; it looks truncated."},
        {good.substr(0, good.find("MYCALL=<TX>")),
         "The file holds only 4 of the 8 macro lines; it looks truncated."},
        {header + "hello\n" + good.substr(header.size()), "Line 4 is not a LABEL=TEXT line."},
    };
    for (const Case& c : cases) {
        const CW_MACRO_IMPORT result = cw_macro_import_parse(c.file);
        EXPECT_FALSE(result.ok) << c.message;
        EXPECT_EQ(result.title, kCWMacroImportFailedTitle);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.count, 0u) << c.message;
    }
}

}  // namespace
