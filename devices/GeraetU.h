// A device: one TNC, packet engine or packet driver, with the worker thread
// that runs its protocol loop, its status, its radio channels and the
// connections that run over it. The kinds derive from TGeraet.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "connection/VerbindungU.h"
#include "core/InterfacesU.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Event.h"
#include "platform/Registry.h"

namespace tarvo::core {
class TConfig;
}
namespace tarvo::channels {
class TKanaele;
class TConnectionsList;
}  // namespace tarvo::channels

namespace tarvo::devices {

class TMyCalls;
class TGeraet;
namespace detail {
struct TGeraetRun;
}

enum class TGeraetStatus : std::uint8_t { Bereit = 0, Init = 1, Fehler = 2, Inaktiv = 3 };
// "Bereit", "Init", "Fehler", "Inaktiv".
std::string_view StatusName(TGeraetStatus status);

// Connect results of Verbinde.
enum TConnectResult : std::uint8_t {
    kConnectOk = 0,
    kConnectUnknownError = 1,
    kConnectNoAnswer = 2,
    kConnectNoDevice = 3,
    kConnectChannelBusy = 4,
    kConnectNoFreeSsid = 5,
    kConnectDeviceError = 6,
    kConnectAllChannelsBusy = 7,
    kConnectModesConflict = 8,
};
// The message the connect dialog shows; "" for 0, "Unbehandelter Fehler." for
// a result it does not know.
std::string ConnectResultText(std::uint8_t result);

// What a device needs from the rest of the program.
struct TGeraetContext {
    platform::IDispatcher* dispatcher = nullptr;  // the main thread
    core::TConfig* config = nullptr;
    platform::IRegistry* registry = nullptr;
    const platform::IClock* clock = nullptr;
    channels::TKanaele* kanaele = nullptr;              // the monitor, free channels; may be null
    channels::TConnectionsList* connections = nullptr;  // may be null
    std::shared_ptr<TMyCalls> myCalls;                  // may be null
    // For the connections the device creates.
    connection::TVerbindungContext verbindung;
};

// The kinds of devices, registered once at start; the device set creates
// devices from their class names ("TGeraetHostmodeSerial", ...).
struct TGeraetKind {
    std::string className;
    std::string bezeichnung;  // "Hostmode", "AGWPE", "PC/FlexNet"
    std::function<std::shared_ptr<TGeraet>(const TGeraetContext&)> create;
};
// Appends the kind and logs "RegistriereGeraet: %d: %s".
void RegistriereGeraet(TGeraetKind kind);
// In registration order.
std::vector<TGeraetKind> RegisteredKinds();
// Tests start from an empty list.
void ClearRegisteredKinds();

// A registry key with everything below it, for keeping a kind's settings that
// the program does not understand and for moving the device set in one piece.
struct TRegistryTree {
    struct SubKey;
    std::vector<std::pair<std::string, platform::RegValue>> values;
    std::vector<SubKey> subKeys;  // a vector may hold a type still incomplete here
};
struct TRegistryTree::SubKey {
    std::string name;
    TRegistryTree tree;
};
// A hostile settings file cannot make the copy recurse without end.
inline constexpr int kMaxRegistryTreeDepth = 16;
TRegistryTree ReadRegistryTree(const platform::IRegistry& registry, platform::Hive hive,
                               std::string_view key);
// Creates the key and writes the tree below it; false when a write failed.
bool WriteRegistryTree(platform::IRegistry& registry, platform::Hive hive, std::string_view key,
                       const TRegistryTree& tree);

class TGeraet : public core::IGeraetFuerVerbindung, public std::enable_shared_from_this<TGeraet> {
  public:
    // The time DeInit waits for the worker before it leaves it behind.
    static constexpr std::chrono::milliseconds kDeInitTimeout{8000};
    static constexpr int kMaxFunkKanaele = 33;

    explicit TGeraet(const TGeraetContext& ctx);
    ~TGeraet() override;
    TGeraet(const TGeraet&) = delete;
    TGeraet& operator=(const TGeraet&) = delete;

    // ---- the kind ------------------------------------------------------------------
    virtual std::string ClassName() const = 0;
    virtual std::string GetBezeichnung() const = 0;
    // The protocol loop, on the worker thread; returns once IsTerminated().
    virtual void Run() = 0;
    // Reads the kind's settings from RegKey (when set) and starts the worker.
    virtual void Init();
    // Stops the worker: asks it to end and waits at most kDeInitTimeout, keeping
    // the main thread's calls served; a worker still running is detached.
    virtual void DeInit();
    // Writes the class name as RegKey's default value; the kind then writes its
    // settings under RegKey (which must be set).
    virtual void Save();
    virtual void Restore() = 0;
    // Settings dialogs edit a pending copy of the kind's settings.
    virtual void EinstellungenVerwerfen() = 0;
    // Makes the pending copy current; restarts the device where the change
    // needs it, and starts a device that was never started.
    virtual void EinstellungenUebernehmen() = 0;
    // At most max radio channels.
    virtual std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) = 0;
    virtual std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                                  std::shared_ptr<core::IVerbindung>& verbindung,
                                  const std::shared_ptr<core::IKanal>& kanal,
                                  std::string& mycall) = 0;
    std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                          const std::shared_ptr<core::IKanal>& kanal, std::string& mycall);
    // Sends (or queues) one UI frame; returns why it cannot, "" when it went.
    virtual std::string SendUI(core::IFunkKanal& funkkanal, std::string_view ziel,
                               std::string_view data, std::string_view mycall) = 0;
    // core::IGeraetFuerVerbindung: Trenne is the kind's; the PACTOR requests do
    // nothing unless the kind has them.
    void PactorBreakIn(const std::shared_ptr<core::IVerbindung>&) override {}
    void PactorChangeover(const std::shared_ptr<core::IVerbindung>&) override {}

    // ---- state -----------------------------------------------------------------------
    TGeraetStatus Status() const;
    std::string StatusText() const;
    std::string InfoText() const;
    // Any thread: stores, then has the set's handler run on the main thread and
    // waits for it.
    void SetStatus(TGeraetStatus status, std::string_view detail = {});
    void SetInfo(std::string_view text);
    int GetNummer() const { return nummer_.load(); }
    void SetNummer(int n) { nummer_.store(n); }
    std::string RegKey() const;
    void SetRegKey(std::string_view key);
    // Set by the device set: run on the main thread for every status change.
    void SetStatusHandler(std::function<void(TGeraet&)> handler);

    // True when no worker runs or it was asked to end (also at program end). On
    // a worker that DeInit left behind it stays true even after a new start.
    bool IsTerminated() const;
    bool ThreadRunning() const;
    // Set when the worker is asked to end; the kind's waits include it. On the
    // worker it is that worker's own; elsewhere the current start's.
    platform::Event& StopEvent();

  protected:
    const TGeraetContext& Context() const { return ctx_; }
    // A connection that runs over this device (a test may hand out its own).
    virtual std::shared_ptr<core::IVerbindung> NewVerbindung();
    // The links stored under RegKey at the end of the last run, each in a new
    // connection (its subkey is read and deleted); one that fails is released.
    std::vector<std::shared_ptr<core::IVerbindung>> RestoreVerbindungen();
    // Stops the worker (when `stop`) and starts it again after a settings
    // change. The links it stored under RegKey at its end go straight back to
    // the device (Restore), so they stay on their program channels instead of
    // coming back as new connects. RegKey is then cleared so that Init does not
    // read the old settings back; the device set writes it again.
    void Neustart(bool stop);
    // The first free program channel, reserved, for a link that came in; null
    // when there is none.
    std::shared_ptr<core::IKanalFuerVerbindung> ReserveFreeChannel();
    // The context's clock, or the system's.
    const platform::IClock& Clock() const;

  private:
    void ThreadBody(const std::shared_ptr<detail::TGeraetRun>& run);
    // The start the calling thread belongs to: its own on a worker, else the
    // current one. Starts live as long as the device (or their worker).
    detail::TGeraetRun& CurrentRun() const;
    // Runs the set's handler on the main thread.
    void NotifyStatus();

    TGeraetContext ctx_;
    std::atomic<int> nummer_{0};

    mutable std::mutex mutex_;
    TGeraetStatus status_ = TGeraetStatus::Inaktiv;
    std::string statusText_ = "Inaktiv";
    std::string infoText_;
    std::string regKey_;
    std::function<void(TGeraet&)> onStatus_;

    mutable std::mutex threadMutex_;
    std::thread thread_;
    // One per start; a worker keeps its own, so one that DeInit left behind
    // never mistakes a later start's flags for its own.
    std::shared_ptr<detail::TGeraetRun> run_;
    // Starts whose workers were left behind; their events stay valid.
    std::vector<std::shared_ptr<detail::TGeraetRun>> abandoned_;
};

}  // namespace tarvo::devices
