// Text emission: read the best run list at a fixed point of the window and
// turn key transitions into symbols and characters.
#include "qomorse_impl.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr size_t kMaxSymbolElements = 7;
constexpr size_t kMaxNearMissCode = 15;

// Edit distance between a and b, capped at 2.
int capped_edit_distance(const std::string& a, const std::string& b)
{
    const size_t la = a.size();
    const size_t lb = b.size();
    if (lb > kMaxNearMissCode || (la > lb ? la - lb : lb - la) > 1)
        return 2;
    std::array<int, kMaxNearMissCode + 1> previous{};
    std::array<int, kMaxNearMissCode + 1> current{};
    for (size_t j = 0; j <= lb; ++j)
        previous[j] = static_cast<int>(j);
    for (size_t i = 1; i <= la; ++i) {
        current[0] = static_cast<int>(i);
        int rowMin = current[0];
        for (size_t j = 1; j <= lb; ++j) {
            const int substitution = previous[j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            rowMin = std::min(rowMin, current[j]);
        }
        if (rowMin >= 2)
            return 2;
        previous = current;
    }
    return std::min(previous[lb], 2);
}

bool is_letter_or_digit(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The unique letter or digit within one edit of the symbol, else '?'.
char nearest_character(const MorseCodeTable& table, const std::string& symbol)
{
    int bestDistance = 2;
    int sharing = 0;
    char best = '?';
    for (const auto& [code, character] : table) {
        if (!is_letter_or_digit(character))
            continue;
        const int distance = capped_edit_distance(symbol, code);
        if (distance < bestDistance) {
            bestDistance = distance;
            sharing = 1;
            best = character;
        } else if (distance == bestDistance) {
            ++sharing;
        }
    }
    return bestDistance <= 1 && sharing == 1 ? best : '?';
}

}  // namespace

void QoMorse::Impl::emitText(int stableBefore, int stableAfter)
{
    const int slots = 12000 / samplesPerFrame;
    const int early = slots / 3;
    const int late = 5 * slots / 6;
    int first = early;
    int last = early;
    if (bestSpeedIndex >= 10) {
        if (stableBefore >= slots)
            first = last = late;
        else if (stableAfter == slots)
            last = late;
    }
    size_t cursor = 0;
    for (int slot = first; slot <= last; ++slot)
        readSlot(slot, &cursor);

    signalF.assign(envelope.begin(), envelope.end());
    ++publishCount;
}

void QoMorse::Impl::readSlot(int slot, size_t* cursor)
{
    const int from = (samplesPerFrame * slot) / decimation;
    readPositions(from, from + samplesPerFrame / decimation, framesDecoded, cursor);
}

// Acts on the runs at envelope positions [from, to) of the given frame,
// skipping every position that an earlier frame has read already.
void QoMorse::Impl::readPositions(int from, int to, int64_t frame, size_t* cursor)
{
    if (bestRuns.empty())
        return;
    to = std::min(to, static_cast<int>(envelope.size()));
    const int64_t frameOrigin = frame * samplesPerFrame;
    for (int p = from; p < to; ++p) {
        const int64_t absolute = frameOrigin + static_cast<int64_t>(p) * decimation;
        if (absolute <= lastReadSample)
            continue;
        lastReadSample = absolute;
        while (*cursor + 1 < bestRuns.size() && p >= bestRuns[*cursor].end)
            ++*cursor;
        actOnRun(bestRuns[*cursor]);
    }
}

void QoMorse::Impl::actOnRun(const Interval& run)
{
    if (run.keyDown == lastInterval.keyDown)
        return;
    if (bestCost < 1.0f) {
        if (run.keyDown) {
            if (symbol.size() < Impl::kSymbolCapacity)
                symbol.push_back(run.kind == 1 ? '1' : '0');
        } else if (run.kind != 1) {
            if (!symbol.empty()) {
                emitCharacter();
                symbol.clear();
            }
            if (run.kind == 3 || run.kind == 0)
                rxData.push_back(' ');
        }
    }
    lastInterval = run;
}

void QoMorse::Impl::emitCharacter()
{
    const auto exact = morseCode.find(symbol);
    if (exact != morseCode.end()) {
        rxData.push_back(static_cast<uint8_t>(exact->second));
        return;
    }
    if (symbol.size() <= kMaxSymbolElements && !morseCode.empty()) {
        rxData.push_back(static_cast<uint8_t>(nearest_character(morseCode, symbol)));
        return;
    }
    rxData.push_back('?');
}
