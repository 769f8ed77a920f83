#include "decode_audio_input.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
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

enum SAMPLE_KIND { SAMPLE_PCM, SAMPLE_FLOAT };

}  // namespace

struct DECODE_INPUT {
    std::string name;
    int fd = -1;
    bool ownsFd = false;
    SNDFILE* sound = nullptr;
    std::vector<float> soundFrames;  // interleaved, one libsndfile read
    SAMPLE_KIND kind = SAMPLE_PCM;
    unsigned bytesPerSample = 2;
    size_t frameBytes = 2;
    bool bounded = false;        // the data chunk states its size
    uint64_t remaining = 0;      // bytes of data left when bounded
    std::vector<uint8_t> bytes;  // read but not handed out yet
    size_t start = 0;            // first byte in bytes not handed out
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

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
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

bool set_layout(DECODE_INPUT* in, SAMPLE_KIND kind, unsigned bits, uint16_t channels, std::string* error)
{
    const bool pcm = kind == SAMPLE_PCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool real = kind == SAMPLE_FLOAT && (bits == 32 || bits == 64);
    if (!pcm && !real)
        return fail(error, in->name + ": unsupported " + (kind == SAMPLE_PCM ? "PCM" : "float") + " width of " +
                               std::to_string(bits) + " bits");
    if (channels == 0)
        return fail(error, in->name + ": WAV has zero channels");
    in->kind = kind;
    in->bytesPerSample = bits / 8;
    in->frameBytes = static_cast<size_t>(channels) * in->bytesPerSample;
    in->status.channels = channels;
    return true;
}

bool parse_fmt(DECODE_INPUT* in, const std::vector<uint8_t>& fmt, std::string* error)
{
    if (fmt.size() < 16)
        return fail(error, in->name + ": WAV fmt chunk too short (" + std::to_string(fmt.size()) + " bytes)");
    uint16_t tag = get16(fmt.data());
    const uint16_t channels = get16(fmt.data() + 2);
    const uint32_t rate = get32(fmt.data() + 4);
    const uint16_t bits = get16(fmt.data() + 14);
    if (tag == 0xFFFE && fmt.size() >= 26)  // extensible: the subformat's leading code
        tag = get16(fmt.data() + 24);
    if (tag != 1 && tag != 3)
        return fail(error, in->name + ": unsupported WAV format " + std::to_string(tag) + " (only PCM and float)");
    if (!check_rate(in->name, rate, error))
        return false;
    in->status.sampleRate = rate;
    return set_layout(in, tag == 1 ? SAMPLE_PCM : SAMPLE_FLOAT, bits, channels, error);
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
            if (!parse_fmt(in, fmt, error))
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
    if (!check_rate(in->name, config.rawRate, error))
        return false;
    in->status.sampleRate = config.rawRate;
    in->status.format = "raw";
    const bool s16 = config.raw == DECODE_RAW_S16LE;
    return set_layout(in, s16 ? SAMPLE_PCM : SAMPLE_FLOAT, s16 ? 16 : 32, config.rawChannels, error);
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

float sample_at(const DECODE_INPUT* in, const uint8_t* p)
{
    if (in->kind == SAMPLE_FLOAT) {
        if (in->bytesPerSample == 4)
            return std::bit_cast<float>(get32(p));
        const uint64_t word = get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32);
        return static_cast<float>(std::bit_cast<double>(word));
    }
    switch (in->bytesPerSample) {
    case 1: return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 2: return static_cast<int16_t>(get16(p)) / 32768.0f;
    case 3: {
        // In the top of a 32-bit word so the sign extends itself.
        const uint32_t word = (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 24);
        return static_cast<float>(static_cast<int32_t>(word) / 2147483648.0);
    }
    default: return static_cast<float>(static_cast<int32_t>(get32(p)) / 2147483648.0);
    }
}

bool read_sound(DECODE_INPUT* in, float* mono, size_t maxFrames, size_t* count, std::string* error)
{
    const size_t channels = in->status.channels;
    const size_t want = std::min(maxFrames, in->soundFrames.size() / channels);
    const sf_count_t got = sf_readf_float(in->sound, in->soundFrames.data(), static_cast<sf_count_t>(want));
    if (got < 0 || (got == 0 && sf_error(in->sound) != SF_ERR_NO_ERROR))
        return fail(error, in->name + ": cannot read: " + sf_strerror(in->sound));
    for (sf_count_t i = 0; i < got; ++i)
        mono[i] = in->soundFrames[static_cast<size_t>(i) * channels];
    *count = static_cast<size_t>(got);
    return true;
}

// One read of the stream into the byte buffer; false at its end.
bool fill(DECODE_INPUT* in, std::string* error, bool* more)
{
    in->bytes.erase(in->bytes.begin(), in->bytes.begin() + static_cast<std::ptrdiff_t>(in->start));
    in->start = 0;
    size_t want = std::max(kReadBytes, in->frameBytes);
    if (in->bounded)
        want = static_cast<size_t>(std::min<uint64_t>(want, in->remaining));
    *more = false;
    if (want == 0 || in->ended)
        return true;
    const size_t had = in->bytes.size();
    in->bytes.resize(had + want);
    ssize_t r = 0;
    do
        r = ::read(in->fd, in->bytes.data() + had, want);
    while (r < 0 && errno == EINTR);
    in->bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(r, 0)));
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

}  // namespace

DECODE_INPUT* decode_input_open(const DECODE_INPUT_CONFIG* config, std::string* error)
{
    auto* in = new DECODE_INPUT;
    in->name = config->path == "-" ? "standard input" : config->path;
    if (!open_input(in, *config, error)) {
        decode_input_destroy(in);
        return nullptr;
    }
    in->bytes.reserve(std::max(kReadBytes, in->frameBytes) * 2);
    return in;
}

bool decode_input_read(DECODE_INPUT* in, float* mono, size_t maxFrames, size_t* count, std::string* error)
{
    *count = 0;
    if (in->sound != nullptr) {
        if (!read_sound(in, mono, maxFrames, count, error))
            return false;
        in->status.frames += *count;
        return true;
    }
    // Returns once a short read shows a pipe's writer has nothing more yet,
    // so its audio is decoded as it comes.
    while (*count < maxFrames) {
        const size_t frames = std::min(maxFrames - *count, (in->bytes.size() - in->start) / in->frameBytes);
        for (size_t i = 0; i < frames; ++i, in->start += in->frameBytes)
            mono[(*count)++] = sample_at(in, in->bytes.data() + in->start);
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
