// File operations the logic needs: unique names, moves that never replace,
// exclusive creation, the trash, atomic writes, and names that come from outside.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace tarvo::platform {

// The path itself when no directory entry of that name exists (of any kind:
// file, folder, dangling link, ...); else "stem (n).ext" for the smallest free
// n >= 1. Empty when no name up to n = 10000 is free.
std::filesystem::path UniqueFileName(const std::filesystem::path& p);

// Moves a file without ever replacing an existing target, also across file
// systems (copy, fsync, unlink). An existing target gives errc::file_exists.
std::error_code MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates an empty file (mode 0600) only when no entry of that name exists.
std::error_code CreateExclusive(const std::filesystem::path& p);

// A new empty file (mode 0600) with a unique name "<prefix>XXXXXX" in the
// folder, made with mkstemp; the folder is created when missing.
std::optional<std::filesystem::path> CreateTempFile(const std::filesystem::path& folder,
                                                    std::string_view prefix,
                                                    std::error_code* error = nullptr);

// Moves a file to the desktop's trash (freedesktop.org layout below trashRoot,
// by default $XDG_DATA_HOME/Trash).
std::error_code MoveToTrash(const std::filesystem::path& p);
std::error_code MoveToTrash(const std::filesystem::path& p, const std::filesystem::path& trashRoot);

// Replaces the file's content atomically: a temporary file in the same folder,
// written, synced and renamed over the target; the folder is synced too.
std::error_code WriteFileAtomic(const std::filesystem::path& p, std::string_view data,
                                int mode = 0600);

// The whole file, or nullopt when it cannot be read or is larger than maxBytes.
std::optional<std::string> ReadFile(const std::filesystem::path& p, std::size_t maxBytes);

// Creates the folder and its missing parents, each new one with the given mode.
std::error_code EnsureFolder(const std::filesystem::path& p, int mode = 0700);

// A file name that came from outside (code page 1252 bytes) made safe: the last
// path component only, no control characters, surrounding blanks trimmed, at
// most 255 bytes of UTF-8 (the extension kept where it can be). "" when nothing
// usable is left, or the name is "." or "..".
inline constexpr std::size_t kMaxFileNameBytes = 255;
std::string SafeFileName(std::string_view name);

// folder / SafeFileName(name), or nullopt when the name is refused.
std::optional<std::filesystem::path> SafeJoin(const std::filesystem::path& folder,
                                              std::string_view name);

}  // namespace tarvo::platform
