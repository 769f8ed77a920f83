// The controller's own rules: how the parts are made and wired, what
// Connect, the pitch and the settings buttons do across them, and the text
// panes every part writes to.
#include "CWWindowController.h"

#include "CWDarkContentView.h"
#include "CWDecodedTextView.h"
#include "CWQSOTextField.h"
#include "CWSkimmerWindow.h"
#include "cw_settings.h"
#include "cw_skimmer_rows.h"
#include "cw_text_panes.h"
#include "tci_commands.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>
#include <chrono>

namespace {

// The receiver is configured for this rate until a frame says otherwise.
constexpr double kConfigSampleRate = 48000.0;

double cw_steady_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CWWindowController::CWWindowController(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment)
    : preferences_(preferences), environment_(std::move(environment))
{
    createWindow();
    buildUI();
    makeParts();
    receiver_->rebuild(settings_->decoderConfig(kConfigSampleRate), settings_->squelch());
    receiver_->configureTuner(settings_->tunerConfig());
}

CWWindowController::~CWWindowController()
{
    rxTextLog_->close();
    restartSkimmer(true);
    settings_->client().disconnect();
    settings_->client().setDelegate(nullptr);
    widgets_.views.spectrum->setDelegate(nullptr);
    widgets_.views.trace->setDelegate(nullptr);
    // Closing the window ends an edit under way, which the parts still apply.
    window_.reset();
}

void CWWindowController::makeParts()
{
    const auto log = [this](const std::string& line) { appendLog(line); };
    // Controls more than one part drives.
    widgets_.settings.window = window_.get();
    widgets_.views.threshold = widgets_.settings.threshold;
    widgets_.views.status = widgets_.settings.statusLabel;
    widgets_.transmit.txWpm = widgets_.settings.txWpm;
    widgets_.transmit.shortRst = widgets_.settings.shortRst;
    widgets_.transmit.partnerCall = widgets_.partnerCall;
    widgets_.transmit.partnerName = widgets_.partnerName;
    settings_ = std::make_unique<CWConnectionSettings>(preferences_, widgets_.settings, log);
    settings_->client().setDelegate(this);
    const auto localTime = [this] { return localTimeNow(); };
    capture_ = std::make_unique<CWWavCapture>(environment_.desktopFolder, localTime, log,
                                              [this](const std::string& message) { showAlert(message); });
    receiver_ = std::make_unique<CWReceivePipeline>(
        widgets_.views,
        CW_RECEIVE_HOOKS{
            .capture = [this](const float* mono, size_t count, uint32_t rate) { capture_->append(mono, count, rate); },
            .skim = [this](const float* mono, size_t count,
                           uint32_t rate) { skimmerFeed_->process(mono, count, rate); },
            .decodedText = [this](const std::string& text) { appendDecodedText(text); },
            // AutoGTM moves the pitch without a reset: the signal it found goes on.
            .autoRetune = [this](double pitchHz) { applyPitchHz(pitchHz, false); },
            .log = log,
        });
    rxTextLog_ = std::make_unique<CWRxTextLog>(environment_.documentsFolder, localTime, widgets_.saveTxt, log);
    receivedText_ = std::make_unique<CWReceivedTextPane>(
        widgets_.decodedText, [this](const std::string& shown) { rxTextLog_->append(shown); });
    transmitter_ = std::make_unique<CWTransmitter>(
        preferences_, settings_->client(), widgets_.transmit, log,
        [this](const std::string& text, double wpm) { appendTransmittedText(text, wpm); });
    qsoLogger_ = std::make_unique<CWQSOLogger>(
        preferences_, environment_.documentsFolder,
        CW_QSO_FIELDS{widgets_.partnerCall, widgets_.partnerName, widgets_.transmit.rst, widgets_.transmit.prst},
        window_.get(),
        CW_QSO_LOG_HOOKS{
            .utcNow = environment_.utcNow,
            .runDialog = environment_.runLogQSODialog,
            .frequencyHz = [this] { return settings_->frequencyHz(); },
            .endEditing = [this](QLineEdit* field) { controlTextDidEndEditing(field); },
            .clearQSO = [this] { clearQSOClicked(); },
            .openSetup = [this] { openMacroSetup(); },
            .log = log,
            .alert = [this](const std::string& message, const std::string& detail) { showAlert(message, detail); },
        });
    spotTuning_ = std::make_unique<CWSpotTuning>(settings_->pitchHzValue(),
                                                 CW_SPOT_TUNING_HOOKS{
                                                     .vfoHz = [this] { return settings_->frequencyHz(); },
                                                     .mode = [this] { return settings_->mode(); },
                                                     .applyPitch = [this](double pitchHz) { applyPitchHz(pitchHz); },
                                                     .log = log,
                                                     .now = cw_steady_seconds,
                                                 });
    clusterFeed_ = std::make_unique<CWClusterFeed>(log);
    skimmerFeed_ = std::make_unique<CWSkimmerFeed>(CW_SKIMMER_FEED_HOOKS{
        .tuning = [this] { return spotTuning_->tuning(); },
        .utcNow = environment_.utcNow,
        .sendCommand = [this](const std::string& command) { settings_->client().sendText(command); },
        .clusterLine = [this](const std::string& line) { clusterFeed_->broadcast(line); },
    });
    const long long port = environment_.clusterPort >= 0
                               ? environment_.clusterPort
                               : cw_defaults_integer(preferences_, kCWClusterPortKey, kCWClusterDefaultPort);
    clusterFeed_->start(static_cast<int32_t>(std::clamp(port, 0LL, 65535LL)));
}

void CWWindowController::openSkimmerWindow()
{
    if (skimmerWindow_ == nullptr)
        skimmerWindow_ = new CWSkimmerWindow(
            window_.get(),
            CW_SKIMMER_WINDOW_HOOKS{
                .rows = [this] { return cw_skimmer_rows(skimmerFeed_->spots(), skimmerFeed_->seconds()); },
                .tune = [this](const CW_SKIMMER_ROW& row) { spotTuning_->tuneTo(row.call, row.radioHz); },
            });
    skimmerWindow_->show();
    skimmerWindow_->raise();
    skimmerWindow_->activateWindow();
}

void CWWindowController::restartSkimmer(bool clearPanorama)
{
    if (clearPanorama && settings_->client().isConnected())
        settings_->client().sendText(kTCISpotClearCommand);
    skimmerFeed_->restart();
}

void CWWindowController::applySettings()
{
    settings_->store();
    receiver_->rebuild(settings_->decoderConfig(kConfigSampleRate), settings_->squelch());
    receiver_->configureTuner(settings_->tunerConfig());
}

void CWWindowController::controlTextDidEndEditing(QWidget* field)
{
    // Return and then the focus leaving the field both end an edit; only a
    // speed typed since the last one goes to the keyer.
    QLineEdit* const txWpm = widgets_.settings.txWpm;
    const bool speedTyped = field == txWpm && txWpm->isModified();
    settings_->normaliseFields();
    // A pitch the operator typed is where the radio's vfo carrier is heard.
    if (field == widgets_.settings.pitch)
        spotTuning_->setReferencePitch(settings_->pitchHzValue());
    if (speedTyped) {
        txWpm->setModified(false);
        transmitter_->sendSpeed();
    }
    settings_->store();
    receiver_->configureTuner(settings_->tunerConfig());
    // Only a changed decoder setting costs the receiver its last seconds.
    const CW_RX_CONFIG config = settings_->decoderConfig(kConfigSampleRate);
    if (receiver_->differs(config, settings_->squelch()))
        receiver_->rebuild(config, settings_->squelch());
}

void CWWindowController::connectClicked()
{
    if (settings_->client().isConnected()) {
        restartSkimmer(true);
        settings_->disconnect();
        clearAudioDisplays();
        return;
    }
    receiver_->resetBookkeeping();
    capture_->reset();
    applySettings();
    settings_->connect();
}

void CWWindowController::useConnectionForThisRun(const std::string& host, long long port)
{
    settings_->useConnectionForThisRun(host, port);
}

void CWWindowController::applyPitchHz(double hz, bool resetDecoder)
{
    settings_->showPitch(hz);
    settings_->store();
    receiver_->retune(settings_->decoderConfig(kConfigSampleRate), resetDecoder);
}

void CWWindowController::gotoMaxClicked()
{
    const double peak = receiver_->peakHz();
    if (peak > 0.0)
        applyPitchHz(peak);
}

void CWWindowController::resetQOMDefaultsClicked()
{
    settings_->resetQomDefaults();
    applySettings();
}

void CWWindowController::clearQSOClicked()
{
    widgets_.partnerCall->clear();
    widgets_.partnerName->clear();
    decodePickTarget_ = 1;
    widgets_.partnerCall->setFocus();
}

std::tm CWWindowController::localTimeNow() const
{
    if (environment_.localTime)
        return environment_.localTime();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void CWWindowController::showAlert(const std::string& message, const std::string& informativeText)
{
    if (environment_.alert) {
        environment_.alert(informativeText.empty() ? message : message + "\n\n" + informativeText);
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Warning, "Zarvo", QString::fromStdString(message), QMessageBox::Ok, window_.get());
    box->setInformativeText(QString::fromStdString(informativeText));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CWWindowController::appendLog(const std::string& line)
{
    if (line.empty())
        return;
    const std::string shown = cw_log_pane_line(line);
    widgets_.logPane->appendPlainText(QString::fromStdString(shown));
    QScrollBar* bar = widgets_.logPane->verticalScrollBar();
    bar->setValue(bar->maximum());
    if (logEcho_)
        logEcho_(shown);
}

void CWWindowController::appendDecodedText(const std::string& text)
{
    receivedText_->appendDecoded(text);
}

void CWWindowController::appendTransmittedText(const std::string& text, double wpm)
{
    receivedText_->appendTransmitted(text, wpm);
}

void CWWindowController::stopTransmitting()
{
    transmitter_->stop();
    receivedText_->stopped();
}

void CWWindowController::tciClientDidLogLine(TCIClient*, const std::string& line)
{
    appendLog(line);
}

void CWWindowController::tciClientDidConnect(TCIClient*)
{
    settings_->didConnect();
    spotTuning_->setReferencePitch(settings_->pitchHzValue());
    restartSkimmer(true);
}

void CWWindowController::tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& error)
{
    settings_->didDisconnect(error);
    restartSkimmer(false);
    clearAudioDisplays();
}

// Figures of audio that no longer comes would read as live.
void CWWindowController::clearAudioDisplays()
{
    CW_SPECTRUM_FIGURES figures = cw_spectrum_initial_figures();
    figures.pitchHz = settings_->decoderConfig(kConfigSampleRate).pitchHz;
    widgets_.views.spectrum->show(CW_SPECTRUM_SNAPSHOT{}, figures);
    widgets_.views.trace->clear();
}

void CWWindowController::tciClientDidReceiveTextMessage(TCIClient*, const std::string& text)
{
    const TCI_STATE_EVENTS events = settings_->didReceiveText(text);
    if (events.titleChanged)
        spotTuning_->radioMoved();
    for (const TCI_SPOT_CLICK& click : events.spotClicks)
        spotTuning_->spotClicked(click.call, click.frequencyHz);
}

void CWWindowController::tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t, TCIStreamInfo info)
{
    receiver_->binaryMessage(info);
}

void CWWindowController::tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size,
                                                             TCIStreamInfo info)
{
    receiver_->audioFrame(data, size, info);
}

void CWWindowController::tciClientDidReceiveRateZeroAudioFrameData(TCIClient*, const uint8_t* data, size_t size,
                                                                   TCIStreamInfo info)
{
    receiver_->rateZeroFrame(data, size, info);
}

void CWWindowController::spectrumViewDidSelectPitchHz(CWSpectrumView*, double pitchHz)
{
    applyPitchHz(pitchHz);
}
