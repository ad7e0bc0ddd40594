#include "platform/FileTime.h"

#include <sys/stat.h>

#include <ctime>

namespace tarvo::platform {

std::optional<std::int64_t> FileModifiedLocalSeconds(const std::filesystem::path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    const std::time_t t = st.st_mtime;
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return static_cast<std::int64_t>(t);
    return static_cast<std::int64_t>(t) + local.tm_gmtoff;
}

}  // namespace tarvo::platform
