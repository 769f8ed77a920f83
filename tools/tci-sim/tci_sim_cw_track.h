// A queue of texts keyed as Morse tone, rendered one word at a time so that
// memory stays small however long the queue is.
#pragma once

#include "morse_audio_generator.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class TciSimCwTrack {
public:
    // Queues `text` keyed with `config` (speed, pitch, amplitude, jitter,
    // rate), after pauseSeconds of silence.
    void append(const std::string& text, const MORSE_AUDIO_CONFIG& config, double pauseSeconds = 0.0);
    // Drops everything not yet played; returns the characters that were
    // still queued (not counting the word under way).
    size_t clear();
    bool idle() const;
    // Adds the next samples into out[0, count); returns how many the track
    // supplied (fewer than count only when it ran dry).
    size_t mix(float* out, size_t count);

private:
    struct Item {
        std::string text;
        MORSE_AUDIO_CONFIG config;
        uint64_t pauseSamples;
        size_t cursor;
    };
    bool renderNextWord();

    std::deque<Item> items_;
    uint64_t silence_ = 0;         // samples of pause still to play
    std::vector<float> rendered_;  // the word under way
    size_t played_ = 0;
    std::vector<MORSE_KEYING> timeline_;
};
