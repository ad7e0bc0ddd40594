// TCP streams on loopback: bytes, time-outs, a peer that goes or stops reading.
#include "platform/TcpSocket.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace tarvo::platform;
using namespace std::chrono_literals;

struct Pair {
    std::unique_ptr<TcpListener> listener;
    std::unique_ptr<TcpStream> client, server;
};

Pair Connected() {
    Pair p;
    std::string error;
    p.listener = TcpListener::Listen(0, error);
    EXPECT_TRUE(p.listener) << error;
    if (!p.listener) return p;
    p.client = TcpStream::Connect("127.0.0.1", p.listener->Port(), 2s, error);
    EXPECT_TRUE(p.client) << error;
    p.server = p.listener->Accept(2s);
    EXPECT_TRUE(p.server);
    return p;
}

TEST(TcpSocket, EveryByteArrivesAndReadsWaitOnlyAsTold) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    auto w = p.client->Write(reinterpret_cast<const std::uint8_t*>(all.data()), all.size(), 1s);
    ASSERT_TRUE(w.Ok());
    EXPECT_EQ(w.count, all.size());
    std::string got(256, '\0');
    auto r = p.server->ReadExact(reinterpret_cast<std::uint8_t*>(got.data()), got.size(), 2s);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.count, 256u);
    EXPECT_EQ(got, all);

    // What is there comes at once; nothing there is a time-out, not a failure.
    const std::uint8_t three[3] = {1, 2, 3};
    p.client->Write(three, 3, 1s);
    std::uint8_t buffer[64];
    r = p.server->ReadSome(buffer, sizeof buffer, 2s);
    ASSERT_TRUE(r.Ok());
    EXPECT_GE(r.count, 1u);
    if (r.count < 3) p.server->ReadExact(buffer + r.count, 3 - r.count, 2s);
    r = p.server->ReadSome(buffer, sizeof buffer, 50ms);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.count, 0u);

    // Bytes one by one with pauses still make one exact read.
    std::thread slow([&] {
        for (std::uint8_t b = 0; b < 5; ++b) {
            p.client->Write(&b, 1, 1s);
            std::this_thread::sleep_for(20ms);
        }
    });
    r = p.server->ReadExact(buffer, 5, 5s);
    slow.join();
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.count, 5u);
    EXPECT_EQ(buffer[4], 4);
}

TEST(TcpSocket, APeerThatGoesIsClosedNotATimeOut) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    p.server.reset();
    std::uint8_t buffer[8];
    EXPECT_EQ(p.client->ReadSome(buffer, sizeof buffer, 2s).status, TcpIo::Status::Closed);
    EXPECT_EQ(p.client->ReadExact(buffer, sizeof buffer, 2s).status, TcpIo::Status::Closed);
    // Writes fail once the peer's reset came back.
    const std::string data(1024, 'x');
    TcpIo w;
    for (int i = 0; i < 50; ++i) {
        w = p.client->Write(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 1s);
        if (!w.Ok()) break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(w.status, TcpIo::Status::Closed);
}

TEST(TcpSocket, AWriterIsNeverStuckOnAPeerThatDoesNotRead) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    const std::string big(64 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    const TcpIo w =
        p.client->Write(reinterpret_cast<const std::uint8_t*>(big.data()), big.size(), 300ms);
    EXPECT_TRUE(w.Ok());
    EXPECT_LT(w.count, big.size());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "bounded by its time-out";
}

TEST(TcpSocket, ConnectFailuresSayWhy) {
    std::uint16_t port;
    {
        std::string error;
        auto l = TcpListener::Listen(0, error);
        ASSERT_TRUE(l);
        port = l->Port();
        EXPECT_FALSE(l->Accept(20ms)) << "no client: a time-out";
    }
    std::string error;
    EXPECT_FALSE(TcpStream::Connect("127.0.0.1", port, 2s, error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(TcpStream::Connect("no-such-host.invalid", 8000, 2s, error));
    EXPECT_NE(error.find("no-such-host.invalid"), std::string::npos) << error;
}

}  // namespace
