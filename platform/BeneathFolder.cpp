#include "platform/BeneathFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/PosixError.h"

namespace tarvo::platform {

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

bool PlainComponent(const std::string& c) {
    return !c.empty() && c != "." && c != ".." && c.find('/') == std::string::npos &&
           c.find('\0') == std::string::npos;
}

bool PlainPath(const BeneathPath& path) {
    for (const auto& c : path)
        if (!PlainComponent(c)) return false;
    return true;
}

int OpenRoot(const std::filesystem::path& root) {
    int fd;
    do {
        fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Without openat2: one component at a time, never through a link.
int OpenDirByComponents(int rootFd, const BeneathPath& folder) {
    Descriptor current(::openat(rootFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const auto& c : folder) {
        if (current.Get() < 0) return -1;
        Descriptor next(
            ::openat(current.Get(), c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        current = std::move(next);
    }
    return current.Release();
}

// A folder beneath the root, opened for reading; -1 with errno set otherwise.
int OpenDirBeneath(int rootFd, const BeneathPath& folder) {
    if (folder.empty()) return ::openat(rootFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string relative;
    for (const auto& c : folder) {
        if (!relative.empty()) relative += '/';
        relative += c;
    }
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    // EAGAIN: a rename raced the resolution; a few tries, then give up.
    for (int tries = 0; tries < 8; ++tries) {
        const long fd = ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        if (errno == EINTR || errno == EAGAIN) continue;
        if (errno == ENOSYS || errno == EPERM) return OpenDirByComponents(rootFd, folder);
        return -1;
    }
    return -1;
}

int OpenFolder(const std::filesystem::path& root, const BeneathPath& folder) {
    if (!PlainPath(folder)) {
        errno = EINVAL;
        return -1;
    }
    Descriptor rootFd(OpenRoot(root));
    if (rootFd.Get() < 0) return -1;
    return OpenDirBeneath(rootFd.Get(), folder);
}

}  // namespace

bool IsFolderBeneath(const std::filesystem::path& root, const BeneathPath& folder) {
    Descriptor fd(OpenFolder(root, folder));
    return fd.Get() >= 0;
}

std::error_code ListBeneath(const std::filesystem::path& root, const BeneathPath& folder,
                            const std::function<bool(std::string_view)>& accept,
                            std::size_t maxEntries, std::vector<BeneathEntry>& entries) {
    entries.clear();
    Descriptor fd(OpenFolder(root, folder));
    if (fd.Get() < 0) return Errno();
    DIR* dir = ::fdopendir(fd.Get());
    if (!dir) return Errno();
    fd.Release();
    const int dirFd = ::dirfd(dir);
    while (entries.size() < maxEntries) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) break;
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (accept && !accept(name)) continue;
        struct stat st;
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
        BeneathEntry entry;
        entry.name = std::string(name);
        entry.folder = S_ISDIR(st.st_mode);
        entry.size = entry.folder ? 0 : static_cast<std::int64_t>(st.st_size);
        entry.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return {};
}

std::error_code OpenFileBeneath(const std::filesystem::path& root, const BeneathPath& file,
                                std::int64_t maxSize, FileHandle& out, std::int64_t& size) {
    out.Close();
    size = 0;
    if (file.empty() || !PlainPath(file)) return Errno(EINVAL);
    const BeneathPath parentPath(file.begin(), file.end() - 1);
    Descriptor parent(OpenFolder(root, parentPath));
    if (parent.Get() < 0) return Errno();
    const char* name = file.back().c_str();
    // Looked at before it is opened: opening a device may already do something.
    struct stat before;
    if (::fstatat(parent.Get(), name, &before, AT_SYMLINK_NOFOLLOW) != 0) return Errno();
    if (!S_ISREG(before.st_mode)) return Errno(EINVAL);
    if (before.st_size >= maxSize) return Errno(EFBIG);
    int raw;
    do {
        raw =
            ::openat(parent.Get(), name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0) return Errno();
    Descriptor fd(raw);
    // The name may have been swapped between the look and the open.
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) return Errno();
    if (!S_ISREG(st.st_mode) || st.st_ino != before.st_ino || st.st_dev != before.st_dev)
        return Errno(EINVAL);
    if (st.st_size >= maxSize) return Errno(EFBIG);
    size = static_cast<std::int64_t>(st.st_size);
    out = FileHandle::Adopt(fd.Release());
    return {};
}

}  // namespace tarvo::platform
