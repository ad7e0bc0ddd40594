#include "devices/Ax25FrameU.h"

#include <algorithm>

namespace tarvo::devices::ax25 {

namespace {

struct Address {
    std::string call;
    bool cBit = false;  // command/response bit, or "has been repeated" on a digipeater
};

// One 7-byte address field; false when it is not a callsign.
bool ReadAddress(std::string_view field, Address& out, bool& last) {
    std::string call;
    bool ended = false;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b & 1) return false;  // the end mark belongs in the SSID byte only
        const char c = static_cast<char>(b >> 1);
        if (c == ' ') {
            ended = true;
            continue;
        }
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!ok || ended) return false;
        call += c;
    }
    if (call.empty()) return false;
    const auto s = static_cast<unsigned char>(field[6]);
    const int ssid = (s >> 1) & 0x0F;
    if (ssid != 0) call += "-" + std::to_string(ssid);
    out.call = std::move(call);
    out.cBit = (s & 0x80) != 0;
    last = (s & 1) != 0;
    return true;
}

// The protocol identifiers in use; anything else after a one-byte control
// field hints at a two-byte one.
bool IsPid(unsigned char p) {
    switch (p) {
        case 0x01:
        case 0x06:
        case 0x07:
        case 0x08:
        case 0xC3:
        case 0xC4:
        case 0xCA:
        case 0xCB:
        case 0xCC:
        case 0xCD:
        case 0xCE:
        case 0xCF:
        case 0xF0:
        case 0xFF:
            return true;
        default:
            return (p & 0x30) == 0x10 || (p & 0x30) == 0x20;
    }
}

}  // namespace

const TDecoder::Link* TDecoder::FindLink(const std::string& x, const std::string& y) const {
    const std::string& a = std::min(x, y);
    const std::string& b = std::max(x, y);
    for (const Link& l : links_)
        if (l.a == a && l.b == b) return &l;
    return nullptr;
}

void TDecoder::Remember(const std::string& x, const std::string& y, bool extended) {
    const std::string& a = std::min(x, y);
    const std::string& b = std::max(x, y);
    std::erase_if(links_, [&](const Link& l) { return l.a == a && l.b == b; });
    if (links_.size() >= kMaxLinks) links_.erase(links_.begin());
    links_.push_back({a, b, extended});
}

std::string AddressCall(std::string_view field, bool* highBit) {
    Address a;
    bool last = false;
    if (field.size() < kAddressSize || !ReadAddress(field, a, last)) return {};
    if (highBit) *highBit = a.cBit;
    return a.call;
}

bool TDecoder::Decode(std::string_view frame, std::int32_t geraet, std::int32_t port,
                      channels::TMonitorFrame& out) {
    std::vector<Address> addresses;
    std::size_t pos = 0;
    for (bool last = false; !last;) {
        if (addresses.size() >= 2 + kMaxDigis || frame.size() - pos < kAddressSize) return false;
        Address a;
        if (!ReadAddress(frame.substr(pos, kAddressSize), a, last)) return false;
        addresses.push_back(std::move(a));
        pos += kAddressSize;
    }
    if (addresses.size() < 2 || pos >= frame.size()) return false;
    const std::string_view rest = frame.substr(pos);
    const auto c = static_cast<unsigned char>(rest[0]);

    channels::TMonitorFrame f;
    f.Geraet = geraet;
    f.Port = port;
    f.An = addresses[0].call;
    f.Von = addresses[1].call;
    std::size_t lastRepeated = 0;
    for (std::size_t i = 2; i < addresses.size(); ++i)
        if (addresses[i].cBit) lastRepeated = i;
    for (std::size_t i = 2; i < addresses.size(); ++i) {
        if (!f.Via.empty()) f.Via += ' ';
        f.Via += addresses[i].call;
        if (i == lastRepeated) f.Via += '*';
    }

    bool pf = false;
    bool responseKind = false;  // a kind that is only ever a response
    std::size_t info = 0;       // where the PID is, for I and UI; 0 for none
    if ((c & 0x03) == 0x03) {
        pf = (c & 0x10) != 0;
        switch (c & ~0x10 & 0xFF) {
            case 0x2F:
                f.Typ = channels::kFrameSABM;
                Remember(f.Von, f.An, false);
                break;
            case 0x6F:  // SABME: shown as the connect request it is
                f.Typ = channels::kFrameSABM;
                Remember(f.Von, f.An, true);
                break;
            case 0x43:
                f.Typ = channels::kFrameDISC;
                break;
            case 0x0F:
                f.Typ = channels::kFrameDM;
                responseKind = true;
                break;
            case 0x63:
                f.Typ = channels::kFrameUA;
                responseKind = true;
                break;
            case 0x87:
                f.Typ = channels::kFrameFRMR;
                responseKind = true;
                break;
            case 0x03:
                f.Typ = channels::kFrameUI;
                info = 1;
                break;
            default:  // XID, TEST and the like: no kind of the monitor
                f.Typ = 0;
                break;
        }
    } else {
        bool extended;
        if (const Link* l = FindLink(f.Von, f.An)) {
            extended = l->extended;
        } else if ((c & 0x03) == 0x01) {
            extended = rest.size() == 2;
        } else {
            extended = rest.size() >= 3 && !IsPid(static_cast<unsigned char>(rest[1])) &&
                       IsPid(static_cast<unsigned char>(rest[2]));
        }
        if (extended && rest.size() < 2) return false;
        const auto c2 = extended ? static_cast<unsigned char>(rest[1]) : 0;
        if (extended) {
            f.NR = static_cast<std::uint8_t>(c2 >> 1);
            pf = (c2 & 1) != 0;
        } else {
            f.NR = static_cast<std::uint8_t>((c >> 5) & 0x07);
            pf = (c & 0x10) != 0;
        }
        if ((c & 0x01) == 0) {
            f.Typ = channels::kFrameI;
            f.NS = static_cast<std::uint8_t>(extended ? c >> 1 : (c >> 1) & 0x07);
            info = extended ? 2 : 1;
        } else {
            static constexpr std::uint8_t kS[] = {channels::kFrameRR, channels::kFrameRNR,
                                                  channels::kFrameREJ, 0};
            f.Typ = kS[(c >> 2) & 0x03];
        }
    }
    if (info != 0) {
        if (rest.size() <= info) return false;  // an I or UI frame without its PID
        f.PID = static_cast<std::uint8_t>(rest[info]);
        f.Daten = std::string(rest.substr(info + 1));
    }
    // Version 2 marks a command by the C bit of the destination alone; frames of
    // the first version have both bits alike.
    const bool destC = addresses[0].cBit, srcC = addresses[1].cBit;
    f.Hoch = destC != srcC ? destC : !responseKind;
    f.Vorzeichenform = pf;
    out = std::move(f);
    return true;
}

}  // namespace tarvo::devices::ax25
