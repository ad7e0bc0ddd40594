#include "connection/MD5U.h"

#include <algorithm>

namespace tarvo::connection {

namespace {

// floor(abs(sin(i + 1)) * 2^32)
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

void Transform(std::array<std::uint32_t, 4>& state, const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = block + 4 * i;
        m[i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        switch (i / 16) {
            case 0:
                f = (b & c) | (~b & d);
                g = i;
                break;
            case 1:
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
                break;
        }
        const std::uint32_t rotated =
            RotateLeft(a + f + kSine[i] + m[g], kShift[(i / 16) * 4 + i % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void MD5Init(MD5Context& context) {
    context = MD5Context{};
}

void MD5Update(MD5Context& context, const std::uint8_t* data, std::size_t count) {
    std::size_t used = static_cast<std::size_t>(context.length % 64);
    context.length += count;
    if (used > 0) {
        const std::size_t take = std::min(count, 64 - used);
        std::copy(data, data + take, context.block.begin() + static_cast<std::ptrdiff_t>(used));
        data += take;
        count -= take;
        used += take;
        if (used < 64) return;
        Transform(context.state, context.block.data());
    }
    for (; count >= 64; data += 64, count -= 64) Transform(context.state, data);
    std::copy(data, data + count, context.block.begin());
}

void MD5Update(MD5Context& context, std::string_view text) {
    MD5Update(context, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

MD5Digest MD5Final(MD5Context& context) {
    // The bit length counts modulo 2^64, as RFC 1321 has it.
    const std::uint64_t bits = context.length << 3;
    std::array<std::uint8_t, 72> tail{};
    tail[0] = 0x80;
    const std::size_t used = static_cast<std::size_t>(context.length % 64);
    const std::size_t pad = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i)
        tail[pad + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    MD5Update(context, tail.data(), pad + 8);

    MD5Digest digest{};
    for (std::size_t i = 0; i < 16; ++i)
        digest[i] = static_cast<std::uint8_t>(context.state[i / 4] >> (8 * (i % 4)));
    return digest;
}

MD5Digest MD5Of(std::string_view text) {
    MD5Context context;
    MD5Update(context, text);
    return MD5Final(context);
}

std::string DigestToHex(const MD5Digest& digest, HexCase hexCase) {
    const char* digits = hexCase == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(32);
    for (const std::uint8_t byte : digest) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

std::string MD5Hex(std::string_view text) {
    return DigestToHex(MD5Of(text));
}

std::optional<MD5Digest> HexToDigest(std::string_view hex) {
    if (hex.size() != 32) return std::nullopt;
    const auto value = [](char ch) -> int {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        return -1;
    };
    MD5Digest digest{};
    for (std::size_t i = 0; i < 16; ++i) {
        const int high = value(hex[2 * i]), low = value(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

}  // namespace tarvo::connection
