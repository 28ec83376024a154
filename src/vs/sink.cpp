// Contexts and sessions of the visualization sink.
#include "vs/sink.hpp"

#include "core/checked.hpp"

namespace ZELK::VS {

struct State {
    std::unique_ptr<Client> client = std::make_unique<DummyClient>();
    std::string currentView;
};

// Ends a group when the last context that carries it is released.
class Session {
public:
    explicit Session(Context context) : context_(std::move(context)) {}
    ~Session() {
        // A destructor must not throw; a viewer that vanished mid-group only loses the End.
        try {
            context_.send(Visualize::End());
        } catch (...) {
        }
    }

private:
    Context context_;
};

Context::Context() : state_(std::make_shared<State>()) {}

Context Context::child(const std::string& name) const {
    Context c;
    c.state_ = state_;
    c.name_ = name;
    return c;
}

void Context::install(std::unique_ptr<Client> client) {
    state_->client = std::move(client);
}

bool Context::active() const {
    return !state_->client->discards();
}

Context Context::session() const {
    Context c = child(name_);
    c.send(Visualize::Begin());
    c.session_ = std::make_shared<Session>(child(name_));
    return c;
}

void Context::send(const Message& message) const {
    if (!name_.empty() && name_ != state_->currentView) {
        state_->client->send(Visualize::View(name_));
        state_->currentView = name_;
    }
    state_->client->send(message);
}

void Context::sendImage(const Buffer& data, const Migration::ImageMetadata& meta) const {
    if (!active())
        return;
    send(Visualize::Image(data, meta));
}

void Context::sendGrey(const std::uint8_t* samples, std::uint32_t width,
                       std::uint32_t height) const {
    if (!active())
        return;
    Migration::ImageMetadata meta;
    meta.width = width;
    meta.height = height;
    meta.channels = 1;
    meta.type = Migration::unsigned8();
    BorrowConstBuffer data(samples, checkedU32(checkedMul(width, height)));
    send(Visualize::Image(data, meta));
}

void Context::sendPoints(const float* values, std::uint32_t count, std::uint32_t channels) const {
    if (!active())
        return;
    send(Visualize::DataPoints(values, count, channels));
}

} // namespace ZELK::VS
