// The simulated mailbox's side of a file download with DIDADIT, written from
// the protocol description: it announces the file, waits for "#OK#" and START,
// sends the DATA blocks, serves requests for missing ranges and ends at FINACK.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::test {

class SimDidaditSender {
  public:
    SimDidaditSender(std::string name, std::string data);

    // "#DIDADIT#" and the INFO block.
    std::string Announce();
    // Bytes from the terminal; returns what goes back.
    std::string Receive(std::string_view bytes);
    bool Done() const { return state_ == State::Finished || state_ == State::Failed; }
    bool Succeeded() const { return state_ == State::Finished; }

  private:
    enum class State { Announced, Accepted, Sending, Finished, Failed };

    std::string Block(std::uint16_t type, std::string_view payload) const;
    std::string Data(std::uint32_t offset, std::uint32_t length) const;
    std::string Handle(std::string_view body);

    std::string name_, data_;
    std::array<std::uint8_t, 16> md5_{};
    State state_ = State::Announced;
    std::string in_;
    std::uint32_t blockSize_ = 1750;
};

}  // namespace tarvo::test
