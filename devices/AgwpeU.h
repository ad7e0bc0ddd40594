// The frames of the AGWPE TCP interface and the texts in them, as pure
// functions, so they can be tested and fuzzed without an engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanaeleU.h"

namespace tarvo::devices::agwpe {

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kCallField = 10;
// Nothing the engine sends is near this; a larger DataLen is a broken stream.
inline constexpr std::uint32_t kMaxDataLen = 64 * 1024;
inline constexpr std::size_t kMaxDigis = 7;
inline constexpr std::size_t kLoginField = 255;
inline constexpr std::uint16_t kDefaultPort = 8000;

struct TFrame {
    std::uint8_t port = 0;
    char kind = 0;
    std::uint8_t pid = 0;
    std::string callFrom;
    std::string callTo;
    std::string data;
};

// The frame as it goes on the wire; false (with a reason) when a callsign does
// not fit its field or the data is too long.
bool EncodeFrame(const TFrame& frame, std::string& out, std::string& error);

// Collects what the engine sends and cuts it into frames.
class TReader {
  public:
    enum class Result { Frame, NeedMore, TooLarge };
    void Append(const std::uint8_t* data, std::size_t size);
    void Clear();
    // The next whole frame; TooLarge when a header announces more than
    // kMaxDataLen (the stream cannot be trusted after that).
    Result Next(TFrame& frame);
    std::size_t Buffered() const { return buffer_.size() - pos_; }

  private:
    std::string buffer_;
    std::size_t pos_ = 0;
};

// Frames the device sends.
TFrame LoginFrame(std::string_view user, std::string_view password);  // 'P', 510 bytes
// 'v': the count, then each digipeater in a 10-byte field (71 bytes in all).
std::string DigiPayload(const std::vector<std::string>& digis);
// A UI frame from `myCall` along `path` (the destination, then the digipeaters):
// 'M', or 'V' whose data is [count][10 bytes per digipeater] and then the
// information. Returns why it cannot go, "" when `out` holds the frame.
std::string UIFrame(std::uint8_t port, std::string_view myCall,
                    const std::vector<std::string>& path, std::string_view info, TFrame& out);
// Why a login, callsign or path cannot go to the engine; "" when it can.
std::string CheckLogin(std::string_view user, std::string_view password);
std::string CheckCall(std::string_view call);
std::string CheckDigis(const std::vector<std::string>& digis);

// The port list of a 'G' reply: the names, at most `count` as the reply says
// and `max` in all; empty items keep their number but give no port.
struct TPortItem {
    int port = 0;
    std::string name;
};
std::vector<TPortItem> ParsePortList(std::string_view data, std::size_t max);

// 0 normal, 1 failure ("RETRY"), 2 busy, from the text of a 'd' frame.
std::uint8_t DisconnectReason(std::string_view data);
// An incoming connect notice ("*** CONNECTED To Station ...") rather than the
// answer to our own connect ("*** CONNECTED With Station ...").
bool IsOutgoingNotice(std::string_view data);

// A monitored frame ('I', 'S', 'T', 'U'); false when the text is not one.
bool ParseMonitor(std::string_view data, std::int32_t geraet, channels::TMonitorFrame& frame);

// MaxFrame from the data of a 'g' answer (the port's settings); -1 when it is
// too short.
int MaxFrameOfPort(std::string_view data);

// The link state bits of the status bar (state code 3 frmr, 6 reject, 7
// polling; 0x08 busy, 0x10 rbusy) after a monitored frame of the link, sent by
// this side (`fromUs`) or by the remote station. -1 (unknown) counts as 0.
int NextLinkFlags(int flags, const channels::TMonitorFrame& frame, bool fromUs);

// A little-endian 32-bit number at the start, 0 when there are fewer bytes.
std::uint32_t ReadU32(std::string_view data, std::size_t offset = 0);

// Callsigns as the engine and the operator write them compare equal.
bool SameCall(std::string_view a, std::string_view b);

}  // namespace tarvo::devices::agwpe
