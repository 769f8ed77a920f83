// The Macro Setup dialog with its macro files, driven through the window.
#include "test_cw_window_controller_fixture.h"

#include "CWMacroSetupDialog.h"

#include <QPushButton>

using namespace cw_window_test;

namespace {

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
    void writeFile(const QByteArray& bytes) const
    {
        QFile file(chosenFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::function<void(CWMacroSetupDialog&)> act;
    bool pressOK = true;
    QString chosenFile = folder.filePath("macros.txt");
    QString proposedName;
};

TEST_F(WindowMacroSetupTest, OkStoresTheFieldsAndRenamesTheButtons)
{
    openSetup([](CWMacroSetupDialog& dialog) {
        EXPECT_EQ(dialog.stationFields[0]->text(), "QQ0QQ");
        dialog.stationFields[0]->setText(" qq9zz ");
        dialog.titleFields[2]->setText("rig");
        dialog.textFields[2]->setText("<tx>rig is tci<rx>");
        dialog.titleFields[3]->clear();
    });
    EXPECT_EQ(stored("CWMacroSetupCallsign"), "QQ9ZZ");
    EXPECT_EQ(control<QPushButton>("macroButton2")->text(), "RIG");
    EXPECT_EQ(control<QPushButton>("macroButton2")->toolTip(), "<TX>RIG IS TCI<RX>");
    EXPECT_EQ(stored("CWMacroButtonTitle3"), "73");  // an emptied title is the default again

    openSetup([](CWMacroSetupDialog& dialog) { dialog.titleFields[2]->setText("GONE"); }, false);
    EXPECT_EQ(control<QPushButton>("macroButton2")->text(), "RIG");
}

TEST_F(WindowMacroSetupTest, ExportThenImportRestoresEveryValue)
{
    openSetup([](CWMacroSetupDialog& dialog) {
        dialog.titleFields[0]->setText("#1");
        dialog.titleFields[1]->setText("A=B");
        dialog.textFields[1]->setText(" X = Y ");
    });
    openSetup([](CWMacroSetupDialog& dialog) { click(dialog, "exportMacrosButton"); }, false);
    EXPECT_EQ(proposedName, "Zarvo-macros.txt");
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
}

TEST_F(WindowMacroSetupTest, ABadFileIsNamedAndChangesNoField)
{
    writeFile("# Zarvo macro texts v1\n# Format: LABEL=TEXT\n\nCQ=CQ\nCALL=");
    openSetup(
        [](CWMacroSetupDialog& dialog) {
            click(dialog, "importMacrosButton");
            EXPECT_EQ(dialog.titleFields[0]->text(), "CQ");
            EXPECT_EQ(dialog.textFields[0]->text().left(4), "<TX>");
        },
        false);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Import Macro Texts Failed\n\n", 0), 0u) << alerts[0];
    EXPECT_NE(alerts[0].find("truncated"), std::string::npos) << alerts[0];

    chosenFile = folder.filePath("missing.txt");
    openSetup([](CWMacroSetupDialog& dialog) { click(dialog, "importMacrosButton"); }, false);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].rfind("Import Macro Texts Failed\n\n", 0), 0u) << alerts[1];
}

}  // namespace
