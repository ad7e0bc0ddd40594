#include "platform/UnixSocket.h"
#include "platform/PosixError.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

namespace tarvo::platform {

namespace {

bool MakeAddress(const std::filesystem::path& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    return true;
}

}  // namespace

std::unique_ptr<UnixSocketServer> UnixSocketServer::Start(const std::filesystem::path& path,
                                                          Handlers handlers, std::error_code& ec) {
    ec.clear();
    std::unique_ptr<UnixSocketServer> s(new UnixSocketServer());
    s->path_ = path;
    s->handlers_ = std::move(handlers);
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) {
        ec = std::make_error_code(std::errc::filename_too_long);
        return nullptr;
    }
    // Only a socket nobody answers on is stale; anything else is not ours to remove.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            ec = std::make_error_code(std::errc::file_exists);
            return nullptr;
        }
        if (SendToUnixSocket(path, {})) {
            ec = std::make_error_code(std::errc::address_in_use);
            return nullptr;
        }
        ::unlink(path.c_str());
    }
    s->listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s->listenFd_ < 0) {
        ec = Errno();
        return nullptr;
    }
    const mode_t old = ::umask(077);  // only this user may attach
    const int rc = ::bind(s->listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::umask(old);
    if (rc != 0 || ::listen(s->listenFd_, 8) != 0) {
        ec = Errno();
        return nullptr;
    }
    s->wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s->wakeFd_ < 0) {
        ec = Errno();
        return nullptr;
    }
    s->thread_ = std::thread([raw = s.get()] { raw->Run(); });
    return s;
}

UnixSocketServer::~UnixSocketServer() {
    stop_ = true;
    if (thread_.joinable()) {
        Wake();
        thread_.join();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void UnixSocketServer::Wake() {
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full: the server is awake already.
    }
}

void UnixSocketServer::Broadcast(std::string_view data) {
    if (clients_.load() == 0 || data.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() + data.size() > kClientBufferCap) {
            dropped_.fetch_add(1);
            return;
        }
        pending_.append(data);
    }
    Wake();
}

void UnixSocketServer::Run() {
    struct Client {
        std::string out;
    };
    std::map<int, Client> clients;
    auto drop = [&](int fd) {
        ::close(fd);
        clients.erase(fd);
        clients_ = clients.size();
        if (handlers_.onClientsChanged) handlers_.onClientsChanged(clients.size());
    };
    while (!stop_) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd_, POLLIN, 0});
        fds.push_back({wakeFd_, POLLIN, 0});
        for (auto& [fd, c] : clients)
            fds.push_back({fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        // No time-out: the end and new data arrive through the wake counter.
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        if (stop_) break;
        if (fds[1].revents & POLLIN) {
            std::uint64_t n;
            while (::read(wakeFd_, &n, sizeof n) > 0) {
            }
        }
        std::string fresh;
        {
            std::lock_guard lock(mutex_);
            fresh.swap(pending_);
        }
        for (auto& [fd, c] : clients) {
            if (c.out.size() + fresh.size() > kClientBufferCap)
                dropped_.fetch_add(1);
            else
                c.out += fresh;
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            const int fd = fds[i].fd;
            auto it = clients.find(fd);
            if (it == clients.end()) continue;
            bool gone = (fds[i].revents & (POLLERR | POLLNVAL)) != 0;
            // Read before looking at a hang-up: a client may send and close at once.
            if (!gone && (fds[i].revents & (POLLIN | POLLHUP))) {
                char buf[4096];
                const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    gone = true;
                else if (n > 0 && handlers_.onReceive)
                    handlers_.onReceive(std::string_view(buf, static_cast<std::size_t>(n)));
            }
            if (!gone && !it->second.out.empty()) {
                const ssize_t n = ::send(fd, it->second.out.data(), it->second.out.size(),
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0)
                    it->second.out.erase(0, static_cast<std::size_t>(n));
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    gone = true;
            }
            if (gone) drop(fd);
        }
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                clients[fd] = Client{};
                clients_ = clients.size();
                if (handlers_.onClientsChanged) handlers_.onClientsChanged(clients.size());
            }
        }
    }
    for (auto& [fd, c] : clients) ::close(fd);
    clients.clear();
    clients_ = 0;
}

bool SendToUnixSocket(const std::filesystem::path& path, std::string_view data) {
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    while (ok && !data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            ok = false;
            break;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

std::unique_ptr<FileLock> FileLock::TryLock(const std::filesystem::path& path,
                                            std::error_code& ec) {
    ec.clear();
    std::unique_ptr<FileLock> lock(new FileLock());
    lock->fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock->fd_ < 0) {
        ec = Errno();
        return nullptr;
    }
    if (::flock(lock->fd_, LOCK_EX | LOCK_NB) != 0) {
        ec = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                  : Errno();
        return nullptr;
    }
    return lock;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tarvo::platform
