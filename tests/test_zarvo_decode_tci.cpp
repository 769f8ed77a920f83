// zarvo-decode as a headless receiver of the bundled TCI simulator playing
// a generated recording.
#include "morse_audio_generator.h"
#include "tool_run.h"
#include "wav_file.h"

#include <gtest/gtest.h>

TEST(ZarvoDecodeTci, DecodesTheSimulatorsStreamUntilTheLinkEnds)
{
    const tool_run::ScratchDir dir("zarvo_decode_tci");
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 30, config.pitchHz = 600, config.sampleRateHz = 48000, config.addNoise = true, config.snrDb = 20;
    std::vector<float> samples;
    std::vector<uint8_t> image;
    ASSERT_TRUE(morse_audio_generate(config, "ZR1ABC TEST", &samples, nullptr, nullptr));
    ASSERT_TRUE(wav_build_image(samples.data(), samples.size(), 1, 48000, WAV_ENCODING_PCM16, &image, nullptr));
    ASSERT_TRUE(wav_write_file(dir / "a.wav", image, nullptr));

    const std::string sim = tool_run::quoted(ZARVO_TCI_SIM_PATH) + " --port 0 --exit-after 7 --wav " + dir / "a.wav";
    FILE* simulator = popen(sim.c_str(), "r");
    ASSERT_NE(simulator, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, simulator), nullptr);
    std::string url = line;  // "Listening on ws://127.0.0.1:PORT"
    ASSERT_EQ(url.rfind("Listening on ws://", 0), 0u) << url;
    url = url.substr(url.find("ws://"), url.find_last_not_of("\r\n") - url.find("ws://") + 1);
    const tool_run::Result decoder = tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>/dev/null");
    while (std::fgets(line, sizeof line, simulator))
        continue;
    pclose(simulator);
    EXPECT_EQ(decoder.status, 3);  // the simulator quit: the link was lost
    EXPECT_NE(decoder.out.find("ZR1ABC TEST"), std::string::npos) << decoder.out;
}

TEST(ZarvoDecodeTci, RefusedConnectionsAndUrlsThatNameNoSingleServer)
{
    const tool_run::Result refused = tool_run::run(ZARVO_DECODE_PATH, {"--tci", "ws://127.0.0.1:1"}, "2>&1");
    EXPECT_TRUE(refused.status == 3 && refused.out == "zarvo-decode: cannot connect: Connection refused\n")
        << refused.out;
    for (const char* url : {"http://127.0.0.1:50001", "ws://127.0.0.1", "ws://a/b:50001", "ws://host:70000"})
        EXPECT_EQ(tool_run::run(ZARVO_DECODE_PATH, {"--tci", url}, "2>/dev/null").status, 2) << url;
}
