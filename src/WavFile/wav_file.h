// WAV (RIFF/WAVE) reading into float samples and writing of 16-bit PCM or
// 32-bit float files. Plain functions over flat records; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Format tags as they appear in the fmt chunk.
enum {
    WAV_TAG_PCM = 1,
    WAV_TAG_IEEE_FLOAT = 3,
    WAV_TAG_EXTENSIBLE = 0xFFFE,
};

// Decoded audio and the format it came from.
struct WAV_AUDIO {
    std::vector<float> samples;  // interleaved frames, full scale 1.0
    uint16_t channels = 0;
    uint32_t sampleRate = 0;     // frames per second
    uint16_t formatTag = 0;      // WAV_TAG_PCM or WAV_TAG_IEEE_FLOAT (the
                                 // subformat when the file is extensible)
    uint16_t bitsPerSample = 0;  // container size: 8, 16, 24, 32 (or 64 for float)
    bool extensible = false;     // fmt chunk was WAVE_FORMAT_EXTENSIBLE
    bool dataTruncated = false;  // data chunk claimed more bytes than exist
};

// What a fmt chunk says, with the extensible form's subformat as the tag.
struct WAV_FORMAT {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    bool extensible = false;
};

// Reads the `size` bytes of a fmt chunk and checks them: PCM of 8, 16, 24 or
// 32 bits or IEEE float of 32 or 64, at least one channel, a rate, and a
// block align of one sample per channel. On failure a one-line reason goes
// to *error (which may be null).
bool wav_parse_fmt(const uint8_t* fmt, size_t size, WAV_FORMAT* format, std::string* error);

// One little-endian sample at p, full scale 1.0 (tag and bits as checked
// by wav_parse_fmt).
float wav_decode_sample(const uint8_t* p, uint16_t tag, uint16_t bits);

// count samples, the first at p and each stride bytes after the last, into out.
void wav_decode_samples(const uint8_t* p, size_t count, size_t stride, uint16_t tag, uint16_t bits, float* out);

// Parses a complete file image. Unknown chunks are skipped; the RIFF size
// field is not trusted (streaming writers leave 0 or 0xFFFFFFFF there), so
// chunks are read up to the end of the buffer. A data chunk that claims more
// bytes than the buffer holds yields the whole frames present and sets
// dataTruncated. On failure returns false, leaves *audio empty and puts a
// one-line reason in *error (either pointer may be null).
bool wav_read_memory(const uint8_t* data, size_t size, WAV_AUDIO* audio, std::string* error);

// Reads the whole file into memory and parses it with wav_read_memory.
bool wav_read_file(const std::string& path, WAV_AUDIO* audio, std::string* error);

// Number of frames held (samples per channel).
size_t wav_frame_count(const WAV_AUDIO& audio);

enum WAV_ENCODING {
    WAV_ENCODING_PCM16,    // signed 16-bit integer, 44-byte header
    WAV_ENCODING_FLOAT32,  // IEEE float with an 18-byte fmt chunk and a fact chunk
};

// Builds a complete file image of `count` interleaved samples (a multiple of
// `channels`). PCM16 clips to [-1, 1], scales by 32767 and rounds to the
// nearest integer with halfway cases to even, so +1 and -1 map to +/-32767
// and the code is symmetric around 0; NaN becomes 0. FLOAT32 stores the
// values unchanged. Fails when the sizes do not fit the 32-bit header fields.
bool wav_build_image(const float* samples, size_t count, uint16_t channels, uint32_t sampleRate, WAV_ENCODING encoding,
                     std::vector<uint8_t>* image, std::string* error);

// Writes `image` to `path` through a temporary file in the same folder that
// is then renamed over the target, so readers never see a partial file.
// An existing target must be a regular file.
bool wav_write_file(const std::string& path, const std::vector<uint8_t>& image, std::string* error);
