// The device kind "AGWPE": a packet engine reached over TCP that does the
// AX.25 work for all its radio ports.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "channels/StatusU.h"
#include "core/PublisherU.h"
#include "devices/AgwpeU.h"
#include "devices/Ax25FrameU.h"
#include "devices/GeraetU.h"
#include "platform/Event.h"

namespace tarvo::platform {
class TcpStream;
}

namespace tarvo::devices {

class TFunkKanal;

struct TGeraetAgwpeParameter {
    std::string Hostname;  // "" is this machine
    std::int32_t Port = agwpe::kDefaultPort;
    std::string Username;
    std::string Password;
    bool operator==(const TGeraetAgwpeParameter&) const = default;
};

class TGeraetAgwpe : public TGeraet {
  public:
    static constexpr const char* kClassName = "TGeraetAgwpe";
    static constexpr const char* kBezeichnung = "AGWPE";
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    static constexpr std::chrono::milliseconds kWriteTimeout{2000};
    // How often the outstanding frames of a link with data in flight are asked for.
    static constexpr std::chrono::milliseconds kPollWait{100};
    static constexpr std::chrono::milliseconds kRetryWait{2000};
    static constexpr int kMaxOutstanding = 14;
    // The effective throughput of a link is measured over at least this long.
    static constexpr std::chrono::milliseconds kThroughputWindow{2000};

    explicit TGeraetAgwpe(const TGeraetContext& ctx);
    ~TGeraetAgwpe() override;
    static TGeraetKind Kind();

    std::string ClassName() const override { return kClassName; }
    std::string GetBezeichnung() const override { return kBezeichnung; }

    TGeraetAgwpeParameter Parameter() const;
    // The dialog changes the settings at once; EinstellungenUebernehmen logs in
    // again with them.
    void SetParameter(const TGeraetAgwpeParameter& p);

    void Run() override;
    void Init() override;
    void Save() override;
    void Restore() override;
    void EinstellungenVerwerfen() override {}
    void EinstellungenUebernehmen() override;
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) override;
    std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          const std::shared_ptr<core::IKanal>& kanal, std::string& mycall) override;
    using TGeraet::Verbinde;
    // 'M', or 'V' when the destination names digipeaters; written at once.
    std::string SendUI(core::IFunkKanal& funkkanal, std::string_view ziel, std::string_view data,
                       std::string_view mycall) override;
    void Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) override;

    // The connections of this device, in the order they came.
    std::vector<std::shared_ptr<core::IVerbindung>> Verbindungen() const;
    // The callsigns registered with the engine.
    std::vector<std::string> Registered() const;

  private:
    // One login: false when the link to the engine failed.
    bool Session();
    void Failure(const std::string& why);
    void HandleFrame(const agwpe::TFrame& frame);
    void Connected(const agwpe::TFrame& frame);
    void Disconnected(const agwpe::TFrame& frame);
    void PortList(const agwpe::TFrame& frame);
    // 'g': the port's settings; MaxFrame goes to the status of its links.
    void PortCapabilities(const agwpe::TFrame& frame);
    // What the device knows of a link's state when it starts.
    void KnownStatus(core::IVerbindung& v);
    // A monitored frame of one of our links changes its state bits.
    void LinkFrameSeen(const channels::TMonitorFrame& m, int port);
    // Data a link carried, for its effective throughput.
    void Carried(const core::IVerbindung& v, std::size_t bytes);
    void EigeneRufzeichenSetzen();
    void SendQueued();
    // One frame, header and data in one locked write; false when it did not go.
    bool Send(const agwpe::TFrame& frame);
    std::shared_ptr<core::IVerbindung> Find(const std::string& call, const std::string& myCall,
                                            int handle) const;
    void Remove(const core::IVerbindung* v);
    void Refuse(const agwpe::TFrame& frame, bool withText);
    void Sleep(std::chrono::milliseconds ms);
    void Log(std::string_view method, std::string_view text) const;

    mutable std::mutex parameterMutex_;
    TGeraetAgwpeParameter parameter_;
    TGeraetAgwpeParameter sessionParameter_;  // those of the last login

    mutable std::mutex streamMutex_;
    std::shared_ptr<platform::TcpStream> stream_;
    std::mutex writeMutex_;  // one frame at a time on the wire

    mutable std::mutex radioMutex_;
    std::vector<std::shared_ptr<TFunkKanal>> funkKanaele_;

    mutable std::mutex connsMutex_;
    std::vector<std::shared_ptr<core::IVerbindung>> verbindungen_;

    mutable std::mutex callsMutex_;
    std::vector<std::string> registered_;
    std::shared_ptr<core::TSubscriberAdapter> callsSubscriber_;

    std::shared_ptr<platform::ThreadMessageQueue> messages_;
    agwpe::TReader reader_;   // worker only
    ax25::TDecoder decoder_;  // worker only
    bool rawSeen_ = false;    // worker only: the engine sends raw frames
    // Worker only: links whose frames the engine has not all sent yet. Only
    // compared, never followed: an entry may outlive its link.
    std::set<const core::IVerbindung*> pollLinks_;
    // Worker only, for the status bar: MaxFrame of each port as the engine
    // reports it (-1 unknown), the link state bits seen in the monitor, and
    // the bytes carried per link in the current measuring window.
    std::array<int, 256> maxFrame_{};
    std::map<const core::IVerbindung*, int> linkFlags_;
    struct TMeasure {
        channels::TThroughputMeter meter{static_cast<std::uint64_t>(kThroughputWindow.count())};
        std::uint64_t shown = 0;  // when the figure was last set
    };
    std::map<const core::IVerbindung*, TMeasure> carried_;
};

}  // namespace tarvo::devices
