// Where Tarvo keeps its settings, data and runtime files.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
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

// Creates the folders (mode 0700).
std::error_code CreateLocations(const Locations& locations);

}  // namespace tarvo::platform
