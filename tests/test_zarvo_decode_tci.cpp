// zarvo-decode as a headless receiver of a TCI server, against the bundled
// simulator playing a generated recording.
#include "morse_audio_generator.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

struct ProcessResult {
    std::string output;
    int status = -1;
};

ProcessResult run(const std::string& command)
{
    ProcessResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string write_recording(const std::string& text)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 30;
    config.pitchHz = 600;
    config.sampleRateHz = 48000;
    config.addNoise = true;
    config.snrDb = 20;
    std::vector<float> samples;
    std::vector<uint8_t> image;
    const std::string path = testing::TempDir() + "zarvo-decode-tci-" + std::to_string(getpid()) + ".wav";
    EXPECT_TRUE(morse_audio_generate(config, text, &samples, nullptr, nullptr));
    EXPECT_TRUE(wav_build_image(samples.data(), samples.size(), 1, 48000, WAV_ENCODING_PCM16, &image, nullptr));
    EXPECT_TRUE(wav_write_file(path, image, nullptr));
    return path;
}

TEST(ZarvoDecodeTci, DecodesTheSimulatorsStreamUntilTheLinkEnds)
{
    const std::string wav = write_recording("ZR1ABC TEST");
    FILE* simulator = popen((std::string(ZARVO_TCI_SIM_PATH) + " --port 0 --exit-after 7 --wav " + wav).c_str(), "r");
    ASSERT_NE(simulator, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, simulator), nullptr);
    const std::string listening = line;  // "Listening on ws://127.0.0.1:PORT"
    ASSERT_EQ(listening.rfind("Listening on ws://", 0), 0u) << listening;
    const std::string url = listening.substr(listening.find("ws://"), listening.find_last_not_of("\r\n") -
                                                                         listening.find("ws://") + 1);

    const ProcessResult decoder = run(std::string(ZARVO_DECODE_PATH) + " --tci " + url + " 2>/dev/null");
    while (std::fgets(line, sizeof line, simulator)) {
    }
    pclose(simulator);
    std::remove(wav.c_str());
    EXPECT_EQ(decoder.status, 3);  // the simulator quit: the link was lost
    EXPECT_NE(decoder.output.find("ZR1ABC TEST"), std::string::npos) << decoder.output;
}

TEST(ZarvoDecodeTci, ARefusedConnectionIsOneLineAndAFailure)
{
    const ProcessResult decoder = run(std::string(ZARVO_DECODE_PATH) + " --tci ws://127.0.0.1:1 2>&1");
    EXPECT_EQ(decoder.status, 3);
    EXPECT_EQ(decoder.output, "zarvo-decode: cannot connect: Connection refused\n");
}

TEST(ZarvoDecodeTci, UrlsThatNameNoSingleServerAreRefused)
{
    for (const char* url : {"http://127.0.0.1:50001", "ws://127.0.0.1", "ws://a/b:50001", "ws://host:70000"}) {
        const ProcessResult decoder = run(std::string(ZARVO_DECODE_PATH) + " --tci '" + url + "' 2>/dev/null");
        EXPECT_EQ(decoder.status, 2) << url;
    }
}

}  // namespace
