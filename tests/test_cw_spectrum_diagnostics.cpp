#include "cw_spectrum_diagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

CW_SPECTRUM_FIGURES sample_figures()
{
    CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
    f.pitchHz = 600.0;
    f.inputDbFS = -23.46;
    f.decoderCost = 0.5;
    f.threshold = 0.4125f;
    f.signalPresent = 1;
    f.wpm = 22.26;
    f.statWpm = 21.9;
    f.statQuality = 78.4;
    f.statSnrDb = 17.6;
    f.statOnRatio = 0.456;
    f.lock = 2;
    return f;
}

std::string text_of(const CW_SPECTRUM_FIGURES& f, double peakHz)
{
    char buffer[512];
    const size_t n = cw_spectrum_diagnostics_text(f, peakHz, buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer));
    return buffer;
}

}  // namespace

TEST(SpectrumDiagnostics, PrintsEveryFigureInOrder)
{
    EXPECT_EQ(text_of(sample_figures(), 640.0),
              "Pitch 600  Peak 640  \u0394+40  In -23.5 dBFS  Cost 0.50  Thr 0.412  SIGNAL  QOM 22.3  "
              "STAT 21.9 Q78 SNR18 ON46%  LOCK");
}

TEST(SpectrumDiagnostics, AnUntrackedPeakPrintsAsZeroAndNoSignalIsSpelledOut)
{
    CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
    EXPECT_EQ(text_of(f, 0.0),
              "Pitch 600  Peak 0  \u0394-600  In -120.0 dBFS  Cost 0.00  Thr 0.030  NO SIGNAL  QOM 0.0  "
              "STAT 0.0 Q0 SNR0 ON0%  UNLOCK");
}

TEST(SpectrumDiagnostics, AShortBufferIsCutBetweenCharacters)
{
    const std::string full = text_of(sample_figures(), 640.0);
    const size_t delta = full.find("\u0394");
    ASSERT_NE(delta, std::string::npos);
    char buffer[64];
    // Room for the first byte of the two-byte delta only: it is dropped.
    size_t n = cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, delta + 2);
    EXPECT_EQ(n, delta);
    EXPECT_EQ(std::string(buffer), full.substr(0, delta));
    n = cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, delta + 3);
    EXPECT_EQ(std::string(buffer), full.substr(0, delta + 2));
    n = cw_spectrum_diagnostics_text(sample_figures(), 640.0, buffer, 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(cw_spectrum_diagnostics_text(sample_figures(), 640.0, nullptr, 10), 0u);
}
