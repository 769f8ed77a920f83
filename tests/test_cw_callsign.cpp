// Which words are shaped like amateur calls, and which calls are one
// station decoded differently.
#include "cw_callsign.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool is_call(const char* word)
{
    return cw_callsign_check(word, std::strlen(word)) != 0;
}

}  // namespace

// Prefixes of every ITU shape: letter, two letters, letter and digit, digit
// and letter, three characters; one or two area digits; suffixes of 1..4;
// portable and country parts.
TEST(CWCallsignCheck, AcceptsCallsOfRealShapes)
{
    const char* calls[] = {"K1ABC",      "W1AW",      "DL2QZA",     "4X4AB",     "9A1A",       "3DA0XY",     "E51ABC",
                           "G4ABC",      "VE3XYZ",    "JA1XYZ",     "N2IC",      "K1A",        "2E0ABC",     "EA8ZZ",
                           "OH2BH",      "VP8ABC",    "ZS6ABCD",    "9V1XX",     "GB13COL",    "UA9XX",      "5B4AHJ",
                           "KH6ABC",     "HB9ABC",    "T88XX",      "LU1AA",     "A61AB",      "VE3/DL2QZA", "F/G4ABC",
                           "DL2QZA/VE3", "G4ABC/P",   "JA1XYZ/MM",  "K1ABC/M",   "DL2QZA/AM",  "W1AW/QRP",   "OH2BH/A",
                           "K1ABC/7",    "KH6/K1ABC", "DL2QZA/EA8", "PA/DL2QZA", "EA8/G4ABC/P"};
    for (const char* call : calls)
        EXPECT_TRUE(is_call(call)) << call;
}

// The words of a CW contact: none has a prefix, an area digit and a suffix.
TEST(CWCallsignCheck, RejectsCwWordsReportsAndNumbers)
{
    const char* words[] = {"CQ",   "DE",  "TEST", "K",   "BK", "KN",  "SK",  "TU",    "5NN",  "599",
                           "RST",  "UR",  "QRZ",  "QSL", "NR", "73",  "88",  "GL",    "TNX",  "001",
                           "1234", "QRL", "QRM",  "QTH", "FB", "OM",  "HW",  "ENN",   "579",  "5NN5",
                           "14",   "2NR", "NR5",  "CFM", "GM", "PSE", "QRP", "AGN",   "NAME", "WX",
                           "ANT",  "RIG", "QSY?", "ES",  "R",  "HR",  "ABC", "TU5NN", "R5NN"};
    for (const char* word : words)
        EXPECT_FALSE(is_call(word)) << word;
}

TEST(CWCallsignCheck, RejectsBrokenShapes)
{
    const char* words[] = {"",                   // nothing
                           "DL2",                // no suffix
                           "DL2QZAB1",           // a trailing digit is no suffix
                           "DL2QZABCD",          // suffix of five
                           "ABCD1XY",            // prefix of four
                           "12AB",               // prefix without a letter
                           "QA1ABC",             // Q starts no prefix
                           "DL2QZA/",            // empty part
                           "/DL2QZA",            // empty part
                           "DL2QZA/G4ABC",       // two calls run together
                           "DL2QZA/P/M/A",       // too many parts
                           "VE3/F/DL2QZA",       // two prefixes
                           "CQ/DL2QZA",          // a CW word as prefix
                           "DL2QZA/TOOLONG",     // a portable part no one sends
                           "dl2qza",             // the decoder writes upper case
                           "DL2*ZA",             // unreadable character
                           "VE3/DL2QZA/QRP/X"};  // too long and too many parts
    for (const char* word : words)
        EXPECT_FALSE(is_call(word)) << '"' << word << '"';
    EXPECT_FALSE(cw_callsign_check(nullptr, 6));
    EXPECT_FALSE(cw_callsign_check("VE3/DL2QZA/QRPX", 15));
    // Only the given length is read.
    EXPECT_TRUE(cw_callsign_check("DL2QZA DE", 6));
    EXPECT_FALSE(cw_callsign_check("DL2QZA", 3));
    EXPECT_TRUE(cw_callsign_check("VE3/DL2QZA/QRP", 14));  // the longest shape there is, within 15
}

// A busted decode of a call differs by one character, by one character read
// as two, or by a portable part.
TEST(CWCallsignSimilar, OneCharacterApart)
{
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2QZE"));   // replaced
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2QIA"));   // replaced inside
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2QZ"));    // dropped
    EXPECT_TRUE(cw_callsign_similar("DL2QZ", "DL2QZA"));    // added
    EXPECT_TRUE(cw_callsign_similar("W1AW", "W1AWE"));      // added at the end
    EXPECT_TRUE(cw_callsign_similar("K1ABC", "1ABC"));      // dropped at the start
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "DL2QZA"));  // the same call twice is not busted
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "DL3QZE"));  // two replaced
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "DL3QZ"));   // one replaced, one dropped
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "G4ABC"));
    EXPECT_FALSE(cw_callsign_similar(nullptr, "G4ABC"));
    EXPECT_FALSE(cw_callsign_similar("G4ABC", nullptr));
}

TEST(CWCallsignSimilar, OneCharacterReadAsTwo)
{
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2QZET"));   // A .- as E . and T -
    EXPECT_TRUE(cw_callsign_similar("DL2QZET", "DL2QZA"));   // and the other way round
    EXPECT_FALSE(cw_callsign_similar("G4ABC", "G4ATTC"));    // B -... is not T+T --
    EXPECT_TRUE(cw_callsign_similar("G4ABC", "G4ATSC"));     // B -... as T - and S ...
    EXPECT_TRUE(cw_callsign_similar("K1ABC", "TA1ABC"));     // K -.- as T - and A .-
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "TIL2QZA"));   // D -.. as T - and I ..
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "DL2QZTE"));  // T then E is -. (N), not A
    EXPECT_FALSE(cw_callsign_similar("G4ABC", "G4AMMC"));    // a replacement and an insertion
}

TEST(CWCallsignSimilar, PortableOrCountryPartAddedOrRemoved)
{
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2QZA/P"));
    EXPECT_TRUE(cw_callsign_similar("VE3/DL2QZA", "DL2QZA"));
    EXPECT_TRUE(cw_callsign_similar("DL2QZA/VE3", "VE3/DL2QZA"));
    EXPECT_TRUE(cw_callsign_similar("JA1XYZ/MM", "JA1XYZ"));
    EXPECT_FALSE(cw_callsign_similar("DL2QZA/P", "DL2QZA/P"));
    EXPECT_FALSE(cw_callsign_similar("DL2QZA/P", "G4ABC/P"));
}

// A missed word gap glues the end of one word onto the next: "CQ" and
// "Z39ZE" read as "CKZ39ZE"; a fade cuts a call short.
TEST(CWCallsignSimilar, ACallWithLettersGluedOnIsThatCall)
{
    EXPECT_TRUE(cw_callsign_similar("Z39ZE", "CKZ39ZE"));
    EXPECT_TRUE(cw_callsign_similar("DL2QZAEE", "DL2QZA"));
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "TDL2QZAK"));
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "TESTDL2QZA"));
    EXPECT_TRUE(cw_callsign_similar("DL2QZA", "DL2Q"));          // and the call cut short
    EXPECT_FALSE(cw_callsign_similar("DL2QZA", "EEEDL2QZATT"));  // more glued on than a gap leaves
    EXPECT_FALSE(cw_callsign_similar("W1A", "KW1AT"));           // too short to tell
}
