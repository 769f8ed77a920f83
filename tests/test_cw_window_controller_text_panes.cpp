// The log pane, the received-text pane and the RX text log that mirrors the
// received text to a file.
#include "test_cw_window_controller_fixture.h"

#include "CWDecodedTextView.h"
#include "cw_text_panes.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTextCursor>

using namespace cw_window_test;

namespace {

std::string contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<unreadable>";
}

class WindowTextPanesTest : public WindowTest {
protected:
    // The same second for every start.
    void makeFrozenWindow(const QString& documentsFolder = QString())
    {
        makeWindow(CW_WINDOW_ENVIRONMENT{documentsFolder, [] { return local_time(2026, 12, 7, 9, 5, 3); }});
    }
    std::string paneText() const { return control<CWDecodedTextView>("decodedTextView")->toPlainText().toStdString(); }
    QColor colourAt(int position) const
    {
        QTextCursor cursor(control<CWDecodedTextView>("decodedTextView")->document());
        cursor.setPosition(position + 1);  // the format of the character before the cursor
        return cursor.charFormat().foreground().color();
    }
    QPushButton* txtButton() const { return control<QPushButton>("saveTxtButton"); }
    QString rxFile(const char* name) const { return QDir(documents()).filePath(QString("Zarvo/rx/") + name); }
};

TEST_F(WindowTextPanesTest, ReceivedTextFoldsBlanksAndTransmittedTextStandsOnItsOwnLine)
{
    makeWindow();
    controller->appendTransmittedText(" \n ");
    controller->appendDecodedText("X");
    controller->appendDecodedText("  A\nB");
    controller->appendDecodedText(" ");
    controller->appendDecodedText(" \t C");
    controller->appendDecodedText("");
    EXPECT_EQ(paneText(), "X A B C");
    controller->appendTransmittedText("  ZR1ABC 599 \n");
    controller->appendDecodedText(" R");
    controller->appendTransmittedText("TU");
    EXPECT_EQ(paneText(), "X A B C\nTX: ZR1ABC 599\nR\nTX: TU\n");  // the blank after a line break is dropped
    EXPECT_EQ(colourAt(0), QColor::fromRgbF(0.92, 0.92, 0.92));
    EXPECT_EQ(colourAt(8), QColor::fromRgbF(0.3, 0.62, 1.0));
}

TEST_F(WindowTextPanesTest, TheLogPaneKeepsOnlyTheNewestLines)
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

TEST_F(WindowTextPanesTest, EachRxTextLogStartMirrorsReceivedTextToANewFile)
{
    makeFrozenWindow();
    txtButton()->click();
    const QString path = rxFile("Zarvo-rx-20261207-090503.txt");
    EXPECT_EQ(controller->rxTextLog().path(), path);
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
    EXPECT_EQ(controller->rxTextLog().path(), "");
    EXPECT_EQ(logLines().back(), "RX TXT log stopped: " + path.toStdString());

    txtButton()->click();  // again in the same second: a file of its own
    controller->appendDecodedText("LATER");
    controller.reset();  // closing the window closes the log
    EXPECT_EQ(contents(path), "CQ DE K");
    EXPECT_EQ(contents(rxFile("Zarvo-rx-20261207-090503-2.txt")), "LATER");
}

TEST_F(WindowTextPanesTest, AFolderThatCannotBeMadeIsLoggedAndLeavesTheLogOff)
{
    const QString blocker = folder.filePath("NotAFolder");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    makeFrozenWindow(blocker);
    txtButton()->click();
    EXPECT_EQ(logLines().back(),
              "RX TXT log failed: could not create directory " + QDir(blocker).filePath("Zarvo/rx").toStdString());
    EXPECT_EQ(txtButton()->text(), "RX TXT");
    controller->appendDecodedText("STILL SHOWN");
    EXPECT_EQ(paneText(), "STILL SHOWN");
}

}  // namespace
