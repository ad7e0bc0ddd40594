// An open file: read, write, seek, size, sync and an advisory lock, with errors
// as error codes. Owns its descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace tarvo::platform {

class FileHandle {
  public:
    enum class Access {
        Read,        // existing file, read only
        ReadWrite,   // existing file, read and write
        Create,      // created or emptied (mode 0600), read and write
        OpenAlways,  // opened, created when missing (mode 0600), read and write
        CreateNew    // created (mode 0600) only when no entry of that name exists, not even a link
    };
    enum class Origin { Begin, Current, End };

    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    std::error_code Open(const std::filesystem::path& p, Access access);
    // Takes over a descriptor opened elsewhere in the platform layer.
    static FileHandle Adopt(int fd) {
        FileHandle h;
        h.fd_ = fd;
        return h;
    }
    // Closes; the error of the close itself (a delayed write error) is returned.
    std::error_code Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Native() const { return fd_; }

    // Up to count bytes; fewer only at the end of the file. Interrupted calls are repeated.
    std::size_t Read(void* buffer, std::size_t count, std::error_code& ec);
    // All count bytes, or an error.
    std::error_code Write(const void* buffer, std::size_t count);
    // The new position, or -1 with ec set.
    std::int64_t Seek(std::int64_t offset, Origin origin, std::error_code& ec);
    std::int64_t Size(std::error_code& ec) const;
    std::error_code Truncate(std::int64_t size);
    std::error_code Sync();
    // An exclusive advisory lock without waiting; errc::device_or_resource_busy
    // when another open file description holds it. Released by Close.
    std::error_code TryLockExclusive();

  private:
    int fd_ = -1;
};

}  // namespace tarvo::platform
