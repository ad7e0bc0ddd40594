#include "devices/GeraetFlexnetU.h"

#include "core/DebOutU.h"

namespace tarvo::devices {

TGeraetFlexnet::TGeraetFlexnet(const TGeraetContext& ctx) : TGeraet(ctx) {}

TGeraetKind TGeraetFlexnet::Kind() {
    return TGeraetKind{kClassName, kBezeichnung, [](const TGeraetContext& ctx) {
                           return std::shared_ptr<TGeraet>(std::make_shared<TGeraetFlexnet>(ctx));
                       }};
}

void TGeraetFlexnet::Keep() {
    const std::string key = RegKey();
    std::lock_guard lock(mutex_);
    if (kept_ || key.empty() || !Context().registry) return;
    stored_ = ReadRegistryTree(*Context().registry, platform::Hive::LocalMachine, key);
    kept_ = true;
}

void TGeraetFlexnet::Restore() {
    Keep();
}

void TGeraetFlexnet::Init() {
    Keep();
    core::DebOutObj(kClassName, "Init", kFlexnetNichtVerfuegbar);
    SetStatus(TGeraetStatus::Fehler, kFlexnetNichtVerfuegbar);
}

void TGeraetFlexnet::EinstellungenUebernehmen() {
    if (Status() == TGeraetStatus::Inaktiv) Init();
}

void TGeraetFlexnet::Save() {
    TGeraet::Save();
    if (!Context().registry) return;
    TRegistryTree tree;
    {
        std::lock_guard lock(mutex_);
        tree = stored_;
    }
    // The class name is the base's to write.
    std::erase_if(tree.values, [](const auto& v) { return v.first.empty(); });
    WriteRegistryTree(*Context().registry, platform::Hive::LocalMachine, RegKey(), tree);
}

std::uint8_t TGeraetFlexnet::Verbinde(core::IFunkKanal&, std::string&,
                                      std::shared_ptr<core::IVerbindung>& verbindung,
                                      const std::shared_ptr<core::IKanal>&, std::string&) {
    verbindung.reset();
    return kConnectDeviceError;
}

}  // namespace tarvo::devices
