#include "decode_session.h"

#include "cw_auto_gtm.h"
#include "decode_status_json.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr double kStatusInterval = 0.2;
constexpr double kClosingSilence = 3.0;
// Any capacity works (text that does not fit waits); this one is the
// pipeline's.
constexpr size_t kTextCapacity = 128;
// Audio kept for the first tune: the start of the signal that was found,
// which reaches the spectrum's verdict about 4 s late.
constexpr double kReplaySeconds = 8.0;
// Larger blocks are decoded in pieces of this size.
constexpr size_t kLargestPiece = 2048;
// A pause this long ends an over: --timestamps starts a new line.
constexpr double kOverPause = 4.0;

// "2026-12-07T14:03:21Z 700 Hz "
std::string line_prefix(const DECODE_SESSION* s)
{
    const auto when = static_cast<std::time_t>(s->startEpoch + s->seconds);
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, n) + " " + std::to_string(static_cast<int>(std::lround(s->config.pitchHz))) + " Hz ";
}

void write_text(DECODE_SESSION* s, const char* text, size_t n)
{
    if (!s->timestamps) {
        std::fwrite(text, 1, n, s->text);
    } else {
        for (size_t i = 0; i < n; ++i) {
            if (s->endsWithNewline && text[i] == '\n')
                continue;
            if (s->endsWithNewline)
                std::fputs(line_prefix(s).c_str(), s->text);
            std::fputc(text[i], s->text);
            s->endsWithNewline = text[i] == '\n';
        }
        s->lastText = s->seconds;
    }
    if (n > 0 && !s->timestamps)
        s->endsWithNewline = text[n - 1] == '\n';
    std::fflush(s->text);
}

void write_status(DECODE_SESSION* s)
{
    if (s->status == nullptr || s->seconds + 1e-9 < s->nextStatus)
        return;
    CW_RX_STATUS status;
    cw_rx_get_status(s->rx, &status);
    const std::string line = decode_status_json(s->seconds, status) + "\n";
    if (std::fputs(line.c_str(), s->status) < 0)
        s->writeFailed = true;
    while (s->nextStatus <= s->seconds + 1e-9)
        s->nextStatus += kStatusInterval;
}

bool tone_found(const DECODE_SESSION* s)
{
    CW_TUNER_STATUS tuning{};
    cw_tuner_get_status(s->tuner, &tuning);
    return tuning.toneFound != 0;
}

size_t decode_block(DECODE_SESSION* s, const float* samples, size_t count)
{
    char text[kTextCapacity];
    cw_rx_configure(s->rx, &s->config);
    const size_t n = cw_rx_process(s->rx, samples, count, text, sizeof(text));
    // Until --pitch auto has found the tone the receiver listens at a guess;
    // what it makes of a neighbouring tone is not printed, as the audio is
    // decoded again once the tone is found.
    if (n > 0 && (!s->autoTune || tone_found(s)))
        write_text(s, text, n);
    return n;
}

void remember(DECODE_SESSION* s, const float* samples, size_t count, double sampleRate)
{
    s->recent.insert(s->recent.end(), samples, samples + count);
    const auto keep = static_cast<size_t>(kReplaySeconds * sampleRate);
    if (s->recent.size() > keep)
        s->recent.erase(s->recent.begin(), s->recent.begin() + static_cast<std::ptrdiff_t>(s->recent.size() - keep));
}

// A tone found: a fresh receiver on it decodes the buffered audio again, so
// the start of the signal is not lost to the search. Text printed at the
// wrong pitch was at most squelched noise, so nothing repeats.
void replay(DECODE_SESSION* s)
{
    cw_rx_configure(s->rx, &s->config);
    cw_rx_reset(s->rx);
    std::vector<float> block(kTextCapacity * 16);
    while (!s->recent.empty()) {
        const size_t n = std::min(block.size(), s->recent.size());
        std::copy_n(s->recent.begin(), n, block.begin());
        s->recent.erase(s->recent.begin(), s->recent.begin() + static_cast<std::ptrdiff_t>(n));
        decode_block(s, block.data(), n);
    }
}

void auto_tune(DECODE_SESSION* s, const float* samples, size_t count, double sampleRate)
{
    CW_TUNER_STATUS tuning{};
    cw_tuner_get_status(s->tuner, &tuning);
    if (!tuning.confirmed)
        remember(s, samples, count, sampleRate);
    else
        s->recent.clear();
    CW_RX_STATUS status;
    cw_rx_get_status(s->rx, &status);
    CW_TUNER_RESULT tuned{};
    cw_tuner_update(s->tuner, samples, count, &s->config, &status, s->seconds, &tuned);
    if (tuned.action == CW_TUNER_KEEP)
        return;
    s->config.pitchHz = tuned.pitchHz;
    if (tuned.action == CW_TUNER_FOUND)
        replay(s);
    else
        cw_rx_retune(s->rx, &s->config, 0);
}

}  // namespace

bool decode_session_open(DECODE_SESSION* s, const DECODE_OPTIONS& options, FILE* text, std::string* error)
{
    *s = DECODE_SESSION{};
    s->config = options.config;
    s->text = text;
    s->rx = options.fallback ? cw_rx_create_fallback(&s->config) : cw_rx_create(&s->config);
    if (s->rx == nullptr) {
        *error = "out of memory for the receiver";
        return false;
    }
    cw_rx_set_squelch(s->rx, options.squelch);
    s->autoTune = options.autoTune;
    s->timestamps = options.timestamps;
    s->startEpoch = static_cast<double>(std::time(nullptr));
    // The window's AutoGTM with its default rearm, after finding the tone.
    const CW_TUNER_CONFIG tuning{.autoGtm = 1, .rearmSeconds = kCWAutoGtmDefaultRearmSeconds, .findTone = 1};
    s->tuner = cw_tuner_create(&tuning);
    if (s->tuner == nullptr) {
        *error = "out of memory for the tuner";
        decode_session_close(s);
        return false;
    }
    if (!options.statusPath.empty()) {
        s->status = std::fopen(options.statusPath.c_str(), "w");
        if (s->status == nullptr) {
            *error = "cannot write '" + options.statusPath + "': " + std::strerror(errno);
            decode_session_close(s);
            return false;
        }
    }
    return true;
}

namespace {

void feed_piece(DECODE_SESSION* s, const float* samples, size_t count, double sampleRate)
{
    s->config.sampleRate = sampleRate;
    decode_block(s, samples, count);
    s->samples += count;
    s->seconds = static_cast<double>(s->samples) / sampleRate;
    write_status(s);
    if (s->autoTune)
        auto_tune(s, samples, count, sampleRate);
    if (s->timestamps && !s->endsWithNewline && s->seconds - s->lastText >= kOverPause)
        write_text(s, "\n", 1);
}

}  // namespace

void decode_session_feed(DECODE_SESSION* s, const float* samples, size_t count, double sampleRate)
{
    for (size_t at = 0; at < count; at += kLargestPiece)
        feed_piece(s, samples + at, std::min(kLargestPiece, count - at), sampleRate);
}

bool decode_session_finish(DECODE_SESSION* s, double sampleRate, size_t blockSamples)
{
    const size_t block = std::max<size_t>(blockSamples, 1);
    const std::vector<float> silence(block, 0.0f);
    const auto total = static_cast<size_t>(kClosingSilence * sampleRate);
    for (size_t done = 0; done < total; done += block)
        decode_session_feed(s, silence.data(), std::min(block, total - done), sampleRate);
    if (!s->endsWithNewline)
        std::fputc('\n', s->text);
    std::fflush(s->text);
    bool ok = !s->writeFailed;
    if (s->status != nullptr) {
        ok = std::fclose(s->status) == 0 && ok;
        s->status = nullptr;
    }
    return ok;
}

void decode_session_close(DECODE_SESSION* s)
{
    if (s->status != nullptr)
        std::fclose(s->status);
    s->status = nullptr;
    cw_rx_destroy(s->rx);
    s->rx = nullptr;
    cw_tuner_destroy(s->tuner);
    s->tuner = nullptr;
}
