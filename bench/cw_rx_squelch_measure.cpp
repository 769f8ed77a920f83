// Measures the receiver's text squelch against the same signals with the
// squelch off: characters printed from pure noise, garbage after each
// transmission of a recording with noise gaps, and the character error
// rate and text delay inside transmissions. Prints Markdown tables.
//
// usage: cw_rx_squelch_measure [LEVEL]   (default 0.5)
#include "CWRx.h"
#include "morse_audio_generator.h"
#include "rx_run.h"
#include "text_metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 48000;
constexpr size_t kBlock = 2048;
constexpr double kPitchHz = 600.0;
constexpr int kSeeds = 3;
const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";

// Decoded text with the audio time (s) at which each byte came out.
struct TIMED_TEXT {
    std::string text;
    std::vector<double> at;
};

TIMED_TEXT decode(const std::vector<float>& samples, double squelch)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.sampleRate = kRate;
    config.pitchHz = kPitchHz;
    config.releaseThreshold = config.threshold * 0.5f;
    CW_RX* rx = cw_rx_create(&config);
    cw_rx_set_squelch(rx, squelch);
    TIMED_TEXT out;
    char buffer[128];
    for (size_t at = 0; at < samples.size(); at += kBlock) {
        const size_t n = std::min(kBlock, samples.size() - at);
        cw_rx_configure(rx, &config);
        const size_t got = cw_rx_process(rx, samples.data() + at, n, buffer, sizeof(buffer));
        out.text.append(buffer, got);
        out.at.insert(out.at.end(), got, static_cast<double>(at + n) / kRate);
    }
    cw_rx_destroy(rx);
    return out;
}

MORSE_AUDIO_CONFIG signal_config(double wpm, double snrDb, uint32_t seed)
{
    return rx_run::noisy_config(wpm, kPitchHz, kRate, snrDb, seed, 1.0);
}

size_t printed_characters(const std::string& text, size_t from = 0)
{
    size_t n = 0;
    for (size_t i = from; i < text.size(); ++i)
        n += text[i] != ' ' && text[i] != '\n' && text[i] != '\r' ? 1 : 0;
    return n;
}

// Characters per minute from pure noise of the given standard deviation.
double noise_rate(double sigma, double squelch)
{
    std::vector<float> samples(static_cast<size_t>(300.0 * kRate), 0.0f);
    std::mt19937 rng(7);
    morse_audio_add_noise(samples.data(), samples.size(), sigma, &rng);
    return static_cast<double>(printed_characters(decode(samples, squelch).text)) / 5.0;
}

// Where the best free-prefix alignment of `reference` ends in `hypothesis`:
// everything after it is text the decoder added behind the transmission.
size_t alignment_end(const std::string& reference, const std::string& hypothesis)
{
    const std::vector<size_t> row = text_metrics::levenshtein_row(reference, hypothesis, true);
    return static_cast<size_t>(std::min_element(row.begin(), row.end()) - row.begin());
}

struct GAP_RESULT {
    double garbagePerTransmission;
    size_t whole;  // transmissions decoded without an error
};

// Six transmissions with 8 s of noise between them; each one's share of the
// text is what came out from its start to the next one's start.
GAP_RESULT gaps(double wpm, double snrDb, double squelch)
{
    const std::vector<std::string> texts = {"CQ CQ DE ZR1ABC K",          "ZR2XYZ DE ZR1ABC GM UR 599 BK",
                                            "R TNX FER CALL NAME IS ANN", "QTH CAPE TOWN HW CPY",
                                            "73 ES GL DE ZR1ABC SK",      "CQ TEST ZR1ABC TEST"};
    MORSE_AUDIO_CONFIG c = signal_config(wpm, snrDb, 11);
    std::vector<float> samples(static_cast<size_t>(2.0 * kRate), 0.0f);
    std::vector<double> starts;
    for (const std::string& t : texts) {
        std::vector<MORSE_KEYING> timeline;
        morse_audio_timeline(c, t, &timeline, nullptr, nullptr);
        starts.push_back(static_cast<double>(samples.size()) / kRate);
        morse_audio_mix_tone(c, timeline, samples.size(), &samples, nullptr);
        samples.resize(samples.size() + static_cast<size_t>(8.0 * kRate), 0.0f);
    }
    std::mt19937 rng(c.seed);
    morse_audio_add_noise(samples.data(), samples.size(), morse_audio_noise_sigma(c.amplitude, snrDb, kRate), &rng);
    starts.push_back(1e9);
    const TIMED_TEXT out = decode(samples, squelch);
    size_t garbage = 0;
    size_t whole = 0;
    for (size_t k = 0; k < texts.size(); ++k) {
        std::string chunk;
        for (size_t i = 0; i < out.text.size(); ++i)
            if (out.at[i] >= starts[k] && out.at[i] < starts[k + 1])
                chunk += out.text[i];
        const std::string collapsed = text_metrics::collapse_whitespace(chunk);
        garbage += printed_characters(collapsed, alignment_end(texts[k], collapsed));
        whole += text_metrics::levenshtein(texts[k], collapsed, true) == 0 ? 1 : 0;
    }
    return {static_cast<double>(garbage) / texts.size(), whole};
}

// Mean and largest delay of the squelched text against the open one, over
// the characters both printed (longest common subsequence).
void delays(const TIMED_TEXT& open, const TIMED_TEXT& squelched, double* sum, size_t* count, double* worst)
{
    const std::string& a = open.text;
    const std::string& b = squelched.text;
    std::vector<std::vector<uint16_t>> l(a.size() + 1, std::vector<uint16_t>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;)
        for (size_t j = b.size(); j-- > 0;)
            l[i][j] = a[i] == b[j] ? l[i + 1][j + 1] + 1 : std::max(l[i + 1][j], l[i][j + 1]);
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        if (a[i] == b[j]) {
            const double d = squelched.at[j] - open.at[i];
            *sum += d;
            *worst = std::max(*worst, d);
            ++*count;
            ++i;
            ++j;
        } else if (l[i + 1][j] >= l[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
}

void accuracy_table(double squelch)
{
    const double speeds[] = {12, 20, 30, 40};
    const double snrs[] = {10, 0, -3, -6};
    std::printf("\nInside transmissions: CER after the first word, off -> on (mean of %d seeds), and the mean / "
                "largest delay of the text that both print\n\n| WPM |",
                kSeeds);
    for (double snr : snrs)
        std::printf(" %+.0f dB |", snr);
    std::printf("\n|---|---|---|---|---|\n");
    for (double wpm : speeds) {
        std::printf("| %.0f |", wpm);
        for (double snr : snrs) {
            double cerOff = 0.0, cerOn = 0.0, sum = 0.0, worst = 0.0;
            size_t count = 0;
            for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
                std::vector<float> samples;
                morse_audio_generate(signal_config(wpm, snr, seed), kText, &samples, nullptr, nullptr);
                samples.resize(samples.size() + 3 * kRate, 0.0f);  // zarvo-decode's closing silence
                const TIMED_TEXT off = decode(samples, 0.0);
                const TIMED_TEXT on = decode(samples, squelch);
                cerOff += text_metrics::cer_after_first_word(kText, off.text);
                cerOn += text_metrics::cer_after_first_word(kText, on.text);
                delays(off, on, &sum, &count, &worst);
            }
            std::printf(" %.1f%% -> %.1f%%, %.2f / %.2f s |", 100.0 * cerOff / kSeeds, 100.0 * cerOn / kSeeds,
                        count > 0 ? sum / count : 0.0, worst);
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const double level = argc > 1 ? std::atof(argv[1]) : 0.5;
    std::printf("Text squelch %.2f against off; %u Hz, blocks of %zu, tone at %.0f Hz, SNR in 2500 Hz.\n\n", level,
                kRate, kBlock, kPitchHz);
    std::printf("Pure noise, 5 minutes: characters per minute\n\n| noise RMS | off | on |\n|---|---|---|\n");
    for (double sigma : {0.001, 0.01, 0.1, 0.3})
        std::printf("| %.0f dBFS | %.1f | %.1f |\n", 20.0 * std::log10(sigma), noise_rate(sigma, 0.0),
                    noise_rate(sigma, level));

    std::printf("\nSix transmissions with 8 s noise gaps: garbage characters per transmission (transmissions "
                "decoded whole)\n\n| WPM | SNR | off | on |\n|---|---|---|---|\n");
    for (double wpm : {12.0, 20.0, 30.0, 40.0}) {
        for (double snr : {10.0, 0.0, -3.0}) {
            const GAP_RESULT off = gaps(wpm, snr, 0.0);
            const GAP_RESULT on = gaps(wpm, snr, level);
            std::printf("| %.0f | %+.0f dB | %.2f (%zu/6) | %.2f (%zu/6) |\n", wpm, snr, off.garbagePerTransmission,
                        off.whole, on.garbagePerTransmission, on.whole);
        }
    }
    accuracy_table(level);
    return 0;
}
