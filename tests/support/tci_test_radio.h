// A TCI server for tests that is not the bundled simulator: a two-receiver
// radio that greets the way a real one does (panorama centres, IF offsets,
// VFO A and B of receiver 0 and the dial of receiver 1, in its own order),
// streams receive audio in the binary layout of the protocol (built here,
// not by the simulator's code), answers queries and records every command a
// client sends. Its receiver 0 hears one generated CW station.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tci_test_radio {

// Receiver 0: panorama centre, IF of channel 0, its dial (VFO A) and VFO B;
// receiver 1 on another band. Only VFO A is the radio's frequency.
constexpr double kDdsHz = 14000000.0;
constexpr double kVfoHz = 14025000.0;
constexpr double kVfoBHz = 14031000.0;
constexpr double kSecondDdsHz = 7000000.0;
constexpr double kSecondVfoHz = 7012000.0;
// In CW the dial is where a carrier heard at this pitch is.
constexpr double kCwPitchHz = 600.0;

struct STATION {
    std::string text = "CQ CQ DE DL2QZA DL2QZA K";
    double wpm = 24.0;
    double pitchHz = 750.0;  // as heard in the receive audio
    double snrDb = 20.0;
    double gapSeconds = 1.0;  // silence between repeats
};

// The station's carrier on the air: heard at pitchHz in upper-sideband CW.
inline double station_radio_hz(const STATION& station)
{
    return kVfoHz + station.pitchHz - kCwPitchHz;
}

// Some servers report only the panorama centre, no dial.
enum class DIAL { Vfo, DdsOnly };

class Radio {
public:
    explicit Radio(STATION station = {}, DIAL dial = DIAL::Vfo);
    ~Radio();
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;

    // Listens on 127.0.0.1 at a free port.
    bool listen(std::string* error);
    uint16_t port() const;
    std::string url() const;  // "ws://127.0.0.1:PORT"

    // Every text command received, trimmed, with its ';', in order.
    const std::vector<std::string>& received() const { return received_; }
    // Those whose name (before ':' or ';') is `name`, in any case.
    std::vector<std::string> received(const std::string& name) const;
    size_t clientCount() const;  // connected now
    bool streaming() const;
    uint64_t framesSent() const { return framesSent_; }

private:
    struct Client;

    void accept();
    void greet(Client* client);
    void onText(Client* client, const QString& message);
    void answer(Client* client, const std::string& command);
    void send(Client* client, const std::string& text);
    void tick();
    void sendFrame(Client* client, size_t frames);
    const std::vector<float>& audio(uint32_t rate);

    STATION station_;
    DIAL dial_;
    QWebSocketServer server_;
    QTimer pace_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<std::string> received_;
    std::vector<std::pair<uint32_t, std::vector<float>>> rendered_;  // the station's loop at each rate asked
    uint64_t framesSent_ = 0;
};

}  // namespace tci_test_radio
