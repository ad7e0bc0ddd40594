// One part of a split set, as the send side writes it: a header ended by a zero
// byte and its CRC-16 line, the part's data, the running CRC-32 line over the
// whole file so far and the part's own CRC-32 line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/StreamU.h"

namespace tarvo::connection {

// A part's header as the send side writes it: the fields, the producer line
// "P" CR producer CR LF, the zero byte and the header's CRC-16 line. Part
// numbers as two upper-case hex digits. fileName and dateText must hold no LF
// or zero byte.
std::string MakeBinSplitHeader(int part, int parts, std::int64_t partSize, std::int64_t fileSize,
                               std::string_view fileName, std::string_view dateText,
                               std::string_view producer);

class TBinSplitPart {
  public:
    // Longest header read; a part without a zero byte before it is refused.
    static constexpr std::size_t kMaxHeader = 4096;
    static constexpr int kMaxParts = 255;

    // Opens the file for reading (others may read); IsOpen tells whether it did.
    explicit TBinSplitPart(const std::filesystem::path& path);
    // Uses the stream without owning it.
    explicit TBinSplitPart(core::TStream& stream);
    ~TBinSplitPart();
    TBinSplitPart(const TBinSplitPart&) = delete;
    TBinSplitPart& operator=(const TBinSplitPart&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }

    // The header up to its zero byte and its CRC line; false for a damaged one.
    bool ReadHeader();
    // The header's fields; false for a wrong magic, an unreadable number, part
    // numbers outside 1 <= part <= parts <= 255, a part size below 1, a file
    // size that does not fit the parts, or a file too short for its data.
    bool Parse();
    // The part's own CRC over its data and running-CRC line.
    bool CheckPartCRC();
    // Continues the running CRC over this part's data and checks its line.
    bool CheckAccumulatedCRC(std::uint32_t& running);
    // The part's data appended to target; TStreamError when a read or write fails.
    void CopyData(core::TStream& target);

    const std::string& Header() const { return header_; }
    int Part() const { return part_; }
    int Parts() const { return parts_; }
    std::int64_t PartSize() const { return partSize_; }
    std::int64_t FileSize() const { return fileSize_; }
    // As in the header (code page 1252); not yet safe as a file name.
    const std::string& FileName() const { return fileName_; }
    const std::string& DateText() const { return dateText_; }
    std::int64_t DataLength() const { return dataLength_; }
    // -1 when the header is unusable.
    std::int64_t DataOffset() const { return dataOffset_; }

  private:
    // Reads exactly count bytes at the stream's position, or false.
    bool ReadExactly(void* buffer, std::size_t count);
    // CRC-32 over the data (and `extra` bytes after it), continuing crc; false when short.
    bool CrcOverData(std::size_t extra, std::uint32_t& crc);
    bool CheckCrcLine(std::uint32_t expected, std::string_view method);

    std::unique_ptr<core::TStream> owned_;
    core::TStream* stream_ = nullptr;
    std::string header_;
    int part_ = 0;
    int parts_ = 0;
    std::int64_t partSize_ = 0;
    std::int64_t fileSize_ = 0;
    std::string fileName_;
    std::string dateText_;
    std::int64_t dataLength_ = 0;
    std::int64_t dataOffset_ = -1;
};

}  // namespace tarvo::connection
