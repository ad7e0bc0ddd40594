#include "platform/TcpSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace tarvo::platform;
using Status = TcpIo::Status;
using Clock = std::chrono::steady_clock;

namespace {

// Far longer than any wait here should take, so slow machines do not fail.
constexpr auto kLong = 10s;

struct Pair {
    std::unique_ptr<TcpListener> listener;
    std::unique_ptr<TcpStream> client;
    std::unique_ptr<TcpStream> server;
};

Pair Connected(const std::string& host = "127.0.0.1") {
    Pair p;
    std::string error;
    p.listener = TcpListener::Listen(0, error);
    EXPECT_TRUE(p.listener) << error;
    if (!p.listener) return p;
    p.client = TcpStream::Connect(host, p.listener->Port(), kLong, error);
    EXPECT_TRUE(p.client) << error;
    EXPECT_TRUE(error.empty()) << error;
    p.server = p.listener->Accept(kLong);
    EXPECT_TRUE(p.server);
    return p;
}

bool WriteAll(TcpStream& s, const std::vector<std::uint8_t>& data) {
    const TcpIo io = s.Write(data.data(), data.size(), kLong);
    return io.Ok() && io.count == data.size();
}

std::uint16_t ClosedPort() {
    std::string error;
    auto l = TcpListener::Listen(0, error);
    EXPECT_TRUE(l) << error;
    return l ? l->Port() : 0;
}

}  // namespace

TEST(TcpListener, PortZeroPicksAFreePortAndATakenPortFailsWithAMessage) {
    std::string error;
    auto first = TcpListener::Listen(0, error);
    ASSERT_TRUE(first) << error;
    EXPECT_NE(first->Port(), 0);
    auto second = TcpListener::Listen(first->Port(), error);
    EXPECT_FALSE(second);
    EXPECT_NE(error.find(std::to_string(first->Port())), std::string::npos) << error;
}

TEST(TcpListener, AcceptTimesOutWithNull) {
    std::string error;
    auto l = TcpListener::Listen(0, error);
    ASSERT_TRUE(l) << error;
    const auto start = Clock::now();
    EXPECT_FALSE(l->Accept(100ms));
    EXPECT_GE(Clock::now() - start, 100ms);
    EXPECT_FALSE(l->Accept(0ms));
}

// Every spelling of the loopback reaches a listener on 127.0.0.1, even when
// the name resolves to ::1 first: each address is tried in turn.
class TcpLoopbackNames : public testing::TestWithParam<const char*> {};

TEST_P(TcpLoopbackNames, AllByteValuesRoundTripBothWays) {
    Pair p = Connected(GetParam());
    ASSERT_TRUE(p.client && p.server);
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    for (auto [from, to] :
         {std::pair{p.client.get(), p.server.get()}, std::pair{p.server.get(), p.client.get()}}) {
        ASSERT_TRUE(WriteAll(*from, all));
        std::vector<std::uint8_t> got(all.size());
        const TcpIo io = to->ReadExact(got.data(), got.size(), kLong);
        ASSERT_TRUE(io.Ok());
        ASSERT_EQ(io.count, all.size());
        EXPECT_EQ(got, all);
    }
}

INSTANTIATE_TEST_SUITE_P(TcpHosts, TcpLoopbackNames, testing::Values("", "127.0.0.1", "localhost"));

TEST(TcpStream, ReadExactCollectsBytesWrittenOneAtATime) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    constexpr std::size_t kCount = 40;
    std::thread writer([&] {
        for (std::size_t i = 0; i < kCount; ++i) {
            const std::uint8_t b = static_cast<std::uint8_t>(i * 7);
            if (!p.client->Write(&b, 1, kLong).Ok()) return;
            std::this_thread::sleep_for(3ms);
        }
    });
    std::vector<std::uint8_t> got(kCount);
    const TcpIo io = p.server->ReadExact(got.data(), got.size(), kLong);
    writer.join();
    ASSERT_TRUE(io.Ok());
    ASSERT_EQ(io.count, kCount);
    for (std::size_t i = 0; i < kCount; ++i) EXPECT_EQ(got[i], static_cast<std::uint8_t>(i * 7));
}

TEST(TcpStream, ReadSomeTakesWhatIsThereWithoutWaitingForMore) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    ASSERT_TRUE(WriteAll(*p.client, {1, 2, 3, 4, 5}));
    std::uint8_t buf[100] = {};
    const auto start = Clock::now();
    const TcpIo io = p.server->ReadSome(buf, sizeof buf, kLong);
    // Waiting for the whole buffer would take the full time-out.
    EXPECT_LT(Clock::now() - start, kLong / 2);
    ASSERT_TRUE(io.Ok());
    ASSERT_EQ(io.count, 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 5), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
}

TEST(TcpStream, ReadTimeOutIsOkWithWhatArrived) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    std::uint8_t buf[10] = {};
    TcpIo io = p.server->ReadSome(buf, sizeof buf, 50ms);
    EXPECT_EQ(io.status, Status::Ok);
    EXPECT_EQ(io.count, 0u);
    io = p.server->ReadSome(buf, sizeof buf, 0ms);
    EXPECT_EQ(io.status, Status::Ok);
    EXPECT_EQ(io.count, 0u);

    ASSERT_TRUE(WriteAll(*p.client, {9, 8, 7}));
    io = p.server->ReadExact(buf, sizeof buf, 200ms);
    EXPECT_EQ(io.status, Status::Ok);
    EXPECT_EQ(io.count, 3u);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(buf[2], 7);
}

// The bytes sent before the close still arrive; only then does the read say Closed.
struct CloseCase {
    const char* name;
    bool exact;
};

class TcpPeerClose : public testing::TestWithParam<CloseCase> {};

TEST_P(TcpPeerClose, DataFirstThenClosed) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    ASSERT_TRUE(WriteAll(*p.client, {0xAA, 0xBB, 0xCC, 0xDD}));
    p.client.reset();
    std::uint8_t buf[10] = {};
    if (GetParam().exact) {
        const TcpIo io = p.server->ReadExact(buf, sizeof buf, kLong);
        EXPECT_EQ(io.status, Status::Closed);
        EXPECT_EQ(io.count, 4u);
    } else {
        std::size_t got = 0;
        TcpIo io;
        do {
            io = p.server->ReadSome(buf + got, sizeof buf - got, kLong);
            got += io.count;
        } while (io.Ok() && io.count > 0);
        EXPECT_EQ(io.status, Status::Closed);
        EXPECT_EQ(got, 4u);
        // Closed stays closed rather than turning into a time-out.
        EXPECT_EQ(p.server->ReadSome(buf, sizeof buf, kLong).status, Status::Closed);
    }
    EXPECT_EQ(buf[0], 0xAA);
    EXPECT_EQ(buf[3], 0xDD);
}

INSTANTIATE_TEST_SUITE_P(TcpReads, TcpPeerClose,
                         testing::Values(CloseCase{"ReadSome", false},
                                         CloseCase{"ReadExact", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TcpStream, WriteAfterPeerCloseEndsClosedWithoutSignal) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    p.server.reset();
    // The first writes may still be taken by the kernel; the peer's reset ends it.
    const std::uint8_t b = 0x55;
    TcpIo io;
    for (int i = 0; i < 500; ++i) {
        io = p.client->Write(&b, 1, 100ms);
        if (!io.Ok()) break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(io.status, Status::Closed);
}

TEST(TcpStream, WriteToAPeerThatDoesNotReadEndsShortWithinTheTimeOut) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    // Larger than loopback send and receive buffers together.
    std::vector<std::uint8_t> big(64u << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i % 251);
    const auto start = Clock::now();
    const TcpIo io = p.client->Write(big.data(), big.size(), 300ms);
    EXPECT_LT(Clock::now() - start, kLong);
    ASSERT_EQ(io.status, Status::Ok);
    ASSERT_GT(io.count, 0u);
    ASSERT_LT(io.count, big.size());

    // The count is exactly what went out: that many bytes arrive, and no more.
    std::vector<std::uint8_t> got(io.count);
    const TcpIo r = p.server->ReadExact(got.data(), got.size(), kLong);
    ASSERT_TRUE(r.Ok());
    ASSERT_EQ(r.count, io.count);
    EXPECT_EQ(std::memcmp(got.data(), big.data(), got.size()), 0);
    std::uint8_t extra = 0;
    EXPECT_EQ(p.server->ReadSome(&extra, 1, 50ms).count, 0u);
}

TEST(TcpStream, ShutdownEndsReadsAndWritesOnBothSides) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    p.client->Shutdown();
    std::uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_FALSE(p.client->ReadSome(buf, sizeof buf, kLong).Ok());
    EXPECT_FALSE(p.client->ReadExact(buf, sizeof buf, kLong).Ok());
    EXPECT_FALSE(p.client->Write(buf, sizeof buf, kLong).Ok());
    EXPECT_EQ(p.server->ReadSome(buf, sizeof buf, kLong).status, Status::Closed);
}

TEST(TcpStream, ShutdownFromAnotherThreadWakesAWaitingReader) {
    Pair p = Connected();
    ASSERT_TRUE(p.client && p.server);
    TcpIo io;
    std::thread reader([&] {
        std::uint8_t buf[8];
        io = p.server->ReadSome(buf, sizeof buf, 60s);
    });
    std::this_thread::sleep_for(50ms);
    p.server->Shutdown();
    reader.join();  // hangs for a minute if the reader was not woken
    EXPECT_EQ(io.status, Status::Closed);
}

struct RefusedCase {
    const char* name;
    std::string host;
};

class TcpConnectRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(TcpConnectRefused, NullWithHostPortAndReason) {
    const std::uint16_t port = ClosedPort();
    ASSERT_NE(port, 0);
    std::string error;
    auto s = TcpStream::Connect(GetParam().host, port, kLong, error);
    EXPECT_FALSE(s);
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
    EXPECT_NE(error.find(std::strerror(ECONNREFUSED)), std::string::npos) << error;
    if (!GetParam().host.empty()) {
        EXPECT_NE(error.find(GetParam().host), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(TcpHosts, TcpConnectRefused,
                         testing::Values(RefusedCase{"Loopback", ""},
                                         RefusedCase{"Ipv4", "127.0.0.1"},
                                         RefusedCase{"Name", "localhost"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TcpStream, ConnectToAnUnknownHostNameGivesAMessage) {
    // The .invalid top-level domain never resolves.
    const std::string host = "no-such-host.invalid";
    std::string error;
    auto s = TcpStream::Connect(host, 8000, kLong, error);
    EXPECT_FALSE(s);
    EXPECT_NE(error.find(host), std::string::npos) << error;
    EXPECT_NE(error.find("8000"), std::string::npos) << error;
    EXPECT_GT(error.size(), host.size() + 10) << error;  // a reason, not just the name
}

namespace {

// One sleep for a socket, its thread's events and its message queue.
TEST(TcpWaitReadable, WakesForDataEventsMessagesAndTheEnd) {
    Pair p = Connected();
    ASSERT_TRUE(p.server);
    Event stop(Event::Auto);
    ThreadMessageQueue queue;
    Event* events[] = {&stop};

    ReadableWaitResult r = p.client->WaitReadable(events, 20ms, &queue);
    EXPECT_FALSE(r.readable);
    EXPECT_EQ(r.wait.kind, WaitResult::Kind::Timeout);

    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        stop.Set();
    });
    r = p.client->WaitReadable(events, kInfinite, &queue);
    setter.join();
    EXPECT_TRUE(r.wait.Signalled(0));
    EXPECT_FALSE(stop.IsSet());  // consumed, as WaitAny does

    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        queue.Post(7);
    });
    r = p.client->WaitReadable(events, kInfinite, &queue);
    poster.join();
    EXPECT_EQ(r.wait.kind, WaitResult::Kind::Message);
    queue.TryGet();

    // An event set together with data comes first; the data is still there.
    ASSERT_TRUE(WriteAll(*p.server, {1, 2, 3}));
    stop.Set();
    r = p.client->WaitReadable(events, kLong, &queue);
    EXPECT_TRUE(r.wait.Signalled(0));
    r = p.client->WaitReadable(events, kLong, &queue);
    EXPECT_TRUE(r.readable);
    std::uint8_t buffer[8];
    EXPECT_EQ(p.client->ReadSome(buffer, sizeof buffer, 0ms).count, 3u);

    p.server->Shutdown();
    r = p.client->WaitReadable(events, kLong, &queue);
    EXPECT_TRUE(r.readable);
    EXPECT_EQ(p.client->ReadSome(buffer, sizeof buffer, 0ms).status, Status::Closed);

    EXPECT_EQ(WaitAnyOrReadable(-1, events, 0ms).wait.kind, WaitResult::Kind::Failed);
}

}  // namespace
