// A shared library loaded at run time, and its symbols looked up by name.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tarvo::platform {

class SharedLibrary {
  public:
    // Null with *error set when the file cannot be loaded. A name without a
    // slash is looked for on the library search path.
    static std::unique_ptr<SharedLibrary> Open(const std::string& file, std::string* error);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Null when the library has no symbol of that name.
    void* Symbol(const char* name) const;

  private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The value of an environment variable; nullopt when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

}  // namespace tarvo::platform
