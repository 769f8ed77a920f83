#include "tci_sim_cw_track.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t non_space_count(const std::string& text, size_t from)
{
    return static_cast<size_t>(std::count_if(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                                             [](char c) { return !is_space(c); }));
}

}  // namespace

void TciSimCwTrack::append(const std::string& text, const MORSE_AUDIO_CONFIG& config, double pauseSeconds)
{
    const double pause = std::isfinite(pauseSeconds) ? std::clamp(pauseSeconds, 0.0, 60.0) : 0.0;
    items_.push_back(Item{text, config, static_cast<uint64_t>(std::llround(pause * config.sampleRateHz)), 0});
}

size_t TciSimCwTrack::clear()
{
    size_t dropped = 0;
    for (const Item& item : items_)
        dropped += non_space_count(item.text, item.cursor);
    items_.clear();
    silence_ = 0;
    rendered_.clear();
    played_ = 0;
    return dropped;
}

bool TciSimCwTrack::idle() const
{
    return items_.empty() && silence_ == 0 && played_ >= rendered_.size();
}

size_t TciSimCwTrack::mix(float* out, size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (silence_ > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(silence_, count - done));
            silence_ -= n;
            done += n;
        } else if (played_ < rendered_.size()) {
            const size_t n = std::min(rendered_.size() - played_, count - done);
            for (size_t i = 0; i < n; ++i)
                out[done + i] += rendered_[played_ + i];
            played_ += n;
            done += n;
        } else if (!renderNextWord()) {
            break;
        }
    }
    return done;
}

// A word is keyed with its trailing word gap, so words follow each other
// at the right spacing; characters without a code are left out.
bool TciSimCwTrack::renderNextWord()
{
    while (!items_.empty()) {
        Item& item = items_.front();
        if (item.pauseSamples > 0) {
            silence_ = std::exchange(item.pauseSamples, 0);
            return true;
        }
        const auto begin =
            std::find_if_not(item.text.begin() + static_cast<std::ptrdiff_t>(item.cursor), item.text.end(), is_space);
        if (begin == item.text.end()) {
            items_.pop_front();
            continue;
        }
        const auto end = std::find_if(begin, item.text.end(), is_space);
        item.cursor = static_cast<size_t>(end - item.text.begin());
        rendered_.clear();
        played_ = 0;
        if (morse_audio_timeline(item.config, std::string(begin, end) + " ", &timeline_, nullptr, nullptr) &&
            morse_audio_mix_tone(item.config, timeline_, 0, &rendered_, nullptr) && !rendered_.empty())
            return true;
    }
    return false;
}
