#include "tci_commands.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(TciUrl, HostAndPortMakeAPlainWebSocketUrl)
{
    const TCI_URL url = tci_make_url("192.168.1.20", 50001);
    EXPECT_EQ(url.text, "ws://192.168.1.20:50001");
    EXPECT_TRUE(url.acceptable);
}

TEST(TciUrl, BlankHostIsTheDefaultAndHostsAreTrimmed)
{
    EXPECT_EQ(tci_make_url("   ", 50001).text, "ws://127.0.0.1:50001");
    EXPECT_EQ(tci_make_url("\t radio.local \r\n", 40001).text, "ws://radio.local:40001");
    EXPECT_TRUE(tci_make_url("", 1).acceptable);
}

TEST(TciUrl, HostsThatWouldChangeTheTargetAreRefused)
{
    for (const char* host : {"a/b", "x#y", "user@radio", "radio:80", "radio?x", "ra dio", "r%61dio", "[::1", "[]"}) {
        const TCI_URL url = tci_make_url(host, 50001);
        EXPECT_FALSE(url.acceptable) << host;
        EXPECT_EQ(url.text, std::string("ws://") + host + ":50001");
    }
}

TEST(TciUrl, BracketedIpv6LiteralIsAccepted)
{
    EXPECT_TRUE(tci_make_url("[::1]", 50001).acceptable);
    EXPECT_FALSE(tci_make_url("[::1]x", 50001).acceptable);
}

TEST(TciUrl, PortsAbove65535AreRefused)
{
    EXPECT_TRUE(tci_make_url("h", 65535).acceptable);
    EXPECT_FALSE(tci_make_url("h", 65536).acceptable);
    const TCI_URL huge = tci_make_url("h", UINT64_MAX);
    EXPECT_FALSE(huge.acceptable);
    EXPECT_EQ(huge.text, "ws://h:18446744073709551615");
}

TEST(TciSplit, CommandsAreTrimmedAndEmptyOnesDropped)
{
    EXPECT_EQ(tci_split_commands("a;b;; c \r\n;"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(tci_split_commands("trx_count:1"), (std::vector<std::string>{"trx_count:1"}));
    EXPECT_TRUE(tci_split_commands("").empty());
    EXPECT_TRUE(tci_split_commands(" ;;; ").empty());
}

TEST(TciParse, NameIsLowerCasedAndArgumentsSplitAtCommas)
{
    const TCI_COMMAND c = tci_parse_command(" VFO:0, 0 ,7025000 ");
    EXPECT_EQ(c.name, "vfo");
    EXPECT_TRUE(c.hasArguments);
    EXPECT_EQ(c.argumentText, "0, 0 ,7025000");
    EXPECT_EQ(c.arguments, (std::vector<std::string>{"0", "0", "7025000"}));
}

TEST(TciParse, QueryHasNoArguments)
{
    const TCI_COMMAND c = tci_parse_command("cw_macros_speed");
    EXPECT_EQ(c.name, "cw_macros_speed");
    EXPECT_FALSE(c.hasArguments);
    EXPECT_TRUE(c.arguments.empty());
}

TEST(TciParse, OnlyTheFirstColonSeparatesTheName)
{
    const TCI_COMMAND c = tci_parse_command("cw_macros:0,A:B");
    EXPECT_EQ(c.name, "cw_macros");
    EXPECT_EQ(c.argumentText, "0,A:B");
    const TCI_COMMAND empty = tci_parse_command(":");
    EXPECT_EQ(empty.name, "");
    EXPECT_EQ(empty.arguments, (std::vector<std::string>{""}));
}

TEST(TciCwText, EscapesAreUndoneAndOtherCharactersKept)
{
    EXPECT_EQ(tci_decode_cw_macro_text("HELLO~ WORLD^ TEST* X"), "HELLO, WORLD: TEST; X");
    EXPECT_EQ(tci_decode_cw_macro_text("5NN <BT> ?/=+"), "5NN <BT> ?/=+");
}
