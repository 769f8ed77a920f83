#include "morse_audio_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Keeps one generated transmission within 1 GiB of floats.
constexpr uint64_t kMaxSamples = uint64_t{1} << 28;

struct MORSE_CODE_ENTRY {
    char symbol;
    const char* code;
};

constexpr MORSE_CODE_ENTRY kCodes[] = {
    {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},    {'E', "."},       {'F', "..-."},
    {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},   {'K', "-.-"},     {'L', ".-.."},
    {'M', "--"},     {'N', "-."},     {'O', "---"},    {'P', ".--."},   {'Q', "--.-"},    {'R', ".-."},
    {'S', "..."},    {'T', "-"},      {'U', "..-"},    {'V', "...-"},   {'W', ".--"},     {'X', "-..-"},
    {'Y', "-.--"},   {'Z', "--.."},   {'0', "-----"},  {'1', ".----"},  {'2', "..---"},   {'3', "...--"},
    {'4', "....-"},  {'5', "....."},  {'6', "-...."},  {'7', "--..."},  {'8', "---.."},   {'9', "----."},
    {'.', ".-.-.-"}, {',', "--..--"}, {'?', "..--.."}, {'\'', ".----."}, {'!', "-.-.--"}, {'/', "-..-."},
    {'(', "-.--."},  {')', "-.--.-"}, {'&', ".-..."},  {':', "---..."}, {';', "-.-.-."},  {'=', "-...-"},
    {'+', ".-.-."},  {'-', "-....-"}, {'_', "..--.-"}, {'"', ".-..-."}, {'$', "...-..-"}, {'@', ".--.-."},
};

// Element and gap lengths in milliseconds.
struct MORSE_TIMING {
    double dotMs;
    double charGapMs;
    double wordGapMs;
};

// Random duration spread for hand-keyed timing.
struct MORSE_JITTER {
    double spread;  // fraction of the nominal duration
    std::mt19937 rng;
};

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

bool in_range(double v, double lo, double hi)
{
    return v >= lo && v <= hi;  // false for NaN
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Bytes of the UTF-8 sequence starting at pos, so a skipped non-ASCII
// character is reported whole.
size_t utf8_length(const std::string& text, size_t pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    const size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < want && pos + n < text.size() && (static_cast<unsigned char>(text[pos + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// Appends the codes of text[begin, end) to *code, reporting what has none.
void append_codes(const std::string& text, size_t begin, size_t end, std::string* code, std::string* skipped)
{
    for (size_t pos = begin; pos < end;) {
        const size_t n = utf8_length(text, pos);
        const char* c = n == 1 ? morse_audio_code(text[pos]) : nullptr;
        if (c)
            code->append(c);
        else if (skipped)
            skipped->append(text, pos, n);
        pos += n;
    }
}

// A prosign is "<" letters ">" without white space or a nested "<".
size_t prosign_end(const std::string& text, size_t open)
{
    for (size_t pos = open + 1; pos < text.size(); ++pos) {
        if (text[pos] == '>')
            return pos;
        if (text[pos] == '<' || is_space(text[pos]))
            break;
    }
    return std::string::npos;
}

// Splits text into character codes; an empty entry stands for a word gap.
std::vector<std::string> text_to_codes(const std::string& text, std::string* skipped)
{
    std::vector<std::string> codes;
    for (size_t pos = 0; pos < text.size();) {
        if (is_space(text[pos])) {
            if (codes.empty() || !codes.back().empty())
                codes.emplace_back();
            ++pos;
            continue;
        }
        size_t end = pos + utf8_length(text, pos);
        size_t close = text[pos] == '<' ? prosign_end(text, pos) : std::string::npos;
        std::string code;
        if (close != std::string::npos) {
            append_codes(text, pos + 1, close, &code, skipped);
            if (close == pos + 1 && skipped)
                skipped->append("<>");
            end = close + 1;
        } else {
            append_codes(text, pos, end, &code, skipped);
        }
        if (!code.empty())
            codes.push_back(code);
        pos = end;
    }
    return codes;
}

// Farnsworth: with character speed c and overall speed s (WPM), the word
// PARIS has 31 units of elements and inner gaps sent at c, taking 37.2 / c
// seconds, and 19 units of character and word gaps (4 x 3 + 7). Stretching
// the gaps so that the word takes 60 / s seconds gives the gap unit
//   tf = (60 / s - 37.2 / c) / 19 seconds,
// with character gaps 3 tf and word gaps 7 tf; tf equals the dot at s = c.
MORSE_TIMING timing_for(const MORSE_AUDIO_CONFIG& config)
{
    const double dotMs = 1200.0 / config.wpm;
    double gapUnitMs = dotMs;
    if (config.farnsworthWpm > 0.0 && config.farnsworthWpm < config.wpm)
        gapUnitMs = 1000.0 * (60.0 / config.farnsworthWpm - 37.2 / config.wpm) / 19.0;
    return MORSE_TIMING{dotMs, 3.0 * gapUnitMs, 7.0 * gapUnitMs};
}

// Scales by (1 + spread * u) with u uniform in [-1, 1], derived from the raw
// 32-bit output so a seed gives the same keying on every standard library;
// the floor keeps a short element audible at large spreads.
double jittered(MORSE_JITTER* jitter, double ms)
{
    if (jitter->spread <= 0.0)
        return ms;
    const double u = jitter->rng() / 4294967295.0 * 2.0 - 1.0;
    return ms * std::max(0.2, 1.0 + jitter->spread * u);
}

void append_keying(std::vector<MORSE_KEYING>* timeline, MORSE_JITTER* jitter, bool keyDown, double ms)
{
    timeline->push_back(MORSE_KEYING{keyDown, jittered(jitter, ms)});
}

void append_character(std::vector<MORSE_KEYING>* timeline, MORSE_JITTER* jitter, const MORSE_TIMING& timing,
                      const std::string& code)
{
    for (size_t i = 0; i < code.size(); ++i) {
        if (i > 0)
            append_keying(timeline, jitter, false, timing.dotMs);
        append_keying(timeline, jitter, true, code[i] == '-' ? 3.0 * timing.dotMs : timing.dotMs);
    }
}

uint64_t ms_to_samples(double ms, uint32_t sampleRateHz)
{
    return static_cast<uint64_t>(std::llround(ms * sampleRateHz / 1000.0));
}

// Checked before any rounding so huge durations cannot overflow llround.
bool fits_in_limit(double ms, uint32_t sampleRateHz, uint64_t limit)
{
    return ms <= (limit - 1) * 1000.0 / sampleRateHz;
}

// Edges are placed from the running sum, which must never step back.
bool durations_valid(const std::vector<MORSE_KEYING>& timeline)
{
    return std::all_of(timeline.begin(), timeline.end(),
                       [](const MORSE_KEYING& k) { return k.durationMs >= 0.0 && std::isfinite(k.durationMs); });
}

std::string too_long_text()
{
    return "audio would be longer than " + std::to_string(kMaxSamples) + " samples";
}

// Raised-cosine gain at sample k of an element of `length` samples whose
// edges take `rise` samples; sampled at mid-points so both edges match.
double envelope(uint64_t k, uint64_t length, uint64_t rise)
{
    const uint64_t edge = std::min(k, length - 1 - k);
    if (edge >= rise)
        return 1.0;
    return 0.5 * (1.0 - std::cos(std::numbers::pi * (edge + 0.5) / static_cast<double>(rise)));
}

void add_element(float* out, uint64_t start, uint64_t end, const MORSE_AUDIO_CONFIG& config)
{
    if (end <= start)
        return;
    const uint64_t length = end - start;
    const uint64_t rise = std::min(ms_to_samples(config.riseMs, config.sampleRateHz), length / 2);
    const double w = 2.0 * std::numbers::pi * config.pitchHz / config.sampleRateHz;
    for (uint64_t k = 0; k < length; ++k) {
        const uint64_t n = start + k;
        out[n] += static_cast<float>(config.amplitude * envelope(k, length, rise) * std::sin(w * n));
    }
}

}  // namespace

MORSE_AUDIO_CONFIG morse_audio_default_config()
{
    MORSE_AUDIO_CONFIG config{};
    config.wpm = 20.0;
    config.farnsworthWpm = 0.0;
    config.pitchHz = 600.0;
    config.sampleRateHz = 8000;
    config.amplitude = 0.5;
    config.riseMs = 5.0;
    config.addNoise = false;
    config.snrDb = 0.0;
    config.jitterPercent = 0.0;
    config.seed = 1;
    config.leadSeconds = 0.5;
    config.tailSeconds = 0.5;
    return config;
}

bool morse_audio_check_config(const MORSE_AUDIO_CONFIG& c, std::string* error)
{
    if (!in_range(c.wpm, 1.0, 200.0))
        return fail(error, "speed must be 1 to 200 WPM");
    if (c.farnsworthWpm != 0.0 && !in_range(c.farnsworthWpm, 1.0, c.wpm))
        return fail(error, "Farnsworth speed must be 1 WPM up to the character speed");
    if (!in_range(c.sampleRateHz, 1000.0, 1000000.0))
        return fail(error, "sample rate must be 1000 to 1000000 Hz");
    if (!(c.pitchHz > 0.0 && c.pitchHz < c.sampleRateHz / 2.0))
        return fail(error, "pitch must be above 0 and below half the sample rate");
    if (!(c.amplitude > 0.0 && c.amplitude <= 1.0))
        return fail(error, "amplitude must be above 0 and at most 1");
    if (!in_range(c.riseMs, 0.0, 100.0))
        return fail(error, "rise time must be 0 to 100 ms");
    if (c.addNoise && !in_range(c.snrDb, -50.0, 100.0))
        return fail(error, "SNR must be -50 to 100 dB");
    if (!in_range(c.jitterPercent, 0.0, 100.0))
        return fail(error, "jitter must be 0 to 100 percent");
    if (!in_range(c.leadSeconds, 0.0, 3600.0) || !in_range(c.tailSeconds, 0.0, 3600.0))
        return fail(error, "lead and tail must be 0 to 3600 s");
    return true;
}

const char* morse_audio_code(char c)
{
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    for (const MORSE_CODE_ENTRY& entry : kCodes)
        if (entry.symbol == upper)
            return entry.code;
    return nullptr;
}

bool morse_audio_timeline(const MORSE_AUDIO_CONFIG& config, const std::string& text,
                          std::vector<MORSE_KEYING>* timeline, std::string* skipped, std::string* error)
{
    if (!timeline)
        return fail(error, "no output for the timeline");
    timeline->clear();
    if (!morse_audio_check_config(config, error))
        return false;
    const MORSE_TIMING timing = timing_for(config);
    std::seed_seq seeds{config.seed, 1u};
    MORSE_JITTER jitter{config.jitterPercent / 100.0, std::mt19937(seeds)};
    bool sentCharacter = false;
    bool wordGapPending = false;
    for (const std::string& code : text_to_codes(text, skipped)) {
        if (code.empty()) {
            wordGapPending = true;
            continue;
        }
        if (wordGapPending || sentCharacter)
            append_keying(timeline, &jitter, false, wordGapPending ? timing.wordGapMs : timing.charGapMs);
        append_character(timeline, &jitter, timing, code);
        sentCharacter = true;
        wordGapPending = false;
    }
    if (wordGapPending)
        append_keying(timeline, &jitter, false, timing.wordGapMs);
    return true;
}

double morse_audio_timeline_ms(const std::vector<MORSE_KEYING>& timeline)
{
    double total = 0.0;
    for (const MORSE_KEYING& k : timeline)
        total += k.durationMs;
    return total;
}

bool morse_audio_mix_tone(const MORSE_AUDIO_CONFIG& config, const std::vector<MORSE_KEYING>& timeline,
                          size_t offset, std::vector<float>* buffer, std::string* error)
{
    if (!buffer)
        return fail(error, "no output buffer for the tone");
    if (!morse_audio_check_config(config, error))
        return false;
    if (!durations_valid(timeline))
        return fail(error, "timeline has a negative or non-finite duration");
    const double totalMs = morse_audio_timeline_ms(timeline);
    if (offset > kMaxSamples || !fits_in_limit(totalMs, config.sampleRateHz, kMaxSamples - offset))
        return fail(error, too_long_text());
    const uint64_t end = offset + ms_to_samples(totalMs, config.sampleRateHz);
    if (buffer->size() < end)
        buffer->resize(end, 0.0f);
    double elapsedMs = 0.0;
    for (const MORSE_KEYING& k : timeline) {
        const uint64_t first = ms_to_samples(elapsedMs, config.sampleRateHz);
        elapsedMs += k.durationMs;
        if (k.keyDown)
            add_element(buffer->data() + offset, first, ms_to_samples(elapsedMs, config.sampleRateHz), config);
    }
    return true;
}

double morse_audio_noise_sigma(double amplitude, double snrDb, uint32_t sampleRateHz)
{
    const double carrierPower = amplitude * amplitude / 2.0;
    const double noiseIn2500Hz = carrierPower / std::pow(10.0, snrDb / 10.0);
    return std::sqrt(noiseIn2500Hz * (sampleRateHz / 2.0) / 2500.0);
}

// Box-Muller from the raw 32-bit output rather than std::normal_distribution,
// whose algorithm differs between standard libraries.
void morse_audio_add_noise(float* samples, size_t count, double sigma, std::mt19937* rng)
{
    if (!samples || !rng || !(sigma > 0.0) || !std::isfinite(sigma))
        return;
    for (size_t i = 0; i < count; i += 2) {
        const double u1 = ((*rng)() + 1.0) / 4294967296.0;  // (0, 1], keeps log finite
        const double u2 = (*rng)() / 4294967296.0;
        const double r = sigma * std::sqrt(-2.0 * std::log(u1));
        samples[i] += static_cast<float>(r * std::cos(2.0 * std::numbers::pi * u2));
        if (i + 1 < count)
            samples[i + 1] += static_cast<float>(r * std::sin(2.0 * std::numbers::pi * u2));
    }
}

bool morse_audio_generate(const MORSE_AUDIO_CONFIG& config, const std::string& text, std::vector<float>* samples,
                          std::string* skipped, std::string* error)
{
    if (!samples)
        return fail(error, "no output buffer for the samples");
    samples->clear();
    std::vector<MORSE_KEYING> timeline;
    if (!morse_audio_timeline(config, text, &timeline, skipped, error))
        return false;
    const double toneMs = morse_audio_timeline_ms(timeline);
    const double totalMs = 1000.0 * (config.leadSeconds + config.tailSeconds) + toneMs;
    if (!fits_in_limit(totalMs, config.sampleRateHz, kMaxSamples))
        return fail(error, too_long_text());
    const uint64_t lead = ms_to_samples(config.leadSeconds * 1000.0, config.sampleRateHz);
    const uint64_t tail = ms_to_samples(config.tailSeconds * 1000.0, config.sampleRateHz);
    samples->assign(lead + ms_to_samples(toneMs, config.sampleRateHz) + tail, 0.0f);
    if (!morse_audio_mix_tone(config, timeline, lead, samples, error))
        return false;
    if (config.addNoise) {
        std::seed_seq seeds{config.seed, 2u};
        std::mt19937 rng(seeds);
        const double sigma = morse_audio_noise_sigma(config.amplitude, config.snrDb, config.sampleRateHz);
        morse_audio_add_noise(samples->data(), samples->size(), sigma, &rng);
    }
    return true;
}
