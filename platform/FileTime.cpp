#include "platform/FileTime.h"

#include <fcntl.h>
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

bool SetFileModifiedLocalSeconds(const std::filesystem::path& path, std::int64_t localSeconds) {
    // The local wall-clock time back to a point in time, daylight saving as it
    // was on that day.
    const std::time_t wall = static_cast<std::time_t>(localSeconds);
    std::tm fields{};
    if (gmtime_r(&wall, &fields) == nullptr) return false;
    fields.tm_isdst = -1;
    const std::time_t t = std::mktime(&fields);
    if (t == static_cast<std::time_t>(-1)) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace tarvo::platform
