// Runs the built zarvo-decode as a process.
#include "morse_audio_generator.h"
#include "text_metrics.h"
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
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

// kText with noise, as a 16-bit WAV image; channel 0 carries it.
std::vector<uint8_t> image(double wpm, uint32_t rate, uint16_t channels = 1, double pitchHz = 650,
                           double leadSeconds = 0.5)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = wpm;
    config.pitchHz = pitchHz;
    config.leadSeconds = leadSeconds;
    config.sampleRateHz = rate;
    config.addNoise = true;
    config.snrDb = 15;
    std::vector<float> mono;
    EXPECT_TRUE(morse_audio_generate(config, kText, &mono, nullptr, nullptr));
    std::vector<float> samples;
    for (float s : mono)
        for (uint16_t c = 0; c < channels; ++c)
            samples.push_back(c == 0 ? s : 0.0f);
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

    RUN_RESULT run(const std::vector<std::string>& args, const std::string& stdinPath = "",
                   const std::string& stdoutPath = "")
    {
        std::string command = quoted(ZARVO_DECODE_PATH);
        for (const std::string& a : args)
            command += " " + quoted(a);
        if (!stdinPath.empty())
            command += " <" + quoted(stdinPath);
        command += " >" + quoted(stdoutPath.empty() ? path("out.txt") : stdoutPath);
        command += " 2>" + quoted(path("err.txt"));
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

    std::filesystem::path dir_;
};

}  // namespace

// A file, channel 0 of standard input, a file whose data chunk was cut
// short (its whole frames decode after a warning) and the fallback decoder;
// one of them writes a status line every 200 ms of audio.
TEST_F(DecodeTool, DecodesFilesStandardInputAndCutFiles)
{
    std::vector<uint8_t> cut = image(25, 8000);
    put32(&cut, 40, static_cast<uint32_t>(cut.size() * 2));  // data claims more than is there
    const struct {
        std::vector<std::string> args;
        std::string input;
        bool warns;
        bool exact;
    } runs[] = {
        {{"--pitch", "650", write("a.wav", image(25, 48000))}, "", false, true},
        {{"--pitch", "640", "--auto-pitch", "-"}, write("s.wav", image(20, 12000, 2)), false, true},
        {{"--pitch", "650", "--block", "400", "--status", path("s.jsonl"), write("cut.wav", cut)}, "", true, true},
        {{"--fallback", "--pitch", "650", "--bandwidth", "100", "--block", "192", write("f.wav", image(15, 48000))},
         "", false, false},
    };
    for (const auto& k : runs) {
        const RUN_RESULT r = run(k.args, k.input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(!r.err.empty(), k.warns) << r.err;
        EXPECT_EQ(r.err.find("warning") != std::string::npos, k.warns) << r.err;
        EXPECT_TRUE(k.exact ? text_metrics::collapse_whitespace(r.out) == kText
                            : text_metrics::cer_after_first_word(kText, r.out) <= 0.1)
            << r.out;
    }
    std::istringstream lines(slurp(path("s.jsonl")));
    std::string line;
    int count = 0;
    int locked = 0;
    for (; std::getline(lines, line); ++count) {
        EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
        locked += line.find("\"lock\":2,") != std::string::npos ? 1 : 0;
    }
    const double seconds = (cut.size() - 44) / 2 / 8000.0 + 3.0;  // with the closing silence
    EXPECT_NEAR(count, seconds / 0.2, 1.5);
    EXPECT_GT(locked, 0);
}

// No pitch given: the tone is found wherever it lies in 300..1200 Hz, also
// far beyond the reach of the retune rule from the 600 Hz start, and the
// text is what the right --pitch gives; the noise before it prints nothing.
TEST_F(DecodeTool, FindsThePitchOfARecordingByItself)
{
    for (double pitch : {450.0, 1000.0}) {
        const std::string wav = write("p.wav", image(22, 12000, 1, pitch, 3.0));
        const RUN_RESULT tuned = run({"--pitch", std::to_string(pitch), wav});
        const RUN_RESULT found = run({wav});
        EXPECT_EQ(found.status, 0) << found.err;
        EXPECT_EQ(text_metrics::collapse_whitespace(found.out), kText) << pitch;
        // The first character may differ: the engine is still settling there.
        EXPECT_EQ(text_metrics::drop_first_word(found.out), text_metrics::drop_first_word(tuned.out)) << pitch;
    }
}

// 1 when the text or the status file cannot be written, 2 with one line
// naming the problem for bad options and files.
TEST_F(DecodeTool, ExitStatusesAndMessages)
{
    const std::vector<uint8_t> good = image(25, 8000);
    std::vector<uint8_t> slow = good;
    put32(&slow, 24, 4000);  // a sample rate the receiver cannot take
    const struct {
        std::vector<std::string> args;
        const char* mention;
    } bad[] = {
        {{path("missing.wav")}, "missing.wav"},
        {{write("empty.wav", {})}, "empty.wav"},
        {{write("head.wav", std::vector<uint8_t>(good.begin(), good.begin() + 30))}, "head.wav"},
        {{write("slow.wav", slow)}, "4000"},
        {{"--block", "0", path("x.wav")}, "--block"},
    };
    for (const auto& b : bad) {
        const RUN_RESULT r = run(b.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(b.mention), std::string::npos) << r.err;
    }
    RUN_RESULT r = run({"--status", path("no-such-folder/s.jsonl"), write("a.wav", good)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-folder"), std::string::npos);
    r = run({path("a.wav")}, "", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zarvo-decode: cannot write to standard output: No space left on device\n");
}
