#include "CWWindowController.h"

#include "CWDarkContentView.h"
#include "cw_window_title.h"

#include <QFile>
#include <QMainWindow>

CWWindowController::CWWindowController(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment)
    : preferences_(preferences), environment_(std::move(environment))
{
    client_.setDelegate(this);
    const CW_TUNER_CONFIG tuning{.autoGtm = 0, .rearmSeconds = 0.0, .findTone = 0};
    tuner_ = cw_tuner_create(&tuning);
    createWindow();
    buildUI();
    recreateDecoder();
}

CWWindowController::~CWWindowController()
{
    closeRxTextLog();
    client_.disconnect();
    client_.setDelegate(nullptr);
    cw_rx_destroy(cwRx_);
    cwRx_ = nullptr;
    cw_tuner_destroy(tuner_);
    tuner_ = nullptr;
    if (spectrumView_)
        spectrumView_->setDelegate(nullptr);
    if (toneTraceView_)
        toneTraceView_->setDelegate(nullptr);
}
