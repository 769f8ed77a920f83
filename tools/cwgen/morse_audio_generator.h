// Morse code audio synthesis for test signals: text to a keying timeline,
// timeline to a shaped sine tone, plus white Gaussian noise at a given SNR.
// Plain functions over a flat configuration record; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct MORSE_AUDIO_CONFIG {
    double wpm;              // character speed (PARIS timing: dot = 1200 / wpm ms)
    double farnsworthWpm;    // overall speed with stretched gaps; 0 = off, else <= wpm
    double pitchHz;          // tone frequency, below half the sample rate
    uint32_t sampleRateHz;
    double amplitude;        // peak of the key-down sine, (0, 1]
    double riseMs;           // raised-cosine rise and fall inside each element
    bool addNoise;           // when false snrDb is ignored
    double snrDb;            // carrier power over noise power in 2500 Hz
    double jitterPercent;    // hand-keying timing spread, 0..100
    uint32_t seed;           // drives jitter and noise
    double leadSeconds;      // silence before the first element
    double tailSeconds;      // silence after the last one
};

// One stretch of the keying: tone on or off for a time.
struct MORSE_KEYING {
    bool keyDown;
    double durationMs;
};

// 20 WPM, no Farnsworth, 600 Hz, 8000 Hz, amplitude 0.5, 5 ms rise, no
// noise, no jitter, seed 1, 0.5 s lead and tail.
MORSE_AUDIO_CONFIG morse_audio_default_config();

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
bool morse_audio_mix_tone(const MORSE_AUDIO_CONFIG& config, const std::vector<MORSE_KEYING>& timeline,
                          size_t offset, std::vector<float>* buffer, std::string* error);

// Standard deviation of white noise over 0..rate/2 whose power in 2500 Hz is
// the carrier power amplitude^2 / 2 reduced by snrDb.
double morse_audio_noise_sigma(double amplitude, double snrDb, uint32_t sampleRateHz);

// Adds zero-mean Gaussian noise of standard deviation sigma. The generator
// is the caller's, so a stream cut into chunks continues it seamlessly.
void morse_audio_add_noise(float* samples, size_t count, double sigma, std::mt19937* rng);

// One complete transmission: lead silence, keyed text, tail silence and,
// when configured, noise over all of it. *samples is replaced.
bool morse_audio_generate(const MORSE_AUDIO_CONFIG& config, const std::string& text, std::vector<float>* samples,
                          std::string* skipped, std::string* error);
