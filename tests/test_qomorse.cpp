// The engine's records, construction, setters, getters and take family.
#include "qomorse.h"
#include "qomorse_impl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

qomorse_Parameters parameters_with(float rate, int32_t format, int32_t samplesPerFrame = 128)
{
    qomorse_Parameters p = QoMorse::getDefaultParameters();
    p.sampleRateInp = rate;
    p.sampleFormatInp = format;
    p.samplesPerFrame = samplesPerFrame;
    return p;
}

TEST(QoMorseDefaults, RecordsHoldTheDocumentedDefaults)
{
    const qomorse_Parameters& p = QoMorse::getDefaultParameters();
    EXPECT_EQ(p.sampleRateInp, 4000.0f);
    EXPECT_EQ(p.sampleRateOut, 4000.0f);
    EXPECT_EQ(p.samplesPerFrame, 128);
    EXPECT_EQ(p.sampleFormatInp, QOMORSE_SAMPLE_FORMAT_F32);
    EXPECT_EQ(p.sampleFormatOut, QOMORSE_SAMPLE_FORMAT_F32);

    const qomorse_ParametersDecode& d = QoMorse::getDefaultParametersDecode();
    EXPECT_EQ(d.frequency_hz, -1.0f);
    EXPECT_EQ(d.speed_wpm, -1.0f);
    EXPECT_EQ(d.speedRangeMin_wpm, 5.0f);
    EXPECT_EQ(d.speedRangeMax_wpm, 55.0f);
    EXPECT_EQ(d.frequencyRangeMin_hz, 200.0f);
    EXPECT_EQ(d.frequencyRangeMax_hz, 1200.0f);
    EXPECT_TRUE(d.applyFilterHighPass);
    EXPECT_TRUE(d.applyFilterLowPass);

    const qomorse_ParametersEncode& e = QoMorse::getDefaultParametersEncode();
    EXPECT_EQ(e.volume, 10.0f);
    EXPECT_EQ(e.frequency_hz, 550.0f);
    EXPECT_EQ(e.speedCharacters_wpm, 25.0f);
    EXPECT_EQ(e.speedFarnsworth_wpm, 25.0f);
}

TEST(QoMorseConstruction, GettersReturnTheConstructionRecord)
{
    qomorse_Parameters p = parameters_with(48000.0f, QOMORSE_SAMPLE_FORMAT_I16);
    p.sampleRateOut = 8000.0f;
    p.sampleFormatOut = QOMORSE_SAMPLE_FORMAT_U8;
    QoMorse engine(p);
    EXPECT_EQ(engine.getSampleRateInp(), 48000.0f);
    EXPECT_EQ(engine.getSampleRateOut(), 8000.0f);
    EXPECT_EQ(engine.getSampleFormatInp(), QOMORSE_SAMPLE_FORMAT_I16);
    EXPECT_EQ(engine.getSampleFormatOut(), QOMORSE_SAMPLE_FORMAT_U8);
    EXPECT_EQ(engine.getSampleSizeBytesInp(), 2);
    EXPECT_EQ(engine.getSampleSizeBytesOut(), 1);
    EXPECT_EQ(engine.getSamplesPerFrame(), 128);
    EXPECT_FALSE(engine.hasTxData());
    EXPECT_FALSE(engine.lastDecodeResult());
    EXPECT_TRUE(engine.getRxData().empty());
    const QoMorse::Statistics& s = engine.getStatistics();
    EXPECT_EQ(s.estimatedPitch_Hz, 0.0f);
    EXPECT_EQ(s.estimatedSpeed_wpm, 0.0f);
    EXPECT_EQ(s.costFunction, 0.0f);
}

TEST(QoMorseConstruction, SampleSizesFollowTheFormat)
{
    const int32_t expected[] = {0, 1, 1, 2, 2, 4};
    for (int32_t format = 0; format <= 5; ++format) {
        QoMorse engine(parameters_with(4000.0f, format));
        EXPECT_EQ(engine.getSampleSizeBytesInp(), expected[format]) << format;
    }
}

TEST(QoMorseConstruction, InvalidFormatIsReportedOnceWithSizeZero)
{
    CaptureStderr();
    QoMorse engine(parameters_with(4000.0f, 7));
    EXPECT_EQ(GetCapturedStderr(), "Invalid sample format: 7\n");
    EXPECT_EQ(engine.getSampleSizeBytesInp(), 0);
    EXPECT_EQ(engine.getSampleFormatInp(), 7);
}

TEST(QoMorseConstruction, RatesThatWouldOverrunTheInputBuffersAreRefused)
{
    for (float rate : {0.0f, -8000.0f, NAN, INFINITY, 96000.0f}) {
        CaptureStderr();
        QoMorse engine(parameters_with(rate, QOMORSE_SAMPLE_FORMAT_F32));
        EXPECT_NE(GetCapturedStderr().find("Invalid input sample rate"), std::string::npos) << rate;
        int calls = 0;
        EXPECT_FALSE(engine.decode([&](void*, uint32_t) -> uint32_t { ++calls; return 0; }));
        EXPECT_EQ(calls, 0);
    }
}

TEST(QoMorseConstruction, FrameSizesOutsideTheBuffersFallBackToTheDefault)
{
    for (int32_t samplesPerFrame : {0, -5, 5000}) {
        CaptureStderr();
        QoMorse engine(parameters_with(4000.0f, QOMORSE_SAMPLE_FORMAT_F32, samplesPerFrame));
        EXPECT_NE(GetCapturedStderr().find("Invalid samples per frame"), std::string::npos);
        EXPECT_EQ(engine.getSamplesPerFrame(), 128);
    }
}

TEST(QoMorseDecodeParameters, OnlyAChangedCutoffRedesignsItsFilter)
{
    QoMorse::Impl impl(parameters_with(48000.0f, QOMORSE_SAMPLE_FORMAT_F32));
    EXPECT_EQ(impl.highPass.type, OnePoleFilter::kHighPass);
    EXPECT_EQ(impl.lowPass.type, OnePoleFilter::kLowPass);
    // Marks that a redesign would overwrite.
    impl.highPass.b0 = 123.0f;
    impl.lowPass.b0 = 456.0f;

    qomorse_ParametersDecode p = QoMorse::getDefaultParametersDecode();
    p.speed_wpm = 20.0f;
    EXPECT_TRUE(impl.setParametersDecode(p));
    EXPECT_EQ(impl.highPass.b0, 123.0f);
    EXPECT_EQ(impl.lowPass.b0, 456.0f);
    EXPECT_EQ(impl.decodeParameters.speed_wpm, 20.0f);

    p.frequencyRangeMax_hz = 900.0f;
    EXPECT_TRUE(impl.setParametersDecode(p));
    EXPECT_EQ(impl.highPass.b0, 123.0f);
    OnePoleFilter expected;
    expected.designLowPass(900.0f, 48000.0f);
    EXPECT_EQ(impl.lowPass.b0, expected.b0);
    EXPECT_EQ(impl.lowPass.a1, expected.a1);
}

TEST(QoMorseDecodeParameters, FilterDesignMatchesTheOnePoleFormulas)
{
    OnePoleFilter filter;
    filter.designHighPass(200.0f, 4000.0f);
    const double w = 2.0 * M_PI * 200.0 / 4000.0;
    const double alpha = std::cos(w) / (1.0 + std::sin(w));
    EXPECT_NEAR(filter.b0, (1.0 + alpha) / 2.0, 1e-6);
    EXPECT_EQ(filter.b1, -filter.b0);
    EXPECT_NEAR(filter.a1, -alpha, 1e-6);

    filter.designLowPass(1200.0f, 48000.0f);
    const double wl = 2.0 * M_PI * 1200.0 / 48000.0;
    const double alphaL = std::cos(wl) / (1.0 + std::sin(wl));
    EXPECT_NEAR(filter.b0, (1.0 - alphaL) / 2.0, 1e-6);
    EXPECT_EQ(filter.b1, filter.b0);
    EXPECT_NEAR(filter.a1, -alphaL, 1e-6);
}

TEST(QoMorseDecodeParameters, CutoffsBeyondNyquistKeepTheFilterStable)
{
    for (float cutoff : {-1000.0f, -3000.0f, 2500.0f, 1e9f}) {
        OnePoleFilter filter;
        filter.designHighPass(cutoff, 4000.0f);
        EXPECT_LE(std::fabs(filter.a1), 1.0f) << cutoff;
        std::vector<float> noise(4000);
        for (size_t i = 0; i < noise.size(); ++i)
            noise[i] = (i % 7 < 3) ? 1.0f : -1.0f;
        filter.process(noise.data(), static_cast<int>(noise.size()));
        EXPECT_TRUE(std::isfinite(filter.y1)) << cutoff;
        EXPECT_LT(std::fabs(filter.y1), 100.0f) << cutoff;
    }
}

TEST(QoMorseDecodeParameters, NonFiniteValuesFallBackToDefaults)
{
    qomorse_ParametersDecode p;
    p.frequency_hz = NAN;
    p.frequencyRangeMin_hz = INFINITY;
    p.speedRangeMax_wpm = NAN;
    CaptureStderr();
    QoMorse engine(QoMorse::getDefaultParameters());
    EXPECT_TRUE(engine.setParametersDecode(p));
    const std::string messages = GetCapturedStderr();
    EXPECT_NE(messages.find("frequency_hz"), std::string::npos);
    EXPECT_NE(messages.find("frequencyRangeMin_hz"), std::string::npos);
    EXPECT_NE(messages.find("speedRangeMax_wpm"), std::string::npos);

    // Decoding a tone afterwards still gives finite statistics.
    std::vector<float> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * std::sin(2.0f * static_cast<float>(M_PI) * 700.0f * i / 4000.0f);
    size_t next = 0;
    engine.decode([&](void* dst, uint32_t nBytes) -> uint32_t {
        const size_t n = nBytes / sizeof(float);
        if (tone.size() - next < n)
            return 0;
        std::copy_n(tone.data() + next, n, static_cast<float*>(dst));
        next += n;
        return nBytes;
    });
    const QoMorse::Statistics& s = engine.getStatistics();
    EXPECT_NEAR(s.estimatedPitch_Hz, 700.0f, 8.0f);
    EXPECT_TRUE(std::isfinite(s.costFunction));
    EXPECT_TRUE(std::isfinite(s.signalThreshold));
}

TEST(QoMorseEncodeParameters, VolumeMustLieInTheUnitRange)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    qomorse_ParametersEncode e = QoMorse::getDefaultParametersEncode();
    e.volume = 1.0f;
    EXPECT_TRUE(engine.setParametersEncode(e));
    e.volume = 1.5f;
    CaptureStderr();
    EXPECT_FALSE(engine.setParametersEncode(e));
    EXPECT_EQ(GetCapturedStderr(), "Invalid volume: 1.5\n");
    e.volume = NAN;
    CaptureStderr();
    EXPECT_FALSE(engine.setParametersEncode(e));
    EXPECT_NE(GetCapturedStderr().find("Invalid volume"), std::string::npos);
}

TEST(QoMorseEncodeParameters, StoredVolumeIsCappedBelowOne)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    qomorse_ParametersEncode e = QoMorse::getDefaultParametersEncode();
    e.volume = 1.0f;
    e.frequency_hz = 600.0f;
    ASSERT_TRUE(impl.setParametersEncode(e));
    EXPECT_FLOAT_EQ(impl.encodeParameters.volume, 0.99f);
    EXPECT_EQ(impl.encodeParameters.frequency_hz, 600.0f);

    e.volume = 2.0f;
    e.frequency_hz = 900.0f;
    CaptureStderr();
    EXPECT_FALSE(impl.setParametersEncode(e));
    GetCapturedStderr();
    EXPECT_EQ(impl.encodeParameters.frequency_hz, 600.0f);  // old record kept
}

TEST(QoMorseTransmitText, PendingTextSuspendsDecoding)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    const uint8_t text[] = {'C', 'Q'};
    EXPECT_TRUE(engine.init(2, text));
    EXPECT_TRUE(engine.hasTxData());
    int calls = 0;
    EXPECT_FALSE(engine.decode([&](void*, uint32_t n) { ++calls; return n; }));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(engine.init(0, text));
    EXPECT_FALSE(engine.hasTxData());
}

TEST(QoMorseTransmitText, BadSizesAreReported)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<uint8_t> text(300, 'E');
    CaptureStderr();
    EXPECT_FALSE(engine.init(-1, text.data()));
    EXPECT_EQ(GetCapturedStderr(), "Negative data size: -1\n");
    CaptureStderr();
    EXPECT_TRUE(engine.init(300, text.data()));
    EXPECT_EQ(GetCapturedStderr(), "Truncating data from 300 to 256 bytes\n");
    EXPECT_TRUE(engine.hasTxData());
    EXPECT_TRUE(engine.init(5, nullptr));
    EXPECT_FALSE(engine.hasTxData());
}

TEST(QoMorseTake, EmptyEngineLeavesTheDestinationAlone)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<uint8_t> text = {'x', 'y'};
    EXPECT_EQ(engine.takeRxData(text), 0);
    EXPECT_EQ(text, (std::vector<uint8_t>{'x', 'y'}));
    std::vector<float> signal = {1.0f};
    EXPECT_EQ(engine.takeSignalF(signal), 0);
    EXPECT_EQ(signal.size(), 1u);
    std::vector<int16_t> wave = {3};
    EXPECT_EQ(engine.takeTxWaveformI16(wave), 0);
    EXPECT_EQ(wave.size(), 1u);
}

TEST(QoMorseTake, TakesMoveTheDataOutOnce)
{
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<float> silence(128 * 10, 0.0f);
    size_t next = 0;
    engine.decode([&](void* dst, uint32_t nBytes) -> uint32_t {
        const size_t n = nBytes / sizeof(float);
        if (silence.size() - next < n)
            return 0;
        std::copy_n(silence.data() + next, n, static_cast<float*>(dst));
        next += n;
        return nBytes;
    });
    std::vector<float> signal = {42.0f, 43.0f};
    EXPECT_EQ(engine.takeSignalF(signal), 1484);
    EXPECT_EQ(signal.size(), 1484u);
    EXPECT_EQ(engine.takeSignalF(signal), 0);
    EXPECT_EQ(signal.size(), 1484u);

    std::vector<float> thresholds;
    EXPECT_EQ(engine.takeThresholdF(thresholds), 10);  // one per frame
    EXPECT_EQ(engine.takeThresholdF(thresholds), 0);
}

TEST(QoMorseCharacterTable, SetCharacterGivesTheCharacterExactlyOneCode)
{
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    EXPECT_TRUE(impl.setCharacter("0101", 'A'));
    EXPECT_EQ(impl.morseCode.at("0101"), 'A');
    EXPECT_EQ(impl.morseCode.count("01"), 0u);

    EXPECT_TRUE(impl.setCharacter("0101", 'Z'));  // replaces A's new code
    EXPECT_EQ(impl.morseCode.at("0101"), 'Z');
    EXPECT_EQ(impl.morseCode.count("1100"), 0u);
    EXPECT_EQ(impl.morseCode.size(), kMorseCode.size() - 1);  // A has no code now
    EXPECT_FALSE(impl.setCharacter(nullptr, 'E'));
}

TEST(QoMorseCharacterTable, EachEngineChangesOnlyItsOwnCopy)
{
    QoMorse::Impl first(QoMorse::getDefaultParameters());
    QoMorse::Impl second(QoMorse::getDefaultParameters());
    first.setCharacter("01", 'Z');
    EXPECT_EQ(first.morseCode.at("01"), 'Z');
    EXPECT_EQ(second.morseCode.at("01"), 'A');
    EXPECT_EQ(kMorseCode.at("01"), 'A');
}

}  // namespace
