// Digests in hex as remote stations send them (file identities, transfer
// headers): only 32 hex digits are a digest, and one writes back to the same
// digits.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "connection/MD5U.h"
#include "core/GlobalU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::connection;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto digest = HexToDigest(input);
    bool hex = input.size() == 32;
    for (char c : input)
        hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (digest.has_value() != hex) std::abort();
    if (digest && DigestToHex(*digest) != tarvo::core::AsciiUpper(input)) std::abort();
    return 0;
}
