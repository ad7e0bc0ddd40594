// A data file written at random offsets while one owner holds it: opened for
// reading and writing with an exclusive lock (flock), so a second opener in
// this or another process is refused instead of writing into the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace tarvo::platform {

class LockedFile {
  public:
    // Opens an existing file (or creates it, mode 0600, when create). nullptr
    // with errc::device_or_resource_busy when someone else holds the lock.
    static std::unique_ptr<LockedFile> Open(const std::filesystem::path& path, bool create,
                                            std::error_code& ec);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    std::error_code WriteAt(std::int64_t offset, std::string_view data);
    // Up to count bytes from offset (fewer at the end of the file).
    std::error_code ReadAt(std::int64_t offset, std::size_t count, std::string& out);
    // -1 when it cannot be told.
    std::int64_t Size() const;
    std::error_code Truncate(std::int64_t size);
    std::error_code Sync();
    const std::filesystem::path& Path() const { return path_; }

  private:
    LockedFile() = default;
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace tarvo::platform
