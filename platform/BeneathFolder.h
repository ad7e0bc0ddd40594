// Files and folders reached only beneath one root folder, for paths a remote
// station typed. The caller passes the path as plain components (no "..", no
// separators); every open starts at the root's descriptor and resolves beneath
// it, so neither a symbolic link nor a rename in between leads outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/FileHandle.h"

namespace tarvo::platform {

struct BeneathEntry {
    std::string name;
    std::int64_t modified = 0;  // seconds since 1970 (UTC)
    std::int64_t size = 0;
    bool folder = false;
};

using BeneathPath = std::vector<std::string>;

// Whether the path names a folder beneath the root (links inside the root are
// followed, none that leads out).
bool IsFolderBeneath(const std::filesystem::path& root, const BeneathPath& folder);

// The regular files and folders of a folder beneath the root whose names the
// filter accepts, in the order the folder gives them, at most maxEntries.
// Symbolic links are not listed. An error when the folder cannot be reached.
std::error_code ListBeneath(const std::filesystem::path& root, const BeneathPath& folder,
                            const std::function<bool(std::string_view)>& accept,
                            std::size_t maxEntries, std::vector<BeneathEntry>& entries);

// Opens a regular file beneath the root for reading, non-blocking, the last
// component never through a link: a pipe or a device is refused before it is
// opened, and so is a file of maxSize bytes or more.
std::error_code OpenFileBeneath(const std::filesystem::path& root, const BeneathPath& file,
                                std::int64_t maxSize, FileHandle& out, std::int64_t& size);

}  // namespace tarvo::platform
