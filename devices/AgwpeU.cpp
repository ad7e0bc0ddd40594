#include "devices/AgwpeU.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/GlobalU.h"
#include "devices/SsidIteratorU.h"
#include "platform/Pattern.h"

namespace tarvo::devices::agwpe {

namespace {

constexpr std::uint8_t kPidText = 0xF0;

void PutU32(std::string& out, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[offset + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A NUL-terminated field of at most `size` bytes.
std::string Field(std::string_view header, std::size_t offset, std::size_t size) {
    const std::string_view f = header.substr(offset, size);
    return std::string(f.substr(0, f.find('\0')));
}

// "Port1 with name" gives "name"; "Port2 name" gives "name".
std::string PortName(std::string_view item) {
    if (item.substr(0, 4) == "Port") {
        std::size_t i = 4;
        while (i < item.size() && item[i] >= '0' && item[i] <= '9') ++i;
        if (i > 4 && i < item.size() && item[i] == ' ') item.remove_prefix(i + 1);
    }
    if (item.substr(0, 5) == "with ") item.remove_prefix(5);
    return std::string(item);
}

const platform::Pattern* MonitorPattern() {
    // The header up to its time stamp and CR; what follows is the information
    // as it came, every line of it. The words inside <> are read one by one,
    // since engines write them in different orders and forms.
    static const std::optional<platform::Pattern> pattern = platform::Pattern::Compile(
        "^ *([0-9]+):Fm ([A-Z0-9-]+) To ([A-Z0-9-]+) (Via ([A-Z0-9 ,*-]+) |)<([A-Z]+)([^>\\r]*)>"
        "\\[[^\\]\\r]*\\]\\r");
    return pattern ? &*pattern : nullptr;
}

// The count, then each digipeater NUL-padded to 10 bytes, in `slots` fields.
std::string DigiFields(const std::vector<std::string>& digis, std::size_t slots) {
    std::string out(1 + slots * kCallField, '\0');
    const std::size_t n = std::min({digis.size(), kMaxDigis, slots});
    out[0] = static_cast<char>(n);
    for (std::size_t i = 0; i < n; ++i)
        std::memcpy(&out[1 + i * kCallField], digis[i].data(),
                    std::min(digis[i].size(), kCallField - 1));
    return out;
}

int Number(std::string_view digits) {
    long long v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        v = std::min<long long>(v * 10 + (c - '0'), 1 << 30);
    }
    return static_cast<int>(v);
}

}  // namespace

std::string CheckCall(std::string_view call) {
    if (call.size() >= kCallField)
        return "Rufzeichen zu lang (h\xF6"
               "chstens 9 Zeichen): " +
               std::string(call);
    if (call.find('\0') != std::string_view::npos) return "Rufzeichen enth\xE4lt NUL";
    return {};
}

std::string CheckDigis(const std::vector<std::string>& digis) {
    if (digis.size() > kMaxDigis) return "Mehr als 7 Digipeater";
    for (const std::string& d : digis)
        if (std::string e = CheckCall(d); !e.empty()) return e;
    return {};
}

std::string CheckLogin(std::string_view user, std::string_view password) {
    if (user.size() > kLoginField || password.size() > kLoginField)
        return "Benutzername oder Passwort l\xE4nger als 255 Zeichen";
    return {};
}

bool EncodeFrame(const TFrame& frame, std::string& out, std::string& error) {
    error = CheckCall(frame.callFrom);
    if (error.empty()) error = CheckCall(frame.callTo);
    if (error.empty() && frame.data.size() > kMaxDataLen) error = "Daten zu lang";
    if (!error.empty()) return false;
    out.assign(kHeaderSize, '\0');
    out[0] = static_cast<char>(frame.port);
    out[4] = frame.kind;
    out[6] = static_cast<char>(frame.pid);
    std::memcpy(&out[8], frame.callFrom.data(), frame.callFrom.size());
    std::memcpy(&out[18], frame.callTo.data(), frame.callTo.size());
    PutU32(out, 28, static_cast<std::uint32_t>(frame.data.size()));
    out += frame.data;
    return true;
}

void TReader::Append(const std::uint8_t* data, std::size_t size) {
    if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    buffer_.append(reinterpret_cast<const char*>(data), size);
}

void TReader::Clear() {
    buffer_.clear();
    pos_ = 0;
}

TReader::Result TReader::Next(TFrame& frame) {
    const std::string_view rest = std::string_view(buffer_).substr(pos_);
    if (rest.size() < kHeaderSize) return Result::NeedMore;
    const std::uint32_t len = ReadU32(rest, 28);
    if (len > kMaxDataLen) return Result::TooLarge;
    // In 64 bits, so the sum cannot wrap.
    if (static_cast<std::uint64_t>(rest.size()) < kHeaderSize + static_cast<std::uint64_t>(len))
        return Result::NeedMore;
    frame.port = static_cast<std::uint8_t>(rest[0]);
    frame.kind = rest[4];
    frame.pid = static_cast<std::uint8_t>(rest[6]);
    frame.callFrom = Field(rest, 8, kCallField);
    frame.callTo = Field(rest, 18, kCallField);
    frame.data = std::string(rest.substr(kHeaderSize, len));
    pos_ += kHeaderSize + len;
    if (pos_ == buffer_.size()) Clear();
    return Result::Frame;
}

TFrame LoginFrame(std::string_view user, std::string_view password) {
    TFrame f;
    f.kind = 'P';
    f.data.assign(2 * kLoginField, '\0');
    std::memcpy(&f.data[0], user.data(), std::min(user.size(), kLoginField));
    std::memcpy(&f.data[kLoginField], password.data(), std::min(password.size(), kLoginField));
    return f;
}

std::string DigiPayload(const std::vector<std::string>& digis) {
    return DigiFields(digis, kMaxDigis);
}

std::string UIFrame(std::uint8_t port, std::string_view myCall,
                    const std::vector<std::string>& path, std::string_view info, TFrame& out) {
    if (path.empty() || path.front().empty()) return "Kein Ziel";
    const std::vector<std::string> digis(path.begin() + 1, path.end());
    std::string error = CheckCall(myCall);
    if (error.empty()) error = CheckCall(path.front());
    if (error.empty()) error = CheckDigis(digis);
    if (error.empty() && info.size() > kMaxDataLen / 2) error = "Daten zu lang";
    if (!error.empty()) return error;
    out = {};
    out.port = port;
    out.pid = kPidText;
    out.callFrom = std::string(myCall);
    out.callTo = path.front();
    if (digis.empty()) {
        out.kind = 'M';
        out.data = std::string(info);
        return {};
    }
    out.kind = 'V';
    out.data = DigiFields(digis, digis.size()) + std::string(info);
    return {};
}

std::vector<TPortItem> ParsePortList(std::string_view data, std::size_t max) {
    data = data.substr(0, data.find('\0'));
    std::vector<std::string_view> items;
    for (std::size_t start = 0;;) {
        const std::size_t semi = data.find(';', start);
        items.push_back(data.substr(
            start, semi == std::string_view::npos ? std::string_view::npos : semi - start));
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    std::vector<TPortItem> ports;
    if (items.empty()) return ports;
    // The engine may list more items than the ports it has.
    const std::size_t count = static_cast<std::size_t>(Number(items.front()));
    for (std::size_t i = 1; i < items.size() && i <= count && ports.size() < max; ++i) {
        std::string name = PortName(items[i]);
        if (core::TrimControls(name).empty()) continue;
        ports.push_back({static_cast<int>(i - 1), std::move(name)});
    }
    return ports;
}

std::uint8_t DisconnectReason(std::string_view data) {
    const std::string upper = core::AsciiUpper(data);
    if (upper.find("RETRY") != std::string::npos) return 1;
    if (upper.find("BUSY") != std::string::npos) return 2;
    return 0;
}

bool IsOutgoingNotice(std::string_view data) {
    return data.size() > 15 && data[14] == 'W';
}

bool ParseMonitor(std::string_view data, std::int32_t geraet, channels::TMonitorFrame& frame) {
    const platform::Pattern* p = MonitorPattern();
    if (!p) return false;
    const platform::SearchResult r = p->Search(data);
    if (!r) return false;
    const platform::Match& m = *r;
    frame = {};
    frame.Geraet = geraet;
    frame.Port = Number(m.Group(1));
    frame.Von = std::string(m.Group(2));
    frame.An = std::string(m.Group(3));
    std::string via(m.Group(5));
    std::replace(via.begin(), via.end(), ',', ' ');
    frame.Via = std::string(core::TrimControls(via));
    const std::string_view typ = m.Group(6);
    const std::string_view two = typ.substr(0, 2);
    // One engine writes "C" and "D" for SABM and DISC.
    if (typ.substr(0, 1) == "I")
        frame.Typ = channels::kFrameI;
    else if (two == "RR")
        frame.Typ = channels::kFrameRR;
    else if (two == "RN")
        frame.Typ = channels::kFrameRNR;
    else if (two == "RE")
        frame.Typ = channels::kFrameREJ;
    else if (two == "SA" || typ == "C")
        frame.Typ = channels::kFrameSABM;
    else if (two == "DI" || typ == "D")
        frame.Typ = channels::kFrameDISC;
    else if (two == "DM")
        frame.Typ = channels::kFrameDM;
    else if (two == "UA")
        frame.Typ = channels::kFrameUA;
    else if (two == "FR")
        frame.Typ = channels::kFrameFRMR;
    else if (two == "UI")
        frame.Typ = channels::kFrameUI;
    else
        frame.Typ = 0;
    const bool withInfo = frame.Typ == channels::kFrameI || frame.Typ == channels::kFrameUI;

    // Hoch is the command, Vorzeichenform the poll or final bit, as a TNC shows
    // them. Engines name the bit "P", "F" or "PF" (with "=0" or "=1", or as a
    // bare letter), and some add "C" or "R" for command and response.
    std::optional<bool> command;
    bool commandByBit = !(frame.Typ == channels::kFrameUA || frame.Typ == channels::kFrameDM ||
                          frame.Typ == channels::kFrameFRMR);
    bool pidSeen = false;
    std::optional<std::size_t> len;
    const std::string_view words = m.Group(7);
    for (std::size_t pos = 0; pos < words.size();) {
        const std::size_t start = words.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(words.find(' ', start), words.size());
        const std::string_view w = words.substr(start, end - start);
        pos = end;
        const std::size_t eq = w.find('=');
        const std::string_view key = w.substr(0, eq);
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : w.substr(eq + 1);
        const bool set = eq == std::string_view::npos || Number(value) != 0;
        if (w == "C" || w == "R") {
            command = w == "C";
        } else if (key == "P" || key == "F" || key == "PF" || key == "P/F") {
            frame.Vorzeichenform = frame.Vorzeichenform || set;
            if (key == "P") commandByBit = true;
            if (key == "F") commandByBit = false;
        } else if (key.size() >= 2 && key[0] == 'R' && key[1] >= '0' && key[1] <= '9') {
            frame.NR = static_cast<std::uint8_t>(std::min(Number(key.substr(1)), 127));
        } else if (key.size() >= 2 && key[0] == 'S' && key[1] >= '0' && key[1] <= '9') {
            frame.NS = static_cast<std::uint8_t>(std::min(Number(key.substr(1)), 127));
        } else if (key == "pid") {
            std::string_view hex = value;
            if (hex.substr(0, 2) == "0x" || hex.substr(0, 2) == "0X") hex.remove_prefix(2);
            unsigned v = 0;
            for (char c : hex.substr(0, 2)) {
                const int d = (c >= '0' && c <= '9')   ? c - '0'
                              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : -1;
                if (d < 0) break;
                v = v * 16 + static_cast<unsigned>(d);
            }
            frame.PID = static_cast<std::uint8_t>(v);
            pidSeen = true;
        } else if (key == "Len") {
            len = static_cast<std::size_t>(Number(value));
        }
    }
    frame.Hoch = command.value_or(commandByBit);
    if (!withInfo) {
        frame.PID = 0;
        return true;
    }
    // Without a pid the information is text.
    if (!pidSeen) frame.PID = kPidText;
    std::string_view information = data.substr(m.End());
    if (len) {
        information = information.substr(0, *len);
    } else {
        // Without a length the text runs to the end, less the closing NUL.
        while (!information.empty() && information.back() == '\0') information.remove_suffix(1);
    }
    frame.Daten = std::string(information);
    return true;
}

int MaxFrameOfPort(std::string_view data) {
    return data.size() < 7 ? -1 : static_cast<std::uint8_t>(data[6]);
}

int NextLinkFlags(int flags, const channels::TMonitorFrame& frame, bool fromUs) {
    constexpr int kBusy = 0x08, kRemoteBusy = 0x10, kCodeMask = 0x07;
    constexpr int kFrmr = 3, kReject = 6, kPolling = 7;
    int bits = std::max(flags, 0) & (kBusy | kRemoteBusy);
    int code = std::max(flags, 0) & kCodeMask;
    const int busyBit = fromUs ? kBusy : kRemoteBusy;
    switch (frame.Typ) {
        case channels::kFrameSABM:
        case channels::kFrameUA:
            return 0;
        case channels::kFrameFRMR:
            code = kFrmr;
            break;
        case channels::kFrameREJ:
            code = kReject;
            bits &= ~busyBit;
            break;
        case channels::kFrameRNR:
        case channels::kFrameRR:
        case channels::kFrameI: {
            // Our own command with poll: waiting for the other side's answer.
            const bool poll =
                frame.Typ != channels::kFrameI && fromUs && frame.Hoch && frame.Vorzeichenform;
            code = poll ? kPolling : 0;
            if (frame.Typ == channels::kFrameRNR)
                bits |= busyBit;
            else
                bits &= ~busyBit;
            break;
        }
        default:
            return flags;
    }
    return bits | code;
}

std::uint32_t ReadU32(std::string_view data, std::size_t offset) {
    if (data.size() < offset + 4) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(data[offset + static_cast<std::size_t>(i)]);
    return v;
}

bool SameCall(std::string_view a, std::string_view b) {
    const TRufzeichen ra(core::AsciiUpper(core::TrimControls(a)));
    const TRufzeichen rb(core::AsciiUpper(core::TrimControls(b)));
    const int sa = ra.SSID < 0 ? 0 : ra.SSID;
    const int sb = rb.SSID < 0 ? 0 : rb.SSID;
    return ra.Call == rb.Call && sa == sb;
}

}  // namespace tarvo::devices::agwpe
