// The calling thread's errno as a std::error_code. Private to platform/ sources.
#pragma once

#include <cerrno>
#include <system_error>

namespace tarvo::platform {

inline std::error_code Errno(int e = errno) {
    return std::error_code(e, std::generic_category());
}

}  // namespace tarvo::platform
