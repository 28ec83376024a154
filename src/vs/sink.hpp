// The visualization sink that algorithms publish to: named contexts over a client, and the
// client that discards everything. The TCP client that reaches a viewer is in tcp_client.hpp.
#pragma once

#include <memory>
#include <string>

#include "vs/messages.hpp"

namespace ZELK::VS {

class Client {
public:
    virtual ~Client() = default;
    virtual void send(const Message& message) = 0;
    // True when everything sent is dropped, so callers can skip building messages.
    virtual bool discards() const { return false; }
};

// The default sink: no socket is ever opened and every send returns at once.
class DummyClient : public Client {
public:
    void send(const Message&) override {}
    bool discards() const override { return true; }
};

struct State;
class Session;

// The handle stages hold: a view name over a client shared by all contexts of one run.
class Context {
public:
    // A root context with an empty name over a DummyClient.
    Context();
    Context child(const std::string& name) const;
    // Replaces (and destroys) the client of every context sharing this one's state.
    void install(std::unique_ptr<Client> client);
    // Opens a group: sends Begin now and End when the last copy of the returned context goes.
    Context session() const;

    const std::string& name() const { return name_; }
    bool active() const;

    // Sends a message, preceded by a View message when this context's view is not current.
    void send(const Message& message) const;
    // Convenience senders; they build nothing while the client discards.
    void sendImage(const Buffer& data, const Migration::ImageMetadata& meta) const;
    void sendGrey(const std::uint8_t* samples, std::uint32_t width, std::uint32_t height) const;
    void sendPoints(const float* values, std::uint32_t count, std::uint32_t channels) const;
    void sendOverlay(const Visualize::Overlay& overlay) const { send(overlay); }

private:
    std::shared_ptr<State> state_;
    std::string name_;
    std::shared_ptr<Session> session_;
};

} // namespace ZELK::VS
