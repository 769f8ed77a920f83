// zarvo-skim on the receive audio of the bundled TCI simulator playing a
// generated band: spots at the vfo plus the pitch heard minus the CW pitch.
#include "morse_band_generator.h"
#include "tool_run.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

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

}  // namespace

TEST(ZarvoSkimTci, SpotsTheSimulatorsAudioAtTheVfo)
{
    const tool_run::ScratchDir dir("zarvo_skim_tci");
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.sampleRateHz = 8000, c.stationCount = 3, c.lowHz = 500, c.highHz = 1500, c.minSpacingHz = 200;
    c.minSnrDb = 15, c.maxSnrDb = 25, c.minWpm = 25, c.maxWpm = 35;
    c.fadingShare = 0, c.handKeyingShare = 0, c.answerShare = 0, c.startSpreadSeconds = 1, c.minPauseSeconds = 1,
    c.maxPauseSeconds = 2, c.seed = 5;
    MORSE_BAND* band = morse_band_create(c);
    ASSERT_NE(band, nullptr);
    std::vector<float> samples(20 * 8000);
    morse_band_render(band, samples.data(), samples.size());
    std::vector<MORSE_BAND_STATION> stations(morse_band_station_count(band));
    for (size_t i = 0; i < stations.size(); ++i)
        morse_band_get_station(band, i, &stations[i]);
    morse_band_destroy(band);
    std::vector<uint8_t> image;
    ASSERT_TRUE(wav_build_image(samples.data(), samples.size(), 1, 8000, WAV_ENCODING_PCM16, &image, nullptr));
    ASSERT_TRUE(wav_write_file(dir / "band.wav", image, nullptr));

    FILE* simulator = popen((tool_run::quoted(ZARVO_TCI_SIM_PATH) + " --port 0 --rate 8000 --exit-after 21 --wav " +
                             tool_run::quoted(dir / "band.wav"))
                                .c_str(),
                            "r");
    ASSERT_NE(simulator, nullptr);
    const std::string url = listening_url(simulator);
    ASSERT_FALSE(url.empty());
    const tool_run::Result skim =
        tool_run::run(ZARVO_SKIM_PATH, {"--tci", url, "--pitch", "700"}, "2>" + tool_run::quoted(dir / "err.txt"));
    char line[256];
    while (std::fgets(line, sizeof line, simulator))
        continue;
    pclose(simulator);
    EXPECT_EQ(skim.status, 3);  // the simulator quit: the link was lost
    const std::string err = tool_run::slurp(dir / "err.txt");
    EXPECT_NE(err.find("receiving audio at 8000 Hz"), std::string::npos) << err;

    // The simulator's vfo is 7025000 Hz: a carrier at pitch P is at 7025000 + P - 700.
    size_t spotted = 0;
    std::istringstream out(skim.out);
    for (std::string spot; std::getline(out, spot);) {
        ASSERT_TRUE(spot.starts_with("DX de ZARVO-#:")) << spot;
        std::istringstream fields(spot.substr(14));
        double khz = 0;
        std::string call;
        fields >> khz >> call;
        bool sent = false;
        for (const MORSE_BAND_STATION& s : stations)
            if (call == s.call) {
                sent = true;
                EXPECT_NEAR(khz, (7025000 + s.frequencyHz - 700) / 1000.0, 0.1) << spot;
            }
        EXPECT_TRUE(sent) << "spotted a call not sent: " << spot;
        spotted += sent ? 1 : 0;
    }
    EXPECT_GE(spotted, 2u) << skim.out << err;
}
