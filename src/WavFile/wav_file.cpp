#include "wav_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// Where the fmt and data chunks were found in the buffer.
struct WAV_CHUNKS {
    const uint8_t* fmt = nullptr;
    uint64_t fmtSize = 0;
    bool fmtTruncated = false;
    const uint8_t* data = nullptr;
    uint64_t dataSize = 0;  // bytes actually present
    bool dataTruncated = false;
};

// A whole WAV file can hold at most 8 + 0xFFFFFFFF bytes.
constexpr uint64_t kMaxFileBytes = 8ull + 0xFFFFFFFFull;

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Little-endian output into an image sized in advance.
struct BYTE_CURSOR {
    uint8_t* p;
};

void put16(BYTE_CURSOR* out, uint32_t v)
{
    out->p[0] = static_cast<uint8_t>(v);
    out->p[1] = static_cast<uint8_t>(v >> 8);
    out->p += 2;
}

void put32(BYTE_CURSOR* out, uint32_t v)
{
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

void put_tag(BYTE_CURSOR* out, const char* tag)
{
    std::memcpy(out->p, tag, 4);
    out->p += 4;
}

bool tag_is(const uint8_t* p, const char* tag)
{
    return std::memcmp(p, tag, 4) == 0;
}

// Walks the chunk list after the 12-byte RIFF header. Offsets are 64-bit
// so a hostile 0xFFFFFFFF size cannot wrap; a chunk running past the end of
// the buffer ends the walk.
WAV_CHUNKS find_chunks(const uint8_t* data, uint64_t size)
{
    WAV_CHUNKS found;
    uint64_t pos = 12;
    while (pos + 8 <= size && (!found.fmt || !found.data)) {
        const uint8_t* header = data + pos;
        const uint64_t declared = get32(header + 4);
        const uint64_t body = pos + 8;
        const uint64_t available = size - body;
        const bool overruns = declared > available;
        if (tag_is(header, "fmt ") && !found.fmt) {
            if (overruns) {
                found.fmtTruncated = true;
                break;
            }
            found.fmt = data + body;
            found.fmtSize = declared;
        } else if (tag_is(header, "data") && !found.data) {
            found.data = data + body;
            found.dataSize = std::min(declared, available);
            found.dataTruncated = overruns;
        }
        if (overruns)
            break;
        pos = body + declared + (declared & 1);  // odd chunks carry a pad byte
    }
    return found;
}

// The 16 bytes of a KSDATAFORMAT_SUBTYPE GUID after its leading format code.
bool is_standard_subformat(const uint8_t* guid)
{
    static const uint8_t kTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    return std::memcmp(guid + 2, kTail, sizeof kTail) == 0;
}

bool check_format(const WAV_FORMAT& format, std::string* error)
{
    if (format.tag != WAV_TAG_PCM && format.tag != WAV_TAG_IEEE_FLOAT)
        return fail(error, "unsupported WAV format " + std::to_string(format.tag) + " (only PCM and IEEE float)");
    if (format.channels == 0)
        return fail(error, "WAV has zero channels");
    if (format.sampleRate == 0)
        return fail(error, "WAV has zero sample rate");
    const uint16_t bits = format.bits;
    if (format.tag == WAV_TAG_PCM && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail(error, "unsupported PCM bit depth " + std::to_string(bits) + " (only 8, 16, 24, 32)");
    if (format.tag == WAV_TAG_IEEE_FLOAT && bits != 32 && bits != 64)
        return fail(error, "unsupported float bit depth " + std::to_string(bits) + " (only 32, 64)");
    const uint32_t expected = static_cast<uint32_t>(format.channels) * (bits / 8u);
    if (format.blockAlign != expected)
        return fail(error, "WAV block align " + std::to_string(format.blockAlign) + " does not match " +
                               std::to_string(format.channels) + " channels of " + std::to_string(bits) + " bits");
    return true;
}

void decode_samples(const WAV_CHUNKS& chunks, const WAV_FORMAT& format, std::vector<float>* out)
{
    const uint64_t frames = chunks.dataSize / format.blockAlign;
    const uint64_t count = frames * format.channels;
    const unsigned step = format.bits / 8u;
    out->resize(static_cast<size_t>(count));
    wav_decode_samples(chunks.data, static_cast<size_t>(count), step, format.tag, format.bits, out->data());
}

// Integer PCM from a float sample, see the header for the rounding rule;
// nearbyint runs in the default round-to-nearest-even mode.
int16_t pcm16_from_float(float x)
{
    if (std::isnan(x))
        return 0;
    const double v = std::clamp(static_cast<double>(x), -1.0, 1.0) * 32767.0;
    return static_cast<int16_t>(std::nearbyint(v));
}

void put_fmt(BYTE_CURSOR* out, WAV_ENCODING encoding, uint16_t channels, uint32_t sampleRate)
{
    const bool isFloat = encoding == WAV_ENCODING_FLOAT32;
    const uint16_t bytes = isFloat ? 4 : 2;
    const uint16_t blockAlign = static_cast<uint16_t>(channels * bytes);
    put_tag(out, "fmt ");
    put32(out, isFloat ? 18 : 16);
    put16(out, isFloat ? WAV_TAG_IEEE_FLOAT : WAV_TAG_PCM);
    put16(out, channels);
    put32(out, sampleRate);
    put32(out, sampleRate * blockAlign);
    put16(out, blockAlign);
    put16(out, bytes * 8u);
    if (isFloat)
        put16(out, 0);  // cbSize: non-PCM formats carry the extension size
}

bool check_image_request(const float* samples, size_t count, uint16_t channels, uint32_t sampleRate,
                         WAV_ENCODING encoding, std::vector<uint8_t>* image, std::string* error)
{
    if (!image)
        return fail(error, "no output buffer for the WAV image");
    if (count > 0 && !samples)
        return fail(error, "no samples for the WAV image");
    if (channels == 0 || sampleRate == 0)
        return fail(error, "WAV needs at least one channel and a non-zero sample rate");
    if (count % channels != 0)
        return fail(error, "sample count is not a whole number of frames");
    if (encoding != WAV_ENCODING_PCM16 && encoding != WAV_ENCODING_FLOAT32)
        return fail(error, "unknown WAV encoding");
    const uint64_t blockAlign = static_cast<uint64_t>(channels) * (encoding == WAV_ENCODING_FLOAT32 ? 4 : 2);
    if (static_cast<uint64_t>(sampleRate) * blockAlign > 0xFFFFFFFFull)
        return fail(error, "sample rate too high for a WAV header");
    // Leave room for the largest header inside the 32-bit RIFF size.
    if (static_cast<uint64_t>(count) > (0xFFFFFFFFull - 64) / 4)
        return fail(error, "too many samples for a WAV file");
    return true;
}

std::string temp_name_for(const std::filesystem::path& target, unsigned attempt)
{
    const auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".tmp%llx-%u", ticks, attempt);
    std::filesystem::path temp = target;
    temp.replace_filename("." + target.filename().string() + suffix);
    return temp.string();
}

// Creates a new file exclusively ("x") so a concurrent writer's temporary
// file is never reused.
std::FILE* create_temp(const std::filesystem::path& target, std::string* tempPath, std::string* error)
{
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        *tempPath = temp_name_for(target, attempt);
        if (std::FILE* f = std::fopen(tempPath->c_str(), "wbx"))
            return f;
        if (errno != EEXIST)
            break;
    }
    std::string folder = target.parent_path().string();
    fail(error, "cannot create a temporary file in '" + (folder.empty() ? std::string(".") : folder) +
                    "': " + std::strerror(errno));
    return nullptr;
}

bool read_all(std::FILE* f, std::vector<uint8_t>* bytes, std::string* error)
{
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) {
        if (bytes->size() + got > kMaxFileBytes)
            return fail(error, "file too large for a WAV file");
        bytes->insert(bytes->end(), block, block + got);
    }
    if (std::ferror(f))
        return fail(error, std::string("read error: ") + std::strerror(errno));
    return true;
}

}  // namespace

bool wav_parse_fmt(const uint8_t* p, size_t size, WAV_FORMAT* format, std::string* error)
{
    *format = WAV_FORMAT{};
    if (size < 16)
        return fail(error, "WAV fmt chunk too short (" + std::to_string(size) + " bytes)");
    format->tag = get16(p);
    format->channels = get16(p + 2);
    format->sampleRate = get32(p + 4);
    format->blockAlign = get16(p + 12);
    format->bits = get16(p + 14);
    if (format->tag == WAV_TAG_EXTENSIBLE) {
        if (size < 40)
            return fail(error, "WAV extensible fmt chunk too short (" + std::to_string(size) + " bytes)");
        if (!is_standard_subformat(p + 24))
            return fail(error, "unsupported WAV extensible subformat");
        format->tag = get16(p + 24);
        format->extensible = true;
    }
    return check_format(*format, error);
}

namespace {

enum class SampleKind { kFloat64, kFloat32, kPcm8, kPcm16, kPcm24, kPcm32 };

SampleKind sample_kind(uint16_t tag, uint16_t bits)
{
    if (tag == WAV_TAG_IEEE_FLOAT)
        return bits == 64 ? SampleKind::kFloat64 : SampleKind::kFloat32;
    switch (bits) {
    case 8: return SampleKind::kPcm8;
    case 16: return SampleKind::kPcm16;
    case 24: return SampleKind::kPcm24;
    default: return SampleKind::kPcm32;
    }
}

template <SampleKind kind>
float decode_one(const uint8_t* p)
{
    if constexpr (kind == SampleKind::kFloat64)
        return static_cast<float>(std::bit_cast<double>(get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32)));
    if constexpr (kind == SampleKind::kFloat32)
        return std::bit_cast<float>(get32(p));
    if constexpr (kind == SampleKind::kPcm8)
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    if constexpr (kind == SampleKind::kPcm16)
        return static_cast<int16_t>(get16(p)) / 32768.0f;
    if constexpr (kind == SampleKind::kPcm24) {
        // Placed in the top of a 32-bit word so the sign extends itself.
        const uint32_t word = (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 24);
        return static_cast<float>(static_cast<int32_t>(word) / 2147483648.0);
    }
    return static_cast<float>(static_cast<int32_t>(get32(p)) / 2147483648.0);
}

constexpr size_t sample_bytes(SampleKind kind)
{
    switch (kind) {
    case SampleKind::kFloat64: return 8;
    case SampleKind::kPcm8: return 1;
    case SampleKind::kPcm16: return 2;
    case SampleKind::kPcm24: return 3;
    default: return 4;
    }
}

template <SampleKind kind>
void decode_run(const uint8_t* p, size_t count, size_t stride, float* out)
{
    constexpr size_t kBytes = sample_bytes(kind);
    if (stride == kBytes) {
        // One channel: little-endian floats are already what is wanted, and
        // a stride known when compiling lets the other loops vectorise.
        if constexpr (kind == SampleKind::kFloat32 && std::endian::native == std::endian::little) {
            if (count > 0)
                std::memcpy(out, p, count * sizeof(float));
            return;
        }
        for (size_t i = 0; i < count; ++i)
            out[i] = decode_one<kind>(p + i * kBytes);
        return;
    }
    for (size_t i = 0; i < count; ++i)
        out[i] = decode_one<kind>(p + i * stride);
}

}  // namespace

float wav_decode_sample(const uint8_t* p, uint16_t tag, uint16_t bits)
{
    float x = 0.0f;
    wav_decode_samples(p, 1, 0, tag, bits, &x);
    return x;
}

void wav_decode_samples(const uint8_t* p, size_t count, size_t stride, uint16_t tag, uint16_t bits, float* out)
{
    switch (sample_kind(tag, bits)) {
    case SampleKind::kFloat64: decode_run<SampleKind::kFloat64>(p, count, stride, out); break;
    case SampleKind::kFloat32: decode_run<SampleKind::kFloat32>(p, count, stride, out); break;
    case SampleKind::kPcm8: decode_run<SampleKind::kPcm8>(p, count, stride, out); break;
    case SampleKind::kPcm16: decode_run<SampleKind::kPcm16>(p, count, stride, out); break;
    case SampleKind::kPcm24: decode_run<SampleKind::kPcm24>(p, count, stride, out); break;
    case SampleKind::kPcm32: decode_run<SampleKind::kPcm32>(p, count, stride, out); break;
    }
}

bool wav_read_memory(const uint8_t* data, size_t size, WAV_AUDIO* audio, std::string* error)
{
    if (!audio)
        return fail(error, "no output record for the WAV audio");
    *audio = WAV_AUDIO{};
    if (!data || size < 12 || !tag_is(data, "RIFF"))
        return fail(error, "not a WAV file (no RIFF header)");
    if (!tag_is(data + 8, "WAVE"))
        return fail(error, "not a WAV file (RIFF form is not WAVE)");
    const WAV_CHUNKS chunks = find_chunks(data, size);
    if (chunks.fmtTruncated)
        return fail(error, "truncated WAV fmt chunk");
    if (!chunks.fmt)
        return fail(error, "WAV has no fmt chunk");
    WAV_FORMAT format;
    if (!wav_parse_fmt(chunks.fmt, static_cast<size_t>(chunks.fmtSize), &format, error))
        return false;
    if (!chunks.data)
        return fail(error, "WAV has no data chunk");
    decode_samples(chunks, format, &audio->samples);
    audio->channels = format.channels;
    audio->sampleRate = format.sampleRate;
    audio->formatTag = format.tag;
    audio->bitsPerSample = format.bits;
    audio->extensible = format.extensible;
    audio->dataTruncated = chunks.dataTruncated;
    return true;
}

bool wav_read_file(const std::string& path, WAV_AUDIO* audio, std::string* error)
{
    if (audio)
        *audio = WAV_AUDIO{};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return fail(error, "cannot open '" + path + "': " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    const bool readOk = read_all(f, &bytes, error);
    std::fclose(f);
    if (!readOk)
        return false;
    if (!wav_read_memory(bytes.data(), bytes.size(), audio, error)) {
        if (error)
            *error = path + ": " + *error;
        return false;
    }
    return true;
}

size_t wav_frame_count(const WAV_AUDIO& audio)
{
    return audio.channels ? audio.samples.size() / audio.channels : 0;
}

bool wav_build_image(const float* samples, size_t count, uint16_t channels, uint32_t sampleRate, WAV_ENCODING encoding,
                     std::vector<uint8_t>* image, std::string* error)
{
    if (!check_image_request(samples, count, channels, sampleRate, encoding, image, error))
        return false;
    const bool isFloat = encoding == WAV_ENCODING_FLOAT32;
    const uint32_t dataBytes = static_cast<uint32_t>(count * (isFloat ? 4 : 2));
    const uint32_t headerBytes = isFloat ? 58 : 44;
    image->assign(headerBytes + dataBytes, 0);
    BYTE_CURSOR out{image->data()};
    put_tag(&out, "RIFF");
    put32(&out, headerBytes - 8 + dataBytes);
    put_tag(&out, "WAVE");
    put_fmt(&out, encoding, channels, sampleRate);
    if (isFloat) {
        put_tag(&out, "fact");
        put32(&out, 4);
        put32(&out, static_cast<uint32_t>(count / channels));
    }
    put_tag(&out, "data");
    put32(&out, dataBytes);
    for (size_t i = 0; i < count; ++i) {
        if (isFloat)
            put32(&out, std::bit_cast<uint32_t>(samples[i]));
        else
            put16(&out, static_cast<uint16_t>(pcm16_from_float(samples[i])));
    }
    return true;
}

bool wav_write_file(const std::string& path, const std::vector<uint8_t>& image, std::string* error)
{
    if (path.empty())
        return fail(error, "no output file name");
    const std::filesystem::path target(path);
    // The rename would silently put a plain file in place of a device or
    // folder, so only regular files are replaced.
    std::error_code ec;
    const auto existing = std::filesystem::status(target, ec);
    if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing))
        return fail(error, "'" + path + "' exists and is not a regular file");
    std::string tempPath;
    std::FILE* f = create_temp(target, &tempPath, error);
    if (!f)
        return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    int savedErrno = errno;
    if (std::fclose(f) != 0 && ok) {  // a full disk often shows only here
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        std::remove(tempPath.c_str());
        return fail(error, "cannot write '" + path + "': " + std::strerror(savedErrno));
    }
    if (std::rename(tempPath.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        std::remove(tempPath.c_str());
        return fail(error, "cannot replace '" + path + "': " + std::strerror(renameErrno));
    }
    return true;
}
