// Header of a binary stream frame from a TCI server: 64 bytes of eight
// little-endian 32-bit words (plus eight reserved ones), then interleaved
// samples. Parsing is pure and safe for any byte sequence.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kTCIStreamHeaderBytes = 64;
constexpr uint32_t kTCIStreamTypeIQ = 0;
constexpr uint32_t kTCIStreamTypeRxAudio = 1;
constexpr size_t kTCIPeakScanFrames = 256;

// Sample format codes of the header's format word.
enum : uint32_t {
    TCI_SAMPLE_INT16 = 0,
    TCI_SAMPLE_INT24 = 1,
    TCI_SAMPLE_INT32 = 2,
    TCI_SAMPLE_FLOAT32 = 3,
};

// Rates a receiver can be asked to run at; anything else is not usable audio.
constexpr uint32_t kTCIMinUsableSampleRate = 8000;
constexpr uint32_t kTCIMaxUsableSampleRate = 384000;

// Rates of a wideband IQ stream. Some servers keep their own rate whatever
// was asked, so the rate in each frame's header is the one to use.
constexpr uint32_t kTCIMinUsableIqSampleRate = 48000;
constexpr uint32_t kTCIMaxUsableIqSampleRate = 384000;

struct TCIStreamInfo {
    bool valid;             // payloadComplete, length != 0 and channels != 0
    bool payloadComplete;   // known format and 0 < expectedPayloadBytes <= payloadBytes
    bool isRxAudioFloat32;  // valid float32 receive audio at a usable rate
    bool isIQFloat32;       // valid float32 IQ (I and Q: 2 channels) at a usable IQ rate
    uint32_t receiver;
    uint32_t sampleRate;
    uint32_t format;
    uint32_t codec;
    uint32_t crc;
    uint32_t length;  // sample values of all channels together
    uint32_t type;
    uint32_t channels;
    uint64_t messageBytes;
    uint64_t payloadBytes;
    uint64_t expectedPayloadBytes;
    uint64_t headerBytes;
    uint64_t frameCount;  // length / channels; complex samples of an IQ frame
    float peakChannel0;   // over the first kTCIPeakScanFrames frames
    float peakChannel1;   // channel 0 again for a one-channel frame
};

// Bytes of one sample of a format code; 0 for an unknown code.
uint64_t tci_stream_sample_bytes(uint32_t format);

bool tci_stream_sample_rate_usable(uint32_t sampleRate);
bool tci_stream_iq_sample_rate_usable(uint32_t sampleRate);

// Parses the header of one binary message of `size` bytes. Null data counts
// as an empty message.
TCIStreamInfo parseStreamInfoFromData(const uint8_t* data, size_t size);

// Some servers now and then send a receive-audio frame whose header gives
// a rate of 0, the rest of it valid. Such a frame's info taken at `rate`
// (the stream's last good one): usable float32 receive audio when that rate
// is. Any other frame's info comes back unchanged.
bool tci_stream_rate_missing(const TCIStreamInfo& info);
TCIStreamInfo tci_stream_info_at_rate(const uint8_t* data, const TCIStreamInfo& info, uint32_t rate);

// Channel 0 of a float32 receive-audio frame parsed into `info`, copied
// into `out` (the bytes carry no alignment promise for floats). Returns
// the samples written: info.frameCount, or 0 for a frame that is not
// usable audio, does not hold its samples, or does not fit `capacity`.
size_t tci_stream_channel0(const uint8_t* data, size_t size, const TCIStreamInfo& info, float* out, size_t capacity);

// The complex samples of a float32 IQ frame parsed into `info`, copied into
// `out` as interleaved I, Q pairs (2 floats each). Returns the complex
// samples written: info.frameCount, or 0 for a frame that is not usable IQ,
// does not hold its samples, or does not fit `capacity` complex samples.
size_t tci_stream_iq(const uint8_t* data, size_t size, const TCIStreamInfo& info, float* out, size_t capacity);
