#include "qomorse.h"

#include "qomorse_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kMaxTxDataBytes = 256;
constexpr double kTwoPi = 6.283185307179586476925286766559;

// Leaves the caller's old storage with the engine, emptied, so repeated
// takes into the same vector reuse two buffers instead of allocating.
template <typename T>
int take_vector(std::vector<T>& engineData, std::vector<T>& dst)
{
    if (engineData.empty())
        return 0;
    dst.clear();
    dst.swap(engineData);
    return static_cast<int>(dst.size());
}

// A non-finite value would poison the filters and the search for the life of
// the engine; it falls back to the default instead.
float finite_or(float value, float fallback, const char* name)
{
    if (std::isfinite(value))
        return value;
    std::fprintf(stderr, "Invalid decode parameter %s: %g\n", name, static_cast<double>(value));
    return fallback;
}

qomorse_ParametersDecode sanitized(const qomorse_ParametersDecode& p)
{
    const qomorse_ParametersDecode& d = QoMorse::getDefaultParametersDecode();
    qomorse_ParametersDecode s = p;
    s.frequency_hz = finite_or(p.frequency_hz, d.frequency_hz, "frequency_hz");
    s.speed_wpm = finite_or(p.speed_wpm, d.speed_wpm, "speed_wpm");
    s.speedRangeMin_wpm = finite_or(p.speedRangeMin_wpm, d.speedRangeMin_wpm, "speedRangeMin_wpm");
    s.speedRangeMax_wpm = finite_or(p.speedRangeMax_wpm, d.speedRangeMax_wpm, "speedRangeMax_wpm");
    s.frequencyRangeMin_hz = finite_or(p.frequencyRangeMin_hz, d.frequencyRangeMin_hz, "frequencyRangeMin_hz");
    s.frequencyRangeMax_hz = finite_or(p.frequencyRangeMax_hz, d.frequencyRangeMax_hz, "frequencyRangeMax_hz");
    s.markFloor = finite_or(p.markFloor, d.markFloor, "markFloor");
    return s;
}

// Single-pole design coefficient. The cutoff is kept below Nyquist: at or
// beyond it the pole leaves the unit circle and the filter diverges.
double one_pole_alpha(float cutoffHz, float sampleRate)
{
    const double rate = std::trunc(static_cast<double>(sampleRate));
    const double cutoff = std::max(0.0, std::min(std::trunc(static_cast<double>(cutoffHz)), rate / 2.0 - 1.0));
    const float w = static_cast<float>(kTwoPi * cutoff / rate);
    return static_cast<double>(std::cos(w)) / (1.0 + static_cast<double>(std::sin(w)));
}

}  // namespace

int32_t qomorse_sample_size_bytes(int32_t format)
{
    switch (format) {
    case QOMORSE_SAMPLE_FORMAT_UNDEFINED: return 0;
    case QOMORSE_SAMPLE_FORMAT_U8: return 1;
    case QOMORSE_SAMPLE_FORMAT_I8: return 1;
    case QOMORSE_SAMPLE_FORMAT_U16: return 2;
    case QOMORSE_SAMPLE_FORMAT_I16: return 2;
    case QOMORSE_SAMPLE_FORMAT_F32: return 4;
    default: std::fprintf(stderr, "Invalid sample format: %d\n", format); return 0;
    }
}

void OnePoleFilter::process(float* samples, int n)
{
    for (int i = 0; i < n; ++i) {
        const float x = samples[i];
        const float y = b0 * x + b1 * x1 - a1 * y1;
        x1 = x;
        y1 = y;
        samples[i] = y;
    }
}

void OnePoleFilter::designHighPass(float cutoffHz, float sampleRate)
{
    const double alpha = one_pole_alpha(cutoffHz, sampleRate);
    type = kHighPass;
    b0 = static_cast<float>((1.0 + alpha) / 2.0);
    b1 = -b0;
    a1 = static_cast<float>(-alpha);
}

void OnePoleFilter::designLowPass(float cutoffHz, float sampleRate)
{
    const double alpha = one_pole_alpha(cutoffHz, sampleRate);
    type = kLowPass;
    b0 = static_cast<float>((1.0 - alpha) / 2.0);
    b1 = b0;
    a1 = static_cast<float>(-alpha);
}

QoMorse::Impl::Impl(const qomorse_Parameters& p)
    : sampleRateInp(p.sampleRateInp), sampleRateOut(p.sampleRateOut), samplesPerFrame(p.samplesPerFrame),
      sampleSizeBytesInp(qomorse_sample_size_bytes(p.sampleFormatInp)),
      sampleSizeBytesOut(qomorse_sample_size_bytes(p.sampleFormatOut)), sampleFormatInp(p.sampleFormatInp),
      sampleFormatOut(p.sampleFormatOut), decodeParameters(QoMorse::getDefaultParametersDecode()),
      encodeParameters(QoMorse::getDefaultParametersEncode()), frameBuffer(kInputBufferSamples, 0.0f),
      convertedInput(kInputBufferSamples, 0.0f), morseCode(kMorseCode)
{
    // Every read holds up to two frames at 4000 Hz, scaled to the input
    // rate; anything that would not fit the fixed buffers is refused here.
    if (samplesPerFrame < 1 || samplesPerFrame > kInputBufferSamples / 2) {
        std::fprintf(stderr, "Invalid samples per frame: %d\n", samplesPerFrame);
        samplesPerFrame = 128;
    }
    const float maxRate =
        static_cast<float>(kInternalRate) * kInputBufferSamples / (2.0f * static_cast<float>(samplesPerFrame));
    if (!std::isfinite(sampleRateInp) || sampleRateInp <= 0.0f || sampleRateInp > maxRate) {
        std::fprintf(stderr, "Invalid input sample rate: %g\n", static_cast<double>(sampleRateInp));
        inputUsable = false;
    }
    samplesNeeded = samplesPerFrame;
    if (sampleSizeBytesInp > 0)
        rawInput.assign(static_cast<size_t>(kInputBufferSamples) * sampleSizeBytesInp, 0);

    rxData.reserve(1024);
    thresholdF.reserve(1024);  // one value a frame between takes; swapped with the taker's, never grown
    stfft.init(kInternalRate, 512, samplesPerFrame, 3.0f);
    highPass.designHighPass(decodeParameters.frequencyRangeMin_hz, kInternalRate);
    if (inputUsable)
        lowPass.designLowPass(decodeParameters.frequencyRangeMax_hz, sampleRateInp);
    createStages();
    frameEnvelope.resize(static_cast<size_t>(samplesPerFrame));
    frameBaseband.resize(2 * static_cast<size_t>(samplesPerFrame));
    firstOverAudio.assign(static_cast<size_t>(kFirstOverSeconds * kInternalRate), 0.0f);
    envelopeRing.assign(kEnvelopeValues, 0.0f);
    signalF.reserve(kEnvelopeValues);
}

QoMorse::QoMorse(const qomorse_Parameters& parameters) : impl_(std::make_unique<Impl>(parameters))
{
}

QoMorse::~QoMorse() = default;

const qomorse_Parameters& QoMorse::getDefaultParameters()
{
    static const qomorse_Parameters defaults;
    return defaults;
}

const qomorse_ParametersDecode& QoMorse::getDefaultParametersDecode()
{
    static const qomorse_ParametersDecode defaults;
    return defaults;
}

const qomorse_ParametersEncode& QoMorse::getDefaultParametersEncode()
{
    static const qomorse_ParametersEncode defaults;
    return defaults;
}

bool QoMorse::Impl::setParametersDecode(const qomorse_ParametersDecode& parameters)
{
    const qomorse_ParametersDecode p = sanitized(parameters);
    if (p.frequencyRangeMin_hz != decodeParameters.frequencyRangeMin_hz)
        highPass.designHighPass(p.frequencyRangeMin_hz, kInternalRate);
    if (p.frequencyRangeMax_hz != decodeParameters.frequencyRangeMax_hz && inputUsable)
        lowPass.designLowPass(p.frequencyRangeMax_hz, sampleRateInp);
    decodeParameters = p;
    applySpeedRange();
    return true;
}

bool QoMorse::Impl::setParametersEncode(const qomorse_ParametersEncode& parameters)
{
    if (!(parameters.volume >= 0.0f && parameters.volume <= 1.0f)) {
        std::fprintf(stderr, "Invalid volume: %g\n", static_cast<double>(parameters.volume));
        return false;
    }
    encodeParameters = parameters;
    encodeParameters.volume = std::min(parameters.volume, 0.99f);
    return true;
}

bool QoMorse::setParametersDecode(const qomorse_ParametersDecode& parameters)
{
    return impl_->setParametersDecode(parameters);
}

bool QoMorse::setParametersEncode(const qomorse_ParametersEncode& parameters)
{
    return impl_->setParametersEncode(parameters);
}

bool QoMorse::init(int size, const uint8_t* data)
{
    Impl& m = *impl_;
    if (size < 0) {
        std::fprintf(stderr, "Negative data size: %d\n", size);
        return false;
    }
    if (size > kMaxTxDataBytes) {
        std::fprintf(stderr, "Truncating data from %d to %d bytes\n", size, kMaxTxDataBytes);
        size = kMaxTxDataBytes;
    }
    if (data == nullptr)
        size = 0;
    m.txPending = false;
    m.txData.assign(data, data + size);
    m.txDataLength = size;
    m.txPending = size > 0;
    return true;
}

bool QoMorse::decode(const qomorse_CBWaveformInp& callback)
{
    return impl_->decode(callback);
}

bool QoMorse::lastDecodeResult() const
{
    return impl_->lastDecodeResult;
}
bool QoMorse::hasTxData() const
{
    return impl_->txPending;
}
int32_t QoMorse::getSamplesPerFrame() const
{
    return impl_->samplesPerFrame;
}
int32_t QoMorse::getSampleSizeBytesInp() const
{
    return impl_->sampleSizeBytesInp;
}
int32_t QoMorse::getSampleSizeBytesOut() const
{
    return impl_->sampleSizeBytesOut;
}
float QoMorse::getSampleRateInp() const
{
    return impl_->sampleRateInp;
}
float QoMorse::getSampleRateOut() const
{
    return impl_->sampleRateOut;
}
int32_t QoMorse::getSampleFormatInp() const
{
    return impl_->sampleFormatInp;
}
int32_t QoMorse::getSampleFormatOut() const
{
    return impl_->sampleFormatOut;
}
const std::vector<uint8_t>& QoMorse::getRxData() const
{
    return impl_->rxData;
}
const QoMorse::Statistics& QoMorse::getStatistics() const
{
    return impl_->statistics;
}

int QoMorse::takeRxData(std::vector<uint8_t>& dst)
{
    return take_vector(impl_->rxData, dst);
}
int QoMorse::takeSignalF(std::vector<float>& dst)
{
    return take_vector(impl_->signalF, dst);
}
int QoMorse::takeThresholdF(std::vector<float>& dst)
{
    return take_vector(impl_->thresholdF, dst);
}

int QoMorse::takeTxWaveformI16(std::vector<int16_t>& dst)
{
    return take_vector(impl_->txWaveformI16, dst);
}

std::vector<std::vector<float>> QoMorse::getSpectrogram() const
{
    return impl_->stfft.spectrogram();
}

void QoMorse::reset()
{
    impl_->reset();
}

// Field by field what the constructor sets, into the storage in place.
void QoMorse::Impl::reset()
{
    samplesNeeded = samplesPerFrame;
    publishCount = 0;
    txDataLength = 0;
    txPending = false;
    lastDecodeResult = false;
    decodeParameters = QoMorse::getDefaultParametersDecode();
    encodeParameters = QoMorse::getDefaultParametersEncode();
    statistics = QoMorse::Statistics{};
    std::fill(frameBuffer.begin(), frameBuffer.end(), 0.0f);
    std::fill(convertedInput.begin(), convertedInput.end(), 0.0f);
    std::fill(rawInput.begin(), rawInput.end(), uint8_t{0});
    txData.clear();
    txWaveformI16.clear();
    rxData.clear();
    signalF.clear();
    thresholdF.clear();
    stfft.restart();
    highPass = OnePoleFilter{};
    highPass.designHighPass(decodeParameters.frequencyRangeMin_hz, kInternalRate);
    lowPass = OnePoleFilter{};
    if (inputUsable)
        lowPass.designLowPass(decodeParameters.frequencyRangeMax_hz, sampleRateInp);
    resampler.reset();
    if (morseCodeChanged)
        morseCode = kMorseCode;
    morseCodeChanged = false;
    softOriginMs = 0.0;
    tunedPitch = 0.0f;
    stagesDotMs = 0.0f;
    stagesWindowMs = 0.0f;
    windowElements = 0;
    createStages();
    std::fill(frameEnvelope.begin(), frameEnvelope.end(), 0.0f);
    std::fill(frameBaseband.begin(), frameBaseband.end(), 0.0f);
    std::fill(firstOverAudio.begin(), firstOverAudio.end(), 0.0f);
    firstOverStart = 0;
    firstOverCount = 0;
    firstOverRead = false;
    std::fill(envelopeRing.begin(), envelopeRing.end(), 0.0f);
    envelopeNext = 0;
}

bool QoMorse::setCharacter(const char* code, char c)
{
    return impl_->setCharacter(code, c);
}

bool QoMorse::Impl::setCharacter(const char* code, char c)
{
    if (code == nullptr)
        return false;
    const auto previous =
        std::find_if(morseCode.begin(), morseCode.end(), [c](const auto& entry) { return entry.second == c; });
    if (previous != morseCode.end())
        morseCode.erase(previous);
    morseCode[code] = c;
    morseCodeChanged = true;
    return true;
}
