#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tarvo::platform {
namespace {

// Bytes 0x80..0xFF of each page; the lower half is ASCII in both. Generated from
// glibc's iconv tables; the test compares them against iconv again. The five
// holes of 1252 carry the C1 control of the same value.
constexpr std::array<char32_t, 128> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  // 0xA8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // 0xB8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  // 0xC0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // 0xC8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  // 0xD0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,  // 0xD8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  // 0xE0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // 0xE8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  // 0xF0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,  // 0xF8
};
constexpr std::array<char32_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 0x88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 0x98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 0xA0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // 0xA8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // 0xB0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // 0xB8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // 0xC8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // 0xD0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // 0xD8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // 0xE0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // 0xE8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // 0xF0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // 0xF8
};

struct ReverseEntry {
    char32_t code;
    unsigned char byte;
};

using ReverseTable = std::array<ReverseEntry, 128>;

constexpr ReverseTable MakeReverse(const std::array<char32_t, 128>& high) {
    ReverseTable r{};
    for (std::size_t i = 0; i < high.size(); ++i) {
        r[i] = {high[i], static_cast<unsigned char>(0x80 + i)};
    }
    std::sort(r.begin(), r.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.code < b.code; });
    return r;
}

constexpr bool IsUsable(const ReverseTable& r) {
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i].code < 0x80) return false;  // would shadow ASCII
        if (i > 0 && r[i - 1].code == r[i].code) return false;
    }
    return true;
}

constexpr ReverseTable kCp1252Reverse = MakeReverse(kCp1252High);
constexpr ReverseTable kCp850Reverse = MakeReverse(kCp850High);
static_assert(IsUsable(kCp1252Reverse) && IsUsable(kCp850Reverse));

constexpr char32_t ToUnicode(const std::array<char32_t, 128>& high, unsigned char byte) {
    return byte < 0x80 ? char32_t{byte} : high[byte - 0x80];
}

constexpr int FromUnicode(const ReverseTable& r, char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    auto it = std::lower_bound(r.begin(), r.end(), c,
                               [](const ReverseEntry& e, char32_t v) { return e.code < v; });
    return it != r.end() && it->code == c ? it->byte : -1;
}

using ByteTable = std::array<unsigned char, 256>;

constexpr ByteTable MakeCross(const std::array<char32_t, 128>& fromHigh, const ReverseTable& to) {
    ByteTable t{};
    for (std::size_t b = 0; b < t.size(); ++b) {
        int mapped = FromUnicode(to, ToUnicode(fromHigh, static_cast<unsigned char>(b)));
        t[b] = static_cast<unsigned char>(mapped < 0 ? '?' : mapped);
    }
    return t;
}

constexpr ByteTable k1252To850 = MakeCross(kCp1252High, kCp850Reverse);
constexpr ByteTable k850To1252 = MakeCross(kCp850High, kCp1252Reverse);

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes the sequence starting at s[i]. Returns its length, or 0 when the byte
// there does not start a complete, shortest-form encoding of a scalar value.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    out = c;
    return len;
}

std::string BytesToUtf8(const std::array<char32_t, 128>& high, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) AppendUtf8(out, ToUnicode(high, static_cast<unsigned char>(ch)));
    return out;
}

std::string Utf8ToBytes(const ReverseTable& r, std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = 0;
        const std::size_t len = DecodeUtf8(utf8, i, c);
        if (len == 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        const int mapped = FromUnicode(r, c);
        out.push_back(static_cast<char>(mapped < 0 ? '?' : mapped));
        i += len;
    }
    return out;
}

std::string Translate(const ByteTable& t, std::string_view bytes) {
    std::string out(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[i] = static_cast<char>(t[static_cast<unsigned char>(bytes[i])]);
    }
    return out;
}

}  // namespace

char32_t Cp1252ToUnicode(unsigned char byte) {
    return ToUnicode(kCp1252High, byte);
}
char32_t Cp850ToUnicode(unsigned char byte) {
    return ToUnicode(kCp850High, byte);
}
int UnicodeToCp1252(char32_t c) {
    return FromUnicode(kCp1252Reverse, c);
}
int UnicodeToCp850(char32_t c) {
    return FromUnicode(kCp850Reverse, c);
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    return BytesToUtf8(kCp1252High, bytes);
}
std::string Utf8ToCp1252(std::string_view utf8) {
    return Utf8ToBytes(kCp1252Reverse, utf8);
}
std::string Cp850ToUtf8(std::string_view bytes) {
    return BytesToUtf8(kCp850High, bytes);
}
std::string Utf8ToCp850(std::string_view utf8) {
    return Utf8ToBytes(kCp850Reverse, utf8);
}
std::string Cp1252ToCp850(std::string_view bytes) {
    return Translate(k1252To850, bytes);
}
std::string Cp850ToCp1252(std::string_view bytes) {
    return Translate(k850To1252, bytes);
}

}  // namespace tarvo::platform
