#include "tests/support/TncSimulatorSevenPlus.h"

#include <algorithm>
#include <cstdio>

namespace tarvo::test {

namespace {

constexpr std::size_t kLineBytes = 48;  // data bytes a line stands for
constexpr std::string_view kAlphabet =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz+-";

// 64 printable characters for 48 bytes: four for every three.
std::string LineOf(std::string_view bytes) {
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v << 8 | (i + k < bytes.size() ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
        for (int k = 3; k >= 0; --k) line += kAlphabet[(v >> (6 * k)) & 63];
    }
    return line;
}

}  // namespace

std::string SimSevenPlusPart(std::string_view name, std::string_view data, int part, int count) {
    count = std::max(count, 1);
    part = std::clamp(part, 1, count);
    const std::size_t partBytes =
        (data.size() + static_cast<std::size_t>(count) - 1) / static_cast<std::size_t>(count);
    const std::size_t from = std::min(data.size(), partBytes * static_cast<std::size_t>(part - 1));
    const std::string_view bytes = data.substr(from, partBytes);
    const std::size_t lines = (bytes.size() + kLineBytes - 1) / kLineBytes;

    // Columns 9-11 part, 16-18 count, 20-31 name, 33-39 size, 41-44 lines x 64 in hex.
    char start[128];
    std::snprintf(start, sizeof start, " go_7+. %03d of %03d %-12.12s %07zu %04zX\r", part, count,
                  std::string(name).c_str(), data.size(), lines * 64);
    std::string text = start;
    for (std::size_t i = 0; i < lines; ++i)
        text += LineOf(bytes.substr(i * kLineBytes, kLineBytes)) + "\r";
    char stop[64];
    std::snprintf(stop, sizeof stop, " stop_7+. (%s/%02X)\r", std::string(name).c_str(), part);
    return text + stop;
}

}  // namespace tarvo::test
