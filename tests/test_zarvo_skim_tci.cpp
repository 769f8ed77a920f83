// zarvo-skim on the receive audio of a TCI server: the bundled simulator
// playing a generated band, and a two-receiver test radio of a different
// make. Spots are at the vfo of receiver 0, channel 0 plus the pitch heard
// minus the CW pitch.
#include "morse_band_generator.h"
#include "qt_wait.h"
#include "tci_commands.h"
#include "tci_test_radio.h"
#include "tool_run.h"
#include "wav_file.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <regex>
#include <sstream>

namespace {

// Where each call was sent, in Hz on the air.
using Truth = std::vector<std::pair<std::string, double>>;

// The cluster lines of a run: every one names a call that was sent, at its
// frequency within 0.1 kHz; how many did.
size_t spots_of_calls_sent(const std::string& out, const Truth& truth)
{
    size_t spotted = 0;
    std::istringstream lines(out);
    for (std::string spot; std::getline(lines, spot);) {
        EXPECT_TRUE(spot.starts_with("DX de ZARVO-#:")) << spot;
        std::istringstream fields(spot.substr(std::min<size_t>(14, spot.size())));
        double khz = 0;
        std::string call;
        fields >> khz >> call;
        const auto sent = std::find_if(truth.begin(), truth.end(), [&](const auto& t) { return t.first == call; });
        EXPECT_TRUE(sent != truth.end()) << "spotted a call not sent: " << spot;
        if (sent == truth.end())
            continue;
        EXPECT_NEAR(khz, sent->second / 1000.0, 0.1) << spot;
        ++spotted;
    }
    return spotted;
}

// The simulator's IQ stations: "CALL HZ WPM SNR FIRST" a line after a '#' header.
Truth iq_truth(const std::string& text)
{
    Truth truth;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string call;
        double hz = 0;
        if (!line.starts_with("#") && fields >> call >> hz)
            truth.emplace_back(call, hz);
    }
    return truth;
}

}  // namespace

// Two skimmers on one simulator at once: one on its receive audio, one on
// its IQ. Both end when the simulator quits.
TEST(ZarvoSkimTci, SpotsTheSimulatorsAudioAtTheVfoAndItsIqAroundTheDds)
{
    const tool_run::ScratchDir dir("zarvo_skim_tci");
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.sampleRateHz = 8000, c.stationCount = 3, c.lowHz = 500, c.highHz = 1500, c.minSpacingHz = 200, c.seed = 5;
    c.minSnrDb = 15, c.maxSnrDb = 25, c.minWpm = 25, c.maxWpm = 35, c.minPauseSeconds = 1, c.maxPauseSeconds = 2;
    c.fadingShare = 0, c.handKeyingShare = 0, c.answerShare = 0, c.startSpreadSeconds = 1;
    MORSE_BAND* band = morse_band_create(c);
    ASSERT_NE(band, nullptr);
    std::vector<float> samples(20 * 8000);
    morse_band_render(band, samples.data(), samples.size());
    // The simulator's vfo is 7025000 Hz: a carrier at pitch P is at 7025000 + P - 700.
    Truth audioTruth;
    for (size_t i = 0; i < morse_band_station_count(band); ++i) {
        MORSE_BAND_STATION s;
        morse_band_get_station(band, i, &s);
        audioTruth.emplace_back(s.call, 7025000 + s.frequencyHz - 700);
    }
    morse_band_destroy(band);
    std::vector<uint8_t> image;
    ASSERT_TRUE(wav_build_image(samples.data(), samples.size(), 1, 8000, WAV_ENCODING_PCM16, &image, nullptr));
    ASSERT_TRUE(wav_write_file(dir / "band.wav", image, nullptr));

    FILE* simulator = tool_run::start(ZARVO_TCI_SIM_PATH, "--port 0 --rate 8000 --exit-after 21 --iq-stations 6 "
                                                          "--seed 3 --iq-truth " +
                                                              tool_run::quoted(dir / "truth.txt") + " --wav " +
                                                              tool_run::quoted(dir / "band.wav"));
    const std::string url = tool_run::listening_url(simulator);
    ASSERT_FALSE(url.empty());
    FILE* iqSkim = tool_run::start(ZARVO_SKIM_PATH, "--tci " + tool_run::quoted(url) + " --iq --iq-rate 48000 >" +
                                                        tool_run::quoted(dir / "iq-out.txt") + " 2>" +
                                                        tool_run::quoted(dir / "iq-err.txt"));
    const tool_run::Result skim =
        tool_run::run(ZARVO_SKIM_PATH, {"--tci", url, "--pitch", "700"}, "2>" + tool_run::quoted(dir / "err.txt"));
    const int iqStatus = tool_run::drain(iqSkim);
    tool_run::drain(simulator);

    EXPECT_EQ(skim.status, 3);  // the simulator quit: the link was lost
    const std::string err = tool_run::slurp(dir / "err.txt");
    EXPECT_NE(err.find("receiving audio at 8000 Hz"), std::string::npos) << err;
    EXPECT_GE(spots_of_calls_sent(skim.out, audioTruth), 2u) << skim.out << err;

    // IQ: a station at offset F from the dds (7025000 Hz) is on 7025000 + F.
    EXPECT_EQ(iqStatus, 3);
    const std::string iqOut = tool_run::slurp(dir / "iq-out.txt");
    const std::string iqErr = tool_run::slurp(dir / "iq-err.txt");
    EXPECT_NE(iqErr.find("receiving IQ at 48000 Hz"), std::string::npos) << iqErr;
    const Truth truth = iq_truth(tool_run::slurp(dir / "truth.txt"));
    ASSERT_EQ(truth.size(), 6u);
    EXPECT_GE(spots_of_calls_sent(iqOut, truth), 2u) << iqOut << iqErr;
}

// The radio reports the panorama centre, VFO B and a second receiver beside
// VFO A; the spot, printed and sent back to the radio, is at VFO A.
TEST(ZarvoSkimTci, SpotsATwoReceiverRadioAtVfoAAndPutsTheSpotOnItsPanorama)
{
    int argc = 1;
    char name[] = "test_zarvo_skim_tci";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const tci_test_radio::STATION station = {.wpm = 22.0, .pitchHz = 830.0};
    tci_test_radio::Radio radio(station);
    std::string error;
    ASSERT_TRUE(radio.listen(&error)) << error;

    const tool_run::ScratchDir dir("zarvo_skim_tci_radio");
    // Started without QProcess: its fork fails under the emulator of a cross build's tests.
    const pid_t skim =
        tool_run::spawn(ZARVO_SKIM_PATH, {"--tci", radio.url(), "--spots-to-radio"}, dir / "out.txt", dir / "err.txt");
    ASSERT_GT(skim, 0);
    std::string out;
    const bool spotted = qt_wait::until(
        [&] {
            out = tool_run::slurp(dir / "out.txt");
            return !radio.received("spot").empty() && out.find('\n') != std::string::npos;
        },
        30000);
    ::kill(skim, SIGTERM);  // as at Ctrl+C: the stream is stopped before the close
    int status = -1;
    ASSERT_TRUE(qt_wait::until([&] { return ::waitpid(skim, &status, WNOHANG) == skim; }, 5000));
    out = tool_run::slurp(dir / "out.txt");
    const std::string err = tool_run::slurp(dir / "err.txt");
    ASSERT_TRUE(spotted) << out << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_NE(err.find("receiving audio at 48000 Hz"), std::string::npos) << err;
    EXPECT_EQ(radio.received("audio_start"), std::vector<std::string>{"audio_start:0;"});
    EXPECT_EQ(radio.received("audio_stop"), std::vector<std::string>{"audio_stop:0;"});

    // "DX de ZARVO-#:  14025.2  DL2QZA       CW 19 dB 22 WPM CQ   1234Z"
    const double stationHz = tci_test_radio::station_radio_hz(station);
    std::smatch line;
    ASSERT_TRUE(
        std::regex_search(out, line, std::regex(R"(DX de ZARVO-#: +(\d+\.\d) +(\S+) +(CW -?\d+ dB (\d+) WPM CQ))")))
        << out;
    EXPECT_EQ(line[2].str(), "DL2QZA") << out;
    EXPECT_NEAR(std::stod(line[1].str()), stationHz / 1000.0, 0.051) << out;
    EXPECT_NEAR(std::stod(line[4].str()), station.wpm, 3.0) << out;

    // Exactly one spot command, at the station's frequency, with the line's comment.
    const std::vector<std::string> spots = radio.received("spot");
    ASSERT_EQ(spots.size(), 1u) << out;
    const TCI_COMMAND command = tci_parse_command(spots[0].substr(0, spots[0].size() - 1));
    ASSERT_EQ(command.arguments.size(), 5u) << spots[0];
    const double hz = std::stod(command.arguments[2]);
    EXPECT_NEAR(hz, stationHz, 25.0) << spots[0];
    EXPECT_EQ(spots[0], tci_spot_command("DL2QZA", "cw", hz, kTCISpotDefaultArgb, line[3].str()));
}
