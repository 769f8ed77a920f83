// What zarvo-skim prints of a skimmer's news: cluster lines for spots,
// spot commands for the radio, text lines per channel, and nothing for
// deletions.
#include "morse_band_generator.h"
#include "skim_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>

namespace {

constexpr uint32_t kRate = 8000;
constexpr int64_t kUtc = 1700000000;  // 22:13 UTC

struct Skimmed {
    std::vector<std::string> lines;
    std::vector<std::string> radio;
    uint64_t spotCount = 0;
};

// Four stations for 40 s through a skimmer whose spots expire after 2 s
// unheard, so that deletions come too.
Skimmed skim(bool text, bool radio)
{
    MORSE_BAND_CONFIG b = morse_band_default_config();
    b.stationCount = 4, b.lowHz = 500, b.highHz = 2000, b.minSpacingHz = 200, b.minSnrDb = 15, b.maxSnrDb = 25;
    b.fadingShare = 0, b.handKeyingShare = 0, b.answerShare = 0, b.startSpreadSeconds = 3, b.seed = 11;
    MORSE_BAND* band = morse_band_create(b);
    CW_SKIMMER_CONFIG c = cw_skimmer_default_config();
    c.sampleRate = kRate, c.dialHz = 14000000, c.spotAgeSeconds = 2;
    CW_SKIMMER* skimmer = cw_skimmer_create(&c);
    FILE* out = std::tmpfile();
    SKIM_OUTPUT* output = skim_output_create(
        {.out = out, .spotter = "ZARVO-#", .text = text, .cluster = nullptr, .radioCommands = radio});
    Skimmed run;
    std::vector<float> block(1024);
    for (uint32_t i = 0; i < 40 * kRate / 1024; ++i) {
        morse_band_render(band, block.data(), block.size());
        cw_skimmer_process(skimmer, block.data(), block.size());
        EXPECT_TRUE(skim_output_take(output, skimmer, kUtc));
        for (std::string& command : skim_output_take_radio_commands(output))
            run.radio.push_back(std::move(command));
    }
    EXPECT_TRUE(skim_output_flush_text(output));
    run.spotCount = skim_output_spot_count(output);
    std::rewind(out);
    char line[512];
    while (std::fgets(line, sizeof line, out))
        run.lines.push_back(line);
    skim_output_destroy(output);
    std::fclose(out);
    cw_skimmer_destroy(skimmer);
    morse_band_destroy(band);
    return run;
}

}  // namespace

// Each spot is one cluster line and, for the radio, one spot command at
// the same frequency in Hz; deletions print nothing but reach the radio.
// Text lines carry a channel's frequency in kHz with two decimals, no line
// runs far past the length limit, and spot lines are the same as without
// text. No radio commands unless asked for.
TEST(SkimOutput, SpotsBecomeClusterLinesAndRadioCommandsBesideTheText)
{
    const Skimmed run = skim(true, true), plain = skim(false, false);
    EXPECT_TRUE(plain.radio.empty());
    const std::regex spotCommand("spot:([A-Z0-9/]+),cw,([0-9]+),4294901760,CW [0-9]+ dB [0-9]+ WPM( CQ)?;");
    const std::regex deleteCommand("spot_delete:([A-Z0-9/]+);");
    std::vector<std::string> spotted, deleted;
    std::vector<double> commandKhz;
    for (const std::string& c : run.radio) {
        std::smatch m;
        if (std::regex_match(c, m, spotCommand))
            spotted.push_back(m[1]), commandKhz.push_back(std::stod(m[2]) / 1000.0);
        else if (std::regex_match(c, m, deleteCommand))
            deleted.push_back(m[1]);
        else
            ADD_FAILURE() << "not a spot command: " << c;
    }
    const std::regex textLine("(140[0-9]{2}\\.[0-9]{2})  (\\S.*\\S|\\S)\n");
    std::vector<std::string> spots;
    size_t texts = 0, cq = 0;
    for (const std::string& line : run.lines) {
        std::smatch m;
        if (!line.starts_with("DX de ")) {
            ASSERT_TRUE(std::regex_match(line, m, textLine)) << line;
            EXPECT_LT(m[2].length(), static_cast<long>(kSkimTextLineChars + kCWSkimmerTextBytes)) << line;
            ++texts;
            cq += m[2].str().find("CQ") != std::string::npos ? 1 : 0;
            continue;
        }
        const size_t i = spots.size();
        spots.push_back(line);
        EXPECT_EQ(line.size(), 76u) << line;  // 75 columns and LF, no CR on a terminal
        EXPECT_TRUE(line.starts_with("DX de ZARVO-#:") && line.ends_with("2213Z\n")) << line;
        std::istringstream fields(line.substr(14));
        double khz = 0;
        std::string call;
        fields >> khz >> call;
        ASSERT_LT(i, spotted.size()) << line;
        EXPECT_EQ(call, spotted[i]);
        EXPECT_NEAR(khz, commandKhz[i], 0.05);
        EXPECT_TRUE(khz > 14000.4 && khz < 14002.1) << line;
    }
    ASSERT_GE(spots.size(), 2u);
    EXPECT_EQ(run.spotCount, spots.size());
    EXPECT_EQ(spotted.size(), spots.size());
    EXPECT_EQ(spots, plain.lines);
    EXPECT_GE(texts, 4u);
    EXPECT_GE(cq, 2u);
    // Spots that expire are taken off the panorama, and only spotted calls.
    EXPECT_FALSE(deleted.empty());
    for (const std::string& call : deleted)
        EXPECT_NE(std::find(spotted.begin(), spotted.end(), call), spotted.end()) << call;
}

TEST(SkimOutput, NullHandlesAreSafe)
{
    EXPECT_EQ(
        skim_output_create({.out = nullptr, .spotter = "X", .text = false, .cluster = nullptr, .radioCommands = false}),
        nullptr);
    EXPECT_FALSE(skim_output_take(nullptr, nullptr, kUtc));
    EXPECT_FALSE(skim_output_flush_text(nullptr));
    EXPECT_TRUE(skim_output_take_radio_commands(nullptr).empty());
    EXPECT_EQ(skim_output_spot_count(nullptr), 0u);
    skim_output_destroy(nullptr);
}
