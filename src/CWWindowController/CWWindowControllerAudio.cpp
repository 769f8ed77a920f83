// The receive-audio pipeline: every float32 frame from the server becomes
// one channel, goes into the capture ring and the receiver, and the
// receiver's figures drive the tuner (spectrum, AutoGTM), the views, the
// status line and the received-text pane.
#include "CWWindowController.h"

#include "cw_audio_status.h"
#include "cw_settings.h"
#include "cw_spectrum_figures.h"

#include <QLabel>
#include <QLineEdit>

#include <chrono>
#include <new>

namespace {

constexpr double kTraceInterval = 0.05;
constexpr double kStatusInterval = 0.2;
constexpr size_t kDecodedTextBytes = 128;

double cw_monotonic_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void CWWindowController::resetAudioBookkeeping()
{
    rxAudioActiveLogged_ = false;
    unusableRateLogged_ = false;
    cw_tuner_forget_signal(tuner_);
    lastStatusUpdateTime_ = 0.0;
    audioFrameCounter_ = 0;
    resetCaptureBuffer();
}

void CWWindowController::tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t, TCIStreamInfo info)
{
    // Such frames never reach the pipeline; one line says why the text stays empty.
    const bool floatAudio = info.valid && info.type == kTCIStreamTypeRxAudio && info.format == TCI_SAMPLE_FLOAT32;
    if (!floatAudio || tci_stream_sample_rate_usable(info.sampleRate) || unusableRateLogged_)
        return;
    unusableRateLogged_ = true;
    appendLog("RX audio ignored: unusable sample rate " + std::to_string(info.sampleRate) + " Hz");
}

// Channel 0 of the frame; the buffer only grows, to the largest frame seen.
size_t CWWindowController::fillMonoBuffer(const uint8_t* data, size_t size, const TCIStreamInfo& info)
{
    if (monoBuffer_.size() < info.frameCount && info.isRxAudioFloat32) {
        try {
            std::vector<float> larger(info.frameCount);
            monoBuffer_.swap(larger);
        } catch (const std::exception&) {
            appendLog("CW audio mono buffer allocation failed.");
            return 0;
        }
    }
    return tci_stream_channel0(data, size, info, monoBuffer_.data(), monoBuffer_.size());
}

void CWWindowController::tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size,
                                                             TCIStreamInfo info)
{
    const size_t count = cwRx_ != nullptr ? fillMonoBuffer(data, size, info) : 0;
    if (count == 0)
        return;
    const float* mono = monoBuffer_.data();
    appendCaptureSamples(mono, count, info.sampleRate);
    if (!rxAudioActiveLogged_) {
        rxAudioActiveLogged_ = true;
        appendLog("RX audio active: " + std::to_string(info.sampleRate) + " Hz, float32, " +
                  std::to_string(info.channels) + " channel" + (info.channels == 1 ? "" : "s"));
    }
    const double sampleRate = info.sampleRate;
    const CW_RX_CONFIG config = currentDecoderConfigWithSampleRate(sampleRate);
    cw_rx_configure(cwRx_, &config);
    char text[kDecodedTextBytes];
    const size_t n = cw_rx_process(cwRx_, mono, count, text, sizeof text);
    CW_RX_STATUS status{};
    cw_rx_get_status(cwRx_, &status);
    reportEngine(status);
    const double now = cw_monotonic_seconds();
    const double inputDbFS = cw_input_dbfs(status.inputLevel);
    const CW_TUNER_RESULT tuned = tuneWithFrame(mono, count, config, status, inputDbFS, now);
    showFrameStatus(config, status, sampleRate, inputDbFS, now);
    if (n > 0)
        appendDecodedText(cw_ascii_text(text, n < sizeof text ? n : sizeof text - 1));
    // AutoGTM moves the pitch without a reset: the signal it found goes on.
    if (tuned.action == CW_TUNER_RETUNE)
        applyPitchHz(tuned.pitchHz, false);
}

CW_TUNER_RESULT CWWindowController::tuneWithFrame(const float* mono, size_t count, const CW_RX_CONFIG& config,
                                                  const CW_RX_STATUS& status, double inputDbFS, double now)
{
    const CW_TUNER_CONFIG tuning{.autoGtm = autoGtmEnabled() ? 1 : 0,
                                 .rearmSeconds = autoGtmRearmSecondsValue(),
                                 .findTone = 0};
    cw_tuner_configure(tuner_, &tuning);
    CW_TUNER_RESULT tuned{};
    cw_tuner_update(tuner_, mono, count, &config, &status, now, &tuned);
    if (tuned.spectrumUpdated) {
        CW_SPECTRUM_SNAPSHOT spectrum;
        cw_tuner_get_spectrum(tuner_, &spectrum);
        spectrumView_->show(spectrum, cw_spectrum_figures_from_rx(config, status, inputDbFS));
    }
    return tuned;
}

// A receiver without its engine still decodes, more poorly: the operator
// hears of it once, and once more when the engine is back.
void CWWindowController::reportEngine(const CW_RX_STATUS& status)
{
    const bool missing = status.engineMissing != 0;
    if (missing == engineMissingLogged_)
        return;
    engineMissingLogged_ = missing;
    appendLog(missing ? "Decoder engine could not be built (out of memory): the simple fallback decoder reads meanwhile."
                      : "Decoder engine running again.");
}

void CWWindowController::showFrameStatus(const CW_RX_CONFIG& config, const CW_RX_STATUS& status,
                                         double sampleRate, double inputDbFS, double now)
{
    if (cw_refresh_due(lastTraceUpdateTime_, now, kTraceInterval)) {
        lastTraceUpdateTime_ = now;
        toneTraceView_->updateWithLevel(status.level, status.threshold, status.keyDown);
    }
    ++audioFrameCounter_;
    if (!cw_refresh_due(lastStatusUpdateTime_, now, kStatusInterval))
        return;
    lastStatusUpdateTime_ = now;
    ++statusLineRefreshCount_;
    thresholdDisplay_->setText(QString::fromStdString(cw_formatted_threshold(status.threshold)));
    CW_TUNER_STATUS tuning{};
    cw_tuner_get_status(tuner_, &tuning);
    const double peak = tuning.peakHz > 0.0 ? tuning.peakHz : config.pitchHz;
    const std::string line = cw_audio_status_line(sampleRate, inputDbFS, peak, config.pitchHz, status);
    statusLabel_->setText(QString::fromStdString(line));
}
