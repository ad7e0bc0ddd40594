// The two CRCs of the transfer protocols and the split-file format.
//
// CRC-16 is the form AutoBIN has always used: the CCITT polynomial 0x1021 without
// reflection, but with each byte entering at the low end after the shift. That is
// not CRC-16/XMODEM and gives other values; peers compare against this one.
// Every user starts with 0 and takes the final value as it is.
//
// CRC-32 is the reflected IEEE 802.3 CRC. Callers start with all bits set and
// compare the complement of the final value, which is then the standard CRC-32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::connection {

inline constexpr std::uint16_t kCrc16Start = 0;
inline constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;

namespace detail {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000u) ? (c << 1) ^ 0x1021u : c << 1;
        table[i] = static_cast<std::uint16_t>(c);
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

}  // namespace detail

// Entry i is i << 8 divided bit by bit by 0x1021.
inline constexpr std::array<std::uint16_t, 256> kCrc16Table = detail::MakeCrc16Table();
// The reflected table of 0xEDB88320.
inline constexpr std::array<std::uint32_t, 256> kCrc32Table = detail::MakeCrc32Table();

// Continue a running CRC-16 over more bytes.
void Crc16Update(std::string_view text, std::uint16_t& crc);
void Crc16Update(const std::uint8_t* data, std::size_t count, std::uint16_t& crc);
// CRC-16 of the whole text, started at 0.
std::uint16_t Crc16(std::string_view text);

// One byte into a running CRC-32.
constexpr std::uint32_t Crc32Step(std::uint8_t byte, std::uint32_t crc) {
    return kCrc32Table[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}
// Continue a running CRC-32 (no complement) over more bytes.
void Crc32Update(std::string_view text, std::uint32_t& crc);
void Crc32Update(const std::uint8_t* data, std::size_t count, std::uint32_t& crc);
// The value callers compare: the complement of the running value.
constexpr std::uint32_t Crc32Final(std::uint32_t crc) {
    return ~crc;
}
// Standard CRC-32 of the whole text: started with all bits set, complemented.
std::uint32_t Crc32(std::string_view text);

// The forms written into the split-file format: 4 and 8 upper-case hex digits.
std::string Crc16Hex(std::uint16_t crc);
std::string Crc32Hex(std::uint32_t crc);

}  // namespace tarvo::connection
