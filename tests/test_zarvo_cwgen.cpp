// Runs the built zarvo-cwgen as a process.
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct RUN_RESULT {
    int status;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CwgenTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("zarvo_cwgen_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    RUN_RESULT run(const std::vector<std::string>& args)
    {
        std::string command = quoted(ZARVO_CWGEN_PATH);
        for (const std::string& a : args)
            command += " " + quoted(a);
        command += " >" + quoted((dir_ / "out.txt").string()) + " 2>" + quoted((dir_ / "err.txt").string());
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir_ / "out.txt"), slurp(dir_ / "err.txt")};
    }

    std::vector<std::string> basic(const std::string& text)
    {
        return {"--text", text, "--wpm", "20", "--pitch", "600", "--rate", "8000", "-o", wav()};
    }

    std::string wav() const { return (dir_ / "a.wav").string(); }

    std::filesystem::path dir_;
};

}  // namespace

TEST_F(CwgenTool, WritesSixteenBitMonoOfTheRightLength)
{
    std::vector<std::string> args = basic("PARIS");
    args.insert(args.end(), {"--lead", "0.1", "--tail=0.2"});
    const RUN_RESULT r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    WAV_AUDIO a;
    std::string error;
    ASSERT_TRUE(wav_read_file(wav(), &a, &error)) << error;
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.sampleRate, 8000u);
    EXPECT_EQ(a.formatTag, WAV_TAG_PCM);
    EXPECT_EQ(a.bitsPerSample, 16);
    EXPECT_EQ(a.samples.size(), 800u + 43 * 480u + 1600u);  // "PARIS" without the word gap is 43 units
}

TEST_F(CwgenTool, FloatOptionWritesIeeeFloat)
{
    std::vector<std::string> args = basic("E");
    args.push_back("--float");
    ASSERT_EQ(run(args).status, 0);
    WAV_AUDIO a;
    ASSERT_TRUE(wav_read_file(wav(), &a, nullptr));
    EXPECT_EQ(a.formatTag, WAV_TAG_IEEE_FLOAT);
}

TEST_F(CwgenTool, BadOrMissingOptionsGiveOneLineAndStatusTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--text", "E", "--wpm", "20", "--pitch", "600", "--rate", "8000"},
        {"--text", "E", "--wpm", "fast", "--pitch", "600", "--rate", "8000", "-o", wav()},
        {"--text", "E", "--wpm", "20", "--pitch", "600", "--rate", "8000", "-o", wav(), "--bogus"},
        {"--text", "E", "--wpm", "20", "--pitch", "5000", "--rate", "8000", "-o", wav()},
        {"--text", "E", "--wpm", "20", "--pitch", "600", "--rate", "-8000", "-o", wav()},
        {"--text", "###", "--wpm", "20", "--pitch", "600", "--rate", "8000", "-o", wav()},
        {"--text", "E", "--wpm"},
    };
    for (const auto& args : cases) {
        const RUN_RESULT r = run(args);
        EXPECT_EQ(r.status, 2) << r.err;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_FALSE(std::filesystem::exists(wav()));
    }
}

TEST_F(CwgenTool, WarnsAboutSkippedCharacters)
{
    const RUN_RESULT r = run(basic("E#T"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning"), std::string::npos);
    EXPECT_NE(r.err.find('#'), std::string::npos);
}

TEST_F(CwgenTool, UnwritableOutputGivesStatusOne)
{
    std::vector<std::string> args = basic("E");
    args.back() = (dir_ / "no-such-folder" / "a.wav").string();
    const RUN_RESULT r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-folder"), std::string::npos);
}

TEST_F(CwgenTool, HelpGoesToStandardOutput)
{
    const RUN_RESULT r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--farnsworth"), std::string::npos);
}
