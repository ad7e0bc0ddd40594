#include "connection/VerbindungAutobinU.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "connection/CrcU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/FileStreamQamU.h"
#include "connection/VerbindungDidaditU.h"
#include "connection/VerbindungStandardU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/StreamU.h"
#include "core/TrU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Event.h"
#include "platform/FileTime.h"
#include "platform/Files.h"

namespace tarvo::connection {

namespace {

constexpr const char* kSendUnit = "VerbindungAutobinSendU";
constexpr std::string_view kOk = "#OK#\r";
constexpr std::string_view kNo = "#NO#\r";
constexpr std::string_view kAbort = "#ABORT#\r";
constexpr std::string_view kChat = "SP\\-";
constexpr int kPromptKind = 3;
// Reading for the CRC; the end of the link is checked between pieces.
constexpr std::size_t kCrcChunk = 65536;
// Received bytes are written in pieces of this size.
constexpr std::size_t kWriteChunk = 65536;
// A received file must leave this much of the disk free.
constexpr std::int64_t kDiskReserve = std::int64_t{16} << 20;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits only, saturating above limit (then nullopt).
std::optional<std::int64_t> Decimal(std::string_view text, std::int64_t limit) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> Hex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// The text up to the next "#" (or the end); text keeps the rest from that "#".
std::string_view Field(std::string_view& text) {
    const std::size_t hash = text.find('#');
    const std::string_view field = text.substr(0, hash);
    text.remove_prefix(hash == std::string_view::npos ? text.size() : hash);
    return field;
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

void PlaySound(const TAutobinContext& context, const std::shared_ptr<core::IVerbindungFuerModul>& c,
               int event) {
    if (context.klaenge && c) context.klaenge->Play(event, c);
}

void PlayEndSound(const TAutobinContext& context,
                  const std::shared_ptr<core::IVerbindungFuerModul>& c, int endCode) {
    if (endCode == kEndFinished) PlaySound(context, c, kSoundTransferSuccess);
    if (endCode == kEndCancelled) PlaySound(context, c, kSoundTransferCancelled);
    if (endCode == kEndFailed) PlaySound(context, c, kSoundTransferFailed);
}

// Frames of at most kAutobinFrame bytes on the link.
void PushFrames(core::TStringQueue& queue, std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kAutobinFrame)
        queue.PushString(std::string(bytes.substr(at, kAutobinFrame)));
}

bool PlainStation(const core::IVerbindungFuerModul& connection) {
    const std::int32_t t = connection.StationType();
    return t == core::kStationAutomatic || t == core::kStationTerminal;
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

}  // namespace

// --- Header ---------------------------------------------------------------------

std::optional<TAutobinHeader> ParseAutobinHeader(std::string_view line) {
    if (!line.starts_with(kAutobinHeader)) return std::nullopt;
    if (line.ends_with('\r')) line.remove_suffix(1);
    line.remove_prefix(kAutobinHeader.size());
    TAutobinHeader header;
    header.length = Decimal(Field(line), kAutobinMaxLength).value_or(-1);
    if (line.starts_with("#|")) {
        line.remove_prefix(2);
        // Compared as 16-bit values; 0 is what senders without a CRC put there.
        const auto crc = Decimal(Field(line), 0xFFFFFFFFll);
        if (crc && (*crc & 0xFFFF) != 0) header.crc = static_cast<std::uint16_t>(*crc & 0xFFFF);
    }
    if (line.starts_with("#$")) {
        line.remove_prefix(2);
        const auto date = Hex(Field(line));
        if (line.starts_with('#')) line.remove_prefix(1);
        if (date && FromDosDateTime(*date)) header.date = *date;
    } else if (line.starts_with('#')) {
        line.remove_prefix(1);
    }
    header.name = std::string(line);
    return header;
}

std::string AutobinHeaderLine(std::int64_t length, std::uint16_t crc, std::uint32_t date,
                              std::string_view name) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(date));
    return std::string(kAutobinHeader) + Number(length) + "#|" + Number(crc) + "#$" + hex + "#" +
           std::string(name) + "\r";
}

std::string AutobinStoreName(std::string_view sentName, std::string_view call) {
    const std::size_t cut = sentName.find_last_of("/\\:");
    if (cut != std::string_view::npos) sentName.remove_prefix(cut + 1);
    const std::string safe = platform::SafeFileName(sentName);
    if (safe.find_first_not_of('.') != std::string::npos) return safe;
    return platform::SafeFileName(std::string(call) + ".dat");
}

std::uint32_t DosDateTime(const core::TDateTime& t) {
    if (t.year < 1980 || t.year > 2107) return 0;
    const std::uint32_t date =
        static_cast<std::uint32_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
    const std::uint32_t time =
        static_cast<std::uint32_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
    return date << 16 | time;
}

std::optional<core::TDateTime> FromDosDateTime(std::uint32_t packed) {
    if (packed == 0) return std::nullopt;
    core::TDateTime t;
    t.year = 1980 + static_cast<int>(packed >> 25);
    t.month = static_cast<int>(packed >> 21 & 0x0F);
    t.day = static_cast<int>(packed >> 16 & 0x1F);
    t.hour = static_cast<int>(packed >> 11 & 0x1F);
    t.minute = static_cast<int>(packed >> 5 & 0x3F);
    t.second = static_cast<int>(packed & 0x1F) * 2;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

// --- Chat -----------------------------------------------------------------------

std::vector<std::string> TAutobinChat::Add(std::string_view text) {
    constexpr std::size_t kRoom = kAutobinFrame - kChat.size() - 1;
    std::vector<std::string> frames;
    pending_.append(text);
    std::size_t at = 0;
    for (;;) {
        const std::size_t cr = pending_.find('\r', at);
        const std::size_t end = cr == std::string::npos ? pending_.size() : cr;
        // A line too long for one frame goes as several lines.
        if (end - at > kRoom) {
            frames.push_back(std::string(kChat) + pending_.substr(at, kRoom) + "\r");
            at += kRoom;
            continue;
        }
        if (cr == std::string::npos) break;
        frames.push_back(std::string(kChat) + pending_.substr(at, cr - at) + "\r");
        at = cr + 1;
    }
    pending_.erase(0, at);
    return frames;
}

std::string TAutobinChat::TakeRest() {
    return std::exchange(pending_, {});
}

// --- Sending --------------------------------------------------------------------

TVerbindungAutobinSend::TVerbindungAutobinSend(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TAutobinContext context)
    : TVerbindungAbstract(parent, std::move(connection)), context_(std::move(context)) {}

TVerbindungAutobinSend::~TVerbindungAutobinSend() = default;

bool TVerbindungAutobinSend::Ending() const {
    const auto connection = Connection();
    if (!connection || core::QuitEvent().IsSet()) return true;
    const platform::Event* end = connection->WaitHandle(core::kWaitEnd);
    return end && end->IsSet();
}

void TVerbindungAutobinSend::Init() {
    const std::string name = GetName();
    const auto connection = Connection();
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, PlainStation(*connection));
    job_ = connection->DateiSenden();
    TARVO_ASSERT(job_ && job_->GetProtokoll() == kAutobinProtocol, kSendUnit);
    SetActive(true);
    try {
        stream_ = job_->GetStream();
        if (!stream_) {
            core::DebOutObj(name, "Init", "Kein Datenstrom.");
            Fail();
            return;
        }
        connection->SendData(job_->GetTextBefore(), true, true, false, false);
        job_->Prepare();
        const std::int64_t size = stream_->GetSize();
        if (size < 0 || size > kAutobinMaxLength) {
            core::DebOutObj(name, "Init", "Datei zu gro\xDF.");
            Fail();
            return;
        }
        waiting_ = true;
        job_->SetSize(size);
        job_->Start();
        core::DebOutObj(name, "Init", "Berechne CRC...");
        std::uint16_t crc = kCrc16Start;
        std::string chunk(kCrcChunk, '\0');
        stream_->SetPosition(0);
        for (;;) {
            if (Ending()) {
                Fail();
                return;
            }
            const std::size_t n = stream_->Read(chunk.data(), chunk.size());
            if (n == 0) break;
            Crc16Update(reinterpret_cast<const std::uint8_t*>(chunk.data()), n, crc);
        }
        stream_->SetPosition(0);
        core::DebOutObj(name, "Init", "MyCRC = " + Number(crc));
        std::uint32_t date = 0;
        if (const auto* file = dynamic_cast<TFileStreamQam*>(stream_))
            if (const auto seconds = platform::FileModifiedLocalSeconds(file->GetFileName()))
                date = DosDateTime(core::UnixSecondsToDateTime(*seconds));
        const std::string header =
            AutobinHeaderLine(size, crc, date, filesend::SendNameOf(job_->GetSendName()));
        PushFrames(connection->LinkSendQueue(), header);
        connection->Echo(header);
        PlaySound(context_, connection, kSoundTransferStart);
        if (size == 0) SetWaitTimeout(context_.emptyFileAnswerTime);
    } catch (const std::exception& e) {
        core::DebOutObj(name, "Init", std::string("Lesefehler: ") + e.what());
        Fail();
    }
}

void TVerbindungAutobinSend::OnReceive() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!stopped_ && !queue.IsEmpty()) {
        const std::string item = queue.PopString();
        connection->ShowReceived(item);
        reply_ += item;
        ReplyLines();
    }
}

void TVerbindungAutobinSend::ReplyLines() {
    std::size_t at = 0;
    while (!stopped_) {
        const std::size_t cr = reply_.find('\r', at);
        if (cr == std::string::npos) break;
        if (!skipLine_) Line(std::string_view(reply_).substr(at, cr - at));
        skipLine_ = false;
        at = cr + 1;
    }
    reply_.erase(0, at);
    // A line this long is no answer; its rest up to the CR is not looked at.
    if (reply_.size() > kAutobinMaxReply) {
        reply_.clear();
        skipLine_ = true;
    }
}

void TVerbindungAutobinSend::Line(std::string_view line) {
    const std::string name = GetName();
    if (waiting_) {
        if (line.starts_with("#NO#") || line.starts_with("#ABORT#")) {
            core::DebOutObj(name, "OnReceive", "Abgelehnt.");
            stopped_ = true;
            Fail();
        } else if (line.starts_with("#OK#")) {
            core::DebOutObj(name, "OnReceive", "#OK# empfangen.");
            waiting_ = false;
            SetWaitTimeout(std::chrono::milliseconds(0));
            SetUseEvent(core::kWaitLinkSendEmpty, true);
        }
    } else if (line.starts_with("#ABORT#")) {
        core::DebOutObj(name, "OnReceive", "#ABORT# empfangen.");
        stopped_ = true;
        Fail();
    }
}

void TVerbindungAutobinSend::OnUserSend() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->UserSendQueue();
    if (queue.IsEmpty()) return;
    for (const std::string& frame : chat_.Add(queue.PopString()))
        connection->LinkSendQueue().PushString(frame);
}

void TVerbindungAutobinSend::OnLinkSendQueueEmpty() {
    const auto connection = Connection();
    if (!connection || stopped_) return;
    core::TStringQueue& queue = connection->LinkSendQueue();
    try {
        for (int i = 0; i < kAutobinFramesPerRound; ++i) {
            std::string bytes(kAutobinFrame, '\0');
            const std::size_t n = stream_->Read(bytes.data(), bytes.size());
            if (n == 0) {
                stopped_ = true;
                SetUseEvent(core::kWaitLinkSendEmpty, false);
                Finish();
                return;
            }
            bytes.resize(n);
            position_ += static_cast<std::int64_t>(n);
            job_->AddBytes(static_cast<std::int64_t>(n));
            job_->SetPosition(position_);
            queue.PushString(std::move(bytes));
        }
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "OnLinkSendQueueEmpty", std::string("Lesefehler: ") + e.what());
        stopped_ = true;
        Fail();
    }
}

void TVerbindungAutobinSend::OnTimeout() {
    if (!waiting_ || stopped_) return;
    core::DebOutObj(GetName(), "OnTimeout", "Keine Antwort.");
    if (const auto connection = Connection())
        connection->KanalPrompt(
            "Autobin-Senden: Die Gegenstation hat auf die leere Datei nicht geantwortet.\r",
            kPromptKind);
    stopped_ = true;
    Fail();
}

void TVerbindungAutobinSend::Terminated(int endCode) {
    core::DebOutObj(GetName(), "Terminated");
    const auto connection = Connection();
    PlayEndSound(context_, connection, endCode);
    if (connection) {
        if (endCode == kEndCancelled) connection->LinkSendQueue().PushString(std::string(kAbort));
        // Typed text still without its line end goes out as plain text now.
        PushFrames(connection->LinkSendQueue(), chat_.TakeRest());
        if (endCode == kEndFinished && job_)
            connection->SendData(job_->GetTextAfter(), true, true, false, false);
        ReportTransferOutcome(*connection, endCode, "Autobin-Senden ok.",
                              "Autobin-Senden abgebrochen.", false, false);
        if (!reply_.empty()) reply_.clear();
    }
    if (job_) {
        job_->Stop();
        job_->Release();
    }
    TVerbindungAbstract::Terminated(endCode);
}

// --- Receiving ------------------------------------------------------------------

TVerbindungAutobinReceive::TVerbindungAutobinReceive(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TAutobinContext context)
    : TVerbindungAbstract(parent, std::move(connection)), context_(std::move(context)) {}

TVerbindungAutobinReceive::~TVerbindungAutobinReceive() = default;

void TVerbindungAutobinReceive::Init() {
    const std::string name = GetName();
    const auto connection = Connection();
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, true);
    SetActive(true);
    core::TStringQueue& queue = connection->ReceiveQueue();
    std::string line = queue.IsEmpty() ? std::string() : queue.PopLine();
    if (line.ends_with('\r')) line.pop_back();
    core::DebOutObj(name, "Init", "Header: " + line);
    header_ = ParseAutobinHeader(line).value_or(TAutobinHeader{});
    core::DebOutObj(name, "Init", "L\xE4nge: " + Number(header_.length));
    core::DebOutObj(name, "Init",
                    "CRC: " + (header_.crc ? Number(*header_.crc) : std::string("(keiner)")));
    remaining_ = header_.length;
    crc_ = kCrc16Start;

    record_ = filesend::TDateiSenden::Create(connection);
    const std::string sendName = AutobinStoreName(header_.name, connection->Call());
    const std::filesystem::path path = core::CreateIncompleteFileUnique();
    auto stream = std::make_unique<TFileStreamQam>(path, TFileStreamQam::kModeCreate);
    file_ = stream.get();
    record_->SetStream(std::move(stream));
    record_->SetFileName(path.string());
    record_->SetSendName(sendName);
    core::DebOutObj(name, "Init", "Zieldatei: " + sendName);
    core::DebOutObj(name, "Init", "Quelldatei: " + path.string());

    if (header_.length < 0) {
        Refuse(core::Tr("TVerbindungAutobin", "Ungültige Länge im Header."));
        return;
    }
    if (const std::string reason = CheckRoom(); !reason.empty()) {
        Refuse(reason);
        return;
    }
    bool opened = false;
    if (!path.empty()) {
        try {
            file_->Open();
            opened = file_->IsOpen();
        } catch (const std::exception& e) {
            core::DebOutObj(name, "Init", std::string("Fehler: ") + e.what());
        }
    }
    if (!opened) {
        Refuse(core::Tr("TVerbindungAutobin", "Datei kann nicht angelegt werden."));
        return;
    }
    PlaySound(context_, connection, kSoundTransferStart);
    connection->SendData(kOk, true, false, false, true);
    record_->SetProtokoll(kAutobinProtocol);
    record_->SetSize(header_.length);
    connection->SetDateiSenden(record_);
    record_->Start();
    // Nothing to wait for: an empty file is complete now.
    if (remaining_ == 0) {
        stopped_ = true;
        SetUseEvent(core::kWaitReceive, false);
        Finish();
    }
}

std::string TVerbindungAutobinReceive::CheckRoom() const {
    const std::int64_t limit = context_.maxReceiveBytes ? context_.maxReceiveBytes() : 0;
    if (context_.maxReceiveBytes && header_.length > limit)
        return core::FillArgs(
            core::Tr("TVerbindungAutobin",
                     "Die Datei (%1 Bytes) ist größer als erlaubt (%2 Bytes, Einstellungen "
                     "\"Dateien\")."),
            {Number(header_.length), Number(limit)});
    std::error_code ec;
    const auto space = std::filesystem::space(file_->GetFileName().parent_path(), ec);
    if (!ec && static_cast<std::int64_t>(std::min<std::uintmax_t>(space.available, INT64_MAX)) <
                   header_.length + kDiskReserve)
        return core::FillArgs(
            core::Tr("TVerbindungAutobin", "Nicht genug freier Speicherplatz für %1 Bytes."),
            {Number(header_.length)});
    return {};
}

void TVerbindungAutobinReceive::Refuse(const std::string& reason) {
    const auto connection = Connection();
    core::DebOutObj(GetName(), "Init", "Abgelehnt: " + reason);
    error_ = true;
    refused_ = true;
    stopped_ = true;
    SetUseEvent(core::kWaitReceive, false);
    connection->KanalPrompt(
        core::FillArgs(core::Tr("TVerbindungAutobin", "Autobin-Empfang abgelehnt: %1"), {reason}) +
            "\r",
        kPromptKind);
    connection->SendData(kNo, true, false, false, true);
    Fail();
}

void TVerbindungAutobinReceive::WriteBuffered(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kWriteChunk) FlushBuffer();
}

bool TVerbindungAutobinReceive::FlushBuffer() {
    if (buffer_.empty() || error_) return !error_;
    try {
        file_->Write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return true;
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "OnReceive", std::string("Schreibfehler: ") + e.what());
        error_ = true;
        buffer_.clear();
        return false;
    }
}

void TVerbindungAutobinReceive::OnReceive() {
    const auto connection = Connection();
    if (!connection || stopped_) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!stopped_ && !queue.IsEmpty()) {
        // An abort or a chat line comes as a frame of its own; near the end of
        // the data it must not be cut to the bytes still expected.
        const std::string head = queue.PeekString();
        const bool control = head.size() <= kAutobinFrame && head.ends_with('\r') &&
                             (head == kAbort || head.starts_with(kChat));
        const std::string piece =
            control ? queue.PopString() : queue.PopPart(static_cast<long>(remaining_));
        if (piece.empty()) continue;
        if (piece.back() == '\r' && piece == kAbort) {
            core::DebOutObj(GetName(), "OnReceive", "#ABORT# empfangen.");
            error_ = true;
        } else if (piece.back() == '\r' && piece.starts_with(kChat)) {
            if (connection->Kanal())
                connection->ShowReceived(std::string_view(piece).substr(kChat.size()));
        } else {
            const auto n = static_cast<std::int64_t>(piece.size());
            Crc16Update(piece, crc_);
            WriteBuffered(piece);
            record_->AddBytes(n);
            remaining_ -= n;
            record_->SetPosition(header_.length - remaining_);
            // A write that failed ends the transfer for the sender too.
            if (error_) connection->LinkSendQueue().PushString(std::string(kAbort));
        }
        if (error_) {
            stopped_ = true;
            Fail();
        } else if (remaining_ == 0) {
            stopped_ = true;
            Finish();
        }
    }
    // What follows the file belongs to the terminal text module.
    if (stopped_) SetUseEvent(core::kWaitReceive, false);
}

void TVerbindungAutobinReceive::OnUserSend() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->UserSendQueue();
    if (!queue.IsEmpty()) connection->LinkSendQueue().PushString(queue.PopString());
}

void TVerbindungAutobinReceive::Terminated(int endCode) {
    const std::string name = GetName();
    core::DebOutObj(name, "Terminated");
    const auto connection = Connection();
    PlayEndSound(context_, connection, endCode);
    if (file_ && file_->IsOpen() && !FlushBuffer()) error_ = true;
    if (connection && endCode == kEndFinished && !error_) {
        std::string result = "Autobin-Empfang ok.";
        if (!header_.crc) {
            result =
                "Autobin-Empfang ok. (ohne CRC-Pr\xFC"
                "fung.)";
        } else if (*header_.crc != crc_) {
            result = "Autobin-Empfang CRC-Fehler.";
            error_ = true;
        }
        if (PlainStation(*connection))
            connection->SendData(std::string(kReplyPrefix) + result + "\r", true, false, false,
                                 true);
        else if (error_)
            connection->KanalPrompt(result + "\r", kPromptKind);
        if (!error_ && record_) {
            try {
                file_->Close();
                // Opened again for reading by whoever takes the file on.
                file_->SetMode(TFileStreamQam::kModeRead);
                if (header_.date)
                    if (const auto date = FromDosDateTime(*header_.date))
                        platform::SetFileModifiedLocalSeconds(file_->GetFileName(),
                                                              core::DateTimeToUnixSeconds(*date));
            } catch (const std::exception& e) {
                core::DebOutObj(name, "Terminated", e.what());
                error_ = true;
            }
            if (!error_ && context_.postProcess) context_.postProcess(connection, *record_);
        }
    } else if (connection && endCode == kEndCancelled) {
        connection->LinkSendQueue().PushString(std::string(kAbort));
    }
    if (connection) {
        // A refusal was told above the "#NO#" already.
        if ((endCode == kEndCancelled || endCode == kEndFailed) && !refused_)
            ReportTransferOutcome(*connection, endCode, {}, "Autobin-Empfang abgebrochen.", true,
                                  false);
        if (connection->DateiSenden() == record_) connection->SetDateiSenden(nullptr);
    }
    if (record_) {
        record_->Stop();
        try {
            // Whatever did not end well goes to the trash, never to the receive folder.
            if (refused_) {
                // Nothing was received: the empty file simply goes.
                file_->Delete();
            } else if (endCode != kEndFinished || error_) {
                if (file_->IsOpen() || std::filesystem::exists(file_->GetFileName())) {
                    file_->Recycle();
                }
            } else {
                file_->Close();
            }
        } catch (const std::exception& e) {
            core::DebOutObj(name, "Terminated", e.what());
        }
        record_->Release();
    }
    file_ = nullptr;
    TVerbindungAbstract::Terminated(endCode);
}

// --- Registration ---------------------------------------------------------------

void RegisterAutobinModules(const TAutobinContext& context) {
    RegisterReceiveModule(kAutobinHeader, [context](TVerbindungAbstract& parent) {
        return std::static_pointer_cast<TVerbindungAbstract>(
            TVerbindungAbstract::Create<TVerbindungAutobinReceive>(&parent, parent.Connection(),
                                                                   context));
    });
    RegisterSendModule(kAutobinProtocol, [context](TVerbindungAbstract& parent) {
        return std::static_pointer_cast<TVerbindungAbstract>(
            TVerbindungAbstract::Create<TVerbindungAutobinSend>(&parent, parent.Connection(),
                                                                context));
    });
}

TAutobinContext AutobinProgramContext(core::IKlaenge* klaenge, const core::TConfig* config) {
    TAutobinContext context;
    context.klaenge = klaenge;
    context.postProcess = [](const std::shared_ptr<core::IVerbindung>& connection,
                             core::IDateiSenden& record) {
        TDateiEmpfangenPostprozessor(connection).Execute(record);
    };
    if (config)
        context.maxReceiveBytes = [config] { return std::int64_t{config->AutobinMaxMB()} << 20; };
    return context;
}

void UnregisterAutobinModules() {
    RegisterReceiveModule(kAutobinHeader, nullptr);
    RegisterSendModule(kAutobinProtocol, nullptr);
}

}  // namespace tarvo::connection
