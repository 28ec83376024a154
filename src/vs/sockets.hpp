// Thin POSIX socket layer for the visualization client: IPv6-form addresses, a UDP
// transceiver for discovery and a TCP connection for the message stream.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace ZELK {

// A 16-byte IPv6 address (IPv4 held in the mapped form ::ffff:a.b.c.d) and a port.
struct IPTarget {
    static constexpr std::uint32_t serializedSize = 18;

    IPTarget() = default;
    IPTarget(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port);

    bool isIPv4Mapped() const;
    // "a.b.c.d:port" for mapped IPv4 addresses, "[hex groups]:port" otherwise.
    std::string text() const;

    // The 16 address bytes, then the port, little-endian.
    std::array<std::uint8_t, serializedSize> serialize() const;
    static IPTarget deserialize(const std::uint8_t* bytes);

    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;
};

// A UDP socket bound to a local address, optionally allowed to broadcast.
class UDPTransceiver {
public:
    UDPTransceiver(const IPTarget& local, bool broadcast);
    ~UDPTransceiver();
    UDPTransceiver(const UDPTransceiver&) = delete;
    UDPTransceiver& operator=(const UDPTransceiver&) = delete;

    void sendTo(const IPTarget& target, const std::uint8_t* data, std::size_t size);
    // Waits at most `wait` for one datagram. Returns its full size (which may exceed `capacity`,
    // the excess being dropped), or -1 when none arrived in time.
    long receive(std::uint8_t* data, std::size_t capacity, std::chrono::milliseconds wait,
                 IPTarget& sender);
    // The port actually bound (useful when binding port 0).
    std::uint16_t localPort() const;

private:
    int socket_ = -1;
};

// One established TCP connection.
class TCPConnection {
public:
    TCPConnection(int socket, std::string local, std::string remote)
        : socket_(socket), local_(std::move(local)), remote_(std::move(remote)) {}
    ~TCPConnection();
    TCPConnection(const TCPConnection&) = delete;
    TCPConnection& operator=(const TCPConnection&) = delete;

    // Writes every byte or raises; a peer that went away raises the connection errors instead
    // of a SIGPIPE.
    void write(const std::uint8_t* data, std::uint64_t size);
    bool usable() const { return usable_; }

private:
    int socket_;
    std::string local_, remote_;
    bool usable_ = true;
};

// Opens TCP connections to IPv4-mapped targets; anything else yields no connection.
std::unique_ptr<TCPConnection> connectTCP(const IPTarget& target);

} // namespace ZELK
