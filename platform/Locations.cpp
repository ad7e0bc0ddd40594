#include "platform/Locations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Files.h"

namespace fs = std::filesystem;

namespace tarvo::platform {

namespace {

// An XDG variable counts only when it holds an absolute path.
std::optional<fs::path> XdgDir(const GetEnv& getenv, const char* name) {
    auto v = getenv(name);
    if (!v || v->empty() || (*v)[0] != '/') return std::nullopt;
    return fs::path(*v);
}

// $HOME when it is absolute, else the user's entry in the password database.
std::optional<fs::path> UserHome(const GetEnv& getenv) {
    if (auto home = XdgDir(getenv, "HOME")) return home;
    std::vector<char> buffer(16 * 1024);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return fs::path(found->pw_dir);
    return std::nullopt;
}

// Missing (to be created), or a folder of this user that nobody else may enter.
bool IsPrivateOrMissing(const fs::path& p) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::optional<std::string> HomeOption(const std::vector<std::string>& args, bool& missing) {
    missing = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--home") {
            // "--home --quit-after 300": the folder was forgotten, "--quit-after" is no folder.
            if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].rfind("--", 0) == 0) {
                missing = true;
                return std::nullopt;
            }
            return args[i + 1];
        }
        if (args[i].rfind("--home=", 0) == 0) {
            if (args[i].size() == 7) {
                missing = true;
                return std::nullopt;
            }
            return args[i].substr(7);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProcessEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

// One folder of user-dirs.dirs: the variable, else the file's line
// NAME="$HOME/..." or NAME="/...".
fs::path UserDir(const GetEnv& getenv, const char* name, const fs::path& home) {
    std::optional<fs::path> dir = XdgDir(getenv, name);
    if (!dir) {
        const auto config = XdgDir(getenv, "XDG_CONFIG_HOME");
        const fs::path file = config ? *config / "user-dirs.dirs" : home / ".config/user-dirs.dirs";
        const auto text = home.empty() && !config ? std::nullopt : ReadFile(file, 64 * 1024);
        const std::string key = std::string(name) + "=\"";
        std::size_t at = 0;
        while (text && !dir && at < text->size()) {
            std::size_t end = text->find('\n', at);
            if (end == std::string::npos) end = text->size();
            std::string_view line(text->data() + at, end - at);
            at = end + 1;
            if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"')
                continue;
            std::string value(line.substr(key.size(), line.size() - key.size() - 1));
            if (value.rfind("$HOME", 0) == 0 && !home.empty())
                dir = home / fs::path(value.substr(5)).relative_path();
            else if (!value.empty() && value[0] == '/')
                dir = fs::path(value);
        }
    }
    std::error_code ec;
    if (!dir || !fs::is_directory(*dir, ec)) return {};
    return *dir;
}

}  // namespace

UserFolders ResolveUserFolders(const GetEnv& getenv) {
    UserFolders f;
    if (auto home = UserHome(getenv)) f.home = *home;
    f.documents = UserDir(getenv, "XDG_DOCUMENTS_DIR", f.home);
    f.download = UserDir(getenv, "XDG_DOWNLOAD_DIR", f.home);
    return f;
}

UserFolders ResolveUserFolders() {
    return ResolveUserFolders(ProcessEnv);
}

std::optional<Locations> ResolveLocations(const std::vector<std::string>& args,
                                          const GetEnv& getenv, std::string* error) {
    auto fail = [&](std::string why) -> std::optional<Locations> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    bool missing = false;
    std::optional<std::string> home = HomeOption(args, missing);
    if (missing) return fail("--home needs a folder");
    if (!home) {
        auto env = getenv("TARVO_HOME");
        if (env && !env->empty()) home = env;
    }
    std::error_code ec;
    if (home) {
        const fs::path dir = fs::absolute(*home, ec).lexically_normal();
        if (ec) return fail("cannot use " + *home + ": " + ec.message());
        return Locations{dir / "tarvo.reg", dir / "data", dir / "run"};
    }

    auto config = XdgDir(getenv, "XDG_CONFIG_HOME");
    auto data = XdgDir(getenv, "XDG_DATA_HOME");
    if (!config || !data) {
        const auto homeDir = UserHome(getenv);
        if (!homeDir) return fail("no home folder: set HOME or use --home");
        if (!config) config = *homeDir / ".config";
        if (!data) data = *homeDir / ".local/share";
    }
    Locations loc{*config / "tarvo" / "tarvo.reg", *data / "tarvo", {}};
    if (auto runtime = XdgDir(getenv, "XDG_RUNTIME_DIR")) {
        loc.runtimeDir = *runtime / "tarvo";
        return loc;
    }
    // No runtime folder of the session: a private one in the temporary folder,
    // which must not be somebody else's.
    const fs::path tmp = XdgDir(getenv, "TMPDIR").value_or("/tmp");
    loc.runtimeDir = tmp / ("tarvo-" + std::to_string(::getuid()));
    if (!IsPrivateOrMissing(loc.runtimeDir))
        return fail(loc.runtimeDir.string() + " is not a private folder of this user");
    return loc;
}

std::optional<Locations> ResolveLocations(const std::vector<std::string>& args,
                                          std::string* error) {
    return ResolveLocations(args, ProcessEnv, error);
}

fs::path DataFile(const fs::path& programDir, std::string_view name) {
    const fs::path beside = programDir / name;
    const fs::path shared = (programDir / ".." / "share" / "tarvo" / name).lexically_normal();
    std::error_code ec;
    if (!fs::exists(beside, ec) && fs::exists(shared, ec)) return shared;
    return beside;
}

std::error_code CreateLocations(const Locations& loc) {
    for (const fs::path& dir : {loc.settingsFile.parent_path(), loc.dataDir, loc.runtimeDir})
        if (auto ec = EnsureFolder(dir, 0700)) return ec;
    // Where others may write (the temporary folder), someone may have made the
    // runtime folder after ResolveLocations looked: check again now that it exists.
    fs::path runtime = loc.runtimeDir.lexically_normal();
    if (!runtime.has_filename()) runtime = runtime.parent_path();
    struct stat parent;
    if (::stat(runtime.parent_path().c_str(), &parent) != 0)
        return std::error_code(errno, std::generic_category());
    if ((parent.st_mode & S_IWOTH) && !IsPrivateOrMissing(runtime))
        return std::make_error_code(std::errc::permission_denied);
    return {};
}

}  // namespace tarvo::platform
