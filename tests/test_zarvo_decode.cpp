// Runs the built zarvo-decode as a process.
#include "morse_audio_generator.h"
#include "text_metrics.h"
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC PSE K";

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

std::vector<float> morse(double wpm, uint32_t rate)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = wpm;
    config.pitchHz = 650;
    config.sampleRateHz = rate;
    config.addNoise = true;
    config.snrDb = 15;
    std::vector<float> samples;
    EXPECT_TRUE(morse_audio_generate(config, kText, &samples, nullptr, nullptr));
    return samples;
}

std::vector<uint8_t> image(const std::vector<float>& samples, uint16_t channels, uint32_t rate)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(wav_build_image(samples.data(), samples.size(), channels, rate, WAV_ENCODING_PCM16, &bytes, &error))
        << error;
    return bytes;
}

void put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

class DecodeTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("zarvo_decode_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    RUN_RESULT run(const std::vector<std::string>& args, const std::string& stdinPath = "")
    {
        std::string command = quoted(ZARVO_DECODE_PATH);
        for (const std::string& a : args)
            command += " " + quoted(a);
        if (!stdinPath.empty())
            command += " <" + quoted(stdinPath);
        command += " >" + quoted(path("out.txt")) + " 2>" + quoted(path("err.txt"));
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(path("out.txt")), slurp(path("err.txt"))};
    }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void expect_one_error_line(const RUN_RESULT& r, const std::string& mention)
    {
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
    }

    std::filesystem::path dir_;
};

}  // namespace

TEST_F(DecodeTool, DecodesAFile)
{
    const std::string wav = write("a.wav", image(morse(25, 48000), 1, 48000));
    const RUN_RESULT r = run({"--pitch", "650", wav});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(text_metrics::collapse_whitespace(r.out), kText);
}

TEST_F(DecodeTool, ReadsStandardInputAndChannelZero)
{
    const std::vector<float> mono = morse(20, 12000);
    std::vector<float> stereo;
    for (float s : mono)
        stereo.insert(stereo.end(), {s, 0.0f});
    const std::string wav = write("s.wav", image(stereo, 2, 12000));
    const RUN_RESULT r = run({"--pitch", "640", "--auto-pitch", "-"}, wav);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_metrics::collapse_whitespace(r.out), kText);
}

TEST_F(DecodeTool, WritesAStatusLineEvery200Milliseconds)
{
    const std::vector<float> samples = morse(25, 8000);
    const std::string wav = write("a.wav", image(samples, 1, 8000));
    const RUN_RESULT r = run({"--pitch", "650", "--block", "400", "--status", path("s.jsonl"), wav});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(slurp(path("s.jsonl")));
    std::string line;
    int count = 0;
    int locked = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
        locked += line.find("\"lock\":2,") != std::string::npos ? 1 : 0;
    }
    const double seconds = samples.size() / 8000.0 + 3.0;  // with the closing silence
    EXPECT_NEAR(count, seconds / 0.2, 1.5);
    EXPECT_GT(locked, 0);
}

TEST_F(DecodeTool, FallbackDecoderOnRequest)
{
    const std::string wav = write("a.wav", image(morse(15, 48000), 1, 48000));
    const RUN_RESULT r = run({"--fallback", "--pitch", "650", "--bandwidth", "100", "--block", "192", wav});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LE(text_metrics::cer_after_first_word(kText, r.out), 0.1) << r.out;
}

TEST_F(DecodeTool, BadFilesGiveOneLineAndStatusTwo)
{
    std::vector<uint8_t> good = image(morse(25, 8000), 1, 8000);
    expect_one_error_line(run({path("missing.wav")}), "missing.wav");
    expect_one_error_line(run({write("empty.wav", {})}), "empty.wav");
    expect_one_error_line(run({write("head.wav", std::vector<uint8_t>(good.begin(), good.begin() + 30))}),
                          "head.wav");
    std::vector<uint8_t> bigFmt = good;
    put32(&bigFmt, 16, 0x7FFFFFF0);  // fmt chunk larger than the file
    expect_one_error_line(run({write("fmt.wav", bigFmt)}), "fmt.wav");
    std::vector<uint8_t> adpcm = good;
    adpcm[20] = 2;
    expect_one_error_line(run({write("adpcm.wav", adpcm)}), "adpcm.wav");
    const std::vector<float> slow(4000, 0.0f);
    expect_one_error_line(run({write("slow.wav", image(slow, 1, 4000))}), "4000");
    expect_one_error_line(run({"--block", "0", path("x.wav")}), "--block");
}

TEST_F(DecodeTool, CutDataChunkDecodesWithAWarning)
{
    std::vector<uint8_t> bytes = image(morse(25, 8000), 1, 8000);
    put32(&bytes, 40, static_cast<uint32_t>(bytes.size() * 2));  // data claims more than is there
    const RUN_RESULT r = run({"--pitch", "650", write("cut.wav", bytes)});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_EQ(text_metrics::collapse_whitespace(r.out), kText);
}

TEST_F(DecodeTool, UnwritableStatusFileGivesStatusOne)
{
    const std::string wav = write("a.wav", image(std::vector<float>(8000, 0.0f), 1, 8000));
    const RUN_RESULT r = run({"--status", path("no-such-folder/s.jsonl"), wav});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-folder"), std::string::npos);
}

TEST_F(DecodeTool, HelpGoesToStandardOutput)
{
    const RUN_RESULT r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--fallback"), std::string::npos);
    EXPECT_NE(r.out.find("--status"), std::string::npos);
}
