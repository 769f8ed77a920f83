#include "decode_tci_source.h"

#include "TCIClient.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <vector>

namespace {

constexpr int kExitLinkFailed = 3;
constexpr int kInterruptPollMs = 100;
constexpr int kPoliteCloseMs = 150;  // the client closes 50 ms after audio_stop

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int)
{
    g_interrupted = 1;
}

class TciDecodeSource : public TCIClientDelegate {
public:
    explicit TciDecodeSource(DECODE_SESSION* session) : session_(session) {}

    int exitStatus = 0;

    void tciClientDidLogLine(TCIClient*, const std::string&) override {}
    void tciClientDidConnect(TCIClient*) override {}
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t, TCIStreamInfo) override {}

    // The client reports a connection before the handshake; only a message
    // from the server proves the link was up.
    void tciClientDidReceiveTextMessage(TCIClient*, const std::string&) override { heardServer_ = true; }

    void tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& error) override
    {
        std::fprintf(stderr, "zarvo-decode: %s: %s\n", heardServer_ ? "TCI link lost" : "cannot connect",
                     error.description.c_str());
        exitStatus = kExitLinkFailed;
        QCoreApplication::quit();
    }

    void tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size, TCIStreamInfo info) override
    {
        if (!info.isRxAudioFloat32)
            return;
        mono_.resize(info.frameCount);
        if (tci_stream_channel0(data, size, info, mono_.data(), mono_.size()) == 0)
            return;
        if (!heardAudio_)
            std::fprintf(stderr, "zarvo-decode: receiving audio at %u Hz\n", info.sampleRate);
        heardServer_ = heardAudio_ = true;
        decode_session_feed(session_, mono_.data(), mono_.size(), info.sampleRate);
        // Text that cannot be written ends the run; the caller reports it.
        if (std::fflush(session_->text) != 0 || std::ferror(session_->text))
            QCoreApplication::quit();
    }

private:
    DECODE_SESSION* session_;
    bool heardServer_ = false;
    bool heardAudio_ = false;
    std::vector<float> mono_;
};

}  // namespace

int decode_run_tci(const DECODE_OPTIONS& options, DECODE_SESSION* session)
{
    TciDecodeSource source(session);
    TCIClient client;
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
    return source.exitStatus;
}
