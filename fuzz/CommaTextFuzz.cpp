// Comma text from the station database and the settings (lists such as the
// onward-connect history): whatever is read writes out to text that reads
// back to the same list.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/GlobalU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::core;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> items = FromCommaText(input);
    std::size_t bytes = 0;
    for (const auto& item : items) bytes += item.size();
    if (bytes > input.size()) std::abort();
    const std::string written = ToCommaText(items);
    if (FromCommaText(written) != items) std::abort();
    return 0;
}
