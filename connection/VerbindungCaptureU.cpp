#include "connection/VerbindungCaptureU.h"

#include <exception>
#include <system_error>

#include "connection/VerbindungDidaditU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace tarvo::connection {

namespace {

// A taken name is tried again under the next free one this often.
constexpr int kCreateAttempts = 100;

}  // namespace

std::string CaptureName(std::string_view raw) {
    std::string name = platform::SafeFileName(raw);
    const std::size_t first = name.find_first_not_of(". ");
    return first == std::string::npos ? std::string() : name.substr(first);
}

// --- Lines ---------------------------------------------------------------------------

std::size_t TCaptureLineBuffer::Take(std::string_view data) {
    if (Ready()) return 0;
    std::size_t n = 0;
    while (n < data.size() && text_.size() < kMaxCaptureLine) {
        const char c = data[n++];
        if (c == '\r') {
            complete_ = true;
            break;
        }
        // The LF of a CR LF belongs to the line end before.
        if (c == '\n' && text_.empty() && !continued_) continue;
        text_ += c;
    }
    taken_ += n;
    return n;
}

void TCaptureLineBuffer::Next() {
    continued_ = !complete_ && !text_.empty();
    text_.clear();
    taken_ = 0;
    complete_ = false;
}

// --- The module base --------------------------------------------------------------------

TVerbindungCapture::TVerbindungCapture(TVerbindungAbstract* parent,
                                       std::shared_ptr<core::IVerbindungFuerModul> connection,
                                       TTextTransferContext context, std::string_view ok,
                                       std::string_view failed)
    : TVerbindungAbstract(parent, std::move(connection)),
      context_(std::move(context)),
      ok_(ok),
      failed_(failed) {}

TVerbindungCapture::~TVerbindungCapture() = default;

void TVerbindungCapture::OnReceive() {
    const auto connection = Connection();
    if (!connection) return;
    core::TStringQueue& queue = connection->ReceiveQueue();
    while (!ended_ && !queue.IsEmpty()) {
        // At most one CR, at its end: nothing is left over after a stop line.
        const std::string item = queue.PopLine();
        Received(*connection, item);
        std::string_view rest = item;
        while (!rest.empty() && !ended_) {
            rest.remove_prefix(lines_.Take(rest));
            if (!lines_.Ready()) break;
            Line(*connection, item);
            lines_.Next();
        }
    }
}

void TVerbindungCapture::OnUserSend() {
    const auto connection = Connection();
    if (!connection || connection->UserSendQueue().IsEmpty()) return;
    connection->LinkSendQueue().PushString(connection->UserSendQueue().PopString());
}

std::string TVerbindungCapture::Begin() {
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, true);
    // The operator can end a capture whose stop line never comes.
    SetActive(true);
    core::TStringQueue& queue = Connection()->ReceiveQueue();
    std::string line = queue.IsEmpty() ? std::string() : queue.PopLine();
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

bool TVerbindungCapture::ReceiveFolder(std::filesystem::path& folder) {
    folder = context_.receiveFolder ? context_.receiveFolder() : std::filesystem::path();
    if (folder.empty()) {
        core::DebOutObj(GetName(), "Init", "Kein Empfangs-Ordner.");
        return false;
    }
    if (const std::error_code ec = platform::EnsureFolder(folder)) {
        core::DebOutObj(GetName(), "Init", "Empfangs-Ordner: " + ec.message());
        return false;
    }
    return true;
}

bool TVerbindungCapture::CreateTarget(const std::filesystem::path& path) {
    // Another writer (or a link planted meanwhile) may take a free name before
    // it is created: then the next one.
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::filesystem::path candidate = platform::UniqueFileName(path);
        if (candidate.empty()) break;
        const std::error_code ec = file_.Open(candidate, platform::FileHandle::Access::CreateNew);
        if (!ec) {
            target_ = candidate;
            written_ = 0;
            return true;
        }
        if (ec != std::errc::file_exists) {
            core::DebOutObj(GetName(), "Init", candidate.string() + ": " + ec.message());
            return false;
        }
    }
    core::DebOutObj(GetName(), "Init", "Kein freier Dateiname: " + path.string());
    return false;
}

bool TVerbindungCapture::Write(std::string_view text, bool lineEnd) {
    if (!file_.IsOpen()) return false;
    std::string data(text);
    if (lineEnd) data += "\r\n";
    written_ += static_cast<std::int64_t>(data.size());
    if (written_ > kMaxCaptureBytes) {
        core::DebOutObj(GetName(), "ReceiveData", "Datei zu gro\xDF.");
        Fail();
        return false;
    }
    if (const std::error_code ec = file_.Write(data.data(), data.size())) {
        core::DebOutObj(GetName(), "ReceiveData", "Schreibfehler: " + ec.message());
        Fail();
        return false;
    }
    return true;
}

void TVerbindungCapture::Finish() {
    ended_ = true;
    if (Connection()) SetUseEvent(core::kWaitReceive, false);
    TVerbindungAbstract::Finish();
}

void TVerbindungCapture::Fail() {
    ended_ = true;
    if (Connection()) SetUseEvent(core::kWaitReceive, false);
    TVerbindungAbstract::Fail();
}

void TVerbindungCapture::Terminated(int endCode) {
    core::DebOutObj(GetName(), "Terminated");
    bool stored = file_.IsOpen();
    if (stored) {
        // A close that fails lost written data.
        if (const std::error_code ec = file_.Close()) {
            core::DebOutObj(GetName(), "Terminated", "Schreibfehler: " + ec.message());
            stored = false;
            if (endCode == kEndFinished) endCode = kEndFailed;
        }
    }
    const auto connection = Connection();
    context_.PlayEnd(endCode, connection);
    if (connection) {
        const std::int32_t type = connection->StationType();
        if (endCode == kEndFinished &&
            (type == core::kStationAutomatic || type == core::kStationTerminal))
            connection->SendData(
                "\r" + std::string(core::kReplyPrefix) + (stored ? ok_ : failed_) + "\r", true,
                false, false, true);
        if (endCode == kEndFinished && stored)
            connection->KanalPrompt(
                core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei gespeichert:") + "\r" +
                    platform::Utf8ToCp1252(target_.string()),
                3);
        else if (endCode != kEndThread)
            connection->KanalPrompt(
                core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert.") +
                    "\r",
                3);
    }
    // Only a capture that reached its stop line is kept.
    if (endCode != kEndFinished && !target_.empty()) {
        if (context_.recycle) {
            try {
                if (!context_.recycle(target_))
                    core::DebOutObj(GetName(), "Terminated", "Papierkorb: " + target_.string());
            } catch (const std::exception& e) {
                core::DebOutObj(GetName(), "Terminated", e.what());
            }
        } else {
            std::error_code ec;
            std::filesystem::remove(target_, ec);
        }
    }
    TVerbindungAbstract::Terminated(endCode);
}

}  // namespace tarvo::connection
