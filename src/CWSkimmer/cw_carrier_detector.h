// Finds the CW carriers in the skimmer's working stream: a spectrum every
// 20 ms, and in each bin the key-down and key-up levels of the last two and
// a half seconds. A bin whose levels stand far apart, and whose key-down
// level stands far over the noise of the bins around it, is keyed: a CW
// station, not noise and not a steady carrier. Peaks closer to a much
// stronger one are taken as its keying sidebands. Nothing is allocated
// after creation.
#pragma once

#include <cstddef>
#include <cstdint>

struct CW_CARRIER_DETECTOR_CONFIG {
    double sampleRate;  // the working rate, 4000..16000 Hz
    double lowHz;       // the span searched; negative frequencies only for a complex stream
    double highHz;
    double keyedDb;  // least spread between key-down and key-up levels in a bin (default 10)
};

struct CW_CARRIER {
    double frequencyHz;
    float snrDb;     // key-down carrier over the noise in 2500 Hz
    float spreadDb;  // key-down over key-up level in the bin
};

typedef struct CW_CARRIER_DETECTOR CW_CARRIER_DETECTOR;

// 8000 Hz, 300..3200 Hz, 10 dB.
CW_CARRIER_DETECTOR_CONFIG cw_carrier_detector_default_config(void);

// Null when out of memory.
CW_CARRIER_DETECTOR* cw_carrier_detector_create(const CW_CARRIER_DETECTOR_CONFIG* config);

// A new rate starts the history afresh; a new span or spread is taken at once.
void cw_carrier_detector_configure(CW_CARRIER_DETECTOR* d, const CW_CARRIER_DETECTOR_CONFIG* config);

void cw_carrier_detector_reset(CW_CARRIER_DETECTOR* d);

// `count` samples of the working stream (imaginary parts null for real
// audio). Returns 1 when a new list of carriers was made (five a second).
int32_t cw_carrier_detector_process(CW_CARRIER_DETECTOR* d, const float* re, const float* im, size_t count);

// The carriers of the last list, lowest frequency first; returns how many
// were written (at most `capacity`).
size_t cw_carrier_detector_get_carriers(const CW_CARRIER_DETECTOR* d, CW_CARRIER* carriers, size_t capacity);

// Width of one spectrum bin, Hz.
double cw_carrier_detector_bin_hz(const CW_CARRIER_DETECTOR* d);

void cw_carrier_detector_destroy(CW_CARRIER_DETECTOR* d);
