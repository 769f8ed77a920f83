// Runs the built zarvo-view-preview as a process and looks at what it wrote.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>

class ViewPreviewTool : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(dir_); }

    int run(const std::string& args)
    {
        const std::string command = std::string(ZARVO_VIEW_PREVIEW_PATH) + " " + args + " >/dev/null 2>&1";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // Per process: other builds may run the same test at the same time.
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("zarvo_view_preview_" + std::to_string(getpid()));
};

TEST_F(ViewPreviewTool, WritesBothViewsAtTheirLayoutSizes)
{
    ASSERT_EQ(run("--seconds 3 --scale 2 '" + dir_.string() + "/out'"), 0);
    const QImage spectrum(QString::fromStdString((dir_ / "out/spectrum.png").string()));
    const QImage trace(QString::fromStdString((dir_ / "out/tone-trace.png").string()));
    EXPECT_EQ(spectrum.width(), 2 * 1180);
    EXPECT_EQ(spectrum.height(), 2 * 110);
    EXPECT_EQ(trace.width(), 2 * 1180);
    EXPECT_EQ(trace.height(), 2 * 75);
}

TEST_F(ViewPreviewTool, RefusesBadOptions)
{
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(run("--pitch 50 '" + dir_.string() + "'"), 2);
    EXPECT_EQ(run("--bogus '" + dir_.string() + "'"), 2);
    EXPECT_FALSE(std::filesystem::exists(dir_));
}
