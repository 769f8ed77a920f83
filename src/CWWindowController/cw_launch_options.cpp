#include "cw_launch_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long long kMaxPort = 65535;
constexpr double kMaxQuitAfterSeconds = 86400.0;

bool all_digits(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool parse_seconds(const std::string& text, double* seconds)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0.0 || value > kMaxQuitAfterSeconds)
        return false;
    *seconds = value;
    return true;
}

// Splits "--name=value"; a bare "--name" leaves the value empty.
void split_option(const char* arg, std::string* name, std::string* value, bool* hasValue)
{
    const char* eq = std::strchr(arg, '=');
    *hasValue = eq != nullptr;
    *name = eq ? std::string(arg, eq) : std::string(arg);
    *value = eq ? std::string(eq + 1) : std::string();
}

class Parser {
public:
    Parser(int argc, const char* const* argv, CW_LAUNCH_OPTIONS* options) : argc_(argc), argv_(argv), o_(options) {}

    bool run(std::string* error)
    {
        for (i_ = 1; i_ < argc_; ++i_) {
            if (argv_[i_] == nullptr)
                continue;
            if (!option(error))
                return false;
        }
        if (!o_->screenshotPath.empty() && o_->quitAfterSeconds <= 0.0)
            return fail(error, "--screenshot needs --quit-after");
        return true;
    }

private:
    bool option(std::string* error)
    {
        std::string name, value;
        bool hasValue = false;
        split_option(argv_[i_], &name, &value, &hasValue);
        if (name == "--help" || name == "-h") {
            o_->help = true;
            return true;
        }
        if (name == "--print-log") {
            o_->printLog = true;
            return true;
        }
        if (name == "--connect")
            return connect(hasValue ? &value : optionalNext(), error);
        if (name == "--quit-after") {
            if (!requiredValue(name, hasValue, &value, error))
                return false;
            if (!parse_seconds(value, &o_->quitAfterSeconds))
                return fail(error, "--quit-after wants seconds above 0 and at most 86400, not '" + value + "'");
            return true;
        }
        if (name == "--screenshot") {
            if (!requiredValue(name, hasValue, &value, error))
                return false;
            if (value.empty())
                return fail(error, "--screenshot wants a file name");
            o_->screenshotPath = value;
            return true;
        }
        return fail(error, "unknown option '" + std::string(argv_[i_]) + "'");
    }

    const std::string* optionalNext()
    {
        if (i_ + 1 >= argc_ || argv_[i_ + 1] == nullptr || argv_[i_ + 1][0] == '-')
            return nullptr;
        next_ = argv_[++i_];
        return &next_;
    }

    bool requiredValue(const std::string& name, bool hasValue, std::string* value, std::string* error)
    {
        if (hasValue)
            return true;
        if (i_ + 1 >= argc_ || argv_[i_ + 1] == nullptr)
            return fail(error, name + " needs a value");
        *value = argv_[++i_];
        return true;
    }

    bool connect(const std::string* address, std::string* error)
    {
        o_->connect = true;
        if (address == nullptr)
            return true;
        if (!cw_parse_host_port(*address, &o_->host, &o_->port))
            return fail(error, "--connect wants host:port with a port of 1 to 65535, not '" + *address + "'");
        return true;
    }

    static bool fail(std::string* error, const std::string& reason)
    {
        if (error)
            *error = reason;
        return false;
    }

    int argc_;
    const char* const* argv_;
    CW_LAUNCH_OPTIONS* o_;
    int i_ = 1;
    std::string next_;
};

}  // namespace

const char* cw_launch_usage()
{
    return "Usage: zarvo [--connect [host:port]] [--quit-after SECONDS [--screenshot FILE.png]] [--print-log]\n"
           "  --connect [host:port]  press Connect at start; host and port replace the stored ones\n"
           "                         for this run only\n"
           "  --quit-after SECONDS   close the window after SECONDS\n"
           "  --screenshot FILE      save a picture of the window just before --quit-after ends the run\n"
           "  --print-log            print every line of the log pane to standard output as well\n"
           "  --help                 show this text\n";
}

bool cw_parse_host_port(const std::string& text, std::string* host, long long* port)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string name = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    const bool bracketed = name.front() == '[';
    if (bracketed && (name.size() < 3 || name.back() != ']'))
        return false;
    if (!bracketed && name.find(':') != std::string::npos)
        return false;  // a bare IPv6 address: the port cannot be told apart
    if (!all_digits(digits))
        return false;
    const long long value = std::atoll(digits.c_str());
    if (value < 1 || value > kMaxPort)
        return false;
    if (host)
        *host = name;
    if (port)
        *port = value;
    return true;
}

bool cw_parse_launch_options(int argc, const char* const* argv, CW_LAUNCH_OPTIONS* options, std::string* error)
{
    CW_LAUNCH_OPTIONS parsed;
    if (!Parser(argc, argv, &parsed).run(error))
        return false;
    if (options)
        *options = parsed;
    return true;
}
