#include "cw_skimmer_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string cw_whole(double value)
{
    return std::to_string(std::isfinite(value) ? static_cast<long>(std::lround(value)) : 0L);
}

std::string cw_khz(double hz)
{
    if (!std::isfinite(hz) || !(hz > 0.0))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::min(hz, 1e11) / 1000.0);
    return text;
}

}  // namespace

std::string cw_skimmer_age_text(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0)
        seconds = 0.0;
    const auto whole = static_cast<long long>(std::min(seconds, 1e12));
    if (whole < 60)
        return std::to_string(whole) + " s";
    if (whole < 3600)
        return std::to_string(whole / 60) + " min";
    return std::to_string(whole / 3600) + " h";
}

std::vector<CW_SKIMMER_ROW> cw_skimmer_rows(const std::vector<CW_SPOT>& spots, double now)
{
    std::vector<const CW_SPOT*> order;
    order.reserve(spots.size());
    for (const CW_SPOT& spot : spots)
        order.push_back(&spot);
    std::stable_sort(order.begin(), order.end(),
                     [](const CW_SPOT* a, const CW_SPOT* b) { return a->lastHeard > b->lastHeard; });
    std::vector<CW_SKIMMER_ROW> rows;
    rows.reserve(order.size());
    for (const CW_SPOT* spot : order)
        rows.push_back(CW_SKIMMER_ROW{
            .call = spot->call,
            .frequency = cw_khz(spot->frequencyHz),
            .speed = cw_whole(spot->wpm),
            .snr = cw_whole(spot->snrDb),
            .age = cw_skimmer_age_text(now - spot->lastHeard),
            .radioHz = std::isfinite(spot->frequencyHz) && spot->frequencyHz > 0.0 ? spot->frequencyHz : 0.0,
            .cq = spot->cq != 0,
        });
    return rows;
}
