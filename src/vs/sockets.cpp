// POSIX implementation of the socket layer.
#include "vs/sockets.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "core/exceptions.hpp"

namespace ZELK {

namespace {

sockaddr_in toSockaddr(const IPTarget& target) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(target.port);
    std::memcpy(&address.sin_addr, target.address.data() + 12, 4);
    return address;
}

IPTarget fromSockaddr(const sockaddr_in& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.sin_addr);
    return IPTarget(bytes[0], bytes[1], bytes[2], bytes[3], ntohs(address.sin_port));
}

} // namespace

IPTarget::IPTarget(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                   std::uint16_t port)
    : port(port) {
    address[10] = 0xFF;
    address[11] = 0xFF;
    address[12] = a;
    address[13] = b;
    address[14] = c;
    address[15] = d;
}

bool IPTarget::isIPv4Mapped() const {
    for (int i = 0; i < 10; ++i)
        if (address[i] != 0)
            return false;
    return address[10] == 0xFF && address[11] == 0xFF;
}

std::string IPTarget::text() const {
    std::ostringstream out;
    if (isIPv4Mapped()) {
        out << int(address[12]) << '.' << int(address[13]) << '.' << int(address[14]) << '.'
            << int(address[15]);
    } else {
        out << '[' << std::hex;
        for (int i = 0; i < 16; i += 2)
            out << (i ? ":" : "") << ((address[i] << 8) | address[i + 1]);
        out << std::dec << ']';
    }
    out << ':' << port;
    return out.str();
}

std::array<std::uint8_t, IPTarget::serializedSize> IPTarget::serialize() const {
    std::array<std::uint8_t, serializedSize> bytes{};
    std::memcpy(bytes.data(), address.data(), 16);
    bytes[16] = static_cast<std::uint8_t>(port & 0xFF);
    bytes[17] = static_cast<std::uint8_t>(port >> 8);
    return bytes;
}

IPTarget IPTarget::deserialize(const std::uint8_t* bytes) {
    IPTarget target;
    std::memcpy(target.address.data(), bytes, 16);
    target.port = static_cast<std::uint16_t>(bytes[16] | (bytes[17] << 8));
    return target;
}

UDPTransceiver::UDPTransceiver(const IPTarget& local, bool broadcast) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (socket_ < 0)
        throw SocketException("Could not create UDP socket. ");
    int on = 1;
    if (broadcast && setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        ::close(socket_);
        throw SocketException("Could not enable broadcast on UDP socket. ");
    }
    sockaddr_in address = toSockaddr(local);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket_);
        throw SocketException("Could not bind UDP socket to " + local.text());
    }
}

UDPTransceiver::~UDPTransceiver() {
    if (socket_ >= 0)
        ::close(socket_);
}

void UDPTransceiver::sendTo(const IPTarget& target, const std::uint8_t* data, std::size_t size) {
    sockaddr_in address = toSockaddr(target);
    ssize_t sent = ::sendto(socket_, data, size, MSG_NOSIGNAL,
                            reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (sent < 0)
        throw SocketException("Failed to transmit data on socket to " + target.text());
    if (static_cast<std::size_t>(sent) != size)
        throw UDPIOException(target.text());
}

long UDPTransceiver::receive(std::uint8_t* data, std::size_t capacity,
                             std::chrono::milliseconds wait, IPTarget& sender) {
    pollfd ready{socket_, POLLIN, 0};
    int count = ::poll(&ready, 1, static_cast<int>(wait.count()));
    if (count == 0)
        return -1;
    if (count < 0)
        throw SocketException("Failed to recieve data on UDP socket. ");
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    // MSG_TRUNC reports the datagram's real size, so an oversized answer is recognised.
    ssize_t received = ::recvfrom(socket_, data, capacity, MSG_TRUNC,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0)
        throw SocketException("Failed to recieve data on UDP socket. ");
    if (fromLength != sizeof(sockaddr_in))
        throw UnexpectedValueException(std::to_string(fromLength), "an IPv4 address size");
    sender = fromSockaddr(*reinterpret_cast<const sockaddr_in*>(&from));
    return static_cast<long>(received);
}

std::uint16_t UDPTransceiver::localPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

TCPConnection::~TCPConnection() {
    ::close(socket_);
}

void TCPConnection::write(const std::uint8_t* data, std::uint64_t size) {
    if (size > 0xFFFFFFFFull)
        throw BoundException<unsigned long long>(size, 0xFFFFFFFFull);
    std::uint64_t done = 0;
    while (done < size) {
        ssize_t sent = ::send(socket_, data + done, size - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0) {
            usable_ = false;
            if (errno == EPIPE || errno == ECONNRESET)
                throw ConnectionClosedException();
            throw ConnectionIOException(local_, remote_);
        }
        if (sent == 0) {
            usable_ = false;
            throw ConnectionClosedException();
        }
        done += static_cast<std::uint64_t>(sent);
    }
}

std::unique_ptr<TCPConnection> connectTCP(const IPTarget& target) {
    if (!target.isIPv4Mapped())
        return nullptr;
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return nullptr;
    sockaddr_in address = toSockaddr(target);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return nullptr;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    std::string localText = "?";
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        localText = fromSockaddr(local).text();
    return std::make_unique<TCPConnection>(s, localText, target.text());
}

} // namespace ZELK
