// The chain ahead of the engine: DC blocker, two band-pass biquad sections
// (transposed direct form II, the constant-0-dB-peak design of the audio-EQ
// cookbook) and decimation by picking samples.
#pragma once

#include <cstddef>

struct CWQO_BIQUAD {
    double b0, b1, b2, a1, a2;  // a0 normalised to 1
};

inline constexpr size_t kCwqoChainOrder = 6;  // the DC blocker's last in and out, each section's two
inline constexpr size_t kCwqoStretchMax = 64;

// The running state of the chain and, made from its design, the chain in
// state-space form over stretches of up to kCwqoStretchMax samples. Only
// the picked samples are wanted, so a stretch up to the next one moves the
// state by one matrix and one sum over its inputs, free of the recursion's
// sample-by-sample wait.
struct CWQO_CONDITIONER {
    CWQO_BIQUAD sections[2];
    // The DC blocker's last input and output, then each section's z1 and z2.
    double state[kCwqoChainOrder];
    double decimPhase;
    // power[m] = A^m by columns; drive[j] = A^j B; seen[m] = C A^m;
    // pulse[0] = D, pulse[m] = C A^(m-1) B: the state m samples on without
    // input, an input's part in the state j samples later, the output from
    // a state m samples on, the output an input gives m samples later.
    double power[kCwqoStretchMax + 1][kCwqoChainOrder][kCwqoChainOrder];
    double drive[kCwqoStretchMax][kCwqoChainOrder];
    double seen[kCwqoStretchMax][kCwqoChainOrder];
    double pulse[kCwqoStretchMax];
    // The last stretch measured: from this phase, with this step, so many
    // samples to the next pick and the phase after it. The phase repeats
    // at the usual rates, so the count is not made sample by sample again.
    double memoPhase;
    double memoStep;
    double memoNext;
    size_t memoLength;
};

// Both sections band-pass around pitchHz (pass-through when it is 0), the
// tables made from them, the state cleared.
void cwqo_conditioner_design(CWQO_CONDITIONER* c, double sampleRate, double pitchHz, double bandwidthHz);

// Clears the DC blocker, the sections' state and the phase; keeps the design.
void cwqo_conditioner_clear(CWQO_CONDITIONER* c);

// Runs n samples through the DC blocker and both sections; each time the
// phase, advanced by step per sample, passes 1 the filtered sample is
// written to out. Returns the samples written, at most n * step + 1.
size_t cwqo_conditioner_run(CWQO_CONDITIONER* c, const float* in, size_t n, double step, float* out);
