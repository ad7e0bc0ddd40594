// The operator's own callsigns, each with the SSIDs the station may appear under.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/PublisherU.h"
#include "platform/Registry.h"

namespace tarvo::devices {

inline constexpr int kMaxSSID = 15;
inline constexpr std::size_t kMaxCallLength = 9;
// A hostile settings file cannot make the list grow without end.
inline constexpr std::size_t kMaxMyCalls = 256;
inline constexpr const char* kMyCallsKey = "\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen";

// 1 to 9 of the letters A to Z (either case) and digits, nothing else.
bool IsValidCallsign(std::string_view call);
// Bit n set means SSID n, n from 0 to 15; higher bits are dropped.
std::vector<int> SSIDsFromMask(std::uint32_t mask);
// "0..3, 5, 7..8": runs of consecutive values as first..last.
std::string SSIDText(std::uint16_t mask);

class TMyCall {
  public:
    TMyCall() = default;
    // The callsign trimmed and upper-cased; SSIDs outside 0..15 are dropped.
    TMyCall(std::string_view call, std::uint16_t ssidMask);

    const std::string& Call() const { return call_; }
    void SetCall(std::string_view call);

    // Ascending and without repeats.
    std::vector<int> SSIDs() const { return SSIDsFromMask(mask_); }
    int SSIDAnzahl() const;
    std::uint16_t SSIDMask() const { return mask_; }
    void SetSSIDMask(std::uint16_t mask) { mask_ = mask; }
    void AddSSID(int ssid);  // ignored outside 0..15

    // Call alone for SSID 0, else "Call-n". A TarvoAssertion when i is out of range.
    std::string Rufzeichen(int i) const;
    std::string SSIDText() const { return devices::SSIDText(mask_); }

    bool operator==(const TMyCall&) const = default;

  private:
    std::string call_;
    std::uint16_t mask_ = 0;
};

// What the editor "Eigenes Rufzeichen" makes of its field and ticked boxes.
struct TMyCallEditState {
    bool ssidBoxesEnabled = true;  // false while the field contains "-"
    bool okEnabled = false;
    TMyCall result;  // meaningful only when okEnabled
};
// fieldText is the field as typed (UTF-8); ticked has bit n for box n.
TMyCallEditState EvaluateMyCallEdit(std::string_view fieldText, std::uint16_t ticked);

// The list. Entries never change once in it (edits work on copies), so a reader
// may keep one after Unlock. Readers take Lock/Unlock (or use Snapshot); writers
// BeginUpdate/EndUpdate, and subscribers hear of it only after the last level of
// the lock is released on that thread. Notify sends a TMyCall* or null.
class TMyCalls final : public core::IPublisher {
  public:
    using Entry = std::shared_ptr<const TMyCall>;

    // The registry must outlive the list.
    explicit TMyCalls(platform::IRegistry& registry);
    TMyCalls(const TMyCalls&) = delete;
    TMyCalls& operator=(const TMyCalls&) = delete;

    // Reads the stored list, replacing what is held, then tells the subscribers.
    // Names that are no callsign are skipped; a missing or unusable "SSIDs" gives
    // SSID 0 alone.
    void Create();
    // Writes the list: one subkey per callsign with "SSIDs" as a bit mask.
    bool Store();
    // At program end: stores the list and drops every subscriber.
    bool ReleaseList();

    // Replaces the list with the edited entries, tells the subscribers and stores
    // it. What the settings page calls when it is accepted.
    bool AcceptEdit(const std::vector<TMyCall>& entries);

    void Notify(const TMyCall* p);
    void NotifyAll();
    void Assign(const TMyCalls& other);
    void Clear();
    // Appends the entry, or unites its SSIDs with an entry of the same callsign.
    // False for an invalid callsign or when the list is full. An entry without
    // SSIDs gets SSID 0.
    bool Add(const TMyCall& call);

    void Subscribe(std::shared_ptr<core::ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) override;

    // Recursive on one thread.
    void Lock();
    void Unlock();
    void BeginUpdate();
    void EndUpdate();

    std::size_t Count() const;
    // Null when i is out of range.
    Entry Items(std::size_t i) const;
    std::vector<Entry> Snapshot() const;

  private:
    platform::IRegistry& registry_;
    mutable std::recursive_mutex sperre_;
    int depth_ = 0;               // levels of sperre_ held; guarded by it
    bool notifyPending_ = false;  // an update ended under an outer level
    std::vector<Entry> liste_;
    core::TPublisher publisher_;
    std::mutex storeMutex_;  // one Store at a time, so writes cannot interleave
};

// The printed callsigns a device hands out: the first SSID of every own
// callsign, then the second of every one, and so on.
std::vector<std::string> CallsignsBySsidPosition(const std::vector<TMyCalls::Entry>& calls);

}  // namespace tarvo::devices
