#include "platform/UnixSocket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tarvo::platform;

namespace {

fs::path SocketPath(const char* name) {
    return fs::temp_directory_path() / ("tarvo-sock-" + std::to_string(::getpid()) + "-" + name);
}

int Connect(const fs::path& p) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, p.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

template <class F>
bool Eventually(F f) {
    for (int i = 0; i < 300; ++i) {
        if (f()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

}  // namespace

TEST(UnixSocketServer, BroadcastReachesAttachedClients) {
    const fs::path p = SocketPath("bcast");
    std::atomic<std::size_t> lastCount{0};
    std::error_code ec;
    auto server = UnixSocketServer::Start(p, {[&](std::size_t n) { lastCount = n; }, nullptr}, ec);
    ASSERT_TRUE(server) << ec.message();
    server->Broadcast("nobody hears this\r");  // no client: dropped silently
    const int fd = Connect(p);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Eventually([&] { return lastCount == 1; }));
    server->Broadcast("line one\r");
    server->Broadcast("line two\r");
    std::string got;
    ASSERT_TRUE(Eventually([&] {
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        return got.size() >= 18;
    }));
    EXPECT_EQ(got, "line one\rline two\r");
    ::close(fd);
    EXPECT_TRUE(Eventually([&] { return lastCount == 0; }));
}

TEST(UnixSocketServer, AClientThatDoesNotReadNeverBlocksTheSender) {
    const fs::path p = SocketPath("slow");
    std::error_code ec;
    auto server = UnixSocketServer::Start(p, {}, ec);
    ASSERT_TRUE(server);
    const int fd = Connect(p);  // never reads
    ASSERT_TRUE(Eventually([&] { return server->Clients() == 1; }));
    const std::string line(1000, 'x');
    for (int i = 0; i < 20000; ++i) server->Broadcast(line);  // 20 MB into a reader that sleeps
    EXPECT_GT(server->Dropped(), 0u);
    ::close(fd);
}

TEST(UnixSocketServer, ReceivesWhatClientsSendAndReplacesAStaleSocket) {
    const fs::path p = SocketPath("recv");
    std::error_code ec;
    {
        auto first = UnixSocketServer::Start(p, {}, ec);
        ASSERT_TRUE(first);
        // A live server is not pushed aside.
        EXPECT_FALSE(UnixSocketServer::Start(p, {}, ec));
        EXPECT_EQ(ec, std::errc::address_in_use);
    }
    // Left behind by a killed process: a socket file nobody listens on.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, p.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(stale);

    std::mutex m;
    std::string received;
    auto server = UnixSocketServer::Start(p, {nullptr, [&](std::string_view d) {
                                                  std::lock_guard lock(m);
                                                  received.append(d);
                                              }},
                                          ec);
    ASSERT_TRUE(server) << ec.message();
    EXPECT_TRUE(SendToUnixSocket(p, "activate\n"));
    EXPECT_TRUE(Eventually([&] {
        std::lock_guard lock(m);
        return received == "activate\n";
    }));
    server.reset();
    EXPECT_FALSE(fs::exists(p));
    EXPECT_FALSE(SendToUnixSocket(p, "x"));
}

TEST(FileLock, OneHolderAtATime) {
    const fs::path p = SocketPath("lock");
    std::error_code ec;
    auto a = FileLock::TryLock(p, ec);
    ASSERT_TRUE(a);
    EXPECT_FALSE(FileLock::TryLock(p, ec));
    EXPECT_EQ(ec, std::errc::device_or_resource_busy);
    a.reset();
    EXPECT_TRUE(FileLock::TryLock(p, ec));
    fs::remove(p);
}
