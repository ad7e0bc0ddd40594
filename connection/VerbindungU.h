// One link between an own callsign and a remote station: its queues, its worker
// thread running the protocol modules, its path, how a disconnect escalates, and
// what survives a restart. The device feeds it; the channel shows it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/InterfacesU.h"
#include "core/QueueU.h"
#include "platform/Dispatcher.h"
#include "platform/Event.h"

namespace tarvo::core {
class TConfig;
}
namespace tarvo::platform {
class IRegistry;
}
namespace tarvo::channels {
class TConnectionsList;
}

namespace tarvo::connection {

// Caret escapes of typed text: "^^" a caret, "^$41" the byte 0x41, "^M" a
// control code; anything else stays as it is.
std::string ExpandCarets(std::string_view text);
// The program's station ID: "{Tarvo-0.01.000-D}\r", "?" added to the features
// when the remote station is not in the database.
std::string StationIdText(std::string_view versionText, bool stationKnown);
// Upper case, trimmed, " VIA " and " V " dropped: the path as stored.
std::string NormalizePath(std::string_view path);

struct TVerbindungContext {
    platform::IDispatcher* dispatcher = nullptr;  // the main thread
    core::TConfig* config = nullptr;
    platform::IRegistry* registry = nullptr;  // links kept across restarts
    core::IKlaenge* klaenge = nullptr;
    core::ITexte* texte = nullptr;
    std::shared_ptr<core::IStationenDatenbank> stationen;
    channels::TConnectionsList* connections = nullptr;  // the live list, or none
    // The program version shown in the station ID.
    std::string versionText;
    // What runs on the worker thread for the whole link: the terminal text module.
    std::function<void(const std::shared_ptr<core::IVerbindungFuerModul>&)> runModules;
    // The remote command handler and the send queue of a new connection; without
    // them no remote commands and a send queue of its own.
    std::function<std::shared_ptr<core::IRemoteCommands>(
        const std::shared_ptr<core::IVerbindungFuerModul>&)>
        remoteCommands;
    std::function<std::shared_ptr<core::IDateiSendenQueue>()> sendQueue;
    // The channels a restored link may go back to.
    std::function<int()> channelCount;
    std::function<std::shared_ptr<core::IKanalFuerVerbindung>(int)> channel;
    // Who follows the connection for the automation clients; may be empty.
    std::weak_ptr<core::IVerbindungBeobachter> beobachter;
};

class TVerbindung final : public core::IVerbindungFuerModul,
                          public std::enable_shared_from_this<TVerbindung> {
  public:
    // Bounds of the waits a link end makes; a worker still running after them
    // is left to end on its own.
    static constexpr std::chrono::milliseconds kDrainTimeout{3000};
    static constexpr std::chrono::milliseconds kThreadEndTimeout{4000};
    static constexpr std::chrono::milliseconds kDiscTimerInterval{500};
    static constexpr int kMaxApplications = 16;
    // What an automation client's copy of the received text may hold.
    static constexpr std::size_t kMaxApplicationBytes = 1 << 20;
    static constexpr std::size_t kMaxHistory = 64;
    static constexpr std::size_t kPieceSize = 256;
    static constexpr int kWrapColumn = 78;
    // Received data the worker has not taken yet: at the soft bound a device
    // that can hold data back stops fetching it (ReceiveBlocked) until the
    // worker is below the resume mark; data past the hard bound ends the link.
    // A working worker keeps the queue near empty even at full speed.
    static constexpr std::size_t kReceiveSoftBound = 256 * 1024;
    static constexpr std::size_t kReceiveResumeBelow = 64 * 1024;
    static constexpr std::size_t kReceiveHardBound = 4 * 1024 * 1024;
    // How often the terminal text module starts again after it failed before
    // the link is ended.
    static constexpr int kMaxModuleRestarts = 3;

    static std::shared_ptr<TVerbindung> Create(std::weak_ptr<core::IGeraetFuerVerbindung> device,
                                               const TVerbindungContext& ctx);
    ~TVerbindung() override;
    TVerbindung(const TVerbindung&) = delete;
    TVerbindung& operator=(const TVerbindung&) = delete;

    // ---- IVerbindung ----------------------------------------------------------
    std::string Call() const override;
    void SetCall(std::string_view call) override;
    std::string MyCall() const override;
    void SetMyCall(std::string_view call) override;
    std::string Digis() const override;
    void SetDigis(std::string_view digis) override;
    std::string Path() const override;
    void SetPath(std::string_view path) override;
    std::string RealPath() const override;
    void SetRealPath(std::string_view path) override;
    std::int32_t Handle() const override { return handle_.load(); }
    void SetHandle(std::int32_t handle) override { handle_.store(handle); }

    void Disconnect() override;
    void SendText(std::string_view text) override;
    void SendTextLine(std::string_view text) override;
    void WaitForText(core::TApplicationKey client, std::string_view text) override;
    std::string ReceiveText(core::TApplicationKey client) override;
    bool AddApplication(core::TApplicationKey client) override;
    void RemoveApplication(core::TApplicationKey client) override;
    std::optional<std::string> TakeApplicationText(core::TApplicationKey client) override;
    void PutBackApplicationText(core::TApplicationKey client, std::string text) override;

    std::shared_ptr<core::IStatus> Status() const override { return status_; }
    std::shared_ptr<core::IKanalFuerVerbindung> Kanal() const override;
    void SetKanal(const std::shared_ptr<core::IKanalFuerVerbindung>& kanal) override;
    std::int32_t StationType() const override { return stationType_.load(); }
    void SetStationType(std::int32_t type) override;
    std::uint8_t State() const override { return state_.load(); }
    void SetState(std::uint8_t state) override;
    bool Outgoing() const override { return outgoing_.load(); }
    void SetOutgoing(bool outgoing) override;
    bool SendGreeting() const override { return sendGreeting_.load(); }
    void SetSendGreeting(bool send) override { sendGreeting_.store(send); }
    std::shared_ptr<core::IDateiSendenQueue> DateiSendenQueue() const override;
    void SetDateiSenden(const std::shared_ptr<core::IDateiSenden>& job) override;
    std::shared_ptr<core::IDateiSenden> DateiSenden() const override;
    void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                  bool userQueue) override;
    core::TStringQueue& LinkSendQueue() override { return linkSendQueue_; }
    bool RemoteCommandsEnabled() const override { return remoteCommandsEnabled_.load(); }
    void SetRemoteCommandsEnabled(bool enabled) override { remoteCommandsEnabled_.store(enabled); }
    bool TransferActive() const override { return transferActive_.load(); }
    void SetTransferActive(bool active) override;
    std::shared_ptr<core::IStationenDatenbankEintrag> StationEntry() const override;
    std::uint8_t BinMode() const override { return binMode_.load(); }
    void SetBinMode(std::uint8_t mode) override { binMode_.store(mode); }
    std::uint8_t IncomingConnectPolicy() const override;

    void LinkEstablished() override { LinkEstablished(false); }
    void Getrennt(std::uint8_t reason) override;
    void DataReceived(std::string_view data) override;
    bool ReceiveBlocked() const override;
    std::uint8_t DiscLevel() const override { return discLevel_.load(); }
    void DiscLevelDone() override;
    void Save(std::string_view registryPath) override;
    void Restore(std::string_view registryPath, std::int32_t handle) override;

    void KanalPrompt(std::string_view text, int kind) override;
    void Release() override;
    void CancelTransfer() override;
    void SendStationId() override;
    bool Pactor() const override { return pactor_.load(); }
    void SetPactor(bool pactor) override { pactor_.store(pactor); }
    void PactorChangeOver() override;
    void PactorBreakIn() override;
    bool LocalEcho() const override { return localEcho_.load(); }
    void SetLocalEcho(bool value) override { localEcho_.store(value); }

    // ---- IVerbindungFuerModul ---------------------------------------------------
    platform::Event* WaitHandle(int index) override;
    std::int64_t ShowReceived(std::string_view text) override;
    void Echo(std::string_view text) override;
    void ConsoleMessage(std::string_view text, int kind) override;
    bool InfoboxConnect(std::string_view call) override;
    bool InfoboxReconnect(std::string_view call) override;
    core::TStringQueue& ReceiveQueue() override { return receiveQueue_; }
    core::TStringQueue& UserSendQueue() override { return userSendQueue_; }
    std::shared_ptr<core::IRemoteCommands> RemoteCommands() const override;
    void SetModul(const std::shared_ptr<core::IVerbindungAbstract>& modul) override;
    std::shared_ptr<core::IVerbindungAbstract> Modul() const override;
    std::shared_ptr<core::IStationenDatenbank> StationenDatenbank() const override {
        return ctx_.stationen;
    }
    bool HideReceivedSid() const override;
    bool SendSidEnabled() const override;

    // ---- for the device and tests -------------------------------------------------
    bool Released() const { return released_.load(); }
    bool Restored() const { return restored_.load(); }
    bool WorkerRunning() const;
    bool OnWorkerThread() const;
    // Bytes waiting in a client's copy of the received text.
    std::size_t ApplicationBytes(core::TApplicationKey client) const;
    std::vector<std::string> InfoboxHistory() const;
    // Whether the graceful-end timer runs.
    bool DiscTimerRunning() const;
    // The device dropped its reference (emergency clean-up): disconnects go to Kill.
    void ForgetDevice();

  private:
    TVerbindung(std::weak_ptr<core::IGeraetFuerVerbindung> device, const TVerbindungContext& ctx);

    struct TApplicationRec {
        core::TApplicationKey key = 0;
        core::TStringQueue queue;
    };

    void LinkEstablished(bool restored);
    void StartWorker();
    void WorkerBody();
    // Sets the end event and waits (bounded) for the worker; detaches it when it
    // does not end in time.
    void EndThread();
    // Waits for one of the events, serving the main thread's calls when on it.
    bool WaitBounded(platform::Event& event, std::chrono::milliseconds timeout);
    void OnMain(const std::function<void()>& task);
    void StartDiscTimer();
    void StopDiscTimer();
    void DiscTimerTick();
    std::shared_ptr<core::IGeraetFuerVerbindung> Device() const;
    TApplicationRec* FindApplication(core::TApplicationKey client);
    void Play(int event);
    void PutCall(std::string call);
    // Ends the link at once (no graceful wait: the worker may not drain the
    // queues any more), with the reason in the channel. Once per link.
    void EndLinkOnFault(std::string_view message);
    // Runs the modules, again after a failure, until the link ends.
    void RunModulesGuarded();

    TVerbindungContext ctx_;

    std::atomic<bool> released_{false};
    std::atomic<bool> restored_{false};
    std::atomic<std::uint8_t> state_{core::kLinkConnecting};
    std::atomic<std::uint8_t> discLevel_{core::kDiscNone};
    std::atomic<std::int32_t> stationType_{core::kStationAutomatic};
    std::atomic<std::int32_t> handle_{0};
    std::atomic<bool> outgoing_{false};
    std::atomic<bool> sendGreeting_{false};
    std::atomic<bool> remoteCommandsEnabled_{false};
    std::atomic<bool> transferActive_{false};
    std::atomic<std::uint8_t> binMode_{0};
    std::atomic<bool> pactor_{false};
    std::atomic<bool> localEcho_{true};

    // Guards the strings, the references and the history below.
    mutable std::mutex mutex_;
    std::weak_ptr<core::IGeraetFuerVerbindung> device_;
    std::string call_, myCall_, digis_, realPath_;
    std::vector<std::string> history_;
    std::shared_ptr<core::IKanalFuerVerbindung> kanal_;
    std::shared_ptr<core::IStationenDatenbankEintrag> stationEntry_;
    std::shared_ptr<core::IVerbindungAbstract> modul_;
    std::shared_ptr<core::IRemoteCommands> remoteCommands_;
    std::shared_ptr<core::IDateiSendenQueue> sendQueue_;

    mutable std::mutex jobMutex_;
    std::shared_ptr<core::IDateiSenden> job_;

    // Guards creating and ending the worker; never held across a wait.
    mutable std::mutex threadMutex_;
    std::thread thread_;
    bool threadStarted_ = false;
    // An EndThread waits for the worker: no new worker until it is done.
    bool threadEnding_ = false;
    std::atomic<std::thread::id> workerId_{};
    platform::Event threadEnded_{platform::Event::Manual, true};
    platform::Event endEvent_{platform::Event::Manual};

    mutable std::mutex appMutex_;
    std::array<std::unique_ptr<TApplicationRec>, kMaxApplications> apps_;

    // Main thread only.
    std::optional<platform::IDispatcher::TimerId> discTimer_;
    std::atomic<bool> discTimerRunning_{false};

    core::TStringQueue receiveQueue_, userSendQueue_, linkSendQueue_;
    mutable std::atomic<bool> receiveBlocked_{false};
    std::atomic<bool> faultEnded_{false};
    std::shared_ptr<core::IStatus> status_;
};

}  // namespace tarvo::connection
