#include "cw_spot_messages.h"

#include "cw_cluster_line.h"
#include "tci_commands.h"

#include <cmath>

std::string cw_spot_text(const CW_SPOT& spot)
{
    const auto whole = [](double v) { return std::isfinite(v) ? static_cast<long>(std::lround(v)) : 0L; };
    return std::to_string(whole(spot.wpm)) + " WPM " + std::to_string(whole(spot.snrDb)) + " dB" +
           (spot.cq ? " CQ" : "");
}

uint32_t cw_spot_argb(const CW_SPOT& spot)
{
    return spot.cq ? kCWSpotCqArgb : kCWSpotHeardArgb;
}

CW_SPOT_MESSAGES cw_spot_event_messages(const CW_SPOT_EVENT& event, const CW_SPOT_TUNING& tuning, int64_t utcSeconds)
{
    CW_SPOT_MESSAGES messages{.tciCommand = {}, .clusterLine = {}, .radioHz = 0.0};
    const CW_SPOT& spot = event.spot;
    if (spot.call[0] == '\0')
        return messages;
    if (event.kind == CW_SPOT_DELETE) {
        messages.tciCommand = tci_spot_delete_command(spot.call);
        return messages;
    }
    const bool send = event.kind == CW_SPOT_NEW || (event.kind == CW_SPOT_REFRESH && event.resend);
    double radioHz = 0.0;
    if (!send || !cw_spot_radio_hz(tuning, spot.frequencyHz, &radioHz) || !(radioHz > 0.0))
        return messages;
    messages.radioHz = radioHz;
    messages.tciCommand = tci_spot_command(spot.call, kCWSpotMode, radioHz, cw_spot_argb(spot), cw_spot_text(spot));
    messages.clusterLine = cw_cluster_spot_line(CW_CLUSTER_SPOT{
        .spotter = kCWClusterSpotter,
        .frequencyHz = radioHz,
        .call = spot.call,
        .snrDb = spot.snrDb,
        .wpm = spot.wpm,
        .cq = spot.cq != 0,
        .utcSeconds = utcSeconds,
    });
    return messages;
}
