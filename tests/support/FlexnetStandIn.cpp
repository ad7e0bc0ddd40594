#include "tests/support/FlexnetStandIn.h"

#include <vector>

#include "platform/SharedLibrary.h"

namespace tarvo::test {

namespace {
using U8 = std::uint8_t;
constexpr int kTextRoom = 1 << 20;

// A text the stand-in writes into a buffer.
template <typename F, typename... Args>
std::string Text(F fn, Args... args) {
    std::vector<char> buffer(kTextRoom);
    const int n = fn(args..., buffer.data(), kTextRoom);
    return std::string(buffer.data(), static_cast<std::size_t>(std::max(0, n)));
}
}  // namespace

FlexnetStandIn::FlexnetStandIn(const std::string& dir) {
    std::string error;
    lib_ = platform::SharedLibrary::Open(dir + "/" + devices::flexnet::kLibraryFile, &error);
    if (lib_) Reset();
}

FlexnetStandIn::~FlexnetStandIn() = default;

template <typename F>
F FlexnetStandIn::Bind(const char* name) const {
    return reinterpret_cast<F>(lib_->Symbol(name));
}

void FlexnetStandIn::Reset() {
    Bind<void (*)()>("flxsim_reset")();
}

void FlexnetStandIn::SetKernel(int answer) {
    Bind<void (*)(int)>("flxsim_set_kernel")(answer);
}

void FlexnetStandIn::SetPort(int port, bool active, const char* name) {
    Bind<void (*)(int, int, const char*)>("flxsim_set_port")(port, active ? 1 : 0, name);
}

int FlexnetStandIn::RemoteConnect(int port, const std::string& from, const std::string& to) {
    return Bind<int (*)(int, const char*, const char*)>("flxsim_remote_connect")(port, from.c_str(),
                                                                                 to.c_str());
}

void FlexnetStandIn::SetState(int channel, int state) {
    Bind<void (*)(int, int)>("flxsim_set_state")(channel, state);
}

void FlexnetStandIn::SetRemote(int channel, const std::string& remote) {
    Bind<void (*)(int, const char*)>("flxsim_set_remote")(channel, remote.c_str());
}

void FlexnetStandIn::SetLink(int channel, int flags, int unacked, int maxFrame, int tries,
                             int frack) {
    Bind<void (*)(int, int, int, int, int, int)>("flxsim_set_link")(channel, flags, unacked,
                                                                    maxFrame, tries, frack);
}

void FlexnetStandIn::SetBlocked(int channel, bool blocked) {
    Bind<void (*)(int, int)>("flxsim_set_blocked")(channel, blocked ? 1 : 0);
}

void FlexnetStandIn::RemoteSend(int channel, const std::string& data) {
    Bind<void (*)(int, const char*, int)>("flxsim_remote_send")(channel, data.data(),
                                                                static_cast<int>(data.size()));
}

std::string FlexnetStandIn::RemoteTake(int channel) {
    return Text(Bind<int (*)(int, char*, int)>("flxsim_remote_take"), channel);
}

int FlexnetStandIn::FramesSent(int channel) {
    return Bind<int (*)(int)>("flxsim_frames_sent")(channel);
}

int FlexnetStandIn::Find(const std::string& own, const std::string& remote) {
    return Bind<int (*)(const char*, const char*)>("flxsim_find")(own.c_str(), remote.c_str());
}

void FlexnetStandIn::AddMonitor(const Record& record, const std::string& data) {
    Bind<void (*)(const U8*, const char*, int)>("flxsim_add_monitor")(
        record.data(), data.data(), static_cast<int>(data.size()));
}

bool FlexnetStandIn::MonitorOn() {
    return Bind<int (*)()>("flxsim_monitor_on")() != 0;
}

void FlexnetStandIn::DropMonitor() {
    Bind<void (*)()>("flxsim_drop_monitor")();
}

std::string FlexnetStandIn::TakeCalls() {
    return Text(Bind<int (*)(char*, int)>("flxsim_take_calls"));
}

std::string FlexnetStandIn::TakeUI() {
    return Text(Bind<int (*)(char*, int)>("flxsim_take_ui"));
}

int FlexnetStandIn::SabmPolls() {
    return Bind<int (*)()>("flxsim_sabm_polls")();
}

}  // namespace tarvo::test
