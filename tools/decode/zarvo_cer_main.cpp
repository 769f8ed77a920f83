// zarvo-cer: character error rate of a decoded text against the sent one,
// counted after the sender's first word, for measure_accuracy.sh.
#include "text_metrics.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zarvo-cer SENT_TEXT DECODED_FILE\n");
        return 2;
    }
    std::ifstream in(argv[2]);
    if (!in) {
        std::fprintf(stderr, "zarvo-cer: cannot read '%s'\n", argv[2]);
        return 2;
    }
    std::stringstream decoded;
    decoded << in.rdbuf();
    std::printf("%.3f\n", text_metrics::cer_after_first_word(argv[1], decoded.str()));
    return 0;
}
