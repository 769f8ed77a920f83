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
    const size_t n = cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer));
    EXPECT_STREQ(buffer, "Pitch 600  Peak 640  \u0394+40  In -23.5 dBFS  Cost 0.50  Thr 0.412  SIGNAL  QOM 22.3  "
                         "STAT 21.9 Q78 SNR18 ON46%  LOCK");
    cw_spectrum_diagnostics_text(cw_spectrum_initial_figures(), 0.0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Pitch 600  Peak 0  \u0394-600  In -120.0 dBFS  Cost 0.00  Thr 0.030  NO SIGNAL  QOM 0.0  "
                         "STAT 0.0 Q0 SNR0 ON0%  UNLOCK");
}

// A short buffer is cut between characters, never inside the two-byte delta.
TEST(SpectrumDiagnostics, AShortBufferIsCutBetweenCharacters)
{
    char full[512], buffer[64];
    cw_spectrum_diagnostics_text(sample_figures(), 640.0, full, sizeof full);
    const size_t delta = std::string(full).find("\u0394");
    EXPECT_EQ(cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, delta + 2), delta);
    EXPECT_EQ(std::string(buffer), std::string(full, delta));
    cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, delta + 3);
    EXPECT_EQ(std::string(buffer), std::string(full, delta + 2));
    EXPECT_TRUE(cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, 1) == 0u && buffer[0] == '\0');
    EXPECT_EQ(cw_spectrum_diagnostics_text(sample_figures(), 640.0, nullptr, 10), 0u);
}
