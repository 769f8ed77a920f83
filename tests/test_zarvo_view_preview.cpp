// zarvo-view-preview run as a process; the pictures it writes are read back.
#include "tool_run.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(ViewPreviewTool, WritesBothViewsAtTheirLayoutSizesAndRefusesBadOptions)
{
    const tool_run::ScratchDir dir("zarvo_view_preview");
    const auto run = [](const std::vector<std::string>& args) {
        return tool_run::run(ZARVO_VIEW_PREVIEW_PATH, args, ">/dev/null 2>&1").status;
    };
    ASSERT_EQ(run({"--seconds", "3", "--scale", "2", dir / "out"}), 0);
    EXPECT_EQ(QImage(QString::fromStdString(dir / "out/spectrum.png")).size(), QSize(2 * 1180, 2 * 110));
    EXPECT_EQ(QImage(QString::fromStdString(dir / "out/tone-trace.png")).size(), QSize(2 * 1180, 2 * 75));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"--pitch", "50", dir / "bad"}, {"--bogus", dir / "bad"}})
        EXPECT_EQ(run(args), 2) << args.size();
    EXPECT_FALSE(std::filesystem::exists(dir.path / "bad"));
}
