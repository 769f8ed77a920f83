// Private state of QoMorse, shared by the engine's source files.
#pragma once

#include "goertzel_running_fir.h"
#include "morse_code_table.h"
#include "qomorse.h"
#include "resampler.h"
#include "stfft.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// y[n] = b0 x[n] + b1 x[n-1] - a1 y[n-1], state carried across blocks.
struct OnePoleFilter {
    enum Type : int32_t { kOff = 0, kHighPass = 1, kLowPass = 2 };

    int32_t type = kOff;
    float b0 = 0.0f;
    float b1 = 0.0f;
    float a1 = 0.0f;
    float x1 = 0.0f;
    float y1 = 0.0f;

    bool active() const { return type >= 1 && type <= 4; }
    void process(float* samples, int n);
    void designHighPass(float cutoffHz, float sampleRate);
    void designLowPass(float cutoffHz, float sampleRate);
};

// One key-down or key-up run of the envelope.
struct Interval {
    int32_t keyDown = 0;
    int32_t start = 0;
    int32_t end = 0;
    float lengthDots = 0.0f;
    int32_t kind = 0;  // down: 1 dash, 0 dot; up: 1 inner, 2 char, 3 word, 0 other
};

struct QoMorse::Impl {
    static constexpr int kInputBufferSamples = 4224;
    static constexpr int kInternalRate = 4000;
    static constexpr int kSpeedIndexCount = 100;
    static constexpr int kThresholdIndexCount = 100;
    // Longer symbols all read as "?", so appends stop here.
    static constexpr size_t kSymbolCapacity = 16;

    explicit Impl(const qomorse_Parameters& parameters);

    bool setParametersDecode(const qomorse_ParametersDecode& parameters);
    bool setParametersEncode(const qomorse_ParametersEncode& parameters);
    bool setCharacter(const char* code, char c);

    // Decode loop (qomorse_decode.cpp).
    bool decode(const qomorse_CBWaveformInp& callback);
    uint32_t bytesWanted(float rateFactor);
    int fillFrameBuffer(int waiting, int n, float rateFactor, bool* failed);
    void convertInput(int n);

    // Symbol decoder (qomorse_symbol_decoder.cpp).
    void decodeFrame(float* frame);
    float findPitch() const;
    void buildEnvelope();
    void searchHypotheses();
    void tryHypothesis(int speedIndex, int thresholdIndex);
    const std::vector<int32_t>& runBoundaries(int thresholdIndex);

    // Text emission (qomorse_text_emission.cpp).
    void emitText(int stableBefore, int stableAfter);
    void readSlot(int slot, size_t* cursor);
    void readPositions(int from, int to, int64_t frame, size_t* cursor);
    void actOnRun(const Interval& run);
    void emitCharacter();

    // Construction record.
    float sampleRateInp;
    float sampleRateOut;
    int32_t samplesPerFrame;
    int32_t sampleSizeBytesInp;
    int32_t sampleSizeBytesOut;
    int32_t sampleFormatInp;
    int32_t sampleFormatOut;
    bool inputUsable = true;  // rate and frame size keep every read in bounds

    int32_t samplesNeeded;
    int32_t publishCount = 0;
    int32_t txDataLength = 0;
    int32_t stableSpeedCount = 0;
    bool txPending = false;
    bool lastDecodeResult = false;

    qomorse_ParametersDecode decodeParameters;
    qomorse_ParametersEncode encodeParameters;
    QoMorse::Statistics statistics;

    Interval lastInterval;
    std::string symbol;

    std::vector<float> frameBuffer;
    std::vector<float> convertedInput;
    std::vector<uint8_t> rawInput;

    std::vector<uint8_t> txData;
    std::vector<int16_t> txWaveformI16;

    std::vector<uint8_t> rxData;
    std::vector<float> signalF;
    std::vector<float> thresholdF;

    // Timing search work areas. Runs depend only on the threshold, so each
    // frame extracts the run boundaries once per threshold and every speed
    // hypothesis reuses them.
    std::array<std::vector<int32_t>, kThresholdIndexCount> boundaries;
    std::array<int64_t, kThresholdIndexCount> boundariesFrame{};
    std::vector<Interval> candidateRuns;
    std::vector<Interval> bestRuns;
    float bestCost = 0.0f;
    int bestSpeedIndex = 0;
    int bestThresholdIndex = 0;

    STFFT stfft;
    OnePoleFilter highPass;
    OnePoleFilter lowPass;
    Resampler resampler;
    GoertzelRunningFIR toneFilter;
    MorseCodeTable morseCode;

    // Frame working values.
    std::vector<float> envelope;  // decimated envelope E
    int decimation = 1;           // d
    double thresholdUnit = 0.0;   // mean(E) * 0.01
    int64_t framesDecoded = 0;

    // Absolute input position (in 4000 Hz samples) of the newest envelope
    // value already read, so a reading point that falls back never emits
    // the same stretch twice.
    int64_t lastReadSample = -1;
};

// Name of a format for messages and its size in bytes (0 when invalid).
int32_t qomorse_sample_size_bytes(int32_t format);
