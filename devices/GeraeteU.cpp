#include "devices/GeraeteU.h"

#include <algorithm>
#include <exception>

#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/GeraetAgwpeU.h"
#include "devices/GeraetFlexnetU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "platform/CodePage.h"

namespace tarvo::devices {

namespace {

constexpr const char* kClass = "TGeraete";
constexpr platform::Hive kHive = platform::Hive::LocalMachine;

std::string SubKey(std::string_view key, std::string_view name) {
    std::string k(key);
    k += '\\';
    k += name;
    return k;
}

}  // namespace

std::string AllReadyText(bool allReady) {
    return allReady ? core::Tr("TGeraete", "Alle Geräte sind bereit|")
                    : core::Tr("TGeraete", "Ein Gerät ist nicht bereit|");
}

void RegisterDeviceKinds() {
    RegistriereGeraet(TGeraetHostmodeSerial::Kind());
    RegistriereGeraet(TGeraetAgwpe::Kind());
    RegistriereGeraet(TGeraetFlexnet::Kind());
}

std::string StoredClassName(std::string_view stored) {
    if (stored == "1") return TGeraetFlexnet::kClassName;
    if (stored == "2" || core::EqualNoCase(stored, "TGeraetHostmode"))
        return "TGeraetHostmodeSerial";
    return std::string(stored);
}

std::optional<TGeraetKind> FindKind(std::string_view className) {
    const std::vector<TGeraetKind> kinds = RegisteredKinds();
    for (auto it = kinds.rbegin(); it != kinds.rend(); ++it)
        if (core::EqualNoCase(it->className, className)) return *it;
    return std::nullopt;
}

// ---- the set ----------------------------------------------------------------------------

TGeraete::TGeraete(const TGeraetContext& ctx, TAllReadyHandler allReady)
    : ctx_(ctx), allReady_(std::move(allReady)) {}

TGeraete::~TGeraete() {
    Destroy();
}

void TGeraete::Subscribe(std::shared_ptr<core::ISubscriber> subscriber) {
    publisher_.Subscribe(std::move(subscriber));
}

void TGeraete::Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) {
    publisher_.Unsubscribe(subscriber);
}

int TGeraete::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(items_.size());
}

std::shared_ptr<TGeraet> TGeraete::Item(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    return items_[static_cast<std::size_t>(index)];
}

std::vector<std::shared_ptr<TGeraet>> TGeraete::Items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

void TGeraete::Attach(TGeraet& device) {
    device.SetStatusHandler([this](TGeraet& g) { Statuswechsel(&g); });
}

std::shared_ptr<TGeraet> TGeraete::CreateGeraet(const TGeraetKind& kind) {
    if (!kind.create) return nullptr;
    std::shared_ptr<TGeraet> device = kind.create(ctx_);
    if (device) Attach(*device);
    return device;
}

void TGeraete::RecoverSave() {
    platform::IRegistry& reg = *ctx_.registry;
    if (!reg.KeyExists(kHive, kGeraeteNewKey)) return;
    const bool complete = reg.ReadDWord(kHive, kGeraeteNewKey, kGeraeteCompleteValue) == 1u;
    if (complete || !reg.KeyExists(kHive, kGeraeteKey)) {
        core::DebOutObj(kClass, "Create", "Unterbrochenes Speichern wird abgeschlossen.");
        ReplaceWithNew();
    } else {
        core::DebOutObj(kClass, "Create", "Unvollst\xE4ndig gespeicherte Ger\xE4te verworfen.");
        reg.DeleteKey(kHive, kGeraeteNewKey);
    }
}

bool TGeraete::ReplaceWithNew() {
    platform::IRegistry& reg = *ctx_.registry;
    TRegistryTree tree = ReadRegistryTree(reg, kHive, kGeraeteNewKey);
    std::erase_if(tree.values,
                  [](const auto& v) { return core::EqualNoCase(v.first, kGeraeteCompleteValue); });
    reg.DeleteKey(kHive, kGeraeteKey);  // false when there was none
    if (!WriteRegistryTree(reg, kHive, kGeraeteKey, tree)) {
        // The marked new set stays; the next start finishes the move.
        core::DebOutObj(kClass, "Save", "Ger\xE4te konnten nicht geschrieben werden.");
        return false;
    }
    reg.DeleteKey(kHive, kGeraeteNewKey);
    return true;
}

void TGeraete::Create() {
    core::DebOutObj(kClass, "Create", "begin...");
    std::vector<std::pair<std::shared_ptr<TGeraet>, std::string>> created;
    if (ctx_.registry) {
        platform::IRegistry& reg = *ctx_.registry;
        RecoverSave();
        if (!reg.KeyExists(kHive, kGeraeteKey)) reg.CreateKey(kHive, kGeraeteKey);
        // Digit names come in numeric order, so "10" follows "9".
        for (const std::string& name : reg.SubKeyNames(kHive, kGeraeteKey)) {
            if (static_cast<int>(created.size()) >= kMaxGeraete) {
                core::DebOutObj(kClass, "Create", "Weitere Ger\xE4te ignoriert ab " + name);
                break;
            }
            const std::string key = SubKey(kGeraeteKey, name);
            const std::string className =
                StoredClassName(reg.ReadText(kHive, key, "").value_or(std::string()));
            const std::optional<TGeraetKind> kind = FindKind(className);
            if (!kind) {
                core::DebOutObj(kClass, "Create", "Unbekannte Ger\xE4teklasse: " + className);
                continue;
            }
            try {
                if (auto device = CreateGeraet(*kind)) created.emplace_back(device, name);
            } catch (...) {
                core::DebOutObj(kClass, "Create", "Ger\xE4t " + name + " nicht erzeugt.");
            }
        }
    }
    {
        std::lock_guard lock(mutex_);
        items_.clear();
        for (const auto& c : created) items_.push_back(c.first);
    }
    Neunummerierung();
    for (std::size_t i = 0; i < created.size(); ++i) {
        TGeraet& device = *created[i].first;
        device.SetRegKey(SubKey(kGeraeteKey, created[i].second));
        try {
            device.Restore();
            device.Init();
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "Create",
                                         device.ClassName());
        }
        device.SetNummer(static_cast<int>(i));
    }
    core::DebOutObj(kClass, "Create", "end.");
}

void TGeraete::Destroy() {
    std::vector<std::shared_ptr<TGeraet>> items;
    {
        std::lock_guard lock(mutex_);
        if (destroyed_) return;
        destroyed_ = true;
        items.swap(items_);
    }
    core::DebOutObj(kClass, "Destroy", "begin...");
    // The main window and the subscribers are going away with the set.
    for (const auto& device : items)
        if (device) device->SetStatusHandler(nullptr);
    for (const auto& device : items) {
        if (!device) continue;
        try {
            device->DeInit();
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "Destroy", "DeInit");
        }
    }
    items.clear();
    publisher_.UnsubscribeAll();
    core::DebOutObj(kClass, "Destroy", "end.");
}

bool TGeraete::Save() {
    if (!ctx_.registry) return false;
    platform::IRegistry& reg = *ctx_.registry;
    const std::vector<std::shared_ptr<TGeraet>> items = Items();
    // The old set stays whole until the new one is complete beside it.
    reg.DeleteKey(kHive, kGeraeteNewKey);
    if (!reg.CreateKey(kHive, kGeraeteNewKey)) {
        core::DebOutObj(kClass, "Save", "Schl\xFCssel nicht angelegt; nichts gespeichert.");
        return false;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i]) continue;
        items[i]->SetRegKey(SubKey(kGeraeteNewKey, std::to_string(i)));
        try {
            items[i]->Save();
        } catch (...) {
            core::DebOutObj(kClass, "Save",
                            "Ger\xE4t " + std::to_string(i) + ": " +
                                core::ExceptionMessage(std::current_exception()));
        }
    }
    reg.WriteDWord(kHive, kGeraeteNewKey, kGeraeteCompleteValue, 1);
    const bool ok = ReplaceWithNew();
    if (ok) {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i]) items[i]->SetRegKey(SubKey(kGeraeteKey, std::to_string(i)));
    }
    if (const std::error_code ec = reg.Flush())
        core::DebOutObj(kClass, "Save", "Flush: " + ec.message());
    return ok;
}

void TGeraete::Statuswechsel(TGeraet* device) {
    publisher_.NotifySubscribers(device);
    // A device that is no longer in the set (being removed) does not count.
    bool allReady = true;
    for (const auto& d : Items()) {
        if (!d) {
            core::DebOutObj(kClass, "Statuswechsel", "Ger\xE4t = nil");
            continue;
        }
        if (d->Status() != TGeraetStatus::Bereit) {
            allReady = false;
            break;
        }
    }
    if (allReady_) allReady_(allReady);
}

bool TGeraete::AllReady() const {
    for (const auto& d : Items())
        if (d && d->Status() != TGeraetStatus::Bereit) return false;
    return true;
}

void TGeraete::Neunummerierung() {
    publisher_.NotifySubscribers(nullptr);
    const std::vector<std::shared_ptr<TGeraet>> items = Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i]) continue;
        items[i]->SetNummer(static_cast<int>(i));
        Statuswechsel(items[i].get());
    }
    if (items.empty() && allReady_) allReady_(true);
}

std::vector<std::shared_ptr<core::IFunkKanal>> TGeraete::GetFunkKanaele(int max) const {
    std::vector<std::shared_ptr<core::IFunkKanal>> all;
    if (max <= 0) return all;
    const auto room = static_cast<std::size_t>(max);
    for (const auto& device : Items()) {
        if (!device) continue;
        if (all.size() >= room) break;
        const int ask =
            std::min<int>(TGeraet::kMaxFunkKanaele, static_cast<int>(room - all.size()));
        const std::vector<std::shared_ptr<core::IFunkKanal>> own = device->GetFunkKanaele(ask);
        // A kind that offers more than asked is cut off here.
        for (std::size_t i = 0; i < own.size() && i < static_cast<std::size_t>(ask); ++i)
            if (own[i]) all.push_back(own[i]);
    }
    return all;
}

void TGeraete::ApplyOrder(std::vector<std::shared_ptr<TGeraet>> order,
                          const std::vector<std::shared_ptr<TGeraet>>& removed) {
    if (static_cast<int>(order.size()) > kMaxGeraete) {
        core::DebOutObj(kClass, "ApplyOrder", platform::Utf8ToCp1252(kZuVieleGeraete));
        order.resize(static_cast<std::size_t>(kMaxGeraete));
    }
    std::erase(order, nullptr);
    core::DebOutObj(kClass, "ApplyOrder", "Gel\xF6schte Geraete deinitialisieren...");
    {
        std::lock_guard lock(mutex_);
        std::erase_if(items_, [&](const auto& d) {
            return std::find(removed.begin(), removed.end(), d) != removed.end();
        });
    }
    for (const auto& device : removed) {
        if (!device) continue;
        try {
            device->DeInit();
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "ApplyOrder", "DeInit");
        }
        device->SetStatusHandler(nullptr);
    }
    {
        std::lock_guard lock(mutex_);
        items_ = order;
    }
    for (const auto& device : order) {
        Attach(*device);
        try {
            device->EinstellungenUebernehmen();
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "ApplyOrder",
                                         "EinstellungenUebernehmen");
        }
    }
    Neunummerierung();
    core::DebOutObj(kClass, "ApplyOrder", "Einstellungen speichern...");
    Save();
}

// ---- the settings page's copy -----------------------------------------------------------

int MoveTarget(int index, int delta, int count) {
    if (index < 0 || index >= count) return -1;
    const long target = static_cast<long>(index) + delta;
    if (delta == 0 || target < 0 || target >= count) return -1;
    return static_cast<int>(target);
}

int SelectionAfterRemove(int index, int count) {
    if (count <= 0) return -1;
    if (index < 0) return 0;
    return index < count ? index : count - 1;
}

bool CanAddGeraet(int count) {
    return count < kMaxGeraete;
}

TGeraeteEdit::TGeraeteEdit(const TGeraete& set) : order_(set.Items()) {
    std::erase(order_, nullptr);
    for (const auto& d : order_) existing_.insert(d.get());
}

bool TGeraeteEdit::IsNew(const TGeraet* device) const {
    return device && !existing_.contains(device);
}

int TGeraeteEdit::Add(std::shared_ptr<TGeraet> device) {
    if (!device || !CanAdd()) return -1;
    order_.push_back(std::move(device));
    return Count() - 1;
}

int TGeraeteEdit::Remove(int index) {
    if (index < 0 || index >= Count()) return SelectionAfterRemove(index, Count());
    std::shared_ptr<TGeraet> device = order_[static_cast<std::size_t>(index)];
    order_.erase(order_.begin() + index);
    // A new device was never started and simply goes.
    if (!IsNew(device.get())) removed_.push_back(std::move(device));
    return SelectionAfterRemove(index, Count());
}

int TGeraeteEdit::Move(int index, int delta) {
    const int target = MoveTarget(index, delta, Count());
    if (target < 0) return index;
    const auto from = order_.begin() + index;
    const auto to = order_.begin() + target;
    if (target < index) {
        std::rotate(to, from, from + 1);
    } else {
        std::rotate(from, from + 1, to + 1);
    }
    return target;
}

void TGeraeteEdit::Apply(TGeraete& set) {
    set.ApplyOrder(order_, removed_);
    removed_.clear();
    existing_.clear();
    for (const auto& d : order_) existing_.insert(d.get());
}

void TGeraeteEdit::Discard() {
    for (const auto* list : {&order_, &removed_}) {
        for (const auto& device : *list) {
            try {
                device->EinstellungenVerwerfen();
            } catch (...) {
                core::ShowUnhandledException(std::current_exception(), "TGeraeteEdit", "Discard");
            }
        }
    }
    order_.clear();
    removed_.clear();
}

}  // namespace tarvo::devices
