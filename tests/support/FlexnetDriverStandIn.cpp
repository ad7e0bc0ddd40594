// A stand-in for the FlexNet packet driver's library, built as libflxapi.so.
// It answers the calls the device makes: two ports wired to each other, so a
// link set up on one arrives as a connect request on the other, links with
// their states and frame queues, UI frames, the monitor and the named events.
// Extra functions (flxsim_*) let a test play a remote station and read what
// the device asked of the driver. Everything is guarded by one mutex.
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "devices/FlexnetApiU.h"

#define FLX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace fx = tarvo::devices::flexnet;
using U8 = std::uint8_t;

constexpr int kPorts = 16;
constexpr int kChannels = 32;
constexpr std::size_t kMaxMonitorQueue = 512;
constexpr std::size_t kMaxQueue = 1024;

// Link states as l2_stat(0) reports them in its low four bits.
enum : int {
    kGone = 0,
    kDisconnected = 1,
    kRequest = 2,
    kConnecting = 3,
    kDisconnecting = 4,
    kConnected = 5,
};

struct Channel {
    bool used = false;
    int state = kDisconnected;
    int flags = 0;  // link-state bits beyond the state
    bool request = false;
    bool discPending = false;  // the remote's answer to our DISC follows the next look
    int peer = 0;              // the wired channel, 0 for a scripted remote
    std::array<U8, fx::kPathRecordSize> path{};
    std::deque<std::string> rx;                   // for l2_get_i
    std::array<U8, fx::kFrameRecordSize> head{};  // the frame l2_get_i handed out
    std::deque<std::string> toRemote;             // sent on a scripted link
    int unacked = 0;
    int window = 7;
    bool blocked = false;
    int maxFrame = 7, tries = 0, frack = 3;
};

struct MonitorEntry {
    std::array<U8, fx::kMonRecordSize> record{};
    std::vector<U8> data;
};

struct NamedEvent {
    std::string name;
    bool set = false;
};

struct Driver {
    std::mutex mutex;
    std::condition_variable changed;
    int kernel = 1;
    std::array<bool, kPorts> active{};
    std::array<std::optional<std::string>, kPorts> names;
    std::array<Channel, kChannels + 1> ch;  // 1 to kChannels
    bool monitorOn = false;
    std::deque<MonitorEntry> monitor;
    std::vector<std::string> calls;
    std::vector<std::string> ui;
    std::map<std::string, std::unique_ptr<NamedEvent>> events;
    std::string version = "Stand-in 1.0";
    int sabmPolls = 0;

    Driver() { Reset(); }

    void Reset() {
        kernel = 1;
        active.fill(false);
        for (auto& n : names) n.reset();
        active[0] = active[1] = true;
        names[0] = "Port A";
        names[1] = "Port B";
        for (auto& c : ch) c = Channel{};
        monitorOn = false;
        monitor.clear();
        calls.clear();
        ui.clear();
        sabmPolls = 0;
        for (auto& [name, e] : events) e->set = false;
    }

    void Signal(const char* name) {
        auto it = events.find(name);
        if (it != events.end()) it->second->set = true;
        changed.notify_all();
    }

    Channel* Get(int c) { return c >= 1 && c <= kChannels && ch[c].used ? &ch[c] : nullptr; }

    int Allocate() {
        for (int c = 1; c <= kChannels; ++c) {
            if (ch[c].used) continue;
            ch[c] = Channel{};
            ch[c].used = true;
            return c;
        }
        return 0;
    }

    static int WiredPort(int port) { return port == 0 ? 1 : port == 1 ? 0 : -1; }

    void Log(const std::string& s) {
        if (calls.size() < 4096) calls.push_back(s);
    }

    void Monitor(int port, const U8* path, bool reverse, int type, const std::string& data) {
        if (!monitorOn || monitor.size() >= kMaxMonitorQueue) return;
        MonitorEntry& e = monitor.emplace_back();
        U8* r = e.record.data();
        // A path record holds the remote first: the sender is the own station.
        const U8* from = path + (reverse ? fx::kPathRemote : fx::kPathOwn);
        const U8* to = path + (reverse ? fx::kPathOwn : fx::kPathRemote);
        std::memcpy(r + fx::kMonDest, to, fx::kAddressSize);
        std::memcpy(r + fx::kMonSource, from, fx::kAddressSize);
        const int digis = std::min<int>(path[fx::kPathDigiCount], fx::kMaxDigis);
        r[fx::kMonDigiCount] = static_cast<U8>(digis);
        std::memcpy(r + fx::kMonDigis, path + fx::kPathDigis, digis * fx::kAddressSize);
        r[fx::kMonPort] = static_cast<U8>(port);
        r[fx::kMonPid] = 0xF0;
        r[fx::kMonType] = static_cast<U8>(type);
        e.data.assign(data.begin(), data.end());
        r[fx::kMonLength] = static_cast<U8>(data.size() & 0xFF);
        r[fx::kMonLength + 1] = static_cast<U8>(data.size() >> 8);
        const U8* p = e.data.empty() ? nullptr : e.data.data();
        std::memcpy(r + fx::kMonData, &p, sizeof p);
        Signal(fx::kEventTrace);
    }

    void SetState(int c, int state) {
        ch[c].state = state;
        Signal(fx::kEventQsoState);
    }
};

Driver& D() {
    static Driver d;
    return d;
}

// ---- addresses ------------------------------------------------------------------------------

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool EncodeCall(const std::string& text, U8* out) {
    const std::string t = Upper(text);
    const std::size_t dash = t.find('-');
    const std::string call = t.substr(0, dash);
    int ssid = 0;
    if (dash != std::string::npos) {
        const std::string s = t.substr(dash + 1);
        if (s.empty() || s.size() > 2 || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        ssid = std::stoi(s);
    }
    if (call.empty() || call.size() > 6 || ssid > 15) return false;
    for (char c : call)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    for (std::size_t i = 0; i < 6; ++i)
        out[i] = static_cast<U8>((i < call.size() ? call[i] : ' ') << 1);
    out[6] = static_cast<U8>(0x60 | (ssid << 1));
    return true;
}

std::string DecodeCall(const U8* a) {
    std::string call;
    for (int i = 0; i < 6; ++i) {
        const char c = static_cast<char>(a[i] >> 1);
        if (c != ' ') call += c;
    }
    const int ssid = (a[6] >> 1) & 0x0F;
    if (ssid) call += "-" + std::to_string(ssid);
    return call;
}

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

bool IsPortNumber(const std::string& w) {
    return !w.empty() && w.size() <= 2 && w.find_first_not_of("0123456789") == std::string::npos &&
           std::stoi(w) < kPorts;
}

// The path record for `own` calling `remote` over `digis` on `port`.
bool MakePath(const std::string& own, const std::string& remote,
              const std::vector<std::string>& digis, int port, U8* out) {
    std::memset(out, 0, fx::kPathRecordSize);
    if (digis.size() > fx::kMaxDigis) return false;
    if (!EncodeCall(remote, out + fx::kPathRemote) || !EncodeCall(own, out + fx::kPathOwn))
        return false;
    for (std::size_t i = 0; i < digis.size(); ++i)
        if (!EncodeCall(digis[i], out + fx::kPathDigis + i * fx::kAddressSize)) return false;
    out[fx::kPathDigiCount] = static_cast<U8>(digis.size());
    out[fx::kPathPort] = static_cast<U8>(port);
    return true;
}

// The same link seen from the other end: calls swapped, digipeaters reversed.
void Mirror(const U8* in, int port, U8* out) {
    std::memset(out, 0, fx::kPathRecordSize);
    std::memcpy(out + fx::kPathRemote, in + fx::kPathOwn, fx::kAddressSize);
    std::memcpy(out + fx::kPathOwn, in + fx::kPathRemote, fx::kAddressSize);
    const int n = std::min<int>(in[fx::kPathDigiCount], fx::kMaxDigis);
    for (int i = 0; i < n; ++i)
        std::memcpy(out + fx::kPathDigis + i * fx::kAddressSize,
                    in + fx::kPathDigis + (n - 1 - i) * fx::kAddressSize, fx::kAddressSize);
    out[fx::kPathDigiCount] = static_cast<U8>(n);
    out[fx::kPathPort] = static_cast<U8>(port);
}

bool SamePath(const U8* a, const U8* b) {
    return std::memcmp(a, b, fx::kPathDigis) == 0 &&
           std::memcmp(a + fx::kPathDigis, b + fx::kPathDigis,
                       std::min<int>(a[fx::kPathDigiCount], fx::kMaxDigis) * fx::kAddressSize) == 0;
}

int CopyOut(const std::string& s, char* buf, int size) {
    if (!buf || size <= 0) return static_cast<int>(s.size());
    const int n = std::min<int>(static_cast<int>(s.size()), size - 1);
    std::memcpy(buf, s.data(), n);
    buf[n] = '\0';
    return n;
}

// A frame for channel c has been taken by its reader: the sender's window opens.
void Acknowledge(Driver& d, int c) {
    if (Channel* p = d.Get(c); p && p->unacked > 0) --p->unacked;
}

}  // namespace

// ---- the driver's calls -----------------------------------------------------------------------

FLX_EXPORT int ax_init() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Log("ax_init");
    return d.kernel;
}

FLX_EXPORT void ax_exit() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Log("ax_exit");
    d.monitorOn = false;
    d.monitor.clear();
}

FLX_EXPORT const char* l2_version() {
    return D().version.c_str();
}

FLX_EXPORT int ch_active(int port) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    return port >= 0 && port < kPorts && d.active[port] ? 1 : 0;
}

FLX_EXPORT const char* get_ident(int port) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (port < 0 || port >= kPorts || !d.names[port]) return nullptr;
    return d.names[port]->c_str();
}

FLX_EXPORT int l2_stat(int selector, int c) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    if (!p) return 0;
    switch (selector) {
        case 0: {
            const int value = p->state | p->flags | (p->rx.empty() ? 0 : 64);
            if (p->state == kDisconnecting && p->discPending) {
                p->discPending = false;
                p->state = kDisconnected;
            } else if (p->state == kGone || p->state == kDisconnected) {
                // Reported once: the channel is free again.
                if (p->rx.empty()) p->used = false;
            }
            return value;
        }
        case 1:
            return p->unacked;
        case 2:
            return p->maxFrame;
        case 3:
            return p->tries;
        case 4:
            return p->frack;
        default:
            return 0;
    }
}

FLX_EXPORT int l2_bef(int command, int c) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Log("l2_bef(" + std::to_string(command) + "," + std::to_string(c) + ")");
    Channel* p = d.Get(c);
    if (!p) return 0;
    Channel* peer = d.Get(p->peer);
    const int port = p->path[fx::kPathPort];
    switch (command) {
        case 2:  // accept
            if (!p->request) return 0;
            p->request = false;
            d.SetState(c, kConnected);
            d.Monitor(port, p->path.data(), false, 8, {});
            if (peer) d.SetState(p->peer, kConnected);
            return 1;
        case 3:  // refuse
            if (!p->request) return 0;
            d.Monitor(port, p->path.data(), false, 7, {});
            p->used = false;
            if (peer) d.SetState(p->peer, kDisconnected);
            return 1;
        case 4:  // disconnect: DISC, the answer comes with the next look
            if (p->state < kConnecting) return 0;
            d.SetState(c, kDisconnecting);
            p->discPending = peer != nullptr;
            d.Monitor(port, p->path.data(), false, 6, {});
            if (peer) d.SetState(p->peer, kDisconnected);
            return 1;
        case 5:  // cancel: no waiting for the answer
            d.SetState(c, kDisconnected);
            if (peer) d.SetState(p->peer, kDisconnected);
            return 1;
        case 6:  // kill: the link is dropped here, the other end loses it
            d.SetState(c, kDisconnected);
            if (peer) d.SetState(p->peer, kGone);
            return 1;
        case 15:  // the head frame was read
            if (p->rx.empty()) return 0;
            p->rx.pop_front();
            Acknowledge(d, p->peer);
            return 1;
        case 7:
        case 18:
            return 1;
        default:
            return 0;
    }
}

FLX_EXPORT const U8* l2_get_f(int c) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    return p ? p->path.data() : nullptr;
}

FLX_EXPORT const U8* l2_get_i(int c) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    if (!p || p->rx.empty()) return nullptr;
    const std::string& f = p->rx.front();
    p->head.fill(0);
    p->head[0] = static_cast<U8>(f.size() & 0xFF);
    p->head[1] = static_cast<U8>(f.size() >> 8);
    p->head[fx::kFramePid] = 0xF0;
    std::memcpy(p->head.data() + fx::kFrameData, f.data(), f.size());
    return p->head.data();
}

FLX_EXPORT int l2_ialloc(int c, int length) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    return p && p->state == kConnected && !p->blocked && p->unacked < p->window && length >= 0 &&
                   length <= static_cast<int>(fx::kMaxInfo)
               ? 1
               : 0;
}

FLX_EXPORT int l2_send_frame(int c, const U8* frame) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    if (!p || p->state != kConnected || !frame) return 0;
    const std::size_t length = std::min<std::size_t>(fx::ReadU16(frame, 0), fx::kMaxInfo);
    const std::string data(reinterpret_cast<const char*>(frame + fx::kFrameData), length);
    d.Log("l2_send_frame(" + std::to_string(c) + "," + std::to_string(length) + ")");
    ++p->unacked;
    d.Monitor(p->path[fx::kPathPort], p->path.data(), false, 1, data);
    if (Channel* peer = d.Get(p->peer)) {
        if (peer->rx.size() < kMaxQueue) peer->rx.push_back(data);
        d.Signal(fx::kEventQsoData);
    } else if (p->toRemote.size() < kMaxQueue) {
        p->toRemote.push_back(data);
    }
    return 1;
}

FLX_EXPORT int l2_get_sabm(const char* call) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    ++d.sabmPolls;
    if (!call) return 0;
    const std::string wanted = Upper(call);
    for (int c = 1; c <= kChannels; ++c) {
        const Channel& x = d.ch[c];
        if (x.used && x.request && DecodeCall(x.path.data() + fx::kPathOwn) == wanted) return c;
    }
    return 0;
}

FLX_EXPORT char* strcall(char* buffer, const U8* address) {
    if (!buffer) return buffer;
    const std::string s = address ? DecodeCall(address) : std::string();
    CopyOut(s, buffer, static_cast<int>(fx::kCallBuffer));
    return buffer;
}

FLX_EXPORT char* strpath(char* buffer, const U8* path) {
    if (!buffer) return buffer;
    std::string s;
    if (path) {
        const int n = std::min<int>(path[fx::kPathDigiCount], fx::kMaxDigis);
        for (int i = 0; i < n; ++i) {
            if (i) s += ' ';
            s += DecodeCall(path + fx::kPathDigis + i * fx::kAddressSize);
        }
    }
    CopyOut(s, buffer, static_cast<int>(fx::kPathBuffer));
    return buffer;
}

// "CALL [port] [DIGI ...]": a number is the port, the words after the call the digipeaters.
FLX_EXPORT int build_frame(U8* buffer, const char* myCall, const char* pathText) {
    if (!buffer || !myCall || !pathText) return 0;
    const std::vector<std::string> words = Words(pathText);
    if (words.empty()) return 0;
    int port = 0;
    std::vector<std::string> digis;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (IsPortNumber(words[i]))
            port = std::stoi(words[i]);
        else
            digis.push_back(words[i]);
    }
    return MakePath(myCall, words[0], digis, port, buffer) ? 1 : 0;
}

FLX_EXPORT int l2_get_qnum(const U8* path) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!path) return 0;
    for (int c = 1; c <= kChannels; ++c)
        if (d.ch[c].used && !d.ch[c].request && SamePath(d.ch[c].path.data(), path)) return c;
    return 0;
}

FLX_EXPORT int l2_fconnect(const U8* path) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!path) return 0;
    const int port = path[fx::kPathPort];
    if (port >= kPorts || !d.active[port]) return 0;
    int c = 0;
    for (int x = 1; x <= kChannels && !c; ++x)
        if (d.ch[x].used && !d.ch[x].request && d.ch[x].state < kRequest &&
            SamePath(d.ch[x].path.data(), path))
            c = x;
    if (c) {
        d.ch[c] = Channel{};
        d.ch[c].used = true;
    } else {
        c = d.Allocate();
    }
    if (!c) return 0;
    Channel& me = d.ch[c];
    std::memcpy(me.path.data(), path, fx::kPathRecordSize);
    me.state = kConnecting;
    d.Log("l2_fconnect(" + std::to_string(c) + ")");
    d.Monitor(port, me.path.data(), false, 5, {});
    const int wired = Driver::WiredPort(port);
    if (wired >= 0 && d.active[wired]) {
        const int r = d.Allocate();
        if (r) {
            Channel& other = d.ch[r];
            Mirror(me.path.data(), wired, other.path.data());
            other.state = kRequest;
            other.request = true;
            other.peer = c;
            d.ch[c].peer = r;
            d.Monitor(wired, other.path.data(), true, 5, {});
            d.Signal(fx::kEventConnectRequest);
        }
    }
    return c;
}

FLX_EXPORT int l2_send_ui(const char* myCall, const char* destination, int pid, int mode,
                          int length, const U8* data) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    (void)mode;
    if (!myCall || !destination || length < 0 || (length > 0 && !data)) return 0;
    std::vector<std::string> words = Words(destination);
    if (words.size() < 2 || !IsPortNumber(words.back())) return 0;
    const int port = std::stoi(words.back());
    words.pop_back();
    if (!d.active[port]) return 0;
    const std::string text(reinterpret_cast<const char*>(data),
                           std::min<std::size_t>(length, fx::kMaxInfo));
    std::array<U8, fx::kPathRecordSize> path{};
    const std::vector<std::string> digis(words.begin() + 1, words.end());
    if (!MakePath(myCall, words[0], digis, port, path.data())) return 0;
    std::string item = Upper(myCall) + ">" + Upper(words[0]);
    for (const std::string& x : digis) item += " " + Upper(x);
    d.ui.push_back(item + " " + std::to_string(port) + " pid " + std::to_string(pid) + ": " + text);
    d.Monitor(port, path.data(), false, 10, text);
    const int wired = Driver::WiredPort(port);
    if (wired >= 0 && d.active[wired]) {
        d.Monitor(wired, path.data(), false, 10, text);
        d.Signal(fx::kEventUnproto);
    }
    return 1;
}

FLX_EXPORT int l2_set_monitor(const U8* record) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Log("l2_set_monitor");
    d.monitorOn = record != nullptr;
    return d.monitorOn ? 1 : 0;
}

FLX_EXPORT int l2_clr_monitor() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Log("l2_clr_monitor");
    d.monitorOn = false;
    d.monitor.clear();
    return 1;
}

FLX_EXPORT int l2_chk_monitor() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    return d.monitorOn ? 1 : 0;
}

FLX_EXPORT const U8* l2_get_monitor() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!d.monitorOn || d.monitor.empty()) return nullptr;
    return d.monitor.front().record.data();
}

FLX_EXPORT void l2_ack_monitor() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!d.monitor.empty()) d.monitor.pop_front();
}

// The calls the device does not make.
FLX_EXPORT int l2_connect() {
    return 0;
}
FLX_EXPORT int l2_check_path() {
    return 0;
}
FLX_EXPORT const U8* l2_get_ui() {
    return nullptr;
}
FLX_EXPORT int l2_printf() {
    return 0;
}
FLX_EXPORT int l2_puts() {
    return 0;
}
FLX_EXPORT int l2_send_char() {
    return 0;
}
FLX_EXPORT long get_tic() {
    return 0;
}
FLX_EXPORT void appl_watchdog() {}
FLX_EXPORT int build_call() {
    return 0;
}
FLX_EXPORT int l2_send_f() {
    return 0;
}
FLX_EXPORT int l2_set_pid() {
    return 0;
}
FLX_EXPORT int ch_state() {
    return 0;
}
FLX_EXPORT int set_chmode() {
    return 0;
}
FLX_EXPORT int set_txdelay() {
    return 0;
}
FLX_EXPORT int calibrate() {
    return 0;
}
FLX_EXPORT int get_chbaud() {
    return 0;
}
FLX_EXPORT int get_chmode() {
    return 0;
}
FLX_EXPORT int get_txdelay() {
    return 0;
}
FLX_EXPORT int get_stat() {
    return 0;
}
#ifndef FLXSIM_LACKING
// The variant that lacks names leaves these two out.
FLX_EXPORT int set_debug_mode() {
    return 0;
}
FLX_EXPORT int flxdbg() {
    return 0;
}
#endif

// ---- the named events -------------------------------------------------------------------------

FLX_EXPORT void* flx_open_event(const char* name) {
    static const char* const known[] = {
        fx::kEventQsoData, fx::kEventQsoState,     fx::kEventNodeFrame, fx::kEventConnectRequest,
        fx::kEventUnproto, fx::kEventChannelState, fx::kEventTrace};
    if (!name) return nullptr;
    if (std::none_of(std::begin(known), std::end(known),
                     [name](const char* k) { return std::strcmp(k, name) == 0; }))
        return nullptr;
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    auto& e = d.events[name];
    if (!e) {
        e = std::make_unique<NamedEvent>();
        e->name = name;
    }
    return e.get();
}

// The index of the event that ended the wait (it is reset), -1 on time-out.
FLX_EXPORT int flx_wait_events(void* const* handles, int count, int milliseconds) {
    Driver& d = D();
    std::unique_lock lock(d.mutex);
    int found = -1;
    const auto any = [&] {
        for (int i = 0; i < count; ++i)
            if (static_cast<NamedEvent*>(handles[i])->set) {
                found = i;
                return true;
            }
        return false;
    };
    if (!d.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), any)) return -1;
    static_cast<NamedEvent*>(handles[found])->set = false;
    return found;
}

FLX_EXPORT void flx_close_event(void*) {}

// ---- the control functions for tests ----------------------------------------------------------

FLX_EXPORT void flxsim_reset() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.Reset();
}

FLX_EXPORT void flxsim_set_kernel(int answer) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.kernel = answer;
}

// name null: the port has no name.
FLX_EXPORT void flxsim_set_port(int port, int active, const char* name) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (port < 0 || port >= kPorts) return;
    d.active[port] = active != 0;
    d.names[port] = name ? std::optional<std::string>(name) : std::nullopt;
}

// A remote station calls `to` on the port; the channel of the request.
FLX_EXPORT int flxsim_remote_connect(int port, const char* from, const char* to) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    const int c = d.Allocate();
    if (!c) return 0;
    Channel& x = d.ch[c];
    if (!from || !to || !MakePath(to, from, {}, port, x.path.data())) {
        x.used = false;
        return 0;
    }
    x.state = kRequest;
    x.request = true;
    d.Monitor(port, x.path.data(), true, 5, {});
    d.Signal(fx::kEventConnectRequest);
    return c;
}

FLX_EXPORT void flxsim_set_state(int c, int state) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (Channel* p = d.Get(c)) {
        p->request = false;
        p->discPending = false;
        d.SetState(c, state);
    }
}

// The channel now carries a link to another station.
FLX_EXPORT void flxsim_set_remote(int c, const char* remote) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (Channel* p = d.Get(c); p && remote) EncodeCall(remote, p->path.data() + fx::kPathRemote);
}

FLX_EXPORT void flxsim_set_link(int c, int flags, int unacked, int maxFrame, int tries, int frack) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (Channel* p = d.Get(c)) {
        p->flags = flags;
        p->unacked = unacked;
        p->maxFrame = maxFrame;
        p->tries = tries;
        p->frack = frack;
        d.Signal(fx::kEventQsoState);
    }
}

FLX_EXPORT void flxsim_set_blocked(int c, int blocked) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (Channel* p = d.Get(c)) p->blocked = blocked != 0;
}

FLX_EXPORT void flxsim_remote_send(int c, const char* data, int length) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    if (!p || !data || length < 0) return;
    for (int at = 0; at < length && p->rx.size() < kMaxQueue; at += static_cast<int>(fx::kMaxInfo))
        p->rx.emplace_back(data + at, std::min<int>(length - at, fx::kMaxInfo));
    d.Signal(fx::kEventQsoData);
}

// What the device sent on a scripted link; taking it acknowledges it.
FLX_EXPORT int flxsim_remote_take(int c, char* buffer, int size) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    if (!p) return CopyOut({}, buffer, size);
    std::string all;
    for (const std::string& f : p->toRemote) all += f;
    p->toRemote.clear();
    p->unacked = 0;
    return CopyOut(all, buffer, size);
}

// Frames sent on a scripted link and not yet taken.
FLX_EXPORT int flxsim_frames_sent(int c) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    Channel* p = d.Get(c);
    return p ? static_cast<int>(p->toRemote.size()) : 0;
}

// The channel of the link between own and remote (as the own side sees it), 0 none.
FLX_EXPORT int flxsim_find(const char* own, const char* remote) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!own || !remote) return 0;
    for (int c = 1; c <= kChannels; ++c) {
        const Channel& x = d.ch[c];
        if (x.used && DecodeCall(x.path.data() + fx::kPathOwn) == Upper(own) &&
            DecodeCall(x.path.data() + fx::kPathRemote) == Upper(remote))
            return c;
    }
    return 0;
}

// A raw monitor record (kMonRecordSize bytes) as the driver would hand it out;
// its data pointer is set to a copy of `data`.
FLX_EXPORT void flxsim_add_monitor(const U8* record, const char* data, int length) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    if (!record || d.monitor.size() >= kMaxMonitorQueue) return;
    MonitorEntry& e = d.monitor.emplace_back();
    std::memcpy(e.record.data(), record, e.record.size());
    if (data && length > 0) e.data.assign(data, data + length);
    const U8* p = e.data.empty() ? nullptr : e.data.data();
    std::memcpy(e.record.data() + fx::kMonData, &p, sizeof p);
    d.Signal(fx::kEventTrace);
}

FLX_EXPORT int flxsim_monitor_on() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    return d.monitorOn ? 1 : 0;
}

// Drops the monitor, as a driver that lost its client would.
FLX_EXPORT void flxsim_drop_monitor() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    d.monitorOn = false;
}

// The calls that change links, separated by ";", and forgets them.
FLX_EXPORT int flxsim_take_calls(char* buffer, int size) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    std::string all;
    for (const std::string& c : d.calls) all += (all.empty() ? "" : ";") + c;
    d.calls.clear();
    return CopyOut(all, buffer, size);
}

FLX_EXPORT int flxsim_sabm_polls() {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    return d.sabmPolls;
}

// The UI frames sent, one per line.
FLX_EXPORT int flxsim_take_ui(char* buffer, int size) {
    Driver& d = D();
    std::lock_guard lock(d.mutex);
    std::string all;
    for (const std::string& u : d.ui) all += u + "\n";
    d.ui.clear();
    return CopyOut(all, buffer, size);
}
