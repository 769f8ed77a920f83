#include "skim_session.h"

#include <algorithm>
#include <ctime>

bool skim_session_open(SKIM_SESSION* s, const SKIM_OPTIONS& options, FILE* out, std::string* error)
{
    s->options = options;
    if (options.clusterPort != 0) {
        const CW_CLUSTER_SERVER_CONFIG cc{.port = options.clusterPort,
                                          .bindAddress = nullptr,
                                          .maxClients = 0,
                                          .maxPendingBytes = 0,
                                          .nodeName = nullptr};
        s->cluster = cw_cluster_server_create(&cc);
        CW_CLUSTER_SERVER_STATUS status;
        cw_cluster_server_get_status(s->cluster, &status);
        if (!status.listening) {
            *error = "cluster feed: " + (status.error.empty() ? std::string("out of memory") : status.error);
            skim_session_close(s);
            return false;
        }
    }
    s->output = skim_output_create({.out = out,
                                    .spotter = options.spotter,
                                    .text = options.text,
                                    .cluster = s->cluster,
                                    .radioCommands = options.spotsToRadio});
    return s->output != nullptr;
}

void skim_session_set_stream(SKIM_SESSION* s, double sampleRate, double dialHz)
{
    if (s->skimmer != nullptr && s->config.sampleRate == sampleRate && s->config.dialHz == dialHz)
        return;
    CW_SKIMMER_CONFIG c = cw_skimmer_default_config();
    c.sampleRate = sampleRate;
    c.iq = s->options.iq ? 1 : 0;
    c.dialHz = dialHz;
    c.capacity = s->options.channels;
    if (s->options.spanGiven || !s->options.iq)
        c.lowHz = s->options.lowHz, c.highHz = s->options.highHz;
    else
        c.lowHz = -sampleRate / 2, c.highHz = sampleRate / 2;  // clamped to what the stream holds
    s->config = c;
    if (s->skimmer == nullptr)
        s->skimmer = cw_skimmer_create(&c);
    else
        cw_skimmer_configure(s->skimmer, &c);
}

bool skim_session_feed(SKIM_SESSION* s, const float* samples, size_t frames)
{
    if (s->skimmer == nullptr)
        return true;
    if (s->options.iq)
        cw_skimmer_process_iq(s->skimmer, samples, frames);
    else
        cw_skimmer_process(s->skimmer, samples, frames);
    s->frames += frames;
    if (!skim_output_take(s->output, s->skimmer, static_cast<int64_t>(std::time(nullptr))))
        s->writeFailed = true;
    if (s->cluster != nullptr)
        cw_cluster_server_poll(s->cluster, 0);
    return !s->writeFailed;
}

bool skim_session_finish(SKIM_SESSION* s)
{
    if (s->skimmer == nullptr)
        return skim_output_flush_text(s->output);
    const size_t lanes = s->options.iq ? 2 : 1;
    const size_t block = 4096;
    const std::vector<float> silence(block * lanes, 0.0f);
    for (double left = kSkimTailSeconds * s->config.sampleRate; left > 0 && !s->writeFailed; left -= block)
        skim_session_feed(s, silence.data(), static_cast<size_t>(std::min<double>(left, block)));
    if (!skim_output_flush_text(s->output))
        s->writeFailed = true;
    return !s->writeFailed;
}

void skim_session_close(SKIM_SESSION* s)
{
    skim_output_destroy(s->output);
    cw_skimmer_destroy(s->skimmer);
    cw_cluster_server_destroy(s->cluster);
    s->output = nullptr, s->skimmer = nullptr, s->cluster = nullptr;
}
