// MD5 (RFC 1321): the DIDADIT file identity, the names of incomplete files and
// the answer to MD5 login challenges.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::connection {

using MD5Digest = std::array<std::uint8_t, 16>;

// A running digest. A fresh context is ready for MD5Update; after MD5Final it
// must go through MD5Init before it is used again.
struct MD5Context {
    std::array<std::uint32_t, 4> state{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    std::uint64_t length = 0;  // bytes fed so far
    std::array<std::uint8_t, 64> block{};
};

void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, const std::uint8_t* data, std::size_t count);
void MD5Update(MD5Context& context, std::string_view text);
MD5Digest MD5Final(MD5Context& context);

MD5Digest MD5Of(std::string_view text);

enum class HexCase { Upper, Lower };

// 32 hex digits, two per byte in digest order. File identities and file names
// use upper case; login answers use lower case.
std::string DigestToHex(const MD5Digest& digest, HexCase hexCase = HexCase::Upper);
// The MD5 of the text as 32 upper-case hex digits.
std::string MD5Hex(std::string_view text);
// Exactly 32 hex digits of either case; anything else is not a digest.
std::optional<MD5Digest> HexToDigest(std::string_view hex);

}  // namespace tarvo::connection
