// The block-oriented binary file transfer with resume: the blocks on the wire
// (type, file identity, payload, CRC-16, 0xC0 frames with escapes), the frame
// splitter over received data, the error codes, and the module base that the
// send and receive modules share (errors, chat, end sounds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "connection/MD5U.h"
#include "core/GlobalU.h"
#include "connection/VerbindungAbstractU.h"

namespace tarvo::connection {

enum TDidaditBlockType : std::uint16_t {
    kDidaditInfo = 1,
    kDidaditStart = 2,
    kDidaditErr = 3,
    kDidaditData = 4,
    kDidaditFin = 5,
    kDidaditReq = 6,
    kDidaditFinAck = 7,
    kDidaditEchoReq = 9,
    kDidaditEchoRep = 10,
    kDidaditAbort = 11,
    kDidaditChat = 12,
};

inline constexpr char kDidaditHeader[] = "#DIDADIT#";
inline constexpr char kDidaditVersion[] = "0.9.1";
inline constexpr std::int32_t kDidaditDefaultBlockSize = 1750;
inline constexpr std::int32_t kDidaditMinBlockSize = 256;
inline constexpr std::int32_t kDidaditMaxBlockSize = 16384;
// The protocol number of send jobs and of a connection's BinMode.
inline constexpr std::int32_t kDidaditProtocol = 5;
// Offsets travel as signed 32-bit numbers.
inline constexpr std::int64_t kDidaditMaxFileSize = 0x7FFFFFFF;
using core::kReplyPrefix;

// Frame delimiter and its escapes.
inline constexpr char kFrameEnd = '\xC0';
inline constexpr char kFrameEscape = '\xDB';
inline constexpr char kEscapedEnd = '\xDC';
inline constexpr char kEscapedEscape = '\xDD';

// Types 3 to 7 carry the file identity after the type.
constexpr bool BlockHasIdentity(std::uint16_t type) {
    return type >= kDidaditErr && type <= kDidaditFinAck;
}

// The largest body a legal block can have on the wire: a DATA block with a
// full 16-bit length, every byte escaped. A longer run without 0xC0 is noise.
inline constexpr std::size_t kMaxFrameBody = 2 * (2 + 16 + 6 + 65535 + 2);

struct TDidaditBlock {
    std::uint16_t type = 0;
    MD5Digest identity{};  // zeros for the types without one
    std::string payload;
};

// 0xC0, the escaped body (type, identity for types 3 to 7, payload, CRC-16),
// 0xC0. Appends to frame.
void EncodeDidaditBlock(std::uint16_t type, const MD5Digest& identity, std::string_view payload,
                        std::string& frame);
std::string EncodeDidaditBlock(std::uint16_t type, const MD5Digest& identity,
                               std::string_view payload);

// The bytes between two 0xC0 as a block; nullopt for a bad escape, a wrong
// CRC, or a body too short for its type (4 bytes, 20 with an identity).
std::optional<TDidaditBlock> DecodeDidaditBlock(std::string_view body);
// The same into an existing block, reusing its storage.
bool DecodeDidaditBlock(std::string_view body, TDidaditBlock& block);

// Cuts received data into frame bodies: everything up to the next 0xC0 is one
// body (empty ones are skipped). A run longer than kMaxFrameBody without 0xC0 is
// dropped up to the next 0xC0, where the splitter finds its step again.
class TDidaditSplitter {
  public:
    void Append(std::string_view data);
    // The next complete body; the view lasts until the next Append or Clear.
    std::optional<std::string_view> Next();
    // Bytes held that are not part of a body handed out yet.
    std::size_t Pending() const { return buffer_.size() - offset_; }
    // The bytes not taken (for showing what is left at the end) and empties it.
    std::string TakeRest();
    void Clear();
    // Bodies dropped because they ran past the bound.
    std::size_t Overruns() const { return overruns_; }

  private:
    std::string buffer_;
    std::size_t offset_ = 0;   // start of the bytes not taken yet
    std::size_t scanned_ = 0;  // bytes after offset_ known to hold no 0xC0
    bool discarding_ = false;  // inside an overlong run, until the next 0xC0
    std::size_t overruns_ = 0;
};

// The arguments of an error text, in the order of its placeholders.
using TDidaditErrorArg = std::variant<std::int64_t, std::string>;
using TDidaditErrorArgs = std::vector<TDidaditErrorArg>;

// The template of an error code ("Unknown Error" for codes not in the table).
std::string_view DidaditErrorTemplate(int code);
// "%3.3d <text>" with the arguments filled in; only the three digits when the
// arguments do not fit the text's placeholders.
std::string DidaditErrorString(int code, const TDidaditErrorArgs& args);
std::string DidaditErrorString(int code);
// Codes whose last two digits are 50 to 99 are warnings.
constexpr bool DidaditErrorIsWarning(int code) {
    return code % 100 >= 50;
}
// The transfer goes on after an ERR with this text: its leading number is a
// warning. An unreadable number is fatal.
bool DidaditErrIsWarning(std::string_view text);

// "KEY=value" lines ended by CR (a lone LF or a missing last end is taken too);
// keys upper-cased, lines without "=" left out.
std::vector<std::pair<std::string, std::string>> ParseDidaditLines(std::string_view payload);
// A decimal number with an optional sign, nothing else; nullopt when unreadable
// or out of the 64-bit range.
std::optional<std::int64_t> ParseDidaditNumber(std::string_view text);

struct TDidaditData {
    std::int32_t offset = 0;
    std::uint16_t length = 0;
    std::string_view bytes;  // exactly length bytes
};
// A DATA payload; nullopt when it is shorter than 6 plus its length.
std::optional<TDidaditData> ParseDidaditData(std::string_view payload);
std::string DidaditDataPayload(std::int32_t offset, std::string_view bytes);

struct TDidaditRequest {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool operator==(const TDidaditRequest&) const = default;
};
// A REQ payload; nullopt when its size is not a multiple of 8. Offsets are
// signed 32-bit on the wire, lengths unsigned.
std::optional<std::vector<TDidaditRequest>> ParseDidaditRequests(std::string_view payload);
std::string DidaditRequestPayload(const std::vector<TDidaditRequest>& requests);

// Little-endian helpers of the wire format.
void PutLe16(std::string& out, std::uint16_t value);
void PutLe32(std::string& out, std::uint32_t value);
std::uint16_t GetLe16(std::string_view in, std::size_t at);
std::uint32_t GetLe32(std::string_view in, std::size_t at);

// What the modules need besides their connection; null members stay silent.
struct TDidaditContext {
    core::IKlaenge* klaenge = nullptr;
    // Takes a completely received file (the record's stream is the data file,
    // its send name the name to store it under); without it the file stays
    // in the folder of incomplete files.
    std::function<void(const std::shared_ptr<core::IVerbindung>&, core::IDateiSenden&)> postProcess;
};

// Sound events of a transfer.
enum TTransferSound : int {
    kSoundTransferStart = 10,
    kSoundTransferSuccess = 11,
    kSoundTransferCancelled = 12,
    kSoundTransferFailed = 13,
};

// The outcome of a transfer in words: to a terminal or a station of unknown
// kind as text on the link (through the user send queue or straight), to
// others in the channel; success is told to others only when promptOk.
void ReportTransferOutcome(core::IVerbindungFuerModul& connection, int endCode, std::string_view ok,
                           std::string_view cancelled, bool userQueue, bool promptOk);

class TVerbindungDidadit : public TVerbindungAbstract {
  public:
    // The frame of a block with this module's file identity.
    std::string EncodeBlock(std::uint16_t type, std::string_view payload) const;
    static bool DecodeBlock(std::string_view body, TDidaditBlock& block);
    static std::string ErrorString(int code, const TDidaditErrorArgs& args);
    static std::string ErrorString(int code);
    // Sends an ERR block; a fatal code ends the transfer.
    void SendError(int code);
    void SendError(int code, const TDidaditErrorArgs& args);
    // The frame goes to the link send queue in pieces of at most 256 bytes.
    void SendBlock(std::uint16_t type, std::string_view payload);

    // Worker thread: stop reading received data, then end as the base does.
    // Nothing more of the received data is acted on after either.
    void Finish() override;
    void Fail() override;

    const MD5Digest& Identity() const { return identity_; }
    bool ChatAllowed() const { return chatAllowed_; }

  protected:
    TVerbindungDidadit(TVerbindungAbstract* parent,
                       std::shared_ptr<core::IVerbindungFuerModul> connection,
                       TDidaditContext context);

    void OnUserSend() override;
    void Terminated(int endCode) override;

    // Takes everything waiting in the receive queue into the splitter, one
    // item at a time, and hands each decoded block to OnBlock; stops once the
    // module has ended. errorLog is the line for a body that does not decode.
    void ReceiveBlocks(std::string_view errorLog);
    // Frames in the splitter, without taking more from the queue.
    void DrainFrames(std::string_view errorLog);
    virtual void OnBlock(TDidaditBlock& block) = 0;

    // An ERR block from the remote: shown, and the end of the transfer unless a warning.
    void ReceivedError(std::string_view payload);
    // The blocks both sides treat alike: ERR, ECHOREQ, ECHOREP, ABORT, CHAT,
    // and any type not known (a warning to the remote).
    void OnCommonBlock(TDidaditBlock& block);
    // A block of this type does not belong here: logged with why, ERR 100.
    void Unexpected(std::string_view type, std::string_view why);
    // ReportTransferOutcome on this module's connection.
    void ReportOutcome(int endCode, std::string_view ok, std::string_view cancelled, bool userQueue,
                       bool promptOk);
    void SetChatAllowed(bool allowed);
    void PlaySound(int event);
    bool Stopped() const { return stopped_; }

    MD5Digest identity_{};
    TDidaditSplitter splitter_;
    TDidaditContext context_;

  private:
    bool chatAllowed_ = false;
    bool stopped_ = false;
    TDidaditBlock block_;  // reused between frames
};

}  // namespace tarvo::connection
