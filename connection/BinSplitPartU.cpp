#include "connection/BinSplitPartU.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

#include "connection/CrcU.h"
#include "connection/FileStreamQamU.h"
#include "core/DebOutU.h"

namespace tarvo::connection {

namespace {

constexpr std::string_view kClass = "TBinSplitPart";
constexpr std::size_t kCrcLine = 9;  // 8 hex digits and LF
// What follows the data: the header's CRC line and the two CRC-32 lines.
constexpr std::int64_t kTrailer = 5 + 2 * kCrcLine;

// The whole text as a number of that base, or -1. At most 18 digits, so
// nothing overflows; no sign, no blanks.
std::int64_t ParseNumber(std::string_view text, int base) {
    if (text.empty() || text.size() > 18) return -1;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
    return value;
}

std::string Hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%8.8x", v);
    return buf;
}

std::string Hex2(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(v) & 0xFFu);
    return buf;
}

}  // namespace

std::string MakeBinSplitHeader(int part, int parts, std::int64_t partSize, std::int64_t fileSize,
                               std::string_view fileName, std::string_view dateText,
                               std::string_view producer) {
    std::string header = ">BS<\n" + Hex2(part) + "\n" + Hex2(parts) + "\n" +
                         std::to_string(partSize) + "\n" + std::to_string(fileSize) + "\n";
    header.append(fileName);
    header += '\n';
    header.append(dateText);
    header += "\nP\r";
    header.append(producer);
    header += "\r\n";
    header += '\0';
    return header + Crc16Hex(Crc16(header)) + "\n";
}

TBinSplitPart::TBinSplitPart(const std::filesystem::path& path) {
    auto file = std::make_unique<TFileStreamQam>(path, TFileStreamQam::kModeRead);
    file->Open();
    if (!file->IsOpen()) return;
    owned_ = std::move(file);
    stream_ = owned_.get();
}

TBinSplitPart::TBinSplitPart(core::TStream& stream) : stream_(&stream) {}

TBinSplitPart::~TBinSplitPart() = default;

bool TBinSplitPart::ReadExactly(void* buffer, std::size_t count) {
    try {
        return stream_ && stream_->Read(buffer, count) == count;
    } catch (const core::TStreamError&) {
        return false;
    }
}

bool TBinSplitPart::ReadHeader() {
    dataOffset_ = -1;
    header_.clear();
    if (!stream_) return false;
    try {
        stream_->SetPosition(0);
        std::array<char, 256> chunk;
        std::size_t zero = std::string::npos;
        while (zero == std::string::npos && header_.size() < kMaxHeader) {
            const std::size_t n = stream_->Read(chunk.data(), chunk.size());
            if (n == 0) break;
            const std::size_t before = header_.size();
            header_.append(chunk.data(), n);
            zero = header_.find('\0', before);
        }
        if (zero == std::string::npos || zero >= kMaxHeader) {
            core::DebOutObj(kClass, "ReadHeader", "Keine Null gefunden");
            header_.clear();
            return false;
        }
        header_.resize(zero + 1);
        stream_->SetPosition(static_cast<std::int64_t>(header_.size()));
    } catch (const core::TStreamError&) {
        header_.clear();
        return false;
    }
    char line[5];
    if (!ReadExactly(line, sizeof line)) {
        core::DebOutObj(kClass, "ReadHeader", "Kann Header-CRC nicht lesen");
        return false;
    }
    if (std::string_view(line, sizeof line) != Crc16Hex(Crc16(header_)) + "\n") {
        core::DebOutObj(kClass, "ReadHeader", "Header-CRC falsch");
        return false;
    }
    dataOffset_ = static_cast<std::int64_t>(header_.size()) + 5;
    return true;
}

bool TBinSplitPart::Parse() {
    auto fail = [&](std::string_view why) {
        core::DebOutObj(kClass, "Parse", why);
        return false;
    };
    if (dataOffset_ < 0) return fail("FEHLER beim Parsen des Headers.");
    std::vector<std::string_view> lines;
    std::string_view rest(header_.data(), header_.size() - 1);
    while (lines.size() < 8) {
        const std::size_t lf = rest.find('\n');
        lines.push_back(rest.substr(0, lf));
        if (lf == std::string_view::npos) break;
        rest.remove_prefix(lf + 1);
    }
    if (lines.size() < 7 || lines[0] != ">BS<") return fail("FEHLER beim Parsen des Headers.");
    const std::int64_t part = ParseNumber(lines[1], 16);
    const std::int64_t parts = ParseNumber(lines[2], 16);
    const std::int64_t partSize = ParseNumber(lines[3], 10);
    const std::int64_t fileSize = ParseNumber(lines[4], 10);
    if (part < 0 || parts < 0 || partSize < 0 || fileSize < 0)
        return fail("FEHLER beim Parsen des Headers.");
    // A part needs a slot, a size to divide by, and a set whose sizes agree.
    if (part < 1 || part > parts || parts > kMaxParts || partSize < 1 || fileSize < 1 ||
        (fileSize - 1) / partSize + 1 != parts)
        return fail(
            "FEHLER: Teilnummern oder Gr\xF6"
            "\xDF"
            "en im Header ung\xFC"
            "ltig.");
    part_ = static_cast<int>(part);
    parts_ = static_cast<int>(parts);
    partSize_ = partSize;
    fileSize_ = fileSize;
    fileName_ = std::string(lines[5]);
    dateText_ = std::string(lines[6]);
    dataLength_ = part_ < parts_ ? partSize_ : (fileSize_ - 1) % partSize_ + 1;
    std::int64_t size = -1;
    try {
        size = stream_->GetSize();
    } catch (const core::TStreamError&) {
    }
    if (size < static_cast<std::int64_t>(header_.size()) + dataLength_ + kTrailer)
        return fail("FEHLER: Datei zu kurz");
    return true;
}

bool TBinSplitPart::CrcOverData(std::size_t extra, std::uint32_t& crc) {
    if (dataOffset_ < 0) return false;
    try {
        stream_->SetPosition(dataOffset_);
    } catch (const core::TStreamError&) {
        return false;
    }
    std::array<std::uint8_t, 1024> chunk;
    std::int64_t left = dataLength_ + static_cast<std::int64_t>(extra);
    while (left > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, chunk.size()));
        if (!ReadExactly(chunk.data(), n)) return false;
        Crc32Update(chunk.data(), n, crc);
        left -= static_cast<std::int64_t>(n);
    }
    return true;
}

bool TBinSplitPart::CheckCrcLine(std::uint32_t expected, std::string_view method) {
    char line[kCrcLine];
    if (!ReadExactly(line, sizeof line)) {
        core::DebOutObj(kClass, method, "Kann CRC nicht aus Stream lesen");
        return false;
    }
    if (line[8] != '\n') {
        core::DebOutObj(kClass, method, "CRC ist nicht mit LF abgeschlossen.");
        return false;
    }
    const std::string_view digits(line, 8);
    const std::int64_t stored = ParseNumber(digits, 16);
    if (stored < 0) {
        core::DebOutObj(kClass, method,
                        "CRC in der Datei ung\xFC"
                        "ltig (" +
                            std::string(digits) + ")");
        return false;
    }
    if (static_cast<std::uint32_t>(stored) != expected) {
        core::DebOutObj(kClass, method,
                        "CRC falsch (" + Hex8(expected) + ", " +
                            Hex8(static_cast<std::uint32_t>(stored)) + ")");
        return false;
    }
    core::DebOutObj(kClass, method, "CRC ok (" + Hex8(expected) + ")");
    return true;
}

bool TBinSplitPart::CheckPartCRC() {
    std::uint32_t crc = kCrc32Start;
    if (!CrcOverData(kCrcLine, crc)) {
        core::DebOutObj(kClass, "CheckPartCRC", "Kann Daten nicht aus Stream lesen.");
        return false;
    }
    return CheckCrcLine(Crc32Final(crc), "CheckPartCRC");
}

bool TBinSplitPart::CheckAccumulatedCRC(std::uint32_t& running) {
    if (!CrcOverData(0, running)) {
        core::DebOutObj(kClass, "CheckAccumulatedCRC", "Kann Daten nicht aus Stream lesen.");
        return false;
    }
    return CheckCrcLine(Crc32Final(running), "CheckAccumulatedCRC");
}

void TBinSplitPart::CopyData(core::TStream& target) {
    if (dataOffset_ < 0)
        throw core::TStreamError(
            "Header ung\xFC"
            "ltig");
    stream_->SetPosition(dataOffset_);
    std::vector<char> chunk(64 * 1024);
    std::int64_t left = dataLength_;
    while (left > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, chunk.size()));
        stream_->ReadBuffer(chunk.data(), n);
        target.Write(chunk.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
}

}  // namespace tarvo::connection
