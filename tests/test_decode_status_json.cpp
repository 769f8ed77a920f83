// The status line format of zarvo-decode.
#include "decode_status_json.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

TEST(DecodeStatusJson, FieldsInRecordOrder)
{
    CW_RX_STATUS s{};
    s.level = 0.5f;
    s.keyDown = 1;
    s.lock = 2;
    s.pitchHz = 612.5;
    s.decoderGain = 1.0f;
    const std::string line = decode_status_json(1.2, s);
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    const char* keys[] = {"t",         "level",       "threshold",   "reserved", "keyDown",
                          "signalPresent", "lock",    "pitchHz",     "wpm",      "inputLevel",
                          "decoderGain", "decoderCost", "statWpm",   "statQuality", "statSnrDb",
                          "statOnRatio"};
    size_t at = 0;
    for (const char* key : keys) {
        const size_t found = line.find(std::string("\"") + key + "\":", at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
    EXPECT_NE(line.find("\"t\":1.2,"), std::string::npos) << line;
    EXPECT_NE(line.find("\"lock\":2,"), std::string::npos) << line;
    EXPECT_NE(line.find("\"pitchHz\":612.5,"), std::string::npos) << line;
}

TEST(DecodeStatusJson, NonFiniteBecomesNull)
{
    CW_RX_STATUS s{};
    s.decoderCost = std::numeric_limits<float>::infinity();
    EXPECT_NE(decode_status_json(0.0, s).find("\"decoderCost\":null"), std::string::npos);
}
