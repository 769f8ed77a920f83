#include "tci_commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

// Only a host and port that name exactly one server make an acceptable URL;
// the text is still made, so that the refusal can show it.
TEST(TciUrl, HostAndPortMustNameExactlyOneServer)
{
    const struct {
        const char* host;
        uint64_t port;
        const char* text;
        bool acceptable;
    } cases[] = {
        {"   ", 50001, "ws://127.0.0.1:50001", true},
        {"\t radio.local \r\n", 40001, "ws://radio.local:40001", true},
        {"[::1]", 65535, "ws://[::1]:65535", true},
        {"h", 65536, "ws://h:65536", false},
        {"h", UINT64_MAX, "ws://h:18446744073709551615", false},
        {"[::1]x", 1, "ws://[::1]x:1", false},
    };
    for (const auto& k : cases) {
        const TCI_URL url = tci_make_url(k.host, k.port);
        EXPECT_TRUE(url.text == k.text && url.acceptable == k.acceptable) << url.text;
    }
    for (const char* host : {"a/b", "x#y", "user@radio", "radio:80", "radio?x", "ra dio", "r%61dio", "[::1", "[]"}) {
        const TCI_URL url = tci_make_url(host, 50001);
        EXPECT_TRUE(!url.acceptable && url.text == std::string("ws://") + host + ":50001") << host;
    }
}

TEST(TciCommands, MessagesSplitIntoTrimmedCommandsWithLowerCaseNames)
{
    EXPECT_EQ(tci_split_commands("a;b;; c \r\n;"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(tci_split_commands("trx_count:1"), (std::vector<std::string>{"trx_count:1"}));
    EXPECT_TRUE(tci_split_commands(" ;;; ").empty());

    const TCI_COMMAND vfo = tci_parse_command(" VFO:0, 0 ,7025000 ");
    EXPECT_TRUE(vfo.name == "vfo" && vfo.hasArguments && vfo.argumentText == "0, 0 ,7025000");
    EXPECT_EQ(vfo.arguments, (std::vector<std::string>{"0", "0", "7025000"}));
    const TCI_COMMAND query = tci_parse_command("cw_macros_speed");
    EXPECT_TRUE(!query.hasArguments && query.arguments.empty());
    const TCI_COMMAND macro = tci_parse_command("cw_macros:0,A:B");  // only the first colon separates
    EXPECT_TRUE(macro.name == "cw_macros" && macro.argumentText == "0,A:B");
    EXPECT_EQ(tci_parse_command(":").arguments, (std::vector<std::string>{""}));
}

TEST(TciCommands, CwMacroTextSurvivesTheRoundTripThroughACommand)
{
    const std::string text = "R TNX, NAME: ZARVO; 5NN <BT> ?/=+ \u00c4";
    const std::vector<std::string> commands = tci_cw_macro_commands(25, text);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_TRUE(commands[0] == "cw_terminal:false;" && commands[1] == "cw_macros_speed:25;");
    // The server splits the message as the simulator does, and decodes it.
    const std::vector<std::string> split = tci_split_commands(commands[2]);
    ASSERT_EQ(split.size(), 1u);
    const TCI_COMMAND macro = tci_parse_command(split[0]);
    ASSERT_TRUE(macro.name == "cw_macros" && macro.arguments.size() == 2u && macro.arguments[0] == "0");
    EXPECT_EQ(tci_decode_cw_macro_text(macro.arguments[1]), text);
    // Line breaks cannot be sent; they go as spaces.
    EXPECT_EQ(tci_encode_cw_macro_text("A\tB\nC\rD"), "A B C D");
}

TEST(TciSpotCommands, SpotsCarryWholeHzADecimalColourAndNoReservedCharacters)
{
    EXPECT_EQ(tci_spot_command("DL2QZA", "cw", 7025300.0, kTCISpotDefaultArgb, "24 WPM 18 dB CQ"),
              "spot:DL2QZA,cw,7025300,4294901760,24 WPM 18 dB CQ;");
    EXPECT_EQ(tci_spot_command("K1ABC", "cw", 14025049.6, 0xFF00FF00, ""), "spot:K1ABC,cw,14025050,4278255360,;");
    // ':' ',' ';' and control characters would split the command: spaces.
    EXPECT_EQ(tci_spot_command(" DL2QZA;x ", "c,w", 7025300.0, 0, "a:b,c;d\te\x7f"),
              "spot:DL2QZA x,c w,7025300,0,a b c d e ;");
    EXPECT_EQ(tci_spot_safe_text("R\u00c4:1"), "R\u00c4 1");  // UTF-8 passes
    // Frequencies clamp; what is no number is 0.
    EXPECT_EQ(tci_spot_command("A", "cw", -5.0, 1, "t"), "spot:A,cw,0,1,t;");
    EXPECT_EQ(tci_spot_command("A", "cw", 1e300, 1, "t"), "spot:A,cw,100000000000,1,t;");
    EXPECT_EQ(tci_spot_command("A", "cw", std::nan(""), 1, "t"), "spot:A,cw,0,1,t;");
    EXPECT_EQ(tci_spot_command("A", "cw", 7e6, UINT32_MAX, "t"), "spot:A,cw,7000000,4294967295,t;");

    // A spot command parses back into exactly the fields that were sent.
    const std::vector<std::string> split =
        tci_split_commands(tci_spot_command("VP2E/DL2QZA", "cw", 3525000.0, 4294901760u, "x;y:z,w"));
    ASSERT_EQ(split.size(), 1u);
    const TCI_COMMAND spot = tci_parse_command(split[0]);
    EXPECT_EQ(spot.name, "spot");
    EXPECT_EQ(spot.arguments, (std::vector<std::string>{"VP2E/DL2QZA", "cw", "3525000", "4294901760", "x y z w"}));

    EXPECT_EQ(tci_spot_delete_command(" DL2QZA "), "spot_delete:DL2QZA;");
    EXPECT_EQ(tci_spot_delete_command("a;b"), "spot_delete:a b;");
    EXPECT_STREQ(kTCISpotClearCommand, "spot_clear;");
}

TEST(TciIqCommands, RatesAreThoseServersOfferAndReceiversAreNumbered)
{
    for (auto [asked, sent] : {std::pair{48000u, 48000},
                               {96000u, 96000},
                               {192000u, 192000},
                               {384000u, 384000},
                               {0u, 48000},
                               {96001u, 192000},
                               {UINT32_MAX, 384000}})
        EXPECT_EQ(tci_iq_samplerate_command(asked), "iq_samplerate:" + std::to_string(sent) + ";") << asked;
    EXPECT_EQ(tci_iq_start_command(0) + tci_iq_start_command(1) + tci_iq_stop_command(1),
              "iq_start:0;iq_start:1;iq_stop:1;");
}
