// The hostmode exchange with a TNC and the texts it answers with, as pure
// functions over a byte transport, so they can be tested and fuzzed without a
// device or a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanaeleU.h"

namespace tarvo::devices::hostmode {

// The longest text one frame carries, both ways.
inline constexpr std::size_t kMaxFrameText = 256;
inline constexpr int kMaxChannel = 255;

// Reply codes.
enum TReplyCode : int {
    kReplyFailed = -1,
    kReplyOk = 0,
    kReplyMessage = 1,
    kReplyError = 2,
    kReplyLinkStatus = 3,
    kReplyMonitorHeader = 4,
    kReplyMonitorHeaderInfo = 5,
    kReplyMonitorInfo = 6,
    kReplyData = 7,
};

// The byte stream to the TNC. Read waits at most the transport's current
// time-outs and answers true with 0 bytes on a time-out.
class ITransport {
  public:
    virtual ~ITransport() = default;
    virtual bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written) = 0;
    virtual bool Read(std::uint8_t* buffer, std::size_t count, std::size_t& read) = 0;
};

struct TReply {
    int code = kReplyFailed;
    std::string text;  // bytes; codes 6 and 7 may hold NUL
};

// Why an exchange failed: the step code ("1a" .. "8") and a message.
struct TExchangeFailure {
    std::string step;
    std::string message;
    // The request itself cannot be sent (text over 256 bytes, channel outside
    // 0..255): repeating it cannot help.
    bool refused = false;
};

// One exchange: sends the frame and reads one reply. An empty text sends
// nothing and succeeds with code 0.
bool Exchange(ITransport& transport, int kanal, bool befehl, std::string_view text, TReply& reply,
              TExchangeFailure& failure);

// ---- answers ------------------------------------------------------------------------------

// "Hostmode", "TNC2", "TNC3" or "PTC-II" from the "V" reply.
std::string ClassifyVersion(std::string_view version);
// The "%B" reply as a modem name; "" when there is no modem.
std::string ModemText(std::string_view reply);

// The leading decimal number (after blanks, with a sign), saturated to int;
// none without digits.
std::optional<int> ParseNumber(std::string_view text);

// The six numbers of an "L" reply; missing or unreadable ones are 0.
struct TLinkValues {
    int statusMessages = 0;
    int receivedFrames = 0;
    int unsent = 0;
    int unacked = 0;
    int tries = 0;
    int state = 0;
};
TLinkValues ParseLinkValues(std::string_view text);
// The link flags of the status bar for a TNC link state 0..15.
int LinkStateFlags(int state);
// The FRACK shown for an "F" value; TNC3 and PTC count in tenths.
int FrackFromReply(int value, bool scaled);

// The path of a link status text ("TFKB via DIGI" from "TFKB via DIGI",
// "1:TFKB -> ..." cut at " -").
std::string GetConnectPath(std::string_view text);
// The path of a "C" reply; none when the channel has no link.
std::optional<std::string> PathFromCReply(std::string_view reply);
// Whether a connection in link state `state` with `realPath` is the link the
// TNC reports on its channel (`tncPath`, "" for none). A confirmed link must
// match exactly; one not yet confirmed still has the path as the operator
// typed it, so case, "via" and a port prefix do not count, but a channel the
// TNC reports idle means it is gone.
bool SameLink(std::uint8_t state, std::string_view realPath, std::string_view tncPath);

// The link status messages the device acts on.
enum class TLinkEvent : std::uint8_t {
    None = 0,
    Busy,
    Connected,
    LinkResetFrom,
    LinkResetTo,
    Disconnected,
    LinkFailure,
    ConnectRequest,
    FrameReject,
};
struct TLinkStatus {
    TLinkEvent event = TLinkEvent::None;
    std::string rest;  // the text after the prefix and one character
};
TLinkStatus ParseLinkStatus(std::string_view text);

// Monitor option bits.
enum TMonitorOption : std::int32_t {
    kMonStatus = 2,
    kMonInfo = 4,
    kMonContent = 8,
    kMonUI = 16,
    kMonLocal = 64,
};
// The commands that set the TNC's monitor: {"M-", "MIUS"} or {"MN"}.
std::vector<std::string> MonitorCommands(std::int32_t options);
// Parses a monitor header; false when the text is not one.
bool ParseMonitorHeader(std::string_view text, std::int32_t geraet, channels::TMonitorFrame& frame);

// The init commands that are never sent (connect, disconnect, callsign,
// monitor, quit, channels would break the device's own bookkeeping).
bool IsIgnoredInitCommand(std::string_view line);

// "Init" and "Deinit" as stored: each trimmed line followed by a NUL; text after
// the last NUL is dropped when read.
std::string JoinCommandLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitCommandLines(std::string_view stored);

}  // namespace tarvo::devices::hostmode
