#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "platform/CodePage.h"
#include "platform/PosixError.h"

namespace fs = std::filesystem;

namespace tarvo::platform {

namespace {

bool EntryExists(const fs::path& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 || errno != ENOENT;
}

// Closes a descriptor when the scope ends.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int f = fd_;
        fd_ = -1;
        return f;
    }

  private:
    int fd_;
};

std::error_code WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

void SyncFolder(const fs::path& folder) {
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

int RenameNoReplace(const fs::path& from, const fs::path& to) {
#ifdef SYS_renameat2
    return static_cast<int>(
        ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /*NOREPLACE*/));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// A symbolic link is moved as a link, not as a copy of what it points to.
std::error_code CopyLinkNoReplace(const fs::path& from, const fs::path& to) {
    std::vector<char> target(4096);
    const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return Errno();
    if (static_cast<std::size_t>(n) >= target.size())
        return std::make_error_code(std::errc::filename_too_long);
    target[static_cast<std::size_t>(n)] = '\0';
    if (::symlink(target.data(), to.c_str()) != 0) return Errno();  // EEXIST: never replaces
    if (::unlink(from.c_str()) != 0) {
        const std::error_code ec = Errno();
        ::unlink(to.c_str());
        return ec;
    }
    return {};
}

std::error_code CopyNoReplace(const fs::path& from, const fs::path& to) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return Errno();
    if (S_ISLNK(st.st_mode)) return CopyLinkNoReplace(from, to);
    if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::not_supported);
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (in.get() < 0) return Errno();
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
    if (out.get() < 0) return Errno();
    auto fail = [&](std::error_code ec) {
        ::unlink(to.c_str());
        return ec;
    };
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(Errno());
        }
        if (n == 0) break;
        if (auto ec = WriteAll(out.get(), std::string_view(buf, static_cast<std::size_t>(n))))
            return fail(ec);
    }
    if (::fsync(out.get()) != 0) return fail(Errno());
    if (::close(out.release()) != 0) return fail(Errno());
    // A source that cannot go must not leave a second copy behind.
    if (::unlink(from.c_str()) != 0) return fail(Errno());
    SyncFolder(to.parent_path());
    return {};
}

std::string PercentEncode(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        // ASCII only: isalnum would let Latin-1 letters through under some locales.
        const bool alnum =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

// Empty when there is no home folder to put it in; never a shared folder like /tmp.
fs::path DefaultTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return fs::path(data) / "Trash";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return fs::path(home) / ".local/share/Trash";
    std::vector<char> buffer(16 * 1024);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return fs::path(found->pw_dir) / ".local/share/Trash";
    return {};
}

// Cuts UTF-8 text to at most n bytes without splitting a sequence.
std::string CutUtf8(std::string s, std::size_t n) {
    if (s.size() <= n) return s;
    std::size_t cut = n;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
    return s;
}

}  // namespace

fs::path UniqueFileName(const fs::path& p) {
    if (!EntryExists(p)) return p;
    const fs::path folder = p.parent_path();
    const std::string stem = p.stem().string();
    const std::string ext = p.extension().string();
    for (int n = 1; n <= 10000; ++n) {
        fs::path candidate = folder / (stem + " (" + std::to_string(n) + ")" + ext);
        if (!EntryExists(candidate)) return candidate;
    }
    return {};
}

std::error_code MoveNoReplace(const fs::path& from, const fs::path& to) {
    if (RenameNoReplace(from, to) == 0) {
        SyncFolder(to.parent_path());
        return {};
    }
    const int e = errno;
    if (e == EEXIST) return std::make_error_code(std::errc::file_exists);
    if (e == EXDEV) return CopyNoReplace(from, to);
    if (e == EINVAL || e == ENOSYS || e == ENOTSUP) {
        // No renameat2 here: a hard link never replaces either.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) != 0) {
                const std::error_code ec = Errno();
                ::unlink(to.c_str());  // keep it a move: one name or the other
                return ec;
            }
            SyncFolder(to.parent_path());
            return {};
        }
        if (errno == EEXIST) return std::make_error_code(std::errc::file_exists);
        if (errno == EXDEV) return CopyNoReplace(from, to);
        return Errno();
    }
    return Errno(e);
}

std::error_code CreateExclusive(const fs::path& p) {
    Fd fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) return Errno();
    return {};
}

std::optional<fs::path> CreateTempFile(const fs::path& folder, std::string_view prefix,
                                       std::error_code* error) {
    std::error_code ec = EnsureFolder(folder);
    if (!ec) {
        std::string pattern = (folder / prefix).string() + "XXXXXX";
        Fd fd(::mkostemp(pattern.data(), O_CLOEXEC));
        if (fd.get() >= 0) return fs::path(pattern);
        ec = Errno();
    }
    if (error) *error = ec;
    return std::nullopt;
}

std::error_code MoveToTrash(const fs::path& p) {
    const fs::path trash = DefaultTrash();
    if (trash.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
    return MoveToTrash(p, trash);
}

std::error_code MoveToTrash(const fs::path& p, const fs::path& trashRoot) {
    std::error_code ec;
    fs::path absolute = fs::absolute(p, ec).lexically_normal();
    if (ec) return ec;
    // "folder/" names the folder; the trash needs its name, not the empty last part.
    if (!absolute.has_filename()) absolute = absolute.parent_path();
    if (!absolute.has_filename()) return std::make_error_code(std::errc::invalid_argument);
    if (!EntryExists(absolute)) return std::make_error_code(std::errc::no_such_file_or_directory);
    if ((ec = EnsureFolder(trashRoot / "files")) || (ec = EnsureFolder(trashRoot / "info")))
        return ec;

    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncode(absolute.string()) + "\nDeletionDate=" + date + "\n";

    // The info file is the claim on a name; create it first, exclusively.
    const std::string stem = absolute.stem().string(), ext = absolute.extension().string();
    for (int n = 0; n <= 10000; ++n) {
        const std::string name =
            n == 0 ? absolute.filename().string() : stem + " (" + std::to_string(n) + ")" + ext;
        const fs::path infoPath = trashRoot / "info" / (name + ".trashinfo");
        Fd fd(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;
            return Errno();
        }
        if ((ec = WriteAll(fd.get(), info)) || ::fsync(fd.get()) != 0) {
            ::unlink(infoPath.c_str());
            return ec ? ec : Errno();
        }
        ec = MoveNoReplace(absolute, trashRoot / "files" / name);
        if (ec ==
            std::errc::file_exists) {  // a stale file without info: keep it, try the next name
            ::unlink(infoPath.c_str());
            continue;
        }
        if (ec) ::unlink(infoPath.c_str());
        return ec;
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code WriteFileAtomic(const fs::path& p, std::string_view data, int mode) {
    if (!p.has_filename()) return std::make_error_code(std::errc::invalid_argument);
    const fs::path folder = p.parent_path();
    // A shortened prefix, so that a target name near the length limit still works.
    const std::string prefix = "." + CutUtf8(p.filename().string(), 200);
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(rd()));
        const fs::path tmp = folder / (prefix + suffix);
        Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     static_cast<mode_t>(mode)));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;
            return Errno();
        }
        std::error_code ec = WriteAll(fd.get(), data);
        if (!ec && ::fsync(fd.get()) != 0) ec = Errno();
        if (!ec && ::close(fd.release()) != 0) ec = Errno();
        if (!ec && ::rename(tmp.c_str(), p.c_str()) != 0) ec = Errno();
        if (ec) {
            ::unlink(tmp.c_str());
            return ec;
        }
        SyncFolder(folder);
        return {};
    }
    return std::make_error_code(std::errc::file_exists);
}

std::optional<std::string> ReadFile(const fs::path& p, std::size_t maxBytes) {
    // O_NONBLOCK: a fifo put in place of the file must not hang the open.
    Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return std::nullopt;
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes)
            return std::nullopt;  // grew meanwhile
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

std::error_code EnsureFolder(const fs::path& p, int mode) {
    if (p.empty()) return {};
    struct stat st;
    if (::stat(p.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? std::error_code{}
                                   : std::make_error_code(std::errc::not_a_directory);
    const fs::path parent = p.parent_path();
    if (!parent.empty() && parent != p)
        if (auto ec = EnsureFolder(parent, mode)) return ec;
    if (::mkdir(p.c_str(), static_cast<mode_t>(mode)) != 0) {
        if (errno != EEXIST) return Errno();
        // Somebody was quicker; fine only if it is a folder.
        if (::stat(p.c_str(), &st) != 0) return Errno();
        return S_ISDIR(st.st_mode) ? std::error_code{}
                                   : std::make_error_code(std::errc::not_a_directory);
    }
    // mkdir applied the umask; the caller asked for this mode.
    if (::chmod(p.c_str(), static_cast<mode_t>(mode) & 07777) != 0) return Errno();
    return {};
}

std::string SafeFileName(std::string_view name) {
    // Remote stations use both separators, and DOS drive letters.
    const std::size_t sep = name.find_last_of("/\\");
    if (sep != std::string_view::npos) name.remove_prefix(sep + 1);
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.remove_prefix(2);
    std::string clean;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) clean += c;
    }
    const std::size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
    if (clean == "." || clean == "..") return "";

    std::string utf8 = Cp1252ToUtf8(clean);
    if (utf8.size() > kMaxFileNameBytes) {
        const std::size_t dot = utf8.rfind('.');
        const std::string ext =
            dot != std::string::npos && dot > 0 && utf8.size() - dot <= 16 ? utf8.substr(dot) : "";
        utf8 =
            CutUtf8(utf8.substr(0, utf8.size() - ext.size()), kMaxFileNameBytes - ext.size()) + ext;
    }
    return utf8;
}

std::optional<fs::path> SafeJoin(const fs::path& folder, std::string_view name) {
    const std::string safe = SafeFileName(name);
    if (safe.empty()) return std::nullopt;
    const fs::path joined = (folder / safe).lexically_normal();
    const fs::path base = (folder / "").lexically_normal().parent_path();  // without a trailing '/'
    if (joined.parent_path() != base) return std::nullopt;
    return joined;
}

}  // namespace tarvo::platform
