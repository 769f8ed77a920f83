// A band segment full of CW stations, rendered as an endless stream: each
// station has its own callsign, frequency, speed, strength, fist and
// propagation, calls CQ (or answers one) again and again with pauses, and
// white noise covers the whole band. Real audio or complex IQ around a
// centre. The stations' figures are the ground truth a skimmer is scored on.
// Opaque handle over a flat configuration record; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum MORSE_BAND_OUTPUT : int32_t {
    MORSE_BAND_AUDIO = 0,  // one real sample a frame
    MORSE_BAND_IQ,         // complex frames, interleaved I, Q; positive offsets above the centre
};

enum MORSE_BAND_FADING : int32_t {
    MORSE_BAND_FADING_NONE = 0,
    MORSE_BAND_FADING_TWO_PATH,  // two Rayleigh paths as in CCIR 520: 0.1 to 1 Hz spread, 0.5 to 2 ms apart
    MORSE_BAND_FADING_QSB,       // slow periodic fading of 6 to 20 dB over 5 to 20 s
};

struct MORSE_BAND_CONFIG {
    uint32_t sampleRateHz;
    MORSE_BAND_OUTPUT output;
    uint32_t stationCount;
    double lowHz;  // carriers are spread over lowHz..highHz: audio pitches, or IQ offsets from the centre
    double highHz;
    double minSpacingHz;  // between neighbouring carriers
    double minWpm;        // each station's speed is drawn from minWpm..maxWpm
    double maxWpm;
    double minSnrDb;  // each station's carrier over noise in 2500 Hz is drawn from minSnrDb..maxSnrDb
    double maxSnrDb;
    double fadingShare;         // 0..1 of the stations fade (half two-path, half QSB)
    double handKeyingShare;     // 0..1 key by hand: 5 to 15 % jitter, dashes of 3.3 to 3.8 dots
    double answerShare;         // 0..1 answer other stations in QSO style instead of calling CQ
    double startSpreadSeconds;  // first transmissions begin within 0..this
    double minPauseSeconds;     // silence between one station's transmissions, drawn from min..max
    double maxPauseSeconds;
    double maxDriftHz;       // carriers wander slowly by up to this much; 0 = fixed
    double zeroDbAmplitude;  // key-down peak of a 0 dB station; sets the noise level
    bool addNoise;           // false renders the stations alone (the same keying as with noise)
    uint32_t seed;           // everything is drawn from it
};

// One station's figures. cqCount counts transmissions begun in the frames
// rendered so far (for a station answering: its calls to others).
struct MORSE_BAND_STATION {
    char call[16];       // NUL-terminated, e.g. "DL2QZA", "G4ABC/P", "VE3/DL2QZA"
    double frequencyHz;  // centre of any drift; IQ: offset, may be negative
    double wpm;
    double snrDb;  // mean over the fading
    MORSE_BAND_FADING fading;
    bool handKeyed;
    double dahRatio;        // dash length in dots
    double jitterPercent;   // 0 for a keyer
    bool answering;         // sends "OTHER DE CALL ..." rather than CQ; the call is always the sender's
    double driftHz;         // peak wander, 0 = fixed
    double firstCqSeconds;  // first key-down of its first transmission, from the first frame
    uint32_t cqCount;
};

// Audio at 8000 Hz: 20 stations over 300..2800 Hz at least 60 Hz apart,
// 15..40 WPM, 0..25 dB, a fifth fading, a third by hand, a fifth answering,
// first transmissions within 20 s, pauses of 2..6 s, no drift, 0 dB
// amplitude 0.005, noise on, seed 1.
MORSE_BAND_CONFIG morse_band_default_config();

// Checks every field; on failure returns false with a one-line reason.
bool morse_band_check_config(const MORSE_BAND_CONFIG& config, std::string* error);

// Null when the configuration does not pass morse_band_check_config.
struct MORSE_BAND;
MORSE_BAND* morse_band_create(const MORSE_BAND_CONFIG& config);

// Writes the next `frames` frames (two floats each for IQ). Rendering in
// any block sizes gives the very samples of one long call.
void morse_band_render(MORSE_BAND* band, float* out, size_t frames);

// Frames rendered so far.
uint64_t morse_band_position(const MORSE_BAND* band);

// Stations in order of frequency.
size_t morse_band_station_count(const MORSE_BAND* band);

// False when i is out of range or either pointer is null.
bool morse_band_get_station(const MORSE_BAND* band, size_t i, MORSE_BAND_STATION* station);

void morse_band_destroy(MORSE_BAND* band);
