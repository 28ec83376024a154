// The viewer client the application installs: finds a viewer by UDP broadcast and streams the
// messages of the visualization sink to it over TCP.
#pragma once

#include <chrono>
#include <memory>

#include "vs/sink.hpp"
#include "vs/sockets.hpp"

namespace ZELK::VS {

// Where the TCP client listens for the discovery answer, where it broadcasts the query, and how
// long it waits for an answer before dropping a message.
struct DiscoveryConfig {
    IPTarget bind{0, 0, 0, 0, 54115};
    IPTarget broadcast{255, 255, 255, 255, 54114};
    // Bounded so that a run without a viewer is not slowed down noticeably.
    std::chrono::milliseconds wait{30};
};

class TCPClient : public Client {
public:
    explicit TCPClient(const DiscoveryConfig& config = {});
    void send(const Message& message) override;
    bool connected() const { return connection_ != nullptr; }

private:
    void discover();

    DiscoveryConfig config_;
    UDPTransceiver udp_;
    bool hasTarget_ = false;
    IPTarget target_;
    std::unique_ptr<TCPConnection> connection_;
};

} // namespace ZELK::VS
