// One skimmer channel's down-converter: moves the signal at a chosen
// frequency of the working stream to a fixed audio pitch and keeps only
// the few tens of hertz its keying needs, so a receiver tuned to that
// pitch hears that station and not its neighbours. The station is mixed
// to zero, brought down to about 1 kHz, filtered sharply there, brought
// back up and mixed to the pitch.
#pragma once

#include <cstddef>

typedef struct CW_CHANNEL_DDC CW_CHANNEL_DDC;

// Half the width kept around the signal and where the stop band starts,
// Hz: room for keying at 40 WPM, neighbours 60 Hz away held down.
inline constexpr double kCWChannelPassHz = 35.0;
inline constexpr double kCWChannelStopHz = 65.0;

// Null when out of memory.
CW_CHANNEL_DDC* cw_channel_ddc_create(void);

// Working rate (4000..48000 Hz), the signal's frequency in the stream (may
// be negative for a complex stream) and the pitch to put it at. The
// oscillators keep their phase, so following a drifting signal is seamless;
// a new rate starts afresh.
void cw_channel_ddc_configure(CW_CHANNEL_DDC* d, double rate, double signalHz, double pitchHz);

// Clears the filters' history (a new signal on this channel).
void cw_channel_ddc_reset(CW_CHANNEL_DDC* d);

// `count` samples of the working stream: real parts and, for a complex
// stream, imaginary parts (null for real audio). Writes `count` real audio
// samples to `out`.
void cw_channel_ddc_process(CW_CHANNEL_DDC* d, const float* re, const float* im, size_t count, float* out);

void cw_channel_ddc_destroy(CW_CHANNEL_DDC* d);
