#include "platform/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixError.h"

namespace tarvo::platform {

std::unique_ptr<LockedFile> LockedFile::Open(const std::filesystem::path& path, bool create,
                                             std::error_code& ec) {
    ec.clear();
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        ec = Errno();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ec = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                  : Errno();
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<LockedFile> file(new LockedFile());
    file->fd_ = fd;
    file->path_ = path;
    return file;
}

LockedFile::~LockedFile() {
    if (fd_ >= 0) ::close(fd_);  // also drops the lock
}

std::error_code LockedFile::WriteAt(std::int64_t offset, std::string_view data) {
    if (offset < 0) return std::make_error_code(std::errc::invalid_argument);
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        data.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return {};
}

std::error_code LockedFile::ReadAt(std::int64_t offset, std::size_t count, std::string& out) {
    out.clear();
    if (offset < 0) return std::make_error_code(std::errc::invalid_argument);
    out.resize(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n =
            ::pread(fd_, out.data() + got, count - got, static_cast<off_t>(offset) + got);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return Errno();
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return {};
}

std::int64_t LockedFile::Size() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

std::error_code LockedFile::Truncate(std::int64_t size) {
    if (size < 0) return std::make_error_code(std::errc::invalid_argument);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Errno();
    return {};
}

std::error_code LockedFile::Sync() {
    if (::fsync(fd_) != 0) return Errno();
    return {};
}

}  // namespace tarvo::platform
