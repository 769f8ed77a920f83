// The log pane, the received-text pane and the RX text log file.
#include "test_cw_window_controller_fixture.h"

#include "CWDecodedTextView.h"
#include "cw_text_panes.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

using namespace cw_window_test;

namespace {

std::string contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

class WindowTextPanesTest : public WindowTest {
protected:
    // The same second for every start.
    void makeFrozenWindow(const QString& documentsFolder = QString())
    {
        makeWindow(CW_WINDOW_ENVIRONMENT{documentsFolder, [] { return local_time(2026, 12, 7, 9, 5, 3); }});
    }
    CWDecodedTextView* pane() const { return control<CWDecodedTextView>("decodedTextView"); }
    std::string paneText() const { return pane()->toPlainText().toStdString(); }
    QColor colourAt(int position) const
    {
        QTextCursor cursor(pane()->document());
        cursor.setPosition(position + 1);  // the format of the character before the cursor
        return cursor.charFormat().foreground().color();
    }
    QPushButton* txtButton() const { return control<QPushButton>("saveTxtButton"); }
    QString rxFolder() const { return QDir(documents()).filePath("Zarvo/rx"); }
};

TEST_F(WindowTextPanesTest, DecodedTextFoldsWhiteSpaceIntoSingleBlanks)
{
    makeWindow();
    controller->appendDecodedText("X");
    controller->appendDecodedText("  A\nB");
    EXPECT_EQ(paneText(), "X A B");
    controller->appendDecodedText(" ");
    controller->appendDecodedText(" \t C");
    EXPECT_EQ(paneText(), "X A B C");
    controller->appendDecodedText("");
    EXPECT_EQ(paneText(), "X A B C");
    EXPECT_EQ(colourAt(0), QColor::fromRgbF(0.92, 0.92, 0.92));
}

TEST_F(WindowTextPanesTest, TransmittedTextStandsOnItsOwnLine)
{
    makeWindow();
    controller->appendTransmittedText(" \n ");
    EXPECT_EQ(paneText(), "");
    controller->appendDecodedText("CQ");
    controller->appendTransmittedText("  ZR1ABC 599 \n");
    controller->appendDecodedText(" R");
    EXPECT_EQ(paneText(), "CQ\nTX: ZR1ABC 599\nR");  // the blank after a line break is dropped
    EXPECT_EQ(colourAt(3), QColor::fromRgbF(0.3, 0.62, 1.0));
    controller->appendTransmittedText("TU");
    controller->appendTransmittedText("73");
    EXPECT_EQ(paneText(), "CQ\nTX: ZR1ABC 599\nR\nTX: TU\nTX: 73\n");
}

TEST_F(WindowTextPanesTest, TheLogPaneAppendsAndKeepsOnlyTheNewestLines)
{
    makeWindow();
    controller->appendLog("");
    EXPECT_TRUE(logLines().empty());
    const size_t total = kCWLogPaneMaxLines + 150;
    for (size_t i = 0; i < total; ++i)
        controller->appendLog("line " + std::to_string(i));
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), kCWLogPaneMaxLines);
    EXPECT_EQ(lines.front(), "line 150");
    EXPECT_EQ(lines.back(), "line " + std::to_string(total - 1));
}

TEST_F(WindowTextPanesTest, EachRxTextLogStartMirrorsDecodedTextToANewFile)
{
    makeFrozenWindow();
    txtButton()->click();
    const QString path = QDir(rxFolder()).filePath("Zarvo-rx-20261207-090503.txt");
    EXPECT_EQ(controller->rxTextLogPath(), path);
    EXPECT_EQ(txtButton()->text(), "TXT ON");
    EXPECT_EQ(logLines().back(), "RX TXT log started: " + path.toStdString());
    controller->appendDecodedText("CQ  DE");
    controller->appendTransmittedText("TEST");
    control<QPushButton>("clearRxButton")->click();
    EXPECT_EQ(paneText(), "");
    controller->appendDecodedText(" K");
    EXPECT_EQ(contents(path), "CQ DE K");  // written at once, not at the close
    txtButton()->click();
    EXPECT_EQ(txtButton()->text(), "RX TXT");
    EXPECT_EQ(controller->rxTextLogPath(), "");
    EXPECT_EQ(logLines().back(), "RX TXT log stopped: " + path.toStdString());

    txtButton()->click();  // again in the same second: a file of its own
    const QString second = QDir(rxFolder()).filePath("Zarvo-rx-20261207-090503-2.txt");
    EXPECT_EQ(controller->rxTextLogPath(), second);
    controller->appendDecodedText("LATER");
    controller.reset();  // the tear-down closes the log
    EXPECT_EQ(contents(path), "CQ DE K");
    EXPECT_EQ(contents(second), "LATER");
}

TEST_F(WindowTextPanesTest, AFolderThatCannotBeMadeIsLoggedAndLeavesTheLogOff)
{
    const QString blocker = folder.filePath("NotAFolder");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    makeFrozenWindow(blocker);
    EXPECT_FALSE(controller->openRxTextLog());
    EXPECT_EQ(logLines().back(),
              "RX TXT log failed: could not create directory " + QDir(blocker).filePath("Zarvo/rx").toStdString());
    EXPECT_EQ(txtButton()->text(), "RX TXT");
    controller->appendDecodedText("STILL SHOWN");
    EXPECT_EQ(paneText(), "STILL SHOWN");
}

}  // namespace
