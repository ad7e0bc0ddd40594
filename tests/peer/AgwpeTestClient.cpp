#include "tests/peer/AgwpeTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvo::test {

namespace {

constexpr std::size_t kHeader = 36;

void PutCall(std::uint8_t* field, const std::string& call) {
    std::memset(field, 0, 10);
    std::memcpy(field, call.data(), std::min<std::size_t>(call.size(), 10));
}

std::string GetCall(const std::uint8_t* field) {
    std::size_t n = 0;
    while (n < 10 && field[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

std::string AgwpeFrame::Describe() const {
    std::string text = "port=" + std::to_string(port) + " kind='" + std::string(1, kind) +
                       "' pid=" + std::to_string(pid) + " from='" + from + "' to='" + to +
                       "' data=\"";
    for (unsigned char c : data) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text + "\"";
}

AgwpeTestClient::~AgwpeTestClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool AgwpeTestClient::Connect(std::uint16_t port, std::string& error) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "connect to port " + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool AgwpeTestClient::Send(const AgwpeFrame& frame) {
    std::vector<std::uint8_t> bytes(kHeader + frame.data.size(), 0);
    bytes[0] = frame.port;
    bytes[4] = static_cast<std::uint8_t>(frame.kind);
    bytes[6] = frame.pid;
    PutCall(&bytes[8], frame.from);
    PutCall(&bytes[18], frame.to);
    auto len = static_cast<std::uint32_t>(frame.data.size());
    for (int i = 0; i < 4; ++i) bytes[28 + i] = static_cast<std::uint8_t>(len >> (8 * i));
    std::memcpy(bytes.data() + kHeader, frame.data.data(), frame.data.size());
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool AgwpeTestClient::NextFrame(AgwpeFrame& frame, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (buffer_.size() >= kHeader) {
            std::uint32_t len = 0;
            for (int i = 0; i < 4; ++i) len |= std::uint32_t{buffer_[28 + i]} << (8 * i);
            if (buffer_.size() >= kHeader + len) {
                frame.port = buffer_[0];
                frame.kind = static_cast<char>(buffer_[4]);
                frame.pid = buffer_[6];
                frame.from = GetCall(&buffer_[8]);
                frame.to = GetCall(&buffer_[18]);
                frame.data.assign(buffer_.begin() + kHeader, buffer_.begin() + kHeader + len);
                buffer_.erase(buffer_.begin(), buffer_.begin() + kHeader + len);
                transcript_.push_back(frame.Describe());
                return true;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t chunk[4096];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.insert(buffer_.end(), chunk, chunk + n);
    }
}

std::optional<AgwpeFrame> AgwpeTestClient::WaitFor(
    const std::function<bool(const AgwpeFrame&)>& match, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    AgwpeFrame frame;
    while (NextFrame(frame, deadline))
        if (match(frame)) return frame;
    return std::nullopt;
}

std::string AgwpeTestClient::Transcript() const {
    std::string text;
    for (auto& line : transcript_) text += "  " + line + "\n";
    return text;
}

}  // namespace tarvo::test
