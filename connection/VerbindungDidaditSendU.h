// Sending the connection's running job: announces the file, waits for the
// receiver's "#OK#" and START, sends DATA blocks from the start offset, serves
// the receiver's requests for missing ranges and ends at its FINACK.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "connection/VerbindungDidaditU.h"

namespace tarvo::core {
class TStream;
}

namespace tarvo::connection {

// Text kept while waiting for the receiver's answer; beyond it the oldest text
// is shown and dropped (the answer is short).
inline constexpr std::size_t kMaxAnswerText = 4096;
// What the MD5 reads at a time; the end of the link is checked between.
inline constexpr std::size_t kDigestChunk = 65536;

// "FILENAME=" ... "FEATURES=CHAT", each line ended by CR; TIME only when known.
std::string DidaditInfoPayload(std::string_view sendName, std::int64_t size,
                               const MD5Digest& identity, std::optional<std::int64_t> time);

class TVerbindungDidaditSend : public TVerbindungDidadit {
  public:
    TVerbindungDidaditSend(TVerbindungAbstract* parent,
                           std::shared_ptr<core::IVerbindungFuerModul> connection,
                           TDidaditContext context = {});
    ~TVerbindungDidaditSend() override;

    // 0 not started, 1 announced, 2 accepted, 3 sending.
    std::uint8_t State() const { return state_; }
    std::int32_t BlockSize() const { return blockSize_; }

  protected:
    void Init() override;
    void OnReceive() override;
    void OnLinkSendQueueEmpty() override;
    void Terminated(int endCode) override;
    void OnBlock(TDidaditBlock& block) override;

  private:
    // The answer to the announcement in the text so far.
    void WaitForAnswer();
    void HandleStart(std::string_view payload);
    void HandleRequests(std::string_view payload);
    // The MD5 of the whole stream; nullopt when the link ended meanwhile.
    std::optional<MD5Digest> DigestOfStream();
    bool Ending() const;

    std::shared_ptr<core::IDateiSenden> job_;
    core::TStream* stream_ = nullptr;
    std::uint8_t state_ = 0;
    std::string text_;  // received while waiting for the answer
    std::int32_t blockSize_ = kDidaditDefaultBlockSize;
    std::int64_t size_ = 0;
    std::int64_t next_ = 0;  // next sequential offset
    std::deque<TDidaditRequest> requests_;
};

}  // namespace tarvo::connection
