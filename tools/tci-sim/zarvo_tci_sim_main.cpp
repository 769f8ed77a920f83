// zarvo-tci-sim: a TCI server for development, tests and demos.
// Exit status 0 when it quits by itself, 1 when it cannot start, 2 on bad options.

#include "command_line.h"
#include "tci_sim_iq.h"
#include "tci_sim_options.h"
#include "tci_sim_server.h"
#include "tci_sim_session.h"
#include "wav_file.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Whole lines, flushed, so that a reader on a pipe sees them at once.
void print_line(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int fail(int status, const std::string& message)
{
    std::fprintf(stderr, "zarvo-tci-sim: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    TCI_SIM_OPTIONS options;
    std::string error;
    if (!tci_sim_parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return fail(2, error + " (see --help)");
    if (!options.infoText.empty())
        return command_line_print("zarvo-tci-sim", options.infoText) ? 0 : 1;
    std::shared_ptr<WAV_AUDIO> wav;
    if (options.source == TCI_SIM_SOURCE::Wav) {
        wav = std::make_shared<WAV_AUDIO>();
        if (!wav_read_file(options.wavPath, wav.get(), &error))
            return fail(1, options.wavPath + ": " + error);
        if (!tci_sim_adopt_wav_rate(*wav, &options, &error))
            return fail(2, options.wavPath + ": " + error);
    }
    // Before any client: each connection writes it again as it changes the
    // IQ rate or the frequency.
    if (!options.iqTruthPath.empty() &&
        !tci_sim_write_iq_truth(options.iqTruthPath, TciSimIq(options.iqStations, options.seed).stations(),
                                kTciSimDefaultFrequencyHz, &error))
        return fail(1, error);
    QCoreApplication app(argc, argv);
    TciSimServer server(options, wav, print_line);
    if (!server.listen(&error))
        return fail(1, error);
    print_line("Listening on ws://" + options.host + ":" + std::to_string(server.port()));
    if (options.exitAfterSeconds >= 0.0)
        QTimer::singleShot(static_cast<int>(options.exitAfterSeconds * 1000.0), &app, &QCoreApplication::quit);
    return app.exec();
}
