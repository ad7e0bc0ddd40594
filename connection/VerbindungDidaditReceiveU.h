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

namespace tarvo::connection {
class TFileStreamQam;
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

// Rounds of FIN and REQ in a row that bring nothing new before the receiver
// gives up.
inline constexpr int kMaxRoundsWithoutProgress = 5;

class TVerbindungDidaditReceive : public TVerbindungDidadit {
  public:
    TVerbindungDidaditReceive(TVerbindungAbstract* parent,
                              std::shared_ptr<core::IVerbindungFuerModul> connection,
                              TDidaditContext context = {});
    ~TVerbindungDidaditReceive() override;

    // 0 new, 1 accepted, 2 started.
    std::uint8_t State() const { return state_; }
    std::int32_t BlockSize() const { return blockSize_; }
    const TDidaditReceiveBlockList& BlockList() const { return list_; }

  protected:
    void Init() override;
    void OnReceive() override;
    void Terminated(int endCode) override;
    void OnBlock(TDidaditBlock& block) override;

  private:
    void HandleInfo(std::string_view payload);
    // False when the file cannot take it (the transfer has failed then).
    void HandleData(std::string_view payload);
    void HandleFin();
    // Cuts the data file to its size and compares its MD5 with the identity.
    bool Verify();
    // Refuses the offer: the error goes out and the transfer fails.
    void Refuse(int code);
    void RemoveFiles();

    bool error_ = false;
    std::uint8_t state_ = 0;
    std::shared_ptr<core::IDateiSenden> record_;
    TFileStreamQam* file_ = nullptr;  // owned by the record
    std::int32_t blockSize_ = kDidaditDefaultBlockSize;
    std::int64_t size_ = -1;
    TDidaditReceiveBlockList list_;
    std::filesystem::path dataFile_, indexFile_;
    bool verified_ = false;
    bool discarded_ = false;  // both files removed
    std::int64_t lastRoundTotal_ = -1;
    int roundsWithoutProgress_ = 0;
};

// Registers the send and receive modules with the terminal text module.
void RegisterDidaditModules(const TDidaditContext& context);
// The context of the running program: its sounds, and received files moved to
// the receive folder.
TDidaditContext DidaditProgramContext(core::IKlaenge* klaenge);
void UnregisterDidaditModules();

}  // namespace tarvo::connection
