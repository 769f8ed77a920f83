// How well the skimmer spots a generated band: stations calling CQ (or
// answering) with their own calls, speeds, strengths, fists and fading, in
// white noise. For every band it reports the share of the calls spotted
// within 30 s of the station's first transmission (and, apart, of the
// stations calling CQ within 30 s of their first CQ), the busted spots (calls
// nobody sent) among all spots, how far spots lie from their station, the
// skimmer's speed against real time on this core (rendering not counted) and
// the receivers it built. Audio bands and a 96 kHz IQ band; several seeds per
// scenario; prints Markdown.
//
// usage: skimmer_bands [SEEDS [SECONDS [SCENARIO]]]   (default 3 90 all)
#include "cw_skimmer.h"
#include "morse_band_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr double kSpotWithinSeconds = 30.0;
constexpr double kNearHz = 25.0;
constexpr size_t kBlockSeconds50 = 50;  // blocks of 20 ms, as a TCI stream delivers them
constexpr double kIqCentreHz = 7030000.0;

struct SCENARIO {
    const char* name;
    MORSE_BAND_CONFIG band;
};

struct SCORE {
    size_t stations = 0;
    size_t spottedInTime = 0;
    size_t callers = 0;  // stations calling CQ, judged from their first CQ
    size_t callersInTime = 0;
    size_t spots = 0;
    size_t busted = 0;
    size_t farOff = 0;
    std::vector<double> delays;
    double cpuSeconds = 0.0;
    double audioSeconds = 0.0;
    int32_t receivers = 0;
    std::vector<std::string> missed;
    std::vector<std::string> bustedCalls;
};

double cpu_now()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

void run_band(const MORSE_BAND_CONFIG& config, double seconds, SCORE* score)
{
    MORSE_BAND* band = morse_band_create(config);
    if (band == nullptr) {
        std::fprintf(stderr, "skimmer_bands: bad band configuration\n");
        std::exit(2);
    }
    const bool iq = config.output == MORSE_BAND_IQ;
    CW_SKIMMER_CONFIG sc = cw_skimmer_default_config();
    sc.sampleRate = config.sampleRateHz;
    sc.iq = iq ? 1 : 0;
    if (iq) {
        sc.lowHz = config.lowHz - 100.0;
        sc.highHz = config.highHz + 100.0;
        sc.capacity = 96;
        sc.dialHz = kIqCentreHz;  // spots are radio frequencies, never below zero
    }
    CW_SKIMMER* skimmer = cw_skimmer_create(&sc);
    const size_t block = config.sampleRateHz / kBlockSeconds50;
    std::vector<float> samples(iq ? 2 * block : block);
    struct HEARD {
        std::string call;
        double frequencyHz;
        double at;
    };
    std::vector<HEARD> spots;
    const size_t blocks = static_cast<size_t>(seconds * kBlockSeconds50);
    for (size_t b = 0; b < blocks; ++b) {
        morse_band_render(band, samples.data(), block);
        const double start = cpu_now();
        if (iq)
            cw_skimmer_process_iq(skimmer, samples.data(), block);
        else
            cw_skimmer_process(skimmer, samples.data(), block);
        score->cpuSeconds += cpu_now() - start;
        CW_SPOT_EVENT events[32];
        size_t n;
        while ((n = cw_skimmer_take_events(skimmer, events, 32)) > 0) {
            for (size_t e = 0; e < n; ++e) {
                if (events[e].kind == CW_SPOT_NEW)
                    spots.push_back(
                        {events[e].spot.call, events[e].spot.frequencyHz - sc.dialHz, double(b + 1) / kBlockSeconds50});
            }
        }
    }
    score->audioSeconds += seconds;
    CW_SKIMMER_STATUS status{};
    cw_skimmer_get_status(skimmer, &status);
    score->receivers = std::max(score->receivers, status.receiversBuilt);

    const size_t count = morse_band_station_count(band);
    std::vector<MORSE_BAND_STATION> stations(count);
    for (size_t i = 0; i < count; ++i)
        morse_band_get_station(band, i, &stations[i]);
    for (const MORSE_BAND_STATION& st : stations) {
        if (st.cqCount == 0 || st.firstCqSeconds + kSpotWithinSeconds > seconds)
            continue;  // not on the air long enough in this run to be judged
        ++score->stations;
        score->callers += st.answering ? 0 : 1;
        double first = -1.0;
        for (const HEARD& h : spots) {
            if (h.call == st.call && (first < 0.0 || h.at < first))
                first = h.at;
        }
        if (first >= 0.0 && first <= st.firstCqSeconds + kSpotWithinSeconds) {
            ++score->spottedInTime;
            score->callersInTime += st.answering ? 0 : 1;
            score->delays.push_back(first - st.firstCqSeconds);
        } else {
            char line[96];
            std::snprintf(line, sizeof line, "%s@%.0f/%.0fdB/%.0fwpm%s%s%s", st.call, st.frequencyHz, st.snrDb, st.wpm,
                          st.handKeyed ? "/hand" : "", st.fading != MORSE_BAND_FADING_NONE ? "/fading" : "",
                          st.answering ? "/answering" : "");
            score->missed.push_back(line);
        }
    }
    for (const HEARD& h : spots) {
        ++score->spots;
        const MORSE_BAND_STATION* sent = nullptr;
        for (const MORSE_BAND_STATION& st : stations) {
            if (h.call == st.call)
                sent = &st;
        }
        if (sent == nullptr) {
            ++score->busted;
            score->bustedCalls.push_back(h.call);
        } else if (std::abs(sent->frequencyHz - h.frequencyHz) > kNearHz) {
            ++score->farOff;
        }
    }
    cw_skimmer_destroy(skimmer);
    morse_band_destroy(band);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<SCENARIO> scenarios()
{
    std::vector<SCENARIO> list;
    MORSE_BAND_CONFIG audio = morse_band_default_config();
    audio.sampleRateHz = 48000;
    list.push_back({"20 stations, 3 kHz audio at 48 kHz, 0-25 dB", audio});
    MORSE_BAND_CONFIG clean = audio;
    clean.fadingShare = 0.0;
    clean.handKeyingShare = 0.0;
    list.push_back({"20 stations, 3 kHz audio, no fading, keyers", clean});
    MORSE_BAND_CONFIG wide = audio;
    wide.sampleRateHz = 96000;
    wide.output = MORSE_BAND_IQ;
    wide.stationCount = 60;
    wide.lowHz = -45000.0;
    wide.highHz = 45000.0;
    list.push_back({"60 stations, 96 kHz IQ, 0-25 dB", wide});
    return list;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seeds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const double seconds = argc > 2 ? std::max(60.0, std::atof(argv[2])) : 90.0;
    const char* only = argc > 3 ? argv[3] : "";
    // Stations calling CQ are judged from their first CQ; answering stations,
    // which may send their call once in 30 s, from their first call.
    std::printf("| band | seeds | calls judged | spotted within 30 s | CQ callers within 30 s of the first CQ | "
                "median delay | spots | busted | off > 25 Hz | real time | receivers |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const SCENARIO& sc : scenarios()) {
        if (*only && std::strstr(sc.name, only) == nullptr)
            continue;
        SCORE score;
        for (int seed = 1; seed <= seeds; ++seed) {
            MORSE_BAND_CONFIG band = sc.band;
            band.seed = static_cast<uint32_t>(seed);
            run_band(band, seconds, &score);
        }
        const double share = score.stations ? 100.0 * double(score.spottedInTime) / double(score.stations) : 0.0;
        const double bustedShare = score.spots ? 100.0 * double(score.busted) / double(score.spots) : 0.0;
        const double callerShare = score.callers ? 100.0 * double(score.callersInTime) / double(score.callers) : 0.0;
        std::printf("| %s | %d | %zu | %.1f%% | %.1f%% of %zu | %.1f s | %zu | %zu (%.1f%%) | %zu | %.0fx | %d |\n",
                    sc.name, seeds, score.stations, share, callerShare, score.callers, median(score.delays),
                    score.spots, score.busted, bustedShare, score.farOff,
                    score.cpuSeconds > 0.0 ? score.audioSeconds / score.cpuSeconds : 0.0, score.receivers);
        for (const std::string& m : score.missed)
            std::fprintf(stderr, "  missed %s\n", m.c_str());
        for (const std::string& b : score.bustedCalls)
            std::fprintf(stderr, "  busted %s\n", b.c_str());
    }
    return 0;
}
