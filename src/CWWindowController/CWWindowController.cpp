#include "CWWindowController.h"

#include "CWDarkContentView.h"
#include "cw_window_title.h"

#include <QFile>
#include <QMainWindow>

CWWindowController::CWWindowController(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment)
    : preferences_(preferences), environment_(std::move(environment))
{
    client_.setDelegate(this);
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
    if (spectrumView_)
        spectrumView_->setDelegate(nullptr);
    if (toneTraceView_)
        toneTraceView_->setDelegate(nullptr);
}
