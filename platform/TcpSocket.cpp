#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo::platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int MsUntil(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

Clock::time_point Deadline(milliseconds timeout) {
    return Clock::now() + std::max(timeout, milliseconds(0));
}

TcpIo Done(TcpIo::Status s, std::size_t count, int error = 0) {
    TcpIo io;
    io.status = s;
    io.count = count;
    io.error = error;
    return io;
}

bool IsClosedError(int e) {
    return e == ECONNRESET || e == EPIPE || e == ENOTCONN || e == ESHUTDOWN;
}

// Waits for the events until the deadline: 1 ready, 0 time-out, -1 failure.
int WaitFor(int fd, short events, Clock::time_point end, short& revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, MsUntil(end));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        revents = p.revents;
        return r == 0 ? 0 : 1;
    }
}

}  // namespace

TcpStream::~TcpStream() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, std::uint16_t port,
                                              milliseconds timeout, std::string& error) {
    const std::string name = host.empty() ? std::string("127.0.0.1") : host;
    const std::string where = name + ":" + std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int r = ::getaddrinfo(name.c_str(), service.c_str(), &hints, &found); r != 0) {
        error = where + ": " + ::gai_strerror(r);
        return nullptr;
    }
    const Clock::time_point end = Deadline(timeout);
    error = where + ": keine Adresse";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = where + ": " + std::strerror(errno);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        int e = r == 0 ? 0 : errno;
        if (r != 0 && e == EINPROGRESS) {
            short revents = 0;
            const int w = WaitFor(fd, POLLOUT, end, revents);
            if (w <= 0) {
                e = w == 0 ? ETIMEDOUT : errno;
            } else {
                socklen_t len = sizeof e;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
            }
        }
        if (e == 0) {
            ::freeaddrinfo(found);
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            error.clear();
            return std::unique_ptr<TcpStream>(new TcpStream(fd));
        }
        error = where + ": " + std::strerror(e);
        ::close(fd);
        if (MsUntil(end) == 0) break;
    }
    ::freeaddrinfo(found);
    return nullptr;
}

TcpIo TcpStream::ReadSome(std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    if (count == 0) return Done(TcpIo::Status::Ok, 0);
    const Clock::time_point end = Deadline(timeout);
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, count, 0);
        if (n > 0) return Done(TcpIo::Status::Ok, static_cast<std::size_t>(n));
        if (n == 0) return Done(TcpIo::Status::Closed, 0);
        const int e = errno;
        if (e == EINTR) continue;
        if (IsClosedError(e)) return Done(TcpIo::Status::Closed, 0, e);
        if (e != EAGAIN && e != EWOULDBLOCK) return Done(TcpIo::Status::Error, 0, e);
        short revents = 0;
        const int w = WaitFor(fd_, POLLIN, end, revents);
        if (w < 0) return Done(TcpIo::Status::Error, 0, errno);
        if (w == 0) return Done(TcpIo::Status::Ok, 0);
        if (revents & POLLNVAL) return Done(TcpIo::Status::Error, 0, EBADF);
    }
}

TcpIo TcpStream::ReadExact(std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    const Clock::time_point end = Deadline(timeout);
    std::size_t got = 0;
    while (got < count) {
        const TcpIo io = ReadSome(buffer + got, count - got, milliseconds(MsUntil(end)));
        if (!io.Ok()) return Done(io.status, got + io.count, io.error);
        if (io.count == 0) break;
        got += io.count;
    }
    return Done(TcpIo::Status::Ok, got);
}

TcpIo TcpStream::Write(const std::uint8_t* buffer, std::size_t count, milliseconds timeout) {
    const Clock::time_point end = Deadline(timeout);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::send(fd_, buffer + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int e = n < 0 ? errno : EAGAIN;
        if (e == EINTR) continue;
        if (IsClosedError(e)) return Done(TcpIo::Status::Closed, sent, e);
        if (e != EAGAIN && e != EWOULDBLOCK) return Done(TcpIo::Status::Error, sent, e);
        short revents = 0;
        const int w = WaitFor(fd_, POLLOUT, end, revents);
        if (w < 0) return Done(TcpIo::Status::Error, sent, errno);
        // A peer that does not read: the caller decides what a short write means.
        if (w == 0) return Done(TcpIo::Status::Ok, sent);
        if (revents & POLLNVAL) return Done(TcpIo::Status::Error, sent, EBADF);
        if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLOUT))
            return Done(TcpIo::Status::Closed, sent, EPIPE);
    }
    return Done(TcpIo::Status::Ok, sent);
}

void TcpStream::Shutdown() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

TcpListener::~TcpListener() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TcpListener> TcpListener::Listen(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        error = "127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::unique_ptr<TcpListener> l(new TcpListener);
    l->fd_ = fd;
    l->port_ = ntohs(addr.sin_port);
    return l;
}

std::unique_ptr<TcpStream> TcpListener::Accept(milliseconds timeout) {
    const Clock::time_point end = Deadline(timeout);
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return std::unique_ptr<TcpStream>(new TcpStream(fd));
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return nullptr;
        short revents = 0;
        if (WaitFor(fd_, POLLIN, end, revents) <= 0) return nullptr;
    }
}

}  // namespace tarvo::platform
