#include "morse_code_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Independent reference: ITU codes written as dots and dashes.
struct Entry {
    char character;
    const char* dotsAndDashes;
};
const Entry kItu[] = {
    {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},    {'E', "."},
    {'F', "..-."},   {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},
    {'K', "-.-"},    {'L', ".-.."},   {'M', "--"},     {'N', "-."},     {'O', "---"},
    {'P', ".--."},   {'Q', "--.-"},   {'R', ".-."},    {'S', "..."},    {'T', "-"},
    {'U', "..-"},    {'V', "...-"},   {'W', ".--"},    {'X', "-..-"},   {'Y', "-.--"},
    {'Z', "--.."},   {'1', ".----"},  {'2', "..---"},  {'3', "...--"},  {'4', "....-"},
    {'5', "....."},  {'6', "-...."},  {'7', "--..."},  {'8', "---.."},  {'9', "----."},
    {'0', "-----"},  {'.', ".-.-.-"}, {',', "--..--"}, {'?', "..--.."}, {'\'', ".----."},
    {'!', "-.-.--"}, {'/', "-..-."},  {'(', "-.--."},  {')', "-.--.-"}, {'&', ".-..."},
    {':', "---..."}, {';', "-.-.-."}, {'=', "-...-"},  {'+', ".-.-."},  {'-', "-....-"},
    {'_', "..--.-"}, {'"', ".-..-."}, {'$', "...-..-"}, {'@', ".--.-."},
};

std::string as_bits(const char* dotsAndDashes)
{
    std::string bits;
    for (const char* p = dotsAndDashes; *p; ++p)
        bits += *p == '-' ? '1' : '0';
    return bits;
}

TEST(MorseCodeTable, HoldsEveryItuCodeOnce)
{
    ASSERT_EQ(kMorseCode.size(), std::size(kItu));
    std::set<char> characters;
    for (const Entry& entry : kItu) {
        const auto found = kMorseCode.find(as_bits(entry.dotsAndDashes));
        ASSERT_NE(found, kMorseCode.end()) << entry.character;
        EXPECT_EQ(found->second, entry.character);
        characters.insert(found->second);
    }
    EXPECT_EQ(characters.size(), kMorseCode.size());
}

}  // namespace
