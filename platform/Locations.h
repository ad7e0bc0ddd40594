// Where Tarvo keeps its settings, data and runtime files.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarvo::platform {

struct Locations {
    std::filesystem::path settingsFile;  // tarvo.reg
    std::filesystem::path dataDir;       // text buffers, incomplete files, station database
    std::filesystem::path runtimeDir;    // instance lock, debug socket
};

using GetEnv = std::function<std::optional<std::string>(const char*)>;

// "--home DIR" (or "--home=DIR") on the command line, else TARVO_HOME, puts
// everything below one folder; otherwise the XDG folders. Nullopt with *error
// set for a "--home" without a folder, or an unsafe runtime folder.
std::optional<Locations> ResolveLocations(const std::vector<std::string>& args,
                                          const GetEnv& getenv, std::string* error);
std::optional<Locations> ResolveLocations(const std::vector<std::string>& args, std::string* error);

// The user's own folders; each empty when unknown. Download and documents come
// from $XDG_DOWNLOAD_DIR / $XDG_DOCUMENTS_DIR or the user-dirs.dirs file of the
// config folder, and count only when absolute and existing.
struct UserFolders {
    std::filesystem::path home;
    std::filesystem::path documents;
    std::filesystem::path download;
};
UserFolders ResolveUserFolders(const GetEnv& getenv);
UserFolders ResolveUserFolders();

// A file delivered with the program: beside it (the build tree), else in
// ../share/tarvo/ from the program's folder (an installed /usr/bin/tarvo finds
// /usr/share/tarvo/). When neither exists, the one beside the program, so that
// a message can name it.
std::filesystem::path DataFile(const std::filesystem::path& programDir, std::string_view name);

// Creates the folders (mode 0700).
std::error_code CreateLocations(const Locations& locations);

}  // namespace tarvo::platform
