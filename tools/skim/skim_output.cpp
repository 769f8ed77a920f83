#include "skim_output.h"

#include "cw_cluster_line.h"
#include "tci_commands.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr size_t kEventsPerTake = 64;
constexpr size_t kTextsPerTake = 64;
constexpr double kKhz = 1000.0;

struct OpenLine {
    double frequencyHz = 0;
    double lastHeard = 0;  // stream seconds
    std::string text;
};

}  // namespace

struct SKIM_OUTPUT {
    SKIM_OUTPUT_CONFIG config;
    std::map<int32_t, OpenLine> lines;  // by channel id
    std::vector<std::string> radio;
    uint64_t spots = 0;
    CW_SPOT_EVENT events[kEventsPerTake];
    CW_SKIMMER_TEXT texts[kTextsPerTake];
};

namespace {

bool write_line(SKIM_OUTPUT* o, const std::string& line)
{
    return std::fputs(line.c_str(), o->config.out) >= 0;
}

// "7020.71  CQ CQ DE DL2QZA": two decimals tell neighbouring channels apart.
bool print_text_line(SKIM_OUTPUT* o, OpenLine& line)
{
    while (!line.text.empty() && line.text.back() == ' ')
        line.text.pop_back();
    bool ok = true;
    if (!line.text.empty()) {
        char head[32];
        std::snprintf(head, sizeof head, "%.2f  ", line.frequencyHz / kKhz);
        ok = write_line(o, head + line.text + "\n");
    }
    line.text.clear();
    return ok;
}

// Line breaks and control characters of the decoder become single spaces:
// a channel's line is one line.
void append_text(OpenLine& line, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = static_cast<unsigned char>(*p) < ' ' ? ' ' : *p;
        if (c == ' ' && (line.text.empty() || line.text.back() == ' '))
            continue;
        line.text += c;
    }
}

bool spot_event(SKIM_OUTPUT* o, const CW_SPOT_EVENT& e, int64_t utcSeconds)
{
    const CW_SPOT& s = e.spot;
    if (e.kind == CW_SPOT_DELETE) {
        if (o->config.radioCommands)
            o->radio.push_back(tci_spot_delete_command(s.call));
        return true;
    }
    if (e.kind != CW_SPOT_NEW && !(e.kind == CW_SPOT_REFRESH && e.resend))
        return true;
    const std::string line = cw_cluster_spot_line({.spotter = o->config.spotter,
                                                   .frequencyHz = s.frequencyHz,
                                                   .call = s.call,
                                                   .snrDb = s.snrDb,
                                                   .wpm = s.wpm,
                                                   .cq = s.cq != 0,
                                                   .utcSeconds = utcSeconds});
    ++o->spots;
    if (o->config.cluster != nullptr)
        cw_cluster_server_broadcast(o->config.cluster, line);
    if (o->config.radioCommands)
        o->radio.push_back(tci_spot_command(s.call, "cw", s.frequencyHz, kTCISpotDefaultArgb,
                                            cw_cluster_spot_comment(s.snrDb, s.wpm, s.cq != 0)));
    // Cluster lines end in CR LF for telnet; a terminal or a file wants LF.
    return write_line(o, line.substr(0, line.find_last_not_of("\r\n") + 1) + "\n");
}

}  // namespace

SKIM_OUTPUT* skim_output_create(const SKIM_OUTPUT_CONFIG& config)
{
    if (config.out == nullptr)
        return nullptr;
    auto* o = new SKIM_OUTPUT;
    o->config = config;
    return o;
}

bool skim_output_take(SKIM_OUTPUT* o, CW_SKIMMER* skimmer, int64_t utcSeconds)
{
    if (o == nullptr)
        return false;
    bool ok = true;
    size_t n = 0;
    while ((n = cw_skimmer_take_events(skimmer, o->events, kEventsPerTake)) > 0)
        for (size_t i = 0; i < n; ++i)
            ok = spot_event(o, o->events[i], utcSeconds) && ok;
    CW_SKIMMER_STATUS status{};
    cw_skimmer_get_status(skimmer, &status);
    // Drained even without --text, so that no channel's text piles up.
    while ((n = cw_skimmer_take_text(skimmer, o->texts, kTextsPerTake)) > 0) {
        for (size_t i = 0; o->config.text && i < n; ++i) {
            OpenLine& line = o->lines[o->texts[i].channelId];
            line.frequencyHz = o->texts[i].frequencyHz;
            line.lastHeard = status.seconds;
            append_text(line, o->texts[i].text);
            if (line.text.size() >= kSkimTextLineChars)
                ok = print_text_line(o, line) && ok;
        }
    }
    for (auto it = o->lines.begin(); it != o->lines.end();) {
        if (status.seconds - it->second.lastHeard < kSkimTextQuietSeconds) {
            ++it;
            continue;
        }
        ok = print_text_line(o, it->second) && ok;
        it = o->lines.erase(it);
    }
    return ok && !std::ferror(o->config.out);
}

bool skim_output_flush_text(SKIM_OUTPUT* o)
{
    if (o == nullptr)
        return false;
    bool ok = true;
    for (auto& [id, line] : o->lines)
        ok = print_text_line(o, line) && ok;
    o->lines.clear();
    return ok && !std::ferror(o->config.out);
}

std::vector<std::string> skim_output_take_radio_commands(SKIM_OUTPUT* o)
{
    std::vector<std::string> taken;
    if (o != nullptr)
        taken.swap(o->radio);
    return taken;
}

uint64_t skim_output_spot_count(const SKIM_OUTPUT* o)
{
    return o == nullptr ? 0 : o->spots;
}

void skim_output_destroy(SKIM_OUTPUT* o)
{
    delete o;
}
