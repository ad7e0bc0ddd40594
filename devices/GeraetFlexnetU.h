// The FlexNet packet driver. Until a driver library can be loaded the device
// only reports that it is missing, and keeps its stored settings unchanged so
// that an installation brought along loses nothing.
#pragma once

#include <mutex>

#include "devices/GeraetU.h"

namespace tarvo::devices {

inline constexpr const char* kFlexnetNichtVerfuegbar = "FlexNet-Treiber nicht verf\xFCgbar.";

class TGeraetFlexnet final : public TGeraet {
  public:
    static constexpr const char* kClassName = "TGeraetFlexnet";
    static constexpr const char* kBezeichnung = "PC/FlexNet";

    explicit TGeraetFlexnet(const TGeraetContext& ctx);
    static TGeraetKind Kind();

    std::string ClassName() const override { return kClassName; }
    std::string GetBezeichnung() const override { return kBezeichnung; }
    // Never started: Init reports the missing driver instead.
    void Run() override {}
    void Init() override;
    // The stored values go back as they were read.
    void Save() override;
    void Restore() override;
    void EinstellungenVerwerfen() override {}
    void EinstellungenUebernehmen() override;
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int) override { return {}; }
    std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          const std::shared_ptr<core::IKanal>& kanal, std::string& mycall) override;
    using TGeraet::Verbinde;
    std::string SendUI(core::IFunkKanal&, std::string_view, std::string_view,
                       std::string_view) override {
        return "PC/FlexNet sendet keine UI-Frames";
    }
    void Trenne(const std::shared_ptr<core::IVerbindung>&) override {}

  private:
    // Reads what is stored under RegKey, once.
    void Keep();

    std::mutex mutex_;
    bool kept_ = false;
    TRegistryTree stored_;
};

}  // namespace tarvo::devices
