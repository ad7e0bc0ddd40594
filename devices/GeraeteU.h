// The one set of configured devices: read from the settings and started, kept
// in the operator's order, stored, and watched for status changes. Also the
// work of the device settings page on its copy of the order.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/PublisherU.h"
#include "core/TrU.h"
#include "devices/GeraetU.h"

namespace tarvo::devices {

inline constexpr int kMaxGeraete = 33;
inline constexpr const char* kGeraeteKey = "\\Software\\Morvane\\Tarvo\\Geraete";
// A save writes the new set here first and marks it complete; only then does it
// replace the old one, so a crash at any moment leaves one whole set.
inline constexpr const char* kGeraeteNewKey = "\\Software\\Morvane\\Tarvo\\Geraete.new";
inline constexpr const char* kGeraeteCompleteValue = "Vollstaendig";

// The main window's device indicator.
// Hint text ("|" ends the short part), in the operator's language.
std::string AllReadyText(bool allReady);

// What the add button answers at the limit.
// German source; shown through core::Tr("TGeraete", ...).
inline constexpr const char* kZuVieleGeraete =
    TARVO_TR_NOOP("TGeraete", "Es können höchstens 33 Geräte eingerichtet werden.");

// Registers the kinds once at start, in the order the add dialog lists them.
void RegisterDeviceKinds();

// The class name a stored default value means: "1" is "TGeraetFlexnet"; "2" and
// "TGeraetHostmode" are "TGeraetHostmodeSerial"; anything else as it is.
std::string StoredClassName(std::string_view stored);
// The registered kind of that class name, case ignored; the last registered wins.
std::optional<TGeraetKind> FindKind(std::string_view className);

class TGeraete final : public core::IPublisher {
  public:
    // Told on the main thread whether every device is "Bereit".
    using TAllReadyHandler = std::function<void(bool allReady)>;

    TGeraete(const TGeraetContext& ctx, TAllReadyHandler allReady);
    // Destroy, unless done.
    ~TGeraete() override;
    TGeraete(const TGeraete&) = delete;
    TGeraete& operator=(const TGeraete&) = delete;

    // Reads the configured devices (finishing or dropping a save that was cut
    // short) and starts them.
    void Create();
    // Stops every device in order; an exception is reported and the next goes on.
    void Destroy();
    // Writes the whole configuration; false when the old one was kept.
    bool Save();

    // A device of that kind, not started, that reports its status to this set.
    std::shared_ptr<TGeraet> CreateGeraet(const TGeraetKind& kind);

    // The status handler; main thread. Subscribers are told the device.
    void Statuswechsel(TGeraet* device);
    // After a change of the list: subscribers are told null, then every device
    // gets its index as Nummer and a Statuswechsel.
    void Neunummerierung();
    // The radio channels of all devices in order, never more than max.
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) const;

    int Count() const;
    std::shared_ptr<TGeraet> Item(int index) const;
    std::vector<std::shared_ptr<TGeraet>> Items() const;
    bool AllReady() const;

    // The settings page's accept step: removed devices are stopped, the others
    // take over their pending settings in the new order; renumbered and saved.
    void ApplyOrder(std::vector<std::shared_ptr<TGeraet>> order,
                    const std::vector<std::shared_ptr<TGeraet>>& removed);

    void Subscribe(std::shared_ptr<core::ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) override;

  private:
    // Ends a save that a crash interrupted: a complete new set replaces the
    // old one, an incomplete one is dropped (unless there is no old one).
    void RecoverSave();
    // Moves the new set into place; false when it could not be written.
    bool ReplaceWithNew();
    void Attach(TGeraet& device);

    TGeraetContext ctx_;
    TAllReadyHandler allReady_;
    core::TPublisher publisher_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<TGeraet>> items_;
    bool destroyed_ = false;
};

// Where a move by delta takes the item at index in a list of count; -1 when it
// cannot move.
int MoveTarget(int index, int delta, int count);
// The item to select after removing the one at index, count items being left:
// the one now at that index, else the one before; -1 when none is left.
int SelectionAfterRemove(int index, int count);
bool CanAddGeraet(int count);

// The device settings page's copy of the order. New devices are only created;
// existing ones that are removed are stopped when the page is accepted.
class TGeraeteEdit {
  public:
    explicit TGeraeteEdit(const TGeraete& set);

    const std::vector<std::shared_ptr<TGeraet>>& Order() const { return order_; }
    const std::vector<std::shared_ptr<TGeraet>>& Removed() const { return removed_; }
    int Count() const { return static_cast<int>(order_.size()); }
    bool IsNew(const TGeraet* device) const;

    bool CanAdd() const { return CanAddGeraet(Count()); }
    // Appends the device; its index, or -1 at the limit (nothing changes then).
    int Add(std::shared_ptr<TGeraet> device);
    // The index to select afterwards (-1: none); an index outside the list
    // changes nothing.
    int Remove(int index);
    // The device's index afterwards (unchanged when it cannot move).
    int Move(int index, int delta);

    // Accepted: hands the order to the set.
    void Apply(TGeraete& set);
    // Cancelled: every device drops its pending settings; the copy is emptied
    // and new devices are freed.
    void Discard();

  private:
    std::set<const TGeraet*> existing_;
    std::vector<std::shared_ptr<TGeraet>> order_;
    std::vector<std::shared_ptr<TGeraet>> removed_;
};

}  // namespace tarvo::devices
