// The field editing rules with real key and mouse events: upper-casing as
// the operator types, the pick target following the QSO fields, and every
// setting normalised when an edit ends.
#include "test_cw_window_controller_fixture.h"

#include <QPushButton>
#include <QTest>
#include <QTextCursor>

using namespace cw_window_test;

namespace {

class WindowEditingTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        makeWindow();
        controller->showWindow();
    }
    QLineEdit* field(const char* name) const { return control<QLineEdit>(name); }
    // Types into the field and leaves it with Return.
    void enter(const char* name, const QString& value)
    {
        QLineEdit* edited = field(name);
        edited->setFocus();
        edited->selectAll();
        QTest::keyClicks(edited, value);
        QTest::keyClick(edited, Qt::Key_Return);
    }
    // Double-clicks the middle of the first `word` in the received text.
    void doubleClick(const QString& word)
    {
        QPlainTextEdit* view = control<QPlainTextEdit>("decodedTextView");
        QTextCursor cursor(view->document());
        cursor.setPosition(static_cast<int>(view->toPlainText().indexOf(word) + word.size() / 2));
        // Events 100 ms apart: the next pick must not count as a repeat.
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->cursorRect(cursor).center(), 100);
    }
};

TEST_F(WindowEditingTest, CallSignFieldsAndTheTxTextTurnUpperCaseWhereTheCaretIs)
{
    QLineEdit* call = field("partnerCallField");
    call->setFocus();
    QTest::keyClicks(call, "dl");
    EXPECT_EQ(call->text(), "DL");
    EXPECT_EQ(call->cursorPosition(), 2);
    call->setCursorPosition(1);
    QTest::keyClicks(call, "x");
    EXPECT_EQ(call->text(), "DXL");
    EXPECT_EQ(call->cursorPosition(), 2);

    QPlainTextEdit* tx = control<QPlainTextEdit>("txTextView");
    tx->setFocus();
    tx->insertPlainText("cq de qq1ab");  // as a paste arrives
    EXPECT_EQ(tx->toPlainText(), "CQ DE QQ1AB");
    EXPECT_EQ(tx->textCursor().position(), 11);
}

TEST_F(WindowEditingTest, ACallThenANameArePickedFromTheReceivedTextInTurn)
{
    control<QPlainTextEdit>("decodedTextView")->setPlainText("CQ CQ DE qq2abc/p K\nNAME bob, \u00c4\u00d6  73");
    doubleClick("\u00c4\u00d6");  // no call-sign characters: picks nothing
    EXPECT_EQ(text("partnerCallField"), "");
    doubleClick("qq2abc");
    EXPECT_EQ(text("partnerCallField"), "QQ2ABC/P");
    EXPECT_EQ(controller->decodePickTarget(), 2);
    EXPECT_EQ(controller->window()->focusWidget(), field("partnerNameField"));
    doubleClick("bob");
    EXPECT_EQ(text("partnerNameField"), "BOB");
    EXPECT_EQ(controller->decodePickTarget(), 1);
    EXPECT_EQ(controller->window()->focusWidget(), field("partnerCallField"));

    // The same double-click delivered twice for one event time counts once.
    controller->decodedTextViewDidDoubleClickPickedString("QQ1AB", 10.0);
    controller->decodedTextViewDidDoubleClickPickedString("ZZ", 10.0);
    EXPECT_EQ(text("partnerCallField"), "QQ1AB");
    EXPECT_EQ(text("partnerNameField"), "BOB");

    // Clicking or typing in a QSO field makes it the next target.
    QTest::mouseClick(field("partnerNameField"), Qt::LeftButton);
    EXPECT_EQ(controller->decodePickTarget(), 2);
    field("partnerCallField")->setFocus();
    QTest::keyClicks(field("partnerCallField"), "q");
    EXPECT_EQ(controller->decodePickTarget(), 1);
}

TEST_F(WindowEditingTest, EndingAnEditRewritesEverySettingClamped)
{
    type("minWpmField", "70");
    type("maxWpmField", "20");
    type("qomLockHoldField", "9");
    enter("pitchField", "2000");
    EXPECT_EQ(text("pitchField"), "1200");
    EXPECT_EQ(text("minWpmField"), "20");
    EXPECT_EQ(text("maxWpmField"), "70");
    EXPECT_EQ(text("qomLockHoldField"), "4.0");
    EXPECT_EQ(controller->settings().decoderConfig(48000).pitchHz, 1200.0);
    EXPECT_EQ(stored("ZarvoPitch"), "1200");
    EXPECT_EQ(stored("ZarvoMinWPM"), "20");
}

TEST_F(WindowEditingTest, TxSpeedIsRoundedAndSentOnlyWhenConnected)
{
    enter("txWpmField", "27.5");
    EXPECT_EQ(text("txWpmField"), "28");
    EXPECT_EQ(stored("ZarvoTxWPM"), "28");
    EXPECT_EQ(logCount(">> cw_macros_speed:"), 0u);
    enter("txWpmField", "22.5");  // halves away from zero, like a send
    EXPECT_EQ(text("txWpmField"), "23");
}

TEST_F(WindowEditingTest, TheTextSquelchIsClampedStoredAndExplained)
{
    EXPECT_EQ(text("squelchField"), "0.50");
    EXPECT_NE(field("squelchField")->toolTip().indexOf("0 = off"), -1);
    enter("squelchField", "3");
    EXPECT_EQ(text("squelchField"), "1.00");
    EXPECT_EQ(cw_defaults_double(*store, "ZarvoSQL", 0.5), 1.0);
}

TEST_F(WindowEditingTest, OnlyADecoderSettingRebuildsTheReceiver)
{
    const uint64_t rebuilds = controller->receiver().rebuildCount();
    enter("partnerNameField", "bob");
    enter("qsoRSTField", "579");
    EXPECT_EQ(controller->receiver().rebuildCount(), rebuilds);
    EXPECT_EQ(text("partnerNameField"), "BOB");
    enter("bandwidthField", "80");
    EXPECT_EQ(controller->receiver().rebuildCount(), rebuilds + 1);
}

}  // namespace
