#include "devices/MyCallsU.h"

#include <algorithm>
#include <utility>

#include "core/DebOutU.h"
#include "core/GlobalU.h"

namespace tarvo::devices {

namespace {

constexpr const char* kUnit = "MyCallsU";
constexpr std::uint16_t kAllSSIDs = 0xFFFF;

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool IsCallChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string SubKey(const std::string& call) {
    return std::string(kMyCallsKey) + "\\" + call;
}

}  // namespace

bool IsValidCallsign(std::string_view call) {
    return !call.empty() && call.size() <= kMaxCallLength &&
           std::all_of(call.begin(), call.end(), IsCallChar);
}

std::vector<int> SSIDsFromMask(std::uint32_t mask) {
    std::vector<int> ssids;
    for (int n = 0; n <= kMaxSSID; ++n)
        if (mask & (1u << n)) ssids.push_back(n);
    return ssids;
}

std::string SSIDText(std::uint16_t mask) {
    const std::vector<int> ssids = SSIDsFromMask(mask);
    std::string text;
    for (std::size_t i = 0; i < ssids.size();) {
        std::size_t j = i;
        while (j + 1 < ssids.size() && ssids[j + 1] == ssids[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(ssids[i]);
        if (j > i) text += ".." + std::to_string(ssids[j]);
        i = j + 1;
    }
    return text;
}

TMyCall::TMyCall(std::string_view call, std::uint16_t ssidMask) : mask_(ssidMask) {
    SetCall(call);
}

void TMyCall::SetCall(std::string_view call) {
    call_ = core::AsciiUpper(Trim(call));
}

int TMyCall::SSIDAnzahl() const {
    return static_cast<int>(SSIDsFromMask(mask_).size());
}

void TMyCall::AddSSID(int ssid) {
    if (ssid >= 0 && ssid <= kMaxSSID) mask_ = static_cast<std::uint16_t>(mask_ | (1u << ssid));
}

std::string TMyCall::Rufzeichen(int i) const {
    const std::vector<int> ssids = SSIDs();
    TARVO_ASSERT(i >= 0 && static_cast<std::size_t>(i) < ssids.size(), kUnit);
    const int ssid = ssids[static_cast<std::size_t>(i)];
    return ssid == 0 ? call_ : call_ + "-" + std::to_string(ssid);
}

TMyCallEditState EvaluateMyCallEdit(std::string_view fieldText, std::uint16_t ticked) {
    TMyCallEditState state;
    state.ssidBoxesEnabled = fieldText.find('-') == std::string_view::npos;

    const std::string text = core::AsciiUpper(Trim(fieldText));
    if (text.size() < 3 || ticked == 0) return state;
    const std::size_t dash = text.find('-');
    const std::string_view base = std::string_view(text).substr(0, dash);
    // The base must be a callsign the stored list can read back.
    if (!IsValidCallsign(base)) return state;

    std::uint16_t mask = ticked;
    if (dash != std::string::npos) {
        const std::string_view number = std::string_view(text).substr(dash + 1);
        if (number.empty() || number.size() > 2) return state;
        int ssid = 0;
        for (char c : number) {
            if (c < '0' || c > '9') return state;
            ssid = ssid * 10 + (c - '0');
        }
        if (ssid > kMaxSSID) return state;
        mask = static_cast<std::uint16_t>(1u << ssid);
    }
    state.okEnabled = true;
    state.result = TMyCall(base, mask);
    return state;
}

TMyCalls::TMyCalls(platform::IRegistry& registry) : registry_(registry) {}

void TMyCalls::Create() {
    const auto hive = platform::Hive::CurrentUser;
    registry_.CreateKey(hive, kMyCallsKey);
    std::vector<std::string> names = registry_.SubKeyNames(hive, kMyCallsKey);

    BeginUpdate();
    liste_.clear();
    std::size_t skipped = 0;
    for (const std::string& name : names) {
        if (!IsValidCallsign(name)) {
            ++skipped;
            continue;
        }
        const std::uint32_t stored = registry_.ReadDWord(hive, SubKey(name), "SSIDs").value_or(0);
        std::uint16_t mask = static_cast<std::uint16_t>(stored & kAllSSIDs);
        if (mask == 0) mask = 1;
        if (!Add(TMyCall(name, mask))) ++skipped;
    }
    EndUpdate();
    if (skipped > 0)
        core::DebOutObj("TMyCalls", "Create", "skipped entries: " + std::to_string(skipped));
}

bool TMyCalls::Store() {
    const std::vector<Entry> entries = Snapshot();
    const auto hive = platform::Hive::CurrentUser;
    std::lock_guard lock(storeMutex_);
    registry_.DeleteKey(hive, kMyCallsKey);
    bool ok = registry_.CreateKey(hive, kMyCallsKey);
    for (const Entry& e : entries)
        ok = registry_.WriteDWord(hive, SubKey(e->Call()), "SSIDs", e->SSIDMask()) && ok;
    return ok;
}

bool TMyCalls::ReleaseList() {
    const bool ok = Store();
    publisher_.UnsubscribeAll();
    return ok;
}

bool TMyCalls::AcceptEdit(const std::vector<TMyCall>& entries) {
    BeginUpdate();
    Clear();
    for (const TMyCall& e : entries) Add(e);
    EndUpdate();
    return Store();
}

void TMyCalls::Notify(const TMyCall* p) {
    publisher_.NotifySubscribers(p);
}

void TMyCalls::NotifyAll() {
    publisher_.NotifySubscribers(nullptr);
}

void TMyCalls::Assign(const TMyCalls& other) {
    // Never both locks at once: two lists assigned crosswise would deadlock.
    const std::vector<Entry> entries = other.Snapshot();
    std::lock_guard lock(sperre_);
    liste_ = entries;
}

void TMyCalls::Clear() {
    std::vector<Entry> old;  // entries are freed after the lock
    std::lock_guard lock(sperre_);
    old.swap(liste_);
}

bool TMyCalls::Add(const TMyCall& call) {
    if (!IsValidCallsign(call.Call())) return false;
    auto entry = std::make_shared<TMyCall>(call);
    if (entry->SSIDMask() == 0) entry->SetSSIDMask(1);

    std::lock_guard lock(sperre_);
    auto same = std::find_if(liste_.begin(), liste_.end(),
                             [&](const Entry& e) { return e->Call() == entry->Call(); });
    if (same != liste_.end()) {
        entry->SetSSIDMask(static_cast<std::uint16_t>(entry->SSIDMask() | (*same)->SSIDMask()));
        *same = std::move(entry);  // replaced, not changed: readers may hold the old one
        return true;
    }
    if (liste_.size() >= kMaxMyCalls) return false;
    liste_.push_back(std::move(entry));
    return true;
}

void TMyCalls::Subscribe(std::shared_ptr<core::ISubscriber> subscriber) {
    publisher_.Subscribe(std::move(subscriber));
}

void TMyCalls::Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) {
    publisher_.Unsubscribe(subscriber);
}

void TMyCalls::Lock() {
    sperre_.lock();
    ++depth_;
}

void TMyCalls::Unlock() {
    const bool notify = --depth_ == 0 && std::exchange(notifyPending_, false);
    sperre_.unlock();
    if (notify) NotifyAll();
}

void TMyCalls::BeginUpdate() {
    Lock();
}

void TMyCalls::EndUpdate() {
    notifyPending_ = true;
    Unlock();
}

std::size_t TMyCalls::Count() const {
    std::lock_guard lock(sperre_);
    return liste_.size();
}

TMyCalls::Entry TMyCalls::Items(std::size_t i) const {
    std::lock_guard lock(sperre_);
    return i < liste_.size() ? liste_[i] : nullptr;
}

std::vector<TMyCalls::Entry> TMyCalls::Snapshot() const {
    std::lock_guard lock(sperre_);
    return liste_;
}

std::vector<std::string> CallsignsBySsidPosition(const std::vector<TMyCalls::Entry>& calls) {
    std::vector<std::string> list;
    for (int position = 0;; ++position) {
        bool added = false;
        for (const auto& call : calls) {
            if (!call || call->SSIDAnzahl() <= position) continue;
            list.push_back(call->Rufzeichen(position));
            added = true;
        }
        if (!added) break;
    }
    return list;
}

}  // namespace tarvo::devices
