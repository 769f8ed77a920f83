#include "CWWavCapture.h"

#include "CWFolders.h"
#include "TCIStreamInfo.h"
#include "wav_file.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>

CWWavCapture::CWWavCapture(QString desktopFolder, std::function<std::tm()> localTime,
                           std::function<void(const std::string&)> log, std::function<void(const std::string&)> alert)
    : desktopFolder_(std::move(desktopFolder)), localTime_(std::move(localTime)), log_(std::move(log)),
      alert_(std::move(alert))
{
}

void CWWavCapture::reset()
{
    cw_capture_reset(&ring_);
}

bool CWWavCapture::ensureRate(uint32_t rate)
{
    // Rates the stream cannot carry would only size a useless ring.
    if (!tci_stream_sample_rate_usable(rate))
        return false;
    const CW_CAPTURE_SIZING sizing = cw_capture_ensure_rate(&ring_, rate);
    if (sizing == CW_CAPTURE_SIZING::NoMemory)
        log_("RX WAV capture buffer allocation failed.");
    return sizing == CW_CAPTURE_SIZING::Ready;
}

void CWWavCapture::append(const float* samples, uint64_t count, uint32_t rate)
{
    if (samples == nullptr || count == 0 || !ensureRate(rate))
        return;
    cw_capture_append(&ring_, samples, count, rate);
}

std::vector<uint8_t> CWWavCapture::wavData(std::string* error) const
{
    std::vector<uint8_t> image;
    const std::vector<float> samples = cw_capture_samples(ring_);
    if (samples.empty() || ring_.sampleRate == 0)
        return image;
    if (!tci_stream_sample_rate_usable(ring_.sampleRate)) {
        if (error)
            *error = "unsupported sample rate " + std::to_string(ring_.sampleRate) + " Hz";
        return image;
    }
    std::string reason;
    if (!wav_build_image(samples.data(), samples.size(), 1, ring_.sampleRate, WAV_ENCODING_PCM16, &image, &reason)) {
        image.clear();
        if (error)
            *error = reason;
    }
    return image;
}

QString CWWavCapture::defaultPath() const
{
    const QDir folder(cw_standard_folder(QStandardPaths::DesktopLocation, desktopFolder_));
    const std::tm now = localTime_();
    const uint32_t rate = ring_.sampleRate;
    return cw_first_free_path(
        folder, [&](int serial) { return cw_capture_file_name(now, rate, static_cast<unsigned>(serial)); });
}

void CWWavCapture::save()
{
    std::string error;
    const std::vector<uint8_t> image = wavData(&error);
    if (image.empty() && error.empty()) {
        log_("No RX audio captured yet.");
        return;
    }
    const QString path = defaultPath();
    if (path.isEmpty())
        error = "every file name for this second is taken";
    else if (!image.empty() && wav_write_file(path.toStdString(), image, &error)) {
        char line[64];
        std::snprintf(line, sizeof line, "Saved %.1f s RX WAV: ", cw_capture_seconds(ring_));
        log_(line + path.toStdString());
        return;
    }
    const std::string message = "Save WAV failed: " + (error.empty() ? std::string("unknown error") : error);
    log_(message);
    alert_(message);
}
