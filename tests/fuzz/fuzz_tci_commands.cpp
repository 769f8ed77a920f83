// Any text as commands to the simulated server: splitting, parsing and
// every handler must cope, and the stream it starts must stay well formed.
#include "TCIStreamInfo.h"
#include "tci_commands.h"
#include "tci_sim_session.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& command : tci_split_commands(text))
        if (tci_parse_command(command).name.find(';') != std::string::npos)
            std::abort();
    TCI_SIM_OPTIONS options;
    options.source = TCI_SIM_SOURCE::Ramp, options.sampleRate = 8000, options.frameSamples = 64;
    TciSimSession session(options, nullptr);
    TCI_SIM_OUTPUT out;
    session.receive(text, 0.0, &out);
    session.receive("audio_start:0;", 0.0, &out);
    session.tick(0.05, &out);
    for (const TCI_SIM_MESSAGE& m : out.messages)
        if (m.binary && !parseStreamInfoFromData(m.bytes.data(), m.bytes.size()).valid)
            std::abort();
    return 0;
}
