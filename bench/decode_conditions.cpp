// Character error rates of the receiver as zarvo-decode runs it (its
// default options, 48 kHz audio in 2048-sample blocks, the closing
// silence) on signals that look like a real HF band, and on white noise
// over a grid of speeds and SNRs. Several texts and seeds per cell; each
// cell gives the full error rate (everything printed counts, strays
// included) and the rate inside the transmission (text printed before the
// first or after the last keyed character is not counted). Prints Markdown.
//
// A third table counts what a station off the pitch prints through the
// default squelch (SQL 0.50): the text of a neighbour is not the text of the
// station tuned, so every character counts as a stray one.
//
// usage: decode_conditions [conditions|awgn|neighbours|all] [SEEDS] [ONLY]
// (default all 2; ONLY keeps the conditions whose name contains it and, in
// the white-noise grid, the row of that speed, or the cell WPM@SNR)
#include "decode_session.h"
#include "morse_audio_generator.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kRate = 48000;
constexpr double kPitchHz = 700.0;

const char* const kTexts[] = {
    "CQ CQ CQ DE ZR1ABC ZR1ABC PSE K",
    "ZR2XY DE ZR1ABC GM OM UR RST 579 579 NAME IS PAUL QTH NEAR BERN HW? BK",
    "R TNX FER QSO 73 ES GL ZR2XY DE ZR1ABC TU SK",
};

struct CELL_SIGNAL {
    MORSE_AUDIO_CONFIG config;
    double secondWpm = 0.0;   // nonzero: the second half of the text is sent at this speed
    bool fixedPitch = false;  // zarvo-decode --pitch 700 instead of --pitch auto
};

using Setup = std::function<void(CELL_SIGNAL*)>;

struct CONDITION {
    const char* name;
    const char* target10;  // full error rate wanted at +10 dB
    const char* target0;   // and at 0 dB
    Setup setup;
};

struct RATES {
    double full = 0.0;
    double inside = 0.0;
};

// The text split at a word boundary near its middle.
void split_text(const std::string& text, std::string* first, std::string* second)
{
    size_t cut = text.find(' ', text.size() / 2);
    if (cut == std::string::npos)
        cut = text.size();
    *first = text.substr(0, cut);
    *second = cut < text.size() ? text.substr(cut + 1) : std::string();
}

std::vector<float> generate(const CELL_SIGNAL& s, const std::string& text)
{
    std::vector<float> samples;
    std::string error;
    if (s.secondWpm <= 0.0) {
        if (!morse_audio_generate(s.config, text, &samples, nullptr, &error))
            std::fprintf(stderr, "decode_conditions: %s\n", error.c_str());
        return samples;
    }
    std::string first;
    std::string second;
    split_text(text, &first, &second);
    MORSE_AUDIO_CONFIG a = s.config;
    a.tailSeconds = 0.0;
    MORSE_AUDIO_CONFIG b = s.config;
    b.wpm = s.secondWpm;
    b.leadSeconds = 7.0 * 1.2 / s.config.wpm;  // one word gap at the first speed
    b.seed = s.config.seed + 1000;
    std::vector<float> tail;
    morse_audio_generate(a, first, &samples, nullptr, &error);
    morse_audio_generate(b, second, &tail, nullptr, &error);
    samples.insert(samples.end(), tail.begin(), tail.end());
    return samples;
}

std::string decode(const CELL_SIGNAL& s, const std::vector<float>& samples)
{
    DECODE_OPTIONS options = decode_default_options();
    if (s.fixedPitch) {
        options.config.pitchHz = kPitchHz;
        options.autoTune = false;
    }
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr)
        return {};
    DECODE_SESSION session;
    std::string error;
    if (decode_session_open(&session, options, out, &error)) {
        for (size_t at = 0; at < samples.size(); at += options.blockSamples) {
            const size_t n = std::min(options.blockSamples, samples.size() - at);
            decode_session_feed(&session, samples.data() + at, n, kRate);
        }
        decode_session_finish(&session, kRate, options.blockSamples);
        decode_session_close(&session);
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

RATES rates_for(const std::string& sent, const std::string& decoded)
{
    const std::string reference = text_metrics::collapse_whitespace(sent);
    const std::string hypothesis = text_metrics::collapse_whitespace(decoded);
    const double n = static_cast<double>(reference.size());
    RATES r;
    r.full = static_cast<double>(text_metrics::levenshtein(reference, hypothesis)) / n;
    r.inside = static_cast<double>(text_metrics::levenshtein_best_substring(reference, hypothesis)) / n;
    return r;
}

// Mean rates over every text and seed of one cell, decoded two at a time.
RATES run_cell(const Setup& setup, double wpm, double snrDb, int seeds, bool verbose)
{
    struct JOB {
        CELL_SIGNAL signal;
        std::string text;
        RATES rates;
        std::string decoded;
    };
    std::vector<JOB> jobs;
    for (int seed = 1; seed <= seeds; ++seed) {
        for (const char* text : kTexts) {
            JOB job;
            job.signal.config = rx_run::noisy_config(wpm, kPitchHz, kRate, snrDb, static_cast<uint32_t>(seed), 2.0);
            if (setup)
                setup(&job.signal);
            job.text = text;
            jobs.push_back(job);
        }
    }
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            jobs[i].decoded = decode(jobs[i].signal, generate(jobs[i].signal, jobs[i].text));
            jobs[i].rates = rates_for(jobs[i].text, jobs[i].decoded);
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    RATES mean;
    for (const JOB& job : jobs) {
        mean.full += job.rates.full / static_cast<double>(jobs.size());
        mean.inside += job.rates.inside / static_cast<double>(jobs.size());
        if (verbose)
            std::fprintf(stderr, "%.0f WPM %+.0f dB [%s] -> [%s]\n", job.signal.config.wpm, snrDb, job.text.c_str(),
                         text_metrics::collapse_whitespace(job.decoded).c_str());
    }
    return mean;
}

const CONDITION kConditions[] = {
    {"white noise, 20 WPM", "1%", "1%", nullptr},
    {"CCIR good (0.5 ms, 0.1 Hz)", "", "", [](CELL_SIGNAL* s) { s->config.channel = MORSE_CHANNEL_GOOD; }},
    {"CCIR moderate (1 ms, 0.5 Hz)", "5%", "15%", [](CELL_SIGNAL* s) { s->config.channel = MORSE_CHANNEL_MODERATE; }},
    {"CCIR poor (2 ms, 1 Hz)", "5%", "15%", [](CELL_SIGNAL* s) { s->config.channel = MORSE_CHANNEL_POOR; }},
    {"CCIR flutter (0.5 ms, 10 Hz)", "25%", "", [](CELL_SIGNAL* s) { s->config.channel = MORSE_CHANNEL_FLUTTER; }},
    {"QSB 20 dB, 6 s", "3%", "10%",
     [](CELL_SIGNAL* s) {
         s->config.qsbDepthDb = 20.0;
         s->config.qsbPeriodSeconds = 6.0;
     }},
    {"hand keying 18 WPM, 20% jitter, dah 3.5", "5%", "10%",
     [](CELL_SIGNAL* s) {
         s->config.wpm = 18.0;
         s->config.jitterPercent = 20.0;
         s->config.dahRatio = 3.5;
     }},
    {"Farnsworth 18/10 WPM", "3%", "",
     [](CELL_SIGNAL* s) {
         s->config.wpm = 18.0;
         s->config.farnsworthWpm = 10.0;
     }},
    {"15 then 35 WPM", "2%", "",
     [](CELL_SIGNAL* s) {
         s->config.wpm = 15.0;
         s->secondWpm = 35.0;
     }},
    {"drift 40 Hz", "2%", "", [](CELL_SIGNAL* s) { s->config.driftHz = 40.0; }},
    {"static crashes, 2 per second", "2%", "", [](CELL_SIGNAL* s) { s->config.qrnRate = 2.0; }},
    {"station 150 Hz away at -3 dB, --pitch 700", "2%", "",
     [](CELL_SIGNAL* s) {
         s->config.qrmEnabled = true;
         s->config.qrmOffsetHz = 150.0;
         s->config.qrmLevelDb = -3.0;
         s->fixedPitch = true;
     }},
};

void print_conditions(int seeds, bool verbose, const std::string& only)
{
    std::printf(
        "Band conditions, 20 WPM unless named, %d texts x %d seeds per cell, full / inside the transmission:\n\n",
        static_cast<int>(std::size(kTexts)), seeds);
    std::printf("| condition | +10 dB full | +10 dB inside | target | 0 dB full | 0 dB inside | target |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const CONDITION& c : kConditions) {
        if (std::strstr(c.name, only.c_str()) == nullptr)
            continue;
        const RATES high = run_cell(c.setup, 20.0, 10.0, seeds, verbose);
        const RATES low = run_cell(c.setup, 20.0, 0.0, seeds, verbose);
        std::printf("| %s | %.1f%% | %.1f%% | %s | %.1f%% | %.1f%% | %s |\n", c.name, 100.0 * high.full,
                    100.0 * high.inside, c.target10, 100.0 * low.full, 100.0 * low.inside, c.target0);
        std::fflush(stdout);
    }
}

void print_awgn(int seeds, bool verbose, const std::string& only)
{
    double onlyWpm = 0.0;
    double onlySnr = 0.0;
    const int picked = only.empty() ? 0 : std::sscanf(only.c_str(), "%lf@%lf", &onlyWpm, &onlySnr);
    const double speeds[] = {12, 20, 30, 40};
    const double snrs[] = {10, 0, -3, -6, -9};
    std::printf("\nWhite noise, %d texts x %d seeds per cell, full / inside the transmission:\n\n",
                static_cast<int>(std::size(kTexts)), seeds);
    std::printf("| WPM |");
    for (double snr : snrs)
        std::printf(" %+.0f dB |", snr);
    std::printf("\n|---|");
    for (size_t i = 0; i < std::size(snrs); ++i)
        std::printf("---|");
    std::printf("\n");
    for (double wpm : speeds) {
        if (picked >= 1 && wpm != onlyWpm)
            continue;
        std::printf("| %.0f |", wpm);
        for (double snr : snrs) {
            if (picked == 2 && snr != onlySnr) {
                std::printf(" |");
                continue;
            }
            const RATES r = run_cell(nullptr, wpm, snr, seeds, verbose);
            std::printf(" %.1f / %.1f%% |", 100.0 * r.full, 100.0 * r.inside);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
}

// Characters (not blanks) printed per minute of audio.
double printed_per_minute(const std::string& decoded, size_t samples)
{
    const auto printed = std::count_if(decoded.begin(), decoded.end(), [](char c) { return c != ' ' && c != '\n'; });
    return static_cast<double>(printed) * 60.0 * kRate / static_cast<double>(samples);
}

void print_neighbours(int seeds)
{
    const double offsets[] = {40, 80, 120, 190};
    const double snrs[] = {20, 10, 0};
    std::printf("\nA station off the pitch, --pitch 700, SQL 0.50, 20 WPM, %d texts x %d seeds per cell: characters "
                "printed per minute\n\n",
                static_cast<int>(std::size(kTexts)), seeds);
    std::printf("| offset |");
    for (double snr : snrs)
        std::printf(" %+.0f dB |", snr);
    std::printf("\n|---|---|---|---|\n");
    for (double offset : offsets) {
        std::printf("| %.0f Hz |", offset);
        for (double snr : snrs) {
            double perMinute = 0.0;
            for (int seed = 1; seed <= seeds; ++seed) {
                for (const char* text : kTexts) {
                    CELL_SIGNAL s;
                    s.config =
                        rx_run::noisy_config(20.0, kPitchHz + offset, kRate, snr, static_cast<uint32_t>(seed), 2.0);
                    s.fixedPitch = true;
                    const std::vector<float> samples = generate(s, text);
                    perMinute += printed_per_minute(decode(s, samples), samples.size()) /
                                 static_cast<double>(seeds * std::size(kTexts));
                }
            }
            std::printf(" %.1f |", perMinute);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string which = argc > 1 ? argv[1] : "all";
    const int seeds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    const std::string only = argc > 3 ? argv[3] : "";
    const bool verbose = std::getenv("DECODE_CONDITIONS_VERBOSE") != nullptr;
    if (which != "all" && which != "conditions" && which != "awgn" && which != "neighbours") {
        std::fprintf(stderr, "usage: decode_conditions [conditions|awgn|neighbours|all] [SEEDS] [ONLY]\n");
        return 2;
    }
    if (which == "all" || which == "conditions")
        print_conditions(seeds, verbose, only);
    if (which == "all" || which == "awgn")
        print_awgn(seeds, verbose, which == "awgn" ? only : std::string());
    if (which == "all" || which == "neighbours")
        print_neighbours(seeds);
    return 0;
}
