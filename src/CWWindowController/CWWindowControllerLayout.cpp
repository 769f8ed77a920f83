// The window and every control in it. Frames are written as the layout is
// drawn, with y measured up from the bottom edge, and converted to Qt's
// top-left origin; every frame is recomputed from the content size on each
// resize.
#include "CWWindowController.h"

#include "CWDarkContentView.h"
#include "CWWindowAppearance.h"
#include "CWDecodedTextView.h"
#include "CWQSOTextField.h"
#include "CWTxTextView.h"
#include "cw_macro_buttons.h"
#include "cw_text_panes.h"
#include "CWViewPaint.h"
#include "cw_window_title.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kContentWidth = 1220;
constexpr int kContentHeight = 720;
constexpr int kMinContentWidth = 1120;
constexpr int kMinContentHeight = 640;
constexpr int kWindowX = 120;
constexpr int kWindowY = 120;

constexpr int kMargin = 20;
constexpr int kFieldHeight = 24;
constexpr int kCaptionHeight = 18;
constexpr int kCaptionDrop = 22;  // caption y below its field's y
constexpr int kCaptionGap = 4;    // caption to field in the QSO row

// Rows under the top edge: fields at y = H - top.
constexpr int kConnectionRowTop = 42;
constexpr int kTuningRowTop = 92;
constexpr int kConnectionRowGap = 10;
constexpr int kTuningRowGap = 6;

// The QSO row sits at fixed heights above the bottom edge.
constexpr int kQSOButtonY = 157;
constexpr int kQSOFieldY = 160;
constexpr int kQSOCaptionY = 164;
constexpr int kQSORowGap = 8;

constexpr int kMacroButtonY = 88;
constexpr int kMacroButtonHeight = 26;
constexpr int kMacroButtonSpacing = 6;

constexpr double kDisplayTextGrey = 0.68;
constexpr double kCheckboxBoxGrey = 0.22;  // the box must stand out from the background
constexpr double kPaneBackgroundGrey = 0.05;
constexpr double kTxPaneBackgroundGrey = 0.1;

void cw_apply_pane_appearance(QPlainTextEdit* pane, int points, double background, bool scroller)
{
    pane->setFont(cw_monospaced_font(points));
    pane->setFrameShape(QFrame::NoFrame);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setVerticalScrollBarPolicy(scroller ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    cw_set_colour(pane, QPalette::Base, cw_grey(background));
}

// The QOM Thr field only shows what the receiver reports.
void cw_make_display_only(QLineEdit* field)
{
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAttribute(Qt::WA_TransparentForMouseEvents);
    cw_set_colour(field, QPalette::Text, cw_grey(kDisplayTextGrey));
}

// Left edge and width of macro button i, so that the row spans the margins
// whatever the rounding.
std::pair<int, int> cw_macro_button_span(size_t index, int width)
{
    const double buttonWidth = (width - 82) / 8.0;
    const double left = kMargin + static_cast<double>(index) * (buttonWidth + kMacroButtonSpacing);
    const int x = static_cast<int>(std::lround(left));
    return {x, static_cast<int>(std::lround(left + buttonWidth)) - x};
}

}  // namespace

void CWWindowController::createWindow()
{
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(kCWProgramName);
    content_ = new CWDarkContentView;
    content_->setObjectName("contentView");
    content_->setMinimumSize(kMinContentWidth, kMinContentHeight);
    window_->setCentralWidget(content_);
    cw_set_colour(window_.get(), QPalette::Window, CWDarkContentView::backgroundColor());
    window_->resize(kContentWidth, kContentHeight);
    window_->move(kWindowX, kWindowY);
}

void CWWindowController::showWindow()
{
    // A menu bar added since construction takes its height from the content.
    if (!window_->isVisible() && content_->size() != QSize(kContentWidth, kContentHeight)) {
        const int menuHeight = window_->menuWidget() ? window_->menuWidget()->sizeHint().height() : 0;
        window_->resize(kContentWidth, kContentHeight + menuHeight);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void CWWindowController::buildUI()
{
    const CW_SETTINGS_FORM form = cw_settings_form_load(preferences_);
    buildConnectionRow(form);
    buildTuningRow(form);
    buildViews();
    buildQSORow(form);
    widgets_.transmit.txText = new CWTxTextView(content_);
    widgets_.transmit.txText->setObjectName("txTextView");
    cw_apply_pane_appearance(widgets_.transmit.txText, 14, kTxPaneBackgroundGrey, false);
    cw_set_colour(widgets_.transmit.txText, QPalette::Text, cw_grey(kCWFieldTextGrey));
    place(widgets_.transmit.txText, [](int W, int H) { return cw_frame(H, kMargin, 120, W - 2 * kMargin, 32); });
    buildMacroButtons();
    buildLogPane();
    installEditingRules();
    installKeys();
    content_->setResizeHandler([this](const QSize& size) { layoutControls(size); });
}

void CWWindowController::buildConnectionRow(const CW_SETTINGS_FORM& form)
{
    const int top = kConnectionRowTop;
    const int gap = kConnectionRowGap;
    int x = kMargin;
    widgets_.settings.host = makeField("hostField", form.host, nullptr);
    x = placeCaptionedField(widgets_.settings.host, "Host", x, 150, 150, top) + gap;
    widgets_.settings.port = makeField("portField", form.port, nullptr);
    x = placeCaptionedField(widgets_.settings.port, "Port", x, 70, 70, top) + gap;
    widgets_.settings.connectButton = makeButton("connectButton", "Connect", nullptr, [this] { connectClicked(); });
    x = placeInRow(widgets_.settings.connectButton, x, 100, 28, top) + gap;
    QPushButton* gotoMax =
        makeButton("gotoMaxButton", "GotoMax", "Set pitch to the strongest visible CW peak near the current pitch.",
                   [this] { gotoMaxClicked(); });
    x = placeInRow(gotoMax, x, 85, 28, top) + gap;
    widgets_.settings.pitch = makeField("pitchField", form.pitch, nullptr);
    x = placeCaptionedField(widgets_.settings.pitch, "Pitch", x, 60, 60, top) + gap;
    widgets_.settings.bandwidth = makeField("bandwidthField", form.bandwidth, nullptr);
    x = placeCaptionedField(widgets_.settings.bandwidth, "BW", x, 50, 50, top) + gap;
    widgets_.settings.threshold = makeField("thresholdDisplay", form.threshold,
                                            "qomorse internal auto-threshold display. Not an operator control.");
    cw_make_display_only(widgets_.settings.threshold);
    x = placeCaptionedField(widgets_.settings.threshold, "QOM Thr", x, 55, 60, top) + gap;
    widgets_.settings.minWpm = makeField("minWpmField", form.minWpm, nullptr);
    x = placeCaptionedField(widgets_.settings.minWpm, "Min", x, 38, 38, top) + gap;
    widgets_.settings.maxWpm = makeField("maxWpmField", form.maxWpm, nullptr);
    x = placeCaptionedField(widgets_.settings.maxWpm, "Max", x, 38, 38, top) + gap;
    widgets_.settings.autoCenter =
        makeCheckbox("autoCenterButton", "AutoGTM",
                     "Automatically run GotoMax once when a new CW signal starts. Does not chase "
                     "the peak while characters are being sent.",
                     form.autoCenter);
    x = placeInRow(widgets_.settings.autoCenter, x, 115, 26, top) + gap;
    widgets_.settings.squelch =
        makeField("squelchField", form.squelch,
                  "Text squelch 0..1: decoded text is held back while no CW signal is present, so "
                  "band noise prints nothing. 0 = off. Default 0.50.");
    placeCaptionedField(widgets_.settings.squelch, "SQL", x, 45, 45, top);
}

void CWWindowController::buildTuningRow(const CW_SETTINGS_FORM& form)
{
    const int top = kTuningRowTop;
    const int gap = kTuningRowGap;
    int x = kMargin;
    widgets_.settings.qomSearch = makeField("qomSearchField", form.qomSearch,
                                            "qomorse pitch search half-width in Hz. Narrower rejects neighbouring CW "
                                            "carriers; wider tolerates drift.");
    x = placeCaptionedField(widgets_.settings.qomSearch, "QOM Hz", x, 45, 55, top) + gap;
    widgets_.settings.agc =
        makeCheckbox("qomAgcButton", "AGC",
                     "Enable decoder-only input gain normalization for qomorse. It does not affect RX "
                     "audio or WAV capture.",
                     form.agc);
    x = placeInRow(widgets_.settings.agc, x, 70, 26, top) + gap;
    widgets_.settings.lockHold =
        makeField("qomLockHoldField", form.lockHold, "Seconds to hold LOCK across normal CW/CQ pauses.");
    x = placeCaptionedField(widgets_.settings.lockHold, "Hold", x, 45, 45, top) + gap;
    widgets_.settings.autoGtmRearm =
        makeField("autoGtmRearmField", form.autoGtmRearm,
                  "Seconds before AutoGTM may retune again after a previous automatic GotoMax.");
    x = placeCaptionedField(widgets_.settings.autoGtmRearm, "Rearm", x, 45, 50, top) + gap;
    QPushButton* defaults =
        makeButton("resetQOMDefaultsButton", "QOM Def",
                   "Reset qomorse tuning to defaults: BW 120 Hz, RX WPM 10..60, QOM Hz 15, AGC on, Hold 1.8 s, "
                   "Rearm 2.5 s.",
                   [this] { resetQOMDefaultsClicked(); });
    placeInRow(defaults, x, 80, 26, top);

    widgets_.settings.statusLabel = new QLabel(QString::fromUtf8(kCWStatusIdle), content_);
    widgets_.settings.statusLabel->setObjectName("statusLabel");
    widgets_.settings.statusLabel->setFont(cw_monospaced_font(12));
    place(widgets_.settings.statusLabel,
          [](int W, int H) { return cw_frame(H, 360, H - kTuningRowTop + 2, W - 685, 20); });

    widgets_.saveTxt = makeButton("saveTxtButton", "RX TXT",
                                  "Start/stop a plain RX text session log in Documents/Zarvo/rx. No timestamps, RX "
                                  "only.",
                                  [this] { rxTextLog_->toggle(); });
    QPushButton* clear = makeButton("clearRxButton", "Clear RX", "Clear the RX decoder text window.",
                                    [this] { receivedText_->clear(); });
    QPushButton* wav = makeButton("saveWavButton", "Save WAV",
                                  "Save the last 30 seconds of RX audio as 16-bit mono WAV on the Desktop.",
                                  [this] { capture_->save(); });
    const std::pair<QPushButton*, std::pair<int, int>> rightButtons[] = {
        {widgets_.saveTxt, {304, 82}}, {clear, {214, 86}}, {wav, {120, 100}}};
    for (const auto& [button, offsetAndWidth] : rightButtons) {
        const auto [fromRight, width] = offsetAndWidth;
        place(button, [fromRight, width](int W, int H) {
            return cw_frame(H, W - fromRight, H - kTuningRowTop - 1, width, 26);
        });
    }
}

void CWWindowController::buildViews()
{
    widgets_.views.spectrum = new CWSpectrumView(content_);
    widgets_.views.spectrum->setObjectName("spectrumView");
    widgets_.views.spectrum->setDelegate(this);
    place(widgets_.views.spectrum, [](int W, int H) { return cw_frame(H, kMargin, H - 225, W - 2 * kMargin, 110); });
    widgets_.views.trace = new CWToneTraceView(content_);
    widgets_.views.trace->setObjectName("toneTraceView");
    widgets_.views.trace->setDelegate(this);
    place(widgets_.views.trace, [](int W, int H) { return cw_frame(H, kMargin, H - 315, W - 2 * kMargin, 75); });
    widgets_.decodedText = new CWDecodedTextView(content_);
    widgets_.decodedText->setObjectName("decodedTextView");
    cw_apply_pane_appearance(widgets_.decodedText, 15, kPaneBackgroundGrey, true);
    place(widgets_.decodedText, [](int W, int H) { return cw_frame(H, kMargin, 188, W - 2 * kMargin, H - 523); });
}

void CWWindowController::buildQSORow(const CW_SETTINGS_FORM& form)
{
    int x = kMargin;
    widgets_.partnerCall = new CWQSOTextField(1, content_);
    widgets_.partnerCall->setObjectName("partnerCallField");
    widgets_.partnerCall->setToolTip("QSO partner callsign for the <PCALL> macro token. Double-click decoded text "
                                     "after selecting this field.");
    x = placeLeftCaptioned(widgets_.partnerCall, "CALL", x, 36, 115);
    widgets_.partnerName = new CWQSOTextField(2, content_);
    widgets_.partnerName->setObjectName("partnerNameField");
    widgets_.partnerName->setToolTip("QSO partner name for the <PNAME> macro token.");
    x = placeLeftCaptioned(widgets_.partnerName, "NAME", x, 40, 105);
    cw_apply_text_field_dark_appearance(widgets_.partnerCall);
    cw_apply_text_field_dark_appearance(widgets_.partnerName);
    const auto placeButton = [this, &x](QWidget* widget, int width, int height, int y) {
        place(widget, [x, width, height, y](int, int H) { return cw_frame(H, x, y, width, height); });
        x += width + kQSORowGap;
    };
    placeButton(makeButton("clearQSOButton", "Clear", "Clear CALL and NAME fields.", [this] { clearQSOClicked(); }), 60,
                28, kQSOButtonY);
    placeButton(makeButton("logQSOButton", "Log", "Open Log QSO dialog. UTC timestamp is captured immediately.",
                           [this] { qsoLogger_->open(); }),
                60, 28, kQSOButtonY);
    widgets_.transmit.rst = makeField("qsoRSTField", "599", "Sent RST for <RST>.");
    x = placeLeftCaptioned(widgets_.transmit.rst, "S", x, 12, 45);
    widgets_.transmit.prst = makeField("qsoPRSTField", "599", "Received RST for <PRST>.");
    x = placeLeftCaptioned(widgets_.transmit.prst, "R", x, 12, 45);
    widgets_.settings.txWpm =
        makeField("txWpmField", form.txWpm, "CW macro speed. Read from TCI at connect; edits send cw_macros_speed.");
    x = placeLeftCaptioned(widgets_.settings.txWpm, "TX WPM", x, 50, 45);
    widgets_.settings.shortRst =
        makeCheckbox("shortRSTButton", "Short",
                     "Send <RST> with CW cut numbers: 599 becomes 5NN, 0 becomes T. The RST field and "
                     "ADIF log stay numeric.",
                     form.shortRst);
    placeButton(widgets_.settings.shortRst, 72, 24, kQSOFieldY);
    placeButton(makeButton("macroSetupButton", "Setup",
                           "Edit station tokens and macro button texts. Import/export macro files.",
                           [this] { openMacroSetup(); }),
                68, 28, kQSOButtonY);
    placeButton(makeButton("stopButton", "Stop", "Stop queued CW macro text.", [this] { stopTransmitting(); }), 54, 28,
                kQSOButtonY);
    placeButton(
        makeButton("sendButton", "Send", "Send the TX text as a TCI CW macro.", [this] { transmitter_->sendTx(); }), 56,
        28, kQSOButtonY);
}

void CWWindowController::buildMacroButtons()
{
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        QPushButton* button = makeButton(nullptr, nullptr, nullptr, [this, i] { transmitter_->sendMacro(i); });
        button->setObjectName(QString("macroButton%1").arg(i));
        place(button, [i](int W, int H) {
            const auto [x, width] = cw_macro_button_span(i, W);
            return cw_frame(H, x, kMacroButtonY, width, kMacroButtonHeight);
        });
        widgets_.transmit.macroButtons.push_back(button);
    }
}

void CWWindowController::buildLogPane()
{
    widgets_.logPane = new QPlainTextEdit(content_);
    widgets_.logPane->setObjectName("logTextView");
    widgets_.logPane->setReadOnly(true);
    widgets_.logPane->setUndoRedoEnabled(false);
    widgets_.logPane->setMaximumBlockCount(static_cast<int>(kCWLogPaneMaxLines));
    cw_apply_pane_appearance(widgets_.logPane, 11, kPaneBackgroundGrey, true);
    place(widgets_.logPane, [](int W, int H) { return cw_frame(H, kMargin, 20, W - 2 * kMargin, 60); });
}

void CWWindowController::place(QWidget* widget, FrameRule rule)
{
    widget->setGeometry(rule(content_->width(), content_->height()));
    placements_.emplace_back(widget, std::move(rule));
}

void CWWindowController::layoutControls(const QSize& size)
{
    for (const auto& [widget, rule] : placements_)
        widget->setGeometry(rule(size.width(), size.height()));
}

QLineEdit* CWWindowController::makeField(const char* name, const std::string& text, const char* tooltip)
{
    QLineEdit* field = cw_dark_text_field(QString::fromStdString(text), content_);
    field->setObjectName(name);
    if (tooltip)
        field->setToolTip(tooltip);
    return field;
}

QLabel* CWWindowController::makeCaption(const char* text, Qt::Alignment alignment)
{
    QLabel* label = cw_label(text, content_);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

QPushButton* CWWindowController::makeButton(const char* name, const char* title, const char* tooltip,
                                            std::function<void()> action)
{
    QPushButton* button = new QPushButton(title, content_);
    button->setObjectName(name);
    if (tooltip)
        button->setToolTip(tooltip);
    button->setAutoDefault(false);
    cw_set_colour(button, QPalette::ButtonText, cw_grey(kCWButtonTintGrey));
    QObject::connect(button, &QPushButton::clicked, button, [action = std::move(action)] { action(); });
    return button;
}

QCheckBox* CWWindowController::makeCheckbox(const char* name, const char* title, const char* tooltip, bool checked)
{
    QCheckBox* box = new QCheckBox(title, content_);
    box->setObjectName(name);
    box->setToolTip(tooltip);
    box->setChecked(checked);
    cw_set_colour(box, QPalette::Base, cw_grey(kCheckboxBoxGrey));
    cw_set_colour(box, QPalette::WindowText, cw_grey(kCWButtonTintGrey));
    cw_set_colour(box, QPalette::ButtonText, cw_grey(kCWButtonTintGrey));
    QObject::connect(box, &QCheckBox::clicked, box, [this] { applySettings(); });
    return box;
}

int CWWindowController::placeCaptionedField(QLineEdit* field, const char* caption, int x, int width, int captionWidth,
                                            int rowTop)
{
    place(field, [x, width, rowTop](int, int H) { return cw_frame(H, x, H - rowTop, width, kFieldHeight); });
    place(makeCaption(caption), [x, captionWidth, rowTop](int, int H) {
        return cw_frame(H, x, H - rowTop - kCaptionDrop, captionWidth, kCaptionHeight);
    });
    return x + std::max(width, captionWidth);
}

int CWWindowController::placeInRow(QWidget* widget, int x, int width, int height, int rowTop)
{
    // Taller controls stand centred on the row's fields.
    const int drop = (height - kFieldHeight) / 2;
    place(widget,
          [x, width, height, rowTop, drop](int, int H) { return cw_frame(H, x, H - rowTop - drop, width, height); });
    return x + width;
}

int CWWindowController::placeLeftCaptioned(QLineEdit* field, const char* caption, int x, int captionWidth, int width)
{
    place(makeCaption(caption, Qt::AlignRight),
          [x, captionWidth](int, int H) { return cw_frame(H, x, kQSOCaptionY, captionWidth, kCaptionHeight); });
    const int fieldX = x + captionWidth + kCaptionGap;
    place(field, [fieldX, width](int, int H) { return cw_frame(H, fieldX, kQSOFieldY, width, kFieldHeight); });
    return fieldX + width + kQSORowGap;
}
