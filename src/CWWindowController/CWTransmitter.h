// CW transmit through the server's macro keyer: the macro buttons, the TX
// text with Send and Stop, macro tokens expanded from the QSO fields and the
// station, and the TX speed.
#pragma once

#include "cw_macro_expansion.h"

#include <functional>
#include <string>
#include <vector>

class CWPreferenceStore;
class CWTxTextView;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TCIClient;

// The controls transmit reads and writes; owned by the window.
struct CW_TRANSMIT_WIDGETS {
    CWTxTextView* txText;
    QLineEdit* txWpm;
    QLineEdit* partnerCall;
    QLineEdit* partnerName;
    QLineEdit* rst;
    QLineEdit* prst;
    QCheckBox* shortRst;
    std::vector<QPushButton*> macroButtons;
};

class CWTransmitter {
public:
    // The store and the client must outlive this object; `transmitted`
    // shows what went out and at what speed.
    CWTransmitter(CWPreferenceStore& preferences, TCIClient& client, CW_TRANSMIT_WIDGETS widgets,
                  std::function<void(const std::string&)> log,
                  std::function<void(const std::string&, double)> transmitted);

    CW_MACRO_EXPANSION expandedMacroText(const std::string& text) const;
    // True when the text went out; the text is expanded already.
    bool sendCWMacroText(const std::string& text);
    void sendTx();
    void stop();
    void sendMacro(size_t index);
    // The server's keyer takes the TX WPM field's speed, while connected.
    void sendSpeed();
    void refreshMacroButtons();

private:
    CWPreferenceStore& preferences_;
    TCIClient& client_;
    CW_TRANSMIT_WIDGETS widgets_;
    std::function<void(const std::string&)> log_;
    std::function<void(const std::string&, double)> transmitted_;
};
