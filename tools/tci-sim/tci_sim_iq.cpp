#include "tci_sim_iq.h"

#include "TCIStreamInfo.h"
#include "tci_stream_frame.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// 384000 Hz, which some servers offer, would cost this shared simulator
// more than a test or a demo gains from it.
constexpr uint32_t kOfferedRates[] = {48000, 96000, 192000};

}  // namespace

bool tci_sim_iq_rate_offered(uint32_t sampleRate)
{
    return std::ranges::find(kOfferedRates, sampleRate) != std::end(kOfferedRates);
}

TciSimIq::TciSimIq(uint32_t stations, uint32_t seed)
    : stationCount_(stations), seed_(seed),
      band_(tci_sim_make_band(tci_sim_iq_band_config(sampleRate_, stations, seed))),
      pacer_(sampleRate_, kTciSimIqFrameSamples, false)
{
}

bool TciSimIq::setSampleRate(uint32_t sampleRate, double now)
{
    if (!tci_sim_iq_rate_offered(sampleRate))
        return false;
    if (sampleRate == sampleRate_)
        return true;
    sampleRate_ = sampleRate;
    band_ = tci_sim_make_band(tci_sim_iq_band_config(sampleRate_, stationCount_, seed_));
    const bool wasRunning = pacer_.running();
    const uint64_t sent = pacer_.stop();
    pacer_ = TciSimStream(sampleRate_, kTciSimIqFrameSamples, false);
    if (wasRunning) {
        pacer_.start(now);
        sentBefore_ += sent;  // stop() counts from start(), across the change
    }
    return true;
}

uint32_t TciSimIq::sampleRate() const
{
    return sampleRate_;
}

void TciSimIq::start(double now)
{
    sentBefore_ = 0;
    pacer_.start(now);
}

uint64_t TciSimIq::stop()
{
    return sentBefore_ + pacer_.stop();
}

bool TciSimIq::running() const
{
    return pacer_.running();
}

void TciSimIq::resume(double now)
{
    pacer_.resume(now);
}

uint64_t TciSimIq::takeDue(double now)
{
    return pacer_.takeDue(now);
}

std::vector<uint8_t> TciSimIq::nextFrame()
{
    samples_.assign(2 * static_cast<size_t>(kTciSimIqFrameSamples), 0.0f);
    if (band_)
        morse_band_render(band_.get(), samples_.data(), kTciSimIqFrameSamples);
    const TCI_STREAM_FRAME_HEADER header{0, sampleRate_, TCI_SAMPLE_FLOAT32, 0, 0, 0, kTCIStreamTypeIQ, 2};
    std::vector<uint8_t> frame;
    tci_build_stream_frame(header, samples_.data(), samples_.size(), &frame);
    return frame;
}

std::vector<MORSE_BAND_STATION> TciSimIq::stations() const
{
    std::vector<MORSE_BAND_STATION> stations(morse_band_station_count(band_.get()));
    for (size_t i = 0; i < stations.size(); ++i)
        morse_band_get_station(band_.get(), i, &stations[i]);
    return stations;
}

bool tci_sim_write_iq_truth(const std::string& path, const std::vector<MORSE_BAND_STATION>& stations, uint64_t centreHz,
                            std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    bool ok = std::fprintf(file, "# call frequency_hz wpm snr_db first_s\n") > 0;
    for (const MORSE_BAND_STATION& s : stations)
        ok = ok && std::fprintf(file, "%s %.1f %.1f %.1f %.2f\n", s.call, static_cast<double>(centreHz) + s.frequencyHz,
                                s.wpm, s.snrDb, s.firstCqSeconds) > 0;
    ok = std::fclose(file) == 0 && ok;
    if (!ok && error)
        *error = "cannot write " + path;
    return ok;
}
