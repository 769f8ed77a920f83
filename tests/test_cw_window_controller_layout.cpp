// The window's controls: texts, tooltips, geometry at more than one size,
// and the menus around it.
#include "test_cw_window_controller_fixture.h"

#include "AppDelegate.h"
#include "CWSkimmerWindow.h"
#include "tool_run.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

using namespace cw_window_test;

namespace {

// A button with its title, or a field with its caption below it or, in the
// QSO row, to its left; `hint` when it has a tooltip.
enum class Kind { Button, CaptionBelow, CaptionLeft };
struct Control {
    const char* name;
    const char* text;
    bool hint;
    Kind kind;
};

const Control kControls[] = {
    {"connectButton", "Connect", false, Kind::Button},
    {"gotoMaxButton", "GotoMax", true, Kind::Button},
    {"autoCenterButton", "AutoGTM", true, Kind::Button},
    {"qomAgcButton", "AGC", true, Kind::Button},
    {"resetQOMDefaultsButton", "QOM Def", true, Kind::Button},
    {"saveTxtButton", "RX TXT", true, Kind::Button},
    {"clearRxButton", "Clear RX", true, Kind::Button},
    {"saveWavButton", "Save WAV", true, Kind::Button},
    {"clearQSOButton", "Clear", true, Kind::Button},
    {"logQSOButton", "Log", true, Kind::Button},
    {"shortRSTButton", "Short", true, Kind::Button},
    {"macroSetupButton", "Setup", true, Kind::Button},
    {"stopButton", "Stop", true, Kind::Button},
    {"sendButton", "Send", true, Kind::Button},
    {"hostField", "Host", false, Kind::CaptionBelow},
    {"portField", "Port", false, Kind::CaptionBelow},
    {"pitchField", "Pitch", false, Kind::CaptionBelow},
    {"bandwidthField", "BW", false, Kind::CaptionBelow},
    {"thresholdDisplay", "QOM Thr", true, Kind::CaptionBelow},
    {"minWpmField", "Min", false, Kind::CaptionBelow},
    {"maxWpmField", "Max", false, Kind::CaptionBelow},
    {"qomSearchField", "QOM Hz", true, Kind::CaptionBelow},
    {"qomLockHoldField", "Hold", true, Kind::CaptionBelow},
    {"autoGtmRearmField", "Rearm", true, Kind::CaptionBelow},
    {"squelchField", "SQL", true, Kind::CaptionBelow},
    {"partnerCallField", "CALL", true, Kind::CaptionLeft},
    {"partnerNameField", "NAME", true, Kind::CaptionLeft},
    {"qsoRSTField", "S", true, Kind::CaptionLeft},
    {"qsoPRSTField", "R", true, Kind::CaptionLeft},
    {"txWpmField", "TX WPM", true, Kind::CaptionLeft},
};

class WindowLayoutTest : public WindowTest {
protected:
    QLabel* caption(const char* text) const
    {
        for (QLabel* label : controller->window()->findChildren<QLabel*>())
            if (label->text() == text)
                return label;
        ADD_FAILURE() << "no caption " << text;
        return nullptr;
    }
    QRect frame(const char* name) const { return control<QWidget>(name)->geometry(); }
    void resizeContent(int width, int height)
    {
        controller->window()->resize(width, height);
        settle(20);
        ASSERT_EQ(control<QWidget>("contentView")->size(), QSize(width, height));
    }
};

// Every control with its text and tooltip, the captions beside the fields,
// and the frames at more than one size.
TEST_F(WindowLayoutTest, EveryControlHasItsTextTooltipAndFrameAtEverySize)
{
    settings->setValue("CWMacroButtonTitle2", "RIG");
    settings->setValue("CWMacroText2", "RIG IS <MYCALL>");
    makeWindow();
    controller->showWindow();
    EXPECT_EQ(control<QPushButton>("macroButton2")->text(), "RIG");
    EXPECT_EQ(control<QPushButton>("macroButton2")->toolTip().toStdString(), "RIG IS <MYCALL> (F3)");
    EXPECT_EQ(control<QPushButton>("macroButton0")->text(), "CQ");
    EXPECT_EQ(control<QPushButton>("macroButton0")->toolTip().toStdString(),
              "<TX>CQ CQ CQ DE <MYCALL> <MYCALL> <MYCALL> K<RX> (F1)");
    // The tooltips that name defaults must name the real ones.
    EXPECT_EQ(
        control("resetQOMDefaultsButton")->toolTip(),
        "Reset qomorse tuning to defaults: BW 120 Hz, RX WPM 10..60, QOM Hz 15, AGC on, Hold 1.8 s, Rearm 2.5 s.");
    EXPECT_TRUE(control("squelchField")->toolTip().endsWith(" Default 0.50."));
    for (const Control& c : kControls) {
        const QWidget* widget = control(c.name);
        EXPECT_EQ(!widget->toolTip().isEmpty(), c.hint) << c.name;
        if (c.kind == Kind::Button) {
            EXPECT_EQ(control<QAbstractButton>(c.name)->text(), c.text) << c.name;
            continue;
        }
        const QLabel* label = caption(c.text);
        const QRect t = label ? label->geometry() : QRect(), g = widget->geometry();
        if (c.kind == Kind::CaptionLeft) {
            EXPECT_LT(t.right(), g.left()) << c.text;
            EXPECT_NEAR(t.center().y(), g.center().y(), 3) << c.text;
        } else {
            EXPECT_EQ(t.left(), g.left()) << c.text;
            EXPECT_EQ(t.top(), g.top() + 28) << c.text;  // 18 high, 22 below the field's y
        }
    }
    EXPECT_EQ(text("qsoRSTField"), "599");
    EXPECT_EQ(text("qsoPRSTField"), "599");
    EXPECT_EQ(text("partnerCallField"), "");
    EXPECT_EQ(control<QLabel>("statusLabel")->text(), "RX audio --");
    EXPECT_EQ(controller->window()->windowTitle(), "Zarvo \u2014 Disconnected");
    const QLineEdit* threshold = control<QLineEdit>("thresholdDisplay");
    EXPECT_TRUE(threshold->isReadOnly());
    EXPECT_EQ(threshold->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(control<QPlainTextEdit>("decodedTextView")->isReadOnly());
    EXPECT_TRUE(control<QPlainTextEdit>("logTextView")->isReadOnly());
    EXPECT_FALSE(control<QPlainTextEdit>("txTextView")->isReadOnly());

    EXPECT_EQ(control<QWidget>("contentView")->minimumSize(), QSize(1120, 640));
    for (const QSize size : {QSize(1220, 720), QSize(1400, 900), QSize(1120, 640)}) {
        resizeContent(size.width(), size.height());
        const int W = size.width(), H = size.height();
        SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
        // Qt's y is the layout's H - y - height.
        EXPECT_EQ(frame("hostField"), QRect(20, 18, 150, 24));
        EXPECT_EQ(frame("spectrumView"), QRect(20, 115, W - 40, 110));
        EXPECT_EQ(frame("toneTraceView"), QRect(20, 240, W - 40, 75));
        EXPECT_EQ(frame("decodedTextView"), QRect(20, H - 188 - (H - 523), W - 40, H - 523));
        EXPECT_EQ(frame("txTextView"), QRect(20, H - 152, W - 40, 32));
        EXPECT_EQ(frame("logTextView"), QRect(20, H - 80, W - 40, 60));
        EXPECT_EQ(frame("statusLabel"), QRect(360, 70, W - 685, 20));
        EXPECT_EQ(frame("saveWavButton"), QRect(W - 120, 67, 100, 26));
        EXPECT_EQ(frame("macroButton0").topLeft(), QPoint(20, H - 114));
        EXPECT_EQ(frame("macroButton7").left() + frame("macroButton7").width(), W - 20);
        for (int i = 0; i < 8; ++i)
            EXPECT_NEAR(frame(qPrintable(QString("macroButton%1").arg(i))).width(), (W - 82) / 8.0, 1.0) << i;
        EXPECT_EQ(frame("partnerCallField").bottom(), H - 160 - 1);
    }
}

class AppShellTest : public WindowTest {};

std::vector<std::string> menu_items(const QMenu* menu)
{
    std::vector<std::string> items;
    for (const QAction* a : menu->actions())
        items.push_back(
            a->isSeparator()
                ? "-"
                : (a->text() + " " + a->shortcut().toString(QKeySequence::PortableText)).trimmed().toStdString());
    return items;
}

TEST_F(AppShellTest, TheMenusHoldTheirItemsInOrderWithTheirKeys)
{
    AppDelegate delegate(*store, CW_WINDOW_ENVIRONMENT{documents(), {}});
    delegate.applicationDidFinishLaunching();
    const QList<QAction*> menus = delegate.windowController()->window()->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "Zarvo");
    EXPECT_EQ(menu_items(menus[0]->menu()), (std::vector<std::string>{"About Zarvo", "-", "Quit Zarvo Ctrl+Q"}));
    EXPECT_EQ(menus[1]->text(), "Edit");
    EXPECT_EQ(menu_items(menus[1]->menu()),
              (std::vector<std::string>{"Undo Ctrl+Z", "Redo Ctrl+Shift+Z", "-", "Cut Ctrl+X", "Copy Ctrl+C",
                                        "Paste Ctrl+V", "Delete", "-", "Select All Ctrl+A"}));
    EXPECT_EQ(menus[2]->text(), "Window");
    EXPECT_EQ(menu_items(menus[2]->menu()), (std::vector<std::string>{"Skimmer Ctrl+K"}));

    // Edit items act on the control with the keyboard focus.
    QLineEdit* field = delegate.windowController()->window()->findChild<QLineEdit*>("partnerCallField");
    ASSERT_NE(field, nullptr);
    field->setText("ZR1ABC");
    QApplication::setActiveWindow(delegate.windowController()->window());
    field->setFocus();
    ASSERT_TRUE(until([&] { return QApplication::focusWidget() == field; }, 1000));
    const auto trigger = [&](int index) { menus[1]->menu()->actions()[index]->trigger(); };
    trigger(8);  // Select All
    trigger(6);  // Delete
    EXPECT_EQ(field->text(), "");
    trigger(0);  // Undo
    EXPECT_EQ(field->text(), "ZR1ABC");

    // Skimmer opens its window beside the main one, which stays usable.
    EXPECT_EQ(delegate.windowController()->skimmerWindow(), nullptr);
    menus[2]->menu()->actions()[0]->trigger();
    const QDialog* skimmer = delegate.windowController()->skimmerWindow();
    ASSERT_NE(skimmer, nullptr);
    EXPECT_TRUE(skimmer->isVisible());
    EXPECT_FALSE(skimmer->isModal());
    EXPECT_EQ(skimmer->windowTitle(), "Skimmer");
}

// About names the project version and the commit the program was built
// from (a commit of this repository, as the build found it, unless a
// packager gave a build number); a build outside a checkout shows 000000.
TEST_F(AppShellTest, AboutShowsTheVersionAndTheCommitBuilt)
{
    const std::string built = ZARVO_BUILD_VERSION;
    const bool checkout =
        tool_run::run("git", {"-C", ZARVO_SOURCE_DIR, "rev-parse", "HEAD"}, "2>/dev/null").status == 0;
    if (checkout && built.size() == 7) {  // not a build number given by a packager
        EXPECT_EQ(tool_run::run("git", {"-C", ZARVO_SOURCE_DIR, "cat-file", "-t", built}, "2>/dev/null").out,
                  "commit\n");
    }
    AppDelegate delegate(*store, CW_WINDOW_ENVIRONMENT{documents(), {}});
    const std::unique_ptr<QDialog> panel = delegate.makeAboutPanel(nullptr);
    const QLabel* version = panel->findChild<QLabel*>("aboutVersion");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text().toStdString(),
              "Version " ZARVO_VERSION " (" + (built.empty() ? std::string("000000") : built) + ")");
}

}  // namespace
