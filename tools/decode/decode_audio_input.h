// File and pipe input of zarvo-decode: channel 0 of a WAV stream, of
// headerless PCM or of any file libsndfile reads, handed out in bounded
// pieces so that memory stays the same whatever the length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum DECODE_RAW_ENCODING {
    DECODE_RAW_NONE,   // the input says what it is (WAV, FLAC, OGG, ...)
    DECODE_RAW_S16LE,  // signed 16-bit little-endian, interleaved
    DECODE_RAW_F32LE,  // IEEE float little-endian, interleaved
};

struct DECODE_INPUT_CONFIG {
    std::string path;  // a file, FIFO or device, or "-" for standard input
    DECODE_RAW_ENCODING raw = DECODE_RAW_NONE;
    uint32_t rawRate = 0;
    uint16_t rawChannels = 1;
};

struct DECODE_INPUT_STATUS {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint64_t frames = 0;      // handed out so far
    bool truncated = false;   // a WAV data chunk ended before its stated size
    const char* format = "";  // "WAV", "raw" or "libsndfile"
};

struct DECODE_INPUT;

// Opens and checks the input: the header is read, the rate checked against
// 8000..384000 Hz before any buffer is sized. Null with a one-line reason
// that names the input.
DECODE_INPUT* decode_input_open(const DECODE_INPUT_CONFIG* config, std::string* error);

// Up to maxFrames of channel 0 into mono. Returns what a pipe had ready
// without waiting for more once something came; *count 0 at the end of the
// input. False with a reason on a read error.
bool decode_input_read(DECODE_INPUT* input, float* mono, size_t maxFrames, size_t* count, std::string* error);

// As decode_input_read, but up to maxFrames of channels 0 and 1 as pairs
// (I, Q of an IQ recording): `pairs` holds 2 * maxFrames floats. False with
// a reason when the input has a single channel.
bool decode_input_read_pairs(DECODE_INPUT* input, float* pairs, size_t maxFrames, size_t* count, std::string* error);

void decode_input_get_status(const DECODE_INPUT* input, DECODE_INPUT_STATUS* status);

void decode_input_destroy(DECODE_INPUT* input);
