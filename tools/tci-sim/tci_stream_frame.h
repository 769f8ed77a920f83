// Builds binary stream frames as a TCI server sends them: the 64-byte
// little-endian header and the samples in the header's format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TCI_STREAM_FRAME_HEADER {
    uint32_t receiver;
    uint32_t sampleRate;
    uint32_t format;
    uint32_t codec;
    uint32_t crc;
    uint32_t length;  // set by tci_build_stream_frame
    uint32_t type;
    uint32_t channels;
};

// The header words as they stand, reserved words zero, into 64 bytes.
void tci_write_stream_header(const TCI_STREAM_FRAME_HEADER& header, uint8_t* out);

// Replaces *frame with the header (length = count) and `count` interleaved
// samples encoded in header.format: integers scaled to full scale with
// clipping and NaN as 0, float32 as they are. False for an unknown format
// or a count that does not fit the length word.
bool tci_build_stream_frame(TCI_STREAM_FRAME_HEADER header, const float* samples, size_t count,
                            std::vector<uint8_t>* frame);
