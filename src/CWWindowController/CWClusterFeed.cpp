#include "CWClusterFeed.h"

#include "cw_cluster_server.h"

#include <QTimer>

CWClusterFeed::CWClusterFeed(std::function<void(const std::string&)> log)
    : log_(std::move(log)), timer_(std::make_unique<QTimer>())
{
    // Never waits in poll: the event loop stays free for the audio.
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { cw_cluster_server_poll(server_, 0); });
}

CWClusterFeed::~CWClusterFeed()
{
    stop();
}

void CWClusterFeed::stop()
{
    timer_->stop();
    cw_cluster_server_destroy(server_);
    server_ = nullptr;
}

void CWClusterFeed::start(int32_t port)
{
    stop();
    if (port <= 0)
        return;
    const CW_CLUSTER_SERVER_CONFIG config{
        .port = port, .bindAddress = "127.0.0.1", .maxClients = 0, .maxPendingBytes = 0, .nodeName = "ZARVO"};
    server_ = cw_cluster_server_create(&config);
    CW_CLUSTER_SERVER_STATUS status;
    cw_cluster_server_get_status(server_, &status);
    if (!status.listening) {
        log_("Cluster feed off: " + (status.error.empty() ? std::string("out of memory") : status.error));
        cw_cluster_server_destroy(server_);
        server_ = nullptr;
        return;
    }
    log_("Cluster feed: telnet 127.0.0.1 " + std::to_string(status.port));
    timer_->start(kCWClusterPollMs);
}

void CWClusterFeed::broadcast(const std::string& line)
{
    cw_cluster_server_broadcast(server_, line);
}

bool CWClusterFeed::listening() const
{
    return port() > 0;
}

int32_t CWClusterFeed::port() const
{
    CW_CLUSTER_SERVER_STATUS status;
    cw_cluster_server_get_status(server_, &status);
    return status.listening ? status.port : 0;
}
