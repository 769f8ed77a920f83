// Any byte sequence as a binary stream frame: no read outside the input and
// a record that agrees with itself.
#include "TCIStreamInfo.h"

#include <cstdlib>
#include <initializer_list>

static void require(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TCIStreamInfo info = parseStreamInfoFromData(data, size);
    require(info.messageBytes == size);
    require(!info.isRxAudioFloat32 || info.valid);
    require(!info.valid || (info.payloadComplete && info.length != 0 && info.channels != 0));
    require(!info.payloadComplete || info.expectedPayloadBytes <= info.payloadBytes);
    require(info.headerBytes == 0 || info.payloadBytes + info.headerBytes == info.messageBytes);
    require(!info.isRxAudioFloat32 || tci_stream_sample_rate_usable(info.sampleRate));
    require(info.frameCount * info.channels <= info.length);
    for (float peak : {info.peakChannel0, info.peakChannel1})
        require(peak >= 0.0f);  // NaN fails too
    require(info.isRxAudioFloat32 || (info.peakChannel0 == 0.0f && info.peakChannel1 == 0.0f));
    return 0;
}
