// The centre of the program: the one main window with every control, the
// TCI client, the CW receiver and the views, the persisted settings, the
// connection control and the text panes. Everything runs on the thread
// that owns the Qt event loop.
#pragma once

#include "CWRx.h"
#include "CWSpectrumView.h"
#include "CWToneTraceView.h"
#include "TCIClient.h"
#include "cw_capture_ring.h"
#include "cw_adif_record.h"
#include "cw_macro_expansion.h"
#include "cw_operation_error.h"
#include "cw_settings_form.h"
#include "cw_tuner.h"
#include "tci_state.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CWDarkContentView;
class CWLogQSODialog;
class CWMacroSetupDialog;
class CWDecodedTextView;
class CWQSOTextField;
class QCheckBox;
class QFile;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// What the controller takes from its surroundings; tests replace it.
struct CW_WINDOW_ENVIRONMENT {
    QString documentsFolder;             // empty: the user's Documents folder, else home
    std::function<std::tm()> localTime;  // empty: the system clock in local time
    QString desktopFolder{};             // empty: the user's Desktop folder, else home
    std::function<void(const std::string&)> alert{};  // empty: a message box over the window
    std::function<std::time_t()> utcNow{};            // empty: the system clock
    // Runs the Log QSO dialog; true for "Send to Log". Empty: modal on screen.
    std::function<bool(CWLogQSODialog&)> runLogQSODialog{};
    // Runs the Macro Setup dialog; true for "OK". Empty: modal on screen.
    std::function<bool(CWMacroSetupDialog&)> runMacroSetupDialog{};
    // A file chosen for saving (with the proposed name) or opening; empty
    // when cancelled. Empty function: the system's file panel.
    std::function<QString(bool save, const QString& title, const QString& proposedName)> chooseFile{};
};

class CWWindowController : public TCIClientDelegate, public CWSpectrumViewDelegate, public CWToneTraceViewDelegate {
public:
    // The store must outlive the controller.
    explicit CWWindowController(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment = {});
    // Closes the RX text log, disconnects and destroys the receiver.
    ~CWWindowController();
    CWWindowController(const CWWindowController&) = delete;
    CWWindowController& operator=(const CWWindowController&) = delete;

    QMainWindow* window() const { return window_.get(); }
    void showWindow();

    // Settings: each getter reads its field and clamps.
    double pitchHzValue() const;
    double bandwidthHzValue() const;
    double thresholdValue() const;
    double minWpmValue() const;
    double maxWpmValue() const;
    double qomSearchHzValue() const;
    double qomLockHoldSecondsValue() const;
    double autoGtmRearmSecondsValue() const;
    double txWpmValue() const;
    bool autoGtmEnabled() const;

    CW_RX_CONFIG currentDecoderConfigWithSampleRate(double sampleRate) const;
    void recreateDecoder();
    // The fields would configure the receiver otherwise than it runs.
    bool decoderSettingsChanged() const;
    uint64_t decoderRebuildCount() const { return decoderRebuildCount_; }
    void storeSettings();
    void settingsChanged();
    void resetQOMDefaultsClicked();

    // Quantised to 5 Hz within 300..1200, shown and stored; a manual change
    // also resets the receiver.
    void applyPitchHz(double hz, bool resetDecoder = true);
    void gotoMaxClicked();

    // Connection.
    void connectClicked();
    void updateConnectButton();
    void updateWindowConnectionTitle();
    // The fields show this server; Connect does not store it while they do.
    void useConnectionForThisRun(const std::string& host, long long port);
    const TCIClient& client() const { return client_; }

    // Text panes and the RX text log.
    void appendLog(const std::string& line);
    void appendDecodedText(const std::string& text);
    void appendTransmittedText(const std::string& text);
    bool openRxTextLog();
    void closeRxTextLog();
    void appendRxTextLog(const std::string& text);
    QString rxTextLogDirectory() const;
    // A file name in the folder that no file has yet.
    QString newRxTextLogPath() const;
    QString rxTextLogPath() const { return rxTextLogPath_; }  // empty while off
    void saveTxtClicked();
    void clearRxClicked();
    // Every log line is also handed here (the program's --print-log).
    void setLogEcho(std::function<void(const std::string&)> echo) { logEcho_ = std::move(echo); }

    // Field editing rules (CWWindowControllerEditing.cpp).
    void controlTextDidEndEditing(QWidget* field);
    void uppercaseTextFieldPreservingSelection(QLineEdit* field);
    void uppercaseTxTextPreservingSelection();
    void setDecodePickTarget(int64_t target) { decodePickTarget_ = target; }
    // A double-clicked word of the received text goes to the pick target.
    void decodedTextViewDidDoubleClickPickedString(const QString& word, double eventTime);

    // Macros and CW transmit (CWWindowControllerMacros.cpp).
    CW_MACRO_EXPANSION expandedMacroText(const std::string& text) const;
    // True when the text went out; the text is expanded already.
    bool sendCWMacroText(const std::string& text);
    std::string txTextCurrentString() const;
    void sendTxClicked();
    void stopTxClicked();
    void macroButtonClicked(size_t index);
    void clearQSOClicked();
    void refreshMacroButtonsFromDefaults();
    int64_t decodePickTarget() const { return decodePickTarget_; }

    // Macro setup and macro files (CWWindowControllerMacroSetup.cpp).
    void openMacroSetup();
    void exportMacroTextsClicked();
    void importMacroTextsClicked();
    void showMacroTextFileError(const std::string& title, const std::string& detail);

    // QSO log and logbook send (CWWindowControllerLogging.cpp).
    void openLogQSO();
    std::string currentLogFrequencyString() const;
    // Empty when the folder cannot be made (logged).
    std::string adifLogFilePath();
    // logPath, when given, receives the file's path (empty when none).
    bool appendADIFRecordToFile(const std::string& record, CW_OPERATION_ERROR* error,
                                std::string* logPath = nullptr);
    QString documentsFolder() const;

    // Transceiver state (CWWindowControllerTCIState.cpp).
    double currentTCIFrequencyHz() const { return tciState_.frequencyHz; }
    const std::string& currentTCIMode() const { return tciState_.mode; }

    // RX WAV capture (CWWindowControllerCapture.cpp).
    void resetCaptureBuffer();
    bool ensureCaptureBufferForSampleRate(uint32_t rate);
    void appendCaptureSamples(const float* samples, uint64_t count, uint32_t rate);
    // Empty when nothing was captured or the rate cannot be written.
    std::vector<uint8_t> wavDataFromCaptureBuffer(std::string* error = nullptr) const;
    // A Desktop file name no file has yet.
    QString defaultCaptureURL() const;
    void saveWavClicked();
    const CW_CAPTURE_RING& captureRing() const { return captureRing_; }

    // Audio pipeline figures (counted, not shown).
    uint64_t audioFrameCounter() const { return audioFrameCounter_; }
    uint64_t statusLineRefreshCount() const { return statusLineRefreshCount_; }
    const CWSpectrumView* spectrumView() const { return spectrumView_; }
    const CW_TUNER* tuner() const { return tuner_; }
    const CWToneTraceView* toneTraceView() const { return toneTraceView_; }

    // TCIClientDelegate
    void tciClientDidLogLine(TCIClient* client, const std::string& line) override;
    void tciClientDidConnect(TCIClient* client) override;
    void tciClientDidDisconnectWithError(TCIClient* client, const TCI_ERROR& error) override;
    void tciClientDidReceiveTextMessage(TCIClient* client, const std::string& text) override;
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient* client, uint64_t length,
                                                    TCIStreamInfo streamInfo) override;
    void tciClientDidReceiveRxAudioFrameData(TCIClient* client, const uint8_t* data, size_t size,
                                             TCIStreamInfo streamInfo) override;

    // CWSpectrumViewDelegate
    void spectrumViewDidSelectPitchHz(CWSpectrumView* view, double pitchHz) override;

private:
    using FrameRule = std::function<QRect(int width, int height)>;

    // Layout (CWWindowControllerLayout.cpp).
    void createWindow();
    void buildUI();
    void buildConnectionRow(const CW_SETTINGS_FORM& form);
    void buildTuningRow(const CW_SETTINGS_FORM& form);
    void buildViews();
    void buildQSORow(const CW_SETTINGS_FORM& form);
    void buildMacroButtons();
    void buildLogPane();
    void place(QWidget* widget, FrameRule rule);
    void layoutControls(const QSize& size);
    QLineEdit* makeField(const char* name, const std::string& text, const char* tooltip);
    QLabel* makeCaption(const char* text, Qt::Alignment alignment = Qt::AlignLeft);
    QPushButton* makeButton(const char* name, const char* title, const char* tooltip, std::function<void()> action);
    QCheckBox* makeCheckbox(const char* name, const char* title, const char* tooltip, bool checked);
    int placeCaptionedField(QLineEdit* field, const char* caption, int x, int width, int captionWidth, int rowTop);
    int placeInRow(QWidget* widget, int x, int width, int height, int rowTop);
    int placeLeftCaptioned(QLineEdit* field, const char* caption, int x, int captionWidth, int width);

    // Editing (CWWindowControllerEditing.cpp).
    void installEditingRules();

    // Settings (CWWindowControllerSettings.cpp).
    CW_SETTINGS_FORM readForm() const;
    void showForm(const CW_SETTINGS_FORM& form);
    double peakHz() const;
    void reportEngine(const CW_RX_STATUS& status);
    CW_TUNER_RESULT tuneWithFrame(const float* mono, size_t count, const CW_RX_CONFIG& config,
                                  const CW_RX_STATUS& status, double inputDbFS, double now);

    // Audio pipeline (CWWindowControllerAudio.cpp).
    size_t fillMonoBuffer(const uint8_t* data, size_t size, const TCIStreamInfo& info);
    void showFrameStatus(const CW_RX_CONFIG& config, const CW_RX_STATUS& status, double sampleRate,
                         double inputDbFS, double now);
    void resetAudioBookkeeping();

    // Text panes (CWWindowControllerTextPanes.cpp).
    std::tm localTimeNow() const;
    // The informative text, when given, follows the message after a blank line.
    void showAlert(const std::string& message, const std::string& informativeText = {});

    // Logging (CWWindowControllerLogging.cpp).
    bool runLogDialog(CWLogQSODialog& dialog);
    void logQSOFromDialog(const CWLogQSODialog& dialog, const CW_UTC_STAMP& stamp);
    void sendLogRecordViaUdp(const std::string& record, const std::string& call, const std::string& freq,
                             const std::string& host, long long port, const std::string& logPath);
    std::time_t utcNow() const;

    // Macro setup (CWWindowControllerMacroSetup.cpp).
    bool runMacroSetup(CWMacroSetupDialog& dialog);
    void storeMacroSetup(const CWMacroSetupDialog& dialog);
    QString chooseFile(bool save, const QString& title, const QString& proposedName);

    CWPreferenceStore& preferences_;
    CW_WINDOW_ENVIRONMENT environment_;
    TCIClient client_;

    std::unique_ptr<QMainWindow> window_;
    CWDarkContentView* content_ = nullptr;
    std::vector<std::pair<QWidget*, FrameRule>> placements_;

    // Connection and decoder controls.
    QLineEdit* hostField_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* gotoMaxButton_ = nullptr;
    QLineEdit* pitchField_ = nullptr;
    QLineEdit* bandwidthField_ = nullptr;
    QLineEdit* thresholdDisplay_ = nullptr;
    QLineEdit* minWpmField_ = nullptr;
    QLineEdit* maxWpmField_ = nullptr;
    QCheckBox* autoCenterButton_ = nullptr;
    QLineEdit* squelchField_ = nullptr;
    QLineEdit* qomSearchField_ = nullptr;
    QCheckBox* qomAgcButton_ = nullptr;
    QLineEdit* qomLockHoldField_ = nullptr;
    QLineEdit* autoGtmRearmField_ = nullptr;
    QLabel* statusLabel_ = nullptr;

    // Panes and buttons.
    CWDecodedTextView* decodedTextView_ = nullptr;
    QPlainTextEdit* logTextView_ = nullptr;
    QPlainTextEdit* txTextView_ = nullptr;
    QPushButton* saveTxtButton_ = nullptr;
    CWQSOTextField* partnerCallField_ = nullptr;
    CWQSOTextField* partnerNameField_ = nullptr;
    QLineEdit* qsoRSTField_ = nullptr;
    QLineEdit* qsoPRSTField_ = nullptr;
    QLineEdit* txWpmField_ = nullptr;
    QCheckBox* shortRSTButton_ = nullptr;
    std::vector<QPushButton*> macroButtons_;
    int64_t decodePickTarget_ = 1;
    double lastDecodePickTimestamp_ = 0.0;
    CWMacroSetupDialog* macroSetupDialog_ = nullptr;  // while it is open

    CWSpectrumView* spectrumView_ = nullptr;
    CWToneTraceView* toneTraceView_ = nullptr;

    // Receiver and the audio pipeline's bookkeeping.
    CW_RX* cwRx_ = nullptr;
    CW_TUNER* tuner_ = nullptr;  // spectrum, GotoMax and AutoGTM
    CW_RX_CONFIG appliedDecoderConfig_{};  // as last given to recreateDecoder
    double appliedSquelch_ = 0.0;
    uint64_t decoderRebuildCount_ = 0;
    std::vector<float> monoBuffer_;  // only grows, to the largest frame seen
    CW_CAPTURE_RING captureRing_;
    uint64_t audioFrameCounter_ = 0;
    uint64_t statusLineRefreshCount_ = 0;
    bool rxAudioActiveLogged_ = false;
    bool unusableRateLogged_ = false;
    bool engineMissingLogged_ = false;
    double lastTraceUpdateTime_ = 0.0;
    double lastStatusUpdateTime_ = 0.0;

    // Transceiver state, cleared at every connect and disconnect report.
    TCI_RADIO_STATE tciState_;

    // The server given on the command line; not stored while the fields show it.
    std::optional<std::pair<std::string, std::string>> runOnlyConnection_;

    std::unique_ptr<QFile> rxTextLogFile_;
    QString rxTextLogPath_;
    std::function<void(const std::string&)> logEcho_;
};
