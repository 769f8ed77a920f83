#include "tci_sim_stream.h"

#include "TCIStreamInfo.h"
#include "tci_sim_audio.h"
#include "tci_stream_frame.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr const char* kSampleTypeNames[] = {"int16", "int24", "int32", "float32"};

}  // namespace

TciSimStream::TciSimStream(uint32_t sampleRate, uint32_t frameSamples, bool forceStereo)
    : sampleRate_(sampleRate), frameSamples_(frameSamples), format_(TCI_SAMPLE_FLOAT32), forceStereo_(forceStereo)
{
}

bool TciSimStream::setSampleType(const std::string& name)
{
    for (uint32_t format = 0; format < std::size(kSampleTypeNames); ++format) {
        if (name == kSampleTypeNames[format]) {
            format_ = format;
            return true;
        }
    }
    return false;
}

std::string TciSimStream::sampleTypeName() const
{
    return kSampleTypeNames[format_];
}

bool TciSimStream::setChannels(uint32_t channels)
{
    if (channels < 1 || channels > 2)
        return false;
    channels_ = channels;
    return true;
}

uint32_t TciSimStream::channels() const
{
    return forceStereo_ ? 2 : channels_;
}

bool TciSimStream::setFrameSamples(uint32_t frameSamples, double now)
{
    if (frameSamples < kTciSimMinFrame || frameSamples > kTciSimMaxFrame)
        return false;
    frameSamples_ = frameSamples;
    resume(now);
    return true;
}

uint32_t TciSimStream::frameSamples() const
{
    return frameSamples_;
}

uint32_t TciSimStream::sampleRate() const
{
    return sampleRate_;
}

void TciSimStream::start(double now)
{
    running_ = true;
    sent_ = 0;
    resume(now);
}

uint64_t TciSimStream::stop()
{
    running_ = false;
    return sent_;
}

bool TciSimStream::running() const
{
    return running_;
}

void TciSimStream::resume(double now)
{
    start_ = now;
    paced_ = 0;
}

uint64_t TciSimStream::takeDue(double now)
{
    if (!running_ || !(now > start_))
        return 0;
    const double elapsedFrames = (now - start_) * sampleRate_ / frameSamples_;
    const uint64_t target = static_cast<uint64_t>(std::floor(std::min(elapsedFrames, 1e15)));
    const uint64_t burst = std::max<uint64_t>(1, sampleRate_ / frameSamples_);
    if (target <= paced_)
        return 0;
    const uint64_t due = std::min(target - paced_, burst);
    paced_ = target;
    sent_ += due;
    return due;
}

std::vector<uint8_t> TciSimStream::nextFrame(TciSimAudio* audio)
{
    const uint32_t channels = this->channels();
    mono_.resize(frameSamples_);
    audio->render(mono_.data(), mono_.size());
    interleaved_.resize(static_cast<size_t>(frameSamples_) * channels);
    for (size_t i = 0; i < interleaved_.size(); ++i)
        interleaved_[i] = mono_[i / channels];
    const TCI_STREAM_FRAME_HEADER header{0, sampleRate_, format_, 0, 0, 0, kTCIStreamTypeRxAudio, channels};
    std::vector<uint8_t> frame;
    tci_build_stream_frame(header, interleaved_.data(), interleaved_.size(), &frame);
    return frame;
}
