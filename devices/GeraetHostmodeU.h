// A TNC in hostmode: the exchange, start-up, polling, links, link values and
// the monitor. The byte transport is the kind's (the serial port, or a test's).
#pragma once

#include <any>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanaeleU.h"
#include "channels/StatusU.h"
#include "core/GlobalU.h"
#include "core/PublisherU.h"
#include "devices/GeraetU.h"
#include "devices/HostmodeU.h"
#include "platform/Event.h"

namespace tarvo::devices {

class TFunkKanal;

// The settings of a hostmode device. The worker reads them as an immutable
// snapshot; the settings dialog edits a copy.
struct TGeraetHostmodeParameter {
    virtual ~TGeraetHostmodeParameter() = default;
    virtual std::shared_ptr<TGeraetHostmodeParameter> Clone() const {
        return std::make_shared<TGeraetHostmodeParameter>(*this);
    }
    std::int32_t Kennzahl = 0;
    std::vector<std::string> InitBefehle;
    std::vector<std::string> DeinitBefehle;
};

// Thread messages of the worker.
enum THostmodeMessage : std::uint32_t {
    kMsgVerbinden = 0x4441,
    kMsgTrennen = 0x4442,
    kMsgEigeneRufzeichen = 0x4443,
    kMsgInitBefehle = 0x4444,
    kMsgUIFrame = 0x4445,
    kMsgPactorBreakIn = 0x4446,
    kMsgPactorChangeover = 0x4447,
    kMsgBefehl = 0x4448,
};

// The TNC's answer to a command the operator typed on the command line.
struct TBefehlAntwort {
    bool answered = false;  // false: the exchange failed (the device resynchronised)
    int code = hostmode::kReplyFailed;
    std::string text;  // bytes as the TNC sent them, at most one frame
};

// Whether a command line went to the worker.
enum class TBefehlAnnahme {
    Gesendet,
    KeinBetrieb,  // the worker does not run, or too many are still waiting
    Ungueltig,    // empty, too long, or with control characters
    Vorbehalten,  // the device itself keeps that setting (links, callsigns, monitor, hostmode)
};

class TGeraetHostmode : public TGeraet, protected hostmode::ITransport {
  public:
    static constexpr std::chrono::milliseconds kConnectTimeout{8000};
    static constexpr std::chrono::milliseconds kPassWait{50};
    // After this long without traffic the loop pauses longer between passes.
    static constexpr std::chrono::milliseconds kQuietAfter{2000};
    static constexpr std::chrono::milliseconds kQuietPassWait{400};
    // The effective throughput is measured over this much of the recent past.
    static constexpr std::chrono::milliseconds kThroughputWindow{10000};
    static constexpr std::chrono::milliseconds kStatusInterval{334};
    // At most this much echo of the hostmode entry is read before probing.
    static constexpr int kMaxEcho = 4096;
    static constexpr int kFullCheckEvery = 50;
    static constexpr int kChannelSlots = 256;
    static constexpr int kRadioSlots = 8;
    // "<Tarvo>: " before the program's own words to a remote station.
    static constexpr std::string_view kReplyPrefix = core::kReplyPrefix;
    static constexpr std::string_view kAlleKanaeleBelegt = "Alle Kan\xE4le sind belegt.";

    TGeraetHostmode(const TGeraetContext& ctx,
                    std::shared_ptr<const TGeraetHostmodeParameter> parameter);
    ~TGeraetHostmode() override;

    // ---- settings ----------------------------------------------------------------------
    std::shared_ptr<const TGeraetHostmodeParameter> Parameter() const;
    void SetParameter(std::shared_ptr<const TGeraetHostmodeParameter> parameter);

    // ---- TGeraet -----------------------------------------------------------------------
    void Run() override;
    // Reads "Init" and "Deinit" from RegKey (when set), then starts the worker.
    void Init() override;
    void Save() override;
    // Takes back the links stored at the end of the last run (before Init).
    void Restore() override;
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) override;
    std::uint8_t Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          const std::shared_ptr<core::IKanal>& kanal, std::string& mycall) override;
    using TGeraet::Verbinde;
    std::string SendUI(core::IFunkKanal& funkkanal, std::string_view ziel, std::string_view data,
                       std::string_view mycall) override;
    void Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) override;
    void PactorBreakIn(const std::shared_ptr<core::IVerbindung>& verbindung) override;
    void PactorChangeover(const std::shared_ptr<core::IVerbindung>& verbindung) override;

    // ---- what the worker found ---------------------------------------------------------
    std::string Geraeteklasse() const;
    int KanalAnzahl() const { return kanalAnzahl_.load(); }
    bool Extended() const { return extended_.load(); }
    int PactorKanal() const { return pactorKanal_.load(); }
    int Fehlerzaehler() const;
    std::shared_ptr<core::IVerbindung> GetVerbindung(int kanal) const;
    // The callsigns the TNC channels get, in the order they are handed out.
    std::vector<std::string> EigeneRufzeichen() const;
    // Rebuilds that list from the own callsigns.
    void EigeneRufzeichenGeaendert();

    // Posts a message to the worker; false when there is none.
    bool PostMessage(std::uint32_t id, std::any payload = {});

    // The operator's command line: sends the command on TNC channel 0 and hands
    // the answer to done on the main thread (done is never called unless the
    // command was sent).
    static constexpr int kMaxBefehleOffen = 8;
    TBefehlAnnahme SendeBefehl(std::string_view befehl,
                               std::function<void(const TBefehlAntwort&)> done);
    // Commands that would change what the device keeps track of itself.
    static bool IstVorbehalten(std::string_view befehl);

  protected:
    // ---- the transport -----------------------------------------------------------------
    // Opens the interface; sets "Fehler" itself on failure.
    virtual bool CommOpen() = 0;
    virtual bool CommClose() = 0;
    virtual bool CommWrite(const std::uint8_t* buffer, std::size_t count, std::size_t& written) = 0;
    virtual bool CommRead(std::uint8_t* buffer, std::size_t count, std::size_t& read) = 0;
    virtual bool CommPurge() = 0;
    virtual bool CommIsOpen() const = 0;
    virtual bool SetTimeouts(bool fast) = 0;
    virtual void UpdateInfo() = 0;
    // The interface went away (an adapter unplugged): waits, watching the stop
    // request, until it can be opened again; false when terminated first.
    virtual bool CommReopen();

    // One exchange with the standard retry: repeated after a Resync until it
    // succeeds; false when terminated or when the request cannot be sent.
    bool BefehlRetry(int kanal, bool befehl, std::string_view text, hostmode::TReply& reply);
    // One exchange without retry.
    bool Befehl(int kanal, bool befehl, std::string_view text, hostmode::TReply& reply);
    void LogFailure(const hostmode::TExchangeFailure& failure) const;
    bool Resync();
    bool IstImHostmode();
    bool SchalteInHostmode();
    // Reads what the TNC echoes after the entry until it falls quiet; leaves
    // the normal time-outs set.
    void DrainEcho();
    void LeaveHostmode();

    // A wait that ends early when the worker is asked to stop.
    void Sleep(std::chrono::milliseconds ms);

  private:
    struct TRecVerbinden;
    struct TRecUIFrame;
    struct TRecBefehl;
    friend struct TRecVerbinden;

    // hostmode::ITransport over the kind's transport.
    bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written) override;
    bool Read(std::uint8_t* buffer, std::size_t count, std::size_t& read) override;

    // Start-up and the loop.
    void StartUp();
    void ErzeugeFunkkanaele();
    void MainLoop();
    // True when the TNC had something for the channel.
    bool PollChannel(int c, bool fullCheck);
    // True when it sent and more is waiting.
    bool LinkValuesAndSend(int c, bool statusPass, std::uint64_t now);
    // True when there was a message.
    bool HandleMessages();
    void Aktivitaet();
    // Channel 0, the packet channels and the PACTOR channel, in order.
    std::vector<int> LinkKanaele() const;
    // The pause between passes; a message for the worker ends it.
    void Pause(std::chrono::milliseconds ms);
    void HandleMessage(const platform::ThreadMessage& message);
    void SendInitBefehle();
    // "[TNC <info>: Bereit]" in the monitor, with the local messages on.
    void MeldeBereit();
    void SetMonitor();
    void Shutdown();

    // Links.
    int EigeneRufzeichenSetzen(bool pruefen);
    std::optional<std::string> Pfadabfrage(int kanal);
    void Verbunden(int kanal, const std::string& pfad, bool connecttext);
    void LinkStatus(int kanal, const std::string& text, bool& fullCheckOff, bool& stop);
    void DataReceived(int kanal, const std::string& data);
    void RemoveConnection(int kanal, std::uint8_t reason, const char* log);
    void ReleaseSlot(int kanal);
    void EndConnectionsAbove(int anzahl);
    void HandleVerbinden(const std::shared_ptr<TRecVerbinden>& rec, std::uint64_t deadline);
    void HandleUIFrame(const TRecUIFrame& rec);
    void HandleBefehl(TRecBefehl& rec);
    void StoreConnections();
    void Monitor(const hostmode::TReply& reply);

    // Slot access under its lock.
    void PutSlot(int kanal, std::shared_ptr<core::IVerbindung> v);
    std::shared_ptr<core::IVerbindung> TakeSlot(int kanal);

    std::string PortPrefix(std::int32_t port) const;
    void Log(std::string_view method, std::string_view text) const;

    mutable std::mutex parameterMutex_;
    std::shared_ptr<const TGeraetHostmodeParameter> parameter_;

    mutable std::mutex slotsMutex_;
    std::array<std::shared_ptr<core::IVerbindung>, kChannelSlots> verbindungen_;

    mutable std::mutex radioMutex_;
    std::array<std::shared_ptr<TFunkKanal>, kRadioSlots> funkKanaele_;

    mutable std::mutex callsMutex_;
    std::vector<std::string> eigeneRufzeichen_;
    std::shared_ptr<core::TSubscriberAdapter> callsSubscriber_;

    mutable std::mutex infoMutex_;
    std::string geraeteklasse_ = "Hostmode";
    int fehlerzaehler_ = 0;

    std::atomic<int> kanalAnzahl_{0};
    std::atomic<int> pactorKanal_{-1};
    std::atomic<bool> extended_{false};
    std::atomic<bool> frackScaled_{false};
    std::atomic<bool> isPtc_{false};

    // Worker-only state.
    std::int32_t monitorOptionen_ = 0;
    int pruefzaehler_ = 0;
    std::vector<int> fixedPollList_;
    // Per TNC channel: the last "L" reported link status messages waiting.
    std::array<bool, kChannelSlots> statusPending_{};
    std::uint64_t letzteAktivitaet_ = 0;
    bool imBetrieb_ = false;  // in the main loop
    int yKanaele_ = 0;        // the channels the TNC's "Y" last gave
    // The bytes a link moved (received and handed to the TNC), sampled at
    // each status pass, for its effective throughput.
    struct TDurchsatz {
        const core::IVerbindung* owner = nullptr;
        channels::TThroughputMeter meter{static_cast<std::uint64_t>(kThroughputWindow.count())};
        // The meter of link v; another link on the channel starts from nothing.
        channels::TThroughputMeter& Of(const core::IVerbindung* v);
    };
    std::array<TDurchsatz, kChannelSlots> durchsatz_;
    channels::TMonitorFrame frame_;
    bool framePending_ = false;

    std::shared_ptr<platform::ThreadMessageQueue> messages_;
    std::atomic<int> befehleOffen_{0};
};

}  // namespace tarvo::devices
