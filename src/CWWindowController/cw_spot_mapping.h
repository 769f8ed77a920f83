// Where on the band a tone of the receive audio lies, and back. The radio
// demodulates around its vfo, so the audio pitch of a carrier depends on
// the vfo, the sideband and, in CW, on the pitch the radio puts its vfo
// carrier at: in upper-sideband CW a carrier heard at pitch P is at
// vfo + (P - reference), in lower-sideband CW at vfo - (P - reference).
// SSB and digital modes put the suppressed carrier at the vfo (reference 0).
#pragma once

#include <cstdint>
#include <string>

enum CW_SPOT_SIDEBAND : int32_t {
    CW_SPOT_SIDEBAND_NONE = 0,  // AM, FM or a mode not known: no tone maps to one frequency
    CW_SPOT_SIDEBAND_UPPER,
    CW_SPOT_SIDEBAND_LOWER,
};

struct CW_SPOT_TUNING {
    double vfoHz;             // the radio's receive frequency; 0 or less: not known
    std::string mode;         // as the server named it ("cw", "CWL", "usb"), any case
    double referencePitchHz;  // the CW pitch the vfo carrier is heard at
};

// "CW" and "CWU" are upper-sideband CW, "CWL" lower; "USB"/"DIGU" and
// "LSB"/"DIGL" the SSB sidebands. Case and surrounding blanks are ignored.
CW_SPOT_SIDEBAND cw_spot_sideband(const std::string& mode);

// True for the CW modes, whose vfo carrier sits at the reference pitch.
bool cw_spot_mode_is_cw(const std::string& mode);

// The radio frequency of a carrier heard at `audioHz`; false (and 0) when
// the vfo or the sideband is not known or a value is not finite.
bool cw_spot_radio_hz(const CW_SPOT_TUNING& tuning, double audioHz, double* radioHz);

// The audio pitch a carrier at `radioHz` is heard at; false (and 0) as
// above. The pitch may be negative or beyond the passband: callers decide
// what they can tune to.
bool cw_spot_audio_hz(const CW_SPOT_TUNING& tuning, double radioHz, double* audioHz);

// The decoder's pitch range; a station heard elsewhere needs the radio
// retuned first.
constexpr double kCWSpotMinPitchHz = 300.0;
constexpr double kCWSpotMaxPitchHz = 1200.0;

struct CW_SPOT_TUNE_ANSWER {
    bool tune;           // pitchHz can be given to the decoder
    double pitchHz;      // where the station is heard; 0 when not known
    std::string reason;  // when not: one log line naming the call and why
};

// Whether the decoder can be tuned to `call` at `radioHz` with this tuning.
CW_SPOT_TUNE_ANSWER cw_spot_tune_answer(const CW_SPOT_TUNING& tuning, const std::string& call, double radioHz);
