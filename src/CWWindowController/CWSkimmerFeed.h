// The skimmer beside the window's receiver: it takes every receive-audio
// block, decodes all CW stations in it and hands each spot it finds to the
// radio's panorama (TCI spot commands) and to the cluster feed, placed at
// the radio frequency with the tuning of that moment. Needs no toolkit.
#pragma once

#include "cw_skimmer.h"
#include "cw_spot_mapping.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct CW_SKIMMER_FEED_HOOKS {
    std::function<CW_SPOT_TUNING()> tuning;               // the radio's, asked at every event
    std::function<std::time_t()> utcNow;                  // empty: the system clock
    std::function<void(const std::string&)> sendCommand;  // to the TCI server
    std::function<void(const std::string&)> clusterLine;  // to the loggers
};

class CWSkimmerFeed {
public:
    explicit CWSkimmerFeed(CW_SKIMMER_FEED_HOOKS hooks);
    ~CWSkimmerFeed();
    CWSkimmerFeed(const CWSkimmerFeed&) = delete;
    CWSkimmerFeed& operator=(const CWSkimmerFeed&) = delete;

    // One mono block at the stream's rate; a new rate restarts the channels.
    void process(const float* mono, size_t count, uint32_t sampleRate);
    // A new stream: channels and spots start afresh.
    void restart();

    // The spots, newest first, at the radio frequency they were placed at
    // (one never placed: where the tuning now puts it, else 0), on the
    // audio clock.
    std::vector<CW_SPOT> spots() const;
    // Audio seconds processed since the last restart: the spots' clock.
    double seconds() const;
    uint64_t spotsSent() const { return spotsSent_; }

private:
    void handle(const CW_SPOT_EVENT& event);

    CW_SKIMMER_FEED_HOOKS hooks_;
    CW_SKIMMER* skimmer_ = nullptr;  // made at the first block
    uint32_t sampleRate_ = 0;
    // Where each call was last placed; the radio's vfo may have moved since.
    std::vector<std::pair<std::string, double>> placed_;
    uint64_t spotsSent_ = 0;
};
