// The last 30 seconds of receive audio and "Save WAV".
#include "CWWindowController.h"

#include "CWFolders.h"
#include "wav_file.h"

#include <QDir>
#include <QMainWindow>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>

void CWWindowController::resetCaptureBuffer()
{
    cw_capture_reset(&captureRing_);
}

bool CWWindowController::ensureCaptureBufferForSampleRate(uint32_t rate)
{
    // Rates the stream cannot carry would only size a useless ring.
    if (!tci_stream_sample_rate_usable(rate))
        return false;
    const CW_CAPTURE_SIZING sizing = cw_capture_ensure_rate(&captureRing_, rate);
    if (sizing == CW_CAPTURE_SIZING::NoMemory)
        appendLog("RX WAV capture buffer allocation failed.");
    return sizing == CW_CAPTURE_SIZING::Ready;
}

void CWWindowController::appendCaptureSamples(const float* samples, uint64_t count, uint32_t rate)
{
    if (samples == nullptr || count == 0 || !ensureCaptureBufferForSampleRate(rate))
        return;
    cw_capture_append(&captureRing_, samples, count, rate);
}

std::vector<uint8_t> CWWindowController::wavDataFromCaptureBuffer(std::string* error) const
{
    std::vector<uint8_t> image;
    const std::vector<float> samples = cw_capture_samples(captureRing_);
    if (samples.empty() || captureRing_.sampleRate == 0)
        return image;
    if (!tci_stream_sample_rate_usable(captureRing_.sampleRate)) {
        if (error)
            *error = "unsupported sample rate " + std::to_string(captureRing_.sampleRate) + " Hz";
        return image;
    }
    std::string reason;
    if (!wav_build_image(samples.data(), samples.size(), 1, captureRing_.sampleRate, WAV_ENCODING_PCM16, &image,
                         &reason)) {
        image.clear();
        if (error)
            *error = reason;
    }
    return image;
}

QString CWWindowController::defaultCaptureURL() const
{
    const QDir folder(cw_standard_folder(QStandardPaths::DesktopLocation, environment_.desktopFolder));
    const std::tm now = localTimeNow();
    const uint32_t rate = captureRing_.sampleRate;
    return cw_first_free_path(folder, [&](int serial) {
        return cw_capture_file_name(now, rate, static_cast<unsigned>(serial));
    });
}

void CWWindowController::saveWavClicked()
{
    std::string error;
    const std::vector<uint8_t> image = wavDataFromCaptureBuffer(&error);
    if (image.empty() && error.empty()) {
        appendLog("No RX audio captured yet.");
        return;
    }
    const QString path = defaultCaptureURL();
    if (path.isEmpty())
        error = "every file name for this second is taken";
    else if (!image.empty() && wav_write_file(path.toStdString(), image, &error)) {
        char line[64];
        std::snprintf(line, sizeof line, "Saved %.1f s RX WAV: ", cw_capture_seconds(captureRing_));
        appendLog(line + path.toStdString());
        return;
    }
    const std::string message = "Save WAV failed: " + (error.empty() ? std::string("unknown error") : error);
    appendLog(message);
    showAlert(message);
}

void CWWindowController::showAlert(const std::string& message, const std::string& informativeText)
{
    if (environment_.alert) {
        environment_.alert(informativeText.empty() ? message : message + "\n\n" + informativeText);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, "Zarvo", QString::fromStdString(message), QMessageBox::Ok,
                                window_.get());
    box->setInformativeText(QString::fromStdString(informativeText));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
