#include "morse_band_generator.h"

#include "morse_audio_generator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <deque>
#include <numbers>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Frames are synthesised a tile at a time on a grid fixed from the first
// frame, and handed out from there: each oscillator restarts from its exact
// phase at every tile, so any block size sees the very same arithmetic.
constexpr uint64_t kTile = 256;

constexpr double kRiseMs = 5.0;
constexpr int kPathTerms = 8;  // sinusoids summed for one Rayleigh path

// Key-down samples [first, end) of one element.
struct BAND_ELEMENT {
    uint64_t first;
    uint64_t end;
};

// A path gain as a sum of equal sinusoids with Gaussian Doppler shifts and
// random phases: Rayleigh-like, and computable at any time without state.
struct BAND_PATH {
    double dopplerHz[kPathTerms];
    double phase[kPathTerms];
};

struct BAND_STATION {
    MORSE_BAND_STATION info;
    std::mt19937 rng;  // this station's own stream: figures, then messages
    int cqPattern;
    uint64_t firstSample;
    double amplitude;
    double cyclesPerSample;
    double driftPeriodSeconds;
    double driftPhase;
    BAND_PATH paths[2];
    uint64_t delaySamples;  // of the second path; 0 for one path
    double qsbDepthDb;
    double qsbPeriodSeconds;
    double qsbPhase;
    double qsbScale;
    std::deque<BAND_ELEMENT> elements;  // scheduled, not yet wholly rendered
    std::deque<uint64_t> starts;        // transmissions scheduled but not yet reached by the position
    uint32_t started;                   // transmissions the position has passed
    uint64_t nextStart;                 // first sample of the next transmission
};

// Each operator keeps one way of calling CQ.
constexpr const char* kCqPatterns[] = {
    "CQ CQ DE {C} {C} K", "CQ {C} {C} CQ", "CQ TEST {C} {C}", "CQ CQ CQ DE {C} {C} {C} <AR>",
    "CQ DX {C} {C} K",    "CQ {C} TEST",   "CQ CQ {C} {C} K", "CQ CQ DE {C} {C} {C} <KN>",
};

// A station answering varies what it sends; every form carries its own call.
constexpr const char* kAnswerPatterns[] = {
    "{O} DE {C} {C} K", "{O} DE {C} 5NN TU", "{O} DE {C} UR 599 599 BK", "TU {C}", "{C} {C}",
};

// Prefixes of real shape: one or two letters, or a digit and a letter, or a
// letter and a digit; the call area digit follows.
constexpr const char* kPrefixes[] = {
    "K",  "W",  "N",  "K",  "W",  "N",  "AA", "AB", "AC", "AD", "AE", "AF", "AG", "AI", "AJ", "AK", "AL",
    "KA", "KB", "KC", "KD", "KE", "KF", "KG", "KI", "KJ", "WA", "WB", "WD", "NA", "NB", "DL", "DL", "DK",
    "DJ", "DF", "DO", "G",  "M",  "2E", "F",  "I",  "IK", "IZ", "EA", "JA", "JA", "JH", "JR", "VE", "VA",
    "VK", "UA", "RA", "RW", "SP", "SQ", "OK", "OL", "OH", "SM", "SA", "PA", "PD", "ON", "9A", "S5", "YO",
    "LZ", "4X", "4Z", "ZS", "HA", "OE", "HB", "LY", "YL", "ES", "UR", "UT", "EI", "GM", "GW", "ZL", "PY",
    "LU", "CE", "XE", "BY", "HL", "OZ", "LA", "CT", "EW", "YU", "E7", "Z3", "TA", "SV",
};

double uniform(std::mt19937* rng)
{
    return (*rng)() / 4294967296.0;  // [0, 1) from the raw output: the same on every standard library
}

double uniform(std::mt19937* rng, double lo, double hi)
{
    return lo + (hi - lo) * uniform(rng);
}

size_t pick(std::mt19937* rng, size_t count)
{
    return std::min(count - 1, static_cast<size_t>(uniform(rng) * count));
}

double gaussian(std::mt19937* rng)
{
    const double u1 = ((*rng)() + 1.0) / 4294967296.0;  // (0, 1], keeps log finite
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(kTwoPi * uniform(rng));
}

bool fail(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

bool in_range(double v, double lo, double hi)
{
    return v >= lo && v <= hi;  // false for NaN
}

std::string random_letters(std::mt19937* rng, size_t count)
{
    std::string s;
    for (size_t i = 0; i < count; ++i)
        s += static_cast<char>('A' + pick(rng, 26));
    return s;
}

std::string random_prefix_with_area(std::mt19937* rng)
{
    const std::string prefix = kPrefixes[pick(rng, std::size(kPrefixes))];
    const char digit = prefix == "HB" ? '9' : static_cast<char>('0' + pick(rng, 10));
    return prefix + digit;
}

// Prefix, call area, 1 to 3 letters (US calls 2 or 3); a few operators
// are portable: "/P" after, or a visited country's prefix before.
std::string random_call(std::mt19937* rng)
{
    const std::string head = random_prefix_with_area(rng);
    const bool us = head[0] == 'K' || head[0] == 'W' || head[0] == 'N';
    const double u = uniform(rng);
    const size_t letters = u < 0.1 && !us ? 1 : u < 0.5 ? 2 : 3;
    std::string call = head + random_letters(rng, letters);
    const double portable = uniform(rng);
    if (portable < 0.04)
        call += "/P";
    else if (portable < 0.07)
        call = random_prefix_with_area(rng) + "/" + call;
    return call;
}

std::string fill_pattern(const char* pattern, const std::string& own, const std::string& other)
{
    std::string text;
    for (const char* p = pattern; *p;) {
        if (std::strncmp(p, "{C}", 3) == 0) {
            text += own;
            p += 3;
        } else if (std::strncmp(p, "{O}", 3) == 0) {
            text += other;
            p += 3;
        } else {
            text += *p++;
        }
    }
    return text;
}

uint64_t seconds_to_samples(double seconds, uint32_t rate)
{
    return static_cast<uint64_t>(std::llround(seconds * rate));
}

}  // namespace

struct MORSE_BAND {
    MORSE_BAND_CONFIG config;
    std::vector<BAND_STATION> stations;
    std::vector<std::string> calledCalls;  // whom answering stations call
    std::vector<float> tile;               // kTile frames, interleaved
    std::vector<float> keying;             // one station's envelope over a tile and its second path's delay
    std::vector<float> riseTable;          // raised-cosine edge of kRiseMs
    uint64_t tileStart;                    // first frame of the tile held
    uint64_t tilesMade;
    uint64_t tileUsed;  // frames of it handed out
    uint64_t position;  // frames handed out in all
    std::mt19937 noiseRng;
    bool haveSpare;  // Box-Muller gives pairs; audio takes one a frame
    double spare;
    double noiseSigma;  // per real component
};

namespace {

size_t channels(const MORSE_BAND_CONFIG& c)
{
    return c.output == MORSE_BAND_IQ ? 2 : 1;
}

// Noise per real component such that a carrier of zeroDbAmplitude is 0 dB
// over the noise in 2500 Hz. Real noise spreads its power over 0..rate/2
// against the carrier's A^2/2; complex noise spreads it over -rate/2..rate/2
// against |A|^2, and I and Q carry half of it each.
double noise_sigma(const MORSE_BAND_CONFIG& c)
{
    if (c.output == MORSE_BAND_IQ)
        return c.zeroDbAmplitude * std::sqrt(c.sampleRateHz / 2500.0) / std::sqrt(2.0);
    return morse_audio_noise_sigma(c.zeroDbAmplitude, 0.0, c.sampleRateHz);
}

// Sorted carriers at least minSpacing apart: the free room is spread at
// random over the gaps, so any feasible spacing is always met.
std::vector<double> draw_frequencies(const MORSE_BAND_CONFIG& c, std::mt19937* rng)
{
    const size_t n = c.stationCount;
    const double room = n > 1 ? (c.highHz - c.lowHz) - (n - 1) * c.minSpacingHz : c.highHz - c.lowHz;
    std::vector<double> f(n);
    for (double& x : f)
        x = uniform(rng, 0.0, room);
    std::sort(f.begin(), f.end());
    for (size_t i = 0; i < n; ++i)
        f[i] += c.lowHz + i * c.minSpacingHz;
    return f;
}

void draw_path(BAND_PATH* path, double spreadHz, std::mt19937* rng)
{
    for (int k = 0; k < kPathTerms; ++k) {
        path->dopplerHz[k] = gaussian(rng) * spreadHz / 2.0;  // the spread is two sigma
        path->phase[k] = kTwoPi * uniform(rng);
    }
}

std::complex<double> path_gain(const BAND_PATH& path, double t)
{
    std::complex<double> g = 0.0;
    for (int k = 0; k < kPathTerms; ++k)
        g += std::polar(1.0, kTwoPi * path.dopplerHz[k] * t + path.phase[k]);
    return g * std::sqrt(0.5 / kPathTerms);  // each path half the mean power
}

double qsb_db(const BAND_STATION& s, double t)
{
    return -s.qsbDepthDb / 2.0 * (1.0 - std::cos(kTwoPi * t / s.qsbPeriodSeconds + s.qsbPhase));
}

// The fade divided by the root of its mean power over a period, so that the
// drawn SNR is the average one.
double qsb_scale(const BAND_STATION& s)
{
    constexpr int kPoints = 1024;
    double power = 0.0;
    for (int i = 0; i < kPoints; ++i)
        power += std::pow(10.0, qsb_db(s, s.qsbPeriodSeconds * i / kPoints) / 10.0);
    return 1.0 / std::sqrt(power / kPoints);
}

// Gain of the direct path (first) and the delayed one at time t, amplitude included.
std::pair<std::complex<double>, std::complex<double>> gains_at(const BAND_STATION& s, double t)
{
    switch (s.info.fading) {
    case MORSE_BAND_FADING_TWO_PATH:
        return {s.amplitude * path_gain(s.paths[0], t), s.amplitude * path_gain(s.paths[1], t)};
    case MORSE_BAND_FADING_QSB: return {s.amplitude * s.qsbScale * std::pow(10.0, qsb_db(s, t) / 20.0), 0.0};
    default: return {s.amplitude, 0.0};
    }
}

// Carrier phase in cycles at time t: the drift is a slow sine in frequency,
// f0 + d sin(2 pi t / P + p), integrated.
double cycles_at(const BAND_STATION& s, uint64_t n, uint32_t rate)
{
    const double base = n * s.cyclesPerSample;
    double c = base - std::floor(base);
    if (s.info.driftHz != 0.0) {
        const double t = static_cast<double>(n) / rate;
        const double w = kTwoPi / s.driftPeriodSeconds;
        c -= s.info.driftHz / w * (std::cos(w * t + s.driftPhase) - std::cos(s.driftPhase));
    }
    return c;
}

double frequency_at(const BAND_STATION& s, double t)
{
    if (s.info.driftHz == 0.0)
        return s.info.frequencyHz;
    return s.info.frequencyHz + s.info.driftHz * std::sin(kTwoPi * t / s.driftPeriodSeconds + s.driftPhase);
}

// Draws everything about station i from its own stream, so that stations do
// not reshuffle one another.
BAND_STATION make_station(const MORSE_BAND_CONFIG& c, size_t i, const std::string& call, double frequencyHz)
{
    BAND_STATION s{};
    std::seed_seq seeds{c.seed, 21u, static_cast<uint32_t>(i)};
    s.rng.seed(seeds);
    std::mt19937* rng = &s.rng;
    MORSE_BAND_STATION& info = s.info;
    std::snprintf(info.call, sizeof info.call, "%s", call.c_str());
    info.frequencyHz = frequencyHz;
    info.wpm = uniform(rng, c.minWpm, c.maxWpm);
    info.snrDb = uniform(rng, c.minSnrDb, c.maxSnrDb);
    const bool fades = uniform(rng) < c.fadingShare;
    const bool twoPath = uniform(rng) < 0.5;
    info.fading = !fades ? MORSE_BAND_FADING_NONE : twoPath ? MORSE_BAND_FADING_TWO_PATH : MORSE_BAND_FADING_QSB;
    info.handKeyed = uniform(rng) < c.handKeyingShare;
    const double jitter = uniform(rng, 5.0, 15.0);
    const double dah = uniform(rng, 3.3, 3.8);
    info.jitterPercent = info.handKeyed ? jitter : 0.0;
    info.dahRatio = info.handKeyed ? dah : 3.0;
    info.answering = uniform(rng) < c.answerShare;
    info.driftHz = c.maxDriftHz * uniform(rng);
    s.driftPeriodSeconds = uniform(rng, 30.0, 120.0);
    s.driftPhase = kTwoPi * uniform(rng);
    s.firstSample = seconds_to_samples(uniform(rng, 0.0, c.startSpreadSeconds), c.sampleRateHz);
    info.firstCqSeconds = static_cast<double>(s.firstSample) / c.sampleRateHz;
    s.cqPattern = static_cast<int>(pick(rng, std::size(kCqPatterns)));
    // Good, moderate and poor CCIR 520 channels.
    constexpr double kSpreadHz[] = {0.1, 0.5, 1.0};
    constexpr double kDelayMs[] = {0.5, 1.0, 2.0};
    const size_t channel = pick(rng, 3);
    draw_path(&s.paths[0], kSpreadHz[channel], rng);
    draw_path(&s.paths[1], kSpreadHz[channel], rng);
    s.delaySamples =
        info.fading == MORSE_BAND_FADING_TWO_PATH ? seconds_to_samples(kDelayMs[channel] / 1000.0, c.sampleRateHz) : 0;
    s.qsbDepthDb = uniform(rng, 6.0, 20.0);
    s.qsbPeriodSeconds = uniform(rng, 5.0, 20.0);
    s.qsbPhase = kTwoPi * uniform(rng);
    s.qsbScale = qsb_scale(s);
    s.amplitude = c.zeroDbAmplitude * std::pow(10.0, info.snrDb / 20.0);
    s.cyclesPerSample = frequencyHz / c.sampleRateHz;
    s.nextStart = s.firstSample;
    return s;
}

// Appends the next transmission's elements and moves nextStart past it and
// the pause after it.
void schedule_transmission(const MORSE_BAND* b, BAND_STATION* s)
{
    std::mt19937* rng = &s->rng;
    const uint32_t rate = b->config.sampleRateHz;
    std::string text;
    if (s->info.answering) {
        const std::string& other = b->calledCalls[pick(rng, b->calledCalls.size())];
        text = fill_pattern(kAnswerPatterns[pick(rng, std::size(kAnswerPatterns))], s->info.call, other);
    } else {
        text = fill_pattern(kCqPatterns[s->cqPattern], s->info.call, "");
    }
    MORSE_AUDIO_CONFIG ac = morse_audio_default_config();
    ac.wpm = s->info.wpm * (s->info.handKeyed ? uniform(rng, 0.96, 1.04) : 1.0);  // a hand never quite repeats
    ac.dahRatio = s->info.dahRatio;
    ac.jitterPercent = s->info.jitterPercent;
    ac.seed = (*rng)();
    std::vector<MORSE_KEYING> timeline;
    const uint64_t start = s->nextStart;
    double elapsedMs = 0.0;
    if (morse_audio_timeline(ac, text, &timeline, nullptr, nullptr)) {
        for (const MORSE_KEYING& k : timeline) {
            const uint64_t first = start + seconds_to_samples(elapsedMs / 1000.0, rate);
            elapsedMs += k.durationMs;
            const uint64_t end = start + seconds_to_samples(elapsedMs / 1000.0, rate);
            if (k.keyDown && end > first)
                s->elements.push_back(BAND_ELEMENT{first, end});
        }
    }
    s->starts.push_back(start);
    // Someone answering waits for the other side's reply as well.
    const double stretch = s->info.answering ? 1.5 : 1.0;
    const double pause = stretch * uniform(rng, b->config.minPauseSeconds, b->config.maxPauseSeconds);
    s->nextStart = start + seconds_to_samples(elapsedMs / 1000.0 + pause, rate) + 1;
}

// Raised-cosine gain at sample k of an element of `length` samples, sampled
// at mid-points so both edges match; short elements get shorter edges.
float element_gain(const MORSE_BAND* b, uint64_t k, uint64_t length)
{
    const uint64_t rise = b->riseTable.size();
    const uint64_t edge = std::min(k, length - 1 - k);
    if (2 * rise <= length)
        return edge >= rise ? 1.0f : b->riseTable[edge];
    const uint64_t shortRise = length / 2;
    if (edge >= shortRise)
        return 1.0f;
    return static_cast<float>(0.5 * (1.0 - std::cos(std::numbers::pi * (edge + 0.5) / shortRise)));
}

// Fills b->keying with the station's envelope over [t0 - delay, t0 + kTile);
// false when it is silent there.
bool fill_keying(MORSE_BAND* b, BAND_STATION* s, uint64_t t0)
{
    const uint64_t t1 = t0 + kTile;
    const uint64_t delay = s->delaySamples;
    while (!s->elements.empty() && s->elements.front().end + delay <= t0)
        s->elements.pop_front();
    if (s->elements.empty() || s->elements.front().first >= t1)
        return false;
    const int64_t base = static_cast<int64_t>(t0) - static_cast<int64_t>(delay);
    std::fill(b->keying.begin(), b->keying.begin() + kTile + delay, 0.0f);
    for (const BAND_ELEMENT& e : s->elements) {
        if (e.first >= t1)
            break;
        const int64_t lo = std::max<int64_t>(static_cast<int64_t>(e.first), base);
        const int64_t hi = std::min<int64_t>(static_cast<int64_t>(e.end), static_cast<int64_t>(t1));
        for (int64_t n = lo; n < hi; ++n)
            b->keying[n - base] = element_gain(b, n - e.first, e.end - e.first);
    }
    return true;
}

// Adds Re (or all) of (g1(t) k(t) + g2(t) k(t - delay)) exp(j phase(t)) to the tile.
void add_station(MORSE_BAND* b, BAND_STATION* s)
{
    const uint64_t t0 = b->tileStart;
    const uint32_t rate = b->config.sampleRateHz;
    while (s->nextStart < t0 + kTile)
        schedule_transmission(b, s);
    if (!fill_keying(b, s, t0))
        return;
    const double tA = static_cast<double>(t0) / rate;
    const double tB = static_cast<double>(t0 + kTile) / rate;
    const auto [g1a, g2a] = gains_at(*s, tA);
    const auto [g1b, g2b] = gains_at(*s, tB);
    const std::complex<double> d1 = (g1b - g1a) / static_cast<double>(kTile);
    const std::complex<double> d2 = (g2b - g2a) / static_cast<double>(kTile);
    std::complex<double> phasor = std::polar(1.0, kTwoPi * cycles_at(*s, t0, rate));
    const std::complex<double> step = std::polar(1.0, kTwoPi * frequency_at(*s, (tA + tB) / 2.0) / rate);
    const size_t delay = s->delaySamples;
    const bool iq = b->config.output == MORSE_BAND_IQ;
    const float* direct = b->keying.data() + delay;
    const float* delayed = b->keying.data();
    for (size_t i = 0; i < kTile; ++i) {
        const double e1 = direct[i];
        const double e2 = delay > 0 ? delayed[i] : 0.0;
        if (e1 != 0.0 || e2 != 0.0) {
            const double x = static_cast<double>(i);
            const std::complex<double> g = e1 * (g1a + x * d1) + e2 * (g2a + x * d2);
            // Written out: std::complex multiplication checks for infinities.
            const double re = g.real() * phasor.real() - g.imag() * phasor.imag();
            if (iq) {
                b->tile[2 * i] += static_cast<float>(re);
                b->tile[2 * i + 1] += static_cast<float>(g.real() * phasor.imag() + g.imag() * phasor.real());
            } else {
                b->tile[i] += static_cast<float>(re);
            }
        }
        phasor = {phasor.real() * step.real() - phasor.imag() * step.imag(),
                  phasor.real() * step.imag() + phasor.imag() * step.real()};
    }
}

double next_gaussian(MORSE_BAND* b)
{
    if (b->haveSpare) {
        b->haveSpare = false;
        return b->spare;
    }
    const double u1 = (b->noiseRng() + 1.0) / 4294967296.0;
    const double u2 = b->noiseRng() / 4294967296.0;
    const double r = std::sqrt(-2.0 * std::log(u1));
    b->spare = r * std::sin(kTwoPi * u2);
    b->haveSpare = true;
    return r * std::cos(kTwoPi * u2);
}

void synthesize_tile(MORSE_BAND* b)
{
    std::fill(b->tile.begin(), b->tile.end(), 0.0f);
    for (BAND_STATION& s : b->stations)
        add_station(b, &s);
    if (b->config.addNoise)
        for (float& v : b->tile)
            v += static_cast<float>(b->noiseSigma * next_gaussian(b));
}

}  // namespace

MORSE_BAND_CONFIG morse_band_default_config()
{
    return MORSE_BAND_CONFIG{.sampleRateHz = 8000,
                             .output = MORSE_BAND_AUDIO,
                             .stationCount = 20,
                             .lowHz = 300.0,
                             .highHz = 2800.0,
                             .minSpacingHz = 60.0,
                             .minWpm = 15.0,
                             .maxWpm = 40.0,
                             .minSnrDb = 0.0,
                             .maxSnrDb = 25.0,
                             .fadingShare = 0.2,
                             .handKeyingShare = 0.3,
                             .answerShare = 0.2,
                             .startSpreadSeconds = 20.0,
                             .minPauseSeconds = 2.0,
                             .maxPauseSeconds = 6.0,
                             .maxDriftHz = 0.0,
                             .zeroDbAmplitude = 0.005,
                             .addNoise = true,
                             .seed = 1};
}

bool morse_band_check_config(const MORSE_BAND_CONFIG& c, std::string* error)
{
    if (!in_range(c.sampleRateHz, 1000.0, 1000000.0))
        return fail(error, "sample rate must be 1000 to 1000000 Hz");
    if (c.output != MORSE_BAND_AUDIO && c.output != MORSE_BAND_IQ)
        return fail(error, "output must be audio or IQ");
    if (c.stationCount > 1000)
        return fail(error, "at most 1000 stations");
    const double nyquist = c.sampleRateHz / 2.0;
    if (!in_range(c.maxDriftHz, 0.0, 50.0))
        return fail(error, "drift must be 0 to 50 Hz");
    const double floor = c.output == MORSE_BAND_IQ ? -nyquist : 0.0;
    if (!(c.lowHz - c.maxDriftHz > floor && c.lowHz <= c.highHz && c.highHz + c.maxDriftHz < nyquist))
        return fail(error, c.output == MORSE_BAND_IQ ? "span must lie inside -rate/2..rate/2 with room for the drift"
                                                     : "span must lie inside 0..rate/2 with room for the drift");
    if (!in_range(c.minSpacingHz, 0.0, c.sampleRateHz))
        return fail(error, "spacing must be 0 up to the sample rate");
    if (c.stationCount > 1 && (c.stationCount - 1) * c.minSpacingHz > c.highHz - c.lowHz)
        return fail(error, "the span is too narrow for that many stations at that spacing");
    if (!in_range(c.minWpm, 5.0, 60.0) || !in_range(c.maxWpm, c.minWpm, 60.0))
        return fail(error, "speeds must be 5 to 60 WPM, lowest first");
    if (!in_range(c.minSnrDb, -30.0, 60.0) || !in_range(c.maxSnrDb, c.minSnrDb, 60.0))
        return fail(error, "SNRs must be -30 to 60 dB, lowest first");
    if (!in_range(c.fadingShare, 0.0, 1.0) || !in_range(c.handKeyingShare, 0.0, 1.0) ||
        !in_range(c.answerShare, 0.0, 1.0))
        return fail(error, "shares of stations must be 0 to 1");
    if (!in_range(c.startSpreadSeconds, 0.0, 3600.0))
        return fail(error, "start spread must be 0 to 3600 s");
    if (!in_range(c.minPauseSeconds, 0.1, 600.0) || !in_range(c.maxPauseSeconds, c.minPauseSeconds, 600.0))
        return fail(error, "pauses must be 0.1 to 600 s, shortest first");
    if (!(c.zeroDbAmplitude > 0.0 && c.zeroDbAmplitude <= 1.0))
        return fail(error, "0 dB amplitude must be above 0 and at most 1");
    return true;
}

MORSE_BAND* morse_band_create(const MORSE_BAND_CONFIG& config)
{
    if (!morse_band_check_config(config, nullptr))
        return nullptr;
    auto* b = new MORSE_BAND{};
    b->config = config;
    std::seed_seq layoutSeeds{config.seed, 20u};
    std::mt19937 layout(layoutSeeds);
    const std::vector<double> frequencies = draw_frequencies(config, &layout);
    std::set<std::string> taken;
    const auto fresh_call = [&] {
        std::string call;
        do
            call = random_call(&layout);
        while (!taken.insert(call).second);
        return call;
    };
    for (size_t i = 0; i < config.stationCount; ++i)
        b->stations.push_back(make_station(config, i, fresh_call(), frequencies[i]));
    for (const BAND_STATION& s : b->stations)
        if (!s.info.answering)
            b->calledCalls.push_back(s.info.call);
    // With nobody calling CQ, the answering stations call stations off the band.
    while (b->calledCalls.size() < 3)
        b->calledCalls.push_back(fresh_call());
    const uint64_t maxDelay = seconds_to_samples(0.002, config.sampleRateHz);
    b->tile.assign(kTile * channels(config), 0.0f);
    b->keying.assign(kTile + maxDelay + 1, 0.0f);
    const uint64_t rise = seconds_to_samples(kRiseMs / 1000.0, config.sampleRateHz);
    for (uint64_t k = 0; k < rise; ++k)
        b->riseTable.push_back(static_cast<float>(0.5 * (1.0 - std::cos(std::numbers::pi * (k + 0.5) / rise))));
    b->tileUsed = kTile;  // nothing held yet: the first render synthesises frame 0 on
    std::seed_seq noiseSeeds{config.seed, 22u};
    b->noiseRng.seed(noiseSeeds);
    b->noiseSigma = noise_sigma(config);
    return b;
}

void morse_band_render(MORSE_BAND* b, float* out, size_t frames)
{
    if (!b || !out)
        return;
    const size_t ch = channels(b->config);
    while (frames > 0) {
        if (b->tileUsed == kTile) {
            b->tileStart = b->tilesMade++ * kTile;
            synthesize_tile(b);
            b->tileUsed = 0;
        }
        const size_t n = std::min<size_t>(frames, kTile - b->tileUsed);
        std::copy_n(b->tile.begin() + b->tileUsed * ch, n * ch, out);
        out += n * ch;
        frames -= n;
        b->tileUsed += n;
        b->position += n;
    }
    for (BAND_STATION& s : b->stations) {
        while (!s.starts.empty() && s.starts.front() < b->position) {
            s.starts.pop_front();
            ++s.started;
        }
    }
}

uint64_t morse_band_position(const MORSE_BAND* b)
{
    return b ? b->position : 0;
}

size_t morse_band_station_count(const MORSE_BAND* b)
{
    return b ? b->stations.size() : 0;
}

bool morse_band_get_station(const MORSE_BAND* b, size_t i, MORSE_BAND_STATION* station)
{
    if (!b || !station || i >= b->stations.size())
        return false;
    *station = b->stations[i].info;
    station->cqCount = b->stations[i].started;
    return true;
}

void morse_band_destroy(MORSE_BAND* b)
{
    delete b;
}
