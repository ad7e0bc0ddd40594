#include "connection/VerbindungTextSendU.h"

#include <array>
#include <exception>

#include "connection/Verbindung7PlusReceiveU.h"
#include "connection/VerbindungDidaditU.h"
#include "connection/VerbindungGoTextReceiveU.h"
#include "connection/VerbindungStandardU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/StreamU.h"
#include "core/TrU.h"
#include "resources/OrdnerU.h"

namespace tarvo::connection {

namespace {

constexpr std::array<std::string_view, 3> kAbortWords{"#ABORT#", "//ABORT", "//CUT"};
// A held line start longer than this is no abort line, whatever it holds.
constexpr std::size_t kMaxHeldStart = 16;

std::string_view WithoutLineEnds(std::string_view line) {
    while (!line.empty() && (line.front() == '\n' || line.front() == '\r')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

void TTextTransferContext::Play(
    int event, const std::shared_ptr<core::IVerbindungFuerModul>& connection) const {
    if (klaenge && connection) klaenge->Play(event, connection);
}

void TTextTransferContext::PlayEnd(
    int endCode, const std::shared_ptr<core::IVerbindungFuerModul>& connection) const {
    if (endCode == kEndFinished) Play(kSoundTransferSuccess, connection);
    if (endCode == kEndCancelled) Play(kSoundTransferCancelled, connection);
    if (endCode == kEndFailed) Play(kSoundTransferFailed, connection);
}

std::string TLineEndFilter::Filter(std::string_view piece) {
    std::string out;
    out.reserve(piece.size());
    for (const char c : piece) {
        if (c == '\n') {
            if (!afterCr_) out += '\r';
            afterCr_ = false;
            continue;
        }
        out += c;
        afterCr_ = c == '\r';
    }
    return out;
}

bool IsTextAbortLine(std::string_view line) {
    const std::string word = core::AsciiUpper(WithoutLineEnds(line));
    for (const std::string_view abort : kAbortWords)
        if (word == abort) return true;
    return false;
}

bool MayBecomeTextAbortLine(std::string_view start) {
    if (start.size() > kMaxHeldStart) return false;
    while (!start.empty() && start.front() == '\n') start.remove_prefix(1);
    const std::string upper = core::AsciiUpper(start);
    for (const std::string_view abort : kAbortWords)
        if (abort.starts_with(upper)) return true;
    return false;
}

TVerbindungTextSend::TVerbindungTextSend(TVerbindungAbstract* parent,
                                         std::shared_ptr<core::IVerbindungFuerModul> connection,
                                         TTextTransferContext context)
    : TVerbindungAbstract(parent, std::move(connection)), context_(std::move(context)) {}

TVerbindungTextSend::~TVerbindungTextSend() = default;

void TVerbindungTextSend::Init() {
    const std::string name = GetName();
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitLinkSendEmpty, true);
    const auto connection = Connection();
    job_ = connection->DateiSenden();
    if (!job_) {
        core::DebOutObj(name, "Init", "Kein Auftrag.");
        Fail();
        return;
    }
    // The operator can stop a long text too.
    SetActive(true);
    std::int64_t size = 0;
    try {
        stream_ = job_->GetStream();
        if (stream_) {
            stream_->SetPosition(0);
            size = stream_->GetSize();
        }
    } catch (const std::exception& e) {
        core::DebOutObj(name, "Init", std::string("Lesefehler: ") + e.what());
        stream_ = nullptr;
    }
    if (!stream_) {
        core::DebOutObj(name, "Init", "Kein Datenstrom.");
        connection->KanalPrompt(
            core::Tr("TVerbindungTextSend", "Textdatei kann nicht gelesen werden.") + "\r", 3);
        Fail();
        return;
    }
    connection->SendData(job_->GetTextBefore(), true, true, false, false);
    context_.Play(kSoundTransferStart, connection);
    job_->SetSize(size);
    job_->Start();
}

void TVerbindungTextSend::OnLinkSendQueueEmpty() {
    const auto connection = Connection();
    if (!connection || !stream_ || stopped_) return;
    std::array<char, kTextPieceSize> buffer;
    // A piece that was only the LF of a CR LF leaves nothing to send: read on.
    for (;;) {
        std::size_t n = 0;
        try {
            n = stream_->Read(buffer.data(), buffer.size());
        } catch (const std::exception& e) {
            core::DebOutObj(GetName(), "SendData", std::string("Lesefehler: ") + e.what());
            Fail();
            return;
        }
        if (n == 0) {
            SetUseEvent(core::kWaitLinkSendEmpty, false);
            Finish();
            return;
        }
        consumed_ += static_cast<std::int64_t>(n);
        const std::string piece = filter_.Filter(std::string_view(buffer.data(), n));
        job_->SetPosition(consumed_);
        if (piece.empty()) continue;
        job_->AddBytes(static_cast<std::int64_t>(piece.size()));
        connection->LinkSendQueue().PushString(piece);
        connection->Echo(piece);
        return;
    }
}

void TVerbindungTextSend::ShowPending(core::IVerbindungFuerModul& connection) {
    if (pending_.empty()) return;
    connection.ShowReceived(pending_);
    pending_.clear();
}

void TVerbindungTextSend::OnReceive() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!stopped_ && !queue.IsEmpty()) {
        std::string item = queue.PopLine();
        const bool complete = item.ends_with('\r');
        if (!lineStart_ && pending_.empty()) {
            // The rest of a line already shown.
            connection->ShowReceived(item);
            lineStart_ = complete;
            continue;
        }
        pending_ += item;
        if (complete && IsTextAbortLine(pending_)) {
            ShowPending(*connection);
            core::DebOutObj(GetName(), "ReceiveData", "Abbruch durch die Gegenstation.");
            const std::int32_t type = connection->StationType();
            if (type == core::kStationAutomatic || type == core::kStationTerminal)
                connection->SendData(
                    std::string(core::kReplyPrefix) + "Textdatei-Senden abgebrochen.\r", true,
                    false, false, false);
            // What follows is for the terminal text module again.
            stopped_ = true;
            Fail();
            return;
        }
        lineStart_ = complete;
        if (complete || !MayBecomeTextAbortLine(pending_)) ShowPending(*connection);
    }
}

void TVerbindungTextSend::Terminated(int endCode) {
    core::DebOutObj(GetName(), "Terminated");
    const auto connection = Connection();
    context_.PlayEnd(endCode, connection);
    if (connection) {
        ShowPending(*connection);
        // Also after an abort: it closes what the text before opened.
        if (job_ && stream_) connection->SendData(job_->GetTextAfter(), true, true, false, false);
        if (job_ && connection->DateiSenden() == job_) connection->SetDateiSenden(nullptr);
    }
    if (job_) {
        job_->Stop();
        job_->Release();
    }
    TVerbindungAbstract::Terminated(endCode);
}

// --- Registration -------------------------------------------------------------------

namespace {

template <class TModule>
TVerbindungAbstract::TModuleFactory Factory(const TTextTransferContext& context) {
    return [context](TVerbindungAbstract& parent) {
        return std::static_pointer_cast<TVerbindungAbstract>(
            TVerbindungAbstract::Create<TModule>(&parent, parent.Connection(), context));
    };
}

}  // namespace

void RegisterTextModules(const TTextTransferContext& context) {
    RegisterSendModule(kTextProtocol, Factory<TVerbindungTextSend>(context));
    RegisterReceiveModule(k7PlusHeader, Factory<TVerbindung7PlusReceive>(context));
    RegisterReceiveModule(kGoTextHeader, Factory<TVerbindungGoTextReceive>(context));
    RegisterReceiveModule(kGoInfoHeader, Factory<TVerbindungGoTextReceive>(context));
}

TTextTransferContext TextProgramContext(core::IKlaenge* klaenge) {
    TTextTransferContext context;
    context.klaenge = klaenge;
    context.receiveFolder = [] {
        const auto ordner = resources::Ordner();
        return ordner ? ordner->GetReceiveFolder() : std::filesystem::path();
    };
    context.recycle = [](const std::filesystem::path& p) { return core::RecycleFile(p); };
    return context;
}

void UnregisterTextModules() {
    RegisterSendModule(kTextProtocol, nullptr);
    RegisterReceiveModule(k7PlusHeader, nullptr);
    RegisterReceiveModule(kGoTextHeader, nullptr);
    RegisterReceiveModule(kGoInfoHeader, nullptr);
}

}  // namespace tarvo::connection
