// Operating from the window: macros and typed text go out as CW through
// the simulator (which keys them back into the receive audio), and QSOs are
// logged to the ADIF file and sent to a UDP logbook.
#include "test_cw_window_controller_fixture.h"

#include "CWLogQSODialog.h"
#include "CWMacroSetupDialog.h"
#include "adif_reader.h"
#include "cw_macro_buttons.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <sys/stat.h>

using namespace cw_window_test;

namespace {

class WindowTransmitTest : public WindowTest {
protected:
    // Silence, so that what the simulator keys back is the only signal;
    // `unopened` acts before the server has answered the opening handshake.
    bool connectToSilence(const std::function<void()>& unopened = {})
    {
        startServer(float_wav(std::vector<float>(30 * 12000), 12000));
        connect();
        if (unopened)
            unopened();
        return until([&] { return logCount("RX audio active") == 1; }, 5000);
    }
    // The CW commands the server received after its start-up queries.
    std::vector<std::string> receivedCw() const
    {
        std::vector<std::string> commands;
        for (const std::string& line : serverLog) {
            const size_t at = line.find("<< cw_");
            const std::string command = at == std::string::npos ? std::string() : line.substr(at + 3);
            if (!command.empty() && command != "cw_macros_speed;" && command != "cw_keyer_speed;")
                commands.push_back(command);
        }
        return commands;
    }
    // Only the texts and stops, without the speed and terminal commands.
    std::vector<std::string> macrosAndStops() const
    {
        std::vector<std::string> sent;
        for (const std::string& command : receivedCw())
            if (command.rfind("cw_macros:", 0) == 0 || command == "cw_macros_stop;")
                sent.push_back(command);
        return sent;
    }
    std::string decoded() const { return pane("decodedTextView"); }
    QPlainTextEdit* txPane() const { return control<QPlainTextEdit>("txTextView"); }
};

TEST_F(WindowTransmitTest, MacrosAndTypedTextGoOutExpandedAndComeBackDecoded)
{
    makeWindow();
    ASSERT_TRUE(connectToSilence());
    control<QPushButton>("macroButton0")->click();
    ASSERT_TRUE(until([&] { return receivedCw().size() >= 3; }, 3000));
    EXPECT_EQ(receivedCw(), (std::vector<std::string>{"cw_terminal:false;", "cw_macros_speed:25;",
                                                      "cw_macros:0,CQ CQ CQ DE QQ0QQ QQ0QQ QQ0QQ K;"}));
    EXPECT_EQ(logCount(">> TX macro: CQ CQ CQ DE QQ0QQ QQ0QQ QQ0QQ K"), 1u);
    // The receiver hears the keyed text, after the transmitted line itself.
    EXPECT_TRUE(until([&] { return decoded().find("DE QQ0QQ QQ0QQ") != decoded().rfind("DE QQ0QQ QQ0QQ"); }, 30000))
        << decoded();

    type("txWpmField", "22.5");
    txPane()->setPlainText("<tx>hello, world: test; x<rx>\n");
    control<QPushButton>("sendButton")->click();
    ASSERT_TRUE(until([&] { return receivedCw().size() >= 6; }, 3000));
    EXPECT_EQ(receivedCw()[4], "cw_macros_speed:23;");
    EXPECT_EQ(receivedCw()[5], "cw_macros:0,HELLO~ WORLD^ TEST* X;");
    EXPECT_EQ(text("txWpmField"), "23");
    EXPECT_EQ(stored("ZarvoTxWPM"), "23");
    EXPECT_TRUE(txPane()->toPlainText().isEmpty());
    control<QPushButton>("stopButton")->click();
    EXPECT_TRUE(until([&] { return receivedCw().size() == 7; }, 3000));
    EXPECT_EQ(receivedCw().back(), "cw_macros_stop;");
    QLineEdit* wpm = control<QLineEdit>("txWpmField");
    wpm->selectAll();
    QTest::keyClicks(wpm, "30");
    QTest::keyClick(wpm, Qt::Key_Return);       // a typed speed goes out as its edit ends ...
    controller->controlTextDidEndEditing(wpm);  // ... once, though the focus then leaves the field
    EXPECT_TRUE(until([&] { return receivedCw().size() == 8; }, 3000));
    EXPECT_EQ(receivedCw().back(), "cw_macros_speed:30;");
    settle(300);
    EXPECT_EQ(receivedCw().size(), 8u);
}

// Nothing looks sent that did not go out: without a link, or before it is
// open, the TX text is kept and the log says why.
TEST_F(WindowTransmitTest, ReturnSendsTheTxLineEscapeStopsAndFunctionKeysSendTheMacros)
{
    for (size_t i = 0; i < kCWMacroButtonCount; ++i)
        settings->setValue(QString::fromStdString(cw_macro_text_key(i)), QString("<TX>M%1<RX>").arg(i + 1));
    makeWindow();
    controller->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    EXPECT_EQ(control<QPushButton>("macroButton0")->toolTip().toStdString(), "<TX>M1<RX> (F1)");
    EXPECT_EQ(control<QPushButton>("macroButton7")->toolTip().toStdString(), "<TX>M8<RX> (F8)");

    QPlainTextEdit* tx = txPane();
    tx->setFocus();
    QTest::keyClicks(tx, "test");
    QTest::keyClick(tx, Qt::Key_Return, Qt::ShiftModifier);  // Shift+Return breaks the line
    EXPECT_EQ(tx->toPlainText().toStdString(), "TEST\n");
    QTest::keyClick(tx, Qt::Key_Return);  // not connected: kept, and no second break
    QTest::keyClick(tx, Qt::Key_Escape);
    EXPECT_EQ(logLines().back(), "TX ignored: TCI not connected.");
    EXPECT_EQ(logCount("TX ignored"), 1u);  // Stop says nothing
    EXPECT_EQ(tx->toPlainText().toStdString(), "TEST\n");

    ASSERT_TRUE(connectToSilence([&] {
        control<QPushButton>("sendButton")->click();
        EXPECT_EQ(logLines().back(), "TX ignored: TCI link not open yet, nothing was sent.");
        EXPECT_EQ(tx->toPlainText().toStdString(), "TEST\n");
    }));
    EXPECT_TRUE(receivedCw().empty());
    tx->setPlainText("<FOO>");  // expands to nothing: dropped silently
    const size_t lines = logLines().size();
    control<QPushButton>("sendButton")->click();
    EXPECT_EQ(logLines().size(), lines);
    tx->clear();
    QTest::keyClicks(tx, "cq de qq0qq");
    QTest::keyClick(tx, Qt::Key_Return);
    ASSERT_TRUE(until([&] { return macrosAndStops().size() == 1; }, 3000));
    EXPECT_TRUE(tx->toPlainText().isEmpty());  // sent and cleared, with no break left behind
    QTest::keyClicks(tx, "k");
    QTest::keyClick(tx, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(tx, Qt::Key_Escape);
    QLineEdit* call = control<QLineEdit>("partnerCallField");
    call->setFocus();
    for (int key = Qt::Key_F1; key <= Qt::Key_F8; ++key)
        QTest::keyClick(call, static_cast<Qt::Key>(key));
    QTest::keyClick(call, Qt::Key_Escape);
    ASSERT_TRUE(until([&] { return macrosAndStops().size() == 12; }, 3000)) << macrosAndStops().size();
    EXPECT_EQ(macrosAndStops(), (std::vector<std::string>{
                                    "cw_macros:0,CQ DE QQ0QQ;", "cw_macros:0,K;", "cw_macros_stop;", "cw_macros:0,M1;",
                                    "cw_macros:0,M2;", "cw_macros:0,M3;", "cw_macros:0,M4;", "cw_macros:0,M5;",
                                    "cw_macros:0,M6;", "cw_macros:0,M7;", "cw_macros:0,M8;", "cw_macros_stop;"}));
    EXPECT_TRUE(tx->toPlainText().isEmpty());
    EXPECT_EQ(call->text(), "");
}

class WindowLogQSOTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        settings->setValue("CWMacroSetupCallsign", "qq0qq");  // the log has no default for it
        settings->setValue("CWMacroSetupLoc", "jo62qm");
        CW_WINDOW_ENVIRONMENT environment;
        environment.utcNow = [this] { return now; };
        environment.runLogQSODialog = [this](CWLogQSODialog& dialog) {
            now += 60;  // the operator takes a minute
            if (++dialogRuns > 1)
                return again(dialog);
            fill(dialog);
            return true;
        };
        environment.runMacroSetupDialog = [this](CWMacroSetupDialog& dialog) {
            ++setupRuns;
            setupCallShown = dialog.stationFields[0]->text().toStdString();
            dialog.stationFields[0]->setText("qq0qq");
            return true;
        };
        makeWindow(environment);
        type("partnerCallField", " qq1ab ");
    }
    // Clicks Log on 2026-01-01 00:00:00 UTC, lets `fillDialog` act on the
    // dialog and presses "Send to Log".
    void logQSO(std::function<void(CWLogQSODialog&)> fillDialog, bool viaUdp = false)
    {
        fill = [fillDialog, viaUdp](CWLogQSODialog& dialog) {
            dialog.qrgField->setText("7030000");
            dialog.commentField->setText("Nice Fist");
            dialog.nameField->setText("J\xC3\xB6rg");
            dialog.sendViaUdpBox->setChecked(viaUdp);
            fillDialog(dialog);
        };
        now = 1767225600;
        dialogRuns = 0;
        control<QPushButton>("logQSOButton")->click();
    }
    std::string logFile() const
    {
        QFile file(documents() + "/Zarvo/Zarvo.adi");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    std::time_t now = 0;
    std::function<void(CWLogQSODialog&)> fill;
    // After a refusal the dialog runs again with what was typed; true sends.
    std::function<bool(CWLogQSODialog&)> again = [](CWLogQSODialog&) { return false; };
    int dialogRuns = 0;
    int setupRuns = 0;
    std::string setupCallShown;
};

TEST_F(WindowLogQSOTest, ARecordIsSavedWithTheClickTimeAndThePartnerFieldsCleared)
{
    type("partnerNameField", "BOB");
    type("qsoRSTField", "579");
    logQSO([](CWLogQSODialog&) {});
    const AdifFile file = adif_read(logFile());
    ASSERT_TRUE(file.ok);
    ASSERT_EQ(file.records.size(), 1u);
    EXPECT_EQ(file.records[0], (AdifFields{{"CALL", "QQ1AB"},
                                           {"FREQ", "7.030000"},
                                           {"MODE", "CW"},
                                           {"QSO_DATE", "20260101"},
                                           {"TIME_ON", "000000"},
                                           {"QSO_DATE_OFF", "20260101"},
                                           {"TIME_OFF", "000000"},
                                           {"RST_SENT", "579"},
                                           {"RST_RCVD", "599"},
                                           {"STATION_CALLSIGN", "QQ0QQ"},
                                           {"MY_GRIDSQUARE", "JO62QM"},
                                           {"NAME", "J\xC3\x96RG"},
                                           {"COMMENT", "Nice Fist"}}));
    EXPECT_EQ(logLines()[logLines().size() - 2],
              "LOG ADIF: saved CALL=QQ1AB FREQ=7.030000 to " + documents().toStdString() + "/Zarvo/Zarvo.adi");
    EXPECT_EQ(logLines().back(), "LOG UDP: disabled, CALL=QQ1AB FREQ=7.030000 saved locally");
    EXPECT_EQ(text("partnerCallField"), "");
    EXPECT_EQ(text("partnerNameField"), "");
    EXPECT_EQ(text("qsoRSTField"), "579");
    EXPECT_EQ(controller->decodePickTarget(), 1);
    EXPECT_EQ(stored("CWSendLogViaUDP"), "false");
    EXPECT_EQ(stored("CWLogHost"), "127.0.0.1");
}

// A refusal names what is missing, keeps the dialog with everything typed
// and points at the field to fix; nothing is written until it is fixed.
TEST_F(WindowLogQSOTest, ARefusalKeepsTheDialogAndPointsAtTheFieldToFix)
{
    again = [this](CWLogQSODialog& dialog) {
        EXPECT_EQ(logFile(), "");
        EXPECT_EQ(dialog.pointedField(), dialog.qrgField);
        EXPECT_EQ(dialog.locField->text(), "JO62");
        EXPECT_EQ(dialog.commentField->text(), "Nice Fist");
        dialog.qrgField->setText("7.030");
        return true;
    };
    logQSO([](CWLogQSODialog& dialog) {
        dialog.qrgField->setText("7030");  // kHz
        dialog.locField->setText("JO62");
    });
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("QSO not logged\n\nMissing required field(s): QRG\n\n", 0), 0u) << alerts[0];
    EXPECT_EQ(dialogRuns, 2);
    EXPECT_EQ(setupRuns, 0);
    const AdifFile file = adif_read(logFile());
    ASSERT_EQ(file.records.size(), 1u);
    const AdifFields& record = file.records[0];
    EXPECT_NE(std::find(record.begin(), record.end(), AdifFields::value_type{"FREQ", "7.030000"}), record.end());
    EXPECT_NE(std::find(record.begin(), record.end(), AdifFields::value_type{"GRIDSQUARE", "JO62"}), record.end());
}

// Without a station call the first refusal opens Setup, then the dialog
// comes back with the station filled in; later refusals do not nag.
TEST_F(WindowLogQSOTest, AMissingStationCallOpensSetupOnce)
{
    settings->setValue("CWMacroSetupCallsign", "");  // read again after the dialog
    again = [](CWLogQSODialog& dialog) {
        EXPECT_EQ(dialog.pointedField(), dialog.callField);
        EXPECT_NE(dialog.findChild<QLabel*>("logStationLine")->text().indexOf("QQ0QQ"), -1);
        return false;
    };
    logQSO([](CWLogQSODialog& dialog) {
        dialog.callField->clear();
        dialog.rstRcvdField->clear();
    });
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("QSO not logged\n\nMissing required field(s): CALL, RST-R, STATION CALLSIGN\n\n"
                              "Enter your station call",
                              0),
              0u)
        << alerts[0];
    EXPECT_EQ(setupRuns, 1);
    EXPECT_EQ(setupCallShown, "");  // the macros' stand-in is only a hint there
    EXPECT_EQ(stored("CWMacroSetupCallsign"), "QQ0QQ");
    EXPECT_EQ(logFile(), "");

    settings->setValue("CWMacroSetupCallsign", "");
    again = [](CWLogQSODialog&) { return false; };
    logQSO([](CWLogQSODialog&) {});
    EXPECT_EQ(setupRuns, 1);
    EXPECT_EQ(alerts.back(), "QSO not logged\n\nMissing required field(s): STATION CALLSIGN");
}

TEST_F(WindowLogQSOTest, TheRecordGoesToTheLogbookAsOneDatagramAndAFailedSendKeepsTheFileRecord)
{
    QUdpSocket logbook;
    ASSERT_TRUE(logbook.bind(QHostAddress::LocalHost, 0));
    const std::string port = std::to_string(logbook.localPort());
    logQSO([&](CWLogQSODialog& dialog) { dialog.portField->setText(QString::fromStdString(port)); }, true);
    ASSERT_TRUE(logbook.waitForReadyRead(2000));
    const std::string datagram = logbook.receiveDatagram().data().toStdString();
    const std::string file = logFile();
    EXPECT_EQ(datagram.rfind("<CALL:5>QQ1AB<FREQ:8>7.030000", 0), 0u) << datagram;
    EXPECT_EQ(file.substr(file.size() - datagram.size() - 1), datagram + "\n");
    EXPECT_EQ(logLines().back(), "LOG UDP: sent CALL=QQ1AB FREQ=7.030000 to 127.0.0.1:" + port);
    EXPECT_EQ(stored("CWLogPort"), port);
    EXPECT_EQ(stored("CWSendLogViaUDP"), "true");

    type("partnerCallField", "QQ2CD");
    logQSO([](CWLogQSODialog& dialog) { dialog.hostField->setText("logbook.invalid"); }, true);
    EXPECT_EQ(adif_read(logFile()).records.size(), 2u);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Log UDP send failed\n\nThe QSO was saved to ", 0), 0u) << alerts[0];
    EXPECT_NE(alerts[0].find("UDP error: Unknown UDP host logbook.invalid: "), std::string::npos) << alerts[0];
    EXPECT_EQ(stored("CWLogHost"), "logbook.invalid");
}

// A log that cannot be written stops the UDP send and keeps the fields; a
// FIFO in the log's place is refused at once, not waited on for a reader.
TEST_F(WindowLogQSOTest, AnUnwritableLogOrAFifoStopsTheSendAndKeepsTheFields)
{
    QFile blocker(documents());  // a file where the Documents folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    logQSO([](CWLogQSODialog&) {}, true);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("ADIF backup failed\n\nThe QSO was not sent via UDP", 0), 0u) << alerts[0];
    EXPECT_EQ(logCount("LOG ADIF: failed"), 1u);
    EXPECT_EQ(logCount("LOG UDP"), 0u);
    EXPECT_EQ(text("partnerCallField"), " QQ1AB ");
    EXPECT_FALSE(settings->contains("CWSendLogViaUDP"));

    ASSERT_TRUE(blocker.remove() && QDir().mkpath(documents() + "/Zarvo"));
    ASSERT_EQ(mkfifo((documents() + "/Zarvo/Zarvo.adi").toLocal8Bit().constData(), 0600), 0);
    logQSO([](CWLogQSODialog&) {}, true);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[1].find("\n\nCould not open ADIF log file: not a regular file"), std::string::npos) << alerts[1];
    EXPECT_EQ(text("partnerCallField"), " QQ1AB ");
}

}  // namespace
