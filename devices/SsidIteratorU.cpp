#include "devices/SsidIteratorU.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "core/GlobalU.h"

namespace tarvo::devices {

namespace {

// All of s as a decimal number, saturating at the largest int32; -1 when s is
// empty or holds anything but digits.
std::int32_t ParseSSID(std::string_view s) {
    if (s.empty()) return -1;
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        value = std::min(kMax, value * 10 + (c - '0'));
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

TRufzeichen::TRufzeichen(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        Call = text;
        return;
    }
    Call = text.substr(0, dash);
    SSID = ParseSSID(text.substr(dash + 1));
}

std::string RufzeichenText(std::string_view call, int ssid) {
    std::string text(call);
    if (ssid != 0) text += "-" + std::to_string(ssid);
    return text;
}

TSsidIterator::TSsidIterator(std::string_view text, const TMyCalls* myCalls) {
    Create(text, myCalls);
}

TSsidIterator::TSsidIterator(std::string_view text, const std::vector<TMyCalls::Entry>& myCalls) {
    Create(text, myCalls);
}

bool TSsidIterator::FromText(std::string_view text) {
    const TRufzeichen r(text);
    call_ = core::AsciiUpper(r.Call);
    ssids_.clear();
    if (call_.empty()) return true;
    if (r.SSID >= 0) {
        if (r.SSID <= kMaxSSID) ssids_.push_back(r.SSID);
        return true;
    }
    return false;
}

void TSsidIterator::FromOwn(const std::vector<TMyCalls::Entry>& own) {
    const auto it = std::find_if(own.begin(), own.end(), [&](const auto& e) {
        return e && core::AsciiUpper(e->Call()) == call_;
    });
    if (it != own.end()) {
        call_ = (*it)->Call();
        ssids_ = (*it)->SSIDs();
        return;
    }
    for (int n = 0; n <= kMaxSSID; ++n) ssids_.push_back(n);
}

bool TSsidIterator::Create(std::string_view text, const TMyCalls* myCalls) {
    // Entries never change once in the list, so the lock is needed only while
    // taking the copy.
    if (!FromText(text)) FromOwn(myCalls ? myCalls->Snapshot() : std::vector<TMyCalls::Entry>{});
    return First();
}

bool TSsidIterator::Create(std::string_view text, const std::vector<TMyCalls::Entry>& myCalls) {
    if (!FromText(text)) FromOwn(myCalls);
    return First();
}

bool TSsidIterator::First() {
    position_ = -1;
    return Next();
}

bool TSsidIterator::Next() {
    if (position_ < static_cast<int>(ssids_.size())) ++position_;
    if (!Eof()) {
        current_ = RufzeichenText(call_, ssids_[static_cast<std::size_t>(position_)]);
        return true;
    }
    current_ = kNoCall;
    return false;
}

bool TSsidIterator::Eof() const {
    return position_ < 0 || position_ >= static_cast<int>(ssids_.size());
}

}  // namespace tarvo::devices
