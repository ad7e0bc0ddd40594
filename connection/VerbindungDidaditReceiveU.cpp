#include "connection/VerbindungDidaditReceiveU.h"

#include <algorithm>
#include <unordered_map>

#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/FileStreamQamU.h"
#include "connection/VerbindungDidaditSendU.h"
#include "connection/VerbindungStandardU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"

namespace tarvo::connection {

namespace {

constexpr const char* kBlockListUnit = "VerbindungDidaditReceiveBlockListU";
constexpr const char* kBlockListClass = "TDidaditReceiveBlockList";
constexpr std::string_view kOk = "#OK#\r";

std::string IndexKey(std::size_t i) {
    std::string key = std::to_string(i);
    if (key.size() < 4) key.insert(0, 4 - key.size(), '0');
    return key;
}

// The keys and values of one section of an INI text (names without case,
// blanks around them dropped; CR LF or LF line ends; the first value of a key wins).
std::unordered_map<std::string, std::string> IniSection(std::string_view text,
                                                        std::string_view section) {
    std::unordered_map<std::string, std::string> values;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool inside = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = core::TrimControls(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inside = close != std::string_view::npos &&
                     core::EqualNoCase(core::TrimControls(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inside) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        values.emplace(core::AsciiUpper(core::TrimControls(line.substr(0, eq))),
                       std::string(core::TrimControls(line.substr(eq + 1))));
    }
    return values;
}

}  // namespace

std::filesystem::path DidaditDataFile(const std::filesystem::path& folder, const MD5Digest& id) {
    return folder / (DigestToHex(id) + ".tvf");
}

std::filesystem::path DidaditIndexFile(const std::filesystem::path& folder, const MD5Digest& id) {
    return folder / (DigestToHex(id) + ".tvi");
}

// --- Block list ------------------------------------------------------------------

void TDidaditReceiveBlockList::Clear() {
    ranges_.clear();
    total_ = 0;
}

void TDidaditReceiveBlockList::OutputList() const {
    for (const auto& [first, last] : ranges_)
        core::DebOutObjFmt(kBlockListClass, "OutputList", "von %lld bis %lld (%lld)",
                           static_cast<long long>(first), static_cast<long long>(last),
                           static_cast<long long>(last - first + 1));
}

std::int64_t TDidaditReceiveBlockList::Add(std::int64_t offset, std::int64_t length) {
    TARVO_ASSERT(offset >= 0 && length >= 1, kBlockListUnit);
    std::int64_t first = offset;
    std::int64_t last = offset + length - 1;
    auto it = ranges_.upper_bound(first);
    if (it != ranges_.begin()) {
        const auto before = std::prev(it);
        if (before->second + 1 >= first) {
            first = before->first;
            last = std::max(last, before->second);
            total_ -= before->second - before->first + 1;
            it = ranges_.erase(before);
        }
    }
    while (it != ranges_.end() && it->first <= last + 1) {
        last = std::max(last, it->second);
        total_ -= it->second - it->first + 1;
        it = ranges_.erase(it);
    }
    ranges_.emplace_hint(it, first, last);
    total_ += last - first + 1;
    return total_;
}

std::vector<TDidaditRequest> TDidaditReceiveBlockList::GetRequests(std::size_t maxCount) const {
    std::vector<TDidaditRequest> gaps;
    auto emit = [&](std::int64_t offset, std::int64_t length) {
        core::DebOutObjFmt(kBlockListClass, "GetRequests",
                           "L\xFC"
                           "cke bei %lld, L\xE4nge %lld",
                           static_cast<long long>(offset), static_cast<long long>(length));
        gaps.push_back({offset, length});
    };
    std::int64_t cursor = 0;
    for (const auto& [first, last] : ranges_) {
        if (gaps.size() >= maxCount) return gaps;
        if (first > cursor) emit(cursor, first - cursor);
        cursor = last + 1;
    }
    if (gaps.size() < maxCount && cursor < fileSize_) emit(cursor, fileSize_ - cursor);
    return gaps;
}

std::vector<TDidaditReceiveBlockList::TRange> TDidaditReceiveBlockList::Ranges() const {
    return {ranges_.begin(), ranges_.end()};
}

std::string TDidaditReceiveBlockList::IndexText() const {
    std::string text = "[Blocks]\r\n";
    std::size_t i = 0;
    for (const auto& [first, last] : ranges_)
        text += IndexKey(i++) + "=" + std::to_string(first) + "," + std::to_string(last) + "\r\n";
    return text;
}

std::error_code TDidaditReceiveBlockList::WriteIndexFile(const std::filesystem::path& index) const {
    const bool whole = ranges_.size() == 1 && ranges_.begin()->first == 0 &&
                       ranges_.begin()->second == fileSize_ - 1;
    if (ranges_.empty() || whole) {
        std::error_code ec;
        std::filesystem::remove(index, ec);
        return ec;
    }
    return platform::WriteFileAtomic(index, IndexText());
}

std::int64_t TDidaditReceiveBlockList::ReadIndexText(std::string_view text) {
    Clear();
    const auto values = IniSection(text, "Blocks");
    std::int64_t resume = 0;
    for (std::size_t i = 0;; ++i) {
        const auto it = values.find(IndexKey(i));
        if (it == values.end()) break;
        const std::string& value = it->second;
        const std::size_t comma = value.find(',');
        if (comma == std::string::npos || comma < 1) break;
        const auto a = ParseDidaditNumber(std::string_view(value).substr(0, comma));
        const auto b = ParseDidaditNumber(std::string_view(value).substr(comma + 1));
        if (!a || !b || *a < 0 || *b < *a || *b >= fileSize_) continue;
        Add(*a, *b - *a + 1);
        resume = std::max(resume, *b + 1);
    }
    return resume;
}

std::int64_t TDidaditReceiveBlockList::ReadIndexFile(const std::filesystem::path& index) {
    const auto text = platform::ReadFile(index, kMaxIndexBytes);
    if (!text) {
        Clear();
        return 0;
    }
    return ReadIndexText(*text);
}

// --- The module --------------------------------------------------------------------

TVerbindungDidaditReceive::TVerbindungDidaditReceive(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TDidaditContext context)
    : TVerbindungDidadit(parent, std::move(connection), context) {}

TVerbindungDidaditReceive::~TVerbindungDidaditReceive() = default;

void TVerbindungDidaditReceive::Init() {
    const std::string name = GetName();
    state_ = 0;
    blockSize_ = kDidaditDefaultBlockSize;
    SetActive(true);
    const auto connection = Connection();
    core::TStringQueue& queue = connection->ReceiveQueue();
    if (!queue.IsEmpty()) {
        std::string header = queue.PopLine();
        if (header.ends_with('\r')) header.pop_back();
        core::DebOutObj(name, "Init", "Didadit-Header: " + header);
    }
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, false);
    record_ = filesend::TDateiSenden::Create(connection);
    connection->LinkSendQueue().PushString(std::string(kOk));
    connection->Echo(kOk);
    record_->Prepare();
    state_ = 1;
    PlaySound(kSoundTransferStart);
}

void TVerbindungDidaditReceive::OnReceive() {
    if (error_) return;
    ReceiveBlocks("Fehler");
}

void TVerbindungDidaditReceive::OnBlock(TDidaditBlock& block) {
    switch (block.type) {
        case kDidaditInfo:
            if (state_ == 1)
                HandleInfo(block.payload);
            else
                Unexpected("INFO", "Falscher Zustand");
            break;
        case kDidaditStart:
            Unexpected("START", "Nicht beim Empfangen.");
            break;
        case kDidaditData:
            if (state_ == 2)
                HandleData(block.payload);
            else
                Unexpected("DATA", "Falscher Zustand");
            break;
        case kDidaditFin:
            if (state_ == 2)
                HandleFin();
            else
                Unexpected("FIN", "Falscher Zustand");
            break;
        case kDidaditReq:
            Unexpected("REQ", "Nicht beim Senden.");
            break;
        case kDidaditFinAck:
            // Only a file that has been checked whole ends well.
            core::DebOutObj(GetName(), "ReceiveData", "Empfange FINACK: Beende Protokoll.");
            if (verified_)
                Finish();
            else
                Fail();
            break;
        default:
            OnCommonBlock(block);
            break;
    }
}

void TVerbindungDidaditReceive::Refuse(int code) {
    error_ = true;
    SendError(code);
    Fail();
}

void TVerbindungDidaditReceive::HandleInfo(std::string_view payload) {
    const std::string name = GetName();
    const auto connection = Connection();
    std::string fileName;
    std::optional<MD5Digest> identity;
    std::int64_t offered = 0;
    std::optional<bool> chat;
    size_ = -1;
    for (const auto& [key, value] : ParseDidaditLines(payload)) {
        core::DebOutObj(name, "InfoBlock", key + "=" + value);
        if (key == "FILENAME") {
            fileName = value;
        } else if (key == "SIZE") {
            size_ = ParseDidaditNumber(value).value_or(-1);
        } else if (key == "MD5") {
            if (const auto digest = HexToDigest(value)) identity = digest;
        } else if (key == "BLOCKSIZE") {
            offered = ParseDidaditNumber(value).value_or(0);
        } else if (key == "FEATURES") {
            chat = false;
            for (const std::string& feature : core::FromCommaText(core::AsciiUpper(value)))
                if (feature == "CHAT") chat = true;
        }
    }
    // Without its MD5 the file has no name of its own to be kept under.
    if (!identity) {
        Refuse(202);
        return;
    }
    identity_ = *identity;
    SetChatAllowed(chat.value_or(false));
    const bool announce = offered < kDidaditMinBlockSize || offered > kDidaditMaxBlockSize;
    blockSize_ = announce ? kDidaditDefaultBlockSize : static_cast<std::int32_t>(offered);

    if (size_ < 0 || size_ > kDidaditMaxFileSize) {
        Refuse(300);
        return;
    }
    list_.SetFileSize(size_);
    const std::filesystem::path folder = resources::TOrdner::IncompleteFolder();
    dataFile_ = DidaditDataFile(folder, identity_);
    indexFile_ = DidaditIndexFile(folder, identity_);
    std::int64_t resume = 0;
    std::error_code ec;
    if (std::filesystem::exists(dataFile_, ec)) {
        resume = list_.ReadIndexFile(indexFile_);
    } else if (core::CreateIncompleteFile(DigestToHex(identity_)).empty()) {
        Refuse(300);
        return;
    }

    std::string sendName = platform::SafeFileName(fileName);
    if (sendName.empty()) sendName = platform::SafeFileName(connection->Call() + ".dat");
    record_->SetProtokoll(kDidaditProtocol);
    record_->SetSize(size_);
    connection->SetDateiSenden(record_);
    record_->Start();
    auto stream = std::make_unique<TFileStreamQam>(dataFile_, TFileStreamQam::kModeReadWrite);
    file_ = stream.get();
    record_->SetStream(std::move(stream));
    record_->SetFileName(dataFile_.string());
    record_->SetSendName(sendName);
    core::DebOutObj(name, "InfoBlock", "Zieldatei: " + sendName + " ");
    core::DebOutObj(name, "InfoBlock", "Quelldatei: " + dataFile_.string());
    core::DebOutObjFmt(name, "InfoBlock",
                       "Dateigr\xF6\xDF"
                       "e: %lld",
                       static_cast<long long>(size_));
    bool opened = false;
    try {
        file_->Open();
        // A second channel receiving the same file would write into this one.
        opened = file_->TryLock();
    } catch (const std::exception& e) {
        core::DebOutObj(name, "InfoBlock", std::string("Fehler: ") + e.what());
    }
    if (!opened) {
        Refuse(300);
        return;
    }
    record_->SetPosition(list_.Total());

    std::string start = "OFFSET=" + std::to_string(resume) + "\r";
    if (announce) start += "BLOCKSIZE=" + std::to_string(kDidaditDefaultBlockSize) + "\r";
    start += std::string("VERSION=") + kDidaditVersion + "\r";
    if (chat.value_or(false)) start += "FEATURES=CHAT\r";
    core::DebOutObj(name, "InfoBlock", "Sende START.");
    SendBlock(kDidaditStart, start);
    state_ = 2;
}

void TVerbindungDidaditReceive::HandleData(std::string_view payload) {
    const auto data = ParseDidaditData(payload);
    if (!data) {
        SendError(206);
        return;
    }
    if (data->length == 0) return;
    // Never past the announced size, never before the start.
    if (data->offset < 0 || std::int64_t{data->offset} + data->length > size_) {
        SendError(104);
        return;
    }
    try {
        file_->SetPosition(data->offset);
        file_->Write(data->bytes.data(), data->bytes.size());
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "ReceiveData", std::string("Schreibfehler: ") + e.what());
        error_ = true;
        SendError(300);
        Fail();
        return;
    }
    record_->AddBytes(data->length);
    record_->SetPosition(list_.Add(data->offset, data->length));
}

void TVerbindungDidaditReceive::HandleFin() {
    const std::string name = GetName();
    const std::size_t limit = static_cast<std::size_t>(std::max(1, blockSize_ / 8 - 1));
    const auto requests = list_.GetRequests(limit);
    if (requests.empty()) {
        if (!Verify()) {
            SendError(102);
            RemoveFiles();
            return;
        }
        core::DebOutObj(name, "ReceiveData", "Sende FINACK.");
        SendBlock(kDidaditFinAck, {});
        Finish();
        return;
    }
    // A sender that never delivers what is asked for would keep this going.
    if (list_.Total() == lastRoundTotal_) {
        if (++roundsWithoutProgress_ >= kMaxRoundsWithoutProgress) {
            core::DebOutObj(name, "ReceiveData", "Keine Fortschritte.");
            SendError(206);
            return;
        }
    } else {
        roundsWithoutProgress_ = 0;
    }
    lastRoundTotal_ = list_.Total();
    core::DebOutObjFmt(name, "ReceiveData", "Sende %zu Request(s).", requests.size());
    for (const TDidaditRequest& r : requests)
        core::DebOutObjFmt(name, "ReceiveData", "Sende REQ Offset %lld, L\xE4nge %lld",
                           static_cast<long long>(r.offset), static_cast<long long>(r.length));
    SendBlock(kDidaditReq, DidaditRequestPayload(requests));
}

bool TVerbindungDidaditReceive::Verify() {
    try {
        file_->SetSize(size_);
        file_->Flush();
        file_->SetPosition(0);
        MD5Context context;
        std::string chunk(kDigestChunk, '\0');
        for (;;) {
            const std::size_t n = file_->Read(chunk.data(), chunk.size());
            if (n == 0) break;
            MD5Update(context, reinterpret_cast<const std::uint8_t*>(chunk.data()), n);
        }
        verified_ = MD5Final(context) == identity_;
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "ReceiveData", std::string("Lesefehler: ") + e.what());
        verified_ = false;
    }
    if (!verified_) core::DebOutObj(GetName(), "ReceiveData", "MD5 stimmt nicht.");
    return verified_;
}

void TVerbindungDidaditReceive::RemoveFiles() {
    discarded_ = true;
    list_.Clear();
    try {
        if (file_) file_->Delete();
    } catch (const std::exception& e) {
        core::DebOutObj(GetName(), "RemoveFiles", e.what());
    }
    std::error_code ec;
    std::filesystem::remove(indexFile_, ec);
}

void TVerbindungDidaditReceive::Terminated(int endCode) {
    const auto connection = Connection();
    // The index first: a complete file leaves none behind before it moves on.
    if (state_ >= 2 && !discarded_) {
        try {
            if (file_ && file_->IsOpen()) file_->Flush();
        } catch (const std::exception& e) {
            core::DebOutObj(GetName(), "Terminated", e.what());
        }
        if (const std::error_code ec = list_.WriteIndexFile(indexFile_))
            core::DebOutObj(GetName(), "Terminated", "Index: " + ec.message());
    }
    if (connection) {
        if (endCode == kEndCancelled) SendBlock(kDidaditAbort, {});
        ReportOutcome(endCode, "Didadit-Empfang ok.", "Didadit-Empfang abgebrochen.", true, false);
        if (endCode == kEndFinished && verified_) {
            if (file_) file_->Close();
            if (context_.postProcess && record_) context_.postProcess(connection, *record_);
        }
        const std::string rest = splitter_.TakeRest();
        if (!rest.empty()) connection->ShowReceived(rest);
        if (connection->DateiSenden() == record_) connection->SetDateiSenden(nullptr);
    }
    list_.Clear();
    if (record_) {
        record_->Stop();
        try {
            if (file_) file_->Close();
        } catch (const std::exception& e) {
            core::DebOutObj(GetName(), "Terminated", e.what());
        }
        record_->Release();
    }
    file_ = nullptr;
    TVerbindungDidadit::Terminated(endCode);
}

// --- Registration -------------------------------------------------------------------

void RegisterDidaditModules(const TDidaditContext& context) {
    RegisterReceiveModule(kDidaditHeader, [context](TVerbindungAbstract& parent) {
        return std::static_pointer_cast<TVerbindungAbstract>(
            TVerbindungAbstract::Create<TVerbindungDidaditReceive>(&parent, parent.Connection(),
                                                                   context));
    });
    RegisterSendModule(kDidaditProtocol, [context](TVerbindungAbstract& parent) {
        return std::static_pointer_cast<TVerbindungAbstract>(
            TVerbindungAbstract::Create<TVerbindungDidaditSend>(&parent, parent.Connection(),
                                                                context));
    });
}

TDidaditContext DidaditProgramContext(core::IKlaenge* klaenge) {
    TDidaditContext context;
    context.klaenge = klaenge;
    context.postProcess = [](const std::shared_ptr<core::IVerbindung>& connection,
                             core::IDateiSenden& record) {
        TDateiEmpfangenPostprozessor(connection).Execute(record);
    };
    return context;
}

void UnregisterDidaditModules() {
    RegisterReceiveModule(kDidaditHeader, nullptr);
    RegisterSendModule(kDidaditProtocol, nullptr);
}

}  // namespace tarvo::connection
