// Runs a built program through the shell and keeps what it printed, for tests of the command-line tools.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tool_run {

struct Result {
    int status = -1;  // -1 when the program did not exit by itself
    std::string out;  // what reached the pipe: standard output unless redirected
};

inline std::string quoted(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The command that starts a program. A built one, given by its path, runs through the emulator when the tests
// run on one; a system command named without a path ("git", "bash") runs as it is.
inline std::string program(const std::string& path)
{
#ifdef ZARVO_TOOL_EMULATOR
    if (path.find('/') != std::string::npos)
        return std::string(ZARVO_TOOL_EMULATOR) + " " + quoted(path);
#endif
    return quoted(path);
}

// The program with each argument quoted, then the redirections as given.
inline Result run(const std::string& program, const std::vector<std::string>& args, const std::string& redirect = "")
{
    std::string command = tool_run::program(program);
    for (const std::string& a : args)
        command += " " + quoted(a);
    Result r;
    FILE* pipe = popen((command + " " + redirect).c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Starts a program through the shell to read what it prints, as popen does.
inline FILE* start(const std::string& program, const std::string& args)
{
    return popen((tool_run::program(program) + " " + args).c_str(), "r");
}

// The TCI simulator's first line, "Listening on ws://127.0.0.1:PORT", gives its address; empty when it said
// anything else.
inline std::string listening_url(FILE* simulator)
{
    char line[256] = {};
    const std::string text = simulator && std::fgets(line, sizeof line, simulator) ? line : "";
    return text.starts_with("Listening on ws://") ? text.substr(13, text.find_last_not_of("\r\n") - 12) : "";
}

// Reads a program's output until it ends by itself, and its exit status.
inline int drain(FILE* program)
{
    char buffer[4096];
    while (std::fread(buffer, 1, sizeof buffer, program) > 0)
        continue;
    const int status = pclose(program);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts a built program with standard output and error into files and returns its process id, so it can be
// signalled and waited for (the shell execs it); -1 when it could not be started.
inline pid_t spawn(const std::string& path, const std::vector<std::string>& args, const std::string& out,
                   const std::string& err)
{
    std::string command = "exec " + tool_run::program(path);
    for (const std::string& a : args)
        command += " " + quoted(a);
    command += " >" + quoted(out) + " 2>" + quoted(err);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0 ? pid : -1;
}

inline std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder of this process's own (builds may run the same test at once), emptied when made and removed with
// the object.
struct ScratchDir {
    explicit ScratchDir(const std::string& name)
        : path(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(getpid())))
    {
        std::filesystem::remove_all(path), std::filesystem::create_directories(path);
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }

    const std::filesystem::path path;
};

}  // namespace tool_run
