// zarvo-cer: character error rate of a decoded text against the sent one,
// counted after the sender's first word, for measure_accuracy.sh.
#include "command_line.h"
#include "text_metrics.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "zarvo-cer";

}  // namespace

int main(int argc, char** argv)
{
    std::string sent, decodedPath, infoText, error;
    CLI::App app{"Prints the character error rate of the decoded text against the sent one,\n"
                 "counted after the sender's first word.",
                 kProgram};
    command_line_setup(app);
    app.add_option("SENT_TEXT", sent, "the text that was sent")->required();
    app.add_option("DECODED_FILE", decodedPath, "a file holding the decoded text")->required();
    if (!command_line_parse(app, std::vector<std::string>(argv + 1, argv + argc), &infoText, &error)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, error.c_str());
        return 2;
    }
    if (!infoText.empty())
        return command_line_print(kProgram, infoText) ? 0 : 1;
    std::ifstream in(decodedPath);
    if (!in) {
        std::fprintf(stderr, "zarvo-cer: cannot read '%s'\n", decodedPath.c_str());
        return 2;
    }
    std::stringstream decoded;
    decoded << in.rdbuf();
    std::printf("%.3f\n", text_metrics::cer_after_first_word(sent, decoded.str()));
    return command_line_flush_stdout(kProgram) ? 0 : 1;
}
