#include "decode_wav_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace {

constexpr uint32_t kLowestRate = 8000;

// The whole file in one read into a buffer of its size, left uninitialised:
// a 10-minute file is tens of megabytes, and growing or zero-filling the
// buffer first would write it several times over.
bool read_file(const std::string& path, std::unique_ptr<uint8_t[]>* bytes, size_t* size, std::string* error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::error_code ec;
    *size = static_cast<size_t>(std::filesystem::file_size(path, ec));
    bool ok = !ec;
    if (ok) {
        bytes->reset(new (std::nothrow) uint8_t[std::max<size_t>(*size, 1)]);
        ok = *bytes && std::fread(bytes->get(), 1, *size, f) == *size;
    }
    std::fclose(f);
    if (!ok)
        *error = "cannot read '" + path + "'";
    return ok;
}

bool read_stdin(std::vector<uint8_t>* bytes, std::string* error)
{
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof(chunk), stdin)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + n);
    if (std::ferror(stdin)) {
        *error = "-: cannot read standard input";
        return false;
    }
    return true;
}

}  // namespace

bool decode_read_wav(const std::string& input, WAV_AUDIO* audio, std::string* warning, std::string* error)
{
    std::vector<uint8_t> piped;
    std::unique_ptr<uint8_t[]> file;
    size_t size = 0;
    if (input == "-" ? !read_stdin(&piped, error) : !read_file(input, &file, &size, error))
        return false;
    const uint8_t* bytes = input == "-" ? piped.data() : file.get();
    if (input == "-")
        size = piped.size();
    if (!wav_read_memory(bytes, size, audio, error)) {
        *error = input + ": " + *error;
        return false;
    }
    if (audio->sampleRate < kLowestRate) {
        *error = input + ": sample rate " + std::to_string(audio->sampleRate) + " Hz is below 8000 Hz";
        return false;
    }
    if (audio->dataTruncated)
        *warning = input + ": data chunk is shorter than its header says; decoding the " +
                   std::to_string(wav_frame_count(*audio)) + " whole frames present";
    return true;
}

bool decode_feed_wav(const WAV_AUDIO& audio, size_t blockSamples, DECODE_SESSION* session)
{
    const size_t frames = wav_frame_count(audio);
    const size_t block = std::max<size_t>(blockSamples, 1);
    std::vector<float> mono(audio.channels > 1 ? block : 0);
    for (size_t at = 0; at < frames; at += block) {
        if (std::ferror(session->text))
            return false;
        const size_t n = std::min(block, frames - at);
        const float* samples = audio.samples.data() + at;
        if (audio.channels > 1) {
            for (size_t i = 0; i < n; ++i)
                mono[i] = audio.samples[(at + i) * audio.channels];
            samples = mono.data();
        }
        decode_session_feed(session, samples, n, audio.sampleRate);
    }
    return !std::ferror(session->text);
}
