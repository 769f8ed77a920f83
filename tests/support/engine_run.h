// Runs the Morse engine over a buffer of float samples, as its callers do.
#pragma once

#include "qomorse.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace engine_run {

// Hands out `samples` up to `limit` as the engine asks, 0 once fewer remain, as a live stream would.
struct SampleFeed {
    const std::vector<float>* samples;
    size_t next = 0;
    size_t limit = SIZE_MAX;

    uint32_t operator()(void* dst, uint32_t nBytes)
    {
        const size_t wanted = nBytes / sizeof(float);
        if (std::min(limit, samples->size()) - next < wanted)
            return 0;
        std::memcpy(dst, samples->data() + next, wanted * sizeof(float));
        next += wanted;
        return nBytes;
    }
};

inline std::string take_text(QoMorse& engine)
{
    std::vector<uint8_t> bytes;
    engine.takeRxData(bytes);
    return std::string(bytes.begin(), bytes.end());
}

inline QoMorse make_engine(float rate, int32_t format = QOMORSE_SAMPLE_FORMAT_F32, int32_t samplesPerFrame = 128)
{
    qomorse_Parameters p = QoMorse::getDefaultParameters();
    p.sampleRateInp = rate, p.sampleFormatInp = format, p.samplesPerFrame = samplesPerFrame;
    return QoMorse(p);
}

struct Result {
    std::string text;
    QoMorse::Statistics statistics;
    std::vector<float> signal;  // the last published envelope
};

inline Result decode_all(const std::vector<float>& samples, float sampleRate,
                         const qomorse_ParametersDecode& decodeParameters = QoMorse::getDefaultParametersDecode())
{
    QoMorse engine = make_engine(sampleRate);
    engine.setParametersDecode(decodeParameters);
    SampleFeed feed{&samples};
    engine.decode(std::ref(feed));
    Result result{take_text(engine), engine.getStatistics(), {}};
    engine.takeSignalF(result.signal);
    return result;
}

}  // namespace engine_run
