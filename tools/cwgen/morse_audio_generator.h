// Morse code audio synthesis for test signals: text to a keying timeline,
// timeline to a shaped sine tone, plus white Gaussian noise at a given SNR
// and, on request, the conditions of an HF band: two-path fading, slow
// fading, pitch drift, static crashes and a second station.
// Plain functions over a flat configuration record; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// CCIR 520 channels: differential delay and two-sigma Doppler spread of two
// equal Rayleigh paths. good 0.5 ms 0.1 Hz, moderate 1 ms 0.5 Hz, poor 2 ms
// 1 Hz, flutter 0.5 ms 10 Hz.
enum MORSE_CHANNEL : int32_t {
    MORSE_CHANNEL_NONE = 0,
    MORSE_CHANNEL_GOOD,
    MORSE_CHANNEL_MODERATE,
    MORSE_CHANNEL_POOR,
    MORSE_CHANNEL_FLUTTER,
};

struct MORSE_AUDIO_CONFIG {
    double wpm;            // character speed (PARIS timing: dot = 1200 / wpm ms)
    double farnsworthWpm;  // overall speed with stretched gaps; 0 = off, else <= wpm
    double pitchHz;        // tone frequency, below half the sample rate
    uint32_t sampleRateHz;
    double amplitude;         // peak of the key-down sine, (0, 1]
    double riseMs;            // raised-cosine rise and fall inside each element
    bool addNoise;            // when false snrDb is ignored
    double snrDb;             // carrier power over noise power in 2500 Hz
    double jitterPercent;     // hand-keying timing spread, 0..100
    uint32_t seed;            // drives jitter and noise
    double leadSeconds;       // silence before the first element
    double tailSeconds;       // silence after the last one
    MORSE_CHANNEL channel;    // CCIR 520 two-path fading; MORSE_CHANNEL_NONE = steady (default)
    double qsbDepthDb;        // slow fading depth, peak to trough in dB; 0 = off (default)
    double qsbPeriodSeconds;  // period of that fading (default 6)
    double dahRatio;          // dash length in dots (default 3; hand keyers often send 3.5)
    double driftHz;           // pitch moves linearly by this much from the first to the last sample (default 0)
    double qrnRate;           // static crashes per second, 0 = off (default)
    double qrmOffsetHz;       // a second station this far from pitchHz (may be negative); used when qrmEnabled
    double qrmLevelDb;        // its key-down power relative to the wanted signal's (e.g. -3)
    bool qrmEnabled;          // default false
};

// One stretch of the keying: tone on or off for a time.
struct MORSE_KEYING {
    bool keyDown;
    double durationMs;
};

// 20 WPM, no Farnsworth, 600 Hz, 8000 Hz, amplitude 0.5, 5 ms rise, no
// noise, no jitter, seed 1, 0.5 s lead and tail, steady channel, no QSB,
// dashes of 3 dots, no drift, QRN or QRM (offset 0, level 0 dB).
MORSE_AUDIO_CONFIG morse_audio_default_config();

// "none", "good", "moderate", "poor" or "flutter"; false for anything else.
bool morse_audio_parse_channel(const std::string& name, MORSE_CHANNEL* channel);

// Checks every field; on failure returns false with a one-line reason.
bool morse_audio_check_config(const MORSE_AUDIO_CONFIG& config, std::string* error);

// The ITU code of one character as dots and dashes, e.g. ".-" for 'A';
// lower case letters are accepted; null for characters without a code.
const char* morse_audio_code(char c);

// Keying of `text` from the first element to the end of the last gap, with
// jitter applied. A run of white space is one word gap (also at either end);
// "<AR>" and the like send their letters as one character. Characters that
// cannot be sent are left out and appended to *skipped (may be null), whole
// UTF-8 sequences at a time. Key-down and key-up stretches alternate.
bool morse_audio_timeline(const MORSE_AUDIO_CONFIG& config, const std::string& text,
                          std::vector<MORSE_KEYING>* timeline, std::string* skipped, std::string* error);

// Total duration of a timeline.
double morse_audio_timeline_ms(const std::vector<MORSE_KEYING>& timeline);

// Adds the shaped tone of `timeline` (pitch, rate, amplitude and rise taken
// from config) into *buffer starting at sample `offset`, growing the buffer
// when the keying runs past its end. Element edges are rounded to samples
// from the running total time, so timing does not drift.
bool morse_audio_mix_tone(const MORSE_AUDIO_CONFIG& config, const std::vector<MORSE_KEYING>& timeline, size_t offset,
                          std::vector<float>* buffer, std::string* error);

// Standard deviation of white noise over 0..rate/2 whose power in 2500 Hz is
// the carrier power amplitude^2 / 2 reduced by snrDb.
double morse_audio_noise_sigma(double amplitude, double snrDb, uint32_t sampleRateHz);

// Adds zero-mean Gaussian noise of standard deviation sigma. The generator
// is the caller's, so a stream cut into chunks continues it seamlessly.
void morse_audio_add_noise(float* samples, size_t count, double sigma, std::mt19937* rng);

// One complete transmission: lead silence, keyed text, tail silence and,
// when configured, the band: the wanted signal through the channel, QSB and
// drift, the second station, noise over all of it, then static crashes.
// The channel, noise and crashes draw on separate streams of `seed`, so
// turning one on leaves the others as they were. *samples is replaced.
bool morse_audio_generate(const MORSE_AUDIO_CONFIG& config, const std::string& text, std::vector<float>* samples,
                          std::string* skipped, std::string* error);
