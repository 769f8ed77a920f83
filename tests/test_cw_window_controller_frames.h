// Receive audio handed to a window as the TCI client hands it over.
#pragma once

#include "CWWindowController.h"
#include "TCIStreamInfo.h"
#include "tci_stream_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace cw_window_test {

// One frame of interleaved float samples through the client's two
// callbacks; `cut` bytes short when a test wants it malformed.
inline void deliver_frame(CWWindowController* controller, const std::vector<float>& interleaved, uint32_t rate,
                          uint32_t channels, size_t cut = 0)
{
    TCI_STREAM_FRAME_HEADER header{0, rate, TCI_SAMPLE_FLOAT32, 0, 0, 0, kTCIStreamTypeRxAudio, channels};
    std::vector<uint8_t> frame;
    ASSERT_TRUE(tci_build_stream_frame(header, interleaved.data(), interleaved.size(), &frame));
    frame.resize(frame.size() - cut);
    const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
    controller->tciClientDidReceiveBinaryMessageWithLength(nullptr, frame.size(), info);
    if (info.isRxAudioFloat32)
        controller->tciClientDidReceiveRxAudioFrameData(nullptr, frame.data(), frame.size(), info);
}

}  // namespace cw_window_test
