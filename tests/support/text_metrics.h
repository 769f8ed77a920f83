// Text comparison for decoder accuracy tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace text_metrics {

// Words separated by single spaces, no leading or trailing white space.
inline std::string collapse_whitespace(const std::string& text)
{
    std::istringstream in(text);
    std::string word;
    std::string out;
    while (in >> word) {
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

inline std::string drop_first_word(const std::string& text)
{
    const std::string collapsed = collapse_whitespace(text);
    const size_t space = collapsed.find(' ');
    return space == std::string::npos ? std::string() : collapsed.substr(space + 1);
}

// Last row of the edit distance table of `reference` against `hypothesis`;
// with a free prefix, entry j is the distance against hypothesis[k, j) for
// the best start k, so text the decoder printed before the reference costs
// nothing.
inline std::vector<size_t> levenshtein_row(const std::string& reference, const std::string& hypothesis,
                                           bool freePrefix)
{
    std::vector<size_t> previous(hypothesis.size() + 1, 0);
    std::vector<size_t> current(hypothesis.size() + 1);
    for (size_t j = 0; j <= hypothesis.size() && !freePrefix; ++j)
        previous[j] = j;
    for (size_t i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= hypothesis.size(); ++j) {
            const size_t substitution = previous[j - 1] + (reference[i - 1] != hypothesis[j - 1] ? 1 : 0);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous;
}

inline size_t levenshtein(const std::string& a, const std::string& b)
{
    return levenshtein_row(a, b, false).back();
}

inline std::vector<size_t> levenshtein_free_prefix_row(const std::string& reference, const std::string& hypothesis)
{
    return levenshtein_row(reference, hypothesis, true);
}

// Edit distance of `reference` against the best-matching tail of
// `hypothesis`: whatever the decoder printed before the reference begins
// costs nothing, everything after it counts.
inline size_t levenshtein_free_prefix(const std::string& reference, const std::string& hypothesis)
{
    return levenshtein_free_prefix_row(reference, hypothesis).back();
}

// Edit distance of `reference` against the best-matching stretch of
// `hypothesis`: text printed before or after the transmission is free.
inline size_t levenshtein_best_substring(const std::string& reference, const std::string& hypothesis)
{
    const std::vector<size_t> row = levenshtein_free_prefix_row(reference, hypothesis);
    return *std::min_element(row.begin(), row.end());
}

// Character error rate of the decoded text against everything the sender
// keyed after its first word (the decoder is still settling then).
inline double cer_after_first_word(const std::string& sent, const std::string& decoded)
{
    const std::string reference = drop_first_word(sent);
    if (reference.empty())
        return 0.0;
    const size_t errors = levenshtein_free_prefix(reference, collapse_whitespace(decoded));
    return static_cast<double>(errors) / static_cast<double>(reference.size());
}

}  // namespace text_metrics
