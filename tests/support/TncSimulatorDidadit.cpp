#include "tests/support/TncSimulatorDidadit.h"

#include <algorithm>

#include "connection/CrcU.h"
#include "connection/MD5U.h"

namespace tarvo::test {

namespace {

constexpr char kEnd = '\xC0';
constexpr char kEsc = '\xDB';
constexpr std::size_t kMaxInput = 1 << 18;

void Le16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Le32(std::string& out, std::uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}

std::uint32_t ReadLe(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// The value of "KEY=" in CR-ended lines, or "".
std::string Value(std::string_view text, std::string_view key) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\r', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        at = end + 1;
    }
    return {};
}

std::uint32_t Number(const std::string& text, std::uint32_t fallback) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fallback;
    return static_cast<std::uint32_t>(std::stoul(text));
}

}  // namespace

SimDidaditSender::SimDidaditSender(std::string name, std::string data)
    : name_(std::move(name)), data_(std::move(data)), md5_(connection::MD5Of(data_)) {}

std::string SimDidaditSender::Block(std::uint16_t type, std::string_view payload) const {
    std::string body;
    Le16(body, type);
    if (type >= 3 && type <= 7) body.append(reinterpret_cast<const char*>(md5_.data()), 16);
    body.append(payload);
    Le16(body, connection::Crc16(body));
    std::string frame(1, kEnd);
    for (char c : body) {
        if (c == kEnd) {
            frame += kEsc;
            frame += '\xDC';
        } else if (c == kEsc) {
            frame += kEsc;
            frame += '\xDD';
        } else {
            frame += c;
        }
    }
    return frame + kEnd;
}

std::string SimDidaditSender::Announce() {
    std::string info = "FILENAME=" + name_ + "\rSIZE=" + std::to_string(data_.size()) +
                       "\rMD5=" + connection::DigestToHex(md5_) +
                       "\rBLOCKSIZE=1750\rVERSION=0.9.1\r";
    return "#DIDADIT#\r" + Block(1, info);
}

std::string SimDidaditSender::Data(std::uint32_t offset, std::uint32_t length) const {
    std::string out;
    while (length > 0 && offset < data_.size()) {
        const std::uint32_t n =
            std::min({length, blockSize_, static_cast<std::uint32_t>(data_.size()) - offset});
        std::string payload;
        Le32(payload, offset);
        Le16(payload, n);
        payload.append(data_, offset, n);
        out += Block(4, payload);
        offset += n;
        length -= n;
    }
    return out;
}

std::string SimDidaditSender::Handle(std::string_view body) {
    // Undo the escapes and check the CRC; a damaged block is dropped.
    std::string raw;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != kEsc) {
            raw += body[i];
            continue;
        }
        if (++i >= body.size()) return {};
        if (body[i] == '\xDC')
            raw += kEnd;
        else if (body[i] == '\xDD')
            raw += kEsc;
        else
            return {};
    }
    if (raw.size() < 4) return {};
    const std::uint16_t type = static_cast<std::uint16_t>(ReadLe(raw, 0, 2));
    const std::size_t start = type >= 3 && type <= 7 ? 18 : 2;
    if (raw.size() < start + 2) return {};
    if (connection::Crc16(std::string_view(raw).substr(0, raw.size() - 2)) !=
        ReadLe(raw, raw.size() - 2, 2))
        return {};
    const std::string_view payload = std::string_view(raw).substr(start, raw.size() - 2 - start);
    switch (type) {
        case 2: {  // START
            if (state_ != State::Accepted) return {};
            const std::uint32_t offset = Number(Value(payload, "OFFSET"), 0);
            const std::uint32_t size = Number(Value(payload, "BLOCKSIZE"), blockSize_);
            if (size > 0 && size < blockSize_) blockSize_ = size;
            state_ = State::Sending;
            return Data(offset, static_cast<std::uint32_t>(data_.size())) + Block(5, {});
        }
        case 6: {  // REQ
            std::string out;
            for (std::size_t at = 0; at + 8 <= payload.size(); at += 8) {
                const std::uint32_t offset = ReadLe(payload, at, 4);
                const std::uint32_t length = ReadLe(payload, at + 4, 4);
                if (offset > data_.size() || length > data_.size() - offset) {
                    state_ = State::Failed;
                    return Block(3, "101 REQ block with data out of range (offset " +
                                        std::to_string(offset) + ", length " +
                                        std::to_string(length) + ")");
                }
                out += Data(offset, length);
            }
            return out + Block(5, {});
        }
        case 7:  // FINACK
            state_ = State::Finished;
            return {};
        case 9:  // ECHOREQ
            return Block(10, payload);
        case 11:  // ABORT
            state_ = State::Failed;
            return {};
        case 3:  // ERR: a warning when its last two digits are 50 or more
            if (payload.size() < 3 || payload[1] < '5') state_ = State::Failed;
            return {};
        default:
            return {};
    }
}

std::string SimDidaditSender::Receive(std::string_view bytes) {
    in_.append(bytes);
    if (in_.size() > kMaxInput) in_.erase(0, in_.size() - kMaxInput);
    std::string out;
    if (state_ == State::Announced) {
        if (in_.find("#ABORT#\r") != std::string::npos) {
            state_ = State::Failed;
            return {};
        }
        const std::size_t ok = in_.find("#OK#\r");
        if (ok == std::string::npos) return {};
        in_.erase(0, ok + 5);
        state_ = State::Accepted;
    }
    for (std::size_t end; !Done() && (end = in_.find(kEnd)) != std::string::npos;) {
        const std::string body = in_.substr(0, end);
        in_.erase(0, end + 1);
        if (!body.empty()) out += Handle(body);
    }
    return out;
}

}  // namespace tarvo::test
