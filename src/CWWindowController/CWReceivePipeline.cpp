#include "CWReceivePipeline.h"

#include "CWSpectrumView.h"
#include "CWToneTraceView.h"
#include "CWViewPaint.h"
#include "cw_audio_status.h"
#include "cw_settings.h"
#include "cw_spectrum_figures.h"
#include "cw_field_editing.h"

#include <QLabel>
#include <QLineEdit>

#include <chrono>

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

CWReceivePipeline::CWReceivePipeline(const CW_RECEIVE_VIEWS& views, CW_RECEIVE_HOOKS hooks)
    : views_(views), hooks_(std::move(hooks))
{
    tuner_ = cw_tuner_create(&tuning_);
}

CWReceivePipeline::~CWReceivePipeline()
{
    cw_rx_destroy(rx_);
    cw_tuner_destroy(tuner_);
}

// The settings at the rate the stream runs at, so that a settings change
// does not make the receiver redesign its filters twice.
void CWReceivePipeline::applyConfig(const CW_RX_CONFIG& config)
{
    config_ = config;
    if (streamRate_ > 0.0)
        config_.sampleRate = streamRate_;
    if (rx_)
        cw_rx_configure(rx_, &config_);
    else
        rx_ = cw_rx_create(&config_);
}

void CWReceivePipeline::rebuild(const CW_RX_CONFIG& config, double squelch)
{
    appliedConfig_ = config;
    ++rebuildCount_;
    const bool existed = rx_ != nullptr;
    applyConfig(config);
    if (existed)
        cw_rx_reset(rx_);
    appliedSquelch_ = squelch;
    cw_rx_set_squelch(rx_, appliedSquelch_);
}

bool CWReceivePipeline::differs(const CW_RX_CONFIG& config, double squelch) const
{
    return !rx_ || squelch != appliedSquelch_ || cw_decoder_config_differs(config, appliedConfig_);
}

void CWReceivePipeline::retune(const CW_RX_CONFIG& config, bool reset)
{
    if (!rx_)
        return;
    config_ = config;
    if (streamRate_ > 0.0)
        config_.sampleRate = streamRate_;
    cw_rx_retune(rx_, &config_, reset ? 1 : 0);
    if (reset)
        lastStatusUpdateTime_ = 0.0;
}

void CWReceivePipeline::configureTuner(const CW_TUNER_CONFIG& tuning)
{
    tuning_ = tuning;
    cw_tuner_configure(tuner_, &tuning_);
}

double CWReceivePipeline::peakHz() const
{
    double hz = 0.0;
    return cw_tuner_goto_max(tuner_, &hz) ? hz : 0.0;
}

void CWReceivePipeline::resetBookkeeping()
{
    rxAudioActiveLogged_ = false;
    unusableRateLogged_ = false;
    rateZeroLogged_ = false;
    cw_tuner_forget_signal(tuner_);
    lastStatusUpdateTime_ = 0.0;
    audioFrameCount_ = 0;
}

void CWReceivePipeline::binaryMessage(const TCIStreamInfo& info)
{
    // Such frames never reach the pipeline; one line says why the text stays empty.
    const bool floatAudio = info.valid && info.type == kTCIStreamTypeRxAudio && info.format == TCI_SAMPLE_FLOAT32;
    if (!floatAudio || tci_stream_sample_rate_usable(info.sampleRate) || tci_stream_rate_missing(info) ||
        unusableRateLogged_)
        return;
    unusableRateLogged_ = true;
    hooks_.log("RX audio ignored: unusable sample rate " + std::to_string(info.sampleRate) + " Hz");
}

// Channel 0 of the frame; the buffer only grows, to the largest frame seen.
size_t CWReceivePipeline::fillMonoBuffer(const uint8_t* data, size_t size, const TCIStreamInfo& info)
{
    if (monoBuffer_.size() < info.frameCount && info.isRxAudioFloat32) {
        try {
            std::vector<float> larger(info.frameCount);
            monoBuffer_.swap(larger);
        } catch (const std::exception&) {
            hooks_.log("CW audio mono buffer allocation failed.");
            return 0;
        }
    }
    return tci_stream_channel0(data, size, info, monoBuffer_.data(), monoBuffer_.size());
}

void CWReceivePipeline::rateZeroFrame(const uint8_t* data, size_t size, const TCIStreamInfo& info)
{
    const auto lastRate = static_cast<uint32_t>(streamRate_);
    const TCIStreamInfo repaired = tci_stream_info_at_rate(data, info, lastRate);
    if (!repaired.isRxAudioFloat32)
        return;
    if (!rateZeroLogged_) {
        rateZeroLogged_ = true;
        hooks_.log("RX audio: frames with rate 0 are decoded at " + std::to_string(lastRate) + " Hz");
    }
    audioFrame(data, size, repaired);
}

void CWReceivePipeline::audioFrame(const uint8_t* data, size_t size, const TCIStreamInfo& info)
{
    const size_t count = rx_ != nullptr ? fillMonoBuffer(data, size, info) : 0;
    if (count == 0)
        return;
    const float* mono = monoBuffer_.data();
    hooks_.capture(mono, count, info.sampleRate);
    if (hooks_.skim)
        hooks_.skim(mono, count, info.sampleRate);
    if (!rxAudioActiveLogged_) {
        rxAudioActiveLogged_ = true;
        hooks_.log("RX audio active: " + std::to_string(info.sampleRate) + " Hz, float32, " +
                   std::to_string(info.channels) + " channel" + (info.channels == 1 ? "" : "s"));
    }
    const double sampleRate = info.sampleRate;
    streamRate_ = sampleRate;
    if (config_.sampleRate != sampleRate) {
        config_.sampleRate = sampleRate;
        cw_rx_configure(rx_, &config_);
    }
    const CW_RX_CONFIG& config = config_;
    char text[kDecodedTextBytes];
    const size_t n = cw_rx_process(rx_, mono, count, text, sizeof text);
    CW_RX_STATUS status{};
    cw_rx_get_status(rx_, &status);
    reportEngine(status);
    const double now = cw_monotonic_seconds();
    const double inputDbFS = cw_input_dbfs(status.inputLevel);
    const CW_TUNER_RESULT tuned = tune(mono, count, config, status, inputDbFS, now);
    showFrameStatus(config, status, sampleRate, inputDbFS, now);
    if (n > 0)
        hooks_.decodedText(cw_ascii_text(text, n < sizeof text ? n : sizeof text - 1));
    if (tuned.action == CW_TUNER_RETUNE)
        hooks_.autoRetune(tuned.pitchHz);
}

CW_TUNER_RESULT CWReceivePipeline::tune(const float* mono, size_t count, const CW_RX_CONFIG& config,
                                        const CW_RX_STATUS& status, double inputDbFS, double now)
{
    CW_TUNER_RESULT tuned{};
    cw_tuner_update(tuner_, mono, count, &config, &status, now, &tuned);
    if (tuned.spectrumUpdated) {
        CW_SPECTRUM_SNAPSHOT spectrum;
        cw_tuner_get_spectrum(tuner_, &spectrum);
        views_.spectrum->show(spectrum, cw_spectrum_figures_from_rx(config, status, inputDbFS));
    }
    return tuned;
}

// A receiver without its engine still decodes, more poorly: the operator
// hears of it once, and once more when the engine is back.
void CWReceivePipeline::reportEngine(const CW_RX_STATUS& status)
{
    const bool missing = status.engineMissing != 0;
    if (missing == engineMissingLogged_)
        return;
    engineMissingLogged_ = missing;
    hooks_.log(missing
                   ? "Decoder engine could not be built (out of memory): the simple fallback decoder reads meanwhile."
                   : "Decoder engine running again.");
}

void CWReceivePipeline::showFrameStatus(const CW_RX_CONFIG& config, const CW_RX_STATUS& status, double sampleRate,
                                        double inputDbFS, double now)
{
    if (cw_refresh_due(lastTraceUpdateTime_, now, kTraceInterval)) {
        lastTraceUpdateTime_ = now;
        views_.trace->updateWithLevel(status.level, status.threshold, status.keyDown);
    }
    ++audioFrameCount_;
    if (!cw_refresh_due(lastStatusUpdateTime_, now, kStatusInterval))
        return;
    lastStatusUpdateTime_ = now;
    ++statusLineRefreshCount_;
    // A line edit lays itself out again on every setText, even to the same text.
    const QString threshold = QString::fromStdString(cw_formatted_threshold(status.threshold));
    if (views_.threshold->text() != threshold)
        views_.threshold->setText(threshold);
    CW_TUNER_STATUS tuning{};
    cw_tuner_get_status(tuner_, &tuning);
    const double peak = tuning.peakHz > 0.0 ? tuning.peakHz : config.pitchHz;
    const std::string line = cw_audio_status_line(sampleRate, inputDbFS, peak, config.pitchHz, status,
                                                  cw_monospaced_columns(views_.status->font(), views_.status->width()));
    views_.status->setText(QString::fromStdString(line));
}
