// A fresh folder below the temporary directory, removed with everything in it.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace tarvo::test {

class TempFolder {
  public:
    explicit TempFolder(std::string_view prefix = "tarvo-test") {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (std::string(prefix) + "-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

    static void Write(const std::filesystem::path& p, std::string_view content) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::filesystem::path path_;
};

}  // namespace tarvo::test
