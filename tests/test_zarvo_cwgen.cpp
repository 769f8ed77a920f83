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
    // nothing sendable, a missing value; then band options out of range or half given.
    const std::vector<std::string> missing = {"--text", "E"};
    for (const auto& args : {missing, with({"--wpm", "fast"}), with({"--bogus"}), with({"--pitch", "5000"}),
                             with({"--rate", "-8000"}), with({"--text", "###"}), with({"--wpm"}),
                             with({"--channel", "bad"}), with({"--channel"}), with({"--dah-ratio", "6"}),
                             with({"--qsb-depth", "-1"}), with({"--qsb-period", "0"}), with({"--drift", "3500"}),
                             with({"--qrn", "x"}), with({"--qrm-level", "-3"}), with({"--qrm-offset", "100"}),
                             with({"--qrm-offset", "-700", "--qrm-level", "-3"})}) {
        EXPECT_EQ(run(args), 2) << err_;
        EXPECT_TRUE(!err_.empty() && err_.find('\n') == err_.size() - 1) << err_;
        EXPECT_FALSE(std::filesystem::exists(wav_));
    }
    EXPECT_EQ(run(with({"--qrm-level", "-3"})), 2);
    EXPECT_NE(err_.find("--qrm-offset and --qrm-level go together"), std::string::npos) << err_;
    EXPECT_EQ(run(with({"-o", (dir_ / "no-such-folder" / "a.wav").string()})), 1);
    EXPECT_NE(err_.find("no-such-folder"), std::string::npos);
}

TEST_F(CwgenTool, BandOptionsEachChangeTheAudio)
{
    // Every option alone: the file is written, silently, and differs from the plain one.
    auto samples = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = with({"--float", "--lead", "0.1", "--tail", "0.1"});
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(run(args), 0) << err_;
        EXPECT_EQ(err_, "");
        WAV_AUDIO a;
        EXPECT_TRUE(wav_read_file(wav_, &a, &err_)) << err_;
        return a.samples;
    };
    const std::vector<float> plain = samples({});
    const std::vector<std::vector<std::string>> options = {
        {"--channel", "poor"}, {"--channel=flutter"}, {"--qsb-depth", "10", "--qsb-period", "0.5"},
        {"--drift", "-40"}, {"--qrn", "5"}, {"--qrm-offset", "-150", "--qrm-level=-3"}};
    for (const auto& extra : options) {
        const std::vector<float> changed = samples(extra);
        EXPECT_EQ(changed.size(), plain.size()) << extra[0];
        EXPECT_NE(changed, plain) << extra[0];
    }
    EXPECT_EQ(samples({"--channel", "none"}), plain);
    EXPECT_EQ(samples({"--dah-ratio", "3.5"}).size(), plain.size() + 4 * 240u);  // PARIS has four dashes
}
