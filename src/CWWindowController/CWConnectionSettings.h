// The settings fields and the link to the server: what the fields show is
// read back clamped, shown normalised and stored; Connect and Disconnect,
// the transceiver's reported state and the window title follow the client.
#pragma once

#include "TCIClient.h"
#include "cw_settings_form.h"
#include "cw_tuner.h"
#include "tci_state.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls this object reads and writes; owned by the window.
struct CW_SETTINGS_WIDGETS {
    QLineEdit* host;
    QLineEdit* port;
    QLineEdit* pitch;
    QLineEdit* bandwidth;
    QLineEdit* threshold;
    QLineEdit* minWpm;
    QLineEdit* maxWpm;
    QLineEdit* qomSearch;
    QLineEdit* lockHold;
    QLineEdit* autoGtmRearm;
    QLineEdit* txWpm;
    QCheckBox* autoCenter;
    QCheckBox* agc;
    QCheckBox* shortRst;
    QLineEdit* squelch;
    QPushButton* connectButton;
    QLabel* statusLabel;
    QWidget* window;  // its title shows the link and the radio
};

class CWConnectionSettings {
public:
    // The store must outlive this object.
    CWConnectionSettings(CWPreferenceStore& preferences, const CW_SETTINGS_WIDGETS& widgets,
                         std::function<void(const std::string&)> log);
    ~CWConnectionSettings();
    CWConnectionSettings(const CWConnectionSettings&) = delete;
    CWConnectionSettings& operator=(const CWConnectionSettings&) = delete;

    CW_SETTINGS_FORM readForm() const;
    void showForm(const CW_SETTINGS_FORM& form);
    // Every field rewritten as its clamped value, as when an edit ends.
    CW_SETTINGS_FORM normaliseFields();
    void resetQomDefaults();
    // Shows the pitch quantised to 5 Hz within 300..1200.
    void showPitch(double hz);
    double pitchHzValue() const;
    CW_RX_CONFIG decoderConfig(double sampleRate) const;
    double squelch() const;
    CW_TUNER_CONFIG tunerConfig() const;
    // Every key, the host and port only while they are not the run-only server.
    void store();

    // The fields show this server; store() leaves the stored one while they do.
    void useConnectionForThisRun(const std::string& host, long long port);
    TCIClient& client() { return client_; }
    const TCIClient& client() const { return client_; }
    void connect();
    void disconnect();
    void updateConnectButton();

    // The client's reports.
    void didConnect();
    void didDisconnect(const TCI_ERROR& error);
    // Also returns what the message changed, for the parts that follow the
    // radio (spot clicks, a moved vfo).
    TCI_STATE_EVENTS didReceiveText(const std::string& text);
    double frequencyHz() const { return radio_.frequencyHz; }
    const std::string& mode() const { return radio_.mode; }

private:
    void updateTitle();

    CWPreferenceStore& preferences_;
    CW_SETTINGS_WIDGETS widgets_;
    std::function<void(const std::string&)> log_;
    TCIClient client_;
    TCI_RADIO_STATE radio_;  // cleared at every connect and disconnect report
    std::optional<std::pair<std::string, std::string>> runOnlyConnection_;
};
