// The TCP client with its discovery.
#include "vs/tcp_client.hpp"

namespace ZELK::VS {

TCPClient::TCPClient(const DiscoveryConfig& config) : config_(config), udp_(config.bind, true) {}

void TCPClient::discover() {
    const std::uint16_t answerPort = udp_.localPort();
    const std::uint8_t query[2] = {static_cast<std::uint8_t>(answerPort & 0xFF),
                                   static_cast<std::uint8_t>(answerPort >> 8)};
    udp_.sendTo(config_.broadcast, query, sizeof query);
    std::uint8_t answer[IPTarget::serializedSize];
    IPTarget sender;
    long size = udp_.receive(answer, sizeof answer, config_.wait, sender);
    // Only an answer of exactly the serialised target's size is a viewer's.
    if (size == IPTarget::serializedSize) {
        target_ = IPTarget::deserialize(answer);
        hasTarget_ = true;
    }
}

void TCPClient::send(const Message& message) {
    if (connection_ && !connection_->usable())
        connection_.reset();
    if (!connection_) {
        hasTarget_ = false;
        discover();
        if (hasTarget_)
            connection_ = connectTCP(target_);
    }
    if (!connection_)
        return;
    IncrementalBuffer bytes;
    BufferStream out(bytes);
    Chunk::Header header;
    header.type = message.type();
    header.write(out);
    message.writeBody(out);
    const std::uint32_t bodySize = bytes.size() - 8;
    out.setPosition(4);
    Wire::u32(out, bodySize);
    connection_->write(bytes.data(), bytes.size());
}

} // namespace ZELK::VS
