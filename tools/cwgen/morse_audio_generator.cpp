#include "morse_audio_generator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

// Keeps one generated transmission within 1 GiB of floats.
constexpr uint64_t kMaxSamples = uint64_t{1} << 28;

struct MORSE_CODE_ENTRY {
    char symbol;
    const char* code;
};

constexpr MORSE_CODE_ENTRY kCodes[] = {
    {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},     {'E', "."},       {'F', "..-."},
    {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},    {'K', "-.-"},     {'L', ".-.."},
    {'M', "--"},     {'N', "-."},     {'O', "---"},    {'P', ".--."},    {'Q', "--.-"},    {'R', ".-."},
    {'S', "..."},    {'T', "-"},      {'U', "..-"},    {'V', "...-"},    {'W', ".--"},     {'X', "-..-"},
    {'Y', "-.--"},   {'Z', "--.."},   {'0', "-----"},  {'1', ".----"},   {'2', "..---"},   {'3', "...--"},
    {'4', "....-"},  {'5', "....."},  {'6', "-...."},  {'7', "--..."},   {'8', "---.."},   {'9', "----."},
    {'.', ".-.-.-"}, {',', "--..--"}, {'?', "..--.."}, {'\'', ".----."}, {'!', "-.-.--"},  {'/', "-..-."},
    {'(', "-.--."},  {')', "-.--.-"}, {'&', ".-..."},  {':', "---..."},  {';', "-.-.-."},  {'=', "-...-"},
    {'+', ".-.-."},  {'-', "-....-"}, {'_', "..--.-"}, {'"', ".-..-."},  {'$', "...-..-"}, {'@', ".--.-."},
};

// Element and gap lengths in milliseconds.
struct MORSE_TIMING {
    double dotMs;
    double dashMs;
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
    return MORSE_TIMING{dotMs, config.dahRatio * dotMs, 3.0 * gapUnitMs, 7.0 * gapUnitMs};
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
        append_keying(timeline, jitter, true, code[i] == '-' ? timing.dashMs : timing.dotMs);
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

// The keying gain alone, 0 to 1, for tones the band path shapes itself.
void add_element_envelope(float* out, uint64_t start, uint64_t end, const MORSE_AUDIO_CONFIG& config)
{
    const uint64_t length = end - start;
    const uint64_t rise = std::min(ms_to_samples(config.riseMs, config.sampleRateHz), length / 2);
    for (uint64_t k = 0; k < length; ++k)
        out[start + k] = static_cast<float>(envelope(k, length, rise));
}

// Calls add(out, first, end, config) for every key-down element that ends
// within `limit` samples of out.
template <typename ADD>
void mix_keying(const MORSE_AUDIO_CONFIG& config, const std::vector<MORSE_KEYING>& timeline, float* out, uint64_t limit,
                ADD add)
{
    double elapsedMs = 0.0;
    for (const MORSE_KEYING& k : timeline) {
        const uint64_t first = ms_to_samples(elapsedMs, config.sampleRateHz);
        elapsedMs += k.durationMs;
        const uint64_t end = ms_to_samples(elapsedMs, config.sampleRateHz);
        if (k.keyDown && end <= limit)
            add(out, first, end, config);
    }
}

void build_timeline(const MORSE_AUDIO_CONFIG& config, const std::string& text, std::vector<MORSE_KEYING>* timeline,
                    std::string* skipped)
{
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
}

// ---- The band: channel, QSB, drift, QRM and QRN ----

struct MORSE_CHANNEL_FIGURES {
    const char* name;
    double delayMs;   // differential delay of the second path
    double spreadHz;  // two-sigma width of the Gaussian Doppler spectrum
};

constexpr MORSE_CHANNEL_FIGURES kChannels[] = {
    {"none", 0.0, 0.0}, {"good", 0.5, 0.1}, {"moderate", 1.0, 0.5}, {"poor", 2.0, 1.0}, {"flutter", 0.5, 10.0},
};

constexpr char kQrmText[] = "TEST DE ZR9XYZ ZR9XYZ QRL? ";

// The gains vary slowly, so they are drawn at a low rate and interpolated;
// 40 points per Hz of spread keeps linear interpolation within about 1 %.
constexpr double kTrackPointsPerSpreadHz = 40.0;
constexpr double kTrackPointsPerQsbPeriod = 32.0;

// Oscillators restart from the exact phase this often so that the rounding
// of the complex rotations cannot build up.
constexpr uint64_t kRotorBlock = 256;

// Complex gains of the direct and the delayed path at trackHz from the
// first sample; the delayed one is empty without a channel.
struct MORSE_GAIN_TRACK {
    double trackHz;
    std::vector<std::complex<double>> direct;
    std::vector<std::complex<double>> delayed;
};

// One Rayleigh path of mean power `power`: complex white Gaussian noise
// through a low-pass whose power response is the Doppler spectrum
// exp(-f^2 / 2s^2), s = spreadHz / 2. Its impulse response is a Gaussian of
// standard deviation 1 / (2 sqrt(2) pi s) seconds; scaled to unit energy it
// keeps the noise power.
std::vector<std::complex<double>> rayleigh_path(size_t count, double spreadHz, double trackHz, double power,
                                                std::mt19937* rng)
{
    const double sigma = trackHz / (std::sqrt(2.0) * std::numbers::pi * spreadHz);
    const size_t half = static_cast<size_t>(std::ceil(4.0 * sigma));
    std::vector<double> kernel(2 * half + 1);
    double energy = 0.0;
    for (size_t i = 0; i < kernel.size(); ++i) {
        const double t = static_cast<double>(i) - static_cast<double>(half);
        kernel[i] = std::exp(-t * t / (2.0 * sigma * sigma));
        energy += kernel[i] * kernel[i];
    }
    std::vector<float> white(2 * (count + kernel.size()), 0.0f);  // interleaved real and imaginary parts
    morse_audio_add_noise(white.data(), white.size(), std::sqrt(power / 2.0 / energy), rng);
    std::vector<std::complex<double>> path(count);
    for (size_t m = 0; m < count; ++m) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < kernel.size(); ++i) {
            re += kernel[i] * white[2 * (m + i)];
            im += kernel[i] * white[2 * (m + i) + 1];
        }
        path[m] = {re, im};
    }
    return path;
}

// QSB amplitude at time t: -depth/2 (1 - cos) dB, divided by the root of its
// mean power over a period so that the SNR stays the average over the fade.
struct MORSE_QSB {
    double depthDb;
    double periodSeconds;
    double scale;
};

double qsb_db(const MORSE_QSB& q, double t)
{
    return -q.depthDb / 2.0 * (1.0 - std::cos(2.0 * std::numbers::pi * t / q.periodSeconds));
}

MORSE_QSB qsb_for(const MORSE_AUDIO_CONFIG& c)
{
    MORSE_QSB q{c.qsbDepthDb, c.qsbPeriodSeconds, 1.0};
    constexpr int kPoints = 1024;  // the gain is smooth and periodic: the plain mean converges fast
    double power = 0.0;
    for (int i = 0; i < kPoints; ++i)
        power += std::pow(10.0, qsb_db(q, q.periodSeconds * i / kPoints) / 10.0);
    q.scale = 1.0 / std::sqrt(power / kPoints);
    return q;
}

MORSE_GAIN_TRACK gain_track(const MORSE_AUDIO_CONFIG& c, uint64_t samples)
{
    const double spreadHz = kChannels[c.channel].spreadHz;
    const bool qsb = c.qsbDepthDb > 0.0;
    MORSE_GAIN_TRACK track{1.0, {}, {}};  // drift alone: any rate will do for a constant gain
    track.trackHz = std::max(
        {track.trackHz, kTrackPointsPerSpreadHz * spreadHz, qsb ? kTrackPointsPerQsbPeriod / c.qsbPeriodSeconds : 0.0});
    const size_t count = static_cast<size_t>(static_cast<double>(samples) / c.sampleRateHz * track.trackHz) + 2;
    if (c.channel == MORSE_CHANNEL_NONE) {
        track.direct.assign(count, 1.0);
    } else {
        std::seed_seq seeds{c.seed, 3u};
        std::mt19937 rng(seeds);
        track.direct = rayleigh_path(count, spreadHz, track.trackHz, 0.5, &rng);
        track.delayed = rayleigh_path(count, spreadHz, track.trackHz, 0.5, &rng);
    }
    if (qsb) {
        const MORSE_QSB q = qsb_for(c);
        for (size_t m = 0; m < count; ++m) {
            const double gain = q.scale * std::pow(10.0, qsb_db(q, m / track.trackHz) / 20.0);
            track.direct[m] *= gain;
            if (!track.delayed.empty())
                track.delayed[m] *= gain;
        }
    }
    return track;
}

std::complex<double> interpolate(const std::vector<std::complex<double>>& v, double pos)
{
    const size_t m = static_cast<size_t>(pos);
    const double f = pos - static_cast<double>(m);
    return v[m] + f * (v[m + 1] - v[m]);
}

// Phase of the wanted tone at sample x (fractional for the delayed path):
// the frequency runs linearly from startRad at sample 0 by slopeRad a
// sample, and the phase is -pi/2 at the first key-down sample, so without
// drift the tone is the same sine the plain path draws.
struct MORSE_PITCH_LAW {
    double startRad;  // radians per sample
    double slopeRad;  // radians per sample, per sample
    double origin;    // first key-down sample
};

double phase_at(const MORSE_PITCH_LAW& law, double x)
{
    return (x - law.origin) * (law.startRad + law.slopeRad * (x + law.origin) / 2.0) - std::numbers::pi / 2.0;
}

// exp(j phase) at x, x + 1, ... by complex rotations: the step itself turns
// by the constant second difference of the quadratic phase.
struct MORSE_ROTOR {
    std::complex<double> now;
    std::complex<double> step;
    std::complex<double> turn;
};

MORSE_ROTOR rotor_at(const MORSE_PITCH_LAW& law, double x)
{
    return MORSE_ROTOR{std::polar(1.0, phase_at(law, x)), std::polar(1.0, law.startRad + law.slopeRad * (x + 0.5)),
                       std::polar(1.0, law.slopeRad)};
}

// Written out: std::complex multiplication checks for infinities per call.
std::complex<double> times(std::complex<double> a, std::complex<double> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

void advance(MORSE_ROTOR* r)
{
    r->now = times(r->now, r->step);
    r->step = times(r->step, r->turn);
}

double real_of_product(std::complex<double> a, std::complex<double> b)
{
    return a.real() * b.real() - a.imag() * b.imag();
}

// The wanted tone as Re{A (g1(t) s(t) + g2(t) s(t - delay))} with s the
// analytic keyed tone and g1, g2 the path gains (QSB included).
void add_band_tone(const MORSE_AUDIO_CONFIG& c, const std::vector<MORSE_KEYING>& timeline, uint64_t lead,
                   std::vector<float>* out)
{
    const uint64_t count = out->size();
    const double rate = c.sampleRateHz;
    std::vector<float> keying(count, 0.0f);
    mix_keying(c, timeline, keying.data() + lead, count - lead, add_element_envelope);
    const MORSE_GAIN_TRACK track = gain_track(c, count);
    const double trackStep = track.trackHz / rate;
    const double slopeRad = count > 1 ? 2.0 * std::numbers::pi * c.driftHz / rate / (count - 1) : 0.0;
    const MORSE_PITCH_LAW law{2.0 * std::numbers::pi * c.pitchHz / rate, slopeRad, static_cast<double>(lead)};
    const double delay = kChannels[c.channel].delayMs * rate / 1000.0;
    const uint64_t whole = static_cast<uint64_t>(delay);
    const float part = static_cast<float>(delay - whole);
    const bool twoPaths = !track.delayed.empty();
    for (uint64_t block = 0; block < count; block += kRotorBlock) {
        MORSE_ROTOR direct = rotor_at(law, static_cast<double>(block));
        MORSE_ROTOR delayed = rotor_at(law, block - delay);
        const uint64_t end = std::min(count, block + kRotorBlock);
        for (uint64_t n = block; n < end; advance(&direct), advance(&delayed), ++n) {
            const float late = !twoPaths || n < whole ? 0.0f
                                                      : (1.0f - part) * keying[n - whole] +
                                                            (n > whole ? part * keying[n - whole - 1] : 0.0f);
            if (keying[n] == 0.0f && late == 0.0f)
                continue;
            const double pos = n * trackStep;
            double v = keying[n] * real_of_product(interpolate(track.direct, pos), direct.now);
            if (late != 0.0f)
                v += late * real_of_product(interpolate(track.delayed, pos), delayed.now);
            (*out)[n] += static_cast<float>(c.amplitude * v);
        }
    }
}

// A second station calling over the wanted one: its own text and a slower
// hand, repeated from 0.3 s on; no fading, so its level is what was asked.
void add_second_station(const MORSE_AUDIO_CONFIG& c, std::vector<float>* out)
{
    MORSE_AUDIO_CONFIG q = c;
    q.wpm = 0.85 * c.wpm;
    q.farnsworthWpm = 0.0;
    q.dahRatio = 3.0;
    q.pitchHz = c.pitchHz + c.qrmOffsetHz;
    q.amplitude = c.amplitude * std::pow(10.0, c.qrmLevelDb / 20.0);
    q.seed = c.seed + 1;  // another operator's jitter
    std::vector<MORSE_KEYING> timeline;
    build_timeline(q, kQrmText, &timeline, nullptr);
    const double copyMs = morse_audio_timeline_ms(timeline);
    for (double startMs = 300.0;; startMs += copyMs) {
        const uint64_t offset = ms_to_samples(startMs, c.sampleRateHz);
        if (offset >= out->size())
            break;
        mix_keying(q, timeline, out->data() + offset, out->size() - offset, add_element);
    }
}

// Static crashes at Poisson arrivals: 10 ms of random-sign white noise under
// a 2 ms exponential decay, starting 20 to 30 dB above the tone's peak.
void add_crashes(const MORSE_AUDIO_CONFIG& c, std::vector<float>* out)
{
    std::seed_seq seeds{c.seed, 4u};
    std::mt19937 rng(seeds);
    auto uniform = [&rng] { return (rng() + 1.0) / 4294967296.0; };  // (0, 1], keeps log finite
    const double rate = c.sampleRateHz;
    const uint64_t length = std::max<uint64_t>(1, ms_to_samples(10.0, c.sampleRateHz));
    const double decay = std::exp(-1.0 / (0.002 * rate));
    for (double t = -std::log(uniform()) / c.qrnRate; t * rate < out->size(); t += -std::log(uniform()) / c.qrnRate) {
        const uint64_t first = static_cast<uint64_t>(t * rate);
        double level = c.amplitude * std::pow(10.0, (20.0 + 10.0 * uniform()) / 20.0);
        for (uint64_t n = first; n < std::min<uint64_t>(out->size(), first + length); ++n, level *= decay)
            (*out)[n] += static_cast<float>(rng() & 1u ? level : -level);
    }
}

bool uses_band_path(const MORSE_AUDIO_CONFIG& c)
{
    return c.channel != MORSE_CHANNEL_NONE || c.qsbDepthDb > 0.0 || c.driftHz != 0.0;
}

}  // namespace

MORSE_AUDIO_CONFIG morse_audio_default_config()
{
    return MORSE_AUDIO_CONFIG{.wpm = 20.0,
                              .farnsworthWpm = 0.0,
                              .pitchHz = 600.0,
                              .sampleRateHz = 8000,
                              .amplitude = 0.5,
                              .riseMs = 5.0,
                              .addNoise = false,
                              .snrDb = 0.0,
                              .jitterPercent = 0.0,
                              .seed = 1,
                              .leadSeconds = 0.5,
                              .tailSeconds = 0.5,
                              .channel = MORSE_CHANNEL_NONE,
                              .qsbDepthDb = 0.0,
                              .qsbPeriodSeconds = 6.0,
                              .dahRatio = 3.0,
                              .driftHz = 0.0,
                              .qrnRate = 0.0,
                              .qrmOffsetHz = 0.0,
                              .qrmLevelDb = 0.0,
                              .qrmEnabled = false};
}

bool morse_audio_parse_channel(const std::string& name, MORSE_CHANNEL* channel)
{
    for (size_t i = 0; i < std::size(kChannels); ++i) {
        if (name == kChannels[i].name) {
            if (channel)
                *channel = static_cast<MORSE_CHANNEL>(i);
            return true;
        }
    }
    return false;
}

bool morse_audio_check_config(const MORSE_AUDIO_CONFIG& c, std::string* error)
{
    const double nyquist = c.sampleRateHz / 2.0;
    if (!in_range(c.wpm, 1.0, 200.0))
        return fail(error, "speed must be 1 to 200 WPM");
    if (c.farnsworthWpm != 0.0 && !in_range(c.farnsworthWpm, 1.0, c.wpm))
        return fail(error, "Farnsworth speed must be 1 WPM up to the character speed");
    if (!in_range(c.sampleRateHz, 1000.0, 1000000.0))
        return fail(error, "sample rate must be 1000 to 1000000 Hz");
    if (!(c.pitchHz > 0.0 && c.pitchHz < nyquist))
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
    if (!in_range(c.channel, MORSE_CHANNEL_NONE, MORSE_CHANNEL_FLUTTER))
        return fail(error, "channel must be none, good, moderate, poor or flutter");
    if (!in_range(c.qsbDepthDb, 0.0, 40.0))
        return fail(error, "QSB depth must be 0 to 40 dB");
    if (!in_range(c.qsbPeriodSeconds, 0.5, 600.0))
        return fail(error, "QSB period must be 0.5 to 600 s");
    if (!in_range(c.dahRatio, 2.0, 5.0))
        return fail(error, "dash length must be 2 to 5 dots");
    if (!in_range(c.driftHz, -500.0, 500.0))
        return fail(error, "drift must be -500 to 500 Hz");
    if (!(c.pitchHz + c.driftHz > 0.0 && c.pitchHz + c.driftHz < nyquist))
        return fail(error, "pitch plus drift must stay above 0 and below half the sample rate");
    if (!in_range(c.qrnRate, 0.0, 50.0))
        return fail(error, "QRN must be 0 to 50 crashes per second");
    if (c.qrmEnabled && !(c.pitchHz + c.qrmOffsetHz > 0.0 && c.pitchHz + c.qrmOffsetHz < nyquist))
        return fail(error, "QRM pitch (pitch plus offset) must be above 0 and below half the sample rate");
    if (c.qrmEnabled && !in_range(c.qrmLevelDb, -60.0, 20.0))
        return fail(error, "QRM level must be -60 to 20 dB");
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
    build_timeline(config, text, timeline, skipped);
    return true;
}

double morse_audio_timeline_ms(const std::vector<MORSE_KEYING>& timeline)
{
    double total = 0.0;
    for (const MORSE_KEYING& k : timeline)
        total += k.durationMs;
    return total;
}

bool morse_audio_mix_tone(const MORSE_AUDIO_CONFIG& config, const std::vector<MORSE_KEYING>& timeline, size_t offset,
                          std::vector<float>* buffer, std::string* error)
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
    mix_keying(config, timeline, buffer->data() + offset, end - offset, add_element);
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
    if (uses_band_path(config))
        add_band_tone(config, timeline, lead, samples);
    else if (!morse_audio_mix_tone(config, timeline, lead, samples, error))
        return false;
    if (config.qrmEnabled)
        add_second_station(config, samples);
    if (config.addNoise) {
        std::seed_seq seeds{config.seed, 2u};
        std::mt19937 rng(seeds);
        const double sigma = morse_audio_noise_sigma(config.amplitude, config.snrDb, config.sampleRateHz);
        morse_audio_add_noise(samples->data(), samples->size(), sigma, &rng);
    }
    if (config.qrnRate > 0.0)
        add_crashes(config, samples);
    return true;
}
