#include "devices/GeraetFlexnetU.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "channels/KanaeleU.h"
#include "connection/VerbindungU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/AgwpeU.h"
#include "devices/FlexnetApiU.h"
#include "devices/FunkKanalU.h"
#include "devices/MyCallsU.h"
#include "devices/SsidIteratorU.h"
#include "platform/SharedLibrary.h"
#include "platform/Thread.h"

namespace tarvo::devices {

using flexnet::TFlexnetApi;

namespace {

// l2_stat selectors and l2_bef commands.
enum : int { kStatState = 0, kStatUnacked = 1, kStatMaxFrame = 2, kStatTries = 3, kStatFrack = 4 };
enum : int {
    kBefAccept = 2,
    kBefRefuse = 3,
    kBefDisc = 4,
    kBefCancel = 5,
    kBefKill = 6,
    kBefAccepted = 7,
    kBefFrameRead = 15,
    kBefHandOver = 18,
};
constexpr int kStateMask = 0x0F;
constexpr int kLinkFlagsMask = 0x3F;
constexpr int kDataWaiting = 64;
constexpr int kStateGone = 0;
constexpr int kStateDisconnected = 1;
constexpr int kStateDisconnecting = 4;
constexpr int kStateConnected = 5;
constexpr std::uint8_t kPidText = 240;

std::string JoinPath(const std::string& call, const std::string& digis) {
    return digis.empty() ? call : call + " " + digis;
}

}  // namespace

TGeraetFlexnet::TGeraetFlexnet(const TGeraetContext& ctx) : TGeraet(ctx) {}

TGeraetFlexnet::~TGeraetFlexnet() {
    std::vector<std::shared_ptr<core::IVerbindung>> conns;
    {
        std::lock_guard lock(connsMutex_);
        conns.swap(verbindungen_);
    }
    for (auto& v : conns) v->Release();
    std::lock_guard lock(mutex_);
    for (auto& f : funkKanaele_)
        if (f) f->DetachGeraet();
}

TGeraetKind TGeraetFlexnet::Kind() {
    return TGeraetKind{kClassName, kBezeichnung, [](const TGeraetContext& ctx) {
                           return std::shared_ptr<TGeraet>(std::make_shared<TGeraetFlexnet>(ctx));
                       }};
}

void TGeraetFlexnet::Log(std::string_view method, std::string_view text) const {
    core::DebOutObj(kClassName, method, text);
}

std::shared_ptr<TFlexnetApi> TGeraetFlexnet::Api() const {
    std::lock_guard lock(mutex_);
    return aktiv_ ? api_ : nullptr;
}

std::vector<std::shared_ptr<core::IVerbindung>> TGeraetFlexnet::Verbindungen() const {
    std::lock_guard lock(connsMutex_);
    return verbindungen_;
}

void TGeraetFlexnet::Add(const std::shared_ptr<core::IVerbindung>& v) {
    std::lock_guard lock(connsMutex_);
    verbindungen_.push_back(v);
}

void TGeraetFlexnet::Remove(const core::IVerbindung* v) {
    std::lock_guard lock(connsMutex_);
    std::erase_if(verbindungen_, [v](const auto& e) { return e.get() == v; });
}

// ---- settings and radio channels ------------------------------------------------------------

void TGeraetFlexnet::Restore() {
    auto restored = RestoreVerbindungen();
    std::lock_guard lock(connsMutex_);
    for (auto& v : restored) verbindungen_.push_back(std::move(v));
}

void TGeraetFlexnet::EinstellungenUebernehmen() {
    if (Status() == TGeraetStatus::Bereit) return;
    if (ThreadRunning()) DeInit();
    SetRegKey("");
    Init();
}

void TGeraetFlexnet::BuildFunkKanaeleLocked(std::vector<std::shared_ptr<TFunkKanal>>& dropped) {
    const auto clear = [&dropped](std::shared_ptr<TFunkKanal>& slot) {
        if (slot) dropped.push_back(std::exchange(slot, nullptr));
    };
    const auto make = [this](const std::string& name, int port, const std::string& kennung) {
        auto f = TFunkKanal::Create(std::static_pointer_cast<TGeraet>(shared_from_this()),
                                    Context().kanaele);
        f->SetName(name);
        f->SetPort(port);
        f->SetKennung(kennung);
        return f;
    };
    if (!aktiv_ || !api_) {
        for (auto& slot : funkKanaele_) clear(slot);
        return;
    }
    if (digiModul_) {
        for (int i = 0; i < kPorts; ++i) clear(funkKanaele_[static_cast<std::size_t>(i)]);
        if (!funkKanaele_[kDigiSlot])
            funkKanaele_[kDigiSlot] = make("FlexNet Digi", kDigiSlot, "FLEXDIGI");
        return;
    }
    for (int i = 0; i < kPorts; ++i) {
        auto& slot = funkKanaele_[static_cast<std::size_t>(i)];
        if (!api_->ChActive(i)) {
            clear(slot);
            continue;
        }
        const std::optional<std::string> name = api_->Ident(i);
        if (!name) break;
        if (slot && slot->GetName() != *name) clear(slot);
        if (!slot) {
            char kennung[16];
            std::snprintf(kennung, sizeof kennung, "FLEX%2.2d", i);
            slot = make(*name, i, kennung);
        }
    }
    clear(funkKanaele_[kDigiSlot]);
}

std::vector<std::shared_ptr<core::IFunkKanal>> TGeraetFlexnet::GetFunkKanaele(int max) {
    std::vector<std::shared_ptr<core::IFunkKanal>> out;
    std::vector<std::shared_ptr<TFunkKanal>> dropped;
    {
        std::lock_guard lock(mutex_);
        if (!aktiv_) return out;
        BuildFunkKanaeleLocked(dropped);
        for (const auto& f : funkKanaele_) {
            if (static_cast<int>(out.size()) >= max) break;
            if (f) out.push_back(f);
        }
    }
    // Holders of a port that went away learn it outside the lock.
    for (auto& f : dropped) f->DetachGeraet();
    return out;
}

std::optional<TGeraetFlexnet::TTreiberInfo> TGeraetFlexnet::TreiberInfo() const {
    if (Status() != TGeraetStatus::Bereit) return std::nullopt;
    std::shared_ptr<TFlexnetApi> api;
    TTreiberInfo info;
    {
        std::lock_guard lock(mutex_);
        if (!aktiv_ || !api_) return std::nullopt;
        api = api_;
        info.digiModul = digiModul_;
    }
    info.version = api->Version().value_or("?");
    for (int i = 0; i < kPorts; ++i)
        if (api->ChActive(i)) info.ports.emplace_back(i, api->Ident(i).value_or("?"));
    return info;
}

std::string TGeraetFlexnet::EigenschaftenKopf() const {
    const TGeraetStatus status = Status();
    if (status == TGeraetStatus::Inaktiv)
        return core::Tr("TGeraetFlexnet",
                        "Inaktiv: Schließen Sie dieses Fenster mit OK und klicken Sie dann auf "
                        "'übernehmen', um FlexNet zu aktivieren.");
    const auto info = TreiberInfo();
    if (status != TGeraetStatus::Bereit || !info) return StatusText();
    return core::FillArgs(
        info->digiModul
            ? core::Tr("TGeraetFlexnet", "PC/FlexNet Kernel Version %1 mit Digipeater-Modul")
            : core::Tr("TGeraetFlexnet", "PC/FlexNet Kernel Version %1"),
        {info->version});
}

std::vector<std::string> TGeraetFlexnet::EigenschaftenKanaele() const {
    std::vector<std::string> lines;
    if (const auto info = TreiberInfo())
        for (const auto& [port, name] : info->ports)
            lines.push_back(std::to_string(port) + " " + name);
    return lines;
}

// ---- the worker ---------------------------------------------------------------------------

void TGeraetFlexnet::Run() {
    SetStatus(TGeraetStatus::Init, core::Tr("TGeraetFlexnet", "Lade DLL..."));
    std::string folder;
    if (Context().registry)
        folder = Context()
                     .registry->ReadText(platform::Hive::LocalMachine, flexnet::kHomeKey, "Home")
                     .value_or("");
    if (folder.empty()) folder = platform::EnvironmentValue(flexnet::kEnvironment).value_or("");
    std::string error;
    std::shared_ptr<TFlexnetApi> api = TFlexnetApi::Load(flexnet::Candidates(folder), error);
    if (!api) {
        Log("Run", error);
        SetStatus(TGeraetStatus::Fehler, error);
        return;
    }
    SetStatus(TGeraetStatus::Init, "ax_init...");
    const int init = api->AxInit();
    Log("Run", "ax_init: " + std::to_string(init));
    if (init == 0) {
        SetStatus(TGeraetStatus::Fehler, core::Tr("TGeraetFlexnet", "Kernel nicht geladen"));
        return;
    }
    {
        std::vector<std::shared_ptr<TFunkKanal>> dropped;
        std::lock_guard lock(mutex_);
        api_ = api;
        aktiv_ = true;
        digiModul_ = init == 2;
        BuildFunkKanaeleLocked(dropped);
    }
    auto events = api->OpenEvents({flexnet::kEventQsoData, flexnet::kEventQsoState,
                                   flexnet::kEventConnectRequest, flexnet::kEventUnproto});
    try {
        ignored_.clear();
        CheckRestored(*api);
        SetStatus(TGeraetStatus::Bereit);
        monitorStop_.store(false);
        monitorWake_.Reset();
        monitor_ = std::thread([this, api] { MonitorLoop(api); });
        for (std::uint32_t pass = 0; !IsTerminated(); ++pass) {
            try {
                Pass(*api);
                if (pass % 8 == 0) ConnectRequests(*api);
            } catch (...) {
                core::ShowUnhandledException(std::current_exception(), kClassName, "Run", "1");
                break;
            }
            if (events) {
                events->Wait(kPassWaitMs);
            } else {
                platform::Event* stop[] = {&StopEvent(), &core::QuitEvent()};
                platform::WaitAny(stop, std::chrono::milliseconds(kPassWaitMs));
            }
        }
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), kClassName, "Run", "2");
    }
    // The monitor thread calls the driver: it ends before the driver does.
    StopMonitor();
    try {
        VerbindungenSpeichern(*api);
    } catch (...) {
        Log("Run", core::ExceptionMessage(std::current_exception()));
    }
    events.reset();
    api->AxExit();
    std::vector<std::shared_ptr<TFunkKanal>> radios;
    {
        std::lock_guard lock(mutex_);
        aktiv_ = false;
        api_.reset();
        for (auto& f : funkKanaele_) radios.push_back(std::exchange(f, nullptr));
    }
    for (auto& f : radios)
        if (f) f->DetachGeraet();
    // A main-thread call still under way keeps the library until it returns.
}

void TGeraetFlexnet::StopMonitor() {
    monitorStop_.store(true);
    monitorWake_.Set();
    if (monitor_.joinable()) monitor_.join();
}

void TGeraetFlexnet::Pass(TFlexnetApi& api) {
    for (const auto& v : Verbindungen()) PollLink(api, v);
}

bool TGeraetFlexnet::PollLink(TFlexnetApi& api, const std::shared_ptr<core::IVerbindung>& v) {
    const int c = v->Handle();
    const int s = api.Stat(kStatState, c);
    const int state = s & kStateMask;
    if (v->State() == core::kLinkConnecting && state >= kStateConnected) {
        if (auto path = api.GetF(c)) {
            v->SetMyCall(path->own);
            v->SetCall(path->remote);
            v->SetDigis(path->digis);
            v->LinkEstablished();
        }
    }
    auto status = v->Status();
    if (status) status->SetLinkFlags(s & kLinkFlagsMask);
    if ((s & kDataWaiting) && !v->ReceiveBlocked()) {
        for (int i = 0; i < kMaxFramesPerPass; ++i) {
            std::optional<std::string> data = api.GetI(c);
            if (!data) break;
            v->DataReceived(*data);
            api.Bef(kBefFrameRead, c);
        }
    }
    if (state == kStateGone || state == kStateDisconnected) {
        const bool connecting = v->State() == core::kLinkConnecting;
        v->Getrennt(state == kStateGone ? core::kDisconnectLinkFailure
                    : connecting        ? core::kDisconnectBusy
                                        : core::kDisconnectNormal);
        Remove(v.get());
        v->Release();
        return false;
    }
    if (state == kStateDisconnecting && v->State() != core::kLinkDisconnecting)
        v->SetState(core::kLinkDisconnecting);

    core::TStringQueue& queue = v->LinkSendQueue();
    const int room = kMaxOutstanding - api.Stat(kStatUnacked, c);
    for (int sent = 0; sent < room && queue.Count() > 0; ++sent) {
        // Pieces are at most one frame long; a longer one goes in frames.
        const std::size_t length = std::min(queue.PeekString().size(), flexnet::kMaxInfo);
        if (!api.IAlloc(c, length)) break;
        const std::string piece = queue.PopPart(static_cast<long>(flexnet::kMaxInfo));
        api.SendFrame(c, kPidText, piece);
    }
    if (status) {
        status->SetUnacked(static_cast<std::int32_t>(queue.Count()) + api.Stat(kStatUnacked, c));
        status->SetTries(api.Stat(kStatTries, c));
        status->SetFrack(api.Stat(kStatFrack, c));
        status->SetMaxFrame(api.Stat(kStatMaxFrame, c));
    }
    return true;
}

void TGeraetFlexnet::ConnectRequests(TFlexnetApi& api) {
    if (!Context().myCalls) return;
    std::set<int> pending;
    for (const std::string& call : CallsignsBySsidPosition(Context().myCalls->Snapshot())) {
        const int c = api.GetSabm(call);
        if (c == 0) continue;
        pending.insert(c);
        // Asked once: the request stays with the driver until it ends.
        if (ignored_.contains(c)) continue;
        const std::optional<flexnet::TPath> path = api.GetF(c);
        if (!path) continue;
        auto v = NewVerbindung();
        v->SetMyCall(path->own);
        v->SetCall(path->remote);
        v->SetDigis(path->digis);
        v->SetRealPath(v->Path());
        v->SetHandle(c);
        v->SetOutgoing(false);
        bool kept = false;
        switch (v->IncomingConnectPolicy()) {
            case 1:
                if (auto frei = ReserveFreeChannel()) {
                    v->SetKanal(frei);
                    v->SetSendGreeting(true);
                    v->SetRemoteCommandsEnabled(true);
                    v->LinkEstablished();
                    Log("ConnectRequests", "Verbindungswunsch von " + v->Call() + " akzeptiert.");
                    api.Bef(kBefAccept, c);
                    api.Bef(kBefAccepted, c);
                    Add(v);
                    kept = true;
                } else {
                    Log("ConnectRequests",
                        "Verbindungswunsch von " + v->Call() + " abgelehnt (kein freier Kanal).");
                    api.Bef(kBefRefuse, c);
                }
                break;
            case 2:
                Log("ConnectRequests", "Verbindungswunsch von " + v->Call() + " ignoriert.");
                ignored_.insert(c);
                break;
            default:
                Log("ConnectRequests", "Verbindungswunsch von " + v->Call() + " abgelehnt.");
                api.Bef(kBefRefuse, c);
                break;
        }
        if (!kept) v->Release();
    }
    // A request the driver no longer offers is forgotten; its channel may
    // carry a new one later.
    std::erase_if(ignored_, [&](int c) { return !pending.contains(c); });
}

void TGeraetFlexnet::CheckRestored(TFlexnetApi& api) {
    const auto list = Verbindungen();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const auto& v = *it;
        bool keep = false;
        if ((api.Stat(kStatState, v->Handle()) & kStateMask) > kStateDisconnected) {
            if (auto path = api.GetF(v->Handle())) {
                keep = path->own == v->MyCall() &&
                       JoinPath(path->remote, path->digis) == v->RealPath();
                Log("CheckRestored", keep ? "FlexNet-QSO stimmt mit gespeicherten QSO-Daten "
                                            "\xFC"
                                            "berein."
                                          : "FlexNet-QSO stimmt NICHT mit gespeicherten "
                                            "QSO-Daten \xFC"
                                            "berein.");
            } else {
                Log("CheckRestored", "l2_get_f lieferte NIL.");
            }
        }
        if (keep) continue;
        Remove(v.get());
        v->Getrennt(core::kDisconnectLinkFailure);
        v->Release();
    }
}

void TGeraetFlexnet::VerbindungenSpeichern(TFlexnetApi& api) {
    std::vector<std::shared_ptr<core::IVerbindung>> list;
    {
        std::lock_guard lock(connsMutex_);
        list.swap(verbindungen_);
    }
    const std::string key = RegKey();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        api.Bef(kBefHandOver, (*it)->Handle());
        if (!key.empty()) (*it)->Save(key);
        (*it)->Release();
    }
}

// ---- the monitor --------------------------------------------------------------------------

void TGeraetFlexnet::MonitorLoop(const std::shared_ptr<TFlexnetApi>& api) {
    platform::SetCurrentThreadName("FlexNet monitor");
    try {
        auto trace = api->OpenEvents({flexnet::kEventTrace});
        const auto options = [this] { return Context().config ? Context().config->Monitor() : 0; };
        std::int32_t wanted = options();
        std::optional<std::int32_t> applied;
        for (std::uint32_t pass = 0; !monitorStop_.load(); ++pass) {
            if (trace)
                trace->Wait(kMonitorWaitMs);
            else
                monitorWake_.Wait(std::chrono::milliseconds(kMonitorWaitMs));
            if (monitorStop_.load()) break;
            const bool check = pass % 16 == 0;
            if (check) wanted = options();
            if (applied != wanted) {
                if (flexnet::MonitorWanted(wanted))
                    api->SetMonitor();
                else if (api->ChkMonitor())
                    api->ClrMonitor();
                applied = wanted;
            }
            if (!flexnet::MonitorWanted(wanted)) continue;
            if (check && !api->ChkMonitor()) {
                Log("Execute", "Monitor verloren");
                api->SetMonitor();
            }
            for (int n = 0; n < kMaxMonitorPerPass; ++n) {
                std::optional<flexnet::TMonitorRecord> r = api->GetMonitor();
                if (!r) break;
                api->AckMonitor();
                const flexnet::TMonitorShow show = flexnet::MonitorFilter(r->frame.Typ, wanted);
                if (!show.show) continue;
                r->frame.Geraet = GetNummer();
                if (show.data) r->frame.Daten = std::move(r->data);
                if (Context().kanaele) Context().kanaele->MonitorFrame(r->frame);
            }
        }
        api->ClrMonitor();
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), "TMonitorThread", "Execute");
    }
}

// ---- main-thread requests -------------------------------------------------------------------

std::uint8_t TGeraetFlexnet::Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                                      std::shared_ptr<core::IVerbindung>& verbindung,
                                      const std::shared_ptr<core::IKanal>& kanal,
                                      std::string& mycall) {
    verbindung.reset();
    const std::shared_ptr<TFlexnetApi> api = Api();
    if (!api) return kConnectDeviceError;
    auto v = NewVerbindung();
    v->SetPath(ziel);
    v->SetMyCall(mycall);
    const int port = funkkanal.GetPort();
    if (port >= 1 && port <= 15) {
        const std::string old = v->Digis();
        v->SetDigis(old.empty() ? std::to_string(port) : std::to_string(port) + " " + old);
    }
    v->SetRealPath(v->Path());
    v->SetOutgoing(true);
    v->SetSendGreeting(false);
    v->SetRemoteCommandsEnabled(true);

    std::uint8_t result = kConnectNoFreeSsid;
    bool found = false;
    TSsidIterator candidates(v->MyCall(), Context().myCalls.get());
    for (bool have = candidates.First(); have && !found; have = candidates.Next()) {
        const std::string& c = candidates.Current();
        v->SetMyCall(c);
        const std::optional<flexnet::TPath> path = api->BuildFrame(c, v->Path(), port);
        if (!path) {
            Log("Verbinde", "build_frame: " + v->Path());
            result = kConnectDeviceError;
            found = true;
            break;
        }
        if (path->remote != v->Call()) v->SetCall(path->remote);
        if (path->digis != v->Digis()) v->SetDigis(path->digis);
        v->SetRealPath(v->Path());
        Log("Verbinde", "MyCall: " + c + " " + v->Call());
        if (agwpe::SameCall(c, v->Call())) continue;
        const int q = api->GetQnum(*path);
        if (q == 0) {
            Log("Verbinde", "Kein QSO gefunden");
        } else if ((api->Stat(kStatState, q) & kStateMask) < 2) {
            Log("Verbinde", "Bestehendes QSO gefunden (disconnected)");
        } else {
            Log("Verbinde", "Bestehendes QSO gefunden (connected)");
            continue;
        }
        found = true;
        const int handle = api->FConnect(*path);
        if (handle == 0) {
            result = kConnectDeviceError;
            break;
        }
        v->SetHandle(handle);
        v->SetKanal(std::dynamic_pointer_cast<core::IKanalFuerVerbindung>(kanal));
        Add(v);
        ziel = v->Path();
        mycall = c;
        verbindung = v;
        return kConnectOk;
    }
    if (!found) Log("Verbinde", "Keine freie SSID gefunden.");
    v->Release();
    return result;
}

void TGeraetFlexnet::Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (!verbindung) return;
    const std::shared_ptr<TFlexnetApi> api = Api();
    int command = 0;
    switch (verbindung->DiscLevel()) {
        case core::kDiscEnd:
            command = kBefDisc;
            break;
        case core::kDiscCancel:
            command = kBefCancel;
            break;
        case core::kDiscKill:
            command = kBefKill;
            break;
        default:
            return;
    }
    if (api) api->Bef(command, verbindung->Handle());
    verbindung->DiscLevelDone();
}

std::string TGeraetFlexnet::SendUI(core::IFunkKanal& funkkanal, std::string_view ziel,
                                   std::string_view data, std::string_view mycall) {
    const std::shared_ptr<TFlexnetApi> api = Api();
    if (!api) return core::Tr("TGeraetFlexnet", "PC/FlexNet nicht bereit");
    if (data.size() > flexnet::kMaxInfo) data = data.substr(0, flexnet::kMaxInfo);
    const std::string destination =
        connection::NormalizePath(ziel) + " " + std::to_string(funkkanal.GetPort());
    if (!api->SendUI(core::AsciiUpper(mycall), destination, kPidText, data))
        return core::Tr("TGeraetFlexnet", "PC/FlexNet hat den UI-Frame nicht angenommen");
    return {};
}

}  // namespace tarvo::devices
