#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace {

constexpr size_t kOptionColumn = 24;
constexpr size_t kLineWidth = 80;

// The words of text in lines of at most width characters, each line after
// the first indented; line breaks in the text stay.
std::string wrap(const std::string& text, size_t width, size_t indent)
{
    std::string out;
    size_t column = 0;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find_first_of(" \n", at), text.size());
        const std::string word = text.substr(at, end - at);
        if (!word.empty()) {
            if (column > 0 && column + 1 + word.size() > width) {
                out += "\n" + std::string(indent, ' ');
                column = 0;
            }
            out += (column > 0 ? " " : "") + word;
            column += (column > 0 ? 1 : 0) + word.size();
        }
        if (end < text.size() && text[end] == '\n') {
            out += "\n" + std::string(indent, ' ');
            column = 0;
        }
        at = end + 1;
    }
    return out;
}

// Usage first, then what the program does, then each option with its
// default, in 80 columns.
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter()
    {
        label("Usage", "Usage");
        label("OPTIONS", "options");
        label("Positionals", "Arguments");
    }

    std::string make_description(const CLI::App*) const override { return {}; }

    std::string make_usage(const CLI::App* app, std::string name) const override
    {
        const std::string usage = CLI::Formatter::make_usage(app, name) + "\n";
        const std::string& about = app->get_description();
        return about.empty() ? usage : usage + about + "\n\n";
    }

    // One blank line between groups, none before the first.
    std::string make_group(std::string group, bool positional, std::vector<const CLI::Option*> options) const override
    {
        std::string out = group + ":\n";
        for (const CLI::Option* option : options)
            out += make_option(option, positional);
        return out;
    }

    std::string make_positionals(const CLI::App* app) const override
    {
        const std::string out = CLI::Formatter::make_positionals(app);
        return out.empty() ? out : out + "\n";
    }

    std::string make_option(const CLI::Option* option, bool positional) const override
    {
        std::string left = "  " + make_option_name(option, positional) + (positional ? "" : make_option_opts(option));
        left += left.size() + 2 > kOptionColumn ? "\n" + std::string(kOptionColumn, ' ')
                                                : std::string(kOptionColumn - left.size(), ' ');
        return left + wrap(make_option_desc(option), kLineWidth - kOptionColumn, kOptionColumn) + "\n";
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        for (size_t comma = name.find(','); comma != std::string::npos; comma = name.find(',', comma + 2))
            name.insert(comma + 1, " ");
        return name;
    }

    std::string make_option_opts(const CLI::Option* option) const override
    {
        if (option->get_type_size() == 0 || option->get_type_name().empty())
            return {};
        return " " + option->get_type_name();
    }

    std::string make_option_desc(const CLI::Option* option) const override
    {
        std::string text = option->get_description();
        if (option->get_required() && !option->get_positional())
            text += " (required)";
        if (!option->get_default_str().empty())
            text += " (default " + option->get_default_str() + ")";
        return text;
    }
};

// 1000000 rather than %g's 1e+06.
std::string format_number(double value)
{
    char text[32];
    const bool whole = value == std::floor(value) && std::fabs(value) < 1e15;
    std::snprintf(text, sizeof text, whole ? "%.0f" : "%g", value);
    return text;
}

}  // namespace

void command_line_setup(CLI::App& app)
{
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show this text");
    // The build goes with the version, so a report names the exact program.
    const std::string build = ZARVO_BUILD_VERSION;
    app.set_version_flag("--version", app.get_name() + " " + ZARVO_VERSION + (build.empty() ? "" : " (" + build + ")"),
                         "show the program's version");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();
}

bool command_line_parse(CLI::App& app, const std::vector<std::string>& args, std::string* infoText, std::string* error)
{
    infoText->clear();
    // CLI11 would take the next argument as the value of "--status=", so
    // "--status= in.wav" would name the input as the status file.
    for (const std::string& arg : args) {
        if (arg.size() > 3 && arg.rfind("--", 0) == 0 && arg.find('=') == arg.size() - 1) {
            *error = arg.substr(0, arg.size() - 1) + ": needs a value after '='";
            return false;
        }
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        *infoText = app.help();
    } catch (const CLI::CallForVersion& version) {
        *infoText = std::string(version.what()) + "\n";
    } catch (const CLI::ParseError& mistake) {
        *error = mistake.what();
        return false;
    }
    return true;
}

CLI::Validator command_line_whole(uint64_t lo, uint64_t hi)
{
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            uint64_t value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (ec != std::errc() || stop != end || value < lo || value > hi)
                return "needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not '" +
                       text + "'";
            text = std::to_string(value);  // no leading zeros left to look octal
            return {};
        },
        "");
}

CLI::Validator command_line_number(double lo, double hi)
{
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            double value = 0.0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (ec == std::errc() && stop == end && std::isfinite(value) && value >= lo && value <= hi)
                return {};
            const bool bounded = lo > -std::numeric_limits<double>::max() || hi < std::numeric_limits<double>::max();
            return "needs a number" + (bounded ? " from " + format_number(lo) + " to " + format_number(hi) : "") +
                   ", not '" + text + "'";
        },
        "");
}

CLI::Validator command_line_not_empty()
{
    return CLI::Validator([](std::string& text) { return text.empty() ? "needs a value" : std::string(); }, "");
}

bool command_line_print(const char* program, const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    return command_line_flush_stdout(program);
}

bool command_line_flush_stdout(const char* program)
{
    // A write that fails while the buffer overflows keeps its bytes, so the
    // flush fails again and tells why. A failed flush drops them, so after
    // one (the decoder flushes its text) errno as that flush left it is all
    // that tells.
    const int earlier = errno;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout))
        return true;
    const int reason = flushed ? earlier : errno;
    std::fprintf(stderr, "%s: cannot write to standard output%s%s\n", program, reason != 0 ? ": " : "",
                 reason != 0 ? std::strerror(reason) : "");
    return false;
}
