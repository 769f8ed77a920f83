// The line of figures under the spectrum.
#include "cw_spectrum_diagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

CW_SPECTRUM_FIGURES sample_figures()
{
    CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
    f.inputDbFS = -23.46, f.decoderCost = 0.5, f.threshold = 0.4125f, f.signalPresent = 1, f.wpm = 22.26;
    f.statWpm = 21.9, f.statQuality = 78.4, f.statSnrDb = 17.6, f.statOnRatio = 0.456, f.lock = 2;
    return f;
}

}  // namespace

TEST(SpectrumDiagnostics, PrintsEveryFigureAndSpellsOutTheStates)
{
    char buffer[512];
    const size_t n = cw_spectrum_diagnostics_text(sample_figures(), 640.0, 500, buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer));
    EXPECT_STREQ(buffer, "Pitch 600  Peak 640  \u0394+40  In -23.5 dBFS  Cost 0.50  Thr 0.412  SIGNAL  22.3 WPM  "
                         "STAT 21.9 Q78 SNR18 ON46%  LOCK");
    cw_spectrum_diagnostics_text(cw_spectrum_initial_figures(), 0.0, 500, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Pitch 600  Peak 0  \u0394-600  In -120.0 dBFS  Cost 0.00  Thr 0.030  NO SIGNAL  0.0 WPM  "
                         "STAT 0.0 Q0 SNR0 ON0%  UNLOCK");
}

// A narrow view leaves out the figures needed least; the pitch, the speed,
// the signal word and the lock word stay whatever the room.
TEST(SpectrumDiagnostics, ANarrowLineKeepsPitchSpeedSignalAndLockWord)
{
    char buffer[512];
    cw_spectrum_diagnostics_text(sample_figures(), 640.0, 80, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Pitch 600  Peak 640  \u0394+40  In -23.5 dBFS  Thr 0.412  SIGNAL  22.3 WPM  LOCK");
    cw_spectrum_diagnostics_text(sample_figures(), 640.0, 5, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Pitch 600  SIGNAL  22.3 WPM  LOCK");
    EXPECT_TRUE(cw_spectrum_diagnostics_text(sample_figures(), 640.0, 500, buffer, 1) == 0u && buffer[0] == '\0');
    EXPECT_EQ(cw_spectrum_diagnostics_text(sample_figures(), 640.0, 500, nullptr, 10), 0u);
}
