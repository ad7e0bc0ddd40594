// A minimal AGWPE client for tests against a real engine: whole frames out,
// whole frames in, and a wait for the first frame that matches. It knows only
// the frame layout, so a test checks the engine and not our own parser.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::test {

struct AgwpeFrame {
    std::uint8_t port = 0;
    char kind = 0;
    std::uint8_t pid = 0;
    std::string from{}, to{};
    std::string data{};

    std::string Describe() const;
};

class AgwpeTestClient {
  public:
    AgwpeTestClient() = default;
    ~AgwpeTestClient();
    AgwpeTestClient(const AgwpeTestClient&) = delete;
    AgwpeTestClient& operator=(const AgwpeTestClient&) = delete;

    // Connects to the loopback interface; false with a message in `error`.
    bool Connect(std::uint16_t port, std::string& error);
    bool Send(const AgwpeFrame& frame);
    // Reads frames until one matches or `timeout` passes. Frames passed over
    // are dropped, but stay in Transcript().
    std::optional<AgwpeFrame> WaitFor(const std::function<bool(const AgwpeFrame&)>& match,
                                      std::chrono::milliseconds timeout);
    // Every frame received so far, one a line, for failure messages.
    std::string Transcript() const;

  private:
    bool NextFrame(AgwpeFrame& frame, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::string> transcript_;
};

}  // namespace tarvo::test
