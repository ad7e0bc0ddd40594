// The simulated mailbox's side of a file download with AutoBIN, written from
// the protocol description: it announces the file, waits for "#OK#" and sends
// the bytes; "#NO#" or "#ABORT#" ends it.
#pragma once

#include <string>
#include <string_view>

namespace tarvo::test {

class SimAutobinSender {
  public:
    SimAutobinSender(std::string name, std::string data);

    // The header line with length, CRC, date and name.
    std::string Announce() const;
    // Bytes from the terminal; returns what goes back (the file after "#OK#").
    std::string Receive(std::string_view bytes);
    bool Done() const { return done_; }
    bool Succeeded() const { return sent_; }

  private:
    std::string name_, data_;
    std::string in_;
    bool done_ = false;
    bool sent_ = false;
};

}  // namespace tarvo::test
