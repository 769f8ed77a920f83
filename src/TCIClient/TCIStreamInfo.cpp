#include "TCIStreamInfo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {

constexpr uint64_t kSampleBytes[] = {2, 3, 4, 4};

uint32_t read_u32_le(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

float read_f32_le(const uint8_t* p)
{
    return std::bit_cast<float>(read_u32_le(p));
}

void copy_header(const uint8_t* data, TCIStreamInfo* info)
{
    uint32_t* const words[] = {&info->receiver, &info->sampleRate, &info->format, &info->codec,
                               &info->crc,      &info->length,     &info->type,   &info->channels};
    for (size_t i = 0; i < std::size(words); ++i)
        *words[i] = read_u32_le(data + 4 * i);
}

// NaN never compares greater, so a NaN sample cannot poison the peak.
void keep_peak(float sample, float* peak)
{
    const float magnitude = std::fabs(sample);
    if (magnitude > *peak)
        *peak = magnitude;
}

// Indexes stay below length (frame < length / channels), and length samples
// fit the payload, so every read is inside the message.
void scan_peaks(const uint8_t* payload, TCIStreamInfo* info)
{
    const uint64_t frames = std::min<uint64_t>(info->frameCount, kTCIPeakScanFrames);
    const uint64_t second = info->channels >= 2 ? 1 : 0;
    for (uint64_t frame = 0; frame < frames; ++frame) {
        const uint64_t base = frame * info->channels;
        keep_peak(read_f32_le(payload + 4 * base), &info->peakChannel0);
        keep_peak(read_f32_le(payload + 4 * (base + second)), &info->peakChannel1);
    }
}

}  // namespace

uint64_t tci_stream_sample_bytes(uint32_t format)
{
    return format < std::size(kSampleBytes) ? kSampleBytes[format] : 0;
}

bool tci_stream_sample_rate_usable(uint32_t sampleRate)
{
    return sampleRate >= kTCIMinUsableSampleRate && sampleRate <= kTCIMaxUsableSampleRate;
}

bool tci_stream_iq_sample_rate_usable(uint32_t sampleRate)
{
    return sampleRate >= kTCIMinUsableIqSampleRate && sampleRate <= kTCIMaxUsableIqSampleRate;
}

size_t tci_stream_iq(const uint8_t* data, size_t size, const TCIStreamInfo& info, float* out, size_t capacity)
{
    const uint64_t values = info.frameCount * 2;
    const bool usable = data != nullptr && out != nullptr && info.isIQFloat32 && info.channels == 2 &&
                        info.frameCount > 0 && size >= info.headerBytes &&
                        size - info.headerBytes >= info.expectedPayloadBytes &&
                        info.expectedPayloadBytes >= values * sizeof(float) && info.frameCount <= capacity;
    if (!usable)
        return 0;
    std::memcpy(out, data + info.headerBytes, static_cast<size_t>(values) * sizeof(float));
    return static_cast<size_t>(info.frameCount);
}

size_t tci_stream_channel0(const uint8_t* data, size_t size, const TCIStreamInfo& info, float* out, size_t capacity)
{
    const bool usable =
        data != nullptr && out != nullptr && info.isRxAudioFloat32 && info.frameCount > 0 && info.channels > 0 &&
        size >= info.headerBytes && size - info.headerBytes >= info.expectedPayloadBytes &&
        info.expectedPayloadBytes >= info.frameCount * info.channels * sizeof(float) && info.frameCount <= capacity;
    if (!usable)
        return 0;
    const uint8_t* payload = data + info.headerBytes;
    const size_t stride = static_cast<size_t>(info.channels) * sizeof(float);
    for (uint64_t i = 0; i < info.frameCount; ++i)
        std::memcpy(&out[i], payload + i * stride, sizeof(float));
    return static_cast<size_t>(info.frameCount);
}

TCIStreamInfo parseStreamInfoFromData(const uint8_t* data, size_t size)
{
    TCIStreamInfo info{};
    info.messageBytes = data ? size : 0;
    if (info.messageBytes < kTCIStreamHeaderBytes)
        return info;
    copy_header(data, &info);
    info.headerBytes = kTCIStreamHeaderBytes;
    info.payloadBytes = info.messageBytes - kTCIStreamHeaderBytes;
    info.expectedPayloadBytes = tci_stream_sample_bytes(info.format) * info.length;
    info.payloadComplete = info.expectedPayloadBytes >= 1 && info.expectedPayloadBytes <= info.payloadBytes;
    info.valid = info.payloadComplete && info.length != 0 && info.channels != 0;
    info.frameCount = info.channels != 0 ? info.length / info.channels : 0;
    info.isRxAudioFloat32 = info.valid && info.format == TCI_SAMPLE_FLOAT32 && info.type == kTCIStreamTypeRxAudio &&
                            tci_stream_sample_rate_usable(info.sampleRate);
    info.isIQFloat32 = info.valid && info.format == TCI_SAMPLE_FLOAT32 && info.type == kTCIStreamTypeIQ &&
                       info.channels == 2 && tci_stream_iq_sample_rate_usable(info.sampleRate);
    if (info.isRxAudioFloat32 && info.frameCount > 0)
        scan_peaks(data + kTCIStreamHeaderBytes, &info);
    return info;
}

bool tci_stream_rate_missing(const TCIStreamInfo& info)
{
    return info.valid && info.sampleRate == 0 && info.format == TCI_SAMPLE_FLOAT32 &&
           info.type == kTCIStreamTypeRxAudio;
}

TCIStreamInfo tci_stream_info_at_rate(const uint8_t* data, const TCIStreamInfo& info, uint32_t rate)
{
    if (data == nullptr || !tci_stream_rate_missing(info) || !tci_stream_sample_rate_usable(rate))
        return info;
    TCIStreamInfo taken = info;
    taken.sampleRate = rate;
    taken.isRxAudioFloat32 = true;
    if (taken.frameCount > 0)
        scan_peaks(data + kTCIStreamHeaderBytes, &taken);
    return taken;
}
