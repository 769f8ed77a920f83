// Every program answers --help and --version on standard output with
// status 0, needing no input, display or server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct OUTPUT {
    int status;
    std::string text;  // standard output and standard error
};

OUTPUT run(const std::string& path, const char* option)
{
    OUTPUT r{-1, {}};
    FILE* pipe = popen(("'" + path + "' " + option + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        r.text += buffer;
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace

TEST(ProgramHelp, EveryProgramAnswersHelpAndVersion)
{
    for (const std::string path : {ZARVO_PROGRAMS}) {
        const std::string name = path.substr(path.rfind('/') + 1);
        const OUTPUT help = run(path, "--help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.text.rfind("usage: " + name + " [options]", 0), 0u) << help.text;
        EXPECT_NE(help.text.find("  --version "), std::string::npos) << help.text;
        const OUTPUT version = run(path, "--version");
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_EQ(version.text, name + " " + ZARVO_VERSION + "\n");
    }
}
