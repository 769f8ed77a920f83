// The receive-audio pipeline: every float32 frame from the server becomes
// one channel and goes to the capture, the skimmer, the receiver and the
// tuner; the receiver's figures drive the spectrum and trace views, the
// status line and the received text.
#pragma once

#include "CWRx.h"
#include "TCIStreamInfo.h"
#include "cw_tuner.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CWSpectrumView;
class CWToneTraceView;
class QLabel;
class QLineEdit;

// The views the pipeline feeds; owned by the window.
struct CW_RECEIVE_VIEWS {
    CWSpectrumView* spectrum;
    CWToneTraceView* trace;
    QLineEdit* threshold;  // the QOM Thr display
    QLabel* status;
};

// Where the pipeline's results go.
struct CW_RECEIVE_HOOKS {
    std::function<void(const float* mono, size_t count, uint32_t rate)> capture;
    std::function<void(const float* mono, size_t count, uint32_t rate)> skim;  // the skimmer, beside the receiver
    std::function<void(const std::string& text)> decodedText;
    std::function<void(double pitchHz)> autoRetune;  // AutoGTM found a new signal elsewhere
    std::function<void(const std::string& line)> log;
};

class CWReceivePipeline {
public:
    CWReceivePipeline(const CW_RECEIVE_VIEWS& views, CW_RECEIVE_HOOKS hooks);
    ~CWReceivePipeline();
    CWReceivePipeline(const CWReceivePipeline&) = delete;
    CWReceivePipeline& operator=(const CWReceivePipeline&) = delete;

    // The decoder settings reach the receiver only through these three, when
    // they change; frames apply nothing but a new stream rate.
    // A fresh receiver on this configuration and squelch.
    void rebuild(const CW_RX_CONFIG& config, double squelch);
    // The receiver would run otherwise on these settings.
    bool differs(const CW_RX_CONFIG& config, double squelch) const;
    // A new pitch; a manual one also resets the receiver. Either decodes
    // the last seconds again at the new pitch when nothing was printed in
    // them, so the start of the signal tuned to is not lost.
    void retune(const CW_RX_CONFIG& config, bool reset);
    // AutoGTM's settings; given when they change, not with every frame.
    void configureTuner(const CW_TUNER_CONFIG& tuning);
    const CW_TUNER_CONFIG& tuning() const { return tuning_; }
    // The tracked peak, 0 before any spectrum.
    double peakHz() const;
    // A new connection: its first frame is logged again.
    void resetBookkeeping();

    // The client's two reports for a binary frame.
    void binaryMessage(const TCIStreamInfo& info);
    void audioFrame(const uint8_t* data, size_t size, const TCIStreamInfo& info);
    // A frame whose header lost its rate: decoded at the stream's last one,
    // since a dropped frame would cut a hole into the keying.
    void rateZeroFrame(const uint8_t* data, size_t size, const TCIStreamInfo& info);

    // What the receiver runs on now.
    const CW_RX_CONFIG& receiverConfig() const { return config_; }
    uint64_t rebuildCount() const { return rebuildCount_; }
    uint64_t audioFrameCount() const { return audioFrameCount_; }
    uint64_t statusLineRefreshCount() const { return statusLineRefreshCount_; }

private:
    void applyConfig(const CW_RX_CONFIG& config);
    size_t fillMonoBuffer(const uint8_t* data, size_t size, const TCIStreamInfo& info);
    void reportEngine(const CW_RX_STATUS& status);
    CW_TUNER_RESULT tune(const float* mono, size_t count, const CW_RX_CONFIG& config, const CW_RX_STATUS& status,
                         double inputDbFS, double now);
    void showFrameStatus(const CW_RX_CONFIG& config, const CW_RX_STATUS& status, double sampleRate, double inputDbFS,
                         double now);

    CW_RECEIVE_VIEWS views_;
    CW_RECEIVE_HOOKS hooks_;
    CW_RX* rx_ = nullptr;
    CW_TUNER* tuner_ = nullptr;  // spectrum, GotoMax and AutoGTM
    CW_TUNER_CONFIG tuning_{.autoGtm = 0, .rearmSeconds = 0.0, .findTone = 0};
    CW_RX_CONFIG appliedConfig_{};  // as the settings gave it, for differs()
    CW_RX_CONFIG config_{};         // what the receiver runs on: the settings at the stream's rate
    double streamRate_ = 0.0;       // of the last frame; 0 before any
    double appliedSquelch_ = 0.0;
    uint64_t rebuildCount_ = 0;
    std::vector<float> monoBuffer_;  // only grows, to the largest frame seen
    uint64_t audioFrameCount_ = 0;
    uint64_t statusLineRefreshCount_ = 0;
    bool rxAudioActiveLogged_ = false;
    bool unusableRateLogged_ = false;
    bool rateZeroLogged_ = false;
    bool engineMissingLogged_ = false;
    double lastTraceUpdateTime_ = 0.0;
    double lastStatusUpdateTime_ = 0.0;
};
