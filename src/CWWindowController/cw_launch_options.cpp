#include "cw_launch_options.h"

#include "command_line.h"

#include <cstdlib>
#include <utility>

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

CLI::Validator server_address()
{
    return CLI::Validator(
        [](std::string& text) {
            return cw_parse_host_port(text, nullptr, nullptr)
                       ? std::string()
                       : "wants host:port with a port of 1 to 65535, not '" + text + "'";
        },
        "");
}

// Seconds above 0: a run that quits at once shows nothing.
CLI::Validator run_seconds()
{
    const CLI::Validator number = command_line_number(0.0, kMaxQuitAfterSeconds);
    return CLI::Validator(
        [number](std::string& text) {
            return number(std::as_const(text)).empty() && std::strtod(text.c_str(), nullptr) > 0.0
                       ? std::string()
                       : "wants seconds above 0 and at most 86400, not '" + text + "'";
        },
        "");
}

}  // namespace

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

bool cw_parse_launch_options(const std::vector<std::string>& args, CW_LAUNCH_OPTIONS* options, std::string* error)
{
    CW_LAUNCH_OPTIONS parsed;
    std::string server;
    CLI::App app{"The desktop CW decoder for a TCI server. Qt's own options (-platform\n"
                 "offscreen, ...) are taken as well.",
                 "zarvo"};
    command_line_setup(app);
    CLI::Option* connect = app.add_option("--connect", server,
                                          "press Connect at start; host and port replace the stored "
                                          "ones for this run only")
                               ->type_name("[HOST:PORT]")
                               ->expected(0, 1)
                               ->check(server_address());
    CLI::Option* quitAfter = app.add_option("--quit-after", parsed.quitAfterSeconds, "close the window after S seconds")
                                 ->type_name("S")
                                 ->check(run_seconds());
    app.add_option("--screenshot", parsed.screenshotPath,
                   "save a picture of the window just before --quit-after ends the run")
        ->type_name("FILE")
        ->check(command_line_not_empty())
        ->needs(quitAfter);
    app.add_flag("--print-log", parsed.printLog, "print every line of the log pane to standard output as well");

    std::string reason;
    if (!command_line_parse(app, args, &parsed.infoText, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    parsed.connect = connect->count() > 0;
    if (!server.empty())
        cw_parse_host_port(server, &parsed.host, &parsed.port);
    if (options)
        *options = parsed;
    return true;
}
