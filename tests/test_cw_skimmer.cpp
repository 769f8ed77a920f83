// The skimmer on generated bands: the stations calling CQ are spotted at
// their frequencies, nothing that was not sent is spotted, noise gives no
// spots, and the channels, text, capacity and settings behave as a caller
// relies on.
#include "cw_skimmer.h"

#include "morse_audio_generator.h"
#include "morse_band_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Skimmer = std::unique_ptr<CW_SKIMMER, decltype(&cw_skimmer_destroy)>;

MORSE_BAND_CONFIG quiet_band(uint32_t stations, uint32_t seed)
{
    MORSE_BAND_CONFIG c = morse_band_default_config();
    c.stationCount = stations, c.seed = seed, c.lowHz = 400.0, c.highHz = 2600.0, c.minSpacingHz = 200.0;
    c.minSnrDb = 10.0, c.fadingShare = 0.0, c.handKeyingShare = 0.0, c.answerShare = 0.0, c.startSpreadSeconds = 5.0;
    return c;
}

struct Band {
    std::vector<float> samples;
    std::vector<MORSE_BAND_STATION> stations;  // as they stand after the render
};

Band render(const MORSE_BAND_CONFIG& c, double seconds)
{
    MORSE_BAND* band = morse_band_create(c);
    EXPECT_NE(band, nullptr);
    Band b{std::vector<float>(static_cast<size_t>(seconds * c.sampleRateHz) * (c.output == MORSE_BAND_IQ ? 2 : 1)),
           std::vector<MORSE_BAND_STATION>(morse_band_station_count(band))};
    morse_band_render(band, b.samples.data(), static_cast<size_t>(seconds * c.sampleRateHz));
    for (size_t i = 0; i < b.stations.size(); ++i)
        morse_band_get_station(band, i, &b.stations[i]);
    morse_band_destroy(band);
    return b;
}

struct Heard {
    std::vector<CW_SPOT> spots;  // NEW events in order
    std::string text, textNear;  // all decoded text, and that of the channels near the frequency asked for
    CW_SKIMMER_STATUS status{};
};

// Feeds the audio (or IQ) in 20 ms blocks, taking the events and text after each, as the callers do.
Heard skim(CW_SKIMMER* s, const std::vector<float>& x, uint32_t rate, bool iq = false, double nearHz = NAN)
{
    Heard h;
    const size_t frames = rate / 50, step = iq ? 2 * frames : frames;
    for (size_t at = 0; at + step <= x.size(); at += step) {
        if (iq)
            cw_skimmer_process_iq(s, x.data() + at, frames);
        else
            cw_skimmer_process(s, x.data() + at, frames);
        CW_SPOT_EVENT events[16];
        for (size_t n; (n = cw_skimmer_take_events(s, events, 16)) > 0;)
            for (size_t i = 0; i < n; ++i)
                if (events[i].kind == CW_SPOT_NEW)
                    h.spots.push_back(events[i].spot);
        CW_SKIMMER_TEXT texts[8];
        for (size_t n; (n = cw_skimmer_take_text(s, texts, 8)) > 0;)
            for (size_t i = 0; i < n; ++i) {
                h.text += texts[i].text;
                if (std::abs(texts[i].frequencyHz - nearHz) < 25.0)
                    h.textNear += texts[i].text;
            }
    }
    cw_skimmer_get_status(s, &h.status);
    return h;
}

// How many stations were spotted at their frequency (plus `dialHz`), and how many spots name a call
// nobody sent.
std::pair<size_t, size_t> found_and_busted(const Heard& h, const std::vector<MORSE_BAND_STATION>& stations,
                                           double dialHz)
{
    size_t found = 0, busted = 0;
    for (const MORSE_BAND_STATION& st : stations)
        found += std::any_of(h.spots.begin(), h.spots.end(), [&](const CW_SPOT& spot) {
            return std::string(spot.call) == st.call && std::abs(spot.frequencyHz - dialHz - st.frequencyHz) < 25.0;
        });
    for (const CW_SPOT& spot : h.spots)
        busted += std::none_of(stations.begin(), stations.end(),
                               [&](const MORSE_BAND_STATION& st) { return std::string(spot.call) == st.call; });
    return {found, busted};
}

}  // namespace

// Audio is spotted at the dial plus each station's pitch, IQ at the centre plus each offset, below it too.
TEST(Skimmer, SpotsTheStationsOfABandWhereTheyAre)
{
    for (const auto& [seed, iq] : {std::pair{1u, false}, {2u, false}, {3u, true}}) {
        SCOPED_TRACE(seed);
        MORSE_BAND_CONFIG c = quiet_band(iq ? 8 : 6, seed);
        c.sampleRateHz = 48000;
        CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
        config.dialHz = iq ? 14030000.0 : 7020000.0;
        if (iq) {
            c.output = MORSE_BAND_IQ, c.lowHz = -18000.0, c.highHz = 18000.0, c.minSpacingHz = 1000.0;
            config.sampleRate = 48000.0, config.iq = 1, config.lowHz = -19000.0, config.highHz = 19000.0;
        }
        const Band band = render(c, 60.0);
        Skimmer s(cw_skimmer_create(&config), cw_skimmer_destroy);
        ASSERT_NE(s, nullptr);
        const Heard h = skim(s.get(), band.samples, c.sampleRateHz, iq);
        const auto [found, busted] = found_and_busted(h, band.stations, config.dialHz);
        EXPECT_GE(found, band.stations.size() - 1);
        EXPECT_EQ(busted, 0u);
        EXPECT_NE(h.text.find("CQ"), std::string::npos);
        EXPECT_GE(h.status.spots, static_cast<int32_t>(found));
        if (iq)
            EXPECT_TRUE(std::any_of(h.spots.begin(), h.spots.end(),
                                    [&](const CW_SPOT& spot) { return spot.frequencyHz < config.dialHz - 1000.0; }));
        else
            EXPECT_DOUBLE_EQ(h.status.workRate, 8000.0);

        // The list: newest first, each spot once.
        std::vector<CW_SPOT> list(64);
        list.resize(cw_skimmer_get_spots(s.get(), list.data(), list.size()));
        ASSERT_FALSE(list.empty());
        for (size_t i = 1; i < list.size(); ++i)
            EXPECT_GE(list[i - 1].lastHeard, list[i].lastHeard);
    }
}

// A station calling CQ 120 Hz beside one 6 dB louder, both keyed with
// 5 ms edges: the louder one's key clicks reach the weaker one's channel
// 20 dB under it. Both are spotted, and the weaker one's CQs are read
// whole, not as strings of E and I between its words. (At 48 kHz the
// clicks once locked the weaker one's receiver onto half its speed, which
// was then held for good.)
TEST(Skimmer, AStationBesideALouderOneIsReadWhole)
{
    for (uint32_t rate : {8000u, 48000u}) {
        MORSE_AUDIO_CONFIG weak = morse_audio_default_config();
        weak.wpm = 32.0, weak.pitchHz = 1741.0, weak.sampleRateHz = rate, weak.addNoise = true, weak.snrDb = 17.6;
        weak.leadSeconds = 2.0, weak.tailSeconds = 3.0;
        MORSE_AUDIO_CONFIG loud = weak;
        loud.wpm = 28.8, loud.pitchHz = weak.pitchHz + 120.0, loud.amplitude = 2.0 * weak.amplitude;
        loud.addNoise = false, loud.leadSeconds = 1.3, loud.tailSeconds = 2.0;
        std::vector<float> audio(2 * rate, 0.0f), part;
        std::string error;
        for (uint32_t i = 0; i < 6; ++i) {
            weak.seed = 7 + i;
            ASSERT_TRUE(morse_audio_generate(weak, "CQ Z39ZE TEST", &part, nullptr, &error)) << error;
            audio.insert(audio.end(), part.begin(), part.end());
        }
        for (size_t at = 0, k = 0; at < audio.size(); at += part.size(), ++k) {
            loud.seed = 50 + static_cast<uint32_t>(k);
            ASSERT_TRUE(morse_audio_generate(loud, "CQ CQ DE JR7EPP JR7EPP JR7EPP K", &part, nullptr, &error)) << error;
            for (size_t i = 0; i < part.size() && at + i < audio.size(); ++i)
                audio[at + i] += part[i];
        }

        CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
        config.sampleRate = rate;
        Skimmer s(cw_skimmer_create(&config), cw_skimmer_destroy);
        ASSERT_NE(s, nullptr);
        const Heard h = skim(s.get(), audio, rate, false, weak.pitchHz);
        std::vector<std::string> spotted;
        for (const CW_SPOT& spot : h.spots)
            spotted.push_back(spot.call);
        EXPECT_EQ(spotted, (std::vector<std::string>{"JR7EPP", "Z39ZE"})) << rate << " Hz";
        size_t whole = 0;
        for (size_t at = 0; (at = h.textNear.find("CQ Z39ZE TEST", at)) != std::string::npos; ++at)
            ++whole;
        EXPECT_GE(whole, 3u) << rate << " Hz: " << h.textNear;
    }
}

// A contest CQ ends with the call, and a call waits for the next word to
// tell whether it is the sender's. In the pause after the over the station
// is spotted, not only when it calls again or its channel is retired.
TEST(Skimmer, AnOverEndingWithTheCallIsSpottedInItsPause)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = 24.0, c.pitchHz = 900.0, c.sampleRateHz = 8000, c.addNoise = true, c.snrDb = 20.0, c.seed = 3;
    c.leadSeconds = 1.0, c.tailSeconds = 12.0;
    std::vector<float> audio;
    std::string error;
    ASSERT_TRUE(morse_audio_generate(c, "TEST DL2QZA DL2QZA", &audio, nullptr, &error)) << error;
    const size_t overEnd = audio.size() - static_cast<size_t>(c.tailSeconds * c.sampleRateHz);
    CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
    config.sampleRate = c.sampleRateHz;
    Skimmer s(cw_skimmer_create(&config), cw_skimmer_destroy);
    ASSERT_NE(s, nullptr);
    const size_t fiveSecondsOn = overEnd + static_cast<size_t>(5.0 * c.sampleRateHz);
    const Heard h = skim(s.get(), std::vector<float>(audio.begin(), audio.begin() + fiveSecondsOn), c.sampleRateHz);
    ASSERT_EQ(h.spots.size(), 1u) << h.text;
    EXPECT_STREQ(h.spots[0].call, "DL2QZA");
    EXPECT_TRUE(h.spots[0].cq);
}

TEST(Skimmer, NoiseAloneGivesNoChannelsAndNoSpots)
{
    CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
    config.sampleRate = 8000.0;
    Skimmer s(cw_skimmer_create(&config), cw_skimmer_destroy);
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::vector<float> samples(60 * 8000);
    for (float& v : samples)
        v = noise(rng);
    const CW_SKIMMER_STATUS status = skim(s.get(), samples, 8000).status;
    EXPECT_EQ(status.channels, 0);
    EXPECT_EQ(status.spots, 0);
    EXPECT_EQ(status.receiversBuilt, 0);
    EXPECT_NEAR(status.seconds, 60.0, 1e-6);
}

// Two channels for six stations: the carriers left out are counted. A new rate then starts the channels
// afresh and keeps the spots.
TEST(Skimmer, CapacityBoundsTheChannelsAndANewRateStartsThemAfreshKeepingTheSpots)
{
    MORSE_BAND_CONFIG c = quiet_band(6, 4);
    c.startSpreadSeconds = 1.0;
    CW_SKIMMER_CONFIG config = cw_skimmer_default_config();
    config.sampleRate = c.sampleRateHz, config.capacity = 2;
    Skimmer s(cw_skimmer_create(&config), cw_skimmer_destroy);
    const Heard h = skim(s.get(), render(c, 30.0).samples, c.sampleRateHz);
    EXPECT_LE(h.status.channels, 2);
    EXPECT_EQ(h.status.receiversBuilt, 2);
    EXPECT_GT(h.status.refused, 0);
    std::vector<CW_SKIMMER_CHANNEL> channels(8);
    channels.resize(cw_skimmer_get_channels(s.get(), channels.data(), channels.size()));
    EXPECT_EQ(channels.size(), static_cast<size_t>(h.status.channels));
    for (size_t i = 1; i < channels.size(); ++i)
        EXPECT_LT(channels[i - 1].frequencyHz, channels[i].frequencyHz);

    ASSERT_GT(h.status.spots, 0);
    ASSERT_GT(h.status.channels, 0);
    config.sampleRate = 12000.0;
    cw_skimmer_configure(s.get(), &config);
    CW_SKIMMER_STATUS after{};
    cw_skimmer_get_status(s.get(), &after);
    EXPECT_EQ(after.channels, 0);
    EXPECT_EQ(after.spots, h.status.spots);
    EXPECT_DOUBLE_EQ(after.workRate, 12000.0);
}

TEST(Skimmer, NullHandlesAndBadSettingsAreHarmless)
{
    cw_skimmer_process(nullptr, nullptr, 10);
    cw_skimmer_process_iq(nullptr, nullptr, 10);
    cw_skimmer_configure(nullptr, nullptr);
    EXPECT_EQ(cw_skimmer_take_events(nullptr, nullptr, 4), 0u);
    EXPECT_EQ(cw_skimmer_take_text(nullptr, nullptr, 4), 0u);
    EXPECT_EQ(cw_skimmer_get_channels(nullptr, nullptr, 4), 0u);
    EXPECT_EQ(cw_skimmer_get_spots(nullptr, nullptr, 4), 0u);
    CW_SKIMMER_STATUS status{};
    status.channels = 7;
    cw_skimmer_get_status(nullptr, &status);
    EXPECT_EQ(status.channels, 0);
    cw_skimmer_destroy(nullptr);

    CW_SKIMMER_CONFIG bad{.sampleRate = NAN,
                          .iq = 0,
                          .lowHz = -5.0,
                          .highHz = INFINITY,
                          .dialHz = NAN,
                          .capacity = 100000,
                          .silenceSeconds = -1.0,
                          .spotAgeSeconds = 0.0};
    Skimmer s(cw_skimmer_create(&bad), cw_skimmer_destroy);
    ASSERT_NE(s, nullptr);
    cw_skimmer_get_status(s.get(), &status);
    EXPECT_EQ(status.capacity, kCWSkimmerMaxChannels);
    EXPECT_DOUBLE_EQ(status.workRate, 8000.0);  // 48000 Hz by default
    // An audio skimmer ignores IQ and the other way round.
    std::vector<float> iq(2 * 960, 0.1f);
    cw_skimmer_process_iq(s.get(), iq.data(), 960);
    cw_skimmer_get_status(s.get(), &status);
    EXPECT_EQ(status.seconds, 0.0);
}
