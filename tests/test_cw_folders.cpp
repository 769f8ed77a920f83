// Where the window's files go when the user's folders are missing, and how
// a free file name is found.
#include "CWFolders.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(CWFolders, AMissingStandardFolderFallsBackToHome)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", home.filePath(".config").toLocal8Bit().constData(), 1);
    EXPECT_EQ(cw_standard_folder(QStandardPaths::DocumentsLocation, "/given"), "/given");
    for (auto location : {QStandardPaths::DocumentsLocation, QStandardPaths::DesktopLocation})
        EXPECT_EQ(cw_standard_folder(location, ""), home.path());
    ASSERT_TRUE(QDir(home.path()).mkdir("Documents"));
    EXPECT_EQ(cw_standard_folder(QStandardPaths::DocumentsLocation, ""), home.filePath("Documents"));
}

TEST(CWFolders, TheFirstFreeNameIsTakenAndTheSearchEnds)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto numbered = [](int i) { return "take-" + std::to_string(i) + ".txt"; };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(QFile(folder.filePath(QString::fromStdString(numbered(i)))).open(QIODevice::WriteOnly));
    EXPECT_EQ(cw_first_free_path(QDir(folder.path()), numbered), folder.filePath("take-3.txt"));
    // Names that never change are all taken once the first is: no endless search.
    EXPECT_TRUE(cw_first_free_path(QDir(folder.path()), [](int) { return std::string("take-0.txt"); }).isEmpty());
}
