#include "connection/VerbindungDidaditU.h"

#include <algorithm>
#include <array>
#include <limits>

#include "connection/CrcU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"

namespace tarvo::connection {

namespace {

constexpr std::size_t kPieceSize = 256;
// An ERR text from the remote is shown in the channel; longer ones are cut.
constexpr std::size_t kMaxShownErrorText = 200;

struct TErrorText {
    int code;
    std::string_view text;
};

constexpr std::array<TErrorText, 15> kErrorTexts{{
    {100, "Unexpected block type (%s)"},
    {101, "REQ block with data out of range (offset %d, length %d)"},
    {102, "MD5 validation error"},
    {103, "PARTMD5 format error"},
    {104, "Invalid offset/blocksize"},
    {150, "Block type not implemented (%d)"},
    {200, "Illegal line in INFO block"},
    {201, "Illegal line in START block"},
    {202, "INFO block without MD5 info"},
    {203, "Empty file or missing size info in INFO block"},
    {204, "INFO block without BLOCKSIZE info"},
    {205, "INFO block without FILENAME info"},
    {206, "Block corrupt"},
    {208, "Compression type not supported"},
    {300, "Could not create file"},
}};

// Appends the bytes, each 0xC0 and 0xDB escaped.
void AppendEscaped(std::string& out, std::string_view in) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != kFrameEnd && c != kFrameEscape) continue;
        out.append(in.data() + from, i - from);
        out += kFrameEscape;
        out += c == kFrameEnd ? kEscapedEnd : kEscapedEscape;
        from = i + 1;
    }
    out.append(in.data() + from, in.size() - from);
}

std::string ThreeDigits(int code) {
    std::string digits = std::to_string(code < 0 ? -code : code);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return code < 0 ? "-" + digits : digits;
}

}  // namespace

// --- Wire helpers ---------------------------------------------------------------

void PutLe16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void PutLe32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint16_t GetLe16(std::string_view in, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(in[at]) |
                                      static_cast<std::uint8_t>(in[at + 1]) << 8);
}

std::uint32_t GetLe32(std::string_view in, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(in[at + static_cast<std::size_t>(i)]);
    return value;
}

// --- Blocks ----------------------------------------------------------------------

void EncodeDidaditBlock(std::uint16_t type, const MD5Digest& identity, std::string_view payload,
                        std::string& frame) {
    std::string head;
    PutLe16(head, type);
    if (BlockHasIdentity(type)) head.append(reinterpret_cast<const char*>(identity.data()), 16);
    std::uint16_t crc = kCrc16Start;
    Crc16Update(head, crc);
    Crc16Update(payload, crc);
    std::string tail;
    PutLe16(tail, crc);
    frame.reserve(frame.size() + 2 + 2 * (head.size() + payload.size() + tail.size()));
    frame += kFrameEnd;
    AppendEscaped(frame, head);
    AppendEscaped(frame, payload);
    AppendEscaped(frame, tail);
    frame += kFrameEnd;
}

std::string EncodeDidaditBlock(std::uint16_t type, const MD5Digest& identity,
                               std::string_view payload) {
    std::string frame;
    EncodeDidaditBlock(type, identity, payload, frame);
    return frame;
}

bool DecodeDidaditBlock(std::string_view body, TDidaditBlock& block) {
    if (body.size() <= 3) return false;
    std::string& raw = block.payload;
    raw.clear();
    raw.reserve(body.size());
    std::size_t from = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != kFrameEscape) continue;
        if (i + 1 >= body.size()) return false;
        const char next = body[i + 1];
        if (next != kEscapedEnd && next != kEscapedEscape) return false;
        raw.append(body.data() + from, i - from);
        raw += next == kEscapedEnd ? kFrameEnd : kFrameEscape;
        from = i + 2;
        ++i;
    }
    raw.append(body.data() + from, body.size() - from);
    if (raw.size() < 4) return false;
    const std::uint16_t type = GetLe16(raw, 0);
    const std::size_t start = BlockHasIdentity(type) ? 18 : 2;
    if (raw.size() < start + 2) return false;
    const std::size_t crcAt = raw.size() - 2;
    std::uint16_t crc = kCrc16Start;
    Crc16Update(reinterpret_cast<const std::uint8_t*>(raw.data()), crcAt, crc);
    if (crc != GetLe16(raw, crcAt)) return false;
    block.type = type;
    block.identity.fill(0);
    if (BlockHasIdentity(type)) std::copy_n(raw.begin() + 2, 16, block.identity.begin());
    raw.resize(crcAt);
    raw.erase(0, start);
    return true;
}

std::optional<TDidaditBlock> DecodeDidaditBlock(std::string_view body) {
    TDidaditBlock block;
    if (!DecodeDidaditBlock(body, block)) return std::nullopt;
    return block;
}

// --- Splitter --------------------------------------------------------------------

void TDidaditSplitter::Append(std::string_view data) {
    if (offset_ > 0 && offset_ >= buffer_.size() / 2) {
        buffer_.erase(0, offset_);
        offset_ = 0;
    }
    buffer_.append(data);
}

std::optional<std::string_view> TDidaditSplitter::Next() {
    for (;;) {
        const std::size_t start = offset_;
        const std::size_t end = buffer_.find(kFrameEnd, start + scanned_);
        if (end == std::string::npos) {
            scanned_ = buffer_.size() - start;
            if (discarding_ || scanned_ > kMaxFrameBody) {
                if (!discarding_) ++overruns_;
                discarding_ = true;
                offset_ = buffer_.size();
                scanned_ = 0;
            }
            return std::nullopt;
        }
        offset_ = end + 1;
        scanned_ = 0;
        if (discarding_) {
            discarding_ = false;
            continue;
        }
        if (end == start) continue;
        if (end - start > kMaxFrameBody) {
            ++overruns_;
            continue;
        }
        return std::string_view(buffer_).substr(start, end - start);
    }
}

std::string TDidaditSplitter::TakeRest() {
    std::string rest = discarding_ ? std::string() : buffer_.substr(offset_);
    Clear();
    return rest;
}

void TDidaditSplitter::Clear() {
    buffer_.clear();
    offset_ = 0;
    scanned_ = 0;
    discarding_ = false;
}

// --- Errors ----------------------------------------------------------------------

std::string_view DidaditErrorTemplate(int code) {
    for (const TErrorText& e : kErrorTexts)
        if (e.code == code) return e.text;
    return "Unknown Error";
}

std::string DidaditErrorString(int code, const TDidaditErrorArgs& args) {
    const std::string_view text = DidaditErrorTemplate(code);
    std::string out = ThreeDigits(code) + " ";
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char kind = text[++i];
        if (next >= args.size()) return ThreeDigits(code);
        const TDidaditErrorArg& arg = args[next++];
        if (kind == 'd' && std::holds_alternative<std::int64_t>(arg)) {
            out += std::to_string(std::get<std::int64_t>(arg));
        } else if (kind == 's' && std::holds_alternative<std::string>(arg)) {
            out += std::get<std::string>(arg);
        } else {
            return ThreeDigits(code);
        }
    }
    if (next != args.size()) return ThreeDigits(code);
    return out;
}

std::string DidaditErrorString(int code) {
    return DidaditErrorString(code, {});
}

bool DidaditErrIsWarning(std::string_view text) {
    const auto code = ParseDidaditNumber(text.substr(0, text.find(' ')));
    if (!code) return false;
    const std::int64_t magnitude = *code < 0 ? -*code : *code;
    return magnitude % 100 >= 50;
}

// --- Payloads --------------------------------------------------------------------

std::vector<std::pair<std::string, std::string>> ParseDidaditLines(std::string_view payload) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::size_t at = 0;
    while (at < payload.size()) {
        std::size_t end = payload.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = payload.size();
        const std::string_view line = payload.substr(at, end - at);
        at = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key = core::AsciiUpper(core::TrimControls(line.substr(0, eq)));
        if (key.empty()) continue;
        lines.emplace_back(key, std::string(core::TrimControls(line.substr(eq + 1))));
    }
    return lines;
}

std::optional<std::int64_t> ParseDidaditNumber(std::string_view text) {
    text = core::TrimControls(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::optional<TDidaditData> ParseDidaditData(std::string_view payload) {
    if (payload.size() < 6) return std::nullopt;
    TDidaditData data;
    data.offset = static_cast<std::int32_t>(GetLe32(payload, 0));
    data.length = GetLe16(payload, 4);
    if (payload.size() - 6 < data.length) return std::nullopt;
    data.bytes = payload.substr(6, data.length);
    return data;
}

std::string DidaditDataPayload(std::int32_t offset, std::string_view bytes) {
    std::string payload;
    payload.reserve(6 + bytes.size());
    PutLe32(payload, static_cast<std::uint32_t>(offset));
    PutLe16(payload, static_cast<std::uint16_t>(bytes.size()));
    payload.append(bytes);
    return payload;
}

std::optional<std::vector<TDidaditRequest>> ParseDidaditRequests(std::string_view payload) {
    if (payload.size() % 8 != 0) return std::nullopt;
    std::vector<TDidaditRequest> requests;
    requests.reserve(payload.size() / 8);
    for (std::size_t at = 0; at < payload.size(); at += 8) {
        requests.push_back({static_cast<std::int32_t>(GetLe32(payload, at)),
                            static_cast<std::int64_t>(GetLe32(payload, at + 4))});
    }
    return requests;
}

std::string DidaditRequestPayload(const std::vector<TDidaditRequest>& requests) {
    std::string payload;
    for (const TDidaditRequest& r : requests) {
        PutLe32(payload, static_cast<std::uint32_t>(r.offset));
        PutLe32(payload, static_cast<std::uint32_t>(r.length));
    }
    return payload;
}

// --- The module base -------------------------------------------------------------

TVerbindungDidadit::TVerbindungDidadit(TVerbindungAbstract* parent,
                                       std::shared_ptr<core::IVerbindungFuerModul> connection,
                                       TDidaditContext context)
    : TVerbindungAbstract(parent, std::move(connection)), context_(context) {}

std::string TVerbindungDidadit::EncodeBlock(std::uint16_t type, std::string_view payload) const {
    return EncodeDidaditBlock(type, identity_, payload);
}

bool TVerbindungDidadit::DecodeBlock(std::string_view body, TDidaditBlock& block) {
    return DecodeDidaditBlock(body, block);
}

std::string TVerbindungDidadit::ErrorString(int code, const TDidaditErrorArgs& args) {
    return DidaditErrorString(code, args);
}

std::string TVerbindungDidadit::ErrorString(int code) {
    return DidaditErrorString(code);
}

void TVerbindungDidadit::SendError(int code) {
    SendError(code, {});
}

void TVerbindungDidadit::SendError(int code, const TDidaditErrorArgs& args) {
    core::DebOutObj(GetName(), "SendError");
    const std::string text = ErrorString(code, args);
    SendBlock(kDidaditErr, text);
    if (DidaditErrorIsWarning(code)) {
        core::DebOutObj(GetName(), "SendError", "FEHLER: " + text);
    } else {
        core::DebOutObj(GetName(), "SendError", "FATALER FEHLER: " + text);
        Fail();
    }
}

void TVerbindungDidadit::SendBlock(std::uint16_t type, std::string_view payload) {
    const auto connection = Connection();
    if (!connection) return;
    const std::string frame = EncodeBlock(type, payload);
    core::TStringQueue& queue = connection->LinkSendQueue();
    for (std::size_t at = 0; at < frame.size(); at += kPieceSize)
        queue.PushString(frame.substr(at, kPieceSize));
}

void TVerbindungDidadit::Finish() {
    stopped_ = true;
    if (Connection()) SetUseEvent(core::kWaitReceive, false);
    TVerbindungAbstract::Finish();
}

void TVerbindungDidadit::Fail() {
    core::DebOutObj(GetName(), "AbortTransfer");
    stopped_ = true;
    if (Connection()) SetUseEvent(core::kWaitReceive, false);
    TVerbindungAbstract::Fail();
}

void TVerbindungDidadit::SetChatAllowed(bool allowed) {
    chatAllowed_ = allowed;
    if (Connection()) SetUseEvent(core::kWaitUserSend, allowed);
}

void TVerbindungDidadit::OnUserSend() {
    const auto connection = Connection();
    if (!connection) return;
    if (!chatAllowed_) {
        SetUseEvent(core::kWaitUserSend, false);
        return;
    }
    core::TStringQueue& queue = connection->UserSendQueue();
    if (queue.IsEmpty()) return;
    core::DebOutObj(GetName(), "OnUserSend", "Sende CHAT.");
    SendBlock(kDidaditChat, queue.PopString());
}

void TVerbindungDidadit::ReceiveBlocks(std::string_view errorLog) {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!stopped_ && !queue.IsEmpty()) {
        splitter_.Append(queue.PopString());
        DrainFrames(errorLog);
    }
}

void TVerbindungDidadit::DrainFrames(std::string_view errorLog) {
    while (!stopped_) {
        const auto body = splitter_.Next();
        if (!body) return;
        if (!DecodeBlock(*body, block_)) {
            core::DebOutObj(GetName(), "ReceiveData", errorLog);
            continue;
        }
        OnBlock(block_);
    }
}

void TVerbindungDidadit::ReceivedError(std::string_view payload) {
    std::string text(payload.substr(0, kMaxShownErrorText));
    core::DebOutObj(GetName(), "ReceiveData", "Empfange ERR: " + text);
    if (const auto connection = Connection())
        connection->KanalPrompt(
            core::FillArgs(core::Tr("TVerbindungDidadit", "Empfange ERR: %1"), {text}), 3);
    if (!DidaditErrIsWarning(payload)) Fail();
}

void TVerbindungDidadit::OnCommonBlock(TDidaditBlock& block) {
    const std::string name = GetName();
    const auto connection = Connection();
    if (!connection) return;
    switch (block.type) {
        case kDidaditErr:
            ReceivedError(block.payload);
            break;
        case kDidaditEchoReq:
            core::DebOutObj(name, "ReceiveData", "Empfange ECHOREQ: \"" + block.payload + "\".");
            SendBlock(kDidaditEchoRep, block.payload);
            break;
        case kDidaditEchoRep:
            core::DebOutObj(name, "ReceiveData", "Empfange ECHOREP: Verworfen.");
            break;
        case kDidaditAbort:
            core::DebOutObj(name, "ReceiveData", "Empfange ABORT: Abbrechen.");
            Fail();
            break;
        case kDidaditChat:
            connection->ShowReceived(block.payload);
            break;
        default:
            core::DebOutObj(name, "ReceiveData", "Empfange UNBEKANNTEN BLOCK.");
            SendError(150, {std::int64_t{block.type}});
            break;
    }
}

void TVerbindungDidadit::Unexpected(std::string_view type, std::string_view why) {
    core::DebOutObj(GetName(), "ReceiveData",
                    "Empfange " + std::string(type) + ": " + std::string(why));
    SendError(100, {std::string(type)});
}

void ReportTransferOutcome(core::IVerbindungFuerModul& connection, int endCode, std::string_view ok,
                           std::string_view cancelled, bool userQueue, bool promptOk) {
    const std::int32_t type = connection.StationType();
    const bool asText = type == core::kStationAutomatic || type == core::kStationTerminal;
    if (endCode == kEndFinished) {
        if (asText)
            connection.SendData(std::string(kReplyPrefix) + std::string(ok) + "\r", true, false,
                                false, userQueue);
        else if (promptOk)
            connection.KanalPrompt(std::string(ok) + "\r", 3);
    }
    if (endCode == kEndCancelled || endCode == kEndFailed) {
        if (asText)
            connection.SendData("\r" + std::string(kReplyPrefix) + std::string(cancelled) + "\r",
                                true, false, false, userQueue);
        else
            connection.KanalPrompt(std::string(cancelled) + "\r", 3);
    }
}

void TVerbindungDidadit::ReportOutcome(int endCode, std::string_view ok, std::string_view cancelled,
                                       bool userQueue, bool promptOk) {
    if (const auto connection = Connection())
        ReportTransferOutcome(*connection, endCode, ok, cancelled, userQueue, promptOk);
}

void TVerbindungDidadit::PlaySound(int event) {
    if (!context_.klaenge) return;
    if (const auto connection = Connection()) context_.klaenge->Play(event, connection);
}

void TVerbindungDidadit::Terminated(int endCode) {
    core::DebOutObj(GetName(), "Terminated");
    if (endCode == kEndFinished) PlaySound(kSoundTransferSuccess);
    if (endCode == kEndCancelled) PlaySound(kSoundTransferCancelled);
    if (endCode == kEndFailed) PlaySound(kSoundTransferFailed);
    TVerbindungAbstract::Terminated(endCode);
}

}  // namespace tarvo::connection
