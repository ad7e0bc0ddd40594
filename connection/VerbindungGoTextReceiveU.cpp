#include "connection/VerbindungGoTextReceiveU.h"

#include "connection/VerbindungDidaditU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"

namespace tarvo::connection {

std::optional<std::string> GoTextName(std::string_view line) {
    if (line.starts_with(' ')) line.remove_prefix(1);
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    return std::string(line.substr(blank + 1));
}

TVerbindungGoTextReceive::TVerbindungGoTextReceive(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TTextTransferContext context)
    : TVerbindungCapture(parent, std::move(connection), std::move(context), "GoText-Empfang ok.",
                         "GoText-Empfang Fehler.") {}

TVerbindungGoTextReceive::~TVerbindungGoTextReceive() = default;

void TVerbindungGoTextReceive::Init() {
    const std::string name = GetName();
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, true);
    // The operator can end a capture whose stop line never comes.
    SetActive(true);
    const auto connection = Connection();
    core::TStringQueue& queue = connection->ReceiveQueue();
    std::string line = queue.IsEmpty() ? std::string() : queue.PopLine();
    if (line.empty()) {
        Finish();
        return;
    }
    if (line.ends_with('\r')) line.pop_back();
    core::DebOutObj(name, "Init", "GoText-Header: " + line);
    const auto given = GoTextName(line);
    if (!given) {
        Finish();
        return;
    }
    std::string fileName = CaptureName(*given);
    if (fileName.empty()) fileName = CaptureName(connection->Call() + ".txt");
    std::filesystem::path folder;
    if (!ReceiveFolder(folder)) {
        Finish();
        return;
    }
    const std::filesystem::path path = folder / fileName;
    core::DebOutObj(name, "Init", "GoText-Dateiname: " + path.string());
    // 7Plus correction and error files are of no use on the screen.
    const std::string extension = core::AsciiUpper(path.extension().string());
    show_ = extension != ".COR" && extension != ".ERR";
    if (!CreateTarget(path)) {
        Finish();
        return;
    }
    core::DebOutObj(name, "Init", "GoText-SpeichernUnter: " + Target().string());
    PlaySound(kSoundTransferStart);
}

void TVerbindungGoTextReceive::Received(core::IVerbindungFuerModul& connection,
                                        std::string_view item) {
    if (show_) connection.ShowReceived(item);
}

void TVerbindungGoTextReceive::Line(core::IVerbindungFuerModul& connection, std::string_view item) {
    const std::string& line = lines_.Text();
    if (lines_.Complete() && !lines_.Continued() &&
        (line.starts_with(" stop_text.") || line.starts_with(" stop_info.") ||
         line.starts_with("*** "))) {
        // Stop lines stay out of the file, but the operator sees them.
        if (!show_) connection.ShowReceived(item);
        Finish();
        return;
    }
    Write(line, lines_.Complete());
}

}  // namespace tarvo::connection
