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

}  // namespace

TEST(ZarvoDecodeTci, FramesWithRateZeroAreDecodedAtTheLastGoodRateAndCountedOnce)
{
    FILE* simulator = tool_run::start(ZARVO_TCI_SIM_PATH, "--port 0 --exit-after 2 --malformed 1");
    const std::string url = tool_run::listening_url(simulator);
    ASSERT_FALSE(url.empty());
    const tool_run::Result decoder = tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>&1 >/dev/null");
    tool_run::drain(simulator);
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
// traffic: a decoder told to reconnect finds it again and goes on printing,
// one that was not ends with status 3 when the link is lost.
TEST(ZarvoDecodeTci, DecodesTheSimulatorsStreamAndReconnectsAfterTheServerRestarts)
{
    const tool_run::ScratchDir dir("zarvo_decode_tci");
    write_cw(dir / "a.wav", "ZR1ABC TEST");
    write_cw(dir / "b.wav", "ZR2XYZ AGAIN");
    FILE* first = tool_run::start(ZARVO_TCI_SIM_PATH, "--port 0 --exit-after 7 --wav " + dir / "a.wav");
    const std::string url = tool_run::listening_url(first);
    ASSERT_FALSE(url.empty());
    const std::string command = "exec " + tool_run::program(ZARVO_DECODE_PATH) + " --tci " + url + " --reconnect >" +
                                dir / "out.txt" + " 2>" + dir / "err.txt";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t decoder = -1;
    ASSERT_EQ(posix_spawn(&decoder, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    const tool_run::Result once = tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>&1");
    tool_run::drain(first);
    EXPECT_EQ(once.status, 3);  // the simulator quit: the link was lost
    EXPECT_NE(once.out.find("ZR1ABC TEST"), std::string::npos) << once.out;
    EXPECT_NE(once.out.find("zarvo-decode: the connection was lost"), std::string::npos) << once.out;

    FILE* second = tool_run::start(ZARVO_TCI_SIM_PATH, "--port " + url.substr(url.rfind(':') + 1) +
                                                           " --exit-after 8 --wav " + dir / "b.wav");
    ASSERT_EQ(tool_run::listening_url(second), url);
    tool_run::drain(second);
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
