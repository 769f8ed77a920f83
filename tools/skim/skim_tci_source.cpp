#include "skim_tci_source.h"

#include "TCIStreamInfo.h"
#include "tci_commands.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kExitLinkFailed = 3;
constexpr int kInterruptPollMs = 100;
constexpr int kPoliteCloseMs = 150;
constexpr int kHandshakeTimeoutMs = 10000;

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int)
{
    g_interrupted = 1;
}

void say(const std::string& line)
{
    std::fprintf(stderr, "zarvo-skim: %s\n", line.c_str());
}

// The last number of "RX,...,HZ" for receiver 0 (and channel 0 when there
// are three fields); false for anything else.
bool receiver0_hz(const std::string& args, size_t fields, double* hz)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t comma; (comma = args.find(',', from)) != std::string::npos; from = comma + 1)
        parts.push_back(args.substr(from, comma - from));
    parts.push_back(args.substr(from));
    if (parts.size() != fields || parts[0] != "0" || (fields == 3 && parts[1] != "0"))
        return false;
    const std::string& text = parts.back();
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !(value >= 0))
        return false;
    *hz = value;
    return true;
}

// A WebSocket of its own rather than the window's TCIClient: the client
// hands its delegate receive audio only, and the skimmer wants IQ frames too.
class TciSkimSource {
public:
    TciSkimSource(const SKIM_OPTIONS& options, SKIM_SESSION* session) : options_(options), session_(session)
    {
        QObject::connect(&socket_, &QWebSocket::connected, &context_, [this] { onOpened(); });
        QObject::connect(&socket_, &QWebSocket::textMessageReceived, &context_,
                         [this](const QString& text) { onText(text.toStdString()); });
        QObject::connect(&socket_, &QWebSocket::binaryMessageReceived, &context_,
                         [this](const QByteArray& message) { onBinary(message); });
        QObject::connect(&socket_, &QWebSocket::disconnected, &context_, [this] {
            // Qt may tell of the disconnection before the error that caused it.
            QTimer::singleShot(0, &context_, [this] { fail(socket_.errorString().toStdString()); });
        });
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
        const auto errorSignal = &QWebSocket::errorOccurred;
#else
        const auto errorSignal = QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error);
#endif
        QObject::connect(&socket_, errorSignal, &context_,
                         [this](QAbstractSocket::SocketError) { fail(socket_.errorString().toStdString()); });
        handshake_.setSingleShot(true);
        QObject::connect(&handshake_, &QTimer::timeout, &context_, [this] { fail("the server did not answer"); });
    }

    int exitStatus = 0;

    void start()
    {
        const std::string url = "ws://" + options_.tciHost + ":" + std::to_string(options_.tciPort);
        handshake_.start(kHandshakeTimeoutMs);
        socket_.open(QUrl(QString::fromStdString(url)));
    }

    // Stops the stream, then closes once the server has had time to read it.
    void stop()
    {
        closing_ = true;
        if (socket_.state() == QAbstractSocket::ConnectedState)
            socket_.sendTextMessage(QString::fromStdString(options_.iq ? tci_iq_stop_command(0) : "audio_stop:0;"));
        QTimer::singleShot(kPoliteCloseMs, &context_, [this] {
            socket_.close();
            QCoreApplication::quit();
        });
    }

private:
    void onOpened()
    {
        handshake_.stop();
        opened_ = true;
        std::vector<std::string> commands;
        // For IQ the state queries only, not the audio stream's set-up.
        for (const char* c : kTCIStartupCommands)
            if (!options_.iq || std::string(c).rfind("audio_", 0) != 0)
                commands.push_back(c);
        if (options_.iq) {
            commands.push_back(tci_iq_samplerate_command(options_.iqRate));
            commands.push_back(tci_iq_start_command(0));
        }
        for (const std::string& c : commands)
            socket_.sendTextMessage(QString::fromStdString(c));
    }

    void fail(const std::string& why)
    {
        if (closing_)
            return;
        closing_ = true;
        say(opened_ ? "link lost: " + why : "cannot connect: " + why);
        exitStatus = kExitLinkFailed;
        socket_.abort();
        QCoreApplication::quit();
    }

    // dds: the IQ centre; vfo: where a carrier at the CW pitch is.
    void onText(const std::string& message)
    {
        size_t from = 0;
        for (size_t end; (end = message.find(';', from)) != std::string::npos; from = end + 1) {
            const std::string command = message.substr(from, end - from);
            const size_t colon = command.find(':');
            std::string name = command.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            name.erase(0, name.find_first_not_of(" \r\n\t"));
            const std::string args = colon == std::string::npos ? "" : command.substr(colon + 1);
            if (name == "dds")
                receiver0_hz(args, 2, &ddsHz_);
            else if (name == "vfo")
                receiver0_hz(args, 3, &vfoHz_);
            else if (name == "iq_stop" && options_.iq && args == "0" && !heardStream_)
                say("the server refused the IQ stream (iq_stop:0)");
        }
        if (rate_ > 0)
            skim_session_set_stream(session_, rate_, dial());
    }

    double dial() const
    {
        return options_.iq ? ddsHz_ : vfoHz_ - options_.pitchHz;
    }

    void onBinary(const QByteArray& message)
    {
        const auto* data = reinterpret_cast<const uint8_t*>(message.constData());
        const size_t size = static_cast<size_t>(message.size());
        const TCIStreamInfo info = parseStreamInfoFromData(data, size);
        size_t frames = 0;
        if (options_.iq && info.isIQFloat32) {
            samples_.resize(2 * info.frameCount);
            frames = tci_stream_iq(data, size, info, samples_.data(), samples_.size());
        } else if (!options_.iq && info.isRxAudioFloat32) {
            samples_.resize(info.frameCount);
            frames = tci_stream_channel0(data, size, info, samples_.data(), samples_.size());
        }
        if (frames == 0)
            return;
        // Each frame's own rate: some servers keep theirs whatever was asked.
        if (info.sampleRate != rate_)
            say(std::string(options_.iq ? "receiving IQ" : "receiving audio") + " at " +
                std::to_string(info.sampleRate) + " Hz");
        rate_ = info.sampleRate;
        heardStream_ = true;
        skim_session_set_stream(session_, rate_, dial());
        const bool written = skim_session_feed(session_, samples_.data(), frames) && std::fflush(stdout) == 0;
        for (const std::string& c : skim_output_take_radio_commands(session_->output))
            socket_.sendTextMessage(QString::fromStdString(c));
        // Output that cannot be written ends the run; the caller reports it.
        if (!written && !closing_)
            stop();
    }

    const SKIM_OPTIONS& options_;
    SKIM_SESSION* session_;
    QObject context_;  // ends every connection with the source
    QWebSocket socket_;
    QTimer handshake_;
    bool opened_ = false;
    bool closing_ = false;
    bool heardStream_ = false;
    uint32_t rate_ = 0;
    double ddsHz_ = 0;
    double vfoHz_ = 0;
    std::vector<float> samples_;
};

}  // namespace

int skim_run_tci(const SKIM_OPTIONS& options, SKIM_SESSION* session)
{
    TciSkimSource source(options, session);
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    QTimer interruptPoll;
    // The cluster clients are served between frames, and here too so that
    // a stalled stream does not keep a logger waiting at the login.
    QObject::connect(&interruptPoll, &QTimer::timeout, [&] {
        if (session->cluster != nullptr)
            cw_cluster_server_poll(session->cluster, 0);
        if (!g_interrupted)
            return;
        interruptPoll.stop();
        source.stop();
    });
    interruptPoll.start(kInterruptPollMs);
    source.start();
    QCoreApplication::exec();
    return source.exitStatus;
}
