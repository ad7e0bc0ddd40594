#include "stations/RemoteCommandsU.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "channels/KanaeleU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenU.h"
#include "platform/BeneathFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/OrdnerU.h"
#include "resources/TexteU.h"
#include "stations/StationenDatenbankEintragU.h"

namespace tarvo::stations {

namespace {

constexpr std::string_view kClass = "TRemoteCommandManager";
using platform::Hive;

constexpr std::string_view kInvalid = "Ung\xFCltiger Fernsteuerbefehl.";
constexpr std::string_view kLocked = "Fernsteuerbefehl gesperrt.";
constexpr std::string_view kFailed = "Fehler bei der Ausf\xFChrung des Fernsteuerbefehls.";
// One reply for every refused path: nothing tells what exists outside.
constexpr std::string_view kDenied = "Zugriff verweigert.";
constexpr std::string_view kBadParameter = "Ung\xFCltiger Parameter";
constexpr std::string_view kTooMany = "Zu viele Dateien warten schon.";
constexpr std::string_view kError = "Fehler.";

constexpr std::size_t kMaxPathParts = 32;

// The sound event of //RING.
constexpr int kSoundRing = 6;
constexpr std::uint8_t kBinAutobin = 2;
constexpr std::uint8_t kBinDidadit = 5;
constexpr std::uint8_t kBinText = 1;

bool StartsNoCase(std::string_view whole, std::string_view start) {
    return start.size() <= whole.size() && core::EqualNoCase(whole.substr(0, start.size()), start);
}

std::string BaseCall(std::string_view call) {
    return std::string(call.substr(0, call.find('-')));
}

std::string FormatThousands(std::int64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    const std::size_t len = digits.size();
    for (std::size_t i = 0; i < len; ++i) {
        if (i > 0 && (len - i) % 3 == 0) out += '.';
        out += digits[i];
    }
    return out;
}

// The locale's short date and time, as the German operator reads it.
std::string FormatListingTime(std::int64_t localSeconds) {
    const core::TDateTime t = core::UnixSecondsToDateTime(localSeconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute);
    return buf;
}

// A file opened beneath the released folder, read by a send job.
class TOpenFileStream final : public core::TStream {
  public:
    TOpenFileStream(platform::FileHandle file, std::int64_t size)
        : file_(std::move(file)), size_(size) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        std::error_code ec;
        const std::size_t n = file_.Read(buffer, count, ec);
        if (ec) throw core::TStreamError("Stream read error");
        return n;
    }
    void Write(const void*, std::size_t) override { throw core::TStreamError("Read only"); }
    std::int64_t Seek(std::int64_t offset, core::TSeekOrigin origin) override {
        std::error_code ec;
        const auto o = origin == core::TSeekOrigin::Begin ? platform::FileHandle::Origin::Begin
                       : origin == core::TSeekOrigin::Current
                           ? platform::FileHandle::Origin::Current
                           : platform::FileHandle::Origin::End;
        const std::int64_t at = file_.Seek(offset, o, ec);
        if (ec) throw core::TStreamError("Seek error");
        return at;
    }
    std::int64_t GetSize() override { return size_; }
    void SetSize(std::int64_t) override { throw core::TStreamError("Read only"); }

  private:
    platform::FileHandle file_;
    const std::int64_t size_;
};

std::mutex gManagerMutex;
std::shared_ptr<TRemoteCommandManager> gManager;

}  // namespace

const std::vector<TRemoteCommandRow>& RemoteCommandTable() {
    static const std::vector<TRemoteCommandRow> table = {
        {"binmode", 3, true,
         "W\xE4hlt ein Bin\xE4r\xFC"
         "bertragungsprotokoll aus"},
        {"cd", 2, false, "Wechselt den aktuellen Ordner"},
        {"cstatus", 2, false, "Zeigt die bestehenden Verbindungen an"},
        {"dir", 3, false, "Zeigt den Inhalt des aktuellen Ordners an"},
        {"disconnect", 3, true, "Trennt die Verbindung"},
        {"echo", 1, true,
         "Sendet Text zur\xFC"
         "ck"},
        {"help", 1, true, "Zeigt diese Hilfe an"},
        {"info", 1, true,
         "Zeigt Informationen \xFC"
         "ber diese Station"},
        {"name", 1, true, "Tr\xE4gt den Namen in die Datenbank ein"},
        {"news", 2, true, "Zeigt aktuelle Informationen"},
        {"quit", 1, true, "Sendet Abschiedstext und trennt die Verbindung"},
        {"read", 1, false,
         "L\xE4"
         "dt eine Datei herunter"},
        {"ring", 2, true, "Ruft den Benutzer"},
        {"rtt", 2, true,
         "Misst die Laufzeit (hin und zur\xFC"
         "ck)"},
        {"sid", 3, true, "Sendet die Terminal-Station-ID"},
        {"version", 1, true, "Gibt die Version von Tarvo aus"},
    };
    return table;
}

TRemoteLine ParseRemoteLine(std::string_view line) {
    TRemoteLine out;
    if (line.starts_with("//")) line.remove_prefix(2);
    if (line.empty() || line.front() == '/' || line.front() == ' ') {
        out.ignore = true;
        return out;
    }
    if (line.back() == '\r') line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    const std::string_view keyword = line.substr(0, blank);
    if (blank != std::string_view::npos) out.argument = core::TrimControls(line.substr(blank + 1));
    out.keyword = core::AsciiUpper(keyword);
    return out;
}

std::optional<std::vector<std::string>> ResolveRemotePath(std::string_view current,
                                                          std::string_view argument) {
    if (argument.size() > TRemoteCommands::kMaxLineBytes) return std::nullopt;
    // A NUL would make the check and the system call see different paths.
    for (const std::string_view text : {current, argument})
        for (const char c : text)
            if (static_cast<unsigned char>(c) < 32) return std::nullopt;
    std::vector<std::string> parts;
    auto walk = [&parts](std::string_view path) {
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find_first_of("/\\", start);
            if (end == std::string_view::npos) end = path.size();
            const std::string_view part = path.substr(start, end - start);
            start = end + 1;
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                if (parts.empty()) return false;
                parts.pop_back();
                continue;
            }
            if (part.size() > platform::kMaxFileNameBytes || parts.size() >= kMaxPathParts)
                return false;
            parts.emplace_back(part);
        }
        return true;
    };
    const bool fromRoot =
        !argument.empty() && (argument.front() == '/' || argument.front() == '\\');
    if (!fromRoot && !walk(current)) return std::nullopt;
    if (!walk(argument)) return std::nullopt;
    return parts;
}

std::string JoinRemotePath(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

// ---- the manager ------------------------------------------------------------------

TRemoteCommandManager::TRemoteCommandManager(platform::IRegistry& registry,
                                             core::TStationenQuelle stationen)
    : registry_(registry), stationen_(std::move(stationen)) {
    registry_.CreateKey(Hive::CurrentUser, kKey);
    const auto& table = RemoteCommandTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string name(table[i].keyword);
        if (!registry_.GetValue(Hive::CurrentUser, kKey, name))
            registry_.WriteDWord(Hive::CurrentUser, kKey, name, table[i].enabledByDefault ? 1 : 0);
        char line[64];
        std::snprintf(line, sizeof line, "RegisterCommand: %2d: %s", static_cast<int>(i),
                      name.c_str());
        core::DebOutObj(kClass, "RegisterCommand", line);
    }
}

int TRemoteCommandManager::FindCommand(std::string& keyword) const {
    const auto& table = RemoteCommandTable();
    const std::size_t n = keyword.size();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& row = table[i];
        if (n == 0 || static_cast<std::size_t>(row.minLength) > n) continue;
        if (!StartsNoCase(row.keyword, keyword)) continue;
        keyword = std::string(row.keyword);
        return static_cast<int>(i);
    }
    return -1;
}

std::size_t TRemoteCommandManager::Count() const {
    return RemoteCommandTable().size();
}

const TRemoteCommandRow& TRemoteCommandManager::Row(int index) const {
    return RemoteCommandTable().at(static_cast<std::size_t>(index));
}

std::string TRemoteCommandManager::DisplayName(int index) const {
    const auto& table = RemoteCommandTable();
    const auto& row = table.at(static_cast<std::size_t>(index));
    const std::string_view kw = row.keyword;
    std::size_t k = static_cast<std::size_t>(row.minLength);
    for (int j = 0; j < index; ++j) {
        const auto& other = table[static_cast<std::size_t>(j)];
        if (static_cast<std::size_t>(other.minLength) > k) continue;
        while (k <= kw.size() && other.keyword.substr(0, k) == kw.substr(0, k)) ++k;
        if (k > kw.size()) break;
    }
    k = std::min(k, kw.size());
    return core::AsciiUpper(kw.substr(0, k)) + std::string(kw.substr(k));
}

std::vector<std::string> TRemoteCommandManager::GetCommandNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < Count(); ++i) names.push_back(DisplayName(static_cast<int>(i)));
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return core::AsciiUpper(a) < core::AsciiUpper(b);
    });
    return names;
}

bool TRemoteCommandManager::GetDefaultEnabled(std::string_view keyword) const {
    std::lock_guard lock(mutex_);
    const auto v = registry_.ReadDWord(Hive::CurrentUser, kKey, core::AsciiUpper(keyword));
    return v && *v != 0;
}

void TRemoteCommandManager::SetDefaultEnabled(std::string_view keyword, bool enabled) {
    std::lock_guard lock(mutex_);
    registry_.WriteDWord(Hive::CurrentUser, kKey, core::AsciiUpper(keyword), enabled ? 1 : 0);
}

std::shared_ptr<core::IStationenDatenbankEintrag> TRemoteCommandManager::Entry(
    std::string_view key) const {
    const auto db = stationen_ ? stationen_() : nullptr;
    return db && !key.empty() ? db->OpenEntry(key) : nullptr;
}

bool TRemoteCommandManager::GetStationEnabled(std::string_view stationKey, std::string_view keyword,
                                              bool& enabled) const {
    std::lock_guard lock(mutex_);
    const auto entry = std::dynamic_pointer_cast<TStationenDatenbankEintrag>(Entry(stationKey));
    return entry && entry->GetRemoteCommand(core::AsciiUpper(keyword), enabled);
}

void TRemoteCommandManager::SetStationEnabled(std::string_view stationKey, std::string_view keyword,
                                              bool enabled) {
    std::lock_guard lock(mutex_);
    if (const auto entry = std::dynamic_pointer_cast<TStationenDatenbankEintrag>(Entry(stationKey)))
        entry->SetRemoteCommand(core::AsciiUpper(keyword), enabled);
}

void TRemoteCommandManager::ClearStationEnabled(std::string_view stationKey,
                                                std::string_view keyword) {
    std::lock_guard lock(mutex_);
    if (const auto entry = std::dynamic_pointer_cast<TStationenDatenbankEintrag>(Entry(stationKey)))
        entry->DeleteRemoteCommand(core::AsciiUpper(keyword));
}

bool TRemoteCommandManager::IsEnabled(std::string_view stationKey, std::string_view keyword,
                                      bool& enabled) const {
    if (stationKey.empty()) {
        enabled = GetDefaultEnabled(keyword);
        return true;
    }
    return GetStationEnabled(stationKey, keyword, enabled);
}

void TRemoteCommandManager::SetEnabled(std::string_view stationKey, std::string_view keyword,
                                       bool enabled) {
    if (stationKey.empty()) {
        SetDefaultEnabled(keyword, enabled);
    } else {
        SetStationEnabled(stationKey, keyword, enabled);
    }
}

bool TRemoteCommandManager::Permitted(std::string_view call, std::string_view keyword) const {
    bool enabled = false;
    if (!call.empty() && IsEnabled(call, keyword, enabled)) return enabled;
    const std::string base = BaseCall(call);
    if (!base.empty() && base != call && IsEnabled(base, keyword, enabled)) return enabled;
    return GetDefaultEnabled(keyword);
}

std::shared_ptr<TRemoteCommandManager> RemoteCommandManager() {
    std::lock_guard lock(gManagerMutex);
    return gManager;
}

void SetRemoteCommandManager(std::shared_ptr<TRemoteCommandManager> manager) {
    std::lock_guard lock(gManagerMutex);
    gManager = std::move(manager);
}

// ---- one connection's commands ----------------------------------------------------

TRemoteCommands::TRemoteCommands(const std::shared_ptr<core::IVerbindungFuerModul>& connection,
                                 TRemoteCommandsContext ctx)
    : ctx_(std::move(ctx)), connection_(connection) {}

void TRemoteCommands::Detach() {
    std::lock_guard lock(mutex_);
    connection_.reset();
}

std::shared_ptr<core::IVerbindungFuerModul> TRemoteCommands::Connection() const {
    std::lock_guard lock(mutex_);
    return connection_.lock();
}

std::string TRemoteCommands::CurrentFolder() const {
    std::lock_guard lock(mutex_);
    return currentFolder_;
}

const std::vector<TRemoteCommands::TCommand>& TRemoteCommands::Commands() {
    // In the order of RemoteCommandTable.
    static const std::vector<TCommand> commands = {
        &TRemoteCommands::Binmode, &TRemoteCommands::Cd,         &TRemoteCommands::CStatus,
        &TRemoteCommands::Dir,     &TRemoteCommands::Disconnect, &TRemoteCommands::Echo,
        &TRemoteCommands::Help,    &TRemoteCommands::Info,       &TRemoteCommands::Name,
        &TRemoteCommands::News,    &TRemoteCommands::Quit,       &TRemoteCommands::Read,
        &TRemoteCommands::Ring,    &TRemoteCommands::Rtt,        &TRemoteCommands::Sid,
        &TRemoteCommands::Version,
    };
    return commands;
}

void TRemoteCommands::SendReply(std::string_view text, bool expandCarets) {
    const auto connection = Connection();
    if (!connection || text.empty()) return;
    // A station that never reads its replies cannot make them pile up.
    if (connection->UserSendQueue().Bytes() + text.size() > kMaxPendingReplyBytes) {
        core::DebOutObj("TRemoteCommands", "SendReply", "reply dropped: send queue full");
        return;
    }
    connection->SendData(text, true, expandCarets, false, true);
}

void TRemoteCommands::Reply(std::string_view message) {
    SendReply(std::string(core::kReplyPrefix) + std::string(message) + "\r");
}

void TRemoteCommands::HandleLine(std::string_view line) {
    const TRemoteLine parsed =
        ParseRemoteLine(line.size() > kMaxLineBytes ? line.substr(0, kMaxLineBytes) : line);
    if (parsed.ignore) return;
    const auto connection = Connection();
    if (!connection || !ctx_.manager) return;
    std::string keyword = parsed.keyword;
    const int index = keyword.empty() ? -1 : ctx_.manager->FindCommand(keyword);
    if (index < 0) {
        Reply(kInvalid);
        return;
    }
    if (!ctx_.manager->Permitted(connection->Call(), keyword)) {
        Reply(kLocked);
        return;
    }
    try {
        (this->*Commands().at(static_cast<std::size_t>(index)))(parsed.argument);
    } catch (const std::exception& e) {
        core::DebOutObj("TRemoteCommands", "HandleLine", e.what());
        Reply(kFailed);
    } catch (...) {
        core::DebOutObj("TRemoteCommands", "HandleLine", "unknown exception");
        Reply(kFailed);
    }
}

// ---- the commands -----------------------------------------------------------------

void TRemoteCommands::Binmode(std::string_view argument) {
    const auto connection = Connection();
    if (!connection) return;
    if (!argument.empty()) {
        if (StartsNoCase("didadit", argument)) {
            connection->SetBinMode(kBinDidadit);
        } else if (StartsNoCase("autobin", argument)) {
            connection->SetBinMode(kBinAutobin);
        } else if (StartsNoCase("text", argument)) {
            connection->SetBinMode(kBinText);
        }
    }
    const std::uint8_t mode = connection->BinMode();
    const std::string_view name = mode == kBinAutobin   ? "AUTOBIN"
                                  : mode == kBinDidadit ? "DIDADIT"
                                  : mode == kBinText    ? "TEXT"
                                                        : "unbekannt";
    Reply(
        "\xDC"
        "bertragungsprotokoll: " +
        std::string(name));
}

std::optional<std::filesystem::path> TRemoteCommands::Root() const {
    if (!ctx_.releasedFolder) return std::nullopt;
    const std::filesystem::path root = ctx_.releasedFolder();
    if (root.empty() || !root.is_absolute() || !platform::IsFolderBeneath(root, {}))
        return std::nullopt;
    return root;
}

bool TRemoteCommands::Lookup(std::string_view argument, std::vector<std::string>& folder,
                             std::string& pattern) const {
    const auto root = Root();
    if (!root) return false;
    // Containment first: nothing on disk is looked at for a path that leaves.
    auto parts = ResolveRemotePath(CurrentFolder(), argument);
    if (!parts) return false;
    pattern = "*";
    if (!parts->empty() && !platform::IsFolderBeneath(*root, *parts)) {
        pattern = parts->back();
        parts->pop_back();
    }
    folder = std::move(*parts);
    return true;
}

void TRemoteCommands::Cd(std::string_view argument) {
    const auto root = Root();
    if (!root) {
        Reply(kBadParameter);
        return;
    }
    if (!argument.empty()) {
        const auto parts = ResolveRemotePath(CurrentFolder(), argument);
        std::optional<std::vector<std::string>> target;
        if (parts && platform::IsFolderBeneath(*root, *parts)) {
            target = *parts;
        } else if (parts && !parts->empty()) {
            // A pattern: the first folder that matches it.
            std::vector<std::string> parent(parts->begin(), parts->end() - 1);
            const std::string pattern = parts->back();
            std::vector<platform::BeneathEntry> entries;
            const auto match = [&pattern](std::string_view name) {
                return resources::MatchesWildcard(name, pattern);
            };
            if (!platform::ListBeneath(*root, parent, match, kMaxListed, entries)) {
                for (const auto& e : entries) {
                    if (!e.folder) continue;
                    parent.push_back(e.name);
                    target = parent;
                    break;
                }
            }
        }
        if (!target) {
            Reply(kBadParameter);
            return;
        }
        std::lock_guard lock(mutex_);
        currentFolder_ = JoinRemotePath(*target);
    }
    Reply("Aktueller Ordner: " + CurrentFolder() + "\\");
}

void TRemoteCommands::CStatus(std::string_view) {
    std::vector<std::shared_ptr<core::IVerbindung>> list;
    if (ctx_.connections) {
        // Copied under the lock, sent without it: sending may wait.
        ctx_.connections->Lock();
        for (int i = 0; i < ctx_.connections->Count(); ++i)
            if (auto v = ctx_.connections->Get(i)) list.push_back(std::move(v));
        ctx_.connections->Unlock();
    }
    std::string text = std::string(core::kReplyPrefix) + "Verbindungs-Status:\r\r";
    for (const auto& v : list) {
        char line[128];
        std::snprintf(line, sizeof line, "  %-9s %s %-9s\r", v->MyCall().c_str(),
                      v->Outgoing() ? ">" : "<", v->Call().c_str());
        text += line;
    }
    text += "\r";
    SendReply(text);
}

void TRemoteCommands::Dir(std::string_view argument) {
    std::vector<std::string> folder;
    std::string pattern;
    std::vector<platform::BeneathEntry> entries;
    const auto root = Root();
    const auto match = [&pattern](std::string_view name) {
        return resources::MatchesWildcard(name, pattern);
    };
    if (!root || !Lookup(argument, folder, pattern) ||
        platform::ListBeneath(*root, folder, match, kMaxListed, entries)) {
        Reply(kDenied);
        return;
    }
    std::int64_t offset = 0;
    if (ctx_.clock) offset = ctx_.clock->LocalSeconds() - ctx_.clock->UnixSeconds();
    std::string text = std::string(core::kReplyPrefix) + "Inhalt von " + JoinRemotePath(folder) +
                       "\\" + pattern + "\r\r";
    std::int64_t files = 0, bytes = 0;
    char column[32];
    for (const auto& e : entries) {
        if (e.folder) {
            std::snprintf(column, sizeof column, "%-11s", "<DIR>");
        } else {
            std::snprintf(column, sizeof column, "%11s", FormatThousands(e.size).c_str());
            ++files;
            bytes += e.size;
        }
        text += FormatListingTime(e.modified + offset) + " " + column + " " + e.name +
                (e.folder ? "\\" : "") + "\r";
    }
    if (!entries.empty()) text += "\r";
    text +=
        "         " + std::to_string(files) + " Dateien, " + FormatThousands(bytes) + " Bytes\r";
    SendReply(text);
}

void TRemoteCommands::Disconnect(std::string_view) {
    if (const auto connection = Connection()) connection->Disconnect();
}

void TRemoteCommands::Echo(std::string_view argument) {
    SendReply(std::string(argument) + "\r");
}

void TRemoteCommands::Help(std::string_view) {
    const auto connection = Connection();
    if (!connection) return;
    const std::string call = connection->Call();
    const auto& m = *ctx_.manager;
    std::size_t width = 0;
    std::vector<std::pair<std::string, int>> rows;  // display name, row
    for (std::size_t i = 0; i < m.Count(); ++i) {
        rows.emplace_back(m.DisplayName(static_cast<int>(i)), static_cast<int>(i));
        width = std::max(width, rows.back().first.size());
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return core::AsciiUpper(a.first) < core::AsciiUpper(b.first);
    });
    std::string available, locked;
    for (const auto& [name, i] : rows) {
        const auto& row = m.Row(i);
        if (m.Permitted(call, row.keyword)) {
            std::string line = "  //" + name + std::string(width - name.size(), ' ');
            if (!row.help.empty()) line += " - " + std::string(row.help);
            available += line + "\r";
        } else {
            if (!locked.empty()) locked += ", ";
            locked += name;
        }
    }
    std::string text(core::kReplyPrefix);
    if (!available.empty()) text += "Verf\xFCgbare Fernsteuerbefehle:\r\r" + available + "\r";
    if (!locked.empty()) text += "Gesperrte Fernsteuerbefehle: " + locked + ".\r\r";
    SendReply(text);
}

void TRemoteCommands::SendKindOrEmpty(int kind, std::string_view emptyMessage) {
    const auto connection = Connection();
    if (!connection) return;
    const std::string text = ctx_.texte ? ctx_.texte->GetText(kind, connection.get()) : "";
    if (text.empty()) {
        Reply(emptyMessage);
        return;
    }
    // The operator's text: its carets are meant, those of names are doubled.
    SendReply(text, true);
}

void TRemoteCommands::Info(std::string_view) {
    SendKindOrEmpty(resources::kTextInfo, "Kein Info-Text vorhanden.");
}

void TRemoteCommands::News(std::string_view) {
    SendKindOrEmpty(resources::kTextNews, "Keine Neuigkeiten.");
}

void TRemoteCommands::Name(std::string_view argument) {
    const auto connection = Connection();
    if (!connection) return;
    const auto db = connection->StationenDatenbank();
    const std::string call = connection->Call();
    std::shared_ptr<core::IStationenDatenbankEintrag> entry =
        db ? db->FindEntry(call, true) : nullptr;
    if (!entry && db) entry = db->CreateEntry(BaseCall(call));
    const auto own = std::dynamic_pointer_cast<TStationenDatenbankEintrag>(entry);
    if (!entry || (!argument.empty() && !own)) {
        Reply(kError);
        return;
    }
    if (!argument.empty()) own->SetName(argument);
    const std::string name = entry->GetName();
    if (name.empty()) {
        Reply("Name unbekannt.");
        return;
    }
    Reply("Hallo " + name + ".");
}

void TRemoteCommands::Quit(std::string_view) {
    const auto connection = Connection();
    if (!connection) return;
    if (ctx_.texte) ctx_.texte->SendText(resources::kTextQuit, *connection);
    connection->Disconnect();
}

void TRemoteCommands::Read(std::string_view argument) {
    const auto connection = Connection();
    if (!connection) return;
    std::vector<std::string> folder;
    std::string pattern;
    std::vector<platform::BeneathEntry> entries;
    const auto root = Root();
    const auto match = [&pattern](std::string_view name) {
        return resources::MatchesWildcard(name, pattern);
    };
    if (argument.empty() || !root || !Lookup(argument, folder, pattern) ||
        platform::ListBeneath(*root, folder, match, kMaxListed, entries) ||
        std::none_of(entries.begin(), entries.end(), [](const auto& e) { return !e.folder; })) {
        Reply(kDenied);
        return;
    }
    const auto queue = connection->DateiSendenQueue();
    const std::uint8_t mode = connection->BinMode();
    const std::int32_t protokoll = mode == kBinDidadit ? filesend::kProtokollDidadit
                                   : mode == kBinText  ? filesend::kProtokollText
                                                       : filesend::kProtokollAutobin;
    for (const auto& e : entries) {
        if (e.folder) continue;
        if (!queue || queue->GetCount() >= kMaxQueuedJobs) {
            Reply(kTooMany);
            return;
        }
        std::vector<std::string> path = folder;
        path.push_back(e.name);
        platform::FileHandle file;
        std::int64_t size = 0;
        if (platform::OpenFileBeneath(*root, path, kMaxFileSize, file, size)) {
            Reply(kDenied);
            continue;
        }
        std::filesystem::path full = *root;
        for (const auto& p : path) full /= p;
        filesend::TDateiSendenPraeprozessor pre;
        pre.SetVerbindung(connection);
        pre.SetFileName(full.string());
        pre.SetStream(std::make_unique<TOpenFileStream>(std::move(file), size));
        pre.SetProtokoll(protokoll);
        if (pre.Run().queued == 0) Reply(kDenied);
    }
}

void TRemoteCommands::Ring(std::string_view) {
    const auto connection = Connection();
    const bool rang = connection && ctx_.klaenge && ctx_.klaenge->Play(kSoundRing, connection);
    Reply(rang ? "Es hat geklingelt." : "Es hat nicht geklingelt.");
}

void TRemoteCommands::Rtt(std::string_view argument) {
    static const platform::SteadyClock steady;
    const platform::IClock& clock = ctx_.clock ? *ctx_.clock : steady;
    const auto now = static_cast<std::uint32_t>(clock.SteadyMs());
    if (argument.empty()) {
        SendReply("//e //rtt " + std::to_string(static_cast<std::int32_t>(now)) + "\r");
        return;
    }
    std::int64_t sent = 0;
    const auto [end, ec] =
        std::from_chars(argument.data(), argument.data() + argument.size(), sent);
    if (ec != std::errc() || end != argument.data() + argument.size() || sent < INT32_MIN ||
        sent > INT32_MAX)
        sent = 0;
    if (sent == 0) {
        Reply(kError);
        return;
    }
    const std::uint32_t elapsed = now - static_cast<std::uint32_t>(sent);
    const auto seconds = static_cast<long long>(std::nearbyint(elapsed / 1000.0));
    Reply("Laufzeit: " + std::to_string(seconds) + " sek.");
}

void TRemoteCommands::Sid(std::string_view) {
    if (const auto connection = Connection()) connection->SendStationId();
}

void TRemoteCommands::Version(std::string_view) {
    Reply("Version " + ctx_.versionText);
}

std::vector<TRemotePermission> PermissionRows(const TRemoteCommandManager* manager,
                                              const TRemoteCommandList* station) {
    std::vector<TRemotePermission> rows;
    const auto& table = RemoteCommandTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& row = table[i];
        TRemotePermission p;
        p.keyword = core::AsciiUpper(row.keyword);
        p.help = std::string(row.help);
        p.displayName = manager ? manager->DisplayName(static_cast<int>(i)) : p.keyword;
        const bool global =
            manager ? manager->GetDefaultEnabled(row.keyword) : row.enabledByDefault;
        p.state = global ? 1 : 0;
        if (station) {
            p.state = global ? 3 : 2;
            for (const auto& [name, value] : *station)
                if (core::EqualNoCase(name, row.keyword)) p.state = value == "1" ? 1 : 0;
        }
        rows.push_back(std::move(p));
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return core::AsciiUpper(a.displayName) < core::AsciiUpper(b.displayName);
    });
    return rows;
}

TRemoteCommandList StationPermissions(const std::vector<TRemotePermission>& rows) {
    TRemoteCommandList list;
    for (const auto& r : rows)
        if (r.state == 0 || r.state == 1) list.emplace_back(r.keyword, r.state == 1 ? "1" : "0");
    return list;
}

std::function<
    std::shared_ptr<core::IRemoteCommands>(const std::shared_ptr<core::IVerbindungFuerModul>&)>
RemoteCommandsFactory(TRemoteCommandsContext ctx) {
    return [ctx = std::move(ctx)](const std::shared_ptr<core::IVerbindungFuerModul>& connection)
               -> std::shared_ptr<core::IRemoteCommands> {
        return std::make_shared<TRemoteCommands>(connection, ctx);
    };
}

}  // namespace tarvo::stations
