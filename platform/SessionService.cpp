#include "platform/SessionService.h"

#include <algorithm>

#include "platform/Files.h"

namespace tarvo::platform {

namespace {

bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '.' || c == '_' || c == '-' || c == '+' || c == '=' || c == ',';
}

// Single quotes keep everything but a single quote, which closes, is escaped
// and opens again.
std::string Quoted(const std::string& word) {
    if (!word.empty() && std::all_of(word.begin(), word.end(), Plain)) return word;
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

std::optional<std::filesystem::path> SessionServiceFile(std::string_view name,
                                                        const GetEnv& getenv) {
    std::filesystem::path data;
    if (auto x = getenv("XDG_DATA_HOME"); x && !x->empty() && x->front() == '/') {
        data = *x;
    } else if (auto home = getenv("HOME"); home && !home->empty()) {
        data = std::filesystem::path(*home) / ".local" / "share";
    } else {
        return std::nullopt;
    }
    return data / "dbus-1" / "services" / (std::string(name) + ".service");
}

std::optional<std::string> SessionServiceText(std::string_view name,
                                              const std::vector<std::string>& command) {
    std::string exec;
    for (const std::string& word : command) {
        // A line break would end the entry; such a word cannot be written.
        if (word.find_first_of("\r\n") != std::string::npos) return std::nullopt;
        if (!exec.empty()) exec += ' ';
        exec += Quoted(word);
    }
    return "[D-BUS Service]\nName=" + std::string(name) + "\nExec=" + exec + "\n";
}

std::error_code WriteSessionService(const std::filesystem::path& file, std::string_view text) {
    if (std::error_code ec = EnsureFolder(file.parent_path(), 0755)) return ec;
    return WriteFileAtomic(file, text, 0644);
}

std::error_code RemoveSessionService(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return ec;
}

std::filesystem::path ProgramFile() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("tarvo") : self;
}

}  // namespace tarvo::platform
