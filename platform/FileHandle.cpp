#include "platform/FileHandle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/PosixError.h"

namespace tarvo::platform {

FileHandle::~FileHandle() {
    Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::error_code FileHandle::Open(const std::filesystem::path& p, Access access) {
    Close();
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::Read:
            flags |= O_RDONLY;
            break;
        case Access::ReadWrite:
            flags |= O_RDWR;
            break;
        case Access::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Access::OpenAlways:
            flags |= O_RDWR | O_CREAT;
            break;
        case Access::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
            break;
    }
    int fd;
    do {
        fd = ::open(p.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Errno();
    // Only regular files: a device or a pipe under a file's name is refused.
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return Errno(e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Errno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    fd_ = fd;
    return {};
}

std::error_code FileHandle::Close() {
    if (fd_ < 0) return {};
    const int fd = std::exchange(fd_, -1);
    // Linux releases the descriptor even when close fails; never retry it.
    if (::close(fd) != 0 && errno != EINTR) return Errno();
    return {};
}

std::size_t FileHandle::Read(void* buffer, std::size_t count, std::error_code& ec) {
    ec.clear();
    if (fd_ < 0) {
        ec = Errno(EBADF);
        return 0;
    }
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ec = Errno();
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::error_code FileHandle::Write(const void* buffer, std::size_t count) {
    if (fd_ < 0) return Errno(EBADF);
    const auto* in = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(fd_, in, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        in += n;
        count -= static_cast<std::size_t>(n);
    }
    return {};
}

std::int64_t FileHandle::Seek(std::int64_t offset, Origin origin, std::error_code& ec) {
    ec.clear();
    const int whence = origin == Origin::Begin ? SEEK_SET
                       : origin == Origin::End ? SEEK_END
                                               : SEEK_CUR;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) {
        ec = Errno();
        return -1;
    }
    return static_cast<std::int64_t>(at);
}

std::int64_t FileHandle::Size(std::error_code& ec) const {
    ec.clear();
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        ec = Errno();
        return -1;
    }
    return static_cast<std::int64_t>(st.st_size);
}

std::error_code FileHandle::Truncate(std::int64_t size) {
    if (size < 0) return Errno(EINVAL);
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR) return Errno();
    }
    return {};
}

std::error_code FileHandle::Sync() {
    if (::fsync(fd_) != 0) return Errno();
    return {};
}

std::error_code FileHandle::TryLockExclusive() {
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        return errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                    : Errno();
    }
    return {};
}

}  // namespace tarvo::platform
