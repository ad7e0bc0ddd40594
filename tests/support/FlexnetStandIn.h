// The stand-in FlexNet driver library as a test drives it: the same loaded
// copy the device uses, with its control functions for playing remote
// stations and reading what the device asked of the driver.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "devices/FlexnetApiU.h"

namespace tarvo::platform {
class SharedLibrary;
}

namespace tarvo::test {

class FlexnetStandIn {
  public:
    using Record = std::array<std::uint8_t, devices::flexnet::kMonRecordSize>;

    // Loads <dir>/libflxapi.so and starts it afresh: ports 0 "Port A" and 1
    // "Port B", wired to each other, kernel answer 1.
    explicit FlexnetStandIn(const std::string& dir);
    ~FlexnetStandIn();
    bool Ok() const { return lib_ != nullptr; }

    void Reset();
    void SetKernel(int answer);
    // A null name: the port has none.
    void SetPort(int port, bool active, const char* name);
    // A remote station calls `to`; the channel of its request.
    int RemoteConnect(int port, const std::string& from, const std::string& to);
    void SetState(int channel, int state);
    // The channel now carries a link to another station.
    void SetRemote(int channel, const std::string& remote);
    void SetLink(int channel, int flags, int unacked, int maxFrame, int tries, int frack);
    void SetBlocked(int channel, bool blocked);
    void RemoteSend(int channel, const std::string& data);
    // What the device sent on a scripted link, acknowledged by taking it.
    std::string RemoteTake(int channel);
    int FramesSent(int channel);
    // The channel the own side of a link has, 0 none.
    int Find(const std::string& own, const std::string& remote);
    void AddMonitor(const Record& record, const std::string& data);
    bool MonitorOn();
    void DropMonitor();
    // Link calls so far ("l2_bef(2,1);l2_bef(7,1)"), then forgotten.
    std::string TakeCalls();
    std::string TakeUI();
    // How often connect requests were asked for.
    int SabmPolls();

  private:
    template <typename F>
    F Bind(const char* name) const;
    std::unique_ptr<platform::SharedLibrary> lib_;
};

}  // namespace tarvo::test
