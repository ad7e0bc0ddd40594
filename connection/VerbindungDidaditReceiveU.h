// Receiving a file: accepts the transfer, stores DATA blocks at their offsets in
// an incomplete file named after the file's MD5, keeps the received ranges in an
// index beside it so that a later offer of the same file resumes, asks for what
// is missing at FIN, checks the whole file and hands it on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection/VerbindungDidaditU.h"

namespace tarvo::platform {
class LockedFile;
}

namespace tarvo::connection {

// The received ranges of one file as an interval set: sorted, never
// overlapping, never touching (touching ranges are merged).
class TDidaditReceiveBlockList {
  public:
    using TRange = std::pair<std::int64_t, std::int64_t>;  // first and last byte, inclusive

    void Clear();
    // Logs every range.
    void OutputList() const;
    // offset >= 0, length >= 1; the total of received bytes after adding.
    std::int64_t Add(std::int64_t offset, std::int64_t length);
    // The gaps before each range and after the last one, at most maxCount.
    std::vector<TDidaditRequest> GetRequests(std::size_t maxCount) const;
    // The index file: deleted when it would describe nothing or the whole file.
    std::error_code WriteIndexFile(const std::filesystem::path& index) const;
    // Reads the index (the file size set before); the resume offset: the end of
    // the furthest range, 0 without any.
    std::int64_t ReadIndexFile(const std::filesystem::path& index);
    // The same over the index text.
    std::int64_t ReadIndexText(std::string_view text);
    std::string IndexText() const;

    void SetFileSize(std::int64_t size) { fileSize_ = size; }
    std::int64_t FileSize() const { return fileSize_; }
    std::int64_t Total() const { return total_; }
    // Every byte of the file is there.
    bool Complete() const { return total_ == fileSize_; }
    std::vector<TRange> Ranges() const;

  private:
    std::map<std::int64_t, std::int64_t> ranges_;  // first -> last
    std::int64_t total_ = 0;
    std::int64_t fileSize_ = 0;
};

// What the index reader accepts at most.
inline constexpr std::size_t kMaxIndexBytes = 16 * 1024 * 1024;

// "<identity>.tvf" and "<identity>.tvi" in the folder of incomplete files.
std::filesystem::path DidaditDataFile(const std::filesystem::path& folder, const MD5Digest& id);
std::filesystem::path DidaditIndexFile(const std::filesystem::path& folder, const MD5Digest& id);

}  // namespace tarvo::connection
