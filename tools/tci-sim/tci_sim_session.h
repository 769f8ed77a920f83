// One client connection of the simulated TCI server, without the network:
// commands in, replies, frames and log lines out, driven by the caller's
// clock (seconds since the connection opened).
#pragma once

#include "tci_commands.h"
#include "tci_sim_audio.h"
#include "tci_sim_faults.h"
#include "tci_sim_iq.h"
#include "tci_sim_options.h"
#include "tci_sim_output.h"
#include "tci_sim_spots.h"
#include "tci_sim_stream.h"

#include <cstdint>
#include <string>

struct WAV_AUDIO;

constexpr uint64_t kTciSimDefaultFrequencyHz = 7025000;
constexpr int kTciSimDefaultSpeedWpm = 25;
constexpr double kTciSimChattyPeriodSeconds = 2.0;

class TciSimSession {
public:
    // `wav` as for TciSimAudio.
    TciSimSession(const TCI_SIM_OPTIONS& options, const WAV_AUDIO* wav);

    void open(double now, TCI_SIM_OUTPUT* out);
    // One text message as received; it may hold several commands.
    void receive(const std::string& message, double now, TCI_SIM_OUTPUT* out);
    // Frames due, unasked messages and timed faults.
    void tick(double now, TCI_SIM_OUTPUT* out);

    bool streaming() const;
    bool streamingIq() const;
    int macroSpeed() const;
    bool keying() const;
    // The IQ band's stations, offsets from the centre frequency.
    std::vector<MORSE_BAND_STATION> iqStations() const;
    const std::vector<TCI_SIM_SPOT>& spots() const;

private:
    using Handler = void (TciSimSession::*)(const TCI_COMMAND&, double, TCI_SIM_OUTPUT*);
    static Handler handlerFor(const std::string& name);

    bool stalled(double now) const;
    void send(const std::string& text, TCI_SIM_OUTPUT* out);
    void sendState(TCI_SIM_OUTPUT* out);
    void sendFrames(double now, TCI_SIM_OUTPUT* out);
    void sendIqFrames(double now, TCI_SIM_OUTPUT* out);
    void clickSpot(double now, TCI_SIM_OUTPUT* out);
    void writeIqTruth(TCI_SIM_OUTPUT* out);
    void reject(const TCI_COMMAND& command, const std::string& why, TCI_SIM_OUTPUT* out);
    bool checkTransceiver(const TCI_COMMAND& command, TCI_SIM_OUTPUT* out);
    void reportValue(const TCI_COMMAND& command, const std::string& value, TCI_SIM_OUTPUT* out);
    bool splitSetting(const TCI_COMMAND& command, size_t valueIndex, TCI_SIM_OUTPUT* out);
    void frequencyCommand(const TCI_COMMAND& command, size_t valueIndex, TCI_SIM_OUTPUT* out);
    void speedCommand(const TCI_COMMAND& command, int* speed, TCI_SIM_OUTPUT* out);

    void onProtocol(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onDevice(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onTrxCount(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onChannelsCount(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onModulation(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onVfo(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onDds(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onMacroSpeed(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onKeyerSpeed(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSampleType(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onChannels(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSamples(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSampleRate(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onAudioStart(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onAudioStop(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onCwTerminal(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onCwMacros(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onCwMacrosStop(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onIqSampleRate(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onIqStart(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onIqStop(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSpot(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSpotDelete(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);
    void onSpotClear(const TCI_COMMAND& c, double now, TCI_SIM_OUTPUT* out);

    TCI_SIM_OPTIONS options_;
    TciSimAudio audio_;
    TciSimStream stream_;
    TciSimFaults faults_;
    TciSimIq iq_;
    TciSimSpots spots_;
    double firstSpotAt_ = -1.0;  // negative: no spot yet
    bool spotClicked_ = false;
    uint64_t frequencyHz_ = kTciSimDefaultFrequencyHz;
    std::string modulation_ = "cw";
    int macroSpeed_ = kTciSimDefaultSpeedWpm;
    int keyerSpeed_ = kTciSimDefaultSpeedWpm;
    bool aborted_ = false;
    bool stalling_ = false;
    double nextStateAt_ = kTciSimChattyPeriodSeconds;
    uint64_t stateCount_ = 0;
};
