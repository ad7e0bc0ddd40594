#include "platform/MappedFile.h"
#include "platform/PosixError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tarvo::platform {

namespace {
std::error_code Allocate(int fd, std::size_t size) {
    if (size == 0) return {};
    // posix_fallocate returns the error instead of setting errno.
    const int e = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    return e == 0 ? std::error_code{} : Errno(e);
}
}  // namespace

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& p, std::size_t minSize,
                                             std::error_code& ec) {
    ec.clear();
    std::unique_ptr<MappedFile> m(new MappedFile());
    m->fd_ = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m->fd_ < 0) {
        ec = Errno();
        return nullptr;
    }
    if (::flock(m->fd_, LOCK_EX | LOCK_NB) != 0) {
        ec = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                  : Errno();
        return nullptr;
    }
    struct stat st;
    if (::fstat(m->fd_, &st) != 0) {
        ec = Errno();
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return nullptr;
    }
    const std::size_t size = std::max(static_cast<std::size_t>(st.st_size), minSize);
    // Also when the file is already large enough: it may be sparse, and a hole
    // written through the mapping on a full disk would be a SIGBUS.
    if ((ec = Allocate(m->fd_, size))) {
        // Leave no half-grown file behind.
        if (::ftruncate(m->fd_, st.st_size) != 0) {
        }
        return nullptr;
    }
    if ((ec = m->Map(size))) return nullptr;
    return m;
}

std::unique_ptr<MappedFile> MappedFile::Anonymous(std::size_t size, std::error_code& ec) {
    ec.clear();
    std::unique_ptr<MappedFile> m(new MappedFile());
    if ((ec = m->Map(size))) return nullptr;
    return m;
}

MappedFile::~MappedFile() {
    Unmap();
    if (fd_ >= 0) ::close(fd_);  // also drops the lock
}

std::error_code MappedFile::Map(std::size_t size) {
    if (size == 0) return {};
    const int flags = fd_ >= 0 ? MAP_SHARED : MAP_PRIVATE | MAP_ANONYMOUS;
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, fd_, 0);
    if (p == MAP_FAILED) return Errno();
    data_ = static_cast<std::byte*>(p);
    size_ = size;
    return {};
}

void MappedFile::Unmap() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

std::error_code MappedFile::Recreate(std::size_t size) {
    Unmap();
    if (fd_ < 0) return Map(size);
    if (::ftruncate(fd_, 0) != 0) return Errno();
    if (auto ec = Allocate(fd_, size)) return ec;
    return Map(size);
}

std::error_code MappedFile::Sync() {
    if (!data_ || fd_ < 0) return {};
    if (::msync(data_, size_, MS_SYNC) != 0) return Errno();
    return {};
}

}  // namespace tarvo::platform
