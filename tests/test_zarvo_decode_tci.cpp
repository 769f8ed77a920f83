// zarvo-decode as a headless receiver of the bundled TCI simulator playing
// a generated recording.
#include "morse_audio_generator.h"
#include "tool_run.h"
#include "wav_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>

namespace {

void write_cw(const std::string& path, const std::string& text)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 30, config.pitchHz = 600, config.sampleRateHz = 48000, config.addNoise = true, config.snrDb = 20;
    std::vector<float> samples;
    std::vector<uint8_t> image;
    ASSERT_TRUE(morse_audio_generate(config, text, &samples, nullptr, nullptr));
    ASSERT_TRUE(wav_build_image(samples.data(), samples.size(), 1, 48000, WAV_ENCODING_PCM16, &image, nullptr));
    ASSERT_TRUE(wav_write_file(path, image, nullptr));
}

// The simulator's first line, "Listening on ws://127.0.0.1:PORT", gives its address.
std::string listening_url(FILE* simulator)
{
    char line[256] = {};
    if (!std::fgets(line, sizeof line, simulator))
        return "";
    const std::string text = line;
    if (!text.starts_with("Listening on ws://"))
        return "";
    return text.substr(13, text.find_last_not_of("\r\n") - 12);
}

// Reads the simulator's log until it quits by itself.
void wait_for(FILE* simulator)
{
    char line[256];
    while (std::fgets(line, sizeof line, simulator))
        continue;
    pclose(simulator);
}

FILE* start_simulator(const std::string& args)
{
    return popen((tool_run::quoted(ZARVO_TCI_SIM_PATH) + " " + args).c_str(), "r");
}

}  // namespace

TEST(ZarvoDecodeTci, DecodesTheSimulatorsStreamUntilTheLinkEnds)
{
    const tool_run::ScratchDir dir("zarvo_decode_tci");
    write_cw(dir / "a.wav", "ZR1ABC TEST");
    FILE* simulator = start_simulator("--port 0 --exit-after 7 --wav " + dir / "a.wav");
    ASSERT_NE(simulator, nullptr);
    const std::string url = listening_url(simulator);
    ASSERT_FALSE(url.empty());
    const tool_run::Result decoder = tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>&1");
    wait_for(simulator);
    EXPECT_EQ(decoder.status, 3);  // the simulator quit: the link was lost
    EXPECT_NE(decoder.out.find("ZR1ABC TEST"), std::string::npos) << decoder.out;
    EXPECT_NE(decoder.out.find("zarvo-decode: the connection was lost"), std::string::npos) << decoder.out;
}

TEST(ZarvoDecodeTci, FramesWithRateZeroAreDecodedAtTheLastGoodRateAndCountedOnce)
{
    FILE* simulator = start_simulator("--port 0 --exit-after 2 --malformed 1");
    ASSERT_NE(simulator, nullptr);
    const std::string url = listening_url(simulator);
    ASSERT_FALSE(url.empty());
    const tool_run::Result decoder = tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>&1 >/dev/null");
    wait_for(simulator);
    const size_t at = decoder.out.find(" frames with rate 0 decoded at 48000 Hz\n");
    ASSERT_NE(at, std::string::npos) << decoder.out;
    const size_t start = decoder.out.rfind("zarvo-decode: ", at) + 14;
    EXPECT_GT(std::stoi(decoder.out.substr(start, at - start)), 0) << decoder.out;
    EXPECT_EQ(decoder.out.find(" frames with rate 0", at + 1), std::string::npos);  // one message
}

TEST(ZarvoDecodeTci, RefusedConnectionsAndUrlsThatNameNoSingleServer)
{
    const tool_run::Result refused = tool_run::run(ZARVO_DECODE_PATH, {"--tci", "ws://127.0.0.1:1"}, "2>&1");
    EXPECT_TRUE(refused.status == 3 && refused.out == "zarvo-decode: cannot connect: Connection refused\n")
        << refused.out;
    for (const char* url : {"http://127.0.0.1:50001", "ws://127.0.0.1", "ws://a/b:50001", "ws://host:70000"})
        EXPECT_EQ(tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>/dev/null").status, 2) << url;
}

// The server goes away entirely and comes back on the same port with new
// traffic; the decoder finds it again and goes on printing.
TEST(ZarvoDecodeTci, ReconnectsAfterTheServerRestartsAndDecodesWhatFollows)
{
    const tool_run::ScratchDir dir("zarvo_decode_tci_restart");
    write_cw(dir / "a.wav", "ZR1ABC TEST");
    write_cw(dir / "b.wav", "ZR2XYZ AGAIN");
    pid_t decoder = -1;
    std::string url;
    const auto startDecoder = [&](const std::string& at) {
        url = at;
        const std::string command = "exec " + tool_run::quoted(ZARVO_DECODE_PATH) + " --tci " + url + " --reconnect >" +
                                    dir / "out.txt" + " 2>" + dir / "err.txt";
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&decoder, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    };
    FILE* first = start_simulator("--port 0 --exit-after 7 --wav " + dir / "a.wav");
    ASSERT_NE(first, nullptr);
    startDecoder(listening_url(first));
    ASSERT_FALSE(url.empty());
    wait_for(first);
    FILE* second =
        start_simulator("--port " + url.substr(url.rfind(':') + 1) + " --exit-after 8 --wav " + dir / "b.wav");
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(listening_url(second), url);
    wait_for(second);
    kill(decoder, SIGINT);
    int status = -1;
    ASSERT_EQ(waitpid(decoder, &status, 0), decoder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;  // Ctrl-C ends a reconnecting run
    const std::string out = tool_run::slurp(dir / "out.txt"), err = tool_run::slurp(dir / "err.txt");
    EXPECT_NE(out.find("ZR1ABC TEST"), std::string::npos) << out;
    EXPECT_NE(out.find("ZR2XYZ AGAIN"), std::string::npos) << out;
    EXPECT_NE(err.find("the connection was lost"), std::string::npos) << err;
    EXPECT_NE(err.find("; reconnecting to " + url + " in 1 s (attempt 1)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("zarvo-decode: reconnected to " + url + "\n"), std::string::npos) << err;
}
