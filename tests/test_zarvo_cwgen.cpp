// zarvo-cwgen run as a process; the files it writes are read back.
#include "tool_run.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <tuple>

class CwgenTool : public ::testing::Test {
protected:
    // The exit status; standard error goes to err.
    int run(const std::vector<std::string>& args)
    {
        const int status = tool_run::run(ZARVO_CWGEN_PATH, args, "2>" + tool_run::quoted(dir / "err.txt")).status;
        err = tool_run::slurp(dir / "err.txt");
        return status;
    }
    // A complete command line, then `extra`: later options override earlier ones.
    std::vector<std::string> with(const std::vector<std::string>& extra) const
    {
        std::vector<std::string> args = {"--text", "PARIS",  "--wpm", "20", "--pitch",
                                         "600",    "--rate", "8000",  "-o", wav};
        return args.insert(args.end(), extra.begin(), extra.end()), args;
    }
    std::vector<float> samples(const std::vector<std::string>& extra)
    {
        WAV_AUDIO a;
        EXPECT_TRUE(run(with(extra)) == 0 && err.empty()) << err;
        EXPECT_TRUE(wav_read_file(wav, &a, &err)) << err;
        return a.samples;
    }

    tool_run::ScratchDir dir{"zarvo_cwgen"};
    const std::string wav = dir / "a.wav";
    std::string err;
};

// 16-bit mono of the right length; "-o -" writes the very file to standard
// output, for pipes, and a full one is status 1.
TEST_F(CwgenTool, WritesSixteenBitMonoOfTheRightLengthToAFileOrStandardOutput)
{
    std::vector<std::string> args = with({"--lead", "0.1", "--tail=0.2"});
    WAV_AUDIO a;
    ASSERT_TRUE(run(args) == 0 && err.empty() && wav_read_file(wav, &a, &err)) << err;
    EXPECT_EQ(std::tuple(a.channels, a.sampleRate, a.formatTag, a.bitsPerSample, a.samples.size()),
              std::tuple(1, 8000u, WAV_TAG_PCM, 16, 800u + 43 * 480u + 1600u));  // PARIS: 43 units
    args[9] = "-";
    const tool_run::Result piped = tool_run::run(ZARVO_CWGEN_PATH, args);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, tool_run::slurp(wav));
    EXPECT_FALSE(std::filesystem::exists("-"));
    EXPECT_EQ(tool_run::run(ZARVO_CWGEN_PATH, args, ">/dev/full 2>/dev/null").status, 1);
}

TEST_F(CwgenTool, BadOptionsGiveOneLineAndStatusTwoAnUnwritableFileOne)
{
    const std::vector<std::string> missing = {"--text", "E"};
    for (const auto& args :
         {missing, with({"--wpm", "fast"}), with({"--bogus"}), with({"--pitch", "5000"}), with({"--rate", "-8000"}),
          with({"--text", "###"}), with({"--wpm"}), with({"--channel", "bad"}), with({"--dah-ratio", "6"}),
          with({"--qrn", "x"})}) {  // each field's own limits: the generator's tests
        EXPECT_EQ(run(args), 2) << err;
        EXPECT_TRUE(!err.empty() && err.find('\n') == err.size() - 1 && !std::filesystem::exists(wav)) << err;
    }
    EXPECT_EQ(run(with({"--qrm-level", "-3"})), 2);
    EXPECT_NE(err.find("--qrm-offset and --qrm-level go together"), std::string::npos) << err;
    EXPECT_EQ(run(with({"-o", dir / "no-such-folder/a.wav"})), 1);
    EXPECT_NE(err.find("no-such-folder"), std::string::npos);
}

// Each band condition alone writes a file of the same length that differs
// from the clean one.
TEST_F(CwgenTool, BandOptionsEachChangeTheAudio)
{
    const auto with_base = [&](std::vector<std::string> extra) {
        extra.insert(extra.begin(), {"--float", "--lead", "0.1", "--tail", "0.1"});
        return samples(extra);
    };
    const std::vector<float> plain = with_base({});
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"--channel", "poor"},
                                               {"--channel=flutter"},
                                               {"--qsb-depth", "10", "--qsb-period", "0.5"},
                                               {"--drift", "-40"},
                                               {"--qrn", "5"},
                                               {"--qrm-offset", "-150", "--qrm-level=-3"}}) {
        const std::vector<float> changed = with_base(extra);
        EXPECT_TRUE(changed.size() == plain.size() && changed != plain) << extra[0];
    }
    EXPECT_EQ(with_base({"--channel", "none"}), plain);
    EXPECT_EQ(with_base({"--dah-ratio", "3.5"}).size(), plain.size() + 4 * 240u);  // PARIS has four dashes
}

// --band writes many stations: mono audio, or IQ as stereo, of the asked
// length; --truth lists the stations inside the span, and the same seed
// gives the same file. Options of one mode are refused in the other.
TEST_F(CwgenTool, BandModeWritesTheStationsAndTheirTruth)
{
    const std::string truth = dir / "truth.txt";
    const std::vector<std::string> band = {"--band", "12",      "--seconds", "3",  "--rate", "8000",   "--seed",
                                           "7",      "--truth", truth,       "-o", wav,      "--span", "400:2600"};
    ASSERT_EQ(run(band), 0) << err;
    WAV_AUDIO a;
    ASSERT_TRUE(wav_read_file(wav, &a, &err)) << err;
    EXPECT_EQ(std::tuple(a.channels, a.sampleRate, a.samples.size()), std::tuple(1, 8000u, size_t{24000}));
    const std::string lines = tool_run::slurp(truth);
    std::istringstream in(lines);
    std::string call;
    double hz, wpm, snr, first;
    std::set<std::string> calls;
    while (in >> call >> hz >> wpm >> snr >> first) {
        calls.insert(call);
        EXPECT_TRUE(hz >= 400.0 && hz <= 2600.0 && wpm >= 15.0 && wpm <= 40.0 && snr >= 0.0 && snr <= 25.0 &&
                    first >= 0.0 && first <= 20.0)
            << call;
    }
    EXPECT_TRUE(in.eof());  // every line read whole
    EXPECT_EQ(calls.size(), 12u);
    ASSERT_EQ(run(band), 0) << err;
    WAV_AUDIO again;
    ASSERT_TRUE(wav_read_file(wav, &again, &err)) << err;
    EXPECT_EQ(again.samples, a.samples);
    EXPECT_EQ(tool_run::slurp(truth), lines);

    ASSERT_EQ(run({"--band", "5", "--seconds", "0.5", "--rate", "48000", "--iq", "--span=-20000:20000", "--float", "-o",
                   wav}),
              0)
        << err;
    ASSERT_TRUE(wav_read_file(wav, &a, &err)) << err;
    EXPECT_EQ(std::tuple(a.channels, a.formatTag, a.samples.size()), std::tuple(2, WAV_TAG_IEEE_FLOAT, 2 * 24000u));
    EXPECT_NE(std::vector<float>(a.samples.begin(), a.samples.begin() + 4), std::vector<float>(4, 0.0f));  // noise

    std::filesystem::remove(wav);
    for (const auto& args :
         {with({"--band", "5", "--seconds", "1"}),                               // --text is single
          std::vector<std::string>{"--band", "5", "--rate", "8000", "-o", wav},  // no --seconds
          with({"--iq"}), with({"--truth", truth}),
          std::vector<std::string>{"--band", "5", "--seconds", "1", "--rate", "8000", "--span", "2600:400", "-o", wav},
          std::vector<std::string>{"--band", "5", "--seconds", "1", "--rate", "4000", "-o", wav}}) {
        EXPECT_EQ(run(args), 2) << err;
        EXPECT_TRUE(!err.empty() && err.find('\n') == err.size() - 1 && !std::filesystem::exists(wav)) << err;
    }
}
