#include "decode_status_json.h"

#include <cmath>
#include <cstdio>

namespace {

void add(std::string* out, const char* name, double value)
{
    char number[40];
    if (std::isfinite(value))
        std::snprintf(number, sizeof(number), "%.9g", value);
    else
        std::snprintf(number, sizeof(number), "null");
    *out += out->size() > 1 ? ",\"" : "\"";
    *out += name;
    *out += "\":";
    *out += number;
}

}  // namespace

std::string decode_status_json(double seconds, const CW_RX_STATUS& s)
{
    std::string out = "{";
    add(&out, "t", seconds);
    add(&out, "level", s.level);
    add(&out, "threshold", s.threshold);
    add(&out, "reserved", s.reserved);
    add(&out, "keyDown", s.keyDown);
    add(&out, "signalPresent", s.signalPresent);
    add(&out, "lock", s.lock);
    add(&out, "pitchHz", s.pitchHz);
    add(&out, "wpm", s.wpm);
    add(&out, "inputLevel", s.inputLevel);
    add(&out, "decoderGain", s.decoderGain);
    add(&out, "decoderCost", s.decoderCost);
    add(&out, "statWpm", s.statWpm);
    add(&out, "statQuality", s.statQuality);
    add(&out, "statSnrDb", s.statSnrDb);
    add(&out, "statOnRatio", s.statOnRatio);
    add(&out, "toneOffsetHz", s.toneOffsetHz);
    out += "}";
    return out;
}
