// The two configurable folders: where received files are stored, and the one
// folder remote stations may list and download from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Locations.h"

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::resources {

// One entry of a folder listing for a remote station.
struct TRemoteEntry {
    std::string name;           // UTF-8, as on disk
    std::int64_t modified = 0;  // seconds since 1970 (UTC)
    std::uint32_t size = 0;     // saturated at 32 bits
    bool folder = false;
};

class TOrdner {
  public:
    static constexpr std::string_view kKey = "\\Software\\Morvane\\Tarvo\\Ordner";
    static constexpr std::size_t kMaxEntries = 1000;

    TOrdner(platform::IRegistry& registry, platform::UserFolders user);

    // The folders always end with a separator and are absolute: a missing
    // setting gives the default, an unusable one (relative, not text) the home
    // folder.
    std::filesystem::path GetReceiveFolder() const;
    void SetReceiveFolder(std::string_view folder);
    std::filesystem::path GetRemoteFolder() const;
    void SetRemoteFolder(std::string_view folder);
    // The default base: the download folder, else documents, else home.
    std::filesystem::path GetPersonalFolder() const;

    // The lookup of a remote station's path below the released folder: the
    // pattern ("*" for a whole folder), the folder relative to the released one
    // ("" for itself, "/" between parts) and its entries (at most kMaxEntries,
    // folders and regular files only). False when the folder lies outside.
    bool DirRemote(std::string_view path, std::string& pattern, std::string& relativeFolder,
                   std::vector<TRemoteEntry>& entries) const;

    // "<application data>/Incomplete Files/", where transfers land first.
    static std::filesystem::path IncompleteFolder();

  private:
    std::filesystem::path Read(std::string_view name, const std::filesystem::path& fallback) const;

    platform::IRegistry& registry_;
    const platform::UserFolders user_;
};

// The process-wide folders; null before start-up made them and after shutdown.
std::shared_ptr<TOrdner> Ordner();
void SetOrdner(std::shared_ptr<TOrdner> ordner);

// Whether name matches the pattern with "*" and "?", without regard to ASCII case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace tarvo::resources
