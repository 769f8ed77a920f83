// The skimmer's DX-cluster feed for loggers: a telnet listener on the
// loopback address, polled from the event loop. A port that cannot be had
// is one line in the log; everything else goes on without the feed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;
struct CW_CLUSTER_SERVER;

constexpr int32_t kCWClusterDefaultPort = 7300;
constexpr const char* kCWClusterPortKey = "ZarvoClusterPort";  // 0: no feed
constexpr int kCWClusterPollMs = 100;

class CWClusterFeed {
public:
    explicit CWClusterFeed(std::function<void(const std::string&)> log);
    ~CWClusterFeed();
    CWClusterFeed(const CWClusterFeed&) = delete;
    CWClusterFeed& operator=(const CWClusterFeed&) = delete;

    // Listens on 127.0.0.1:port (0: stops the feed). Logs where it listens
    // or why it cannot.
    void start(int32_t port);
    void broadcast(const std::string& line);
    bool listening() const;
    int32_t port() const;  // bound, 0 when not listening

private:
    void stop();

    std::function<void(const std::string&)> log_;
    CW_CLUSTER_SERVER* server_ = nullptr;
    std::unique_ptr<QTimer> timer_;
};
