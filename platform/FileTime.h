// A file's modification time as the transfer protocols announce it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tarvo::platform {

// The modification time in the local time zone, counted like Unix seconds
// (local wall-clock time read as if it were UTC); nullopt when it cannot be read.
std::optional<std::int64_t> FileModifiedLocalSeconds(const std::filesystem::path& path);

// Sets the modification time from local seconds counted the same way; false
// when it cannot be set.
bool SetFileModifiedLocalSeconds(const std::filesystem::path& path, std::int64_t localSeconds);

}  // namespace tarvo::platform
