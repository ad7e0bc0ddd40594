// Connect paths and collection indexes as automation clients give them: an
// accepted path holds only callsign characters and blanks, and what the
// connection stores of it is callsigns alone. Indexes only must not fail.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ApplicationU.h"
#include "devices/MyCallsU.h"
#include "devices/SsidIteratorU.h"
#include "fuzz/FuzzSupport.h"

using namespace tarvo;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    static_cast<void>(core::IndexFromText(input));
    if (!core::IsValidConnectPath(input)) return 0;
    for (char c : input)
        Check(c == ' ' || c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
              (c >= 'a' && c <= 'z'));
    // What a connection keeps of it: callsigns with an SSID of 0 to 15 only.
    const std::string stored = connection::NormalizePath(input);
    std::size_t at = 0;
    while (at <= stored.size()) {
        const std::size_t end = std::min(stored.find(' ', at), stored.size());
        const std::string_view word = std::string_view(stored).substr(at, end - at);
        const devices::TRufzeichen r(word);
        Check(devices::IsValidCallsign(r.Call));
        Check(word.find('-') == std::string_view::npos || (r.SSID >= 0 && r.SSID <= 15));
        at = end + 1;
    }
    return 0;
}
