#include "stations/StationenDatenbankU.h"

#include <algorithm>
#include <exception>
#include <system_error>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Files.h"
#include "stations/StationenDatenbankEintragU.h"

namespace tarvo::stations {

namespace {

constexpr std::string_view kClass = "TStationenDatenbank";
constexpr std::size_t kMaxCallLength = 10;

std::string StorageErrorName(std::error_code ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system)
        return "STG_E_ACCESSDENIED";
    if (ec == std::errc::no_such_file_or_directory) return "STG_E_FILENOTFOUND";
    if (ec == std::errc::too_many_files_open || ec == std::errc::too_many_files_open_in_system)
        return "STG_E_TOOMANYOPENFILES";
    if (ec == std::errc::not_enough_memory || ec == std::errc::no_space_on_device)
        return "STG_E_INSUFFICIENTMEMORY";
    return "unknown error";
}

[[noreturn]] void Fail(std::error_code ec) {
    throw TStationenDatenbankError("OpenStorage/CreateDocfile: " + StorageErrorName(ec));
}

// The repair keeps what a station is made of: its non-empty streams.
void Compact(platform::CompoundStorage& root) {
    for (const std::string& name : root.Names()) {
        platform::CompoundStorage* station = root.Storage(name);
        if (!station) {
            root.Remove(name);
            continue;
        }
        for (const std::string& element : station->Names()) {
            const std::string* data = station->Stream(element);
            if (!data || data->empty()) station->Remove(element);
        }
    }
}

}  // namespace

std::filesystem::path StationenDatenbankFile(const std::filesystem::path& dataFolder) {
    return dataFolder / "Database" / "Stations.tvd";
}

std::optional<std::string> StationKey(std::string_view call) {
    const std::size_t dash = call.find('-');
    const std::string_view base = call.substr(0, dash);
    if (base.empty() || base.size() > kMaxCallLength) return std::nullopt;
    std::string key;
    for (char c : base) {
        const char u = core::AsciiUpper(c);
        if (!((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))) return std::nullopt;
        key += u;
    }
    if (dash == std::string_view::npos) return key;
    const std::string_view ssid = call.substr(dash + 1);
    if (ssid.empty() || ssid.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : ssid) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 15) return std::nullopt;
    return key + "-" + std::to_string(value);
}

TStationenDatenbank::TStationenDatenbank(TStationenDatenbankSetup setup)
    : setup_(std::move(setup)) {}

std::shared_ptr<TStationenDatenbank> TStationenDatenbank::Open(TStationenDatenbankSetup setup) {
    core::DebOutObj(kClass, "Create", "begin...");
    std::shared_ptr<TStationenDatenbank> db(new TStationenDatenbank(std::move(setup)));
    db->Load();
    core::DebOutObj(kClass, "Create", "end.");
    return db;
}

TStationenDatenbank::~TStationenDatenbank() {
    // Entries that outlived shutdown may have changed something since.
    try {
        Flush();
    } catch (const std::exception& e) {
        core::DebOutObj(kClass, "Destroy", e.what());
    }
}

void TStationenDatenbank::KeepBackup(const std::string& bytes, bool damaged) {
    if (bytes.empty()) return;
    // A damaged file is evidence and never overwritten; the copy a repair run
    // keeps of a sound file replaces the one of the run before.
    std::filesystem::path name = setup_.file;
    name += damaged ? ".damaged" : ".bak";
    const std::filesystem::path backup = damaged ? platform::UniqueFileName(name) : name;
    if (backup.empty()) Fail(std::make_error_code(std::errc::file_exists));
    if (std::error_code ec = platform::WriteFileAtomic(backup, bytes, 0600)) Fail(ec);
    backups_.push_back(backup);
    core::DebOutObj(kClass, "DoCheck", "Sicherung: " + backup.string());
}

void TStationenDatenbank::Load() {
    const std::filesystem::path& file = setup_.file;
    if (std::error_code ec = platform::EnsureFolder(file.parent_path())) Fail(ec);
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (ec) Fail(ec);
    std::string bytes;
    if (exists) {
        std::optional<std::string> read = platform::ReadFile(file, kMaxFileBytes);
        // A file we cannot read is never replaced by an empty database.
        if (!read) Fail(std::make_error_code(std::errc::permission_denied));
        bytes = std::move(*read);
    } else if (setup_.check) {
        core::DebOutObj(kClass, "DoCheck", "Keine Datenbank vorhanden.");
    }
    platform::CompoundRead read = platform::ReadCompound(bytes, kStreamLimit);
    const bool damaged = !bytes.empty() && (!read.readable || read.skipped > 0);
    // Streams past the limit hold nothing anyone reads, but the file changes.
    const bool lost = damaged || read.truncated > 0;
    if (lost)
        core::DebOutObjFmt(kClass, "Create",
                           "Datei besch\xE4"
                           "digt: lesbar %d, %zu Elemente ausgelassen, %zu gek\xFCrzt",
                           read.readable ? 1 : 0, read.skipped, read.truncated);
    root_ = std::move(read.root);
    bool rewrite = !exists || lost || bytes.empty();
    if (root_.Remove("[ alle ]")) rewrite = true;
    if (setup_.check && exists) {
        Compact(root_);
        rewrite = true;
    }
    // Whatever replaces an existing file, the old one stays as a backup.
    if (rewrite && exists && (lost || setup_.check)) KeepBackup(bytes, damaged);
    if (rewrite) {
        if (std::error_code wec = platform::SaveCompoundFile(file, root_, 0600)) Fail(wec);
    }
}

void TStationenDatenbank::Changed() {
    std::function<void(std::function<void()>)> schedule;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        dirty_ = true;
        if (flushScheduled_ || !setup_.scheduleFlush) return;
        flushScheduled_ = true;
        schedule = setup_.scheduleFlush;
    }
    std::weak_ptr<TStationenDatenbank> weak = weak_from_this();
    schedule([weak] {
        if (auto db = weak.lock()) db->Flush();
    });
}

bool TStationenDatenbank::ReplaceAll(platform::CompoundStorage root,
                                     const std::filesystem::path& backup) {
    {
        std::lock_guard<std::mutex> one(flushMutex_);
        std::lock_guard<std::mutex> tree(treeMutex_);
        const std::string old = platform::WriteCompound(root_);
        if (old.empty() || platform::WriteFileAtomic(backup, old, 0600)) return false;
        backups_.push_back(backup);
        root_ = std::move(root);
        root_.Remove("[ alle ]");
        dirty_ = true;
    }
    core::DebOutObj(kClass, "ReplaceAll", "Sicherung: " + backup.string());
    return Flush();
}

bool TStationenDatenbank::Flush() {
    std::lock_guard<std::mutex> one(flushMutex_);
    std::string bytes;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        flushScheduled_ = false;
        if (!dirty_) return true;
        bytes = platform::WriteCompound(root_);
        if (!bytes.empty()) dirty_ = false;
    }
    std::error_code ec = bytes.empty() ? std::make_error_code(std::errc::io_error)
                                       : platform::WriteFileAtomic(setup_.file, bytes, 0600);
    if (!ec) return true;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        dirty_ = true;
    }
    core::DebOutObj(kClass, "Flush", "Schreiben fehlgeschlagen: " + ec.message());
    return false;
}

bool TStationenDatenbank::Close() {
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        setup_.scheduleFlush = nullptr;
    }
    return Flush();
}

std::shared_ptr<core::IStationenDatenbankEintrag> TStationenDatenbank::FindEntry(
    std::string_view call, bool fallback) {
    std::optional<std::string> key = StationKey(call);
    if (!key) return nullptr;
    // "CALL" and "CALL-0" are one station: both try "CALL-0" and then "CALL".
    const std::string base = core::BaseCallsign(*key);
    const bool withSsid = *key != base && *key != base + "-0";
    if (!withSsid) *key = base + "-0";
    if (auto entry = OpenStation(*key)) return entry;
    if (fallback || !withSsid) return OpenStation(base);
    return nullptr;
}

std::shared_ptr<core::IStationenDatenbankEintrag> TStationenDatenbank::OpenEntry(
    std::string_view key) {
    return OpenStation(key);
}

std::shared_ptr<core::IStationenDatenbankEintrag> TStationenDatenbank::CreateEntry(
    std::string_view key) {
    return CreateStation(key);
}

std::shared_ptr<TStationenDatenbankEintrag> TStationenDatenbank::OpenStation(std::string_view key) {
    return Station(key, false);
}

std::shared_ptr<TStationenDatenbankEintrag> TStationenDatenbank::CreateStation(
    std::string_view key) {
    return Station(key, true);
}

std::shared_ptr<TStationenDatenbankEintrag> TStationenDatenbank::Station(std::string_view key,
                                                                         bool create) {
    const std::optional<std::string> k = StationKey(key);
    if (!k) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = cache_.find(*k);
    if (it != cache_.end()) {
        if (auto entry = it->second.lock()) return entry;
    }
    bool created = false;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        // An existing station is kept: two callers creating it at once share it.
        if (!root_.Storage(*k)) {
            if (!create || !root_.CreateStorage(*k)) return nullptr;
            created = true;
        }
    }
    if (created) Changed();
    auto entry = std::make_shared<TStationenDatenbankEintrag>(shared_from_this(), *k);
    cache_[*k] = entry;
    return entry;
}

bool TStationenDatenbank::DeleteEntry(std::string_view key) {
    const std::optional<std::string> k = StationKey(key);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string name;
    if (k) {
        auto it = cache_.find(*k);
        if (it != cache_.end() && !it->second.expired()) return false;
        name = *k;
    } else {
        // Keys from older files that are no callsign can still be removed.
        name = core::AsciiUpper(key);
    }
    bool removed = false;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        removed = root_.Storage(name) && root_.Remove(name);
    }
    if (removed) Changed();
    return removed;
}

std::vector<std::string> TStationenDatenbank::ListEntries() const {
    std::lock_guard<std::mutex> tree(treeMutex_);
    std::vector<std::string> names;
    names.reserve(root_.Size());
    for (std::string& name : root_.Names())
        if (root_.Storage(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TStationenDatenbank::ListPasswordStreams(
    const TStationenDatenbankEintrag& entry) const {
    return entry.ListPasswordStreams();
}

std::optional<std::string> TStationenDatenbank::ReadStream(const std::string& key,
                                                           std::string_view name,
                                                           std::size_t limit) const {
    std::lock_guard<std::mutex> tree(treeMutex_);
    const platform::CompoundStorage* station = root_.Storage(key);
    const std::string* data = station ? station->Stream(name) : nullptr;
    if (!data) return std::nullopt;
    return data->substr(0, limit);
}

bool TStationenDatenbank::WriteStream(const std::string& key, std::string_view name,
                                      std::string data, std::size_t limit) {
    if (data.size() > limit) data.resize(limit);
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        platform::CompoundStorage* station = root_.Storage(key);
        if (!station || !station->SetStream(name, std::move(data))) return false;
    }
    Changed();
    return true;
}

void TStationenDatenbank::RemoveStream(const std::string& key, std::string_view name) {
    bool removed = false;
    {
        std::lock_guard<std::mutex> tree(treeMutex_);
        platform::CompoundStorage* station = root_.Storage(key);
        removed = station && station->Remove(name);
    }
    if (removed) Changed();
}

std::vector<std::string> TStationenDatenbank::StreamNames(const std::string& key) const {
    std::lock_guard<std::mutex> tree(treeMutex_);
    const platform::CompoundStorage* station = root_.Storage(key);
    return station ? station->Names() : std::vector<std::string>{};
}

void TStationenDatenbank::ForgetEntry(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = cache_.find(key);
    if (it != cache_.end() && it->second.expired()) cache_.erase(it);
}

}  // namespace tarvo::stations
