// TCP client and listener with bounded waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/Event.h"

namespace tarvo::platform {

// The outcome of one read or write on a socket.
struct TcpIo {
    enum class Status : std::uint8_t {
        Ok,      // count bytes moved; fewer than asked for means a time-out
        Closed,  // the peer closed the connection (or reset it)
        Error,   // any other failure; see `error`
    };
    Status status = Status::Error;
    std::size_t count = 0;
    int error = 0;  // errno of the failure

    bool Ok() const { return status == Status::Ok; }
};

// One connected TCP stream. One thread reads; writes may come from several
// threads when the caller serialises them.
class TcpStream {
  public:
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Resolves host (a name or an address; "" is the loopback) and connects
    // within `timeout`. Null with a message in `error` on failure.
    static std::unique_ptr<TcpStream> Connect(const std::string& host, std::uint16_t port,
                                              std::chrono::milliseconds timeout,
                                              std::string& error);

    // Waits at most `timeout` for the first byte, then takes what is there (up
    // to count) without waiting further. Ok with 0 bytes on time-out.
    TcpIo ReadSome(std::uint8_t* buffer, std::size_t count, std::chrono::milliseconds timeout);
    // Reads exactly count bytes unless `timeout` passes first (Ok, fewer bytes).
    TcpIo ReadExact(std::uint8_t* buffer, std::size_t count, std::chrono::milliseconds timeout);
    // Writes everything within `timeout`; a peer that does not read makes it
    // end with fewer bytes (Ok, count short) instead of blocking for ever.
    TcpIo Write(const std::uint8_t* buffer, std::size_t count, std::chrono::milliseconds timeout);
    // Sleeps until there is something to read (data, the end or an error), one
    // of the events is set or a message waits in `messages`; see WaitAnyOrReadable.
    ReadableWaitResult WaitReadable(std::span<Event* const> events,
                                    std::chrono::milliseconds timeout,
                                    ThreadMessageQueue* messages = nullptr);
    // Ends the connection; reads and writes then fail.
    void Shutdown();

  private:
    friend class TcpListener;
    explicit TcpStream(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// A listening socket on the loopback interface (for tests and simulators).
class TcpListener {
  public:
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Port 0 picks a free port; see Port().
    static std::unique_ptr<TcpListener> Listen(std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return port_; }
    // Waits at most `timeout` for a client; null on time-out or failure.
    std::unique_ptr<TcpStream> Accept(std::chrono::milliseconds timeout);

  private:
    TcpListener() = default;
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace tarvo::platform
