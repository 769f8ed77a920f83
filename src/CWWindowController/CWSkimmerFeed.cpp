#include "CWSkimmerFeed.h"

#include "cw_spot_messages.h"

#include <algorithm>
#include <array>

namespace {

constexpr size_t kEventBatch = 32;

}  // namespace

CWSkimmerFeed::CWSkimmerFeed(CW_SKIMMER_FEED_HOOKS hooks) : hooks_(std::move(hooks))
{
}

CWSkimmerFeed::~CWSkimmerFeed()
{
    cw_skimmer_destroy(skimmer_);
}

void CWSkimmerFeed::restart()
{
    cw_skimmer_destroy(skimmer_);
    skimmer_ = nullptr;
    sampleRate_ = 0;
    placed_.clear();
}

void CWSkimmerFeed::process(const float* mono, size_t count, uint32_t sampleRate)
{
    if (mono == nullptr || count == 0 || sampleRate == 0)
        return;
    if (skimmer_ == nullptr || sampleRate != sampleRate_) {
        CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
        config.sampleRate = sampleRate;
        if (skimmer_ == nullptr)
            skimmer_ = cw_skimmer_create(&config);
        else
            cw_skimmer_configure(skimmer_, &config);
        sampleRate_ = sampleRate;
        if (skimmer_ == nullptr)
            return;
    }
    cw_skimmer_process(skimmer_, mono, count);
    std::array<CW_SPOT_EVENT, kEventBatch> events{};
    size_t n = 0;
    do {
        n = cw_skimmer_take_events(skimmer_, events.data(), events.size());
        for (size_t i = 0; i < n; ++i)
            handle(events[i]);
    } while (n == events.size());
}

void CWSkimmerFeed::handle(const CW_SPOT_EVENT& event)
{
    const CW_SPOT_TUNING tuning =
        hooks_.tuning ? hooks_.tuning() : CW_SPOT_TUNING{.vfoHz = 0.0, .mode = {}, .referencePitchHz = 0.0};
    const std::time_t utc = hooks_.utcNow ? hooks_.utcNow() : std::time(nullptr);
    const CW_SPOT_MESSAGES messages = cw_spot_event_messages(event, tuning, static_cast<int64_t>(utc));
    const std::string call = event.spot.call;
    const auto at = std::find_if(placed_.begin(), placed_.end(), [&](const auto& p) { return p.first == call; });
    if (event.kind == CW_SPOT_DELETE && at != placed_.end())
        placed_.erase(at);
    else if (messages.radioHz > 0.0) {
        if (at != placed_.end())
            at->second = messages.radioHz;
        else
            placed_.emplace_back(call, messages.radioHz);
    }
    if (!messages.tciCommand.empty() && hooks_.sendCommand) {
        hooks_.sendCommand(messages.tciCommand);
        if (event.kind != CW_SPOT_DELETE)
            ++spotsSent_;
    }
    if (!messages.clusterLine.empty() && hooks_.clusterLine)
        hooks_.clusterLine(messages.clusterLine);
}

std::vector<CW_SPOT> CWSkimmerFeed::spots() const
{
    if (skimmer_ == nullptr)
        return {};
    CW_SKIMMER_STATUS status{};
    cw_skimmer_get_status(skimmer_, &status);
    std::vector<CW_SPOT> spots(static_cast<size_t>(std::max(status.spots, 0)));
    spots.resize(cw_skimmer_get_spots(skimmer_, spots.data(), spots.size()));
    const CW_SPOT_TUNING tuning =
        hooks_.tuning ? hooks_.tuning() : CW_SPOT_TUNING{.vfoHz = 0.0, .mode = {}, .referencePitchHz = 0.0};
    for (CW_SPOT& spot : spots) {
        const auto at =
            std::find_if(placed_.begin(), placed_.end(), [&](const auto& p) { return p.first == spot.call; });
        // A spot heard before the radio's tuning was known is placed now.
        double radioHz = 0.0;
        if (at != placed_.end())
            radioHz = at->second;
        else
            cw_spot_radio_hz(tuning, spot.frequencyHz, &radioHz);
        spot.frequencyHz = radioHz;
    }
    return spots;
}

double CWSkimmerFeed::seconds() const
{
    if (skimmer_ == nullptr)
        return 0.0;
    CW_SKIMMER_STATUS status{};
    cw_skimmer_get_status(skimmer_, &status);
    return status.seconds;
}
