// A file mapped into memory, locked for this process alone.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <system_error>

namespace tarvo::platform {

class MappedFile {
  public:
    // Opens or creates the file (mode 0600), locks it (a file another open holds
    // gives errc::device_or_resource_busy), grows it to at least minSize with its
    // blocks allocated (a full disk fails here, never later), and maps all of it.
    static std::unique_ptr<MappedFile> Open(const std::filesystem::path& p, std::size_t minSize,
                                            std::error_code& ec);
    // Memory that belongs to no file.
    static std::unique_ptr<MappedFile> Anonymous(std::size_t size, std::error_code& ec);

    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Throws the content away and maps `size` zero bytes instead.
    std::error_code Recreate(std::size_t size);
    // Writes the changed pages to the disk.
    std::error_code Sync();

    std::byte* data() { return data_; }
    const std::byte* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    MappedFile() = default;
    std::error_code Map(std::size_t size);
    void Unmap();

    int fd_ = -1;
    std::byte* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tarvo::platform
