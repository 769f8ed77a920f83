#include "tci_stream_frame.h"

#include "TCIStreamInfo.h"

#include <bit>
#include <cmath>
#include <limits>

namespace {

void put_le(uint8_t* out, uint32_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Two's complement of the rounded, clipped sample at `fullScale`.
uint32_t integer_sample(float sample, double fullScale)
{
    const double clipped = std::isnan(sample) ? 0.0 : std::fmax(-1.0, std::fmin(1.0, static_cast<double>(sample)));
    return static_cast<uint32_t>(static_cast<int32_t>(std::lround(clipped * fullScale)));
}

uint32_t encoded_sample(float sample, uint32_t format)
{
    switch (format) {
    case TCI_SAMPLE_INT16: return integer_sample(sample, 32767.0);
    case TCI_SAMPLE_INT24: return integer_sample(sample, 8388607.0);
    case TCI_SAMPLE_INT32: return integer_sample(sample, 2147483647.0);
    default: return std::bit_cast<uint32_t>(sample);
    }
}

}  // namespace

void tci_write_stream_header(const TCI_STREAM_FRAME_HEADER& h, uint8_t* out)
{
    const uint32_t words[16] = {h.receiver, h.sampleRate, h.format, h.codec, h.crc, h.length, h.type, h.channels};
    for (size_t i = 0; i < 16; ++i)
        put_le(out + 4 * i, words[i], 4);
}

bool tci_build_stream_frame(TCI_STREAM_FRAME_HEADER header, const float* samples, size_t count,
                            std::vector<uint8_t>* frame)
{
    const uint64_t sampleBytes = tci_stream_sample_bytes(header.format);
    if (!frame || sampleBytes == 0 || count > std::numeric_limits<uint32_t>::max() || (count > 0 && !samples))
        return false;
    header.length = static_cast<uint32_t>(count);
    frame->assign(kTCIStreamHeaderBytes + sampleBytes * count, 0);
    tci_write_stream_header(header, frame->data());
    uint8_t* out = frame->data() + kTCIStreamHeaderBytes;
    for (size_t i = 0; i < count; ++i, out += sampleBytes)
        put_le(out, encoded_sample(samples[i], header.format), sampleBytes);
    return true;
}
