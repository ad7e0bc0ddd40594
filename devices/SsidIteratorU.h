// Splitting and printing callsigns with SSID, and the own callsigns a device
// may use, one after the other, for an outgoing connection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/MyCallsU.h"

namespace tarvo::devices {

// "DL1XYZ-7" into "DL1XYZ" and 7. Nothing is trimmed or upper-cased and the
// range is not checked: "-20" gives 20. SSID is -1 without "-" or when the
// rest is not all decimal digits; a huge number saturates, it never wraps.
struct TRufzeichen {
    std::string Call;
    std::int32_t SSID = -1;

    TRufzeichen() = default;
    explicit TRufzeichen(std::string_view text);
};

// The callsign alone for SSID 0, else "Call-n".
std::string RufzeichenText(std::string_view call, int ssid);

// Candidates for the own callsign of a connection:
// - a text with an SSID from 0 to 15: that one, upper-cased;
// - a text with any other SSID, or an empty callsign: none at all, so that such
//   a callsign never reaches a TNC (the device answers "no free SSID");
// - an own callsign (compared without case): its SSIDs in ascending order;
// - any other callsign: SSIDs 0 to 15.
// Current is "NOCALL" once they are used up.
class TSsidIterator {
  public:
    static constexpr const char* kNoCall = "NOCALL";

    TSsidIterator() = default;
    // myCalls may be null (no own callsigns); it is locked only while the
    // matching entry is copied.
    TSsidIterator(std::string_view text, const TMyCalls* myCalls);
    TSsidIterator(std::string_view text, const std::vector<TMyCalls::Entry>& myCalls);

    // Replaces the candidates and moves to the first; answers First().
    bool Create(std::string_view text, const TMyCalls* myCalls);
    bool Create(std::string_view text, const std::vector<TMyCalls::Entry>& myCalls);

    bool First();
    // True while a candidate is left.
    bool Next();
    bool Eof() const;
    const std::string& Current() const { return current_; }

    // The candidates as found by Create.
    const std::string& Call() const { return call_; }
    const std::vector<int>& SSIDs() const { return ssids_; }

  private:
    // The candidates the text alone decides; false when the own callsigns
    // decide (call_ is set either way).
    bool FromText(std::string_view text);
    void FromOwn(const std::vector<TMyCalls::Entry>& own);

    std::string call_;
    std::vector<int> ssids_;
    int position_ = -1;
    std::string current_ = kNoCall;
};

}  // namespace tarvo::devices
