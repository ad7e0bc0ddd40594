// The device kind "PC/FlexNet": a packet driver that runs the AX.25 links of
// up to 16 ports, reached through its library. The worker polls every link;
// a second thread reads the driver's monitor.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devices/GeraetU.h"
#include "platform/Event.h"

namespace tarvo::devices {

class TFunkKanal;
namespace flexnet {
class TFlexnetApi;
}

class TGeraetFlexnet final : public TGeraet {
  public:
    static constexpr const char* kClassName = "TGeraetFlexnet";
    static constexpr const char* kBezeichnung = "PC/FlexNet";
    static constexpr int kPorts = 16;
    static constexpr int kDigiSlot = 16;
    // Frames a link may have unacknowledged before the device stops sending.
    static constexpr int kMaxOutstanding = 14;
    // Received frames taken from one link in one pass.
    static constexpr int kMaxFramesPerPass = 28;
    static constexpr int kPassWaitMs = 20;
    static constexpr int kMonitorWaitMs = 200;
    // Monitored frames read in one pass, so the thread still sees its end.
    static constexpr int kMaxMonitorPerPass = 512;

    explicit TGeraetFlexnet(const TGeraetContext& ctx);
    ~TGeraetFlexnet() override;
    static TGeraetKind Kind();

    std::string ClassName() const override { return kClassName; }
    std::string GetBezeichnung() const override { return kBezeichnung; }

    void Run() override;
    void Restore() override;
    void EinstellungenVerwerfen() override {}
    void EinstellungenUebernehmen() override;
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) override;
    std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          const std::shared_ptr<core::IKanal>& kanal, std::string& mycall) override;
    using TGeraet::Verbinde;
    std::string SendUI(core::IFunkKanal& funkkanal, std::string_view ziel, std::string_view data,
                       std::string_view mycall) override;
    void Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) override;

    // The connections of this device, in the order they came.
    std::vector<std::shared_ptr<core::IVerbindung>> Verbindungen() const;

    // What the device dialog shows of a running driver.
    struct TTreiberInfo {
        std::string version;  // "?" when the driver gives none
        bool digiModul = false;
        std::vector<std::pair<int, std::string>> ports;  // number, name ("?" for none)
    };
    std::optional<TTreiberInfo> TreiberInfo() const;
    // The dialog's heading and its list of channels ("0 Port A").
    std::string EigenschaftenKopf() const;
    std::vector<std::string> EigenschaftenKanaele() const;

  private:
    std::shared_ptr<flexnet::TFlexnetApi> Api() const;
    // The radio channel slots from the driver's ports; under mutex_. The
    // radio channels of ports gone go to `dropped`, to be detached unlocked.
    void BuildFunkKanaeleLocked(std::vector<std::shared_ptr<TFunkKanal>>& dropped);
    void Pass(flexnet::TFlexnetApi& api);
    // False when the link ended and left the list.
    bool PollLink(flexnet::TFlexnetApi& api, const std::shared_ptr<core::IVerbindung>& v);
    void ConnectRequests(flexnet::TFlexnetApi& api);
    void CheckRestored(flexnet::TFlexnetApi& api);
    void VerbindungenSpeichern(flexnet::TFlexnetApi& api);
    void MonitorLoop(const std::shared_ptr<flexnet::TFlexnetApi>& api);
    void StopMonitor();
    void Add(const std::shared_ptr<core::IVerbindung>& v);
    void Remove(const core::IVerbindung* v);
    void Log(std::string_view method, std::string_view text) const;

    mutable std::mutex mutex_;  // api_, aktiv_, digiModul_, the slots
    std::shared_ptr<flexnet::TFlexnetApi> api_;
    bool aktiv_ = false;
    bool digiModul_ = false;
    std::array<std::shared_ptr<TFunkKanal>, kPorts + 1> funkKanaele_;

    mutable std::mutex connsMutex_;
    std::vector<std::shared_ptr<core::IVerbindung>> verbindungen_;

    // Worker only: connect requests left unanswered on purpose, by channel.
    std::set<int> ignored_;

    std::thread monitor_;  // started and joined by the worker
    std::atomic<bool> monitorStop_{false};
    platform::Event monitorWake_{platform::Event::Manual};
};

}  // namespace tarvo::devices
