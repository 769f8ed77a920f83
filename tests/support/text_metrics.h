// Text comparison for decoder accuracy tests.
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace text_metrics {

// Words separated by single spaces, no leading or trailing white space.
inline std::string collapse_whitespace(const std::string& text)
{
    std::istringstream in(text);
    std::string word, out;
    while (in >> word)
        out += (out.empty() ? "" : " ") + word;
    return out;
}

inline std::string drop_first_word(const std::string& text)
{
    const std::string collapsed = collapse_whitespace(text);
    const size_t space = collapsed.find(' ');
    return space == std::string::npos ? std::string() : collapsed.substr(space + 1);
}

// Last row of the edit distance table; with a free prefix, entry j is the
// distance against hypothesis[k, j) for the best start k.
inline std::vector<size_t> levenshtein_row(const std::string& reference, const std::string& hypothesis, bool freePrefix)
{
    std::vector<size_t> previous(hypothesis.size() + 1, 0), current(hypothesis.size() + 1);
    for (size_t j = 0; j <= hypothesis.size() && !freePrefix; ++j)
        previous[j] = j;
    for (size_t i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= hypothesis.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (reference[i - 1] != hypothesis[j - 1] ? 1 : 0)});
        std::swap(previous, current);
    }
    return previous;
}

// Edit distance; with a free prefix, text before the best-matching start costs nothing.
inline size_t levenshtein(const std::string& reference, const std::string& hypothesis, bool freePrefix = false)
{
    return levenshtein_row(reference, hypothesis, freePrefix).back();
}

// Against the best-matching stretch: text before or after the transmission is free.
inline size_t levenshtein_best_substring(const std::string& reference, const std::string& hypothesis)
{
    const std::vector<size_t> row = levenshtein_row(reference, hypothesis, true);
    return *std::min_element(row.begin(), row.end());
}

// Character error rate after the sender's first word, while the decoder settles.
inline double cer_after_first_word(const std::string& sent, const std::string& decoded)
{
    const std::string reference = drop_first_word(sent);
    if (reference.empty())
        return 0.0;
    return double(levenshtein(reference, collapse_whitespace(decoded), true)) / double(reference.size());
}

}  // namespace text_metrics
