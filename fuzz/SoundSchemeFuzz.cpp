// Sound scheme files (".tvs") come from anywhere: whatever is read writes out
// to a file that reads back to the same scheme.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "resources/KlaengeU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::resources;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path folder = "/home/op/Sound";
    const TSoundScheme scheme = ParseSoundScheme(input, folder);
    for (const auto& [event, entry] : scheme) {
        if (event < 0 || event >= kSoundEventCount) std::abort();
        if (entry.signal != kSignalNone && entry.signal != kSignalTones &&
            entry.signal != kSignalWave)
            std::abort();
    }
    if (ParseSoundScheme(FormatSoundScheme(scheme, folder), folder) != scheme) std::abort();
    return 0;
}
