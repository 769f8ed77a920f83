// The Morse code table: code strings ("0" dot, "1" dash, in sending order)
// to characters.
#pragma once

#include <string>
#include <unordered_map>

using MorseCodeTable = std::unordered_map<std::string, char>;

// Letters, digits and punctuation; upper case only, no prosigns.
extern const MorseCodeTable kMorseCode;
