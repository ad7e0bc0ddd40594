#include "devices/HostmodeU.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "core/GlobalU.h"
#include "core/InterfacesU.h"

namespace tarvo::devices::hostmode {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && core::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Reads exactly n bytes unless the transport fails or times out.
bool ReadSome(ITransport& t, std::uint8_t* buffer, std::size_t n, std::size_t& got) {
    got = 0;
    while (got < n) {
        std::size_t r = 0;
        if (!t.Read(buffer + got, n - got, r)) return false;
        if (r == 0) return true;  // time-out
        got += r;
    }
    return true;
}

// One byte: 1 read, 0 time-out, -1 failure.
int ReadByte(ITransport& t, std::uint8_t& b) {
    std::size_t got = 0;
    if (!ReadSome(t, &b, 1, got)) return -1;
    return got == 1 ? 1 : 0;
}

void Fail(TExchangeFailure& failure, bool& ok, const char* step, std::string message = {}) {
    // The first failure names the exchange; later steps still run.
    if (ok) {
        failure.step = step;
        failure.message = std::move(message);
    }
    ok = false;
}

}  // namespace

bool Exchange(ITransport& transport, int kanal, bool befehl, std::string_view text, TReply& reply,
              TExchangeFailure& failure) {
    reply.code = kReplyFailed;
    reply.text.clear();
    failure = {};
    if (kanal < 0 || kanal > kMaxChannel) {
        failure = {"0", "Kanal " + std::to_string(kanal) + " ung\xFCltig", true};
        return false;
    }
    if (text.size() > kMaxFrameText) {
        failure = {"0", "Befehl zu lang (" + std::to_string(text.size()) + " Bytes)", true};
        return false;
    }
    if (text.empty()) {
        reply.code = kReplyOk;
        return true;
    }

    bool ok = true;
    const std::uint8_t header[3] = {static_cast<std::uint8_t>(kanal),
                                    static_cast<std::uint8_t>(befehl ? 1 : 0),
                                    static_cast<std::uint8_t>(text.size() - 1)};
    std::size_t written = 0;
    if (!transport.Write(header, 3, written))
        Fail(failure, ok, "1a");
    else if (written != 3)
        Fail(failure, ok, "1b");
    written = 0;
    const auto* body = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!transport.Write(body, text.size(), written))
        Fail(failure, ok, "2a");
    else if (written != text.size())
        Fail(failure, ok, "2b");

    std::uint8_t b = 0;
    int r = ReadByte(transport, b);  // the channel, not compared with ours
    if (r < 0) {
        Fail(failure, ok, "3a");
        return false;
    }
    if (r == 0) {
        Fail(failure, ok, "3b");
        return false;
    }
    r = ReadByte(transport, b);
    if (r < 0) {
        Fail(failure, ok, "4a");
        return false;
    }
    if (r == 0) {
        Fail(failure, ok, "4b");
        return false;
    }
    reply.code = b;
    switch (b) {
        case kReplyOk:
            break;
        case kReplyMessage:
        case kReplyError:
        case kReplyLinkStatus:
        case kReplyMonitorHeader:
        case kReplyMonitorHeaderInfo: {
            // At most 255 text bytes and their NUL.
            for (std::size_t i = 0;; ++i) {
                r = ReadByte(transport, b);
                if (r < 0) {
                    Fail(failure, ok, "5a");
                    return false;
                }
                if (r == 0) {
                    Fail(failure, ok, "5b");
                    return false;
                }
                if (b == 0) break;
                if (i + 1 >= kMaxFrameText) {
                    Fail(failure, ok, "5c", "Mehr als 256 Bytes gelesen");
                    return false;
                }
                reply.text.push_back(static_cast<char>(b));
            }
            break;
        }
        case kReplyMonitorInfo:
        case kReplyData: {
            r = ReadByte(transport, b);
            if (r < 0) {
                Fail(failure, ok, "6a");
                return false;
            }
            if (r == 0) {
                Fail(failure, ok, "6b");
                return false;
            }
            const std::size_t n = static_cast<std::size_t>(b) + 1;
            std::uint8_t data[kMaxFrameText];
            std::size_t got = 0;
            const bool readOk = ReadSome(transport, data, n, got);
            reply.text.assign(reinterpret_cast<const char*>(data), got);
            if (!readOk) {
                Fail(failure, ok, "7a");
                return false;
            }
            if (got != n) {
                Fail(failure, ok, "7b", std::to_string(got) + " <> " + std::to_string(n));
                return false;
            }
            break;
        }
        default:
            Fail(failure, ok, "8", "Falsches Byte empfangen");
            return false;
    }
    return ok;
}

std::string ClassifyVersion(std::string_view version) {
    const std::string upper = core::AsciiUpper(version);
    if (upper.find("TNC2") != std::string::npos) return "TNC2";
    if (upper.find("TURBO-FIRMWARE") != std::string::npos) return "TNC3";
    if (upper.find("PTC-II") != std::string::npos) return "PTC-II";
    return "Hostmode";
}

std::string ModemText(std::string_view reply) {
    std::string s;
    for (char c : reply)
        if (c != '\r') s.push_back(c);
    const std::size_t pos = s.find("settings: ");
    if (pos != std::string::npos) s.erase(0, pos + 10);
    if (s.rfind("SCS - ", 0) == 0) s.erase(0, 6);
    if (s.rfind("NO MODEM", 0) == 0) return {};
    return s;
}

std::optional<int> ParseNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;  // saturate, keep going
    }
    if (negative) return v > INT_MAX ? INT_MIN : static_cast<int>(-v);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

TLinkValues ParseLinkValues(std::string_view text) {
    int v[6] = {0, 0, 0, 0, 0, 0};
    std::size_t pos = 0;
    for (int& n : v) {
        while (pos < text.size() && text[pos] == ' ') ++pos;
        if (pos >= text.size()) break;
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        n = ParseNumber(text.substr(pos, end - pos)).value_or(0);
        pos = end;
    }
    return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

int LinkStateFlags(int state) {
    int flags = 0;
    switch (state) {
        case 2:
            flags = 3;
            break;
        case 5:
        case 13:
        case 14:
        case 15:
            flags = 6;
            break;
        case 6:
        case 10:
        case 11:
        case 12:
            flags = 7;
            break;
        default:
            break;
    }
    switch (state) {
        case 7:
        case 9:
        case 10:
        case 12:
        case 13:
        case 15:
            flags |= 8;
            break;
        default:
            break;
    }
    switch (state) {
        case 8:
        case 9:
        case 11:
        case 12:
        case 14:
        case 15:
            flags |= 16;
            break;
        default:
            break;
    }
    return flags;
}

int FrackFromReply(int value, bool scaled) {
    if (scaled) value /= 10;
    return value > 10 ? (value + 5) / 10 : 1;
}

namespace {

// Removes the first " via" and keeps the blank after it.
std::string RemoveVia(std::string s) {
    const std::size_t pos = s.find(" via");
    if (pos != std::string::npos) s.erase(pos, 4);
    return s;
}

}  // namespace

std::string GetConnectPath(std::string_view text) {
    std::string s(text);
    if (s.size() > 2 && s[1] == ':') s.erase(0, 2);
    const std::size_t dash = s.find(" -");
    if (dash != std::string::npos) s.erase(dash);
    s = RemoveVia(std::move(s));
    return std::string(core::TrimControls(s));
}

std::optional<std::string> PathFromCReply(std::string_view reply) {
    std::string s(reply);
    const std::size_t colon = s.find(':');
    if (colon != std::string::npos && colon < 8) s.erase(0, colon + 1);
    if (!s.empty() && s[0] == ' ') s.erase(0, 1);
    if (StartsWithNoCase(s, "CHANNEL NO") || s.rfind("***", 0) == 0) return std::nullopt;
    return RemoveVia(std::move(s));
}

namespace {

// "1:dl1abc via db0xyz" -> {"DL1ABC", "DB0XYZ"}.
std::vector<std::string> PathWords(std::string_view path) {
    std::vector<std::string> words;
    std::string word;
    const auto flush = [&] {
        if (word.empty()) return;
        if (words.empty()) {
            const std::size_t colon = word.find(':');
            if (colon != std::string::npos) word.erase(0, colon + 1);
        }
        if (!word.empty() && word != "VIA" && word != "V") words.push_back(word);
        word.clear();
    };
    for (char c : path) {
        if (c == ' ' || c == ',') {
            flush();
        } else {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    flush();
    return words;
}

}  // namespace

bool SameLink(std::uint8_t state, std::string_view realPath, std::string_view tncPath) {
    if (state >= core::kLinkConnected) return realPath == tncPath;
    return !tncPath.empty() && PathWords(realPath) == PathWords(tncPath);
}

TLinkStatus ParseLinkStatus(std::string_view text) {
    std::string_view s = text;
    const std::size_t colon = s.find(':');
    if (colon != std::string_view::npos && colon < 6) s.remove_prefix(colon + 1);
    if (!s.empty() && s[0] == '(') {
        const std::size_t space = s.find(' ');
        s = space == std::string_view::npos ? std::string_view{} : s.substr(space + 1);
    }
    static constexpr std::pair<std::string_view, TLinkEvent> kPrefixes[] = {
        {"BUSY fm", TLinkEvent::Busy},
        {"CONNECTED to", TLinkEvent::Connected},
        {"LINK RESET fm", TLinkEvent::LinkResetFrom},
        {"LINK RESET to", TLinkEvent::LinkResetTo},
        {"DISCONNECTED fm", TLinkEvent::Disconnected},
        {"LINK FAILURE with", TLinkEvent::LinkFailure},
        {"CONNECT REQUEST fm", TLinkEvent::ConnectRequest},
        {"FRAME REJECT", TLinkEvent::FrameReject},
    };
    for (const auto& [prefix, event] : kPrefixes) {
        if (!StartsWithNoCase(s, prefix)) continue;
        const std::size_t skip = prefix.size() + 1;
        return {event, skip < s.size() ? std::string(s.substr(skip)) : std::string()};
    }
    return {};
}

std::vector<std::string> MonitorCommands(std::int32_t options) {
    if ((options & (kMonStatus | kMonInfo | kMonUI)) == 0) return {"MN"};
    std::string m = "M";
    if (options & kMonInfo) m += 'I';
    if (options & kMonUI) m += 'U';
    if (options & kMonStatus) m += 'S';
    return {"M-", m};
}

bool ParseMonitorHeader(std::string_view text, std::int32_t geraet,
                        channels::TMonitorFrame& frame) {
    if (text.size() < 9) return false;
    frame.Port = (text[1] == ':' && text[0] >= '0' && text[0] <= '9') ? text[0] - '0' : 0;
    frame.Geraet = geraet;
    std::string_view s = text;
    // Cuts s after the first `key`; everything when it is missing.
    const auto dropThrough = [&s](std::string_view key) {
        const std::size_t pos = s.find(key);
        s = pos == std::string_view::npos ? std::string_view{} : s.substr(pos + key.size());
    };
    // The text up to the next blank, and s after that blank.
    const auto word = [&s] {
        const std::size_t pos = s.find(' ');
        std::string w(s.substr(0, pos));
        s = pos == std::string_view::npos ? std::string_view{} : s.substr(pos + 1);
        return w;
    };
    dropThrough("fm ");
    frame.Von = word();
    dropThrough("to ");
    frame.An = word();
    frame.Via.clear();
    if (s.find("via ") != std::string_view::npos) {
        dropThrough("via ");
        const std::size_t ctl = s.find(" ctl ");
        frame.Via = std::string(s.substr(0, ctl));
        s = ctl == std::string_view::npos ? std::string_view{} : s.substr(ctl + 1);
    }
    dropThrough("ctl ");
    if (s.size() < 2) return false;

    const auto digit = [](char c) { return static_cast<std::uint8_t>(c - '0'); };
    frame.NR = 0;
    frame.NS = 0;
    std::size_t drop = 0;
    const std::string_view two = s.substr(0, 2);
    if (s[0] == 'I') {
        frame.Typ = channels::kFrameI;
        if (s.size() > 2) {
            frame.NR = digit(s[1]);
            frame.NS = digit(s[2]);
        }
        drop = 3;
    } else if (two == "RR") {
        frame.Typ = channels::kFrameRR;
        if (s.size() > 2) frame.NR = digit(s[2]);
        drop = 3;
    } else if (two == "RN") {
        // "RNR<n>": the number after the three letters.
        frame.Typ = channels::kFrameRNR;
        if (s.size() > 3) frame.NR = digit(s[3]);
        drop = 4;
    } else if (two == "RE") {
        frame.Typ = channels::kFrameREJ;
        if (s.size() > 3) frame.NR = digit(s[3]);
        drop = 4;
    } else if (two == "SA") {
        frame.Typ = channels::kFrameSABM;
        drop = 4;
    } else if (two == "DI") {
        frame.Typ = channels::kFrameDISC;
        drop = 4;
    } else if (two == "DM") {
        frame.Typ = channels::kFrameDM;
        drop = 2;
    } else if (two == "UA") {
        frame.Typ = channels::kFrameUA;
        drop = 2;
    } else if (two == "FR") {
        frame.Typ = channels::kFrameFRMR;
        drop = 4;
    } else if (two == "UI") {
        frame.Typ = channels::kFrameUI;
        drop = 2;
    } else {
        return false;
    }
    s = drop < s.size() ? s.substr(drop) : std::string_view{};
    if (s.empty()) return false;
    switch (s[0]) {
        case '+':
        case '-':
            frame.Hoch = s[0] == '+';
            frame.Vorzeichenform = true;
            break;
        case '^':
        case 'v':
            frame.Hoch = s[0] == '^';
            frame.Vorzeichenform = false;
            break;
        default:
            break;
    }
    s.remove_prefix(1);
    frame.PID = 0;
    const std::size_t pid = s.find("pid ");
    if (pid != std::string_view::npos) {
        unsigned value = 0;
        bool hex = pid + 6 <= s.size();
        for (std::size_t i = pid + 4; hex && i < pid + 6; ++i) {
            const char c = s[i];
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            if (d < 0) hex = false;
            value = value * 16 + static_cast<unsigned>(d);
        }
        frame.PID = hex ? static_cast<std::uint8_t>(value) : 0;
    }
    frame.DAMA = s.find("[DAMA]") != std::string_view::npos;
    frame.Reserve = 0;
    frame.Darstellung = 0;
    return true;
}

bool IsIgnoredInitCommand(std::string_view line) {
    if (line.empty()) return false;
    switch (core::AsciiUpper(line[0])) {
        case 'C':
        case 'D':
        case 'I':
        case 'M':
        case 'Q':
        case 'Y':
            return true;
        default:
            return false;
    }
}

std::string JoinCommandLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += core::TrimControls(line);
        out.push_back('\0');
    }
    return out;
}

std::vector<std::string> SplitCommandLines(std::string_view stored) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t pos; (pos = stored.find('\0', start)) != std::string_view::npos;
         start = pos + 1)
        lines.emplace_back(stored.substr(start, pos - start));
    return lines;
}

}  // namespace tarvo::devices::hostmode
