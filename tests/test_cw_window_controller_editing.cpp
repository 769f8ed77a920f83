// The controller's own rules, with real key and mouse events: upper-casing
// as the operator types, words picked from the received text into the QSO
// fields, every setting normalised and applied when an edit ends; the text
// panes and the RX text log that mirrors the received text to a file; the
// Macro Setup dialog with its macro files.
#include "test_cw_window_controller_fixture.h"

#include "CWMacroSetupDialog.h"
#include "cw_text_panes.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

using namespace cw_window_test;

namespace {

class WindowEditingTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        makeFrozenWindow();
        controller->showWindow();
    }
    // Every log starts in the same second.
    void makeFrozenWindow(const QString& documentsFolder = QString())
    {
        std::tm t{};
        t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 3;
        makeWindow(CW_WINDOW_ENVIRONMENT{documentsFolder, [t] { return t; }});
    }
    QColor colourAt(int position) const
    {
        QTextCursor cursor(control<QPlainTextEdit>("decodedTextView")->document());
        cursor.setPosition(position + 1);  // the format of the character before the cursor
        return cursor.charFormat().foreground().color();
    }
    QPushButton* txtButton() const { return control<QPushButton>("saveTxtButton"); }
    QString rxFile(const char* name) const { return QDir(documents()).filePath(QString("Zarvo/rx/") + name); }
    static std::string contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<unreadable>";
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

TEST_F(WindowEditingTest, PicksFillCallThenNameAndTypedCallsTurnUpperCase)
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

    // Clicking or typing in a QSO field makes it the next target.
    QTest::mouseClick(field("partnerNameField"), Qt::LeftButton);
    EXPECT_EQ(controller->decodePickTarget(), 2);
    field("partnerCallField")->setFocus();
    QTest::keyClicks(field("partnerCallField"), "q");
    EXPECT_EQ(controller->decodePickTarget(), 1);

    // Call-sign fields and the TX text turn upper case where the caret is.
    QLineEdit* call = field("partnerCallField");
    call->clear();
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

TEST_F(WindowEditingTest, EndingAnEditNormalisesStoresAndAppliesEverySetting)
{
    const uint64_t rebuilds = controller->receiver().rebuildCount();
    enter("partnerNameField", "bob");
    enter("qsoRSTField", "579");
    enter("txWpmField", "27.5");
    EXPECT_EQ(controller->receiver().rebuildCount(), rebuilds);  // only a decoder setting rebuilds the receiver
    EXPECT_EQ(text("txWpmField"), "28");
    EXPECT_EQ(stored("ZarvoTxWPM"), "28");
    EXPECT_EQ(logCount(">> cw_macros_speed:"), 0u);  // sent only while connected
    enter("txWpmField", "22.5");                     // halves away from zero, like a send
    EXPECT_EQ(text("txWpmField"), "23");

    type("minWpmField", "70");
    type("maxWpmField", "20");
    type("qomLockHoldField", "9");
    type("squelchField", "3");
    enter("pitchField", "2000");
    EXPECT_EQ(controller->receiver().rebuildCount(), rebuilds + 1);
    for (const auto& [name, value] :
         {std::pair{"pitchField", "1200"}, std::pair{"minWpmField", "20"}, std::pair{"maxWpmField", "70"},
          std::pair{"qomLockHoldField", "4.0"}, std::pair{"squelchField", "1.00"}})
        EXPECT_EQ(text(name), value) << name;
    EXPECT_EQ(controller->settings().decoderConfig(48000).pitchHz, 1200.0);
    EXPECT_EQ(stored("ZarvoPitch"), "1200");
    EXPECT_EQ(stored("ZarvoMinWPM"), "20");
    EXPECT_EQ(stored("ZarvoSQL"), "1");
}

// A TX line waits for the received word to end, stands on a line of its
// own, and is marked when Stop cuts its keying short; the panes scroll and
// stay bounded.
TEST_F(WindowEditingTest, ThePanesFoldBlanksPlaceTransmittedLinesScrollAndStayBounded)
{
    for (const char* received : {"X", "  A\nB", " ", " \t C", ""})
        controller->appendDecodedText(received);
    controller->appendTransmittedText(" \n ", 20);
    EXPECT_EQ(pane("decodedTextView"), "X A B C");
    controller->appendTransmittedText("  ZR1ABC 599 \n", 20);
    EXPECT_EQ(pane("decodedTextView"), "X A B C");  // the word may go on
    controller->appendDecodedText("Q R");
    EXPECT_EQ(pane("decodedTextView"), "X A B CQ \nTX: ZR1ABC 599\nR");
    controller->stopTransmitting();
    controller->appendDecodedText(" ");
    controller->appendTransmittedText("TU", 20);  // at a word end: shown at once
    EXPECT_EQ(pane("decodedTextView"), "X A B CQ \nTX: ZR1ABC 599 (stopped)\nR \nTX: TU\n");
    EXPECT_EQ(colourAt(0), QColor::fromRgbF(0.92, 0.92, 0.92));
    EXPECT_EQ(colourAt(10), QColor::fromRgbF(0.3, 0.62, 1.0));
    EXPECT_EQ(colourAt(27), QColor::fromRgbF(0.3, 0.62, 1.0));  // the mark

    // The received text follows its end only while the view is at the end.
    QScrollBar* bar = control<QPlainTextEdit>("decodedTextView")->verticalScrollBar();
    for (int line = 0; line < 200 && bar->maximum() < 10; ++line)
        controller->appendTransmittedText("LINE " + std::to_string(line), 20);
    ASSERT_GE(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(3);  // the operator scrolls up to read back
    const int scrolledMaximum = bar->maximum();
    controller->appendDecodedText("CQ DE QQ1AB ");
    controller->appendTransmittedText("QQ1AB DE QQ0QQ", 20);
    EXPECT_EQ(bar->value(), 3);
    EXPECT_GT(bar->maximum(), scrolledMaximum);

    bar->setValue(bar->maximum());  // back at the end: following resumes
    const int endMaximum = bar->maximum();
    controller->appendTransmittedText("TU 73", 20);
    controller->appendDecodedText("QQ1AB");
    EXPECT_GT(bar->maximum(), endMaximum);
    EXPECT_EQ(bar->value(), bar->maximum());

    // The log pane keeps only the newest lines.
    const size_t before = logLines().size();
    controller->appendLog("");
    EXPECT_EQ(logLines().size(), before);
    const size_t total = kCWLogPaneMaxLines + 150;
    for (size_t i = 0; i < total; ++i)
        controller->appendLog("line " + std::to_string(i));
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), kCWLogPaneMaxLines);
    EXPECT_EQ(lines.front(), "line 150");
    EXPECT_EQ(lines.back(), "line " + std::to_string(total - 1));
}

// Each start of the RX text log mirrors the received text to a new file; a
// folder that cannot be made is logged and leaves the log off.
TEST_F(WindowEditingTest, EachRxTextLogStartMirrorsReceivedTextToANewFileOrSaysWhyNot)
{
    txtButton()->click();
    const QString path = rxFile("Zarvo-rx-20261207-090503.txt");
    EXPECT_EQ(controller->rxTextLog().path(), path);
    EXPECT_EQ(txtButton()->text(), "TXT ON");
    EXPECT_EQ(logLines().back(), "RX TXT log started: " + path.toStdString());
    controller->appendDecodedText("CQ  DE");
    controller->appendTransmittedText("TEST", 20);
    control<QPushButton>("clearRxButton")->click();
    EXPECT_EQ(pane("decodedTextView"), "");
    controller->appendDecodedText(" K");
    EXPECT_EQ(contents(path), "CQ DE K");  // written at once, not at the close
    txtButton()->click();
    EXPECT_EQ(txtButton()->text(), "RX TXT");
    EXPECT_EQ(controller->rxTextLog().path(), "");
    EXPECT_EQ(logLines().back(), "RX TXT log stopped: " + path.toStdString());

    txtButton()->click();  // again in the same second: a file of its own
    controller->appendDecodedText("LATER");
    controller.reset();  // closing the window closes the log
    EXPECT_EQ(contents(path), "CQ DE K");
    EXPECT_EQ(contents(rxFile("Zarvo-rx-20261207-090503-2.txt")), "LATER");

    QFile blocker(folder.filePath("NotAFolder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    makeFrozenWindow(blocker.fileName());
    txtButton()->click();
    EXPECT_EQ(logLines().back(),
              "RX TXT log failed: Could not create folder " + blocker.fileName().toStdString() + ": Not a directory");
    EXPECT_EQ(txtButton()->text(), "RX TXT");
    controller->appendDecodedText("STILL SHOWN");
    EXPECT_EQ(pane("decodedTextView"), "STILL SHOWN");
}

class WindowMacroSetupTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        CW_WINDOW_ENVIRONMENT environment;
        environment.runMacroSetupDialog = [this](CWMacroSetupDialog& dialog) {
            act(dialog);
            return pressOK;
        };
        environment.chooseFile = [this](bool, const QString&, const QString& name) {
            proposedName = name;
            return chosenFile;
        };
        makeWindow(environment);
    }
    void openSetup(std::function<void(CWMacroSetupDialog&)> action, bool ok = true)
    {
        act = std::move(action);
        pressOK = ok;
        control<QPushButton>("macroSetupButton")->click();
    }
    static void click(CWMacroSetupDialog& dialog, const char* button)
    {
        dialog.findChild<QPushButton*>(button)->click();
    }
    std::function<void(CWMacroSetupDialog&)> act;
    bool pressOK = true;
    QString chosenFile = folder.filePath("macros.txt");
    QString proposedName;
};

TEST_F(WindowMacroSetupTest, OkStoresAndRenamesAndAnExportImportsBackWhole)
{
    openSetup([](CWMacroSetupDialog& dialog) {
        EXPECT_EQ(dialog.stationFields[0]->text(), "");  // no call yet: the macros' stand-in is a hint
        EXPECT_EQ(dialog.stationFields[0]->placeholderText(), "QQ0QQ");
        dialog.stationFields[0]->setText(" qq9zz ");
        dialog.titleFields[2]->setText("rig");
        dialog.textFields[2]->setText("<tx>rig is tci<rx>");
        dialog.titleFields[3]->clear();
        dialog.textFields[4]->setText(QString(2000, 'a'));  // no longer than it can be read back
    });
    EXPECT_EQ(stored("CWMacroText4"), std::string(900, 'A'));
    EXPECT_EQ(stored("CWMacroSetupCallsign"), "QQ9ZZ");
    EXPECT_EQ(control<QPushButton>("macroButton2")->text(), "RIG");
    EXPECT_EQ(control<QPushButton>("macroButton2")->toolTip().toStdString(), "<TX>RIG IS TCI<RX> (F3)");
    EXPECT_EQ(stored("CWMacroButtonTitle3"), "73");  // an emptied title is the default again

    openSetup([](CWMacroSetupDialog& dialog) { dialog.titleFields[2]->setText("GONE"); }, false);
    EXPECT_EQ(control<QPushButton>("macroButton2")->text(), "RIG");

    // Export then import restores every value.
    openSetup([](CWMacroSetupDialog& dialog) {
        dialog.titleFields[0]->setText("#1");
        dialog.titleFields[1]->setText("A=B");
        dialog.textFields[1]->setText(" X = Y ");
    });
    openSetup([](CWMacroSetupDialog& dialog) { click(dialog, "exportMacrosButton"); }, false);
    EXPECT_EQ(proposedName, documents() + "/Zarvo-macros.txt");  // offered in Documents
    settings->clear();
    openSetup([](CWMacroSetupDialog& dialog) {
        EXPECT_EQ(dialog.titleFields[0]->text(), "CQ");
        click(dialog, "importMacrosButton");
        EXPECT_EQ(dialog.titleFields[0]->text(), "#1");
        EXPECT_EQ(dialog.titleFields[1]->text(), "A=B");
        EXPECT_EQ(dialog.textFields[1]->text(), " X = Y ");
        EXPECT_EQ(dialog.titleFields[7]->text(), "LOC");
    });
    EXPECT_EQ(stored("CWMacroButtonTitle1"), "A=B");
    EXPECT_TRUE(alerts.empty());

    // The hand-written example under an export's header fills two slots.
    QFile file(chosenFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# Zarvo macro texts v1\n# Format: LABEL=TEXT\n\nA=x\nB = y \n#C=z\nno equals\n=w\n");
    file.close();
    openSetup(
        [](CWMacroSetupDialog& dialog) {
            click(dialog, "importMacrosButton");
            EXPECT_EQ(dialog.titleFields[0]->text() + "|" + dialog.textFields[0]->text(), "A|X");
            EXPECT_EQ(dialog.titleFields[1]->text() + "|" + dialog.textFields[1]->text(), "B| Y ");
            EXPECT_EQ(dialog.titleFields[2]->text(), "RIG");  // not a slot the file fills
        },
        false);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
}

// A FIFO is refused at once, not waited on for a writer, by an import
// (which changes no field) and by an export (which never takes its place);
// an export that cannot be written whole (the file size limit stands in for
// a full disk) leaves the old file as it was. Each is told. The other files
// a reader refuses are the macro file's own test.
TEST_F(WindowMacroSetupTest, AFifoIsRefusedAtOnceAndAFailedExportKeepsWhatWasThere)
{
    const auto exportMacros = [this] {
        openSetup([](CWMacroSetupDialog& dialog) { click(dialog, "exportMacrosButton"); }, false);
    };
    const std::string fifo = folder.filePath("fifo.txt").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    chosenFile = QString::fromStdString(fifo);
    openSetup(
        [](CWMacroSetupDialog& dialog) {
            click(dialog, "importMacrosButton");
            EXPECT_EQ(dialog.titleFields[0]->text(), "CQ");
        },
        false);
    exportMacros();
    struct stat info {};
    EXPECT_TRUE(stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    chosenFile = folder.filePath("old.txt");
    QFile old(chosenFile);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("# old macros\nA=B\n") > 0);
    old.close();
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small = {100, limit.rlim_max};
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    exportMacros();
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll().toStdString(), "# old macros\nA=B\n");
    EXPECT_EQ(alerts, (std::vector<std::string>{"Import Macro Texts Failed\n\n" + fifo + " is not a regular file.",
                                                "Export Macro Texts Failed\n\n" + fifo + " is not a regular file.",
                                                "Export Macro Texts Failed\n\nFile too large"}));
    EXPECT_EQ(QDir(folder.path()).entryList({"old.txt*"}, QDir::Files | QDir::Hidden).size(), 1);  // no temporary left
}

}  // namespace
