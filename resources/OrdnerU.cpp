#include "resources/OrdnerU.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;

namespace tarvo::resources {

namespace {

constexpr std::string_view kClass = "TOrdner";

fs::path WithSeparator(fs::path p) {
    if (!p.empty() && !p.has_filename()) return p;
    return p /= "";
}

// Inside root (both canonical) or root itself.
bool Inside(const fs::path& p, const fs::path& root) {
    const auto [r, q] = std::mismatch(root.begin(), root.end(), p.begin(), p.end());
    // A root with a trailing separator ends in an empty element.
    return r == root.end() || (std::next(r) == root.end() && r->empty());
}

std::mutex gMutex;
std::shared_ptr<TOrdner> gOrdner;

}  // namespace

TOrdner::TOrdner(platform::IRegistry& registry, platform::UserFolders user)
    : registry_(registry), user_(std::move(user)) {
    registry_.CreateKey(platform::Hive::CurrentUser, kKey);
}

fs::path TOrdner::GetPersonalFolder() const {
    for (const fs::path& p : {user_.download, user_.documents, user_.home})
        if (p.is_absolute()) return WithSeparator(p);
    // Without any user folder the program's own data folder, never "/".
    return WithSeparator(core::ApplicationDataFolder());
}

fs::path TOrdner::Read(std::string_view name, const fs::path& fallback) const {
    const auto value = registry_.GetValue(platform::Hive::CurrentUser, kKey, name);
    if (!value) return fallback;
    if (value->IsString() && value->text.empty()) return fallback;
    if (value->IsString() && fs::path(value->text).is_absolute())
        return WithSeparator(fs::path(value->text));
    core::DebOutObj(kClass, "Read", std::string("unusable setting: ") + std::string(name));
    return WithSeparator(user_.home.is_absolute() ? user_.home : GetPersonalFolder());
}

fs::path TOrdner::GetReceiveFolder() const {
    return Read("Empfang", GetPersonalFolder());
}

void TOrdner::SetReceiveFolder(std::string_view folder) {
    registry_.WriteUtf8(platform::Hive::CurrentUser, kKey, "Empfang", folder);
}

fs::path TOrdner::GetRemoteFolder() const {
    return Read("Remote", WithSeparator(GetPersonalFolder() / "Tarvo"));
}

void TOrdner::SetRemoteFolder(std::string_view folder) {
    registry_.WriteUtf8(platform::Hive::CurrentUser, kKey, "Remote", folder);
}

fs::path TOrdner::IncompleteFolder() {
    return WithSeparator(core::ApplicationDataFolder() / "Incomplete Files");
}

bool TOrdner::DirRemote(std::string_view path, std::string& pattern, std::string& relativeFolder,
                        std::vector<TRemoteEntry>& entries) const {
    entries.clear();
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    while (!p.empty() && p.front() == '/') p.erase(0, 1);
    std::error_code ec;
    const fs::path root = fs::canonical(GetRemoteFolder(), ec);
    if (ec) {
        core::DebOutObj(kClass, "DirRemote", "no released folder");
        relativeFolder.clear();
        return false;
    }
    std::string folder = p;
    pattern = "*";
    if (!fs::is_directory(root / p, ec)) {
        const std::size_t slash = p.rfind('/');
        folder = slash == std::string::npos ? std::string() : p.substr(0, slash);
        const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
        if (!file.empty()) pattern = file;
    }
    core::DebOutObj(kClass, "DirRemote", "Wildcard: " + pattern);
    core::DebOutObj(kClass, "DirRemote", "Folder (Parameter): " + folder);
    // Resolves "..", links and all: what is really listed.
    const fs::path real = fs::weakly_canonical(root / folder, ec);
    core::DebOutObj(kClass, "DirRemote", "Folder (wirklich): " + real.string());
    if (ec || !Inside(real, root)) {
        relativeFolder = folder;
        return false;
    }
    relativeFolder = real.lexically_relative(root).generic_string();
    if (relativeFolder == ".") relativeFolder.clear();
    for (fs::directory_iterator it(real, ec), end; !ec && it != end; it.increment(ec)) {
        if (entries.size() >= kMaxEntries) break;
        const std::string name = it->path().filename().string();
        if (!MatchesWildcard(name, pattern)) continue;
        std::error_code e2;
        // A link counts only when what it leads to stays inside.
        if (it->is_symlink(e2) && !Inside(fs::canonical(it->path(), e2), root)) continue;
        const fs::file_status st = fs::status(it->path(), e2);
        if (e2 || (!fs::is_directory(st) && !fs::is_regular_file(st))) continue;
        TRemoteEntry entry;
        entry.name = name;
        entry.folder = fs::is_directory(st);
        if (!entry.folder) {
            const auto size = fs::file_size(it->path(), e2);
            entry.size =
                e2 ? 0 : static_cast<std::uint32_t>(std::min<std::uintmax_t>(size, UINT32_MAX));
        }
        const auto written = fs::last_write_time(it->path(), e2);
        if (!e2)
            entry.modified = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::file_clock::to_sys(written).time_since_epoch())
                                 .count();
        entries.push_back(std::move(entry));
    }
    return true;
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    // Iterative matching with one backtrack point: linear in practice, no recursion.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || core::AsciiUpper(pattern[p]) ==
                                                                   core::AsciiUpper(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::shared_ptr<TOrdner> Ordner() {
    std::lock_guard lock(gMutex);
    return gOrdner;
}

void SetOrdner(std::shared_ptr<TOrdner> ordner) {
    std::lock_guard lock(gMutex);
    gOrdner = std::move(ordner);
}

}  // namespace tarvo::resources
