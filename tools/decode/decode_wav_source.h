// WAV input of zarvo-decode: a file or standard input, channel 0, handed to
// a session in blocks.
#pragma once

#include "decode_session.h"
#include "wav_file.h"

#include <string>

// Reads and checks the input; false with a one-line reason. *warning gets a
// note for a file whose data chunk was cut short (its whole frames decode).
bool decode_read_wav(const std::string& input, WAV_AUDIO* audio, std::string* warning, std::string* error);

// Channel 0 of the audio through the session, blockSamples at a time;
// false, having stopped early, once the text could not be written.
bool decode_feed_wav(const WAV_AUDIO& audio, size_t blockSamples, DECODE_SESSION* session);
