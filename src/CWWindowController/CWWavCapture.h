// The last 30 seconds of receive audio and "Save WAV", which writes them to
// the Desktop as 16-bit mono.
#pragma once

#include "cw_capture_ring.h"

#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

class CWWavCapture {
public:
    // An empty desktopFolder means the user's Desktop, else home; localTime
    // names the file.
    CWWavCapture(QString desktopFolder, std::function<std::tm()> localTime, std::function<void(const std::string&)> log,
                 std::function<void(const std::string&)> alert);

    void reset();
    // Channel-0 samples at this rate; a new rate starts the capture afresh.
    void append(const float* samples, uint64_t count, uint32_t rate);
    // Empty when nothing was captured or the rate cannot be written.
    std::vector<uint8_t> wavData(std::string* error = nullptr) const;
    // A Desktop file name no file has yet.
    QString defaultPath() const;
    void save();
    const CW_CAPTURE_RING& ring() const { return ring_; }

private:
    bool ensureRate(uint32_t rate);

    QString desktopFolder_;
    std::function<std::tm()> localTime_;
    std::function<void(const std::string&)> log_;
    std::function<void(const std::string&)> alert_;
    CW_CAPTURE_RING ring_;
};
