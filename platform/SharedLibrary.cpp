#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <cstdlib>

namespace tarvo::platform {

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::string& file, std::string* error) {
    // Symbols stay private to the library, so two drivers never mix.
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* why = ::dlerror();
            *error = why ? why : "dlopen";
        }
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() {
    ::dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
    return ::dlsym(handle_, name);
}

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

}  // namespace tarvo::platform
