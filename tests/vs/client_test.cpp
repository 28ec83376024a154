// The visualization client end to end on loopback: a test viewer answers discovery, accepts the
// connection and records the exact byte stream.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <thread>

#include "vs/tcp_client.hpp"

using namespace ZELK;
using namespace ZELK::VS;

TEST(VisualizationClient, StreamsFramedMessagesToADiscoveredViewer) {
    // Little-endian words as on this host: numbers, float bits, length-prefixed texts, messages.
    auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto f32 = [&](float f) { return u32(std::bit_cast<std::uint32_t>(f)); };
    auto text = [&](const std::string& s) { return u32(std::uint32_t(s.size())) + s; };
    auto message = [&](std::uint32_t type, const std::string& b) { return u32(type) + text(b); };
    const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(tcp, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(tcp, 1);
    UDPTransceiver udp(IPTarget(127, 0, 0, 1, 0), false);
    std::string received, queries;
    // Answers a query (the client's port) with a wrong-size datagram, the next with its address.
    std::thread viewer([&] {
        const auto target = IPTarget(127, 0, 0, 1, ntohs(address.sin_port)).serialize();
        for (const std::string& answer :
             {std::string(19, 'x'), std::string(target.begin(), target.end())}) {
            std::uint8_t query[64];
            IPTarget from;
            udp.receive(query, 64, std::chrono::seconds(5), from);
            queries += (query[0] | query[1] << 8) == from.port ? "port " : "? ";
            udp.sendTo(from, reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
        }
        pollfd ready{tcp, POLLIN, 0};
        const int c = ::poll(&ready, 1, 5000) > 0 ? ::accept(tcp, nullptr, nullptr) : -1;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(c), ::close(tcp);
    });

    Context root;
    root.install(std::make_unique<TCPClient>(
        DiscoveryConfig{IPTarget(127, 0, 0, 1, 0), IPTarget(127, 0, 0, 1, udp.localPort()),
                        std::chrono::seconds(5)}));
    root.send(Visualize::Begin()); // meets the wrong-size answer: dropped, discovery retried
    root.child("A").sendGrey(std::array<std::uint8_t, 2>{7, 250}.data(), 2, 1);
    root.child("A").sendPoints(std::array{1.5f, -3.0f}.data(), 1, 2);
    Visualize::Overlay overlay;
    overlay.add({{0.0f, 0.0f}, {1.0f, 2.0f}});
    root.child("B").session().sendOverlay(overlay); // a session: begun and ended around it
    root.child("A").send(Visualize::End());
    root.install(std::make_unique<DummyClient>()); // closes the connection
    viewer.join();

    EXPECT_EQ(queries, "port port ");
    const std::string image =
        "\"Channels\"=\"1\"\r\n\"Format\"=\"INTENSITY\"\r\n\"Height\"=\"1\"\r\n"
        "\"Line alignment\"=\"0\"\r\n\"Pixel alignment\"=\"0\"\r\n\"Type\"=\"8-bit "
        "unsigned little endian\"\r\n\"Width\"=\"2\"\r\n" +
        std::string(1, '\0') + u32(2) + "\x07\xFA";
    const std::string dataPoints = text("32-bit floating point little endian") + u32(1) + u32(2) +
                                   u32(8) + f32(1.5f) + f32(-3.0f);
    const std::string lines = u32(2) + f32(0) + f32(0) + f32(1) + f32(2) + u32(2) + u32(0) + u32(2);
    EXPECT_EQ(received, message(3, text("A")) + message(5, image) + message(6, dataPoints) +
                            message(3, text("B")) + message(1, "") + message(8, lines) +
                            message(2, "") + message(3, text("A")) + message(2, ""));
}
