#include "connection/Verbindung7PlusReceiveU.h"

#include <cstdio>

#include "connection/VerbindungDidaditU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "filesend/DateiSendenU.h"

namespace tarvo::connection {

namespace {

// Columns first to last (counted from 1) of the line, as far as it reaches.
std::string_view Columns(std::string_view line, std::size_t first, std::size_t last) {
    if (first > line.size()) return {};
    return line.substr(first - 1, std::min(last, line.size()) - (first - 1));
}

// Digits of the base only, at most four of them; -1 otherwise.
int ParseField(std::string_view text, int base) {
    text = core::TrimControls(text);
    if (text.empty()) return -1;
    int value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return -1;
        value = value * base + digit;
    }
    return value;
}

}  // namespace

T7PlusHeader Parse7PlusHeader(std::string_view line) {
    T7PlusHeader header;
    header.part = ParseField(Columns(line, 9, 11), 10);
    header.count = ParseField(Columns(line, 16, 18), 10);
    header.name = std::string(core::TrimControls(Columns(line, 20, 31)));
    const int lines = ParseField(Columns(line, 41, 44), 16);
    header.lines = lines < 0 ? 0 : lines / 64;
    return header;
}

std::string SevenPlusFileName(const T7PlusHeader& header, std::string_view stem) {
    std::string name = CaptureName(header.name);
    // The extension goes, whatever it was.
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    if (name.empty()) name = CaptureName(stem);
    if (header.count == 1) return name + ".7pl";
    char part[16];
    std::snprintf(part, sizeof part, ".p%02X", header.part < 0 ? 0u : unsigned(header.part));
    return name + part;
}

TVerbindung7PlusReceive::TVerbindung7PlusReceive(
    TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> connection,
    TTextTransferContext context)
    : TVerbindungCapture(parent, std::move(connection), std::move(context), "7Plus-Empfang ok.",
                         "7Plus-Empfang Fehler.") {}

TVerbindung7PlusReceive::~TVerbindung7PlusReceive() = default;

void TVerbindung7PlusReceive::Init() {
    const std::string name = GetName();
    PlaySound(kSoundTransferStart);
    SetUseEvent(core::kWaitReceive, true);
    SetUseEvent(core::kWaitUserSend, true);
    // The operator can end a capture whose stop line never comes.
    SetActive(true);
    const auto connection = Connection();
    core::TStringQueue& queue = connection->ReceiveQueue();
    std::string line = queue.IsEmpty() ? std::string() : queue.PopLine();
    if (line.ends_with('\r')) line.pop_back();
    core::DebOutObj(name, "Init", "Header: " + line);
    header_ = Parse7PlusHeader(line);
    core::DebOutObj(name, "Init", "Teil: " + std::to_string(header_.part));
    core::DebOutObj(name, "Init", "Anzahl: " + std::to_string(header_.count));
    core::DebOutObj(name, "Init", "Original-Dateiname: " + header_.name);
    core::DebOutObj(name, "Init", "Zeilen erwartet: " + std::to_string(header_.lines));

    std::filesystem::path folder;
    if (!ReceiveFolder(folder) ||
        !CreateTarget(folder / SevenPlusFileName(header_, connection->Call())) ||
        !Write(line, true)) {
        Finish();
        return;
    }
    core::DebOutObj(name, "Init", "Dateiname: " + Target().string());
    linesReceived_ = 0;
    record_ = filesend::TDateiSenden::Create(connection);
    record_->SetFileName(Target().string());
    record_->SetSendName(Target().filename().string());
    record_->SetProtokoll(k7PlusProtocol);
    record_->SetSize(header_.lines);
    connection->SetDateiSenden(record_);
    record_->Start();
}

void TVerbindung7PlusReceive::Line(core::IVerbindungFuerModul& connection, std::string_view) {
    const std::string& line = lines_.Text();
    if (record_) record_->AddBytes(static_cast<std::int64_t>(lines_.Taken()));
    // The end line is kept in the file too.
    if (!Write(line, lines_.Complete())) return;
    if (!lines_.Complete()) return;
    if (!lines_.Continued()) {
        if (line.empty()) {
            core::DebOutObj(GetName(), "ReceiveData", "Ende (Leerzeile)");
            Finish();
            return;
        }
        if (line.starts_with(" stop_7+.") || line.starts_with("*** ")) {
            core::DebOutObj(GetName(), "ReceiveData",
                            line[0] == ' ' ? "Ende (\" stop_7+.\")" : "Ende (\"*** \")");
            connection.ShowReceived(line + "\r");
            Finish();
            return;
        }
    }
    ++linesReceived_;
    if (record_) record_->SetPosition(linesReceived_);
}

void TVerbindung7PlusReceive::Terminated(int endCode) {
    core::DebOutObj(GetName(), "Terminated", "Zeilen empfangen: " + std::to_string(linesReceived_));
    if (record_) {
        record_->Stop();
        if (const auto connection = Connection();
            connection && connection->DateiSenden() == record_)
            connection->SetDateiSenden(nullptr);
        record_->Release();
    }
    TVerbindungCapture::Terminated(endCode);
}

}  // namespace tarvo::connection
