#include "tci_sim_faults.h"

#include "TCIStreamInfo.h"
#include "tci_stream_frame.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<uint8_t> good_frame()
{
    const std::vector<float> samples(64, 0.25f);
    std::vector<uint8_t> frame;
    tci_build_stream_frame(TCI_STREAM_FRAME_HEADER{0, 48000, 3, 0, 0, 0, 1, 1}, samples.data(), samples.size(),
                           &frame);
    return frame;
}

bool valid_utf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

}  // namespace

TEST(TciSimFaultsFrames, NoMalformedFrameIsUsableAudio)
{
    const std::vector<uint8_t> good = good_frame();
    ASSERT_TRUE(parseStreamInfoFromData(good.data(), good.size()).isRxAudioFloat32);
    std::set<std::string> names;
    for (size_t kind = 0; kind < tci_sim_malformed_kinds(); ++kind) {
        std::string name;
        const std::vector<uint8_t> bad = tci_sim_malformed_frame(kind, good, &name);
        EXPECT_FALSE(parseStreamInfoFromData(bad.data(), bad.size()).isRxAudioFloat32) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), tci_sim_malformed_kinds());
}

TEST(TciSimFaultsText, GarbageTextsAreDistinctAndValidUtf8)
{
    std::set<std::string> texts;
    for (size_t i = 0; i < tci_sim_garbage_count(); ++i) {
        EXPECT_TRUE(valid_utf8(tci_sim_garbage_text(i))) << i;
        texts.insert(tci_sim_garbage_text(i));
    }
    EXPECT_EQ(texts.size(), tci_sim_garbage_count());
}

TEST(TciSimFaultsSchedule, FaultsFollowEveryNthGoodFrame)
{
    TciSimFaults faults(3, 2);
    const std::vector<uint8_t> good = good_frame();
    std::string pattern;
    for (int frame = 1; frame <= 6; ++frame) {
        TCI_SIM_OUTPUT out;
        faults.afterGoodFrame(good, &out);
        for (const TCI_SIM_MESSAGE& m : out.messages)
            pattern += m.binary ? "M" : "G";
        pattern += ".";
    }
    EXPECT_EQ(pattern, ".G.M.G..MG.");
}

TEST(TciSimFaultsSchedule, KindsTakeTurns)
{
    TciSimFaults faults(1, 0);
    const std::vector<uint8_t> good = good_frame();
    std::set<std::string> seen;
    for (size_t i = 0; i < tci_sim_malformed_kinds(); ++i) {
        TCI_SIM_OUTPUT out;
        faults.afterGoodFrame(good, &out);
        ASSERT_EQ(out.log.size(), 1u);
        seen.insert(out.log[0]);
    }
    EXPECT_EQ(seen.size(), tci_sim_malformed_kinds());
}
