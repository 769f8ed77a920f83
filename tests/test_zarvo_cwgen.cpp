// Runs the built zarvo-cwgen as a process.
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

class CwgenTool : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir_); }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Exit status of zarvo-cwgen; its standard error goes to err_.
    int run(const std::vector<std::string>& args)
    {
        std::string command = ZARVO_CWGEN_PATH;
        for (const std::string& a : args) command += " '" + a + "'";
        const int raw = std::system((command + " 2>'" + (dir_ / "err.txt").string() + "'").c_str());
        std::ifstream in(dir_ / "err.txt");
        err_.assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // A complete command line followed by `extra`; later options override earlier ones.
    std::vector<std::string> with(const std::vector<std::string>& extra) const
    {
        std::vector<std::string> args = {"--text", "PARIS", "--wpm", "20", "--pitch", "600",
                                         "--rate", "8000", "-o", wav_};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // Per process: other builds may run the same test at the same time.
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("zarvo_cwgen_" + std::to_string(getpid()));
    const std::string wav_ = (dir_ / "a.wav").string();
    std::string err_;
};

TEST_F(CwgenTool, WritesSixteenBitMonoOfTheRightLength)
{
    EXPECT_EQ(run(with({"--lead", "0.1", "--tail=0.2"})), 0);
    EXPECT_EQ(err_, "");
    WAV_AUDIO a;
    ASSERT_TRUE(wav_read_file(wav_, &a, &err_)) << err_;
    EXPECT_EQ(std::tuple(a.channels, a.sampleRate, a.formatTag, a.bitsPerSample),
              std::tuple(1, 8000u, WAV_TAG_PCM, 16));
    EXPECT_EQ(a.samples.size(), 800u + 43 * 480u + 1600u);  // "PARIS" without the word gap is 43 units
}

TEST_F(CwgenTool, BadOptionsGiveOneLineAndStatusTwoAnUnwritableFileOne)
{
    // Missing options, a bad number, an unknown option, pitch at Nyquist, a negative rate,
    // nothing sendable, a missing value.
    const std::vector<std::string> missing = {"--text", "E"};
    for (const auto& args : {missing, with({"--wpm", "fast"}), with({"--bogus"}), with({"--pitch", "5000"}),
                             with({"--rate", "-8000"}), with({"--text", "###"}), with({"--wpm"})}) {
        EXPECT_EQ(run(args), 2) << err_;
        EXPECT_TRUE(!err_.empty() && err_.find('\n') == err_.size() - 1) << err_;
        EXPECT_FALSE(std::filesystem::exists(wav_));
    }
    EXPECT_EQ(run(with({"-o", (dir_ / "no-such-folder" / "a.wav").string()})), 1);
    EXPECT_NE(err_.find("no-such-folder"), std::string::npos);
}
