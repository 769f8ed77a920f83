#include "morse_code_table.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

// Independent reference: each ITU character followed by its dots and dashes.
TEST(MorseCodeTable, HoldsEveryItuCodeOnce)
{
    std::istringstream itu(
        "A.- B-... C-.-. D-.. E. F..-. G--. H.... I.. J.--- K-.- L.-.. M-- N-. O--- P.--. Q--.- R.-. S... T- U..- "
        "V...- W.-- X-..- Y-.-- Z--.. 1.---- 2..--- 3...-- 4....- 5..... 6-.... 7--... 8---.. 9----. 0----- ..-.-.- "
        ",--..-- ?..--.. '.----. !-.-.-- /-..-. (-.--. )-.--.- &.-... :---... ;-.-.-. =-...- +.-.-. --....- "
        "_..--.- \".-..-. $...-..- @.--.-.");
    std::set<char> characters;
    for (std::string entry; itu >> entry;) {
        std::string bits;
        for (char c : entry.substr(1))
            bits += c == '-' ? '1' : '0';
        const auto found = kMorseCode.find(bits);
        ASSERT_NE(found, kMorseCode.end()) << entry;
        EXPECT_EQ(found->second, entry[0]);
        characters.insert(found->second);
    }
    EXPECT_EQ(characters.size(), 54u);
    EXPECT_EQ(kMorseCode.size(), 54u);
}
