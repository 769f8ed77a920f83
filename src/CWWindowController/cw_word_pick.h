// Picking a callsign or name out of the decoded text with a double-click:
// the word under the click, its cleaning to callsign characters and the
// alternation between the partner call and partner name fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Pick targets, as held by the window controller's decodePickTarget.
constexpr int64_t kCWPickTargetNone = 0;
constexpr int64_t kCWPickTargetCall = 1;
constexpr int64_t kCWPickTargetName = 2;

// A second pick closer than this to the previous one (seconds on the
// event clock) is the same double-click delivered twice.
constexpr double kCWPickRepeatInterval = 0.05;

// True for " \t\r\n.,;:!?\"'`()[]{}<>"; every other code unit belongs to a word.
bool cw_is_word_delimiter(char16_t c);

// The word around the character index the toolkit reports for the click
// (UTF-16 code units; an index at or past the end means the last
// character). A click on the delimiter just behind a word picks that word;
// otherwise a delimiter picks nothing (empty result).
std::u16string cw_word_at_index(const std::u16string& text, size_t index);

// Trimmed, upper-cased, then only "A".."Z", "0".."9" and "/" kept.
std::string cw_cleaned_pick_string(const std::u16string& word);

struct CW_DECODE_PICK_INPUT {
    int64_t target;         // current pick target; anything but 2 acts as 1
    double lastTimestamp;   // time of the last pick, 0 if none
    double eventTimestamp;  // time of this double-click, 0 if unknown
    std::u16string word;    // as cw_word_at_index gave it
};

struct CW_DECODE_PICK {
    double lastTimestamp;  // to keep for the next pick
    int64_t fillField;     // field to receive text: call, name, or none
    std::string text;      // cleaned word for fillField
    int64_t target;        // new pick target (the old one when nothing is filled)
    int64_t focusField;    // field to give keyboard focus, or none
};

// One double-click pick. A repeat within kCWPickRepeatInterval changes
// nothing; a word without callsign characters only records the time.
CW_DECODE_PICK cw_decode_pick(const CW_DECODE_PICK_INPUT& input);
