// "//" lines and the paths in them: a parsed keyword is upper case, a resolved
// path is plain parts, and nothing opened beneath the released folder is the
// secret beside it, whatever the line.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/BeneathFolder.h"
#include "stations/RemoteCommandsU.h"

using namespace tarvo;
using fuzz::Check;

namespace {

namespace fs = std::filesystem;

// The released folder "Tarvo" with a sub folder and a link out, and a secret
// in its sibling "Tarvo2".
const fs::path& Root() {
    static const fs::path root = [] {
        const fs::path base = fs::temp_directory_path() / "tarvo-remote-fuzz";
        fs::remove_all(base);
        fs::create_directories(base / "Tarvo" / "sub");
        fs::create_directories(base / "Tarvo2");
        std::ofstream(base / "Tarvo" / "sub" / "a.txt") << "open";
        std::ofstream(base / "Tarvo2" / "secret") << "secret";
        std::ofstream(base / "secret") << "secret";
        fs::create_directory_symlink(base / "Tarvo2", base / "Tarvo" / "out");
        fs::create_symlink(base / "secret", base / "Tarvo" / "secret");
        return base / "Tarvo";
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const stations::TRemoteLine line = stations::ParseRemoteLine(input);
    if (line.ignore) return 0;
    for (char c : line.keyword) Check(!(c >= 'a' && c <= 'z'));

    const std::size_t split = input.find('|');
    const std::string_view current = split == std::string_view::npos ? "" : input.substr(0, split);
    const auto parts = stations::ResolveRemotePath(current, line.argument);
    if (!parts) return 0;
    Check(parts->size() <= 64);
    for (const auto& p : *parts) {
        Check(!p.empty() && p != "." && p != "..");
        Check(p.find_first_of("/\\") == std::string::npos);
        for (char c : p) Check(static_cast<unsigned char>(c) >= 32);
    }
    // The stored folder resolves to itself.
    const auto again = stations::ResolveRemotePath(stations::JoinRemotePath(*parts), "");
    Check(again && *again == *parts);

    platform::FileHandle file;
    std::int64_t fileSize = 0;
    if (!platform::OpenFileBeneath(Root(), *parts, 1 << 20, file, fileSize)) {
        std::string content(static_cast<std::size_t>(fileSize), '\0');
        std::error_code ec;
        content.resize(file.Read(content.data(), content.size(), ec));
        Check(content != "secret");
    }
    std::vector<platform::BeneathEntry> entries;
    if (!platform::ListBeneath(Root(), *parts, nullptr, 16, entries))
        for (const auto& e : entries) Check(e.name != "secret" && e.name != "out");
    return 0;
}
