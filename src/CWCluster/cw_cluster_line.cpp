#include "cw_cluster_line.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kPrefix = "DX de ";
constexpr size_t kFrequencyEndColumn = 24;
constexpr int64_t kSecondsPerDay = 86400;

// Printable ASCII without spaces, upper case.
std::string word(const std::string& text)
{
    std::string kept;
    for (char c : text) {
        if (c <= ' ' || c > '~')
            continue;
        kept += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return kept;
}

long rounded_clamped(double value, double low, double high)
{
    return std::isfinite(value) ? std::lround(std::clamp(value, low, high)) : 0;
}

// kHz with one decimal from whole hundreds of Hz, so no binary fraction
// can round 7025.35 one way here and another way in a logger.
std::string frequency_khz(double hz)
{
    const double clamped = std::isfinite(hz) ? std::clamp(hz, 0.0, kCWClusterMaxFrequencyHz) : 0.0;
    const long long tenthsKhz = std::llround(clamped / 100.0);
    return std::to_string(tenthsKhz / 10) + "." + std::to_string(tenthsKhz % 10);
}

std::string hhmmz(int64_t utcSeconds)
{
    const int64_t ofDay = std::max<int64_t>(utcSeconds, 0) % kSecondsPerDay;
    const int hour = static_cast<int>(ofDay / 3600), minute = static_cast<int>(ofDay / 60 % 60);
    const char digits[] = {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10),
                           static_cast<char>('0' + minute / 10), static_cast<char>('0' + minute % 10), 'Z'};
    return std::string(digits, sizeof digits);
}

// Spaces up to (not including) the 1-based column.
void pad_to(std::string* line, size_t column)
{
    if (line->size() + 1 < column)
        line->append(column - 1 - line->size(), ' ');
}

}  // namespace

std::string cw_cluster_spot_comment(double snrDb, double wpm, bool cq)
{
    return "CW " + std::to_string(rounded_clamped(snrDb, -99.0, 99.0)) + " dB " +
           std::to_string(rounded_clamped(wpm, 0.0, 99.0)) + " WPM" + (cq ? " CQ" : "");
}

std::string cw_cluster_spot_line(const CW_CLUSTER_SPOT& spot)
{
    const std::string frequency = frequency_khz(spot.frequencyHz);
    const size_t frequencyColumn = kFrequencyEndColumn + 1 - frequency.size();
    // "DX de " + spotter + ":" + at least one space before the frequency.
    const size_t spotterRoom = frequencyColumn - 1 - std::char_traits<char>::length(kPrefix) - 2;
    std::string line = kPrefix + word(spot.spotter).substr(0, spotterRoom) + ":";
    pad_to(&line, frequencyColumn);
    line += frequency;
    pad_to(&line, kCWClusterCallColumn);
    // The call may run up to column 69, leaving a space before the time.
    line += word(spot.call).substr(0, kCWClusterTimeColumn - 2 - kCWClusterCallColumn);
    line += ' ';
    pad_to(&line, kCWClusterCommentColumn);
    const size_t commentRoom = kCWClusterTimeColumn - 1 - line.size() - 1;
    line += cw_cluster_spot_comment(spot.snrDb, spot.wpm, spot.cq).substr(0, commentRoom);
    pad_to(&line, kCWClusterTimeColumn);
    return line + hhmmz(spot.utcSeconds) + "\r\n";
}
