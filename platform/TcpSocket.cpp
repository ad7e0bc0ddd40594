#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tarvo::platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Clock::time_point Deadline(milliseconds timeout) {
    return Clock::now() + std::max(timeout, milliseconds(0));
}

// Rounded up, so that a poll that times out has really reached the deadline.
int MsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
}

TcpIo Done(TcpIo::Status status, std::size_t count, int error = 0) {
    TcpIo io;
    io.status = status;
    io.count = count;
    io.error = error;
    return io;
}

// What the kernel reports once the peer (or our own Shutdown) ended the stream.
bool IsClosedErrno(int e) {
    return e == ECONNRESET || e == EPIPE || e == ENOTCONN || e == ESHUTDOWN;
}

TcpIo Failed(std::size_t count, int e) {
    return Done(IsClosedErrno(e) ? TcpIo::Status::Closed : TcpIo::Status::Error, count, e);
}

// 1 ready (revents set), 0 time-out, -1 failure (errno set).
int WaitFor(int fd, short events, Clock::time_point deadline, short& revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, MsUntil(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r;
        revents = p.revents;
        return 1;
    }
}

void NoDelay(int fd) {
    const int one = 1;
    // Only latency suffers without it, so a failure is not worth reporting.
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

std::string Where(const std::string& host, std::uint16_t port) {
    const std::string name = host.empty() ? std::string("localhost") : host;
    const bool v6 = name.find(':') != std::string::npos;
    return (v6 ? "[" + name + "]" : name) + ":" + std::to_string(port);
}

std::string Reason(const std::string& where, const char* what, const char* why) {
    return where + ": " + what + " (" + why + ")";
}

// One non-blocking connect to one address; 0 or the errno of the failure.
int ConnectOne(int fd, const addrinfo& a, Clock::time_point deadline) {
    if (::connect(fd, a.ai_addr, a.ai_addrlen) == 0) return 0;
    // A connect interrupted by a signal goes on in the background, like EINPROGRESS.
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    short revents = 0;
    const int w = WaitFor(fd, POLLOUT, deadline, revents);
    if (w < 0) return errno;
    if (w == 0) return ETIMEDOUT;
    int e = 0;
    socklen_t len = sizeof e;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) return errno;
    return e;
}

}  // namespace

TcpStream::~TcpStream() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, std::uint16_t port,
                                              milliseconds timeout, std::string& error) {
    const Clock::time_point deadline = Deadline(timeout);
    const std::string where = Where(host, port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    // No node and no AI_PASSIVE: the loopback addresses of both families.
    const int r =
        ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    if (r != 0) {
        const char* why = r == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(r);
        error = Reason(where, "cannot resolve host", why);
        return nullptr;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    error = Reason(where, "cannot connect", "no address");
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a != found && MsUntil(deadline) == 0) {
            error = Reason(where, "cannot connect", std::strerror(ETIMEDOUT));
            break;
        }
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = Reason(where, "cannot create socket", std::strerror(errno));
            continue;
        }
        const int e = ConnectOne(fd, *a, deadline);
        if (e == 0) {
            NoDelay(fd);
            error.clear();
            return std::unique_ptr<TcpStream>(new TcpStream(fd));
        }
        ::close(fd);
        error = Reason(where, "cannot connect", std::strerror(e));
    }
    return nullptr;
}

TcpIo TcpStream::ReadSome(std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    if (count == 0) return Done(TcpIo::Status::Ok, 0);
    const Clock::time_point deadline = Deadline(timeout);
    bool hungUp = false;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, count, MSG_DONTWAIT);
        if (n > 0) return Done(TcpIo::Status::Ok, static_cast<std::size_t>(n));
        if (n == 0) return Done(TcpIo::Status::Closed, 0);
        const int e = errno;
        if (e == EINTR) continue;
        if (e != EAGAIN && e != EWOULDBLOCK) return Failed(0, e);
        // A hang-up with nothing left to read would make poll return at once for ever.
        if (hungUp) return Done(TcpIo::Status::Closed, 0, ECONNRESET);
        short revents = 0;
        const int w = WaitFor(fd_, POLLIN, deadline, revents);
        if (w < 0) return Failed(0, errno);
        if (w == 0) return Done(TcpIo::Status::Ok, 0);
        if (revents & POLLNVAL) return Done(TcpIo::Status::Error, 0, EBADF);
        hungUp = (revents & (POLLHUP | POLLERR)) != 0;
    }
}

ReadableWaitResult TcpStream::WaitReadable(std::span<Event* const> events, milliseconds timeout,
                                           ThreadMessageQueue* messages) {
    return WaitAnyOrReadable(fd_, events, timeout, messages);
}

TcpIo TcpStream::ReadExact(std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    const Clock::time_point deadline = Deadline(timeout);
    std::size_t got = 0;
    while (got < count) {
        const TcpIo io = ReadSome(buffer + got, count - got, milliseconds(MsUntil(deadline)));
        if (!io.Ok()) return Done(io.status, got, io.error);
        if (io.count == 0) break;  // time-out
        got += io.count;
    }
    return Done(TcpIo::Status::Ok, got);
}

TcpIo TcpStream::Write(const std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    const Clock::time_point deadline = Deadline(timeout);
    std::size_t sent = 0;
    bool hungUp = false;
    while (sent < count) {
        const ssize_t n = ::send(fd_, buffer + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int e = n < 0 ? errno : EAGAIN;
        if (e == EINTR) continue;
        if (e != EAGAIN && e != EWOULDBLOCK) return Failed(sent, e);
        if (hungUp) return Done(TcpIo::Status::Closed, sent, EPIPE);
        short revents = 0;
        const int w = WaitFor(fd_, POLLOUT, deadline, revents);
        if (w < 0) return Failed(sent, errno);
        // The peer does not read: the caller decides what a short write means.
        if (w == 0) return Done(TcpIo::Status::Ok, sent);
        if (revents & POLLNVAL) return Done(TcpIo::Status::Error, sent, EBADF);
        hungUp = (revents & (POLLHUP | POLLERR)) != 0;
    }
    return Done(TcpIo::Status::Ok, sent);
}

void TcpStream::Shutdown() {
    // Not close(): another thread may be waiting on the fd, and this wakes it.
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

TcpListener::~TcpListener() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TcpListener> TcpListener::Listen(std::uint16_t port, std::string& error) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = Reason(where, "cannot create socket", std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<TcpListener> listener(new TcpListener);
    listener->fd_ = fd;
    const int one = 1;
    // A port in TIME_WAIT after a restart should not block listening again.
    (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = Reason(where, "cannot bind", std::strerror(errno));
        return nullptr;
    }
    if (::listen(fd, SOMAXCONN) != 0) {
        error = Reason(where, "cannot listen", std::strerror(errno));
        return nullptr;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = Reason(where, "cannot read the bound port", std::strerror(errno));
        return nullptr;
    }
    listener->port_ = ntohs(addr.sin_port);
    error.clear();
    return listener;
}

std::unique_ptr<TcpStream> TcpListener::Accept(milliseconds timeout) {
    const Clock::time_point deadline = Deadline(timeout);
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            NoDelay(fd);
            return std::unique_ptr<TcpStream>(new TcpStream(fd));
        }
        // A client that gave up before being accepted is no reason to stop waiting.
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return nullptr;
        short revents = 0;
        if (WaitFor(fd_, POLLIN, deadline, revents) <= 0) return nullptr;
        if (revents & (POLLNVAL | POLLERR)) return nullptr;
    }
}

}  // namespace tarvo::platform
