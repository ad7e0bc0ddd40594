// Thread identity and naming.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvo::platform {

// The kernel's id of the calling thread (what debuggers and top show).
std::uint32_t CurrentThreadId();
// Names the calling thread for debuggers (at most 15 bytes are kept).
void SetCurrentThreadName(std::string_view name);

}  // namespace tarvo::platform
