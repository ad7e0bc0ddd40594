#include "tests/support/SplitParts.h"

#include <cstdio>

#include "connection/CrcU.h"

namespace tarvo::test {

namespace {

std::string Hex2(std::size_t n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%2.2X", static_cast<unsigned>(n));
    return buf;
}

std::string Finish(std::string header, std::string_view data, std::string_view runningLine) {
    header += '\0';
    std::string out = header + connection::Crc16Hex(connection::Crc16(header)) + "\n";
    out += data;
    out += runningLine;
    std::uint32_t partCrc = connection::kCrc32Start;
    connection::Crc32Update(data, partCrc);
    connection::Crc32Update(runningLine, partCrc);
    out += connection::Crc32Hex(connection::Crc32Final(partCrc)) + "\n";
    return out;
}

}  // namespace

std::vector<std::string> MakeSplitParts(std::string_view data, const SplitSet& set) {
    const std::size_t parts = (data.size() - 1) / set.partSize + 1;
    std::vector<std::string> out;
    std::uint32_t running = connection::kCrc32Start;
    for (std::size_t r = 1; r <= parts; ++r) {
        const std::string_view piece = data.substr((r - 1) * set.partSize, set.partSize);
        connection::Crc32Update(piece, running);
        const std::string header = ">BS<\n" + Hex2(r) + "\n" + Hex2(parts) + "\n" +
                                   std::to_string(set.partSize) + "\n" +
                                   std::to_string(data.size()) + "\n" + set.fileName + "\n" +
                                   set.date + "\nP\rTarvo 0.1\r\n";
        out.push_back(
            Finish(header, piece, connection::Crc32Hex(connection::Crc32Final(running)) + "\n"));
    }
    return out;
}

std::string MakeSplitPart(std::string_view headerText, std::string_view data,
                          std::string_view runningCrcLine) {
    return Finish(std::string(headerText), data, runningCrcLine);
}

}  // namespace tarvo::test
