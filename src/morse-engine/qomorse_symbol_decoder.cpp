// Symbol decoder: per frame, find the pitch, bring the tone to an envelope,
// slice it into key-down and key-up runs against a threshold that follows
// the signal, and turn the runs into text with timing learned from the
// sender.
#include "qomorse_impl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

constexpr float kPitchChangeHz = 50.0f;
constexpr float kBinHz = 4000.0f / 512.0f;
// A given pitch is followed this far (drift, a sender off frequency); a
// searched one only within its bin neighbourhood.
constexpr float kFixedPullHz = 50.0f;
constexpr float kSearchedPullHz = 20.0f;
// Coherent averaging over part of a dot: long enough to lift a weak tone
// out of the noise, short enough to keep the shortest gaps open.
constexpr float kWindowDots = 0.8f;
// A stronger signal is averaged over less, down to kShortestWindowDots:
// just long enough that its marks stand kWantedPeak noise floors high (the
// noise envelope falls with the square root of the window). A short window
// keeps the gaps of a sender who speeds up open, so that the change is
// seen. The window is judged again once kWindowMarks marks were read with it.
constexpr float kShortestWindowDots = 0.45f;
constexpr float kWantedPeak = 14.0f;
constexpr int32_t kWindowMarks = 6;
constexpr float kWindowChange = 0.25f;
constexpr float kMinWindowMs = 8.0f;
constexpr float kMaxWindowMs = 60.0f;
// The first over is read again from this long before its first mark, up
// to kFirstOverReadings times.
constexpr float kFirstOverLeadMs = 500.0f;
constexpr int kFirstOverReadings = 3;
// Flutter breaks the envelope into short pieces: faded dots come out short
// and so do the gaps between them; the timing merges less of them away,
// and the key stays down through shallower dips.
constexpr float kFlutterGlitchDots = 0.35f;
constexpr float kFlutterThreshold = 0.3f;
// Characters of marks weaker than this (in noise floors) are read again
// from the envelope.
constexpr float kSoftReadPeak = 6.0f;
// Words that begin with marks weaker than this are held until they end
// and read again whole from the baseband.
constexpr float kWordReadPeak = 6.0f;
// Demodulator and slicer follow the dot once it moved by this fraction.
constexpr float kRetuneFraction = 0.12f;

float elapsed_ms(Clock::time_point since)
{
    return std::chrono::duration<float, std::milli>(Clock::now() - since).count();
}

struct DotRange {
    float minMs;
    float maxMs;
};

// The speed range as dot lengths; a fixed speed allows a little either side.
DotRange dot_range(const qomorse_ParametersDecode& p)
{
    if (p.speed_wpm > 0.0f && p.speed_wpm < 100.0f)
        return {1200.0f / (p.speed_wpm * 1.1f), 1200.0f / (p.speed_wpm * 0.9f)};
    const float wMin = p.speedRangeMin_wpm > 5.0f ? std::min(p.speedRangeMin_wpm, 80.0f) : 5.0f;
    const float wMax = p.speedRangeMax_wpm > wMin ? std::min(p.speedRangeMax_wpm, 80.0f) : wMin;
    return {1200.0f / wMax, 1200.0f / wMin};
}

// The value std::max_element() finds (the envelope is finite, and only a
// positive peak is used), in eight lanes that run as vectors.
float largest(const std::vector<float>& values)
{
    constexpr size_t kLanes = 8;
    const size_t n = values.size();
    if (n < kLanes)
        return n > 0 ? *std::max_element(values.begin(), values.end()) : 0.0f;
    float tops[kLanes];
    std::copy_n(values.begin(), kLanes, tops);
    size_t i = kLanes;
    for (; i + kLanes <= n; i += kLanes) {
        const float* block = values.data() + i;
        for (size_t j = 0; j < kLanes; ++j) {
            const float v = block[j];
            tops[j] = tops[j] < v ? v : tops[j];
        }
    }
    float top = tops[0];
    for (size_t j = 1; j < kLanes; ++j)
        top = top < tops[j] ? tops[j] : top;
    for (; i < n; ++i)
        top = top < values[i] ? values[i] : top;
    return top;
}

}  // namespace

void QoMorse::Impl::decodeFrame(float* frame)
{
    const auto frameStart = Clock::now();
    if (decodeParameters.applyFilterHighPass && highPass.active())
        highPass.process(frame, samplesPerFrame);
    for (int i = 0; i < samplesPerFrame; ++i)
        stfft.push(frame[i]);
    const float pitch = decodeParameters.frequency_hz > 0.0f ? decodeParameters.frequency_hz : findPitch();
    tune(pitch);
    statistics.timePitch_ms = elapsed_ms(frameStart);

    const auto envelopeStart = Clock::now();
    followSpeed();
    const int n = tone_demod_process_baseband(demod.get(), frame, samplesPerFrame, frameEnvelope.data(),
                                              frameBaseband.data(), static_cast<int>(frameEnvelope.size()));
    TONE_DEMOD_STATUS d;
    tone_demod_get_status(demod.get(), &d);
    morse_timing_set_glitch(timing.get(), d.incoherent ? kFlutterGlitchDots : kMorseTimingGlitchDots);
    keying_slicer_set_threshold(slicer.get(), d.incoherent ? kFlutterThreshold : kKeyingSlicerThreshold);
    keying_slicer_set_mark_floor(slicer.get(), decodeParameters.markFloor);
    statistics.timeEnvelope_ms = elapsed_ms(envelopeStart);

    const auto keyingStart = Clock::now();
    for (int i = 0; i < n; ++i) {
        envelopeRing[static_cast<size_t>(envelopeNext)] = frameEnvelope[static_cast<size_t>(i)];
        envelopeNext = (envelopeNext + 1) % kEnvelopeValues;
    }
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    const bool learning = !firstOverRead && t.elements == 0;
    if (learning)
        keepFirstOverAudio(frame);
    const size_t textBefore = rxData.size();
    keyEnvelope(frameEnvelope.data(), frameBaseband.data(), n);
    morse_timing_get_status(timing.get(), &t);
    if (learning && t.elements > 0)
        rereadFirstOver(textBefore);
    statistics.timeDecode_ms = elapsed_ms(keyingStart);
    publish();
}

void QoMorse::Impl::keepFirstOverAudio(const float* frame)
{
    const size_t size = firstOverAudio.size();
    for (int i = 0; i < samplesPerFrame; ++i) {
        firstOverAudio[(firstOverStart + firstOverCount) % size] = frame[i];
        if (firstOverCount < size)
            ++firstOverCount;
        else
            firstOverStart = (firstOverStart + 1) % size;
    }
}

// The first over's speed is learned from marks cut with stages set for the
// fastest sender, whose short average lets noise break a weak signal's
// marks. Its audio is read again with fresh stages set for the speed found,
// and what the first reading printed is withdrawn (it is all of the same
// frame: the learning holds its text until the speed is known).
void QoMorse::Impl::rereadFirstOver(size_t textBefore)
{
    firstOverRead = true;
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    TONE_DEMOD_STATUS d;
    tone_demod_get_status(demod.get(), &d);
    KEYING_SLICER_STATUS k;
    keying_slicer_get_status(slicer.get(), &k);
    // From a little before the first mark the speed was learned from: the
    // noise before it would only be read as noise again.
    const float spanMs = t.learnedSpanMs + k.delayMs + d.windowMs + kFirstOverLeadMs;
    const auto span = static_cast<size_t>(spanMs * 0.001f * static_cast<float>(kInternalRate));
    if (span < firstOverCount) {
        firstOverStart = (firstOverStart + firstOverCount - span) % firstOverAudio.size();
        firstOverCount = span;
    }
    // A weak signal's first reading may learn a speed well off; a reading
    // that learns another one is done again with that.
    for (int reading = 0; reading < kFirstOverReadings; ++reading) {
        rxData.resize(textBefore);
        const float unitMs = t.unitMs;
        readFirstOverAgain(t, d, k);
        morse_timing_get_status(timing.get(), &t);
        if (t.elements == 0 || std::fabs(t.unitMs - unitMs) <= kRetuneFraction * unitMs)
            break;
        tone_demod_get_status(demod.get(), &d);
        keying_slicer_get_status(slicer.get(), &k);
    }
    firstOverCount = 0;
    firstOverStart = 0;
}

// Fresh stages set for the speed of `t`, the slicer's noise floor carried
// over from `k` (white noise's envelope falls with the square root of the
// window), read the kept audio.
void QoMorse::Impl::readFirstOverAgain(const MORSE_TIMING_STATUS& t, const TONE_DEMOD_STATUS& d,
                                       const KEYING_SLICER_STATUS& k)
{
    const TONE_DEMOD_CONFIG config = demodConfig(tunedPitch > 0.0f ? tunedPitch : 600.0f, pullHz());
    tone_demod_restart(demod.get(), &config);
    keying_slicer_restart(slicer.get(), kToneDemodStepMs);
    restartTiming(t.unitMs);
    setStages(t.unitMs, windowFor(t.unitMs, d.windowMs, t.markPeak));
    windowElements = 0;
    keying_slicer_start_noise(slicer.get(), k.noise * std::sqrt(d.windowMs / stagesWindowMs));
    const size_t size = firstOverAudio.size();
    size_t done = 0;
    while (done < firstOverCount) {
        // Contiguous pieces of the ring, a frame at most, so that the
        // envelope fits the frame's buffer.
        const size_t at = (firstOverStart + done) % size;
        const size_t piece = std::min({firstOverCount - done, size - at, static_cast<size_t>(samplesPerFrame)});
        const int n = tone_demod_process_baseband(demod.get(), firstOverAudio.data() + at, static_cast<int>(piece),
                                                  frameEnvelope.data(), frameBaseband.data(),
                                                  static_cast<int>(frameEnvelope.size()));
        keyEnvelope(frameEnvelope.data(), frameBaseband.data(), n);
        done += piece;
    }
}

float QoMorse::Impl::pullHz() const
{
    return decodeParameters.frequency_hz > 0.0f ? kFixedPullHz : kSearchedPullHz;
}

// The demodulator at a pitch, averaging over the window in use (20 ms
// before the stages are first set).
TONE_DEMOD_CONFIG QoMorse::Impl::demodConfig(float pitchHz, float pull) const
{
    return TONE_DEMOD_CONFIG{.sampleRate = static_cast<float>(kInternalRate),
                             .pitchHz = pitchHz,
                             .pullHz = pull,
                             .windowMs = stagesWindowMs > 0.0f ? stagesWindowMs : 20.0f};
}

// A fresh timing, with the slicer (created with it) and the soft reader
// starting their clocks together.
void QoMorse::Impl::restartTiming(float unitMs)
{
    const DotRange range = dot_range(decodeParameters);
    if (timing)
        morse_timing_restart(timing.get(), unitMs, range.minMs, range.maxMs);
    else
        timing.reset(morse_timing_create(unitMs, range.minMs, range.maxMs));
    morse_timing_set_reader(timing.get(), &Impl::readSoftly, this);
    morse_timing_set_word_reader(timing.get(), &Impl::readWordSoftly, this, kWordReadPeak);
    morse_soft_reader_reset(softReader.get());
    softOriginMs = 0.0;
}

// A weak character is read again from the envelope: noise that broke or
// merged its marks hardly moves the fit of the whole keying. Strong ones
// are read right from their runs, and flutter's envelope is no averaged
// keying.
bool QoMorse::Impl::readSoftly(void* context, const MORSE_TIMING_SPAN& span, std::string* code)
{
    auto* self = static_cast<Impl*>(context);
    TONE_DEMOD_STATUS d;
    tone_demod_get_status(self->demod.get(), &d);
    if (span.markPeak >= kSoftReadPeak || d.incoherent)
        return false;
    KEYING_SLICER_STATUS k;
    keying_slicer_get_status(self->slicer.get(), &k);
    const MORSE_SOFT_QUERY query{.startMs = span.startMs - self->softOriginMs,
                                 .endMs = span.endMs - self->softOriginMs,
                                 .unitMs = span.unitMs,
                                 .dashMs = span.dashMs,
                                 .windowMs = d.windowMs,
                                 .noise = k.noise,
                                 .level = span.level};
    return morse_soft_reader_read(self->softReader.get(), query, self->morseCode, code);
}

// A weak word is read again whole: noise that cut its letter gaps in the
// wrong places hardly moves the likeliest characters. Flutter turns the
// tone's phase within a mark, which that reading relies on.
bool QoMorse::Impl::readWordSoftly(void* context, const MORSE_TIMING_WORD& word, std::string* text)
{
    auto* self = static_cast<Impl*>(context);
    TONE_DEMOD_STATUS d;
    tone_demod_get_status(self->demod.get(), &d);
    if (d.incoherent)
        return false;
    KEYING_SLICER_STATUS k;
    keying_slicer_get_status(self->slicer.get(), &k);
    const MORSE_SOFT_WORD_QUERY query{.startMs = word.startMs - self->softOriginMs,
                                      .endMs = word.endMs - self->softOriginMs,
                                      .unitMs = word.unitMs,
                                      .dashMs = word.dashMs,
                                      .wordGapMs = word.wordGapMs,
                                      .windowMs = d.windowMs,
                                      .noise = k.noise,
                                      .level = word.level,
                                      .read = word.text};
    return morse_soft_reader_read_word(self->softReader.get(), query, self->morseCode, text);
}

void QoMorse::Impl::createStages()
{
    // A reset engine restarts its stages in place, allocating nothing.
    const TONE_DEMOD_CONFIG config = demodConfig(600.0f, 0.0f);
    if (demod && slicer && softReader) {
        tone_demod_restart(demod.get(), &config);
        keying_slicer_restart(slicer.get(), kToneDemodStepMs);
        morse_soft_reader_restart(softReader.get());
    } else {
        demod.reset(tone_demod_create(&config));
        slicer.reset(keying_slicer_create(kToneDemodStepMs));
        softReader.reset(morse_soft_reader_create(kToneDemodStepMs));
    }
    // 22 WPM, in the middle of what is heard most, until the sender shows his.
    restartTiming(1200.0f / 22.0f);
}

// The timing keeps the sender's dot within the configured speed range.
void QoMorse::Impl::applySpeedRange()
{
    const DotRange range = dot_range(decodeParameters);
    morse_timing_set_range(timing.get(), range.minMs, range.maxMs);
}

// Strongest bin in range over the newest half of the spectrum history; the
// lowest bin wins a tie and an all-zero spectrum gives 0.
float QoMorse::Impl::findPitch() const
{
    const int kMin = std::max(0, static_cast<int>(std::ceil(decodeParameters.frequencyRangeMin_hz / kBinHz)));
    const int kMax = std::min(255, static_cast<int>(std::floor(decodeParameters.frequencyRangeMax_hz / kBinHz)));
    if (kMin > kMax)
        return 0.0f;
    std::array<float, 256> sums{};
    const int nColumns = stfft.nColumns();
    const int half = nColumns / 2;
    const auto columnAt = [&](int j) { return stfft.column((stfft.currentColumn() + half + j) % nColumns).data(); };
    // Four columns a pass: each sum still adds them one at a time in time
    // order, and the sums go through memory a quarter as often.
    int j = 0;
    for (; j + 4 <= half; j += 4) {
        const float* c0 = columnAt(j);
        const float* c1 = columnAt(j + 1);
        const float* c2 = columnAt(j + 2);
        const float* c3 = columnAt(j + 3);
        for (int k = kMin; k <= kMax; ++k)
            sums[k] = sums[k] + c0[k] + c1[k] + c2[k] + c3[k];
    }
    for (; j < half; ++j) {
        const float* column = columnAt(j);
        for (int k = kMin; k <= kMax; ++k)
            sums[k] += column[k];
    }
    float best = 0.0f;
    int bestBin = -1;
    for (int k = kMin; k <= kMax; ++k) {
        if (sums[k] > best) {
            best = sums[k];
            bestBin = k;
        }
    }
    return bestBin < 0 ? 0.0f : static_cast<float>(bestBin) * kBinHz;
}

// Points the demodulator at the pitch. A move to another signal starts a
// new line and drops the half-read character; no tone at all (pitch 0)
// keeps listening where it was.
void QoMorse::Impl::tune(float pitch)
{
    if (pitch <= 0.0f)
        return;
    if (tunedPitch > 0.0f && std::fabs(pitch - tunedPitch) > kPitchChangeHz) {
        morse_timing_end_word(timing.get(), &rxData);
        rxData.push_back('\n');
        morse_timing_clear_symbol(timing.get());
        keying_slicer_reset(slicer.get());
        MORSE_TIMING_STATUS t;
        morse_timing_get_status(timing.get(), &t);
        morse_soft_reader_reset(softReader.get());
        softOriginMs = t.clockMs;
    }
    if (pitch != tunedPitch) {
        const TONE_DEMOD_CONFIG config = demodConfig(pitch, pullHz());
        tone_demod_configure(demod.get(), &config);
        tunedPitch = pitch;
    }
    TONE_DEMOD_STATUS status;
    tone_demod_get_status(demod.get(), &status);
    statistics.estimatedPitch_Hz = status.pitchHz;
}

// Matches the averaging window and the slicer's reach to the sender's dot.
void QoMorse::Impl::followSpeed()
{
    const DotRange range = dot_range(decodeParameters);
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    if (t.unitMs <= 0.0f)
        return;
    // Until the first sender shows his speed, the stages are set for the
    // fastest one: a window too long for the speed would smear the dots
    // the speed is learned from.
    const float dotMs = t.elements > 0 || firstOverRead ? t.unitMs : range.minMs;
    const bool judged = t.elements >= windowElements + kWindowMarks;
    const float windowMs = windowFor(dotMs, stagesWindowMs, judged ? t.markPeak : 0.0f);
    if (stagesDotMs <= 0.0f || std::fabs(dotMs - stagesDotMs) > kRetuneFraction * stagesDotMs ||
        (judged && std::fabs(windowMs - stagesWindowMs) > kWindowChange * stagesWindowMs)) {
        setStages(dotMs, windowMs);
        windowElements = t.elements;
    }
    // The timing keeps the dot near the range; the reported speed stays
    // inside it, so a fast or slow sender at its edge keeps his text.
    statistics.estimatedSpeed_wpm = std::clamp(1200.0f / t.unitMs, 1200.0f / range.maxMs, 1200.0f / range.minMs);
}

// The averaging window for a dot, given the level (in noise floors) of the
// marks read with the window in use; without one, the longest.
float QoMorse::Impl::windowFor(float dotMs, float windowMs, float markPeak) const
{
    const float longest = std::clamp(kWindowDots * dotMs, kMinWindowMs, kMaxWindowMs);
    const float shortest = std::clamp(kShortestWindowDots * dotMs, kMinWindowMs, longest);
    if (!(markPeak > 0.0f) || !(windowMs > 0.0f))
        return longest;
    const float ratio = kWantedPeak / markPeak;
    return std::clamp(windowMs * ratio * ratio, shortest, longest);
}

void QoMorse::Impl::setStages(float dotMs, float windowMs)
{
    stagesDotMs = dotMs;
    stagesWindowMs = windowMs;
    tone_demod_set_window(demod.get(), windowMs);
    keying_slicer_set_dot(slicer.get(), dotMs);
}

void QoMorse::Impl::keyEnvelope(const float* values, const float* baseband, int n)
{
    // The slicer judges each value a few dots late, so the reader holds
    // every value a character read from these runs can reach.
    morse_soft_reader_push(softReader.get(), values, baseband, n);
    for (int i = 0; i < n; ++i) {
        KEYING_RUN runs[2];
        const int32_t ended = keying_slicer_push(slicer.get(), values[i], runs);
        for (int32_t k = 0; k < ended; ++k)
            morse_timing_push_run(timing.get(), runs[k], morseCode, &rxData);
        KEYING_SLICER_STATUS s;
        keying_slicer_get_status(slicer.get(), &s);
        if (!s.keyDown)
            morse_timing_idle(timing.get(), s.runMs, morseCode, &rxData);
    }
}

// The envelope of the last three seconds in time order, and the threshold
// at the decision point as a fraction of its largest value.
void QoMorse::Impl::publish()
{
    signalF.assign(envelopeRing.begin() + envelopeNext, envelopeRing.end());
    signalF.insert(signalF.end(), envelopeRing.begin(), envelopeRing.begin() + envelopeNext);
    const float peak = largest(signalF);
    KEYING_SLICER_STATUS s;
    keying_slicer_get_status(slicer.get(), &s);
    statistics.signalPeak = peak;
    statistics.signalThreshold = peak > 0.0f ? std::min(1.0f, s.threshold / peak) : 0.0f;
    MORSE_TIMING_STATUS t;
    morse_timing_get_status(timing.get(), &t);
    statistics.costFunction = t.cost;
    thresholdF.push_back(statistics.signalThreshold);
    ++publishCount;
}
