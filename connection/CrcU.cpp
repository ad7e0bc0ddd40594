#include "connection/CrcU.h"

namespace tarvo::connection {

namespace {

static_assert(kCrc16Table[1] == 0x1021 && kCrc16Table[255] == 0x1EF0);
static_assert(kCrc32Table[1] == 0x77073096u && kCrc32Table[255] == 0x2D02EF8Du);

template <typename Word>
std::string Hex(Word value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xFu];
    return out;
}

// Four bytes at a time. The step is linear, so four steps fold into four
// independent lookups: two for the bytes that enter first, two for the
// running value (the last two bytes enter unchanged).
struct TCrc16Slices {
    std::array<std::uint16_t, 256> twice{};  // a byte followed by one more step
    std::array<std::uint16_t, 256> high{};   // the high byte of the value, four steps on
    std::array<std::uint16_t, 256> low{};    // the low byte of the value, four steps on
};

constexpr std::uint16_t TwoSteps(unsigned x) {
    return static_cast<std::uint16_t>(kCrc16Table[x & 0xFFu] ^
                                      ((kCrc16Table[x >> 8] & 0xFFu) << 8) ^
                                      kCrc16Table[kCrc16Table[x >> 8] >> 8]);
}

constexpr TCrc16Slices MakeCrc16Slices() {
    TCrc16Slices s{};
    for (unsigned i = 0; i < 256; ++i) s.twice[i] = TwoSteps(i << 8);
    for (unsigned i = 0; i < 256; ++i) {
        s.high[i] = TwoSteps(s.twice[i]);
        s.low[i] = TwoSteps(kCrc16Table[i]);
    }
    return s;
}

constexpr TCrc16Slices kCrc16Slices = MakeCrc16Slices();

}  // namespace

void Crc16Update(const std::uint8_t* data, std::size_t count, std::uint16_t& crc) {
    unsigned c = crc;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        c = (static_cast<unsigned>(data[i + 2]) << 8 | data[i + 3]) ^ kCrc16Slices.twice[data[i]] ^
            kCrc16Table[data[i + 1]] ^ kCrc16Slices.high[c >> 8] ^ kCrc16Slices.low[c & 0xFFu];
    }
    for (; i < count; ++i) c = ((c << 8) & 0xFFFFu) ^ data[i] ^ kCrc16Table[c >> 8];
    crc = static_cast<std::uint16_t>(c);
}

void Crc16Update(std::string_view text, std::uint16_t& crc) {
    Crc16Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), crc);
}

std::uint16_t Crc16(std::string_view text) {
    std::uint16_t crc = kCrc16Start;
    Crc16Update(text, crc);
    return crc;
}

void Crc32Update(const std::uint8_t* data, std::size_t count, std::uint32_t& crc) {
    std::uint32_t c = crc;
    for (std::size_t i = 0; i < count; ++i) c = Crc32Step(data[i], c);
    crc = c;
}

void Crc32Update(std::string_view text, std::uint32_t& crc) {
    Crc32Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), crc);
}

std::uint32_t Crc32(std::string_view text) {
    std::uint32_t crc = kCrc32Start;
    Crc32Update(text, crc);
    return Crc32Final(crc);
}

std::string Crc16Hex(std::uint16_t crc) {
    return Hex(static_cast<unsigned>(crc), 4);
}
std::string Crc32Hex(std::uint32_t crc) {
    return Hex(crc, 8);
}

}  // namespace tarvo::connection
