// QoMorse: a self-contained Morse decoder that pulls audio through a
// callback, finds the tone, estimates the speed and emits text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum qomorse_SampleFormat : int32_t {
    QOMORSE_SAMPLE_FORMAT_UNDEFINED = 0,
    QOMORSE_SAMPLE_FORMAT_U8 = 1,
    QOMORSE_SAMPLE_FORMAT_I8 = 2,
    QOMORSE_SAMPLE_FORMAT_U16 = 3,
    QOMORSE_SAMPLE_FORMAT_I16 = 4,
    QOMORSE_SAMPLE_FORMAT_F32 = 5,
};

struct qomorse_Parameters {
    float sampleRateInp = 4000.0f;
    float sampleRateOut = 4000.0f;
    int32_t samplesPerFrame = 128;
    int32_t sampleFormatInp = QOMORSE_SAMPLE_FORMAT_F32;
    int32_t sampleFormatOut = QOMORSE_SAMPLE_FORMAT_F32;
};

struct qomorse_ParametersDecode {
    float frequency_hz = -1.0f;  // <= 0: search the pitch
    float speed_wpm = -1.0f;     // <= 0: estimate the speed
    float speedRangeMin_wpm = 5.0f;
    float speedRangeMax_wpm = 55.0f;
    float frequencyRangeMin_hz = 200.0f;   // also the high-pass cutoff
    float frequencyRangeMax_hz = 1200.0f;  // also the low-pass cutoff
    bool applyFilterHighPass = true;
    bool applyFilterLowPass = true;
    // A mark must reach this fraction of the strongest tone of the last
    // seconds (0 off, up to 0.8): for a channel with loud neighbours.
    float markFloor = 0.0f;
};

struct qomorse_ParametersEncode {
    float volume = 10.0f;
    float frequency_hz = 550.0f;
    float speedCharacters_wpm = 25.0f;
    float speedFarnsworth_wpm = 25.0f;
};

// Writes exactly the requested number of bytes to the destination and
// returns that count, or returns 0 when no more data is available.
using qomorse_CBWaveformInp = std::function<uint32_t(void* dst, uint32_t nBytes)>;

class QoMorse {
public:
    struct Statistics {
        float timeResample_ms = 0.0f;
        float timePitch_ms = 0.0f;
        float timeEnvelope_ms = 0.0f;
        float timeDecode_ms = 0.0f;
        float estimatedPitch_Hz = 0.0f;
        float estimatedSpeed_wpm = 0.0f;
        float signalThreshold = 0.0f;
        float costFunction = 0.0f;
        float signalPeak = 0.0f;  // the largest value of the envelope window takeSignalF gives
    };

    explicit QoMorse(const qomorse_Parameters& parameters);
    ~QoMorse();
    QoMorse(const QoMorse&) = delete;
    QoMorse& operator=(const QoMorse&) = delete;

    static const qomorse_Parameters& getDefaultParameters();
    static const qomorse_ParametersDecode& getDefaultParametersDecode();
    static const qomorse_ParametersEncode& getDefaultParametersEncode();

    bool setParametersDecode(const qomorse_ParametersDecode& parameters);
    bool setParametersEncode(const qomorse_ParametersEncode& parameters);

    // Returns the engine to the state of one just constructed with the same
    // parameters (default decode and encode parameters, no text, silent
    // history), reusing all its memory: nothing is allocated, unless
    // setCharacter() changed the code table, which is then copied anew.
    void reset();

    // Sets text to transmit; while it is pending, decoding is suspended.
    bool init(int size, const uint8_t* data);

    // Pulls audio until the callback runs dry; true when at least one frame
    // was decoded.
    bool decode(const qomorse_CBWaveformInp& callback);
    bool lastDecodeResult() const;
    bool hasTxData() const;

    int32_t getSamplesPerFrame() const;
    int32_t getSampleSizeBytesInp() const;
    int32_t getSampleSizeBytesOut() const;
    float getSampleRateInp() const;
    float getSampleRateOut() const;
    int32_t getSampleFormatInp() const;
    int32_t getSampleFormatOut() const;
    const std::vector<uint8_t>& getRxData() const;
    const Statistics& getStatistics() const;

    // The take family hands the engine's output to the caller without a
    // copy and returns the element count (0, destination untouched, when
    // there is nothing). The destination's old storage is kept by the
    // engine, emptied, so a caller that reuses one vector makes the two
    // buffers alternate and nothing is allocated in steady state.
    int takeRxData(std::vector<uint8_t>& dst);
    int takeSignalF(std::vector<float>& dst);
    int takeThresholdF(std::vector<float>& dst);
    int takeTxWaveformI16(std::vector<int16_t>& dst);

    // Spectrum history, oldest column first.
    std::vector<std::vector<float>> getSpectrogram() const;

    // Maps a code string ("0" dot, "1" dash) to c in this engine's table.
    bool setCharacter(const char* code, char c);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
