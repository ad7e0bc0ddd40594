// Raw AX.25 frames (addresses, control field, PID, information; no flags and
// no FCS) read into the monitor frame the channel set shows, so a frame heard
// through an engine looks the same as one a TNC reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanaeleU.h"

namespace tarvo::devices::ax25 {

inline constexpr std::size_t kAddressSize = 7;
inline constexpr std::size_t kMaxDigis = 8;

// The callsign of one 7-byte address field ("DL1ABC-3"), and whether its
// high bit (repeated, on a digipeater) is set; "" when the field is no callsign.
std::string AddressCall(std::string_view field, bool* highBit = nullptr);

// Reads frames of many links; it remembers, for the last links it saw set up,
// whether they run with the two-byte control field (SABME) or the one-byte one.
class TDecoder {
  public:
    // False when the bytes are not a frame (bad address, too short).
    bool Decode(std::string_view frame, std::int32_t geraet, std::int32_t port,
                channels::TMonitorFrame& out);

  private:
    struct Link {
        std::string a, b;  // the two calls, ordered
        bool extended = false;
    };
    const Link* FindLink(const std::string& x, const std::string& y) const;
    void Remember(const std::string& x, const std::string& y, bool extended);

    static constexpr std::size_t kMaxLinks = 64;
    std::vector<Link> links_;  // oldest first
};

}  // namespace tarvo::devices::ax25
