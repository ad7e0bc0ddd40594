// Local (Unix domain) stream sockets in the runtime folder.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvo::platform {

// A server on a socket path, run by one thread of its own. Clients are accepted,
// what they send is handed to onReceive, and Broadcast sends to all of them
// without ever blocking the caller: a client that does not read fast enough
// loses lines instead of slowing the program.
class UnixSocketServer {
  public:
    struct Handlers {
        std::function<void(std::size_t clients)> onClientsChanged;  // on the server thread
        std::function<void(std::string_view data)> onReceive;       // on the server thread
    };
    static constexpr std::size_t kClientBufferCap = 1 << 20;

    // Replaces a stale socket file of a process that is gone.
    static std::unique_ptr<UnixSocketServer> Start(const std::filesystem::path& path,
                                                   Handlers handlers, std::error_code& ec);
    ~UnixSocketServer();

    void Broadcast(std::string_view data);
    std::size_t Clients() const { return clients_.load(); }
    std::size_t Dropped() const { return dropped_.load(); }

  private:
    UnixSocketServer() = default;
    void Run();
    void Wake();

    std::filesystem::path path_;
    Handlers handlers_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> clients_{0};
    std::atomic<std::size_t> dropped_{0};
    std::mutex mutex_;
    std::string pending_;  // broadcast data not yet handed to the clients
};

// Connects to a socket path, sends data and closes; false when nobody listens.
bool SendToUnixSocket(const std::filesystem::path& path, std::string_view data);

// An exclusive lock on a file for the life of the object (flock).
class FileLock {
  public:
    // nullptr with errc::device_or_resource_busy when another process holds it.
    static std::unique_ptr<FileLock> TryLock(const std::filesystem::path& path,
                                             std::error_code& ec);
    ~FileLock();

  private:
    FileLock() = default;
    int fd_ = -1;
};

}  // namespace tarvo::platform
