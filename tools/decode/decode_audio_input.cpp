#include "decode_audio_input.h"

#include "wav_file.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kLowestRate = 8000;
constexpr uint32_t kHighestRate = 384000;
// Bytes asked of the input per read: small enough for a slow pipe's text to
// come out at once, large enough for a file to go at disk speed.
constexpr size_t kReadBytes = 65536;
// A fmt chunk is 16..40 bytes; anything this big is not a real one.
constexpr uint32_t kLargestFmt = 4096;
// WAV data sizes that mean "until the end of the stream".
constexpr uint32_t kUnknownSizes[] = {0, 0xFFFFFFFFu};

}  // namespace

struct DECODE_INPUT {
    std::string name;
    int fd = -1;
    bool ownsFd = false;
    SNDFILE* sound = nullptr;
    std::vector<float> soundFrames;  // interleaved, one libsndfile read
    std::vector<float> laneScratch;  // two channels decoded apart before they are paired
    WAV_FORMAT format;               // of the samples read from the stream
    size_t frameBytes = 2;
    bool bounded = false;    // the data chunk states its size
    uint64_t remaining = 0;  // bytes of data left when bounded
    // Read but not handed out yet: [start, end). Not zeroed first, as every
    // read overwrites what it uses.
    std::unique_ptr<uint8_t[]> bytes;
    size_t start = 0;
    size_t end = 0;
    bool ended = false;
    bool lastReadShort = false;
    DECODE_INPUT_STATUS status;
};

namespace {

bool fail(std::string* error, const std::string& text)
{
    *error = text;
    return false;
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Reads up to n bytes, retrying after signals and short reads of a pipe;
// fewer only at the end of the input.
bool read_full(int fd, uint8_t* to, size_t n, size_t* got, std::string* error, const std::string& name)
{
    *got = 0;
    while (*got < n) {
        const ssize_t r = ::read(fd, to + *got, n - *got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return fail(error, name + ": cannot read: " + std::strerror(errno));
        if (r == 0)
            break;
        *got += static_cast<size_t>(r);
    }
    return true;
}

// Skips a chunk body by reading it, as a pipe cannot seek.
bool skip(DECODE_INPUT* in, uint64_t n, bool* complete, std::string* error)
{
    uint8_t scratch[4096];
    while (n > 0) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
        if (!read_full(in->fd, scratch, want, &got, error, in->name))
            return false;
        n -= got;
        if (got < want) {
            *complete = false;
            return true;
        }
    }
    *complete = true;
    return true;
}

bool check_rate(const std::string& name, uint64_t rate, std::string* error)
{
    if (rate >= kLowestRate && rate <= kHighestRate)
        return true;
    return fail(error, name + ": sample rate " + std::to_string(rate) + " Hz is outside " +
                           std::to_string(kLowestRate) + ".." + std::to_string(kHighestRate) + " Hz");
}

bool set_format(DECODE_INPUT* in, const WAV_FORMAT& format, std::string* error)
{
    if (!check_rate(in->name, format.sampleRate, error))
        return false;
    if (format.channels == 0)
        return fail(error, in->name + ": zero channels");
    in->format = format;
    in->frameBytes = format.blockAlign;
    in->status.sampleRate = format.sampleRate;
    in->status.channels = format.channels;
    return true;
}

// Walks the chunks up to the data chunk; the stream is then at its first byte.
bool open_wav(DECODE_INPUT* in, std::string* error)
{
    bool haveFmt = false;
    for (;;) {
        uint8_t header[8];
        size_t got = 0;
        if (!read_full(in->fd, header, sizeof header, &got, error, in->name))
            return false;
        if (got < sizeof header)
            return fail(error, in->name + (haveFmt ? ": WAV has no data chunk" : ": WAV has no fmt chunk"));
        const std::string tag(reinterpret_cast<const char*>(header), 4);
        const uint32_t size = get32(header + 4);
        if (tag == "data") {
            if (!haveFmt)
                return fail(error, in->name + ": WAV data chunk comes before the fmt chunk");
            in->bounded =
                std::find(std::begin(kUnknownSizes), std::end(kUnknownSizes), size) == std::end(kUnknownSizes);
            in->remaining = size;
            return true;
        }
        uint64_t body = size + (size & 1);  // odd chunks carry a pad byte
        if (tag == "fmt " && !haveFmt) {
            if (size > kLargestFmt)
                return fail(error, in->name + ": WAV fmt chunk of " + std::to_string(size) + " bytes");
            std::vector<uint8_t> fmt(size);
            if (!read_full(in->fd, fmt.data(), size, &got, error, in->name))
                return false;
            if (got < size)
                return fail(error, in->name + ": WAV chunk fmt runs past the end of the file");
            WAV_FORMAT format;
            std::string reason;
            if (!wav_parse_fmt(fmt.data(), fmt.size(), &format, &reason))
                return fail(error, in->name + ": " + reason);
            if (!set_format(in, format, error))
                return false;
            haveFmt = true;
            body = size & 1;
        }
        bool complete = false;
        if (!skip(in, body, &complete, error))
            return false;
        if (!complete)
            return fail(error, in->name + ": WAV chunk " + tag + " runs past the end of the file");
    }
}

bool open_raw(DECODE_INPUT* in, const DECODE_INPUT_CONFIG& config, std::string* error)
{
    in->status.format = "raw";
    const bool s16 = config.raw == DECODE_RAW_S16LE;
    const uint16_t bits = s16 ? 16 : 32;
    const WAV_FORMAT format{.tag = s16 ? uint16_t{WAV_TAG_PCM} : uint16_t{WAV_TAG_IEEE_FLOAT},
                            .channels = config.rawChannels,
                            .sampleRate = config.rawRate,
                            .blockAlign = static_cast<uint16_t>(config.rawChannels * bits / 8),
                            .bits = bits,
                            .extensible = false};
    return set_format(in, format, error);
}

// Anything not WAV from a file goes to libsndfile, which reads it from the
// start again by name.
bool open_sound_file(DECODE_INPUT* in, std::string* error)
{
    SF_INFO info{};
    in->sound = sf_open(in->name.c_str(), SFM_READ, &info);
    if (in->sound == nullptr)
        return fail(error, in->name + ": not a WAV file nor a format libsndfile reads (" + sf_strerror(nullptr) + ")");
    if (!check_rate(in->name, static_cast<uint64_t>(std::max(info.samplerate, 0)), error))
        return false;
    if (info.channels <= 0 || info.channels > 1024)
        return fail(error, in->name + ": " + std::to_string(info.channels) + " channels");
    in->status.sampleRate = static_cast<uint32_t>(info.samplerate);
    in->status.channels = static_cast<uint16_t>(info.channels);
    in->status.format = "libsndfile";
    in->soundFrames.resize(std::max<size_t>(kReadBytes / 4 / info.channels, 1) * info.channels);
    return true;
}

bool open_input(DECODE_INPUT* in, const DECODE_INPUT_CONFIG& config, std::string* error)
{
    if (config.path == "-") {
        in->fd = STDIN_FILENO;
    } else {
        struct stat st {};
        if (::stat(config.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return fail(error, config.path + " is a directory");
        in->fd = ::open(config.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (in->fd < 0)
            return fail(error, "cannot open '" + config.path + "': " + std::strerror(errno));
        in->ownsFd = true;
    }
    if (config.raw != DECODE_RAW_NONE)
        return open_raw(in, config, error);
    uint8_t head[12];
    size_t got = 0;
    if (!read_full(in->fd, head, sizeof head, &got, error, in->name))
        return false;
    if (got == 0)
        return fail(error, "no audio in " + in->name + " (it is empty)");
    if (got == sizeof head && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
        in->status.format = "WAV";
        return open_wav(in, error);
    }
    struct stat st {};
    if (::fstat(in->fd, &st) == 0 && S_ISREG(st.st_mode))
        return open_sound_file(in, error);
    return fail(error, in->name + ": not a WAV file (headerless audio needs --raw; other formats need a file name)");
}

// `lanes` leading channels of each frame (1 or 2) go out interleaved.
bool read_sound(DECODE_INPUT* in, float* out, size_t lanes, size_t maxFrames, size_t* count, std::string* error)
{
    const size_t channels = in->status.channels;
    const size_t want = std::min(maxFrames, in->soundFrames.size() / channels);
    const sf_count_t got = sf_readf_float(in->sound, in->soundFrames.data(), static_cast<sf_count_t>(want));
    if (got < 0 || (got == 0 && sf_error(in->sound) != SF_ERR_NO_ERROR))
        return fail(error, in->name + ": cannot read: " + sf_strerror(in->sound));
    for (sf_count_t i = 0; i < got; ++i)
        for (size_t lane = 0; lane < lanes; ++lane)
            out[static_cast<size_t>(i) * lanes + lane] = in->soundFrames[static_cast<size_t>(i) * channels + lane];
    *count = static_cast<size_t>(got);
    return true;
}

// Channel 0 straight into `out`; with two lanes channel 1 as well, each
// decoded apart and then interleaved.
void decode_frames(DECODE_INPUT* in, size_t frames, size_t lanes, float* out)
{
    const uint8_t* from = in->bytes.get() + in->start;
    if (lanes == 1) {
        wav_decode_samples(from, frames, in->frameBytes, in->format.tag, in->format.bits, out);
        return;
    }
    const size_t sampleBytes = in->frameBytes / in->format.channels;
    in->laneScratch.resize(frames * 2);
    float* first = in->laneScratch.data();
    float* second = first + frames;
    wav_decode_samples(from, frames, in->frameBytes, in->format.tag, in->format.bits, first);
    wav_decode_samples(from + sampleBytes, frames, in->frameBytes, in->format.tag, in->format.bits, second);
    for (size_t i = 0; i < frames; ++i)
        out[2 * i] = first[i], out[2 * i + 1] = second[i];
}

// One read of the stream into the byte buffer; false at its end.
bool fill(DECODE_INPUT* in, std::string* error, bool* more)
{
    std::memmove(in->bytes.get(), in->bytes.get() + in->start, in->end - in->start);
    in->end -= in->start;
    in->start = 0;
    size_t want = std::max(kReadBytes, in->frameBytes);
    if (in->bounded)
        want = static_cast<size_t>(std::min<uint64_t>(want, in->remaining));
    *more = false;
    if (want == 0 || in->ended)
        return true;
    ssize_t r = 0;
    do
        r = ::read(in->fd, in->bytes.get() + in->end, want);
    while (r < 0 && errno == EINTR);
    in->end += static_cast<size_t>(std::max<ssize_t>(r, 0));
    if (r < 0)
        return fail(error, in->name + ": cannot read: " + std::strerror(errno));
    if (r == 0) {
        in->ended = true;
        in->status.truncated = in->bounded && in->remaining > 0;
        return true;
    }
    in->remaining -= in->bounded ? static_cast<uint64_t>(r) : 0;
    in->lastReadShort = static_cast<size_t>(r) < want;
    *more = true;
    return true;
}

bool read_lanes(DECODE_INPUT* in, float* out, size_t lanes, size_t maxFrames, size_t* count, std::string* error)
{
    *count = 0;
    if (in->sound != nullptr) {
        if (!read_sound(in, out, lanes, maxFrames, count, error))
            return false;
        in->status.frames += *count;
        return true;
    }
    // Returns once a short read shows a pipe's writer has nothing more yet,
    // so its audio is decoded as it comes.
    while (*count < maxFrames) {
        const size_t frames = std::min(maxFrames - *count, (in->end - in->start) / in->frameBytes);
        decode_frames(in, frames, lanes, out + *count * lanes);
        *count += frames;
        in->start += frames * in->frameBytes;
        if (*count == maxFrames || (*count > 0 && in->lastReadShort))
            break;
        bool more = false;
        if (!fill(in, error, &more))
            return false;
        if (!more)
            break;
    }
    in->status.frames += *count;
    return true;
}

}  // namespace

DECODE_INPUT* decode_input_open(const DECODE_INPUT_CONFIG* config, std::string* error)
{
    auto* in = new DECODE_INPUT;
    in->name = config->path == "-" ? "standard input" : config->path;
    if (!open_input(in, *config, error)) {
        decode_input_destroy(in);
        return nullptr;
    }
    // Less than a frame is left when a read comes: one read always fits.
    in->bytes = std::make_unique_for_overwrite<uint8_t[]>(std::max(kReadBytes, in->frameBytes) * 2);
    return in;
}

bool decode_input_read(DECODE_INPUT* in, float* mono, size_t maxFrames, size_t* count, std::string* error)
{
    return read_lanes(in, mono, 1, maxFrames, count, error);
}

bool decode_input_read_pairs(DECODE_INPUT* in, float* pairs, size_t maxFrames, size_t* count, std::string* error)
{
    *count = 0;
    if (in->status.channels < 2)
        return fail(error, in->name + ": has one channel; IQ needs two (I left, Q right)");
    return read_lanes(in, pairs, 2, maxFrames, count, error);
}

void decode_input_get_status(const DECODE_INPUT* in, DECODE_INPUT_STATUS* status)
{
    *status = in->status;
}

void decode_input_destroy(DECODE_INPUT* in)
{
    if (in == nullptr)
        return;
    if (in->sound != nullptr)
        sf_close(in->sound);
    if (in->ownsFd)
        ::close(in->fd);
    delete in;
}
