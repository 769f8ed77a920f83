// The decoding side of zarvo-decode: a receiver that takes blocks of mono
// audio from any source (a WAV file now, a live stream later) and writes
// the text and the status lines.
#pragma once

#include "CWRx.h"
#include "cw_tuner.h"
#include "decode_options.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

struct DECODE_SESSION {
    CW_RX* rx = nullptr;
    CW_RX_CONFIG config{};
    FILE* text = nullptr;    // decoded text, usually standard output
    FILE* status = nullptr;  // status lines, or null
    uint64_t samples = 0;    // audio decoded so far
    double seconds = 0.0;
    double nextStatus = 0.2;  // audio time of the next status line
    bool endsWithNewline = true;
    bool writeFailed = false;
    bool autoTune = false;  // --pitch auto
    CW_TUNER* tuner = nullptr;
    bool timestamps = false;   // --timestamps: line prefixes and a line feed after each over
    double startEpoch = 0.0;   // UTC seconds when the audio began
    double lastText = 0.0;     // audio time of the last character printed
    std::deque<float> recent;  // the last seconds of audio until a tuned signal is confirmed
};

// Builds the receiver; opens the status file when one is named. False with
// a reason when either fails.
bool decode_session_open(DECODE_SESSION* session, const DECODE_OPTIONS& options, FILE* text, std::string* error);

// Decodes one block at the given rate in pieces of at most the default block
// size (the tuner and the replay are tuned to that), configuring the receiver
// first as the audio pipeline does before every frame. Text is flushed as it
// comes.
void decode_session_feed(DECODE_SESSION* session, const float* samples, size_t count, double sampleRate);

// Feeds the closing silence in blocks of blockSamples, ends the text with a
// line feed and closes the status file. False when a status line could not
// be written.
bool decode_session_finish(DECODE_SESSION* session, double sampleRate, size_t blockSamples);

void decode_session_close(DECODE_SESSION* session);
