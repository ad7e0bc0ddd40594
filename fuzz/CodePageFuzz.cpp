// Text between UTF-8 (file names, the user interface, automation clients) and
// the code pages on the air: any bytes convert without fault, every 8-bit text
// survives the round trip through UTF-8, and UTF-8 in gives one byte per
// character out.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

using tarvo::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::platform;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    Check(Utf8ToCp1252(Cp1252ToUtf8(input)) == input);
    Check(Utf8ToCp850(Cp850ToUtf8(input)) == input);

    const std::string cp1252 = Utf8ToCp1252(input);
    const std::string cp850 = Utf8ToCp850(input);
    // One byte per character, and a character takes at least one byte.
    Check(cp1252.size() <= input.size());
    Check(cp850.size() == cp1252.size());
    // Well-formed text the page can hold comes back unchanged.
    Check(Utf8ToCp1252(Cp1252ToUtf8(cp1252)) == cp1252);

    const std::string between = Cp1252ToCp850(input);
    Check(between.size() == input.size());
    Check(Cp850ToCp1252(input).size() == input.size());
    return 0;
}
