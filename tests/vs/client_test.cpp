// The visualization client end to end on loopback: a test viewer answers discovery, accepts the
// connection and records the exact byte stream.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "vs/tcp_client.hpp"

using namespace ZELK;
using namespace ZELK::VS;

namespace {

std::string u32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string f32(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return u32(bits);
}

std::string header(std::uint32_t type, const std::string& body) {
    return u32(type) + u32(static_cast<std::uint32_t>(body.size())) + body;
}

std::string text(const std::string& s) {
    return u32(static_cast<std::uint32_t>(s.size())) + s;
}

int boundSocket(int type, std::uint16_t& port) {
    int s = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

// Plays the viewer: answers the first query with a datagram of the wrong size, the second with
// its TCP address, then records everything the client sends until it disconnects.
struct TestViewer {
    std::uint16_t udpPort = 0, tcpPort = 0;
    int udp = -1, tcp = -1;
    std::string received;
    std::vector<std::uint16_t> queryPorts;
    std::thread thread;

    TestViewer() {
        udp = boundSocket(SOCK_DGRAM, udpPort);
        tcp = boundSocket(SOCK_STREAM, tcpPort);
        ::listen(tcp, 1);
        thread = std::thread([this] { run(); });
    }
    ~TestViewer() {
        if (thread.joinable())
            thread.join();
        ::close(udp);
        ::close(tcp);
    }

    void answer(const std::string& bytes) {
        std::uint8_t query[64];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            ::recvfrom(udp, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n == 2)
            queryPorts.push_back(static_cast<std::uint16_t>(query[0] | (query[1] << 8)));
        ::sendto(udp, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }

    void run() {
        answer(std::string(19, 'x'));
        auto target = IPTarget(127, 0, 0, 1, tcpPort).serialize();
        answer(std::string(reinterpret_cast<const char*>(target.data()), target.size()));
        pollfd ready{tcp, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0)
            return;
        int c = ::accept(tcp, nullptr, nullptr);
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(c, buffer, sizeof buffer, 0)) > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(c);
    }
};

} // namespace

TEST(VisualizationClient, StreamsFramedMessagesToADiscoveredViewer) {
    TestViewer viewer;
    Context root;
    DiscoveryConfig config;
    config.bind = IPTarget(127, 0, 0, 1, 0);
    config.broadcast = IPTarget(127, 0, 0, 1, viewer.udpPort);
    config.wait = std::chrono::milliseconds(5000);
    root.install(std::make_unique<TCPClient>(config));

    // The first answer has the wrong size: this message is dropped and discovery is retried.
    root.send(Visualize::Begin());

    Context a = root.child("A");
    const std::uint8_t grey[2] = {7, 250};
    a.sendGrey(grey, 2, 1);
    const float points[4] = {1.5f, 2.0f, -3.0f, 4.25f};
    a.sendPoints(points, 2, 2);
    {
        Context group = root.child("B").session();
        Visualize::Overlay overlay;
        overlay.add({{0.0f, 0.0f}, {1.0f, 2.0f}});
        group.sendOverlay(overlay);
    }
    Visualize::Overlay single;
    single.add({{5.0f, 6.0f}});
    a.sendOverlay(single);
    root.install(std::make_unique<DummyClient>()); // closes the connection
    viewer.thread.join();

    ASSERT_EQ(viewer.queryPorts.size(), 2u);
    EXPECT_NE(viewer.queryPorts[0], 0);

    const std::string image =
        "\"Channels\"=\"1\"\r\n\"Format\"=\"INTENSITY\"\r\n\"Height\"=\"1\"\r\n"
        "\"Line alignment\"=\"0\"\r\n\"Pixel alignment\"=\"0\"\r\n"
        "\"Type\"=\"8-bit unsigned little endian\"\r\n\"Width\"=\"2\"\r\n" +
        std::string(1, '\0') + u32(2) + "\x07\xFA";
    const std::string dataPoints = text("32-bit floating point little endian") + u32(2) + u32(2) +
                                   u32(16) + f32(1.5f) + f32(2.0f) + f32(-3.0f) + f32(4.25f);
    const std::string overlayB =
        u32(2) + f32(0) + f32(0) + f32(1) + f32(2) + u32(2) + u32(0) + u32(2);
    const std::string overlayA = u32(1) + f32(5) + f32(6) + u32(2) + u32(0) + u32(1);
    const std::string expected = header(3, text("A")) + header(5, image) + header(6, dataPoints) +
                                 header(3, text("B")) + header(1, "") + header(8, overlayB) +
                                 header(2, "") + header(3, text("A")) + header(8, overlayA);
    EXPECT_EQ(viewer.received, expected);
}

TEST(VisualizationClient, DummyClientBuildsNothingAndViewsFollowContextSwitches) {
    // A recording client shows which messages reach the sink.
    struct Recorder : Client {
        std::vector<std::uint32_t>* types;
        void send(const Message& m) override { types->push_back(m.type()); }
    };
    std::vector<std::uint32_t> types;
    Context root;
    EXPECT_FALSE(root.active());
    root.child("A").sendGrey(nullptr, 0xFFFFFFFF, 0xFFFFFFFF); // never touched while discarding
    auto recorder = std::make_unique<Recorder>();
    recorder->types = &types;
    root.install(std::move(recorder));
    Context a = root.child("A"), b = root.child("B");
    a.send(Visualize::Begin());
    a.send(Visualize::End());
    b.send(Visualize::Begin());
    a.send(Visualize::End());
    root.send(Visualize::End()); // the unnamed root never switches the view
    EXPECT_EQ(types, (std::vector<std::uint32_t>{3, 1, 2, 3, 1, 3, 2, 2}));
}

TEST(VisualizationClient, TargetsPrintAndSerialise) {
    IPTarget t(192, 168, 1, 20, 54115);
    EXPECT_TRUE(t.isIPv4Mapped());
    EXPECT_EQ(t.text(), "192.168.1.20:54115");
    auto bytes = t.serialize();
    EXPECT_EQ(bytes[10], 0xFF);
    EXPECT_EQ(bytes[15], 20);
    EXPECT_EQ(bytes[16], 54115 & 0xFF);
    EXPECT_EQ(IPTarget::deserialize(bytes.data()).text(), t.text());
    IPTarget v6;
    v6.address[15] = 1;
    EXPECT_FALSE(v6.isIPv4Mapped());
    EXPECT_EQ(connectTCP(v6), nullptr); // only IPv4-mapped targets are connected
}
