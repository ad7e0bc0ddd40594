#include "platform/Thread.h"

#include <pthread.h>
#include <unistd.h>

#include <string>

namespace tarvo::platform {

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(::gettid());
}

void SetCurrentThreadName(std::string_view name) {
    const std::string n(name.substr(0, 15));
    ::pthread_setname_np(::pthread_self(), n.c_str());
}

}  // namespace tarvo::platform
