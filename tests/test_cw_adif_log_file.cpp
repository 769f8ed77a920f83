// The local ADIF log: its folder, appending whole records, and failures.
#include "adif_reader.h"
#include "cw_adif_log_file.h"
#include "cw_adif_record.h"
#include "tool_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>

namespace {

class CWAdifLogFile : public testing::Test {
protected:
    std::string contents() const { return tool_run::slurp(path); }
    void write_file(const std::string& name, const std::string& text) const { std::ofstream(dir / name) << text; }

    const tool_run::ScratchDir dir{"zarvo_adif"};
    const std::string path = dir / "Zarvo.adi";
};

std::string record_for(const char* call)
{
    return cw_log_adif_record(
        CW_LOG_QSO{call, "J\u00f6rg", "599", "579", "7.030000", "", "", "ok", "20240102", "030405", "QQ0QQ", "JN36"});
}

}  // namespace

TEST_F(CWAdifLogFile, FolderIsCreatedWithIntermediatesButNotUnderAFile)
{
    std::string error;
    const std::string file = cw_adif_log_file_path(dir / "home/Documents/", &error);
    EXPECT_TRUE(file == dir / "home/Documents/Zarvo/Zarvo.adi" &&
                std::filesystem::is_directory(dir / "home/Documents/Zarvo"));
    EXPECT_EQ(cw_adif_log_file_path(dir / "home/Documents", &error), file);  // already there
    write_file("somefile", "x");
    EXPECT_EQ(cw_adif_log_file_path(dir / "somefile/sub", &error), "");
    EXPECT_EQ(error, "Could not create folder " + dir / "somefile" + ": Not a directory");
}

// The header goes into a new or empty file only; records, whose fields are
// the record's own test, read back whole.
TEST_F(CWAdifLogFile, HeaderOnceThenWholeRecords)
{
    CW_OPERATION_ERROR error;
    ASSERT_TRUE(cw_adif_append_record(path, record_for("DL1ABC"), &error)) << error.description;
    ASSERT_TRUE(cw_adif_append_record(path, record_for("OK1XYZ") + "\n", &error)) << error.description;
    EXPECT_EQ(contents(), std::string(kCWAdifHeader) + record_for("DL1ABC") + "\n" + record_for("OK1XYZ") + "\n");
    const AdifFile file = adif_read(contents());
    ASSERT_TRUE(file.ok && file.records.size() == 2u);
    EXPECT_EQ(file.header, "Zarvo ADIF log\n<ADIF_VER:5>3.1.4\n<PROGRAMID:5>Zarvo\n");
    EXPECT_EQ(file.records[0][0], AdifFields::value_type("CALL", "DL1ABC"));
    EXPECT_EQ(file.records[1][0], AdifFields::value_type("CALL", "OK1XYZ"));

    write_file("Zarvo.adi", "");
    ASSERT_TRUE(cw_adif_append_record(path, "<CALL:1>A<EOR>", nullptr));
    EXPECT_EQ(contents(), kCWAdifHeader + std::string("<CALL:1>A<EOR>\n"));
    write_file("Zarvo.adi", "earlier run\n");
    ASSERT_TRUE(cw_adif_append_record(path, "<CALL:1>C<EOR>", nullptr));
    EXPECT_EQ(contents(), "earlier run\n<CALL:1>C<EOR>\n");
}

TEST_F(CWAdifLogFile, FailuresCarryDomainCodeAndDescription)
{
    write_file("plain", "x");
    // Nothing reads this FIFO: opening it to write would wait for good.
    ASSERT_EQ(mkfifo((dir / "fifo.adi").c_str(), 0600), 0);
    const struct {
        std::string path, record;
        long code;
        const char* description;
    } cases[] = {{path, "", 22, "Empty ADIF record"},
                 {"", "<EOR>", 5, "Could not create ADIF log directory"},
                 {dir / "missing/Zarvo.adi", "<EOR>", 5, "Could not create ADIF log file: No such file or directory"},
                 {dir.path.string(), "<EOR>", 5, "Could not open ADIF log file: not a regular file"},
                 {dir / "fifo.adi", "<EOR>", 5, "Could not open ADIF log file: not a regular file"},
                 {dir / "plain/Zarvo.adi", "<EOR>", 5, "Could not open ADIF log file: Not a directory"}};
    for (const auto& c : cases) {
        CW_OPERATION_ERROR error;
        EXPECT_FALSE(cw_adif_append_record(c.path, c.record, &error)) << c.path;
        EXPECT_TRUE(error.domain == "NSPOSIXErrorDomain" && error.code == c.code) << c.path;
        EXPECT_EQ(error.description, c.description) << c.path;
    }
}

// A disk that fills up half-way through a record leaves the file as it
// was; short writes that make progress complete; one that stalls fails.
TEST_F(CWAdifLogFile, WritesAreWholeOrNotAtAll)
{
    ASSERT_TRUE(cw_adif_append_record(path, "<CALL:1>A<EOR>", nullptr));
    const std::string before = contents();
    size_t calls = 0;
    const CW_WRITE_FUNCTION halfThenFull = [&calls](int fd, const void* bytes, size_t count) -> ssize_t {
        if (calls++ == 0)
            return write(fd, bytes, count / 2);
        errno = ENOSPC;
        return -1;
    };
    CW_OPERATION_ERROR error;
    EXPECT_FALSE(cw_adif_append_record_with_writer(path, record_for("DL1ABC"), halfThenFull, &error));
    EXPECT_TRUE(error.domain == "NSCocoaErrorDomain" && error.code == 512);
    EXPECT_EQ(error.description, "ADIF write failed: No space left on device");
    EXPECT_EQ(contents(), before);

    const CW_WRITE_FUNCTION fewBytes = [](int fd, const void* bytes, size_t count) {
        return write(fd, bytes, count < 7 ? count : 7);
    };
    ASSERT_TRUE(cw_adif_append_record_with_writer(path, record_for("DL1ABC"), fewBytes, nullptr));
    EXPECT_EQ(contents(), before + record_for("DL1ABC") + "\n");
    const CW_WRITE_FUNCTION stalls = [](int, const void*, size_t) -> ssize_t { return 0; };
    EXPECT_FALSE(cw_adif_append_record_with_writer(path, "<CALL:1>X<EOR>", stalls, &error));
    EXPECT_EQ(error.description, "ADIF write failed: Input/output error");
    EXPECT_EQ(adif_read(contents()).records.size(), 2u);
}
