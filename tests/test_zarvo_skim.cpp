// zarvo-skim run as a process on generated band recordings: the spots it
// prints, where it puts them, the text of every channel, IQ files and the
// mistakes it refuses.
#include "morse_band_generator.h"
#include "tool_run.h"
#include "wav_file.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>
#include <regex>
#include <sstream>

namespace {

struct Band {
    std::string path;
    std::vector<MORSE_BAND_STATION> stations;
};

struct Spot {
    std::string call;
    double khz;
};

// Six keyed stations, none fading, 60 s of audio at 8 kHz (or IQ around a
// centre): enough for each to call CQ a few times.
MORSE_BAND_CONFIG band_config(bool iq)
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.sampleRateHz = iq ? 48000 : 8000, c.output = iq ? MORSE_BAND_IQ : MORSE_BAND_AUDIO, c.stationCount = iq ? 4 : 6;
    c.lowHz = iq ? -2500 : 400, c.highHz = iq ? 2500 : 2600, c.minSpacingHz = 150, c.minSnrDb = 12, c.maxSnrDb = 25;
    c.fadingShare = 0, c.handKeyingShare = 0, c.answerShare = 0, c.startSpreadSeconds = 5, c.seed = 7;
    return c;
}

Band write_band(const std::string& path, const MORSE_BAND_CONFIG& config, double seconds)
{
    MORSE_BAND* band = morse_band_create(config);
    EXPECT_NE(band, nullptr);
    const uint16_t channels = config.output == MORSE_BAND_IQ ? 2 : 1;
    std::vector<float> samples(static_cast<size_t>(seconds * config.sampleRateHz) * channels);
    morse_band_render(band, samples.data(), samples.size() / channels);
    Band out{.path = path, .stations = {}};
    for (size_t i = 0; i < morse_band_station_count(band); ++i) {
        MORSE_BAND_STATION s{};
        morse_band_get_station(band, i, &s);
        out.stations.push_back(s);
    }
    morse_band_destroy(band);
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(wav_build_image(samples.data(), samples.size(), channels, config.sampleRateHz, WAV_ENCODING_FLOAT32,
                                &image, &error))
        << error;
    EXPECT_TRUE(wav_write_file(path, image, &error)) << error;
    return out;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The fixed columns loggers read: frequency ending at 24, call from 27,
// comment from 40, time at 71..75.
::testing::AssertionResult has_cluster_layout(const std::string& line, const std::string& spotter)
{
    const std::regex head("DX de " + std::regex_replace(spotter, std::regex("[#-]"), "\\$&") + ": +[0-9]+\\.[0-9]");
    static const std::regex call("[A-Z0-9/]+ *");
    static const std::regex comment("CW -?[0-9]+ dB [0-9]+ WPM( CQ)? *");
    static const std::regex time("[0-2][0-9][0-5][0-9]Z");
    if (line.size() == 75 && std::regex_match(line.substr(0, 24), head) && line.substr(24, 2) == "  " &&
        std::regex_match(line.substr(26, 13), call) && std::regex_match(line.substr(39, 31), comment) &&
        std::regex_match(line.substr(70, 5), time))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not a cluster line: '" << line << "'";
}

// A socket bound to a loopback port of its own, which *address names.
int bound_socket(sockaddr_in* address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    *address = sockaddr_in{
        .sin_family = AF_INET, .sin_port = 0, .sin_addr = {.s_addr = htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof *address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(address), length), 0);
    EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(address), &length), 0);
    return fd;
}

Spot spot_of(const std::string& line)
{
    std::istringstream fields(line.substr(line.find(':') + 1));
    Spot s;
    fields >> s.khz >> s.call;
    return s;
}

class SkimTool : public ::testing::Test {
protected:
    // Standard output comes back unless redirected; standard error goes to err.
    tool_run::Result run(const std::vector<std::string>& args, const std::string& redirect = "")
    {
        const tool_run::Result r =
            tool_run::run(ZARVO_SKIM_PATH, args, redirect + " 2>" + tool_run::quoted(dir / "err.txt"));
        err = tool_run::slurp(dir / "err.txt");
        return r;
    }

    // Every spot line is checked against the stations sent: a call that
    // was not sent fails, a call sent must be at its carrier (plus the
    // dial): within 50 Hz, and 50 Hz more for the line's 0.1 kHz steps.
    // Returns the calls spotted.
    std::map<std::string, double> check_spots(const std::vector<std::string>& lines, const Band& band, double dialKhz,
                                              const std::string& spotter = "ZARVO-#")
    {
        std::map<std::string, double> spotted;
        for (const std::string& line : lines) {
            if (!line.starts_with("DX de "))
                continue;
            EXPECT_TRUE(has_cluster_layout(line, spotter));
            const Spot s = spot_of(line);
            const MORSE_BAND_STATION* sent = nullptr;
            for (const MORSE_BAND_STATION& st : band.stations)
                if (s.call == st.call)
                    sent = &st;
            if (sent == nullptr) {
                ADD_FAILURE() << "spotted a call not sent: " << line;
                continue;
            }
            EXPECT_NEAR(s.khz, dialKhz + sent->frequencyHz / 1000.0, 0.1) << line;
            spotted[s.call] = s.khz;
        }
        return spotted;
    }

    tool_run::ScratchDir dir{"zarvo_skim"};
    std::string err;
};

}  // namespace

// A recording of six stations: each spot a cluster line at the station's
// pitch in kHz, most stations spotted, none invented. --dial moves every
// spot by the dial, --spotter names the spotter and --text adds a line per
// channel and over, "KHZ  TEXT", at the channel's frequency, with the spot
// lines whole among them. --cluster serves the very lines printed to a
// logger that logged in while the recording came through a pipe, and
// standard input spots as the file does. A full disk is status 1.
TEST_F(SkimTool, SpotsTheStationsOfAnAudioBand)
{
    const Band band = write_band(dir / "band.wav", band_config(false), 60);
    const tool_run::Result plain = run({band.path});
    ASSERT_EQ(plain.status, 0) << err;
    const std::vector<std::string> lines = lines_of(plain.out);
    for (const std::string& line : lines)
        EXPECT_TRUE(has_cluster_layout(line, "ZARVO-#"));
    const std::map<std::string, double> spotted = check_spots(lines, band, 0);
    EXPECT_GE(spotted.size(), 4u) << plain.out;

    const tool_run::Result text = run({"--text", "--dial", "7020000", "--spotter", "DL1ABC-2", band.path});
    ASSERT_EQ(text.status, 0) << err;
    const std::map<std::string, double> onDial = check_spots(lines_of(text.out), band, 7020, "DL1ABC-2");
    EXPECT_GE(onDial.size(), 4u) << text.out;
    for (const auto& [call, khz] : onDial)
        EXPECT_TRUE(khz > 7020.3 && khz < 7022.7) << call << " " << khz;
    const std::regex textLine("(7[0-9]{3}\\.[0-9]{2})  (\\S.*)");
    size_t texts = 0, withCq = 0;
    for (const std::string& line : lines_of(text.out)) {
        std::smatch m;
        if (line.starts_with("DX de "))
            continue;
        ASSERT_TRUE(std::regex_match(line, m, textLine)) << "neither a spot nor a text line: '" << line << "'";
        EXPECT_LE(line.size(), 200u) << line;
        const double khz = std::stod(m[1]);
        EXPECT_TRUE(std::ranges::any_of(band.stations, [&](const MORSE_BAND_STATION& st) {
            return std::abs(khz - (7020 + st.frequencyHz / 1000.0)) < 0.05;
        })) << line;
        ++texts;
        withCq += m[2].str().find("CQ") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(texts, 6u) << text.out;
    EXPECT_GE(withCq, 4u) << text.out;

    // The cluster feed, on a port free a moment ago.
    sockaddr_in address{};
    ::close(bound_socket(&address));
    const std::string command = tool_run::program(ZARVO_SKIM_PATH) + " --cluster " +
                                std::to_string(ntohs(address.sin_port)) + " - >" + tool_run::quoted(dir / "out.txt");
    FILE* skim = popen(command.c_str(), "w");
    ASSERT_NE(skim, nullptr);
    // The header and a second of audio: the listener is up, no call is whole yet.
    const std::string bytes = tool_run::slurp(band.path);
    const size_t head = 44 + 8000 * 4;
    std::fwrite(bytes.data(), 1, head, skim);
    std::fflush(skim);
    const int logger = ::socket(AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        connected = ::connect(logger, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (!connected)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(connected);
    const timeval wait{.tv_sec = 10, .tv_usec = 0};
    ::setsockopt(logger, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ASSERT_EQ(::send(logger, "N0CALL\r\n", 8, 0), 8);
    std::fwrite(bytes.data() + head, 1, bytes.size() - head, skim);
    EXPECT_EQ(pclose(skim), 0);
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(logger, buffer, sizeof buffer, 0)) > 0;)
        received.append(buffer, static_cast<size_t>(n));
    ::close(logger);
    const std::vector<std::string> printed = lines_of(tool_run::slurp(dir / "out.txt"));
    EXPECT_EQ(check_spots(printed, band, 0), spotted);
    for (const std::string& line : printed)
        EXPECT_NE(received.find(line + "\r\n"), std::string::npos) << line << " not served:\n" << received;

    EXPECT_EQ(run({band.path}, ">/dev/full").status, 1);
    EXPECT_EQ(err, "zarvo-skim: cannot write to standard output: No space left on device\n");
}

// An IQ recording: spots at the centre plus each station's offset, those
// below the centre under the dial.
TEST_F(SkimTool, SpotsAnIqBandAroundItsCentre)
{
    const Band band = write_band(dir / "iq.wav", band_config(true), 45);
    const tool_run::Result r = run({"--iq", "--dial", "7030000", band.path});
    ASSERT_EQ(r.status, 0) << err;
    const std::map<std::string, double> spotted = check_spots(lines_of(r.out), band, 7030);
    EXPECT_GE(spotted.size(), 3u) << r.out;
    const auto below = std::ranges::count_if(spotted, [](const auto& spot) { return spot.second < 7030; });
    EXPECT_GE(below, 1) << r.out;
    EXPECT_GE(spotted.size() - below, 1u) << r.out;
    // Read as audio, the same file cannot be skimmed as a band around a centre.
    EXPECT_EQ(run({"--iq", write_band(dir / "mono.wav", band_config(false), 1).path}).status, 2);
    EXPECT_NE(err.find("one channel"), std::string::npos) << err;
}

// Mistakes are one line on standard error and status 2, nothing on
// standard output (each mistake of the command line is the options' own
// test).
TEST_F(SkimTool, RefusesBadOptionsAndInputs)
{
    const std::string good = write_band(dir / "a.wav", band_config(false), 1).path;
    // A port that is already taken cannot carry the cluster feed.
    sockaddr_in address{};
    const int busy = bound_socket(&address);
    ASSERT_EQ(::listen(busy, 1), 0);
    const std::string busyPort = std::to_string(ntohs(address.sin_port));
    const struct {
        std::vector<std::string> args;
        const char* mention;
    } bad[] = {
        {{dir / "missing.wav"}, "missing.wav"},
        {{}, "no input file"},
        {{"--no-such-option", good}, "--no-such-option"},
        {{"--cluster", busyPort, good}, "cluster feed"},
    };
    for (const auto& b : bad) {
        const tool_run::Result r = run(b.args);
        EXPECT_TRUE(r.status == 2 && r.out.empty()) << err;
        EXPECT_TRUE(err.starts_with("zarvo-skim: ") && err.find('\n') == err.size() - 1 &&
                    err.find(b.mention) != std::string::npos)
            << err;
    }
    ::close(busy);
}

TEST_F(SkimTool, HelpListsTheOptions)
{
    const tool_run::Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--iq", "--spotter", "--dial", "--text", "--channels", "--low", "--high", "--cluster",
                               "--tci", "--iq-rate", "--pitch", "--spots-to-radio", "Exit status"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}
