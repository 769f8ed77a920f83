// The one main window: it lays out every control and owns the objects that
// do the work behind them (settings and connection, the receive pipeline,
// transmit, the received text, the QSO log, the RX text log and the WAV
// capture), wiring them to each other through callbacks. Everything runs on
// the thread that owns the Qt event loop.
#pragma once

#include "CWClusterFeed.h"
#include "CWConnectionSettings.h"
#include "CWQSOLogger.h"
#include "CWReceivePipeline.h"
#include "CWReceivedTextPane.h"
#include "CWRxTextLog.h"
#include "CWSkimmerFeed.h"
#include "CWSpectrumView.h"
#include "CWSpotTuning.h"
#include "CWToneTraceView.h"
#include "CWTransmitter.h"
#include "CWWavCapture.h"
#include "TCIClient.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CWDarkContentView;
class CWLogQSODialog;
class CWMacroSetupDialog;
class CWDecodedTextView;
class CWQSOTextField;
class CWSkimmerWindow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// What the controller takes from its surroundings; tests replace it.
struct CW_WINDOW_ENVIRONMENT {
    QString documentsFolder;                          // empty: the user's Documents folder, else home
    std::function<std::tm()> localTime;               // empty: the system clock in local time
    QString desktopFolder{};                          // empty: the user's Desktop folder, else home
    std::function<void(const std::string&)> alert{};  // empty: a message box over the window
    std::function<std::time_t()> utcNow{};            // empty: the system clock
    // Runs the Log QSO dialog; true for "Send to Log". Empty: modal on screen.
    std::function<bool(CWLogQSODialog&)> runLogQSODialog{};
    // Runs the Macro Setup dialog; true for "OK". Empty: modal on screen.
    std::function<bool(CWMacroSetupDialog&)> runMacroSetupDialog{};
    // A file chosen for saving (with the proposed name) or opening; empty
    // when cancelled. Empty function: the system's file panel.
    std::function<QString(bool save, const QString& title, const QString& proposedName)> chooseFile{};
    // The cluster feed's port for this run; negative: the stored setting.
    int32_t clusterPort = -1;
};

class CWWindowController : public TCIClientDelegate, public CWSpectrumViewDelegate, public CWToneTraceViewDelegate {
public:
    // The store must outlive the controller.
    explicit CWWindowController(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment = {});
    // Closes the RX text log and disconnects.
    ~CWWindowController();
    CWWindowController(const CWWindowController&) = delete;
    CWWindowController& operator=(const CWWindowController&) = delete;

    QMainWindow* window() const { return window_.get(); }
    void showWindow();

    // The working parts, for a look at their state.
    const CWConnectionSettings& settings() const { return *settings_; }
    const CWReceivePipeline& receiver() const { return *receiver_; }
    const CWRxTextLog& rxTextLog() const { return *rxTextLog_; }
    const CWWavCapture& capture() const { return *capture_; }
    const CWSkimmerFeed& skimmer() const { return *skimmerFeed_; }
    const CWClusterFeed& cluster() const { return *clusterFeed_; }
    const CWSpotTuning& spotTuning() const { return *spotTuning_; }

    // The Skimmer window, made at the first call, shown and in front.
    void openSkimmerWindow();
    // Null until first opened.
    CWSkimmerWindow* skimmerWindow() const { return skimmerWindow_; }

    // Connect or Disconnect; a connect stores and applies the settings first.
    void connectClicked();
    // The fields show this server; Connect does not store it while they do.
    void useConnectionForThisRun(const std::string& host, long long port);
    // Quantised to 5 Hz within 300..1200, shown and stored; a manual change
    // also resets the receiver.
    void applyPitchHz(double hz, bool resetDecoder = true);

    void appendLog(const std::string& line);
    void appendDecodedText(const std::string& text);
    // A line sent to the keyer at `wpm`; its echo waits for a word end.
    void appendTransmittedText(const std::string& text, double wpm);
    // Stop: the keyer drops its queue and lines cut short are marked.
    void stopTransmitting();
    // Every log line is also handed here (the program's --print-log).
    void setLogEcho(std::function<void(const std::string&)> echo) { logEcho_ = std::move(echo); }

    // Ending an edit in any field normalises, stores and applies every setting.
    void controlTextDidEndEditing(QWidget* field);
    // A double-clicked word of the received text goes to the pick target.
    void decodedTextViewDidDoubleClickPickedString(const QString& word, double eventTime);
    int64_t decodePickTarget() const { return decodePickTarget_; }

    // TCIClientDelegate
    void tciClientDidLogLine(TCIClient* client, const std::string& line) override;
    void tciClientDidConnect(TCIClient* client) override;
    void tciClientDidDisconnectWithError(TCIClient* client, const TCI_ERROR& error) override;
    void tciClientDidReceiveTextMessage(TCIClient* client, const std::string& text) override;
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient* client, uint64_t length,
                                                    TCIStreamInfo streamInfo) override;
    void tciClientDidReceiveRxAudioFrameData(TCIClient* client, const uint8_t* data, size_t size,
                                             TCIStreamInfo streamInfo) override;
    void tciClientDidReceiveRateZeroAudioFrameData(TCIClient* client, const uint8_t* data, size_t size,
                                                   TCIStreamInfo info) override;

    // CWSpectrumViewDelegate
    void spectrumViewDidSelectPitchHz(CWSpectrumView* view, double pitchHz) override;

private:
    // Empty spectrum and trace once audio stops with the link.
    void clearAudioDisplays();
    // Spots of the link that ends go from the panorama while it is up; the
    // skimmer starts afresh for the next stream.
    void restartSkimmer(bool clearPanorama);
    using FrameRule = std::function<QRect(int width, int height)>;

    // Every control the objects drive, as the layout made them.
    struct WIDGETS {
        CW_SETTINGS_WIDGETS settings{};
        CW_RECEIVE_VIEWS views{};
        CW_TRANSMIT_WIDGETS transmit{};
        CWQSOTextField* partnerCall = nullptr;
        CWQSOTextField* partnerName = nullptr;
        CWDecodedTextView* decodedText = nullptr;
        QPlainTextEdit* logPane = nullptr;
        QPushButton* saveTxt = nullptr;
    };

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

    // The working parts, made once the controls exist (CWWindowController.cpp).
    void makeParts();
    // Stores the fields and gives the receiver and the tuner what they say.
    void applySettings();
    void gotoMaxClicked();
    void resetQOMDefaultsClicked();
    void clearQSOClicked();
    std::tm localTimeNow() const;
    // The informative text, when given, follows the message after a blank line.
    void showAlert(const std::string& message, const std::string& informativeText = {});

    // Editing and keys (CWWindowControllerEditing.cpp).
    void installEditingRules();
    // Return in the TX line sends it; anywhere in the window Escape stops
    // and F1..F8 send the macros, as their buttons do.
    void installKeys();
    void uppercaseTextFieldPreservingSelection(QLineEdit* field);
    void uppercaseTxTextPreservingSelection();

    // Macro setup and macro files (CWWindowControllerMacroSetup.cpp).
    void openMacroSetup();
    void storeMacroSetup(const CWMacroSetupDialog& dialog);
    QString chooseFile(bool save, const QString& title, const QString& proposedName);
    void exportMacroTextsClicked();
    void importMacroTextsClicked();
    void showMacroTextFileError(const std::string& title, const std::string& detail);

    CWPreferenceStore& preferences_;
    CW_WINDOW_ENVIRONMENT environment_;
    std::unique_ptr<QMainWindow> window_;  // closed before the parts go, which hold its controls
    CWDarkContentView* content_ = nullptr;
    std::vector<std::pair<QWidget*, FrameRule>> placements_;
    WIDGETS widgets_;
    int64_t decodePickTarget_ = 1;
    double lastDecodePickTimestamp_ = 0.0;
    CWMacroSetupDialog* macroSetupDialog_ = nullptr;  // while it is open
    CWSkimmerWindow* skimmerWindow_ = nullptr;        // a child of the window, which deletes it
    std::function<void(const std::string&)> logEcho_;

    std::unique_ptr<CWConnectionSettings> settings_;
    std::unique_ptr<CWReceivePipeline> receiver_;
    std::unique_ptr<CWWavCapture> capture_;
    std::unique_ptr<CWRxTextLog> rxTextLog_;
    std::unique_ptr<CWReceivedTextPane> receivedText_;
    std::unique_ptr<CWTransmitter> transmitter_;
    std::unique_ptr<CWQSOLogger> qsoLogger_;
    std::unique_ptr<CWSkimmerFeed> skimmerFeed_;
    std::unique_ptr<CWClusterFeed> clusterFeed_;
    std::unique_ptr<CWSpotTuning> spotTuning_;
};
