#include "tci_sim_audio.h"

#include "wav_file.h"

#include <algorithm>
#include <cmath>

namespace {

// Noise is set against this tone level, so weaker stations come out with a
// poorer signal to noise than stronger ones.
constexpr double kReferenceAmplitude = 0.25;
constexpr uint64_t kRampPeriod = 4096;

}  // namespace

float tci_sim_ramp_sample(uint64_t n)
{
    return static_cast<float>(n % kRampPeriod) / static_cast<float>(kRampPeriod);
}

TciSimAudio::TciSimAudio(const TCI_SIM_OPTIONS& options, const WAV_AUDIO* wav)
    : source_(options.source == TCI_SIM_SOURCE::Wav && !wav ? TCI_SIM_SOURCE::Qso : options.source),
      sampleRate_(options.sampleRate), wav_(wav), qso_(options.seed), noise_(options.seed),
      noiseSigma_(morse_audio_noise_sigma(kReferenceAmplitude, options.snrDb, options.sampleRate))
{
    if (source_ == TCI_SIM_SOURCE::Band)
        band_ = tci_sim_make_band(tci_sim_audio_band_config(sampleRate_, options.bandStations, options.seed));
    if (source_ == TCI_SIM_SOURCE::Band && !band_)
        source_ = TCI_SIM_SOURCE::Qso;
}

void TciSimAudio::key(const std::string& text, double wpm)
{
    const double speed = std::isfinite(wpm) ? std::clamp(wpm, 1.0, 100.0) : 20.0;
    keyer_.append(text, toneConfig(speed, kTciSimKeyerPitchHz, kTciSimKeyerAmplitude, 0.0));
}

size_t TciSimAudio::stopKeying()
{
    return keyer_.clear();
}

bool TciSimAudio::keying() const
{
    return !keyer_.idle();
}

uint32_t TciSimAudio::sampleRate() const
{
    return sampleRate_;
}

void TciSimAudio::render(float* out, size_t count)
{
    std::fill(out, out + count, 0.0f);
    const size_t keyed = keyer_.idle() ? 0 : keyer_.mix(out, count);
    renderBackground(out + keyed, count - keyed);
}

void TciSimAudio::renderBackground(float* out, size_t count)
{
    if (count == 0)
        return;
    switch (source_) {
    case TCI_SIM_SOURCE::Wav: renderWav(out, count); break;
    case TCI_SIM_SOURCE::Ramp: renderRamp(out, count); break;
    case TCI_SIM_SOURCE::Qso: renderContacts(out, count); break;
    case TCI_SIM_SOURCE::Band: renderBand(out, count); break;
    }
}

void TciSimAudio::renderContacts(float* out, size_t count)
{
    size_t done = contacts_.mix(out, count);
    while (done < count) {
        const TCI_SIM_TRANSMISSION next = qso_.next();
        const TCI_SIM_STATION& station = tci_sim_stations()[next.station];
        contacts_.append(next.text, toneConfig(station.wpm, station.pitchHz, station.amplitude, station.jitterPercent),
                         next.pauseSeconds);
        const size_t more = contacts_.mix(out + done, count - done);
        if (more == 0)
            break;
        done += more;
    }
    morse_audio_add_noise(out, count, noiseSigma_, &noise_);
}

void TciSimAudio::renderWav(float* out, size_t count)
{
    const size_t channels = wav_->channels;
    const size_t frames = wav_frame_count(*wav_);
    if (channels == 0 || frames == 0)
        return;
    for (size_t i = 0; i < count; ++i) {
        out[i] = wav_->samples[wavFrame_ * channels];
        wavFrame_ = (wavFrame_ + 1) % frames;
    }
}

void TciSimAudio::renderRamp(float* out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = tci_sim_ramp_sample(rampCount_++);
}

// Like the contacts, the band waits while text is keyed: rendering it
// unheard would cost time for nothing.
void TciSimAudio::renderBand(float* out, size_t count)
{
    morse_band_render(band_.get(), out, count);
}

MORSE_AUDIO_CONFIG TciSimAudio::toneConfig(double wpm, double pitchHz, double amplitude, double jitterPercent)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = wpm;
    config.pitchHz = pitchHz;
    config.amplitude = amplitude;
    config.jitterPercent = jitterPercent;
    config.sampleRateHz = sampleRate_;
    config.seed = static_cast<uint32_t>(noise_());
    return config;
}
