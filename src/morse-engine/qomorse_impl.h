// Private state of QoMorse, shared by the engine's source files.
#pragma once

#include "keying_slicer.h"
#include "morse_code_table.h"
#include "morse_soft_reader.h"
#include "morse_timing.h"
#include "qomorse.h"
#include "resampler.h"
#include "stfft.h"
#include "tone_demodulator.h"

#include <cstdint>
#include <memory>
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

// Owners of the decoding stages' handles.
struct ToneDemodDeleter {
    void operator()(TONE_DEMOD* d) const { tone_demod_destroy(d); }
};
struct KeyingSlicerDeleter {
    void operator()(KEYING_SLICER* s) const { keying_slicer_destroy(s); }
};
struct MorseTimingDeleter {
    void operator()(MORSE_TIMING* t) const { morse_timing_destroy(t); }
};
struct MorseSoftReaderDeleter {
    void operator()(MORSE_SOFT_READER* r) const { morse_soft_reader_destroy(r); }
};

struct QoMorse::Impl {
    static constexpr int kInputBufferSamples = 4224;
    static constexpr int kInternalRate = 4000;
    // The published envelope covers the last three seconds.
    static constexpr int kEnvelopeValues = 1500;
    // Audio kept while the first over's speed is learned.
    static constexpr int kFirstOverSeconds = 8;

    explicit Impl(const qomorse_Parameters& parameters);

    bool setParametersDecode(const qomorse_ParametersDecode& parameters);
    bool setParametersEncode(const qomorse_ParametersEncode& parameters);
    bool setCharacter(const char* code, char c);
    void reset();

    // Decode loop (qomorse_decode.cpp).
    bool decode(const qomorse_CBWaveformInp& callback);
    uint32_t bytesWanted(float rateFactor);
    int fillFrameBuffer(int waiting, int n, float rateFactor, bool* failed);
    void convertInput(int n);

    // Symbol decoder (qomorse_symbol_decoder.cpp).
    void decodeFrame(float* frame);
    float findPitch() const;
    float pullHz() const;
    TONE_DEMOD_CONFIG demodConfig(float pitchHz, float pull) const;
    void createStages();
    void applySpeedRange();
    void tune(float pitch);
    void followSpeed();
    float windowFor(float dotMs, float windowMs, float markPeak) const;
    void setStages(float dotMs, float windowMs);
    void keepFirstOverAudio(const float* frame);
    void rereadFirstOver(size_t textBefore);
    void readFirstOverAgain(const MORSE_TIMING_STATUS& t, const TONE_DEMOD_STATUS& d, const KEYING_SLICER_STATUS& k);
    void keyEnvelope(const float* values, const float* baseband, int n);
    void restartTiming(float unitMs);
    static bool readSoftly(void* context, const MORSE_TIMING_SPAN& span, std::string* code);
    static bool readWordSoftly(void* context, const MORSE_TIMING_WORD& word, std::string* text);
    void publish();

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
    bool txPending = false;
    bool lastDecodeResult = false;

    qomorse_ParametersDecode decodeParameters;
    qomorse_ParametersEncode encodeParameters;
    QoMorse::Statistics statistics;

    std::vector<float> frameBuffer;
    std::vector<float> convertedInput;
    std::vector<uint8_t> rawInput;

    std::vector<uint8_t> txData;
    std::vector<int16_t> txWaveformI16;

    std::vector<uint8_t> rxData;
    std::vector<float> signalF;
    std::vector<float> thresholdF;

    STFFT stfft;
    OnePoleFilter highPass;
    OnePoleFilter lowPass;
    Resampler resampler;
    MorseCodeTable morseCode;
    bool morseCodeChanged = false;  // setCharacter() was used: reset() restores the table

    // Decoding stages: tone to envelope, envelope to runs, runs to text.
    std::unique_ptr<TONE_DEMOD, ToneDemodDeleter> demod;
    std::unique_ptr<KEYING_SLICER, KeyingSlicerDeleter> slicer;
    std::unique_ptr<MORSE_TIMING, MorseTimingDeleter> timing;
    // The envelope as the slicer was given it, for reading weak characters
    // again; its value 0 lies at softOriginMs on the timing's clock.
    std::unique_ptr<MORSE_SOFT_READER, MorseSoftReaderDeleter> softReader;
    double softOriginMs = 0.0;
    float tunedPitch = 0.0f;           // nominal pitch of the demodulator, 0 before the first tone
    float stagesDotMs = 0.0f;          // dot length the demodulator and slicer are set for
    float stagesWindowMs = 0.0f;       // averaging window in use
    int32_t windowElements = 0;        // elements read when the window was last set
    std::vector<float> frameEnvelope;  // one frame's envelope values
    std::vector<float> frameBaseband;  // and the baseband they were averaged from
    // The audio of the first over until its speed is learned, read again
    // once with the stages set for that speed (a ring, oldest at firstOverStart).
    std::vector<float> firstOverAudio;
    size_t firstOverStart = 0;
    size_t firstOverCount = 0;
    bool firstOverRead = false;
    std::vector<float> envelopeRing;  // the last kEnvelopeValues, oldest at envelopeNext
    int envelopeNext = 0;
};

// Name of a format for messages and its size in bytes (0 when invalid).
int32_t qomorse_sample_size_bytes(int32_t format);
