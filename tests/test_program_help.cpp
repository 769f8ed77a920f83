// Every program answers --help and --version on standard output with
// status 0, needing no input, display or server; the version names the build.
#include "tool_run.h"

#include <gtest/gtest.h>

TEST(ProgramHelp, EveryProgramAnswersHelpAndVersion)
{
    const std::string build = ZARVO_BUILD_VERSION, built = build.empty() ? "" : " (" + build + ")";
    for (const std::string path : {ZARVO_PROGRAMS}) {
        const std::string name = path.substr(path.rfind('/') + 1);
        const tool_run::Result help = tool_run::run(path, {"--help"}, "2>&1");
        EXPECT_TRUE(help.status == 0 && help.out.starts_with("Usage: " + name + " [options]")) << help.out;
        EXPECT_NE(help.out.find("  --version "), std::string::npos) << help.out;
        const tool_run::Result version = tool_run::run(path, {"--version"}, "2>&1");
        EXPECT_TRUE(version.status == 0 && version.out == name + " " + ZARVO_VERSION + built + "\n") << version.out;
    }
}
