#include "tci_test_radio.h"

#include "morse_audio_generator.h"

#include <QHostAddress>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>

namespace tci_test_radio {

namespace {

// A real server's frames hold a fixed number of samples per channel, set
// by "audio_stream_samples"; this one keeps its own.
constexpr uint32_t kFrameSamples = 512;
constexpr uint32_t kDefaultRate = 48000;
constexpr uint32_t kHeaderBytes = 64;
constexpr uint32_t kTypeRxAudio = 1;
constexpr uint32_t kFormatInt16 = 0;
constexpr uint32_t kFormatFloat32 = 3;
constexpr int kPaceMs = 10;
constexpr int kCwSpeedWpm = 24;

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string name_of(const std::string& command)
{
    return lower(trimmed(command.substr(0, command.find_first_of(":;"))));
}

// The arguments after ':' split at ',', trimmed; empty without ':'.
std::vector<std::string> arguments_of(const std::string& command)
{
    std::vector<std::string> out;
    const size_t colon = command.find(':');
    if (colon == std::string::npos)
        return out;
    std::string rest = command.substr(colon + 1);
    if (!rest.empty() && rest.back() == ';')
        rest.pop_back();
    size_t from = 0;
    for (size_t comma; (comma = rest.find(',', from)) != std::string::npos; from = comma + 1)
        out.push_back(trimmed(rest.substr(from, comma - from)));
    out.push_back(trimmed(rest.substr(from)));
    return out;
}

std::string hz(double value)
{
    return std::to_string(static_cast<long long>(std::llround(value)));
}

void put_u32(uint32_t value, uint8_t* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

struct Radio::Client {
    QWebSocket* socket = nullptr;  // owned by the server; null once gone
    uint32_t rate = kDefaultRate;
    uint32_t channels = 2;  // stereo unless asked otherwise
    uint32_t format = kFormatFloat32;
    bool streaming = false;
    QElapsedTimer clock;  // since audio_start
    uint64_t framesSent = 0;
    size_t position = 0;  // in the station's loop
};

Radio::Radio(STATION station, DIAL dial)
    : station_(std::move(station)), dial_(dial), server_("tci-test-radio", QWebSocketServer::NonSecureMode)
{
    QObject::connect(&server_, &QWebSocketServer::newConnection, &server_, [this] { accept(); });
    QObject::connect(&pace_, &QTimer::timeout, &server_, [this] { tick(); });
    pace_.setTimerType(Qt::PreciseTimer);
}

Radio::~Radio()
{
    pace_.stop();
    for (const std::unique_ptr<Client>& c : clients_)
        if (c->socket != nullptr)
            c->socket->abort();
    server_.close();
}

bool Radio::listen(std::string* error)
{
    if (server_.listen(QHostAddress::LocalHost, 0))
        return true;
    if (error != nullptr)
        *error = server_.errorString().toStdString();
    return false;
}

uint16_t Radio::port() const
{
    return server_.serverPort();
}

std::string Radio::url() const
{
    return "ws://127.0.0.1:" + std::to_string(port());
}

std::vector<std::string> Radio::received(const std::string& name) const
{
    std::vector<std::string> found;
    for (const std::string& command : received_)
        if (name_of(command) == lower(name))
            found.push_back(command);
    return found;
}

size_t Radio::clientCount() const
{
    return static_cast<size_t>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->socket != nullptr; }));
}

bool Radio::streaming() const
{
    return std::any_of(clients_.begin(), clients_.end(), [](const auto& c) { return c->streaming; });
}

void Radio::accept()
{
    while (QWebSocket* socket = server_.nextPendingConnection()) {
        clients_.push_back(std::make_unique<Client>());
        Client* client = clients_.back().get();
        client->socket = socket;
        QObject::connect(socket, &QWebSocket::textMessageReceived, &server_,
                         [this, client](const QString& message) { onText(client, message); });
        QObject::connect(socket, &QWebSocket::disconnected, &server_, [client] {
            client->streaming = false;
            client->socket->deleteLater();
            client->socket = nullptr;
        });
        greet(client);
    }
}

// Two receivers of two channels each, reported one command per message in
// the order this radio keeps: centres first, then offsets, then dials. The
// dial of receiver 1 comes last, so a client that takes any vfo ends on the
// wrong band.
void Radio::greet(Client* client)
{
    std::vector<std::string> greeting = {
        "protocol:TestRadio,1.9;",
        "device:TestRadio;",
        "receive_only:false;",
        "trx_count:2;",
        "channels_count:2;",
        "vfo_limits:10000,55000000;",
        "if_limits:-48000,48000;",
        "dds:0," + hz(kDdsHz) + ";",
        "dds:1," + hz(kSecondDdsHz) + ";",
    };
    if (dial_ == DIAL::Vfo)
        greeting.insert(greeting.end(), {
                                            "if:0,0," + hz(kVfoHz - kDdsHz) + ";",
                                            "if:0,1," + hz(kVfoBHz - kDdsHz) + ";",
                                            "if:1,0," + hz(kSecondVfoHz - kSecondDdsHz) + ";",
                                            "vfo:0,0," + hz(kVfoHz) + ";",
                                            "vfo:0,1," + hz(kVfoBHz) + ";",
                                            "vfo:1,0," + hz(kSecondVfoHz) + ";",
                                        });
    greeting.insert(greeting.end(), {
                                        "modulation:0,cw;",
                                        "modulation:1,usb;",
                                        "cw_macros_speed:" + std::to_string(kCwSpeedWpm) + ";",
                                        "cw_keyer_speed:" + std::to_string(kCwSpeedWpm) + ";",
                                        "ready;",
                                    });
    for (const std::string& command : greeting)
        send(client, command);
}

void Radio::onText(Client* client, const QString& message)
{
    const std::string text = message.toStdString();
    size_t from = 0;
    for (size_t end; from < text.size(); from = end + 1) {
        end = text.find(';', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string command = trimmed(text.substr(from, end - from));
        if (command.empty())
            continue;
        received_.push_back(command + ";");
        answer(client, received_.back());
    }
}

void Radio::answer(Client* client, const std::string& command)
{
    const std::string name = name_of(command);
    const std::vector<std::string> a = arguments_of(command);
    const auto reply = [&](const std::string& value) { send(client, name + ":" + value + ";"); };
    if (name == "device")
        reply("TestRadio");
    else if (name == "trx_count" || name == "channels_count")
        reply("2");
    else if (name == "modulation" && a.size() == 1)
        reply(a[0] + (a[0] == "0" ? ",cw" : ",usb"));
    else if ((name == "cw_macros_speed" || name == "cw_keyer_speed") && a.empty())
        reply(std::to_string(kCwSpeedWpm));
    else if (name == "dds" && a.size() == 1)
        reply(a[0] + "," + hz(a[0] == "0" ? kDdsHz : kSecondDdsHz));
    else if (name == "vfo" && a.size() == 2 && dial_ == DIAL::Vfo)
        reply(a[0] + "," + a[1] + "," + hz(a[0] != "0" ? kSecondVfoHz : a[1] == "0" ? kVfoHz : kVfoBHz));
    else if (name == "audio_stream_sample_type" && a.size() == 1) {
        if (lower(a[0]) == "int16" || lower(a[0]) == "float32")
            client->format = lower(a[0]) == "int16" ? kFormatInt16 : kFormatFloat32;
        reply(client->format == kFormatInt16 ? "int16" : "float32");
    } else if (name == "audio_stream_channels" && a.size() == 1) {
        if (a[0] == "1" || a[0] == "2")
            client->channels = a[0] == "1" ? 1 : 2;
        reply(std::to_string(client->channels));
    } else if (name == "audio_stream_samples")
        reply(std::to_string(kFrameSamples));
    else if (name == "audio_samplerate" && a.size() == 1) {
        for (uint32_t rate : {8000u, 12000u, 24000u, 48000u})
            if (a[0] == std::to_string(rate) && !client->streaming)
                client->rate = rate;
        reply(std::to_string(client->rate));
    } else if (name == "audio_start" && a.size() == 1 && a[0] == "0") {
        reply("0");
        client->streaming = true;
        client->framesSent = 0;
        client->clock.start();
        if (!pace_.isActive())
            pace_.start(kPaceMs);
    } else if (name == "audio_stop" && a.size() == 1) {
        client->streaming = false;
        reply(a[0]);
    } else if (name == "iq_start" && a.size() == 1)
        send(client, "iq_stop:" + a[0] + ";");  // no IQ from this radio
}

void Radio::send(Client* client, const std::string& text)
{
    if (client->socket != nullptr)
        client->socket->sendTextMessage(QString::fromStdString(text));
}

// Frames go out as the clock says they are due, whole frames only, so the
// stream keeps real time however the timer wakes.
void Radio::tick()
{
    for (const std::unique_ptr<Client>& c : clients_) {
        if (!c->streaming || c->socket == nullptr)
            continue;
        const uint64_t due = static_cast<uint64_t>(c->clock.elapsed()) * c->rate / 1000;
        while (c->framesSent + kFrameSamples <= due)
            sendFrame(c.get(), kFrameSamples);
    }
}

void Radio::sendFrame(Client* client, size_t frames)
{
    const std::vector<float>& loop = audio(client->rate);
    const uint32_t values = static_cast<uint32_t>(frames * client->channels);
    const uint32_t bytesPerSample = client->format == kFormatInt16 ? 2 : 4;
    QByteArray message(static_cast<qsizetype>(kHeaderBytes + values * bytesPerSample), '\0');
    auto* out = reinterpret_cast<uint8_t*>(message.data());
    const uint32_t header[] = {0, client->rate, client->format, 0, 0, values, kTypeRxAudio, client->channels};
    for (size_t i = 0; i < std::size(header); ++i)
        put_u32(header[i], out + 4 * i);
    uint8_t* sample = out + kHeaderBytes;
    for (size_t f = 0; f < frames; ++f) {
        const float s = loop.empty() ? 0.0f : loop[client->position];
        client->position = loop.empty() ? 0 : (client->position + 1) % loop.size();
        for (uint32_t ch = 0; ch < client->channels; ++ch) {
            if (client->format == kFormatInt16) {
                const auto v = static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
                const auto u = static_cast<uint16_t>(v);
                sample[0] = static_cast<uint8_t>(u), sample[1] = static_cast<uint8_t>(u >> 8);
                sample += 2;
            } else {
                put_u32(std::bit_cast<uint32_t>(s), sample);
                sample += 4;
            }
        }
    }
    client->framesSent += frames;
    ++framesSent_;
    client->socket->sendBinaryMessage(message);
}

// The station's transmission and the gap after it, rendered once per rate.
const std::vector<float>& Radio::audio(uint32_t rate)
{
    for (const auto& [r, samples] : rendered_)
        if (r == rate)
            return samples;
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = station_.wpm;
    config.pitchHz = station_.pitchHz;
    config.sampleRateHz = rate;
    config.addNoise = true;
    config.snrDb = station_.snrDb;
    config.seed = 7;
    config.leadSeconds = 0.3;
    config.tailSeconds = station_.gapSeconds;
    std::vector<float> samples;
    std::string error;
    if (!morse_audio_generate(config, station_.text, &samples, nullptr, &error))
        samples.clear();  // silence: the tests then see no spot
    rendered_.emplace_back(rate, std::move(samples));
    return rendered_.back().second;
}

}  // namespace tci_test_radio
