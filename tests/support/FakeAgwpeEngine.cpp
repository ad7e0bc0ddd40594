#include "tests/support/FakeAgwpeEngine.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/GlobalU.h"
#include "platform/TcpSocket.h"

namespace tarvo::test {

using devices::agwpe::TFrame;
using namespace std::chrono_literals;

namespace {

std::string U32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Encode(const TFrame& f) {
    std::string out, error;
    devices::agwpe::EncodeFrame(f, out, error);
    return out;
}

// One AX.25 address field; `bit` is the C bit, or H on a digipeater.
std::string Address(std::string call, bool bit, bool last) {
    int ssid = 0;
    if (const std::size_t dash = call.find('-'); dash != std::string::npos) {
        ssid = std::atoi(call.c_str() + dash + 1) & 0x0F;
        call.resize(dash);
    }
    call.resize(6, ' ');
    std::string out;
    for (char c : call) out += static_cast<char>(static_cast<unsigned char>(c) << 1);
    out += static_cast<char>(0x60 | (ssid << 1) | (bit ? 0x80 : 0) | (last ? 1 : 0));
    return out;
}

struct Kind {
    const char* name;
    int control;  // with N(R), N(S) and P/F still 0
    bool numbered, info;
};
constexpr Kind kKinds[] = {
    {"UI", 0x03, false, true},     {"I", 0x00, true, true},    {"RR", 0x01, true, false},
    {"RNR", 0x05, true, false},    {"REJ", 0x09, true, false}, {"SABM", 0x2F, false, false},
    {"SABME", 0x6F, false, false}, {"UA", 0x63, false, false}, {"DISC", 0x43, false, false},
    {"DM", 0x0F, false, false},
};

std::string Clock() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[16];
    std::snprintf(text, sizeof text, "[%02d:%02d:%02d]", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

}  // namespace

FakeAgwpeEngine::FakeAgwpeEngine(Options options)
    : options_(std::move(options)), outstanding_(options_.outstanding) {
    std::string error;
    listener_ = platform::TcpListener::Listen(options_.listenPort, error);
    if (!listener_) return;
    port_ = listener_->Port();
    thread_ = std::thread([this] { Run(); });
}

FakeAgwpeEngine::~FakeAgwpeEngine() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (client_) client_->Shutdown();
    }
    if (thread_.joinable()) thread_.join();
}

std::string FakeAgwpeEngine::Notice(const std::string& text) {
    return text + "\r" + std::string(1, '\0');
}

void FakeAgwpeEngine::Run() {
    devices::agwpe::TReader reader;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        std::shared_ptr<platform::TcpStream> client;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            client = client_;
        }
        if (!client) {
            bool refuse;
            {
                std::lock_guard lock(mutex_);
                refuse = refuse_;
            }
            auto accepted = refuse ? nullptr : listener_->Accept(50ms);
            if (refuse) std::this_thread::sleep_for(20ms);
            if (!accepted) continue;
            reader.Clear();
            std::lock_guard lock(mutex_);
            client_ = std::move(accepted);
            ++logins_;
            monitor_ = false;
            changed_.notify_all();
            continue;
        }
        const platform::TcpIo io = client->ReadSome(buffer.data(), buffer.size(), 20ms);
        if (!io.Ok()) {
            std::lock_guard lock(mutex_);
            if (client_ == client) client_.reset();
            changed_.notify_all();
            continue;
        }
        reader.Append(buffer.data(), io.count);
        for (;;) {
            TFrame f;
            const auto r = reader.Next(f);
            if (r != devices::agwpe::TReader::Result::Frame) break;
            {
                std::lock_guard lock(mutex_);
                frames_.push_back(f);
                changed_.notify_all();
            }
            Handle(f);
        }
    }
}

void FakeAgwpeEngine::Handle(const TFrame& f) {
    TFrame reply;
    reply.port = f.port;
    switch (f.kind) {
        case 'G':
            reply.kind = 'G';
            reply.data = options_.portList + std::string(1, '\0');
            SendFrame(reply);
            break;
        case 'R':
            reply.kind = 'R';
            reply.data = U32(options_.versionMajor) + U32(options_.versionMinor);
            SendFrame(reply);
            break;
        case 'm': {
            std::lock_guard lock(mutex_);
            monitor_ = !monitor_;  // a toggle, as real engines do
            break;
        }
        case 'k': {
            std::lock_guard lock(mutex_);
            raw_ = !raw_;
            break;
        }
        case 'g':
            reply.kind = 'g';
            reply.data = options_.portCapabilities;
            SendFrame(reply);
            break;
        case 'M':
        case 'V': {
            FakeMonitorFrame ui;
            ui.port = f.port;
            ui.from = f.callFrom;
            ui.to = f.callTo;
            std::string info = f.data;
            if (f.kind == 'V' && !info.empty()) {
                const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(info[0]), 8);
                for (std::size_t i = 0; i < n && 1 + (i + 1) * 10 <= info.size(); ++i) {
                    const std::string field = info.substr(1 + i * 10, 10);
                    ui.via.push_back(field.substr(0, field.find('\0')));
                }
                info.erase(0, std::min(info.size(), 1 + n * 10));
            }
            ui.info = info;
            ui.own = true;
            Monitor(ui);
            break;
        }
        case 'X':
            reply.kind = 'X';
            reply.callFrom = f.callFrom;
            reply.data = std::string(1, '\1');
            SendFrame(reply);
            break;
        case 'Y': {
            reply.kind = 'Y';
            reply.callFrom = f.callFrom;
            reply.callTo = f.callTo;
            std::lock_guard lock(mutex_);
            reply.data = U32(outstanding_);
            break;
        }
        case 'C':
        case 'v': {
            bool known, busy = false;
            {
                std::lock_guard lock(mutex_);
                const auto it = stations_.find(f.callTo);
                known = it != stations_.end();
                if (known) busy = it->second;
            }
            std::this_thread::sleep_for(options_.linkDelay);
            // Notices come from the remote station to the local one.
            reply.callFrom = f.callTo;
            reply.callTo = f.callFrom;
            if (options_.monitorLinks) {
                Monitor({f.callFrom, f.callTo, {}, "SABM", 0, 0, true, true, {}, true, f.port});
                Monitor({f.callTo,
                         f.callFrom,
                         {},
                         known && !busy ? "UA" : "DM",
                         0,
                         0,
                         false,
                         true,
                         {},
                         false,
                         f.port});
            }
            if (known && !busy) {
                reply.kind = 'C';
                reply.data = Notice("*** CONNECTED With Station " + f.callTo);
                SendFrame(reply);
                linkSequence_[f.callTo] = 0;
                if (options_.greeting)
                    if (const std::string g = options_.greeting(f.callTo); !g.empty())
                        StationSend(f.callTo, f.callFrom, g, f.port);
                break;
            }
            reply.kind = 'd';
            reply.data = Notice(busy ? "*** " + f.callTo + " busy, DISCONNECTED"
                                     : "*** DISCONNECTED RETRYOUT With " + f.callTo);
            SendFrame(reply);
            break;
        }
        case 'D': {
            std::vector<std::string> lines;
            {
                std::lock_guard lock(mutex_);
                std::string& r = received_[f.callTo];
                r += f.data;
                if (r.size() > (1u << 20)) r.erase(0, r.size() - (1u << 20));
                changed_.notify_all();
                // Whole lines, for a station that answers them.
                std::string& p = partial_[f.callTo];
                p += f.data;
                for (std::size_t cr; (cr = p.find('\r')) != std::string::npos; p.erase(0, cr + 1))
                    lines.push_back(p.substr(0, cr));
                if (p.size() > 4096) p.clear();
            }
            if (options_.monitorLinks) {
                int& seq = linkSequence_[f.callTo];
                Monitor(
                    {f.callFrom, f.callTo, {}, "I", seq & 7, 0, true, false, f.data, true, f.port});
                seq += 1;
                Monitor(
                    {f.callTo, f.callFrom, {}, "RR", 0, seq & 7, false, false, {}, false, f.port});
            }
            if (options_.answer) {
                for (const std::string& line : lines) {
                    bool end = false;
                    if (const std::string a = options_.answer(f.callTo, line, end); !a.empty())
                        StationSend(f.callTo, f.callFrom, a, f.port);
                    if (end) {
                        if (options_.monitorLinks)
                            Monitor({f.callTo,
                                     f.callFrom,
                                     {},
                                     "DISC",
                                     0,
                                     0,
                                     true,
                                     true,
                                     {},
                                     false,
                                     f.port});
                        StationDisconnect(f.callTo, f.callFrom, f.port);
                        break;
                    }
                }
            }
            break;
        }
        case 'd':
            if (options_.monitorLinks) {
                Monitor({f.callFrom, f.callTo, {}, "DISC", 0, 0, true, true, {}, true, f.port});
                Monitor({f.callTo, f.callFrom, {}, "UA", 0, 0, false, true, {}, false, f.port});
            }
            reply.kind = 'd';
            reply.callFrom = f.callTo;
            reply.callTo = f.callFrom;
            reply.data = Notice("*** DISCONNECTED From Station " + f.callTo);
            SendFrame(reply);
            break;
        default:
            break;
    }
    if (f.kind == 'Y') SendFrame(reply);
}

void FakeAgwpeEngine::Write(const std::string& bytes) {
    std::shared_ptr<platform::TcpStream> client;
    {
        std::lock_guard lock(mutex_);
        client = client_;
    }
    if (!client) return;
    std::lock_guard lock(writeMutex_);
    const std::size_t step = options_.splitEvery ? options_.splitEvery : bytes.size();
    for (std::size_t pos = 0; pos < bytes.size(); pos += step) {
        const std::size_t n = std::min(step, bytes.size() - pos);
        client->Write(reinterpret_cast<const std::uint8_t*>(bytes.data() + pos), n, 2s);
        if (options_.splitEvery) std::this_thread::sleep_for(2ms);
    }
}

bool FakeAgwpeEngine::MonitorOn() const {
    std::lock_guard lock(mutex_);
    return monitor_;
}

void FakeAgwpeEngine::Monitor(const FakeMonitorFrame& m) {
    bool raw;
    {
        std::lock_guard lock(mutex_);
        if (!monitor_) return;
        raw = raw_;
    }
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (m.type == k.name) kind = &k;
    if (!kind) return;
    const bool response = !m.command;
    int control = kind->control | (m.pollFinal ? 0x10 : 0);
    if (kind->numbered) control |= (m.nr & 7) << 5;
    if (m.type == "I") control |= (m.ns & 7) << 1;

    // The text, in the recorded engine's words.
    std::string words = " <";
    words += m.type;
    if (m.type == "I")
        words += " S" + std::to_string(m.ns) + " R" + std::to_string(m.nr);
    else if (kind->numbered)
        words += " R" + std::to_string(m.nr);
    if (kind->info)
        words += std::string(" pid=") + (m.type == "I" ? "0xF0" : "F0") +
                 " Len=" + std::to_string(m.info.size());
    words += m.type == "UI" ? " PF=" : response ? " F=" : " P=";
    words += m.pollFinal ? "1" : "0";
    words += " >";
    std::string text = " " + std::to_string(m.port + 1) + ":Fm " + m.from + " To " + m.to;
    if (!m.via.empty()) {
        text += " Via ";
        for (std::size_t i = 0; i < m.via.size(); ++i) text += (i ? "," : "") + m.via[i];
    }
    text += words.substr(0) + Clock() + "\r";
    if (kind->info) text += m.info + "\r";
    text += std::string(1, '\0');

    if (raw && !m.own) {
        std::string ax25 =
            Address(m.to, !response, false) + Address(m.from, response, m.via.empty());
        for (std::size_t i = 0; i < m.via.size(); ++i) {
            std::string d = m.via[i];
            const bool repeated = !d.empty() && d.back() == '*';
            if (repeated) d.pop_back();
            ax25 += Address(d, repeated, i + 1 == m.via.size());
        }
        ax25 += static_cast<char>(control);
        if (kind->info) ax25 += "\xf0" + m.info;
        TFrame k;
        k.kind = 'K';
        k.port = m.port;
        k.callFrom = m.from;
        k.callTo = m.to;
        k.data = std::string(1, static_cast<char>(m.port)) + ax25;
        SendFrame(k);
    }
    TFrame t;
    t.kind = m.own ? 'T' : m.type == "UI" ? 'U' : m.type == "I" ? 'I' : 'S';
    t.port = m.port;
    t.callFrom = m.from;
    t.callTo = m.to;
    t.data = text;
    SendFrame(t);
}

void FakeAgwpeEngine::SendRaw(const std::string& bytes) {
    Write(bytes);
}

void FakeAgwpeEngine::SendFrame(const TFrame& frame) {
    Write(Encode(frame));
}

std::vector<TFrame> FakeAgwpeEngine::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::size_t FakeAgwpeEngine::FrameCount() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

std::optional<TFrame> FakeAgwpeEngine::WaitForFrame(const std::function<bool(const TFrame&)>& match,
                                                    std::chrono::milliseconds timeout,
                                                    std::size_t from) const {
    std::unique_lock lock(mutex_);
    std::optional<TFrame> found;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = from; i < frames_.size(); ++i) {
            if (match(frames_[i])) {
                found = frames_[i];
                return true;
            }
        }
        from = frames_.size();
        return false;
    });
    return found;
}

bool FakeAgwpeEngine::Connected() const {
    std::lock_guard lock(mutex_);
    return client_ != nullptr;
}

bool FakeAgwpeEngine::WaitForClient(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return client_ != nullptr; });
}

int FakeAgwpeEngine::Logins() const {
    std::lock_guard lock(mutex_);
    return logins_;
}

void FakeAgwpeEngine::AddStation(const std::string& call, bool busy) {
    std::lock_guard lock(mutex_);
    stations_[call] = busy;
}

std::string FakeAgwpeEngine::StationReceived(const std::string& call) const {
    std::lock_guard lock(mutex_);
    const auto it = received_.find(call);
    return it == received_.end() ? std::string() : it->second;
}

void FakeAgwpeEngine::IncomingConnect(const std::string& from, const std::string& to,
                                      std::uint8_t port) {
    TFrame f;
    f.kind = 'C';
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = Notice("*** CONNECTED To Station " + from);
    SendFrame(f);
}

void FakeAgwpeEngine::StationSend(const std::string& from, const std::string& to,
                                  const std::string& data, std::uint8_t port) {
    TFrame f;
    f.kind = 'D';
    f.port = port;
    f.pid = 0xF0;
    f.callFrom = from;
    f.callTo = to;
    f.data = data;
    if (options_.monitorLinks) Monitor({from, to, {}, "I", 0, 0, true, false, data, false, port});
    SendFrame(f);
}

void FakeAgwpeEngine::StationDisconnect(const std::string& from, const std::string& to,
                                        std::uint8_t port, const std::string& text) {
    TFrame f;
    f.kind = 'd';
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = Notice(text.empty() ? "*** DISCONNECTED From Station " + from : text);
    SendFrame(f);
}

void FakeAgwpeEngine::SetOutstanding(std::uint32_t n) {
    std::lock_guard lock(mutex_);
    outstanding_ = n;
}

void FakeAgwpeEngine::CloseClient(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
    if (client_) client_->Shutdown();
    client_.reset();
    changed_.notify_all();
}

void FakeAgwpeEngine::AcceptAgain() {
    std::lock_guard lock(mutex_);
    refuse_ = false;
}

}  // namespace tarvo::test
