#include "devices/FlexnetApiU.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "devices/Ax25FrameU.h"
#include "platform/SharedLibrary.h"

namespace tarvo::devices::flexnet {

namespace {

using U8 = std::uint8_t;

// A callsign text, or "?" for an address that is none.
std::string CallOrUnknown(const U8* address) {
    std::string call =
        ax25::AddressCall(std::string_view(reinterpret_cast<const char*>(address), kAddressSize));
    return call.empty() ? "?" : call;
}

// A text the driver wrote into a buffer of `size` bytes, ended there at the latest.
std::string Terminated(const char* buffer, std::size_t size) {
    std::size_t n = 0;
    while (n < size && buffer[n] != '\0') ++n;
    return std::string(buffer, n);
}

}  // namespace

struct TFlexnetApi::Table {
    int (*ax_init)() = nullptr;
    void (*ax_exit)() = nullptr;
    const char* (*l2_version)() = nullptr;
    int (*l2_get_sabm)(const char*) = nullptr;
    int (*l2_send_ui)(const char*, const char*, int, int, int, const U8*) = nullptr;
    int (*l2_ialloc)(int, int) = nullptr;
    const U8* (*l2_get_i)(int) = nullptr;
    const U8* (*l2_get_f)(int) = nullptr;
    int (*l2_set_monitor)(const U8*) = nullptr;
    int (*l2_clr_monitor)() = nullptr;
    int (*l2_chk_monitor)() = nullptr;
    const U8* (*l2_get_monitor)() = nullptr;
    void (*l2_ack_monitor)() = nullptr;
    char* (*strcall)(char*, const U8*) = nullptr;
    char* (*strpath)(char*, const U8*) = nullptr;
    int (*build_frame)(U8*, const char*, const char*) = nullptr;
    int (*l2_fconnect)(const U8*) = nullptr;
    int (*l2_send_frame)(int, const U8*) = nullptr;
    int (*l2_get_qnum)(const U8*) = nullptr;
    int (*l2_bef)(int, int) = nullptr;
    int (*l2_stat)(int, int) = nullptr;
    int (*ch_active)(int) = nullptr;
    const char* (*get_ident)(int) = nullptr;
    void* (*open_event)(const char*) = nullptr;
    int (*wait_events)(void* const*, int, int) = nullptr;
    void (*close_event)(void*) = nullptr;
};

TMonitorRecord DecodeMonitorRecord(const U8* record) {
    TMonitorRecord out;
    channels::TMonitorFrame& f = out.frame;
    f.An = CallOrUnknown(record + kMonDest);
    f.Von = CallOrUnknown(record + kMonSource);
    // The driver's counts are not trusted past the room the record has.
    const std::size_t digis = std::min<std::size_t>(record[kMonDigiCount], kMaxDigis);
    const std::size_t passed = std::min<std::size_t>(record[kMonDigiPassed], digis);
    for (std::size_t i = 0; i < digis; ++i) {
        if (i > 0) f.Via += ' ';
        f.Via += CallOrUnknown(record + kMonDigis + i * kAddressSize);
        if (i + 1 == passed) f.Via += '*';
    }
    f.Port = record[kMonPort];
    f.PID = record[kMonPid];
    f.Typ = record[kMonType];
    f.Hoch = record[kMonHoch] != 0;
    f.Vorzeichenform = record[kMonVorzeichen] != 0;
    f.NR = record[kMonNR];
    f.NS = record[kMonNS];
    f.DAMA = record[kMonDama] != 0;
    f.Reserve = record[kMonReserve];
    const std::size_t length = std::min<std::size_t>(ReadU16(record, kMonLength), kMaxInfo);
    const U8* data = nullptr;
    std::memcpy(&data, record + kMonData, sizeof data);
    if (data && length > 0) out.data.assign(reinterpret_cast<const char*>(data), length);
    return out;
}

std::string DecodeFrameRecord(const U8* record) {
    const std::size_t length = std::min<std::size_t>(ReadU16(record, 0), kMaxInfo);
    return std::string(reinterpret_cast<const char*>(record + kFrameData), length);
}

TMonitorShow MonitorFilter(std::uint8_t type, std::int32_t options) {
    if (type == channels::kFrameI) return {(options & 4) != 0, (options & 8) != 0};
    if (type >= channels::kFrameRR && type <= channels::kFrameFRMR) return {(options & 2) != 0};
    if (type == channels::kFrameUI) return {(options & 16) != 0, true};
    return {};
}

bool MonitorWanted(std::int32_t options) {
    return (options & (2 | 4 | 16)) != 0;
}

std::vector<std::string> Candidates(const std::string& folder) {
    std::vector<std::string> files;
    if (!folder.empty()) {
        // The setting may end in either kind of separator, or none.
        std::string dir = folder;
        if (dir.back() == '\\') dir.pop_back();
        if (dir.empty() || dir.back() != '/') dir += '/';
        files.push_back(dir + kLibraryFile);
        files.push_back(dir + kDllFile);
    }
    files.push_back(kLibraryFile);
    files.push_back(kDllFile);
    return files;
}

std::unique_ptr<TFlexnetApi> TFlexnetApi::Load(const std::vector<std::string>& files,
                                               std::string& error) {
    std::unique_ptr<platform::SharedLibrary> lib;
    for (const std::string& f : files) {
        std::string why;
        lib = platform::SharedLibrary::Open(f, &why);
        if (lib) break;
    }
    if (!lib) {
        error = kDllNichtGefunden;
        return nullptr;
    }
    std::string missing;
    for (const char* name : kNames) {
        if (lib->Symbol(name)) continue;
        if (!missing.empty()) missing += " / ";
        missing += name;
    }
    if (!missing.empty()) {
        error = kNichtInDll + missing;
        return nullptr;
    }
    std::unique_ptr<TFlexnetApi> api(new TFlexnetApi);
    api->t_ = std::make_unique<Table>();
    Table& t = *api->t_;
    const auto bind = [&lib](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(lib->Symbol(name));
    };
    bind(t.ax_init, "ax_init");
    bind(t.ax_exit, "ax_exit");
    bind(t.l2_version, "l2_version");
    bind(t.l2_get_sabm, "l2_get_sabm");
    bind(t.l2_send_ui, "l2_send_ui");
    bind(t.l2_ialloc, "l2_ialloc");
    bind(t.l2_get_i, "l2_get_i");
    bind(t.l2_get_f, "l2_get_f");
    bind(t.l2_set_monitor, "l2_set_monitor");
    bind(t.l2_clr_monitor, "l2_clr_monitor");
    bind(t.l2_chk_monitor, "l2_chk_monitor");
    bind(t.l2_get_monitor, "l2_get_monitor");
    bind(t.l2_ack_monitor, "l2_ack_monitor");
    bind(t.strcall, "strcall");
    bind(t.strpath, "strpath");
    bind(t.build_frame, "build_frame");
    bind(t.l2_fconnect, "l2_fconnect");
    bind(t.l2_send_frame, "l2_send_frame");
    bind(t.l2_get_qnum, "l2_get_qnum");
    bind(t.l2_bef, "l2_bef");
    bind(t.l2_stat, "l2_stat");
    bind(t.ch_active, "ch_active");
    bind(t.get_ident, "get_ident");
    bind(t.open_event, kOpenEvent);
    bind(t.wait_events, kWaitEvents);
    bind(t.close_event, kCloseEvent);
    api->library_ = std::move(lib);
    return api;
}

TFlexnetApi::~TFlexnetApi() = default;

int TFlexnetApi::AxInit() {
    std::lock_guard lock(mutex_);
    return t_->ax_init();
}

void TFlexnetApi::AxExit() {
    std::lock_guard lock(mutex_);
    t_->ax_exit();
}

std::optional<std::string> TFlexnetApi::Version() {
    std::lock_guard lock(mutex_);
    const char* v = t_->l2_version();
    if (!v) return std::nullopt;
    return Terminated(v, 256);
}

bool TFlexnetApi::ChActive(int port) {
    std::lock_guard lock(mutex_);
    return t_->ch_active(port) != 0;
}

std::optional<std::string> TFlexnetApi::Ident(int port) {
    std::lock_guard lock(mutex_);
    const char* v = t_->get_ident(port);
    if (!v) return std::nullopt;
    return Terminated(v, 64);
}

int TFlexnetApi::Stat(int selector, int channel) {
    std::lock_guard lock(mutex_);
    return t_->l2_stat(selector, channel);
}

int TFlexnetApi::Bef(int command, int channel) {
    std::lock_guard lock(mutex_);
    return t_->l2_bef(command, channel);
}

std::string TFlexnetApi::CallText(const U8* address) {
    char buffer[kCallBuffer] = {};
    t_->strcall(buffer, address);
    return Terminated(buffer, sizeof buffer);
}

std::string TFlexnetApi::PathText(const U8* path) {
    char buffer[kPathBuffer] = {};
    t_->strpath(buffer, path);
    return Terminated(buffer, sizeof buffer);
}

TPath TFlexnetApi::FillPath(const U8* record) {
    TPath p;
    std::memcpy(p.bytes.data(), record, p.bytes.size());
    p.remote = CallText(p.bytes.data() + kPathRemote);
    p.own = CallText(p.bytes.data() + kPathOwn);
    p.digis = PathText(p.bytes.data());
    return p;
}

std::optional<TPath> TFlexnetApi::GetF(int channel) {
    std::lock_guard lock(mutex_);
    const U8* r = t_->l2_get_f(channel);
    if (!r) return std::nullopt;
    return FillPath(r);
}

std::optional<std::string> TFlexnetApi::GetI(int channel) {
    std::lock_guard lock(mutex_);
    const U8* r = t_->l2_get_i(channel);
    if (!r) return std::nullopt;
    return DecodeFrameRecord(r);
}

bool TFlexnetApi::IAlloc(int channel, std::size_t length) {
    std::lock_guard lock(mutex_);
    return t_->l2_ialloc(channel, static_cast<int>(length)) != 0;
}

bool TFlexnetApi::SendFrame(int channel, std::uint8_t pid, std::string_view data) {
    if (data.size() > kMaxInfo) return false;
    std::array<U8, kFrameRecordSize> frame{};
    frame[0] = static_cast<U8>(data.size() & 0xFF);
    frame[1] = static_cast<U8>(data.size() >> 8);
    frame[kFramePid] = pid;
    std::memcpy(frame.data() + kFrameData, data.data(), data.size());
    std::lock_guard lock(mutex_);
    return t_->l2_send_frame(channel, frame.data()) != 0;
}

int TFlexnetApi::GetSabm(const std::string& call) {
    std::lock_guard lock(mutex_);
    return t_->l2_get_sabm(call.c_str());
}

std::optional<TPath> TFlexnetApi::BuildFrame(const std::string& myCall, const std::string& path,
                                             int port) {
    std::array<U8, kPathRecordSize> buffer{};
    std::lock_guard lock(mutex_);
    if (!t_->build_frame(buffer.data(), myCall.c_str(), path.c_str())) return std::nullopt;
    buffer[kPathPort] = static_cast<U8>(port);
    return FillPath(buffer.data());
}

int TFlexnetApi::GetQnum(const TPath& path) {
    std::lock_guard lock(mutex_);
    return t_->l2_get_qnum(path.bytes.data());
}

int TFlexnetApi::FConnect(const TPath& path) {
    std::lock_guard lock(mutex_);
    return t_->l2_fconnect(path.bytes.data());
}

bool TFlexnetApi::SendUI(const std::string& myCall, const std::string& destination,
                         std::uint8_t pid, std::string_view data) {
    const int length = static_cast<int>(std::min(data.size(), kMaxInfo));
    std::lock_guard lock(mutex_);
    return t_->l2_send_ui(myCall.c_str(), destination.c_str(), pid, 1, length,
                          reinterpret_cast<const U8*>(data.data())) != 0;
}

void TFlexnetApi::SetMonitor() {
    // Every port, every kind of frame.
    const U8 record[5] = {0xFF, 0xFF, 0, 3, 0};
    std::lock_guard lock(mutex_);
    t_->l2_set_monitor(record);
}

bool TFlexnetApi::ChkMonitor() {
    std::lock_guard lock(mutex_);
    return t_->l2_chk_monitor() != 0;
}

void TFlexnetApi::ClrMonitor() {
    std::lock_guard lock(mutex_);
    t_->l2_clr_monitor();
}

std::optional<TMonitorRecord> TFlexnetApi::GetMonitor() {
    std::lock_guard lock(mutex_);
    const U8* r = t_->l2_get_monitor();
    if (!r) return std::nullopt;
    return DecodeMonitorRecord(r);
}

void TFlexnetApi::AckMonitor() {
    std::lock_guard lock(mutex_);
    t_->l2_ack_monitor();
}

std::unique_ptr<TFlexnetApi::Events> TFlexnetApi::OpenEvents(
    const std::vector<const char*>& names) const {
    if (!t_->open_event || !t_->wait_events || !t_->close_event) return nullptr;
    std::unique_ptr<Events> events(new Events);
    events->api_ = this;
    for (const char* name : names) {
        void* h = t_->open_event(name);
        if (!h) return nullptr;
        events->handles_.push_back(h);
    }
    return events;
}

TFlexnetApi::Events::~Events() {
    for (void* h : handles_) api_->t_->close_event(h);
}

bool TFlexnetApi::Events::Wait(int milliseconds) {
    return api_->t_->wait_events(handles_.data(), static_cast<int>(handles_.size()),
                                 milliseconds) >= 0;
}

}  // namespace tarvo::devices::flexnet
