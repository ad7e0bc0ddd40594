// The settings-file reader takes any bytes; what it keeps writes out in a form
// that reads back to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/RegistryFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::platform::regfile;
    const ParseResult first = Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = Serialize(first.tree);
    const ParseResult second = Parse(written);
    if (!second.problems.empty()) std::abort();
    if (Serialize(second.tree) != written) std::abort();
    return 0;
}
