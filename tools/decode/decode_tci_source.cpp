#include "decode_tci_source.h"

#include "TCIClient.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kExitLinkFailed = 3;
constexpr int kInterruptPollMs = 100;
constexpr int kPoliteCloseMs = 150;  // the client closes 50 ms after audio_stop
constexpr int kFirstRetrySeconds = 1;
constexpr int kLongestRetrySeconds = 30;

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int)
{
    g_interrupted = 1;
}

void say(const std::string& line)
{
    std::fprintf(stderr, "zarvo-decode: %s\n", line.c_str());
}

// The receiver keeps its state across a reconnection: the text still in
// its window comes out with the first audio after the gap instead of being
// flushed early or thrown away, so only the audio of the gap is lost.
class TciDecodeSource : public TCIClientDelegate {
public:
    TciDecodeSource(const DECODE_OPTIONS& options, DECODE_SESSION* session, TCIClient* client)
        : options_(options), session_(session), client_(client)
    {
    }

    int exitStatus = 0;

    void tciClientDidLogLine(TCIClient*, const std::string&) override {}
    void tciClientDidConnect(TCIClient*) override {}
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t, TCIStreamInfo) override {}

    // The client reports a connection before the handshake; only a message
    // from the server proves the link is up.
    void tciClientDidReceiveTextMessage(TCIClient*, const std::string&) override { linkUp(); }

    void tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& error) override
    {
        const std::string why = heardServer_ ? error.description : "cannot connect: " + error.description;
        heardServer_ = false;
        if (!options_.reconnect) {
            say(why);
            exitStatus = kExitLinkFailed;
            QCoreApplication::quit();
            return;
        }
        // One line per attempt: why the last one ended and when the next starts.
        const int delay = retrySeconds_;
        retrySeconds_ = std::min(retrySeconds_ * 2, kLongestRetrySeconds);
        ++attempt_;
        say(why + "; reconnecting to " + url() + " in " + std::to_string(delay) + " s (attempt " +
            std::to_string(attempt_) + ")");
        QTimer::singleShot(delay * 1000, &context_, [this] {
            if (!g_interrupted)
                client_->connectToHost(options_.tciHost, options_.tciPort);
        });
    }

    void tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size, TCIStreamInfo info) override
    {
        if (!info.isRxAudioFloat32)
            return;
        lastRate_ = info.sampleRate;
        decode(data, size, info);
    }

    // Dropping the frame would cut a hole into the keying and garble the
    // text around it; the rate rarely changes between two frames.
    void tciClientDidReceiveRateZeroAudioFrameData(TCIClient*, const uint8_t* data, size_t size,
                                                   TCIStreamInfo info) override
    {
        info = tci_stream_info_at_rate(data, info, lastRate_);
        if (!info.isRxAudioFloat32)
            return;
        ++rateZeroFrames_;
        decode(data, size, info);
    }

    // One line for the whole run rather than one per frame.
    void reportRateZeroFrames() const
    {
        if (rateZeroFrames_ > 0)
            say(std::to_string(rateZeroFrames_) + " frames with rate 0 decoded at " + std::to_string(lastRate_) +
                " Hz");
    }

private:
    void decode(const uint8_t* data, size_t size, const TCIStreamInfo& info)
    {
        mono_.resize(info.frameCount);
        if (tci_stream_channel0(data, size, info, mono_.data(), mono_.size()) == 0)
            return;
        linkUp();
        if (!heardAudio_)
            say("receiving audio at " + std::to_string(info.sampleRate) + " Hz");
        heardAudio_ = true;
        decode_session_feed(session_, mono_.data(), mono_.size(), info.sampleRate);
        // Text that cannot be written ends the run; the caller reports it.
        if (std::fflush(session_->text) != 0 || std::ferror(session_->text))
            QCoreApplication::quit();
    }

    std::string url() const { return "ws://" + options_.tciHost + ":" + std::to_string(options_.tciPort); }

    void linkUp()
    {
        if (heardServer_)
            return;
        heardServer_ = true;
        if (attempt_ > 0)
            say("reconnected to " + url());
        attempt_ = 0;
        retrySeconds_ = kFirstRetrySeconds;
    }

    const DECODE_OPTIONS& options_;
    DECODE_SESSION* session_;
    TCIClient* client_;
    QObject context_;  // ends a pending retry with the source
    bool heardServer_ = false;
    bool heardAudio_ = false;
    int attempt_ = 0;
    int retrySeconds_ = kFirstRetrySeconds;
    uint32_t lastRate_ = 0;
    uint64_t rateZeroFrames_ = 0;
    std::vector<float> mono_;
};

}  // namespace

int decode_run_tci(const DECODE_OPTIONS& options, DECODE_SESSION* session)
{
    TCIClient client;
    TciDecodeSource source(options, session, &client);
    client.setDelegate(&source);
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);

    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, [&] {
        if (!g_interrupted)
            return;
        interruptPoll.stop();
        client.disconnect();
        QTimer::singleShot(kPoliteCloseMs, [] { QCoreApplication::quit(); });
    });
    interruptPoll.start(kInterruptPollMs);
    client.connectToHost(options.tciHost, options.tciPort);
    QCoreApplication::exec();
    client.setDelegate(nullptr);
    source.reportRateZeroFrames();
    return source.exitStatus;
}
