#include "cw_spot_mapping.h"

#include <cctype>
#include <cmath>

namespace {

std::string cw_mode_word(const std::string& mode)
{
    std::string word;
    for (char c : mode)
        if (!std::isspace(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

// The pitch the vfo carrier is heard at: the CW pitch in CW, 0 otherwise.
bool cw_spot_offset(const CW_SPOT_TUNING& tuning, CW_SPOT_SIDEBAND* side, double* reference)
{
    *side = cw_spot_sideband(tuning.mode);
    *reference = cw_spot_mode_is_cw(tuning.mode) ? tuning.referencePitchHz : 0.0;
    return *side != CW_SPOT_SIDEBAND_NONE && std::isfinite(tuning.vfoHz) && tuning.vfoHz > 0.0 &&
           std::isfinite(*reference);
}

}  // namespace

CW_SPOT_SIDEBAND cw_spot_sideband(const std::string& mode)
{
    const std::string word = cw_mode_word(mode);
    if (word == "CW" || word == "CWU" || word == "USB" || word == "DIGU")
        return CW_SPOT_SIDEBAND_UPPER;
    if (word == "CWL" || word == "LSB" || word == "DIGL")
        return CW_SPOT_SIDEBAND_LOWER;
    return CW_SPOT_SIDEBAND_NONE;
}

bool cw_spot_mode_is_cw(const std::string& mode)
{
    const std::string word = cw_mode_word(mode);
    return word == "CW" || word == "CWU" || word == "CWL";
}

bool cw_spot_radio_hz(const CW_SPOT_TUNING& tuning, double audioHz, double* radioHz)
{
    if (radioHz == nullptr)
        return false;
    *radioHz = 0.0;
    CW_SPOT_SIDEBAND side = CW_SPOT_SIDEBAND_NONE;
    double reference = 0.0;
    if (!cw_spot_offset(tuning, &side, &reference) || !std::isfinite(audioHz))
        return false;
    const double offset = audioHz - reference;
    *radioHz = side == CW_SPOT_SIDEBAND_UPPER ? tuning.vfoHz + offset : tuning.vfoHz - offset;
    return true;
}

bool cw_spot_audio_hz(const CW_SPOT_TUNING& tuning, double radioHz, double* audioHz)
{
    if (audioHz == nullptr)
        return false;
    *audioHz = 0.0;
    CW_SPOT_SIDEBAND side = CW_SPOT_SIDEBAND_NONE;
    double reference = 0.0;
    if (!cw_spot_offset(tuning, &side, &reference) || !std::isfinite(radioHz))
        return false;
    const double offset = radioHz - tuning.vfoHz;
    *audioHz = reference + (side == CW_SPOT_SIDEBAND_UPPER ? offset : -offset);
    return true;
}

CW_SPOT_TUNE_ANSWER cw_spot_tune_answer(const CW_SPOT_TUNING& tuning, const std::string& call, double radioHz)
{
    CW_SPOT_TUNE_ANSWER answer{.tune = false, .pitchHz = 0.0, .reason = {}};
    const std::string who = "Skimmer: cannot tune to " + call + ": ";
    if (!std::isfinite(radioHz) || !(radioHz > 0.0)) {
        answer.reason = who + "its frequency is not known";
        return answer;
    }
    double pitch = 0.0;
    if (!cw_spot_audio_hz(tuning, radioHz, &pitch)) {
        answer.reason =
            who + (tuning.vfoHz > 0.0
                       ? "the radio's mode (" + (tuning.mode.empty() ? "none" : tuning.mode) + ") has no CW pitch"
                       : "the radio's frequency is not known");
        return answer;
    }
    answer.pitchHz = pitch;
    if (pitch < kCWSpotMinPitchHz || pitch > kCWSpotMaxPitchHz) {
        answer.reason = who + "heard at " + std::to_string(std::lround(pitch)) + " Hz, outside " +
                        std::to_string(std::lround(kCWSpotMinPitchHz)) + ".." +
                        std::to_string(std::lround(kCWSpotMaxPitchHz)) + " Hz; tune the radio nearer";
        return answer;
    }
    answer.tune = true;
    return answer;
}
