// The session bus's service file, through which the bus starts the program
// when a client asks for its name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/Locations.h"

namespace tarvo::platform {

// $XDG_DATA_HOME/dbus-1/services/<name>.service ($HOME/.local/share without
// XDG_DATA_HOME); nullopt when neither is set.
std::optional<std::filesystem::path> SessionServiceFile(std::string_view name,
                                                        const GetEnv& getenv);
// The file's text: the name and the command line, each word quoted where the
// bus's parser needs it; nullopt when a word holds a line break.
std::optional<std::string> SessionServiceText(std::string_view name,
                                              const std::vector<std::string>& command);
// Writes or removes the file; removing one that is not there is no error.
std::error_code WriteSessionService(const std::filesystem::path& file, std::string_view text);
std::error_code RemoveSessionService(const std::filesystem::path& file);

// The running program's own file.
std::filesystem::path ProgramFile();

}  // namespace tarvo::platform
