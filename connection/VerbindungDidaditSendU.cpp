#include "connection/VerbindungDidaditSendU.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "connection/FileStreamQamU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/StreamU.h"
#include "platform/Event.h"
#include "platform/FileTime.h"

namespace tarvo::connection {

namespace {

constexpr const char* kUnit = "VerbindungDidaditSendU";
constexpr std::string_view kOk = "#OK#\r";
constexpr std::string_view kAbort = "#ABORT#\r";

}  // namespace

std::string DidaditInfoPayload(std::string_view sendName, std::int64_t size,
                               const MD5Digest& identity, std::optional<std::int64_t> time) {
    std::string payload = "FILENAME=" + std::string(sendName) + "\r";
    payload += "SIZE=" + std::to_string(size) + "\r";
    payload += "MD5=" + DigestToHex(identity) + "\r";
    if (time) payload += "TIME=" + std::to_string(*time) + "\r";
    payload += "BLOCKSIZE=" + std::to_string(kDidaditDefaultBlockSize) + "\r";
    payload += std::string("VERSION=") + kDidaditVersion + "\r";
    payload += "FEATURES=CHAT\r";
    return payload;
}

TVerbindungDidaditSend::TVerbindungDidaditSend(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TDidaditContext context)
    : TVerbindungDidadit(parent, std::move(connection), context) {}

TVerbindungDidaditSend::~TVerbindungDidaditSend() = default;

bool TVerbindungDidaditSend::Ending() const {
    const auto connection = Connection();
    if (!connection || core::QuitEvent().IsSet()) return true;
    const platform::Event* end = connection->WaitHandle(core::kWaitEnd);
    return end && end->IsSet();
}

std::optional<MD5Digest> TVerbindungDidaditSend::DigestOfStream() {
    MD5Context context;
    std::string chunk(kDigestChunk, '\0');
    stream_->SetPosition(0);
    for (;;) {
        if (Ending()) return std::nullopt;
        const std::size_t n = stream_->Read(chunk.data(), chunk.size());
        if (n == 0) break;
        MD5Update(context, reinterpret_cast<const std::uint8_t*>(chunk.data()), n);
    }
    stream_->SetPosition(0);
    return MD5Final(context);
}

void TVerbindungDidaditSend::Init() {
    const std::string name = GetName();
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, false);
    const auto connection = Connection();
    job_ = connection->DateiSenden();
    TARVO_ASSERT(job_ && job_->GetProtokoll() == kDidaditProtocol, kUnit);
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
        size_ = stream_->GetSize();
        if (size_ < 0 || size_ > kDidaditMaxFileSize) {
            core::DebOutObj(name, "Init", "Datei zu gro\xDF.");
            Fail();
            return;
        }
        core::DebOutObj(name, "Init", "Berechne MD5...");
        const auto digest = DigestOfStream();
        if (!digest) {
            core::DebOutObj(name, "Init", "Verbindung beendet.");
            Fail();
            return;
        }
        identity_ = *digest;
        core::DebOutObj(name, "Init", "MD5 = " + DigestToHex(identity_));
        std::optional<std::int64_t> time;
        if (const auto* file = dynamic_cast<TFileStreamQam*>(stream_))
            time = platform::FileModifiedLocalSeconds(file->GetFileName());
        blockSize_ = kDidaditDefaultBlockSize;
        connection->LinkSendQueue().PushString(std::string(kDidaditHeader) + "\r");
        connection->Echo(std::string(kDidaditHeader) + "\r");
        job_->SetSize(size_);
        job_->Start();
        core::DebOutObj(name, "Init", "Sende INFO.");
        SendBlock(kDidaditInfo, DidaditInfoPayload(job_->GetSendName(), size_, identity_, time));
        state_ = 1;
        text_.clear();
        PlaySound(kSoundTransferStart);
    } catch (const std::exception& e) {
        core::DebOutObj(name, "Init", std::string("Lesefehler: ") + e.what());
        Fail();
    }
}

void TVerbindungDidaditSend::OnReceive() {
    const auto connection = Connection();
    if (!connection) return;
    core::DebOutObj(GetName(), "ReceiveData");
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!Stopped() && !queue.IsEmpty()) {
        std::string item = queue.PopString();
        if (state_ < 2) {
            text_ += item;
            WaitForAnswer();
        } else {
            splitter_.Append(item);
        }
        if (state_ >= 2) DrainFrames("Fehler.");
    }
}

void TVerbindungDidaditSend::WaitForAnswer() {
    const auto connection = Connection();
    if (!connection || state_ != 1) return;
    if (const std::size_t at = text_.find(kAbort); at != std::string::npos) {
        connection->ShowReceived(std::string_view(text_).substr(0, at + kAbort.size()));
        text_.erase(0, at + kAbort.size());
        Fail();
        return;
    }
    if (const std::size_t at = text_.find(kOk); at != std::string::npos) {
        connection->ShowReceived(std::string_view(text_).substr(0, at + kOk.size()));
        splitter_.Append(std::string_view(text_).substr(at + kOk.size()));
        text_.clear();
        state_ = 2;
        return;
    }
    // Keep only what could still begin an answer.
    if (text_.size() > kMaxAnswerText) {
        const std::size_t keep = kAbort.size() - 1;
        connection->ShowReceived(std::string_view(text_).substr(0, text_.size() - keep));
        text_.erase(0, text_.size() - keep);
    }
}

void TVerbindungDidaditSend::OnBlock(TDidaditBlock& block) {
    switch (block.type) {
        case kDidaditInfo:
            Unexpected("INFO", "Nicht beim Senden.");
            break;
        case kDidaditStart:
            if (state_ == 2)
                HandleStart(block.payload);
            else
                Unexpected("START", "Falscher Zustand.");
            break;
        case kDidaditData:
            Unexpected("DATA", "Nicht beim Senden.");
            break;
        case kDidaditFin:
            Unexpected("FIN", "Nicht beim Senden.");
            break;
        case kDidaditReq:
            SetChatAllowed(ChatAllowed());
            HandleRequests(block.payload);
            break;
        case kDidaditFinAck:
            core::DebOutObj(GetName(), "ReceiveData", "Empfange FINACK: Beende Protokoll.");
            Finish();
            break;
        default:
            OnCommonBlock(block);
            break;
    }
}

void TVerbindungDidaditSend::HandleStart(std::string_view payload) {
    const std::string name = GetName();
    std::int64_t offset = 0;
    std::optional<bool> chat;
    for (const auto& [key, value] : ParseDidaditLines(payload)) {
        if (key == "BLOCKSIZE") {
            const auto size = ParseDidaditNumber(value);
            if (size && *size > 0 && *size < blockSize_)
                blockSize_ = static_cast<std::int32_t>(*size);
        } else if (key == "OFFSET") {
            offset = ParseDidaditNumber(value).value_or(0);
        } else if (key == "FEATURES") {
            chat = false;
            for (const std::string& feature : core::FromCommaText(core::AsciiUpper(value))) {
                core::DebOutObj(name, "ReceiveData", "Empfange START: Feature " + feature + ".");
                if (feature == "CHAT") chat = true;
            }
        }
    }
    next_ = offset;
    core::DebOutObjFmt(name, "ReceiveData", "Empfange START: Offset %lld, BlockSize %d.",
                       static_cast<long long>(offset), blockSize_);
    if (chat) SetChatAllowed(*chat);
    state_ = 3;
    SetUseEvent(core::kWaitLinkSendEmpty, true);
}

void TVerbindungDidaditSend::HandleRequests(std::string_view payload) {
    const std::string name = GetName();
    const auto requests = ParseDidaditRequests(payload);
    if (!requests) {
        SendError(101, {std::int64_t{0}, std::int64_t{0}});
        return;
    }
    requests_.clear();
    core::DebOutObjFmt(name, "ReceiveData", "Empfange REQ: %zu Request(s).", requests->size());
    for (const TDidaditRequest& r : *requests) {
        core::DebOutObjFmt(name, "ReceiveData", "Empfange REQ: Offset %lld, L\xE4nge %lld.",
                           static_cast<long long>(r.offset), static_cast<long long>(r.length));
        // In 64 bits: offset + length must not wrap past the file.
        if (r.offset < 0 || r.length <= 0 || r.offset + r.length > size_) {
            requests_.clear();
            SendError(101, {r.offset, r.length});
            return;
        }
        requests_.push_back(r);
    }
    SetUseEvent(core::kWaitLinkSendEmpty, true);
}

void TVerbindungDidaditSend::OnLinkSendQueueEmpty() {
    const auto connection = Connection();
    if (!connection || Stopped()) return;
    std::int64_t offset = -1;
    std::int64_t length = 0;
    bool sequential = false;
    if (requests_.empty()) {
        if (state_ == 3) {
            offset = next_;
            length = blockSize_;
            sequential = true;
        }
    } else {
        TDidaditRequest& head = requests_.front();
        offset = head.offset;
        if (head.length > blockSize_) {
            length = blockSize_;
            head.offset += blockSize_;
            head.length -= blockSize_;
        } else {
            length = head.length;
            requests_.pop_front();
        }
    }
    std::string bytes;
    if (offset >= 0 && offset <= size_ && length > 0) {
        try {
            stream_->SetPosition(offset);
            bytes.resize(static_cast<std::size_t>(std::min(length, size_ - offset)));
            std::size_t got = 0;
            while (got < bytes.size()) {
                const std::size_t n = stream_->Read(bytes.data() + got, bytes.size() - got);
                if (n == 0) break;
                got += n;
            }
            bytes.resize(got);
        } catch (const std::exception& e) {
            core::DebOutObj(GetName(), "SendData", std::string("Lesefehler: ") + e.what());
            Fail();
            return;
        }
        if (sequential) next_ = offset + static_cast<std::int64_t>(bytes.size());
    }
    if (bytes.empty()) {
        SendBlock(kDidaditFin, {});
        SetUseEvent(core::kWaitLinkSendEmpty, false);
        SetUseEvent(core::kWaitUserSend, false);
        return;
    }
    const auto count = static_cast<std::int64_t>(bytes.size());
    if (sequential) job_->SetPosition(offset + count);
    job_->AddBytes(count);
    SendBlock(kDidaditData, DidaditDataPayload(static_cast<std::int32_t>(offset), bytes));
}

void TVerbindungDidaditSend::Terminated(int endCode) {
    if (const auto connection = Connection()) {
        if (endCode == kEndCancelled) SendBlock(kDidaditAbort, {});
        if (endCode == kEndFinished && job_)
            connection->SendData(job_->GetTextAfter(), true, true, false, false);
        ReportOutcome(endCode, "Didadit-Senden ok.", "Didadit-Senden abgebrochen.", false, true);
        const std::string rest = text_ + splitter_.TakeRest();
        if (!rest.empty()) connection->ShowReceived(rest);
        text_.clear();
    }
    if (job_) {
        job_->Stop();
        job_->Release();
    }
    requests_.clear();
    TVerbindungDidadit::Terminated(endCode);
}

}  // namespace tarvo::connection
