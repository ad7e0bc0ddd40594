// The interfaces through which channels, connections, devices, send jobs and the
// user interface reach each other. Objects that cross threads are held by
// std::shared_ptr to these; back references are weak or explicitly detached.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/PublisherU.h"
#include "core/QueueU.h"
#include "core/StreamU.h"

namespace tarvo::platform {
class Event;
}

namespace tarvo::core {

class IKanal;
class IKanalFuerVerbindung;
class IVerbindung;
class IDateiSenden;
class IStationenDatenbankEintrag;
class IStatus;

// Link states of a connection.
enum TLinkState : std::uint8_t {
    kLinkDisconnected = 0,
    kLinkDisconnecting = 1,
    kLinkConnecting = 2,
    kLinkConnected = 3,
};

// Reasons a link ended.
enum TDisconnectReason : std::uint8_t {
    kDisconnectNormal = 0,
    kDisconnectLinkFailure = 1,
    kDisconnectBusy = 2,
};

// What kind of station the remote is.
enum TStationType : std::int32_t {
    kStationAutomatic = 0,
    kStationDigi = 1,
    kStationMailbox = 2,
    kStationConvers = 3,
    kStationTerminal = 4,
    kStationCluster = 5,
};
// "Automatisch", "Digi", ...; anything outside 0..5 reads as "Automatisch".
std::string_view StationTypeName(std::int32_t type);
// The name in the operator's language (code page 1252).
std::string StationTypeCaption(std::int32_t type);

// The face of the console font all channels share: "Tarvo " + the size name.
struct TFontFace {
    std::string family;
    std::string sizeName;
    friend bool operator==(const TFontFace&, const TFontFace&) = default;
};

// Link values of one connection. Devices set them from their threads; the
// channel that shows the connection reads them on the main thread.
class IStatus {
  public:
    virtual ~IStatus() = default;
    virtual void Release() = 0;
    virtual std::shared_ptr<IKanal> GetDisplay() const = 0;
    virtual void SetDisplay(const std::shared_ptr<IKanal>& display) = 0;
    virtual std::int32_t GetUnacked() const = 0;
    virtual void SetUnacked(std::int32_t value) = 0;
    virtual bool UnackedChanged() const = 0;
    virtual std::int32_t GetTries() const = 0;
    virtual void SetTries(std::int32_t value) = 0;
    virtual bool TriesChanged() const = 0;
    virtual std::int32_t GetFrack() const = 0;
    virtual void SetFrack(std::int32_t value) = 0;
    virtual bool FrackChanged() const = 0;
    virtual std::int32_t GetMaxFrame() const = 0;
    virtual void SetMaxFrame(std::int32_t value) = 0;
    virtual bool MaxFrameChanged() const = 0;
    virtual std::int32_t GetLinkFlags() const = 0;
    virtual void SetLinkFlags(std::int32_t value) = 0;
    virtual bool LinkFlagsChanged() const = 0;
    virtual std::int32_t GetThroughput() const = 0;
    virtual void SetThroughput(std::int32_t value) = 0;
    virtual bool ThroughputChanged() const = 0;
};

// A file or text being sent on a connection, as the channel follows it and the
// protocol modules carry it out. Every member is safe from any thread.
class IDateiSenden : public IPublisher {
  public:
    // 1 text, 2 AutoBIN, 4 plain binary, 5 DIDADIT.
    virtual std::int32_t GetProtokoll() const = 0;
    // 0 idle or finished, 1 prepared, 2 running.
    virtual std::int32_t GetState() const = 0;
    virtual float GetPercent() const = 0;
    virtual std::string GetSendName() const = 0;
    virtual std::int64_t GetSize() const = 0;
    // Drops the job's connection and subscribers; the holder lets go of it after.
    // A second call does nothing.
    virtual void Release() = 0;

    // The data; the job owns it. A file stream is opened here on first use
    // (a queued job holds no open file); null without a stream.
    virtual void SetStream(std::unique_ptr<TStream> stream) = 0;
    virtual TStream* GetStream() = 0;
    // The file that supplies the data (UTF-8 path).
    virtual void SetFileName(std::string_view fileName) = 0;
    virtual std::string GetFileName() const = 0;
    // The name announced to the remote station (code page 1252): the last path
    // component, characters not allowed in file names replaced by '_'.
    virtual void SetSendName(std::string_view name) = 0;
    // Sent to a mailbox before and after the file; a CR is appended when the
    // text ends in a printable character.
    virtual std::string GetTextBefore() const = 0;
    virtual void SetTextBefore(std::string_view text) = 0;
    virtual std::string GetTextAfter() const = 0;
    virtual void SetTextAfter(std::string_view text) = 0;
    // Notifies, also when unchanged.
    virtual void SetState(std::int32_t state) = 0;
    // Meant to be set once; a second time is logged and takes the new value.
    virtual void SetProtokoll(std::int32_t protokoll) = 0;
    // Bytes transferred; notifies when the percent changes while running.
    virtual void SetPosition(std::int64_t position) = 0;
    virtual std::int64_t GetPosition() const = 0;
    virtual void SetSize(std::int64_t size) = 0;
    // The transitions the protocol modules make: prepared, running, finished.
    virtual void Prepare() = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // Bytes that went out or came in, for the throughput shown while running.
    virtual void AddBytes(std::int64_t count) = 0;
};

// A station's entry in the station database.
class IStationenDatenbankEintrag {
  public:
    virtual ~IStationenDatenbankEintrag() = default;
    virtual std::string GetCall() const = 0;
    virtual std::string GetName() const = 0;
    // The station type stored for the station (0 none).
    virtual std::uint8_t GetType() const = 0;
    // The stored answer to its incoming connects (0 none, 1 accept, 2 ignore, 3 reject).
    virtual std::uint8_t GetIncomingPolicy() const = 0;
    // The password for answering its prompts when connected as myCall (without
    // SSID); role 0 user, 1 sysop; method 0 number positions, 1 MD5, 2 date-based.
    // Empty when none is stored.
    virtual std::string GetPasswort(std::string_view myCall, int role, int method) const = 0;
    // The station's own text of that kind and whether the general text goes
    // first; without one, text stays empty and flag true.
    virtual void GetText(int /*kind*/, std::string& text, bool& flag) const {
        text.clear();
        flag = true;
    }
    // The station's own sound for the event: signal (0 not set, 1 none, 2
    // tones, 3 wave file), wave file and announcement; without one, 0, "" and 0.
    virtual void GetSound(int /*event*/, int& signal, std::string& waveFile,
                          int& announcement) const {
        signal = 0;
        waveFile.clear();
        announcement = 0;
    }
};

// Looking stations up.
class IStationenDatenbank {
  public:
    virtual ~IStationenDatenbank() = default;
    // The entry of the callsign ("-0" supplied when it has no SSID); with
    // fallback, or for a callsign without SSID, the callsign without SSID next.
    virtual std::shared_ptr<IStationenDatenbankEintrag> FindEntry(std::string_view call,
                                                                  bool fallback) = 0;
    // The entry stored under exactly this key (upper-cased); null when there is none.
    virtual std::shared_ptr<IStationenDatenbankEintrag> OpenEntry(std::string_view /*key*/) {
        return nullptr;
    }
    // The entry of the key, created when missing; an existing one is returned as
    // it is. Null when the key is no callsign.
    virtual std::shared_ptr<IStationenDatenbankEintrag> CreateEntry(std::string_view /*key*/) {
        return nullptr;
    }
};

// Where the database is found when it is opened after its users.
using TStationenQuelle = std::function<std::shared_ptr<IStationenDatenbank>()>;

// The connection's queue of send jobs; its event is set while a job waits.
class IDateiSendenQueue : public IPublisher {
  public:
    virtual void Release() = 0;
    virtual int GetCount() const = 0;
    virtual std::shared_ptr<IDateiSenden> GetItems(int index) const = 0;
    // A job refused (queue full, already queued, released queue) is released.
    virtual void EnQueue(const std::shared_ptr<IDateiSenden>& job) = 0;
    virtual std::shared_ptr<IDateiSenden> DeQueue() = 0;
    // The head job, left in the queue; null when it is empty.
    virtual std::shared_ptr<IDateiSenden> Current() const = 0;
    virtual platform::Event& GetEvent() = 0;
    // The former index of the job, or -1.
    virtual int Remove(const IDateiSenden* job) = 0;
    // Like EnQueue, but false (and the job left alone) when it is refused.
    virtual bool TryEnQueue(const std::shared_ptr<IDateiSenden>& job) = 0;
    // All jobs, head first, as one consistent picture.
    virtual std::vector<std::shared_ptr<IDateiSenden>> Items() const = 0;
};

// Remote commands ("//" lines) of one connection.
class IRemoteCommands {
  public:
    virtual ~IRemoteCommands() = default;
    virtual void Detach() = 0;
    // A complete received line, with its carriage return.
    virtual void HandleLine(std::string_view line) = 0;
};

class IVerbindungAbstract;

// Who a connection serves besides its channel: an automation client, known by
// an opaque key.
using TApplicationKey = std::uintptr_t;

// Follows connections for the automation clients: called on the thread where the
// change happens (a device's, the main thread), outside the connection's locks,
// so it must only note the change and return.
class IVerbindungBeobachter {
  public:
    virtual ~IVerbindungBeobachter() = default;
    // After the clients' copies got the data.
    virtual void Received(IVerbindung& verbindung, std::string_view data) = 0;
    virtual void StateChanged(IVerbindung& verbindung) = 0;
    virtual void Released(IVerbindung& verbindung) = 0;
};

// A connection as the channel, the devices and automation clients see it.
class IVerbindung {
  public:
    virtual ~IVerbindung() = default;

    // Remote callsign, own callsign, digipeaters and the path they make.
    virtual std::string Call() const = 0;
    virtual void SetCall(std::string_view call) = 0;
    virtual std::string MyCall() const = 0;
    virtual void SetMyCall(std::string_view call) = 0;
    virtual std::string Digis() const = 0;
    virtual void SetDigis(std::string_view digis) = 0;
    virtual std::string Path() const = 0;
    virtual void SetPath(std::string_view path) = 0;
    virtual std::string RealPath() const = 0;
    virtual void SetRealPath(std::string_view path) = 0;
    virtual std::int32_t Handle() const = 0;
    virtual void SetHandle(std::int32_t handle) = 0;

    virtual void Disconnect() = 0;
    virtual void SendText(std::string_view text) = 0;
    virtual void SendTextLine(std::string_view text) = 0;
    // Blocks the calling client until its copy of the received text holds text.
    virtual void WaitForText(TApplicationKey client, std::string_view text) = 0;
    // Blocks the calling client until its copy holds an item; returns it.
    virtual std::string ReceiveText(TApplicationKey client) = 0;
    virtual bool AddApplication(TApplicationKey client) = 0;
    virtual void RemoveApplication(TApplicationKey client) = 0;
    // Without waiting: the next item of the client's copy, none when it is empty;
    // "Application not found." when the client has no copy here.
    virtual std::optional<std::string> TakeApplicationText(TApplicationKey /*client*/) {
        throw std::runtime_error("Application not found.");
    }
    // Back at the head of the client's copy (also an empty text).
    virtual void PutBackApplicationText(TApplicationKey /*client*/, std::string /*text*/) {}

    virtual std::shared_ptr<IStatus> Status() const = 0;
    virtual std::shared_ptr<IKanalFuerVerbindung> Kanal() const = 0;
    virtual void SetKanal(const std::shared_ptr<IKanalFuerVerbindung>& kanal) = 0;
    virtual std::int32_t StationType() const = 0;
    virtual void SetStationType(std::int32_t type) = 0;
    virtual std::uint8_t State() const = 0;
    virtual void SetState(std::uint8_t state) = 0;
    virtual bool Outgoing() const = 0;
    virtual void SetOutgoing(bool outgoing) = 0;
    virtual bool SendGreeting() const = 0;
    virtual void SetSendGreeting(bool send) = 0;
    virtual std::shared_ptr<IDateiSendenQueue> DateiSendenQueue() const = 0;
    virtual void SetDateiSenden(const std::shared_ptr<IDateiSenden>& job) = 0;
    virtual std::shared_ptr<IDateiSenden> DateiSenden() const = 0;
    // Caret escapes expanded when expand; lines wrapped at 78 when wrap; pieces
    // of at most 256 bytes to the user send queue or straight to the link.
    virtual void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                          bool userQueue) = 0;
    virtual TStringQueue& LinkSendQueue() = 0;
    virtual bool RemoteCommandsEnabled() const = 0;
    virtual void SetRemoteCommandsEnabled(bool enabled) = 0;
    virtual bool TransferActive() const = 0;
    virtual void SetTransferActive(bool active) = 0;
    virtual std::shared_ptr<IStationenDatenbankEintrag> StationEntry() const = 0;
    virtual std::uint8_t BinMode() const = 0;
    virtual void SetBinMode(std::uint8_t mode) = 0;
    // 1 accept, 2 ignore, 3 reject.
    virtual std::uint8_t IncomingConnectPolicy() const = 0;

    // From the device.
    virtual void LinkEstablished() = 0;
    virtual void Getrennt(std::uint8_t reason) = 0;
    virtual void DataReceived(std::string_view data) = 0;
    // True while the received data the worker has not taken yet is at its bound:
    // a device that can hold data back (the TNC keeps it) stops fetching this
    // link's data until it turns false. Data that still arrives past a hard
    // bound ends the link.
    virtual bool ReceiveBlocked() const = 0;
    virtual std::uint8_t DiscLevel() const = 0;
    virtual void DiscLevelDone() = 0;
    // The link kept for the next run, below the device's key (machine settings).
    virtual void Save(std::string_view registryPath) = 0;
    virtual void Restore(std::string_view registryPath, std::int32_t handle) = 0;

    virtual void KanalPrompt(std::string_view text, int kind) = 0;
    virtual void Release() = 0;
    virtual void CancelTransfer() = 0;
    virtual void SendStationId() = 0;
    virtual bool Pactor() const = 0;
    virtual void SetPactor(bool pactor) = 0;
    virtual void PactorChangeOver() = 0;
    virtual void PactorBreakIn() = 0;
    virtual bool LocalEcho() const = 0;
    virtual void SetLocalEcho(bool value) = 0;
};

// Disconnect levels of a connection.
enum TDiscLevel : std::uint8_t {
    kDiscNone = 0,
    kDiscEnd = 1,
    kDiscEnded = 2,
    kDiscCancel = 3,
    kDiscCanceled = 4,
    kDiscKill = 5,
    kDiscKilled = 6,
};

// Wait handle indexes of a connection.
enum TWaitHandle : int {
    kWaitThread = 3,
    kWaitEnd = 4,
    kWaitReceive = 5,
    kWaitUserSend = 6,
    kWaitLinkSendEmpty = 7,
    kWaitSendJob = 8,
};

// A connection as its protocol modules see it.
class IVerbindungFuerModul : public IVerbindung {
  public:
    // The wait handle with that index (3..8), or null for any other.
    virtual platform::Event* WaitHandle(int index) = 0;
    // The channel's Received; the line serial it returns, or -1 without a channel.
    virtual std::int64_t ShowReceived(std::string_view text) = 0;
    virtual void Echo(std::string_view text) = 0;
    virtual void ConsoleMessage(std::string_view text, int kind) = 0;
    // A digipeater the remote used connected onward to call (or back to it).
    virtual bool InfoboxConnect(std::string_view call) = 0;
    virtual bool InfoboxReconnect(std::string_view call) = 0;
    virtual TStringQueue& ReceiveQueue() = 0;
    virtual TStringQueue& UserSendQueue() = 0;
    virtual std::shared_ptr<IRemoteCommands> RemoteCommands() const = 0;
    virtual void SetModul(const std::shared_ptr<IVerbindungAbstract>& modul) = 0;
    virtual std::shared_ptr<IVerbindungAbstract> Modul() const = 0;
    virtual std::shared_ptr<IStationenDatenbank> StationenDatenbank() const = 0;
    // The configuration value "HideReceivedSID" and "SendSID".
    virtual bool HideReceivedSid() const = 0;
    virtual bool SendSidEnabled() const = 0;
};

// A protocol module running on a connection's thread.
class IVerbindungAbstract {
  public:
    virtual ~IVerbindungAbstract() = default;
    virtual void Close() = 0;
    virtual void EventLoop() = 0;
    // Any thread: ends an active transfer with end code 1.
    virtual void Cancel() = 0;
    virtual std::string GetName() const = 0;
    virtual bool Active() const = 0;
};

// What a device does for its connections.
class IGeraetFuerVerbindung {
  public:
    virtual ~IGeraetFuerVerbindung() = default;
    // Disconnect the link as hard as its DiscLevel says.
    virtual void Trenne(const std::shared_ptr<IVerbindung>& verbindung) = 0;
    virtual void PactorBreakIn(const std::shared_ptr<IVerbindung>& verbindung) = 0;
    virtual void PactorChangeover(const std::shared_ptr<IVerbindung>& verbindung) = 0;
};

// The texts store: the texts a connection sends on its own (the greeting is
// kind 0) and the operator's text blocks (kinds 4 to 13).
class ITexte {
  public:
    virtual ~ITexte() = default;
    virtual void SendText(int kind, IVerbindung& verbindung) = 0;
    // The text of that kind for the connection (or the general one without); "" when none.
    virtual std::string GetText(int kind, IVerbindung* verbindung) = 0;
};

// One port of a device: connections and UI frames go through it.
class IFunkKanal {
  public:
    virtual ~IFunkKanal() = default;
    virtual std::string GetName() const = 0;
    virtual void SetName(std::string_view name) = 0;
    virtual void SetPort(std::int32_t port) = 0;
    virtual std::int32_t GetPort() const = 0;
    // Connects to ziel (a path) as mycall on kanal; a free channel is reserved
    // and put into kanal when it is null or cannot take a connection. ziel and
    // mycall come back as the device used them. The connect result (0 accepted).
    virtual std::uint8_t Verbinde(std::string& ziel, std::string& mycall,
                                  std::shared_ptr<IVerbindung>& verbindung,
                                  std::shared_ptr<IKanal>& kanal) = 0;
    virtual bool IsFlexnet() const = 0;
    // Identifies the port across program runs.
    virtual std::string GetKennung() const = 0;
    virtual void SetKennung(std::string_view kennung) = 0;
    // Unconnected frames of at most 256 bytes each; false without a device.
    virtual bool SendUI(std::string_view ziel, std::string_view mycall, std::string_view data) = 0;
};

// A channel as the channel set, the main window, devices and dialogs see it.
class IKanal {
  public:
    virtual ~IKanal() = default;
    // Not reserved, no connection, not the monitor.
    virtual bool IsFree() const = 0;
    // No connection and not the monitor.
    virtual bool IsIdle() const = 0;
    virtual bool HasConnection() const = 0;
    virtual void SetActive(bool active) = 0;
    virtual std::shared_ptr<IVerbindung> GetVerbindung() const = 0;
    virtual void SetFont(const TFontFace& font) = 0;
    // Writes a monitored frame's header and information as one unit.
    virtual void MonitorFrame(std::string_view header, std::string_view information,
                              bool highlight) = 0;
    // Records the text and writes it in the colour; the line serial of the row
    // written into, or -1 when nothing was written.
    virtual std::int64_t WriteColoured(std::uint8_t colour, std::string_view text) = 0;
    virtual bool GetReserved() const = 0;
    virtual void SetReserved(bool reserved) = 0;
    virtual void Release() = 0;
    virtual void SetShowDOS(bool on) = 0;
    virtual bool GetShowDOS() const = 0;
    virtual void SetSendDOS(bool on) = 0;
    virtual bool GetSendDOS() const = 0;
    virtual int GetNummer() const = 0;
    // Status bar panels whose link values changed.
    virtual void RefreshStatusBar() = 0;
    virtual void ApplyColours() = 0;
    virtual void ClearConsole() = 0;
    virtual std::string GetHint() const = 0;
    virtual void PactorChangeover() = 0;
    virtual void PactorBreakin() = 0;
    // Clears the console's content.
    virtual void SetConsoleRows(int rows) = 0;
};

// A channel as its connection sees it; Notify comes from the send job the
// channel follows.
class IKanalFuerVerbindung : public ISubscriber {
  public:
    virtual void Release() = 0;
    virtual std::uint8_t GetState() const = 0;
    virtual void StateChanged() = 0;
    // Types: 0 notice, 1 like received text, 2 like own text, 3 highlighted.
    virtual void Message(std::string_view text, int type) = 0;
    virtual void Prompt(std::string_view text, int type) = 0;
    // The line serial of the row the text began in, or -1 when nothing was written.
    virtual std::int64_t Received(std::string_view text) = 0;
    virtual std::int64_t Echo(std::string_view text) = 0;
    virtual void Verbunden() = 0;
    virtual void SetVerbindung(const std::shared_ptr<IVerbindung>& verbindung) = 0;
    virtual void Getrennt(std::uint8_t reason) = 0;
    virtual void Restored() = 0;
    virtual void CallChange() = 0;
    virtual void ModuleChanged() = 0;
    virtual int GetNummer() const = 0;
    // Marks the line with that serial as part of a mailbox message list.
    virtual void MarkBoxLine(std::int64_t serial) = 0;
};

// Sound events; Play only queues, it never waits for a sound.
class IKlaenge {
  public:
    virtual ~IKlaenge() = default;
    virtual bool Play(int event, const std::shared_ptr<IVerbindung>& verbindung) = 0;
};

// A private key as the operator picks it: the fingerprint is the handle.
struct TPGPKey {
    std::string fingerprint;
    // The primary user name and, in brackets, the algorithm.
    std::string caption;
};

// The OpenPGP engine: verifies and imports received blocks, lists the private
// keys and clear-signs text. Made, used and freed on one thread. Failures throw
// std::runtime_error with the reason.
class IPGP {
  public:
    virtual ~IPGP() = default;
    // The result text of a clear-signed message or a public key block (line ends
    // CR, LF or CR LF).
    virtual std::string Decode(std::string_view block) = 0;
    // Decode for a block that station sent: the keys it adds count against
    // that station's allowance.
    virtual std::string DecodeFrom(std::string_view /*station*/, std::string_view block) {
        return Decode(block);
    }
    virtual std::vector<TPGPKey> GetPrivateKeys() = 0;
    // Armoured clear-signed text with CR line ends.
    virtual std::string Sign(std::string_view fingerprint, std::string_view passphrase,
                             std::string_view comment, std::string_view text) = 0;
};

// Makes the PGP component for the calling thread; null when no engine is
// installed or none was set up.
std::unique_ptr<IPGP> CreatePGP();
void SetPGPFactory(std::function<std::unique_ptr<IPGP>()> factory);

}  // namespace tarvo::core
