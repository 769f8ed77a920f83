#include "tci_sim_session.h"

#include <charconv>
#include <iterator>
#include <system_error>

namespace {

constexpr uint64_t kMinFrequencyHz = 10000;
constexpr uint64_t kMaxFrequencyHz = 100000000000;

bool parse_uint(const std::string& text, uint64_t lo, uint64_t hi, uint64_t* value)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && stop == end && !text.empty() && *value >= lo && *value <= hi;
}

std::string joined(const std::vector<std::string>& pieces, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count && i < pieces.size(); ++i)
        text += (i ? "," : "") + pieces[i];
    return text;
}

// What a real server greets with before it is ready for commands.
const char* const kGreeting[] = {
    "protocol:zarvo-tci-sim,1.0;",
    "device:zarvo-tci-sim;",
    "receive_only:false;",
    "trx_count:1;channels_count:1;",
    "vfo_limits:10000,30000000;if_limits:-24000,24000;",
    "modulations_list:am,lsb,usb,cw,nfm,digl,digu;",
};

}  // namespace

TciSimSession::TciSimSession(const TCI_SIM_OPTIONS& options, const WAV_AUDIO* wav)
    : options_(options), audio_(options, wav), stream_(options.sampleRate, options.frameSamples, options.stereo),
      faults_({.malformedEvery = options.malformedEvery,
               .garbageEvery = options.garbageEvery,
               .longTextEvery = options.longTextEvery,
               .floodPerFrame = options.floodPerFrame}),
      iq_(options.iqStations, options.seed)
{
}

bool TciSimSession::streaming() const
{
    return stream_.running();
}

bool TciSimSession::streamingIq() const
{
    return iq_.running();
}

std::vector<MORSE_BAND_STATION> TciSimSession::iqStations() const
{
    return iq_.stations();
}

const std::vector<TCI_SIM_SPOT>& TciSimSession::spots() const
{
    return spots_.spots();
}

int TciSimSession::macroSpeed() const
{
    return macroSpeed_;
}

bool TciSimSession::keying() const
{
    return audio_.keying();
}

// Like a real server: its state unasked, then "ready;", so a client knows
// the frequency and mode before it asks anything.
void TciSimSession::open(double /*now*/, TCI_SIM_OUTPUT* out)
{
    for (const char* text : kGreeting)
        send(text, out);
    const std::string hz = std::to_string(frequencyHz_);
    send("dds:0," + hz + ";if:0,0,0;vfo:0,0," + hz + ";modulation:0," + modulation_ + ";", out);
    send("cw_macros_speed:" + std::to_string(macroSpeed_) + ";cw_keyer_speed:" + std::to_string(keyerSpeed_) + ";",
         out);
    send("ready;", out);
}

void TciSimSession::receive(const std::string& message, double now, TCI_SIM_OUTPUT* out)
{
    out->log.push_back(kTCIReceivedPrefix + message);
    TCI_SIM_OUTPUT replies;
    for (const std::string& text : tci_split_commands(message)) {
        if (options_.echo)
            send(text + ";", &replies);
        const TCI_COMMAND command = tci_parse_command(text);
        const Handler handler = handlerFor(command.name);
        if (handler)
            (this->*handler)(command, now, &replies);
        else
            replies.log.push_back("unknown command: " + text);
    }
    if (stalled(now) && !replies.messages.empty()) {
        replies.log.push_back("fault: stalled, " + std::to_string(replies.messages.size()) + " replies not sent");
        replies.messages.clear();
    }
    std::move(replies.messages.begin(), replies.messages.end(), std::back_inserter(out->messages));
    std::move(replies.log.begin(), replies.log.end(), std::back_inserter(out->log));
}

void TciSimSession::tick(double now, TCI_SIM_OUTPUT* out)
{
    if (aborted_)
        return;
    if (options_.closeAfterSeconds >= 0.0 && now >= options_.closeAfterSeconds) {
        aborted_ = true;
        out->abort = true;
        out->log.push_back("fault: dropping the connection without a close frame");
        return;
    }
    if (stalled(now)) {
        if (!stalling_)
            out->log.push_back("fault: stalling");
        stalling_ = true;
        return;
    }
    if (stalling_) {
        stalling_ = false;
        stream_.resume(now);
        iq_.resume(now);
        out->log.push_back("fault: stall over");
    }
    if (options_.chatty && now >= nextStateAt_) {
        nextStateAt_ = now + kTciSimChattyPeriodSeconds;
        sendState(out);
    }
    sendFrames(now, out);
    sendIqFrames(now, out);
    clickSpot(now, out);
}

bool TciSimSession::stalled(double now) const
{
    const double from = options_.stallAfterSeconds;
    return from >= 0.0 && now >= from && (options_.stallForSeconds < 0.0 || now < from + options_.stallForSeconds);
}

void TciSimSession::send(const std::string& text, TCI_SIM_OUTPUT* out)
{
    out->messages.push_back(TCI_SIM_MESSAGE{.binary = false, .text = text, .bytes = {}});
    out->log.push_back(kTCISentPrefix + text);
}

// Several state reports in one message, as real servers do.
void TciSimSession::sendState(TCI_SIM_OUTPUT* out)
{
    const int smeter = -73 - static_cast<int>(stateCount_++ % 7);
    send("vfo:0,0," + std::to_string(frequencyHz_) + ";modulation:0," + modulation_ + ";rx_smeter:0,0," +
             std::to_string(smeter) + ";",
         out);
}

void TciSimSession::sendFrames(double now, TCI_SIM_OUTPUT* out)
{
    for (uint64_t due = stream_.takeDue(now); due > 0; --due) {
        TCI_SIM_MESSAGE frame{true, "", stream_.nextFrame(&audio_)};
        out->messages.push_back(std::move(frame));
        faults_.afterGoodFrame(out->messages.back().bytes, out);
    }
}

// Not counted as good frames by the faults, which belong to the audio.
void TciSimSession::sendIqFrames(double now, TCI_SIM_OUTPUT* out)
{
    for (uint64_t due = iq_.takeDue(now); due > 0; --due)
        out->messages.push_back(TCI_SIM_MESSAGE{true, "", iq_.nextFrame()});
}

// Once a connection, as an operator who tries what the client put up.
void TciSimSession::clickSpot(double now, TCI_SIM_OUTPUT* out)
{
    if (options_.clickSpotSeconds < 0.0 || firstSpotAt_ < 0.0 || spotClicked_ ||
        now < firstSpotAt_ + options_.clickSpotSeconds)
        return;
    spotClicked_ = true;
    const TCI_SIM_SPOT* spot = spots_.newest();
    if (!spot) {
        out->log.push_back("click: no spot left to click");
        return;
    }
    const std::string where = spot->call + "," + std::to_string(spot->frequencyHz) + ";";
    out->log.push_back("click on spot " + spot->call + " " + std::to_string(spot->frequencyHz));
    send("rx_clicked_on_spot:0,0," + where, out);
    if (options_.oldClicks)
        send("clicked_on_spot:" + where, out);
}

// Absolute frequencies move with the centre and the band with the rate, so
// the file is written again after either changes.
void TciSimSession::writeIqTruth(TCI_SIM_OUTPUT* out)
{
    if (options_.iqTruthPath.empty())
        return;
    std::string error;
    const std::vector<MORSE_BAND_STATION> stations = iq_.stations();
    if (tci_sim_write_iq_truth(options_.iqTruthPath, stations, frequencyHz_, &error))
        out->log.push_back("iq truth: " + std::to_string(stations.size()) + " stations around " +
                           std::to_string(frequencyHz_) + " Hz written to " + options_.iqTruthPath);
    else
        out->log.push_back("iq truth: " + error);
}

void TciSimSession::reject(const TCI_COMMAND& command, const std::string& why, TCI_SIM_OUTPUT* out)
{
    out->log.push_back("ignored " + command.name + (command.hasArguments ? ":" + command.argumentText : "") + ": " +
                       why);
}

bool TciSimSession::checkTransceiver(const TCI_COMMAND& command, TCI_SIM_OUTPUT* out)
{
    if (command.arguments.empty() || command.arguments[0] == "0")
        return true;
    reject(command, "there is no transceiver " + command.arguments[0], out);
    return false;
}

// A query's reply repeats its arguments (transceiver, channel) before the value.
void TciSimSession::reportValue(const TCI_COMMAND& command, const std::string& value, TCI_SIM_OUTPUT* out)
{
    const std::string prefix = joined(command.arguments, command.arguments.size());
    send(command.name + ":" + prefix + (prefix.empty() ? "" : ",") + value + ";", out);
}

TciSimSession::Handler TciSimSession::handlerFor(const std::string& name)
{
    static const struct {
        const char* name;
        Handler handler;
    } kHandlers[] = {
        {"protocol", &TciSimSession::onProtocol},
        {"device", &TciSimSession::onDevice},
        {"trx_count", &TciSimSession::onTrxCount},
        {"channels_count", &TciSimSession::onChannelsCount},
        {"modulation", &TciSimSession::onModulation},
        {"vfo", &TciSimSession::onVfo},
        {"dds", &TciSimSession::onDds},
        {"cw_macros_speed", &TciSimSession::onMacroSpeed},
        {"cw_keyer_speed", &TciSimSession::onKeyerSpeed},
        {"audio_stream_sample_type", &TciSimSession::onSampleType},
        {"audio_stream_channels", &TciSimSession::onChannels},
        {"audio_stream_samples", &TciSimSession::onSamples},
        {"audio_samplerate", &TciSimSession::onSampleRate},
        {"audio_start", &TciSimSession::onAudioStart},
        {"audio_stop", &TciSimSession::onAudioStop},
        {"cw_terminal", &TciSimSession::onCwTerminal},
        {"cw_macros", &TciSimSession::onCwMacros},
        {"cw_macros_stop", &TciSimSession::onCwMacrosStop},
        {"iq_samplerate", &TciSimSession::onIqSampleRate},
        {"iq_start", &TciSimSession::onIqStart},
        {"iq_stop", &TciSimSession::onIqStop},
        {"spot", &TciSimSession::onSpot},
        {"spot_delete", &TciSimSession::onSpotDelete},
        {"spot_clear", &TciSimSession::onSpotClear},
    };
    for (const auto& entry : kHandlers)
        if (name == entry.name)
            return entry.handler;
    return nullptr;
}

void TciSimSession::onProtocol(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    send("protocol:" + (c.arguments.empty() || c.arguments[0].empty() ? "zarvo-tci-sim" : c.arguments[0]) + ",1.0;",
         out);
}

void TciSimSession::onDevice(const TCI_COMMAND&, double, TCI_SIM_OUTPUT* out)
{
    send("device:zarvo-tci-sim;", out);
}

void TciSimSession::onTrxCount(const TCI_COMMAND&, double, TCI_SIM_OUTPUT* out)
{
    send("trx_count:1;", out);
}

void TciSimSession::onChannelsCount(const TCI_COMMAND&, double, TCI_SIM_OUTPUT* out)
{
    send("channels_count:1;", out);
}

// Commands of the form name:transceiver[,channel][,value]: a query without
// the value, a setting with it.
bool TciSimSession::splitSetting(const TCI_COMMAND& c, size_t valueIndex, TCI_SIM_OUTPUT* out)
{
    if (c.arguments.size() != valueIndex && c.arguments.size() != valueIndex + 1) {
        reject(c, "wrong number of arguments", out);
        return false;
    }
    return checkTransceiver(c, out);
}

void TciSimSession::onModulation(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    if (!splitSetting(c, 1, out))
        return;
    if (c.arguments.size() == 1)
        return reportValue(c, modulation_, out);
    if (c.arguments[1].empty())
        return reject(c, "empty mode", out);
    modulation_ = tci_lower(c.arguments[1]);
}

void TciSimSession::onVfo(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    frequencyCommand(c, 2, out);
}

void TciSimSession::onDds(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    frequencyCommand(c, 1, out);
}

void TciSimSession::frequencyCommand(const TCI_COMMAND& c, size_t valueIndex, TCI_SIM_OUTPUT* out)
{
    uint64_t hz = 0;
    if (!splitSetting(c, valueIndex, out))
        return;
    if (c.arguments.size() == valueIndex)
        return reportValue(c, std::to_string(frequencyHz_), out);
    if (!parse_uint(c.arguments[valueIndex], kMinFrequencyHz, kMaxFrequencyHz, &hz))
        return reject(c, "not a frequency in Hz", out);
    const bool moved = hz != frequencyHz_;
    frequencyHz_ = hz;
    if (moved && iq_.running())
        writeIqTruth(out);
}

void TciSimSession::onMacroSpeed(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    speedCommand(c, &macroSpeed_, out);
}

void TciSimSession::onKeyerSpeed(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    speedCommand(c, &keyerSpeed_, out);
}

void TciSimSession::speedCommand(const TCI_COMMAND& c, int* speed, TCI_SIM_OUTPUT* out)
{
    uint64_t wpm = 0;
    if (!c.hasArguments)
        return reportValue(c, std::to_string(*speed), out);
    if (c.arguments.size() != 1 || !parse_uint(c.arguments[0], 1, 100, &wpm))
        return reject(c, "wants 1 to 100 WPM", out);
    *speed = static_cast<int>(wpm);
}

void TciSimSession::onSampleType(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    if (!c.hasArguments)
        return reportValue(c, stream_.sampleTypeName(), out);
    if (c.arguments.size() != 1 || !stream_.setSampleType(tci_lower(c.arguments[0])))
        return reject(c, "wants int16, int24, int32 or float32", out);
}

void TciSimSession::onChannels(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    uint64_t channels = 0;
    if (!c.hasArguments)
        return reportValue(c, std::to_string(stream_.channels()), out);
    if (c.arguments.size() != 1 || !parse_uint(c.arguments[0], 1, 2, &channels))
        return reject(c, "wants 1 or 2", out);
    stream_.setChannels(static_cast<uint32_t>(channels));
}

void TciSimSession::onSamples(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out)
{
    uint64_t samples = 0;
    if (!c.hasArguments)
        return reportValue(c, std::to_string(stream_.frameSamples()), out);
    if (c.arguments.size() != 1 || !parse_uint(c.arguments[0], kTciSimMinFrame, kTciSimMaxFrame, &samples))
        return reject(c, "wants " + std::to_string(kTciSimMinFrame) + " to " + std::to_string(kTciSimMaxFrame), out);
    stream_.setFrameSamples(static_cast<uint32_t>(samples), now);
}

void TciSimSession::onSampleRate(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    const std::string rate = std::to_string(stream_.sampleRate());
    if (!c.hasArguments)
        return reportValue(c, rate, out);
    if (c.arguments.size() != 1 || c.arguments[0] != rate)
        return reject(c, "the rate is fixed at " + rate + " Hz", out);
}

void TciSimSession::onAudioStart(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out)
{
    if (!checkTransceiver(c, out))
        return;
    stream_.start(now);
    out->log.push_back("audio started: " + std::to_string(stream_.sampleRate()) + " Hz, " +
                       std::to_string(stream_.channels()) + " channel(s), " + stream_.sampleTypeName() + ", " +
                       std::to_string(stream_.frameSamples()) + " samples a frame");
}

void TciSimSession::onAudioStop(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    if (!checkTransceiver(c, out))
        return;
    const bool was = stream_.running();
    const uint64_t frames = stream_.stop();
    if (was)
        out->log.push_back("audio stopped after " + std::to_string(frames) + " frames");
}

void TciSimSession::onCwTerminal(const TCI_COMMAND&, double, TCI_SIM_OUTPUT*)
{
}

void TciSimSession::onCwMacros(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    const size_t comma = c.argumentText.find(',');
    if (comma == std::string::npos)
        return reject(c, "wants transceiver,text", out);
    if (!checkTransceiver(c, out))
        return;
    const std::string text = tci_decode_cw_macro_text(c.argumentText.substr(comma + 1));
    audio_.key(text, macroSpeed_);
    out->log.push_back("keying at " + std::to_string(macroSpeed_) + " WPM: " + text);
}

void TciSimSession::onCwMacrosStop(const TCI_COMMAND&, double, TCI_SIM_OUTPUT* out)
{
    const size_t dropped = audio_.stopKeying();
    out->log.push_back("CW stopped, " + std::to_string(dropped) + " queued characters dropped");
}

// Like a server, the rate in force is reported after every request, taken
// or not.
void TciSimSession::onIqSampleRate(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out)
{
    uint64_t rate = 0;
    const uint32_t was = iq_.sampleRate();
    if (c.hasArguments && (c.arguments.size() != 1 || !parse_uint(c.arguments[0], 1, UINT32_MAX, &rate) ||
                           !iq_.setSampleRate(static_cast<uint32_t>(rate), now)))
        reject(c, "wants 48000, 96000 or 192000; the IQ rate stays " + std::to_string(was) + " Hz", out);
    else if (iq_.sampleRate() != was) {
        out->log.push_back("iq rate " + std::to_string(iq_.sampleRate()) + " Hz");
        writeIqTruth(out);
    }
    send("iq_samplerate:" + std::to_string(iq_.sampleRate()) + ";", out);
    // A channel can be tuned across the IQ band and no further.
    if (iq_.sampleRate() != was) {
        const std::string half = std::to_string(iq_.sampleRate() / 2);
        send("if_limits:-" + half + "," + half + ";", out);
    }
}

// A start for a receiver the radio lacks is answered with a stop, as
// servers refuse one.
void TciSimSession::onIqStart(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out)
{
    uint64_t receiver = 0;
    if (c.arguments.size() != 1 || !parse_uint(c.arguments[0], 0, UINT32_MAX, &receiver))
        return reject(c, "wants a receiver", out);
    if (receiver != 0) {
        reject(c, "there is no receiver " + c.arguments[0], out);
        return send("iq_stop:" + c.arguments[0] + ";", out);
    }
    if (!iq_.running()) {
        iq_.start(now);
        out->log.push_back("iq started: " + std::to_string(iq_.sampleRate()) + " Hz, float32, 2 channels, " +
                           std::to_string(kTciSimIqFrameSamples) + " samples a frame, centre " +
                           std::to_string(frequencyHz_) + " Hz");
        writeIqTruth(out);
    }
    send("iq_start:0;", out);
}

void TciSimSession::onIqStop(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    uint64_t receiver = 0;
    if (c.arguments.size() != 1 || !parse_uint(c.arguments[0], 0, UINT32_MAX, &receiver))
        return reject(c, "wants a receiver", out);
    if (receiver != 0)
        return reject(c, "there is no receiver " + c.arguments[0], out);
    if (iq_.running())
        out->log.push_back("iq stopped after " + std::to_string(iq_.stop()) + " frames");
    send("iq_stop:0;", out);
}

// Spot commands get no reply; what they changed is logged.
void TciSimSession::onSpot(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out)
{
    TCI_SIM_SPOT spot;
    std::string why;
    if (!tci_sim_parse_spot(c.arguments, &spot, &why))
        return reject(c, why, out);
    spots_.put(spot);
    if (firstSpotAt_ < 0.0)
        firstSpotAt_ = now;
    out->log.push_back(tci_sim_spot_log_line(spot));
}

void TciSimSession::onSpotDelete(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    if (c.arguments.size() != 1 || !tci_sim_spot_call_valid(c.arguments[0]))
        return reject(c, "wants a call", out);
    const bool removed = spots_.remove(c.arguments[0]);
    out->log.push_back("spot_delete " + c.arguments[0] + (removed ? "" : ": no such spot"));
}

void TciSimSession::onSpotClear(const TCI_COMMAND& c, double, TCI_SIM_OUTPUT* out)
{
    if (c.hasArguments && !c.argumentText.empty())
        return reject(c, "takes no arguments", out);
    out->log.push_back("spot_clear " + std::to_string(spots_.clear()) + " spots");
}
