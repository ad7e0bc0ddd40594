#include "devices/GeraetHostmodeU.h"

#include <algorithm>
#include <any>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <thread>

#include "channels/KanalU.h"
#include "connection/VerbindungU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/FunkKanalU.h"
#include "devices/MyCallsU.h"
#include "devices/SsidIteratorU.h"

namespace tarvo::devices {

using hostmode::TReply;

namespace {

constexpr const char* kClass = "TGeraetHostmode";
// "Resynchronisierung: %1", with the step.
std::string ResyncStep(const std::string& step) {
    return core::FillArgs(core::Tr("TGeraetHostmode", "Resynchronisierung: %1"), {step});
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string Fmt(const char* format, int value) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string ErrorDetail(int fehler) {
    return fehler == 0
               ? std::string()
               : core::FillArgs(core::Tr("TGeraetHostmode", "%1 Fehler"), {std::to_string(fehler)});
}

}  // namespace

// A connect request; shared by the caller and the worker, who claim it in turn.
struct TGeraetHostmode::TRecVerbinden {
    enum State : int { Pending, Claimed, Done, Abandoned };
    std::shared_ptr<core::IVerbindung> verbindung;
    // The program channel; set before the link is in its slot, so that the
    // channel sees the link confirmed even when the TNC reports it at once.
    std::shared_ptr<core::IKanalFuerVerbindung> kanal;
    std::int32_t port = TFunkKanal::kNoPort;
    platform::Event ereignis{platform::Event::Manual};
    std::atomic<int> state{Pending};
    std::atomic<int> ergebnis{kConnectUnknownError};

    bool Claim() {
        int expected = Pending;
        return state.compare_exchange_strong(expected, Claimed);
    }
    bool Unclaim() {
        int expected = Claimed;
        return state.compare_exchange_strong(expected, Pending);
    }
};

struct TGeraetHostmode::TRecUIFrame {
    std::string myCall;
    std::string ziel;
    std::string daten;
    std::int32_t port = TFunkKanal::kNoPort;
};

struct TGeraetHostmode::TRecBefehl {
    std::string befehl;
    std::function<void(const TBefehlAntwort&)> done;
};

namespace {

struct TMsgVerbinden {
    std::uint64_t deadline = 0;
    std::shared_ptr<void> record;  // TRecVerbinden, private to the device
};

}  // namespace

TGeraetHostmode::TGeraetHostmode(const TGeraetContext& ctx,
                                 std::shared_ptr<const TGeraetHostmodeParameter> parameter)
    : TGeraet(ctx),
      parameter_(parameter ? std::move(parameter)
                           : std::make_shared<const TGeraetHostmodeParameter>()),
      messages_(std::make_shared<platform::ThreadMessageQueue>()) {
    if (ctx.config) monitorOptionen_ = ctx.config->Monitor();
    if (ctx.myCalls) {
        callsSubscriber_ = std::make_shared<core::TSubscriberAdapter>([this](const void*) {
            EigeneRufzeichenGeaendert();
            PostMessage(kMsgEigeneRufzeichen);
        });
        ctx.myCalls->Subscribe(callsSubscriber_);
    }
}

TGeraetHostmode::~TGeraetHostmode() {
    if (callsSubscriber_) {
        if (Context().myCalls) Context().myCalls->Unsubscribe(callsSubscriber_);
        callsSubscriber_->Detach();
    }
    std::array<std::shared_ptr<core::IVerbindung>, kChannelSlots> slots;
    {
        std::lock_guard lock(slotsMutex_);
        slots.swap(verbindungen_);
    }
    for (auto& v : slots)
        if (v) v->Release();
    std::lock_guard lock(radioMutex_);
    for (auto& f : funkKanaele_)
        if (f) f->DetachGeraet();
}

// ---- small helpers --------------------------------------------------------------------------

void TGeraetHostmode::Log(std::string_view method, std::string_view text) const {
    core::DebOutObj(ClassName(), method, text);
}

std::shared_ptr<const TGeraetHostmodeParameter> TGeraetHostmode::Parameter() const {
    std::lock_guard lock(parameterMutex_);
    return parameter_;
}

void TGeraetHostmode::SetParameter(std::shared_ptr<const TGeraetHostmodeParameter> parameter) {
    if (!parameter) return;
    std::lock_guard lock(parameterMutex_);
    parameter_ = std::move(parameter);
}

std::string TGeraetHostmode::Geraeteklasse() const {
    std::lock_guard lock(infoMutex_);
    return geraeteklasse_;
}

int TGeraetHostmode::Fehlerzaehler() const {
    std::lock_guard lock(infoMutex_);
    return fehlerzaehler_;
}

std::shared_ptr<core::IVerbindung> TGeraetHostmode::GetVerbindung(int kanal) const {
    if (kanal < 0 || kanal >= kChannelSlots) return nullptr;
    std::lock_guard lock(slotsMutex_);
    return verbindungen_[static_cast<std::size_t>(kanal)];
}

void TGeraetHostmode::PutSlot(int kanal, std::shared_ptr<core::IVerbindung> v) {
    TARVO_ASSERT(kanal >= 0 && kanal < kChannelSlots, kClass);
    std::lock_guard lock(slotsMutex_);
    verbindungen_[static_cast<std::size_t>(kanal)] = std::move(v);
}

std::shared_ptr<core::IVerbindung> TGeraetHostmode::TakeSlot(int kanal) {
    if (kanal < 0 || kanal >= kChannelSlots) return nullptr;
    std::lock_guard lock(slotsMutex_);
    return std::exchange(verbindungen_[static_cast<std::size_t>(kanal)], nullptr);
}

std::vector<std::string> TGeraetHostmode::EigeneRufzeichen() const {
    std::lock_guard lock(callsMutex_);
    return eigeneRufzeichen_;
}

bool TGeraetHostmode::PostMessage(std::uint32_t id, std::any payload) {
    if (!ThreadRunning()) return false;
    return messages_->Post(id, std::move(payload));
}

std::string TGeraetHostmode::PortPrefix(std::int32_t port) const {
    return port >= 0 ? std::to_string(port) + ":" : std::string();
}

void TGeraetHostmode::Sleep(std::chrono::milliseconds ms) {
    platform::Event* events[] = {&StopEvent(), &core::QuitEvent()};
    platform::WaitAny(events, ms);
}

// ---- the exchange ---------------------------------------------------------------------------

bool TGeraetHostmode::Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written) {
    return CommWrite(buffer, count, written);
}

bool TGeraetHostmode::Read(std::uint8_t* buffer, std::size_t count, std::size_t& read) {
    return CommRead(buffer, count, read);
}

bool TGeraetHostmode::Befehl(int kanal, bool befehl, std::string_view text, TReply& reply) {
    hostmode::TExchangeFailure failure;
    errno = 0;
    if (hostmode::Exchange(*this, kanal, befehl, text, reply, failure)) return true;
    LogFailure(failure);
    return false;
}

void TGeraetHostmode::LogFailure(const hostmode::TExchangeFailure& failure) const {
    // A time-out leaves errno alone, so only a real system error is named.
    const int e = errno;
    core::DebOutObj(ClassName(), "Befehl",
                    "FEHLER: " + failure.step + ": " + failure.message + " [" +
                        (e ? core::SystemErrorText(e) : std::string()) + "]");
}

bool TGeraetHostmode::BefehlRetry(int kanal, bool befehl, std::string_view text, TReply& reply) {
    for (;;) {
        if (IsTerminated()) return false;
        hostmode::TExchangeFailure failure;
        errno = 0;
        if (hostmode::Exchange(*this, kanal, befehl, text, reply, failure)) return true;
        LogFailure(failure);
        if (failure.refused) return false;
        if (!Resync()) return false;
    }
}

bool TGeraetHostmode::IstImHostmode() {
    if (IsTerminated()) return false;
    static constexpr std::uint8_t kProbe[5] = {1, 1, 1, 1, 1};
    std::size_t written = 0;
    if (!CommWrite(kProbe, 5, written) || written != 5) return false;
    bool sawOne = false;
    for (;;) {
        if (IsTerminated()) return false;
        std::uint8_t b = 0;
        std::size_t got = 0;
        if (!CommRead(&b, 1, got) || got == 0) return false;
        if (b == 1) {
            sawOne = true;
        } else if (b == 2 && sawOne) {
            // The rest of the error text, up to its NUL.
            for (int i = 0; i < 4096 && !IsTerminated(); ++i) {
                if (!CommRead(&b, 1, got) || got == 0 || b == 0) break;
            }
            return true;
        }
    }
}

bool TGeraetHostmode::SchalteInHostmode() {
    if (IstImHostmode()) {
        pruefzaehler_ = -1;
        return true;
    }
    static constexpr std::uint8_t kEnter[] = {0x11, 0x18, 0x1B, 'J', 'H', 'O', 'S', 'T', '1', 0x0D};
    for (int attempt = 0; attempt < 3 && !IsTerminated(); ++attempt) {
        std::size_t written = 0;
        if (!CommWrite(kEnter, sizeof kEnter, written) || written == 0) return false;
        if (written == sizeof kEnter) DrainEcho();
        if (written == sizeof kEnter && IstImHostmode()) {
            pruefzaehler_ = -1;
            return true;
        }
        static constexpr std::uint8_t kCr = 0x0D;
        CommWrite(&kCr, 1, written);
        Sleep(std::chrono::milliseconds(100));
    }
    return false;
}

void TGeraetHostmode::DrainEcho() {
    // The firmware echoes the entry in terminal mode, about one character every
    // 100 ms, and speaks hostmode only after that; a probe read during the echo
    // would take it for no answer. With the normal time-outs a read that gets
    // nothing means the line was quiet for half a second.
    SetTimeouts(false);
    for (int n = 0; n < kMaxEcho && !IsTerminated(); ++n) {
        std::uint8_t b = 0;
        std::size_t got = 0;
        if (!CommRead(&b, 1, got) || got == 0) return;
    }
}

bool TGeraetHostmode::CommReopen() {
    while (!IsTerminated()) {
        if (CommOpen()) return true;
        Sleep(std::chrono::milliseconds(1000));
    }
    return false;
}

bool TGeraetHostmode::Resync() {
    Log("Resync", "Start...");
    {
        std::lock_guard lock(infoMutex_);
        ++fehlerzaehler_;
    }
    SetTimeouts(true);
    while (!IsTerminated()) {
        if (!CommIsOpen()) {
            // Gone with its adapter: wait for it instead of writing into nothing.
            SetStatus(TGeraetStatus::Fehler,
                      core::Tr("TGeraetHostmode", "Schnittstelle nicht verfügbar"));
            if (!CommReopen()) break;
            SetTimeouts(true);
        }
        SetStatus(TGeraetStatus::Init, ResyncStep(core::Tr("TGeraetHostmode", "Start")));
        Sleep(std::chrono::milliseconds(200));
        CommPurge();
        for (int n = 0; n <= 263 && !IsTerminated() && CommIsOpen(); ++n) {
            SetStatus(TGeraetStatus::Init, ResyncStep(std::to_string(n)));
            static constexpr std::uint8_t kOne = 1;
            std::size_t written = 0;
            if (!CommWrite(&kOne, 1, written) || written != 1) Log("Resync", "ERROR: CommWrite");
            std::uint8_t b = 0;
            std::size_t got = 0;
            if (CommRead(&b, 1, got) && got == 1) {
                SetStatus(TGeraetStatus::Init, ResyncStep(core::Tr("TGeraetHostmode", "Empfange")));
                Sleep(std::chrono::milliseconds(100));
                break;
            }
        }
        if (IsTerminated()) break;
        if (!CommIsOpen()) continue;
        SetStatus(TGeraetStatus::Init,
                  ResyncStep(core::Tr("TGeraetHostmode", "Schalte in Hostmode")));
        if (SchalteInHostmode()) break;
        SetTimeouts(true);
    }
    if (IsTerminated()) return false;
    SetTimeouts(false);
    SetStatus(TGeraetStatus::Bereit, ErrorDetail(Fehlerzaehler()));
    if (imBetrieb_) MeldeBereit();
    return true;
}

void TGeraetHostmode::LeaveHostmode() {
    static constexpr std::uint8_t kLeave[] = {0x00, 0x01, 0x05, 'J', 'H', 'O', 'S', 'T', '0'};
    std::size_t written = 0;
    if (!CommWrite(kLeave, sizeof kLeave, written) || written != sizeof kLeave)
        Log("Run", "FEHLER beim Schalten in den Terminalmodus.");
}

// ---- settings -------------------------------------------------------------------------------

void TGeraetHostmode::Init() {
    const std::string key = RegKey();
    if (!key.empty() && Context().registry) {
        auto p = Parameter()->Clone();
        const auto& reg = *Context().registry;
        const auto readLines = [&](const char* name, std::vector<std::string>& lines) {
            if (auto v = reg.GetValue(platform::Hive::LocalMachine, key, name)) {
                lines = hostmode::SplitCommandLines(std::string_view(
                    reinterpret_cast<const char*>(v->bytes.data()), v->bytes.size()));
            } else {
                lines.clear();
            }
        };
        readLines("Init", p->InitBefehle);
        readLines("Deinit", p->DeinitBefehle);
        SetParameter(std::move(p));
    }
    TGeraet::Init();
}

void TGeraetHostmode::Save() {
    TGeraet::Save();
    auto* reg = Context().registry;
    if (!reg) return;
    const std::string key = RegKey();
    const auto p = Parameter();
    const auto writeLines = [&](const char* name, const std::vector<std::string>& lines) {
        if (lines.empty()) {
            reg->DeleteValue(platform::Hive::LocalMachine, key, name);
            return;
        }
        const std::string joined = hostmode::JoinCommandLines(lines);
        reg->SetValue(
            platform::Hive::LocalMachine, key, name,
            platform::RegValue::Binary(std::vector<std::uint8_t>(joined.begin(), joined.end())));
    };
    writeLines("Init", p->InitBefehle);
    writeLines("Deinit", p->DeinitBefehle);
}

// ---- radio channels -------------------------------------------------------------------------

std::vector<std::shared_ptr<core::IFunkKanal>> TGeraetHostmode::GetFunkKanaele(int max) {
    std::vector<std::shared_ptr<core::IFunkKanal>> out;
    std::lock_guard lock(radioMutex_);
    for (const auto& f : funkKanaele_) {
        if (static_cast<int>(out.size()) >= max) break;
        if (f) out.push_back(f);
    }
    return out;
}

void TGeraetHostmode::ErzeugeFunkkanaele() {
    Log("Run", "Erzeuge Funkkan\xE4le...");
    const std::int32_t kennzahl = Parameter()->Kennzahl;
    const std::string klasse = Geraeteklasse();
    std::array<std::shared_ptr<TFunkKanal>, kRadioSlots> made;
    const auto self = std::static_pointer_cast<TGeraet>(shared_from_this());
    const auto make = [&](int slot, std::string name, std::int32_t port, int key) {
        auto f = TFunkKanal::Create(self, Context().kanaele);
        f->SetName(name);
        f->SetPort(port);
        char kennung[48];
        std::snprintf(kennung, sizeof kennung, "HM%d%d", kennzahl, key);
        f->SetKennung(kennung);
        made[static_cast<std::size_t>(slot)] = std::move(f);
    };
    const auto modemText = [this]() -> std::string {
        TReply r;
        if (!BefehlRetry(0, true, "%B", r)) return {};
        return hostmode::ModemText(r.text);
    };
    pactorKanal_.store(-1);

    TReply r;
    if (isPtc_.load()) {
        if (!BefehlRetry(0, true, "%P9", r)) return;
        if (r.code == hostmode::kReplyError && StartsWith(r.text, "INVALID")) {
            Log("Run", "Ger\xE4tetyp: PTC-II oder PTC-IIpro");
            for (int p = 1; p <= 5; ++p) {
                if (!BefehlRetry(0, true, "%P" + std::to_string(p), r)) return;
                if (r.code != hostmode::kReplyOk) break;
                const std::string modem = modemText();
                if (!modem.empty()) make(p - 1, klasse + " " + modem, p, p);
            }
        } else {
            Log("Run", "Ger\xE4tetyp: PTC-IIe");
            {
                std::lock_guard lock(infoMutex_);
                geraeteklasse_ = "PTC-IIe";
            }
            make(0, "PTC-IIe " + modemText(), -1, 0);
        }
        for (int c = 1; c <= 250; ++c) {
            if (!BefehlRetry(c, true, "%T", r)) return;
            if (r.code == hostmode::kReplyMessage) {
                pactorKanal_.store(c);
                break;
            }
            if (r.code != hostmode::kReplyOk) break;
        }
        if (pactorKanal_.load() >= 0) make(7, Geraeteklasse() + " PACTOR", 255, 255);
    } else {
        for (int p : {1, 2, 3, 4, 0}) {
            if (!BefehlRetry(0, true, "#PORT" + std::to_string(p), r)) return;
            if (r.code == hostmode::kReplyOk || r.code == hostmode::kReplyMessage)
                make(p, klasse + " Port " + (p == 0 ? std::string("intern") : std::to_string(p)), p,
                     p);
        }
    }
    if (std::none_of(made.begin(), made.end(), [](const auto& f) { return f != nullptr; })) {
        auto f = TFunkKanal::Create(self, Context().kanaele);
        f->SetName(Geraeteklasse());
        f->SetPort(TFunkKanal::kNoPort);
        f->SetKennung("HM" + std::to_string(kennzahl));
        made[0] = std::move(f);
    }
    std::array<std::shared_ptr<TFunkKanal>, kRadioSlots> old;
    {
        std::lock_guard lock(radioMutex_);
        old = std::exchange(funkKanaele_, made);
    }
    for (auto& f : old)
        if (f) f->DetachGeraet();
}

// ---- Run ------------------------------------------------------------------------------------

void TGeraetHostmode::Run() {
    // A message left from an earlier start belongs to nobody now.
    while (auto m = messages_->TryGet())
        if (m->id == kMsgBefehl) befehleOffen_.fetch_sub(1);
    SetStatus(TGeraetStatus::Init, core::Tr("TGeraetHostmode", "Öffnen der Schnittstelle"));
    UpdateInfo();
    if (!CommOpen()) return;
    bool started = false;
    imBetrieb_ = false;
    try {
        StartUp();
        started = !IsTerminated();
        if (started) MainLoop();
    } catch (...) {
        const std::exception_ptr e = std::current_exception();
        core::ShowUnhandledException(e, ClassName(), "Run", started ? "1" : "2");
        SetStatus(TGeraetStatus::Fehler, core::ExceptionMessage(e));
    }
    try {
        Shutdown();
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), ClassName(), "Run", "2");
    }
}

void TGeraetHostmode::StartUp() {
    {
        std::lock_guard lock(infoMutex_);
        fehlerzaehler_ = 0;
        geraeteklasse_ = "Hostmode";
    }
    if (IstImHostmode()) {
        Log("Run", "TNC war bereits im Hostmode.");
    } else {
        Log("Run", "TNC war im Terminalmode.");
        while (!SchalteInHostmode()) {
            if (IsTerminated() || Resync()) break;
        }
    }
    if (IsTerminated()) return;
    Log("Run", "TNC ist im Hostmode.");
    SetStatus(TGeraetStatus::Init, core::Tr("TGeraetHostmode", "Ist im Hostmode... Sende Init."));
    TReply r;
    if (!BefehlRetry(0, true, "V", r)) return;
    Log("Run", "Version: " + r.text);
    const std::string klasse = hostmode::ClassifyVersion(r.text);
    {
        std::lock_guard lock(infoMutex_);
        geraeteklasse_ = klasse;
    }
    frackScaled_.store(klasse == "TNC3" || klasse == "PTC-II");
    isPtc_.store(klasse == "PTC-II");
    Log("Run", "Ger\xE4teklasse: " + klasse);

    ErzeugeFunkkanaele();
    if (IsTerminated()) return;
    const int pactor = pactorKanal_.load();
    Log("Run", Fmt("Pactor-Channel: %d", pactor));
    if (pactor >= 0)
        if (auto v = GetVerbindung(pactor)) v->SetPactor(true);

    if (!BefehlRetry(255, true, "G", r)) return;
    extended_.store(r.code == hostmode::kReplyMessage);
    Log("Run", extended_.load() ? "Extended Hostmode." : "Standard Hostmode.");

    Log("Run", "Initialisiere TNC...");
    SetMonitor();
    SetStatus(TGeraetStatus::Bereit, ErrorDetail(Fehlerzaehler()));
    Log("Run", "Bereit.");

    Log("Run", "Frage Kan\xE4le ab und setze Rufzeichen...");
    EigeneRufzeichenGeaendert();
    kanalAnzahl_.store(EigeneRufzeichenSetzen(true));
    Log("Run", Fmt("TNC hat %d Kan\xE4le.", kanalAnzahl_.load()));
    EndConnectionsAbove(kanalAnzahl_.load());
    fixedPollList_ = LinkKanaele();
    pruefzaehler_ = 0;
    SendInitBefehle();
    if (!IsTerminated()) MeldeBereit();
}

void TGeraetHostmode::MeldeBereit() {
    if (!(monitorOptionen_ & hostmode::kMonLocal) || !Context().kanaele) return;
    // The init report's title names "Init"; this line tells that the TNC is
    // ready, with what the device found.
    std::string text = Geraeteklasse() + ", " +
                       core::FillArgs(core::Tr("TGeraetHostmode", "%1 Kanäle"),
                                      {std::to_string(kanalAnzahl_.load())});
    if (const int fehler = Fehlerzaehler(); fehler > 0) text += ", " + ErrorDetail(fehler);
    Context().kanaele->MonitorText(
        core::FillArgs(core::Tr("TGeraetHostmode", "[TNC %1: Bereit]"), {InfoText()}), text);
}

void TGeraetHostmode::MainLoop() {
    Log("Run", "Start der Hostmode-Hauptschleife...");
    imBetrieb_ = true;
    std::uint64_t clockStart = Clock().SteadyMs();
    Aktivitaet();
    for (;;) {
        if (IsTerminated()) return;
        const bool fullCheck = pruefzaehler_ < 1 || pruefzaehler_ > kFullCheckEvery;
        pruefzaehler_ = fullCheck ? 1 : pruefzaehler_ + 1;
        if (fullCheck && Context().config) {
            const std::int32_t options = Context().config->Monitor();
            if (options != monitorOptionen_) {
                monitorOptionen_ = options;
                SetMonitor();
            }
        }

        std::vector<int> poll;
        const int anzahl = kanalAnzahl_.load();
        const std::vector<int> kanaele = LinkKanaele();
        if (extended_.load()) {
            if (fullCheck) {
                // Every channel, the last one too, so a full check sees every link.
                poll = kanaele;
            } else {
                TReply r;
                if (!BefehlRetry(255, true, "G", r)) {
                    Log("Run", "Terminated, break. (1)");
                    return;
                }
                if (r.code != hostmode::kReplyOk)
                    for (char ch : r.text)
                        poll.push_back(static_cast<int>(static_cast<std::uint8_t>(ch)) - 1);
            }
        } else {
            poll = fixedPollList_;
        }

        for (int c : poll) {
            if (c < 0) continue;
            if (c > anzahl && c != pactorKanal_.load()) {
                TReply r;
                for (int i = 0; i < 7; ++i) Befehl(c, true, "G", r);
                continue;
            }
            if (PollChannel(c, fullCheck && c != 0)) Aktivitaet();
            if (IsTerminated()) return;
            std::this_thread::yield();
        }

        const std::uint64_t now = Clock().SteadyMs();
        const bool statusPass =
            now < clockStart ||
            now - clockStart >= static_cast<std::uint64_t>(kStatusInterval.count());
        if (statusPass) clockStart = now;

        bool busy = false;
        for (int c : kanaele) {
            if (!GetVerbindung(c)) continue;
            busy = LinkValuesAndSend(c, statusPass, now) || busy;
            if (IsTerminated()) return;
            std::this_thread::yield();
        }
        if (HandleMessages()) Aktivitaet();
        // A link with more to send than one pass may give goes on at once;
        // only an idle TNC is left alone for the pause, and a TNC that has been
        // quiet for a while for a longer one. A request from the program ends
        // either pause at once.
        if (!busy) {
            const std::uint64_t t = Clock().SteadyMs();
            const bool quiet =
                t >= letzteAktivitaet_ &&
                t - letzteAktivitaet_ >= static_cast<std::uint64_t>(kQuietAfter.count());
            Pause(quiet ? kQuietPassWait : kPassWait);
        }
    }
}

std::vector<int> TGeraetHostmode::LinkKanaele() const {
    std::vector<int> out;
    const int anzahl = std::min(kanalAnzahl_.load(), kChannelSlots - 1);
    for (int c = 0; c <= anzahl; ++c) out.push_back(c);
    // A PTC's PACTOR channel may lie above the packet channels.
    if (const int p = pactorKanal_.load(); p > anzahl && p < kChannelSlots) out.push_back(p);
    return out;
}

void TGeraetHostmode::Aktivitaet() {
    letzteAktivitaet_ = Clock().SteadyMs();
}

void TGeraetHostmode::Pause(std::chrono::milliseconds ms) {
    platform::Event* events[] = {&StopEvent(), &core::QuitEvent(), &messages_->NotEmpty()};
    platform::WaitAny(events, ms);
}

bool TGeraetHostmode::PollChannel(int c, bool fullCheck) {
    if (auto v = GetVerbindung(c); v && v->ReceiveBlocked() && !statusPending_[c]) {
        // The link's receive queue is full: its data stays in the TNC until the
        // connection takes it. A pending link status still gets fetched.
        return false;
    }
    std::string path;
    if (fullCheck) path = Pfadabfrage(c).value_or(std::string());
    bool compare = fullCheck;
    const int limit = c == 0 ? 20 : 7;
    for (int i = 0; i < limit; ++i) {
        TReply r;
        if (!Befehl(c, true, "G", r)) {
            core::DebOutObj(ClassName(), "Run", Fmt("Fehler beim Abfragen von Kanal %d (1)", c));
            // Data read before the failure is the link's.
            const bool partialData = r.code == hostmode::kReplyData && !r.text.empty();
            if (!Resync()) return true;
            if (partialData) {
                compare = false;
                DataReceived(c, r.text);
            }
            continue;
        }
        switch (r.code) {
            case hostmode::kReplyOk: {
                if (compare) {
                    auto v = GetVerbindung(c);
                    if (v && !hostmode::SameLink(v->State(), v->RealPath(), path)) {
                        Log("Run", "FULLCHECK: TNCKanalConnectedTo = " + path);
                        Log("Run", "FULLCHECK: RealPath = " + v->RealPath());
                        Log("Run", "Verbindung.Getrennt... (1)");
                        RemoveConnection(c, core::kDisconnectLinkFailure, nullptr);
                    } else if (!v && !path.empty()) {
                        Log("Run", "FULLCHECK: Verbindung aufgetaucht.");
                        Verbunden(c, path, false);
                    }
                }
                if (auto v = GetVerbindung(c)) v->SetRemoteCommandsEnabled(true);
                return i > 0;
            }
            case hostmode::kReplyMessage:
            case hostmode::kReplyError:
                core::DebOutObj(ClassName(), "Run",
                                Fmt("Fehler beim Abfragen von Kanal %d (2)", c));
                if (!Resync()) return true;
                break;
            case hostmode::kReplyLinkStatus: {
                compare = false;
                bool stop = false;
                LinkStatus(c, r.text, compare, stop);
                if (stop) return true;
                break;
            }
            case hostmode::kReplyMonitorHeader:
            case hostmode::kReplyMonitorHeaderInfo:
            case hostmode::kReplyMonitorInfo:
                Monitor(r);
                break;
            case hostmode::kReplyData:
                compare = false;
                DataReceived(c, r.text);
                break;
            default:
                break;
        }
    }
    return true;
}

bool TGeraetHostmode::HandleMessages() {
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        auto m = messages_->TryGet();
        if (!m) break;
        any = true;
        HandleMessage(*m);
        std::this_thread::yield();
    }
    return any;
}

void TGeraetHostmode::HandleMessage(const platform::ThreadMessage& message) {
    const auto channelOf = [&message]() -> int {
        const int* k = std::any_cast<int>(&message.payload);
        return k ? *k : -1;
    };
    TReply r;
    switch (message.id) {
        case kMsgVerbinden: {
            const auto* m = std::any_cast<TMsgVerbinden>(&message.payload);
            if (m) HandleVerbinden(std::static_pointer_cast<TRecVerbinden>(m->record), m->deadline);
            break;
        }
        case kMsgTrennen: {
            Log("HandleMessage", "msg_trennen empfangen.");
            const int c = channelOf();
            if (c < 0 || c > hostmode::kMaxChannel) break;
            if (BefehlRetry(c, true, "D", r) && !r.text.empty())
                Log("HandleMessage", "Disconnect fehlgeschlagen (" + r.text + ")");
            break;
        }
        case kMsgEigeneRufzeichen:
            Log("HandleMessage", "msg_eigenerufzeichen empfangen.");
            EigeneRufzeichenSetzen(true);
            break;
        case kMsgInitBefehle:
            SendInitBefehle();
            break;
        case kMsgUIFrame: {
            Log("HandleMessage", "msg_uiframe empfangen.");
            if (const auto* rec = std::any_cast<std::shared_ptr<TRecUIFrame>>(&message.payload))
                if (*rec && !(*rec)->daten.empty()) HandleUIFrame(**rec);
            break;
        }
        case kMsgBefehl: {
            Log("HandleMessage", "msg_befehl empfangen.");
            if (const auto* rec = std::any_cast<std::shared_ptr<TRecBefehl>>(&message.payload))
                if (*rec) HandleBefehl(**rec);
            break;
        }
        case kMsgPactorBreakIn:
        case kMsgPactorChangeover: {
            const bool breakIn = message.id == kMsgPactorBreakIn;
            Log("HandleMessage", breakIn ? "msg_pactorbreakin" : "msg_pactorchangeover");
            const int c = channelOf();
            if (c < 0 || c > hostmode::kMaxChannel) break;
            if (!BefehlRetry(c, true, breakIn ? "%I" : "%O", r)) break;
            if ((monitorOptionen_ & hostmode::kMonLocal) && Context().kanaele)
                Context().kanaele->MonitorText(
                    "[TNC " + InfoText() + (breakIn ? ": Pactor BreakIn]" : ": Pactor ChangeOver]"),
                    r.text);
            break;
        }
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "unbekannte Message $%x empfangen.", message.id);
            Log("HandleMessage", text);
            break;
        }
    }
}

bool TGeraetHostmode::IstVorbehalten(std::string_view befehl) {
    const std::string b = core::AsciiUpper(core::TrimControls(befehl));
    return hostmode::IsIgnoredInitCommand(b) || b.starts_with("JHOST");
}

TBefehlAnnahme TGeraetHostmode::SendeBefehl(std::string_view befehl,
                                            std::function<void(const TBefehlAntwort&)> done) {
    const std::string_view b = core::TrimControls(befehl);
    if (b.empty() || b.size() > hostmode::kMaxFrameText) return TBefehlAnnahme::Ungueltig;
    for (const char ch : b)
        if (static_cast<unsigned char>(ch) < 0x20) return TBefehlAnnahme::Ungueltig;
    if (IstVorbehalten(b)) return TBefehlAnnahme::Vorbehalten;
    // A TNC that no longer answers must not collect an ever longer queue.
    if (befehleOffen_.fetch_add(1) >= kMaxBefehleOffen) {
        befehleOffen_.fetch_sub(1);
        return TBefehlAnnahme::KeinBetrieb;
    }
    auto rec = std::make_shared<TRecBefehl>(TRecBefehl{std::string(b), std::move(done)});
    if (!PostMessage(kMsgBefehl, rec)) {
        befehleOffen_.fetch_sub(1);
        return TBefehlAnnahme::KeinBetrieb;
    }
    Log("SendeBefehl", rec->befehl);
    return TBefehlAnnahme::Gesendet;
}

void TGeraetHostmode::HandleBefehl(TRecBefehl& rec) {
    TBefehlAntwort antwort;
    TReply r;
    if (Befehl(0, true, rec.befehl, r)) {
        antwort.answered = true;
        antwort.code = r.code;
        antwort.text = std::move(r.text);
    } else {
        Resync();
    }
    befehleOffen_.fetch_sub(1);
    if (!rec.done) return;
    auto done = std::move(rec.done);
    if (platform::IDispatcher* d = Context().dispatcher) {
        // Refused once shutdown has begun: nobody waits for the answer then.
        d->Post([done = std::move(done), antwort = std::move(antwort)] { done(antwort); });
    } else {
        done(antwort);
    }
}

void TGeraetHostmode::SendInitBefehle() {
    TReply r;
    if (!BefehlRetry(0, true, "U0", r)) return;
    std::string report;
    for (const std::string& raw : Parameter()->InitBefehle) {
        const std::string line(core::TrimControls(raw));
        std::string result;
        if (line.empty()) {
            // nothing sent
        } else if (hostmode::IsIgnoredInitCommand(line)) {
            result = "ignoriert";
        } else if (line.size() > hostmode::kMaxFrameText) {
            result = "zu lang";
        } else {
            if (!BefehlRetry(0, true, line, r)) return;
            result = r.text.empty() ? "ok" : "\"" + r.text + "\"";
        }
        report += "  " + line + ": " + result + "\r";
    }
    if ((monitorOptionen_ & hostmode::kMonLocal) && Context().kanaele)
        Context().kanaele->MonitorText("[TNC " + InfoText() + ": Init]", report);
}

void TGeraetHostmode::SetMonitor() {
    TReply r;
    for (const std::string& m : hostmode::MonitorCommands(monitorOptionen_)) {
        Log("SetMonitor", m);
        Befehl(0, true, m, r);
    }
}

void TGeraetHostmode::StoreConnections() {
    const std::string key = RegKey();
    Log("Run", "RegKey = " + key);
    std::vector<std::shared_ptr<core::IVerbindung>> stored;
    {
        std::lock_guard lock(slotsMutex_);
        for (int c : LinkKanaele())
            if (auto& v = verbindungen_[static_cast<std::size_t>(c)])
                stored.push_back(std::exchange(v, nullptr));
    }
    for (auto& v : stored) {
        if (!key.empty()) v->Save(key);
        v->Release();
    }
}

void TGeraetHostmode::Shutdown() {
    StoreConnections();
    if (CommIsOpen()) {
        Log("Run", "TNC deinitialisieren...");
        TReply r;
        for (const std::string& raw : Parameter()->DeinitBefehle) {
            const std::string line(core::TrimControls(raw));
            if (line.empty()) continue;
            Log("Run", "DeInit " + line);
            Befehl(0, true, line, r);
        }
        for (const char* c : {"MN", "Z3", "S0"}) Befehl(0, true, c, r);
        Log("Run", "TNC in den Terminalmodus schalten...");
        LeaveHostmode();
    }
    Log("Run",
        "Schnittstelle schlie\xDF"
        "en...");
    CommClose();
}

// ---- own callsigns --------------------------------------------------------------------------

void TGeraetHostmode::EigeneRufzeichenGeaendert() {
    std::vector<TMyCalls::Entry> calls;
    if (Context().myCalls) calls = Context().myCalls->Snapshot();
    std::vector<std::string> list = CallsignsBySsidPosition(calls);
    std::lock_guard lock(callsMutex_);
    eigeneRufzeichen_ = std::move(list);
}

int TGeraetHostmode::EigeneRufzeichenSetzen(bool pruefen) {
    const std::vector<std::string> list = EigeneRufzeichen();
    TReply r;
    int last = 0;
    const auto invalid = [](const TReply& reply) {
        return reply.text.rfind("INVALID CHANNEL NUMBER", 0) == 0;
    };
    // The firmware takes commands on every channel up to its compiled-in
    // limit whatever Y says; Y holds the channels the operator gave the TNC.
    int highest = hostmode::kMaxChannel;
    if (pruefen) {
        if (!BefehlRetry(0, true, "Y", r)) return 0;
        if (const auto y = hostmode::ParseNumber(r.text);
            r.code == hostmode::kReplyMessage && y && *y >= 1)
            yKanaele_ = std::min(*y, hostmode::kMaxChannel);
        // "Y 0" is what the device itself leaves without own callsigns.
        if (yKanaele_ > 0) highest = yKanaele_;
    } else if (const int known = kanalAnzahl_.load(); known > 0) {
        highest = known;
    }
    if (list.empty()) {
        if (pruefen) {
            for (int c = 1; c <= highest; ++c) {
                if (!BefehlRetry(c, true, "I", r)) return 0;
                if (r.code == hostmode::kReplyError) {
                    core::DebOutObj(ClassName(), "EigeneRufzeichenSetzen",
                                    Fmt("Kanal %2.2d: ", c) + r.text);
                    if (invalid(r)) break;
                }
                last = c;
            }
        }
    } else {
        std::size_t entry = 0;
        int c = pruefen ? 0 : 1;
        bool sawInvalid = false;
        for (; c <= highest; ++c) {
            if (entry >= list.size()) {
                if (!pruefen) break;
                entry = 0;  // every channel gets a callsign
            }
            const std::string& call = list[entry];
            if (!BefehlRetry(c, true, "I " + call, r)) return 0;
            if (r.code == hostmode::kReplyOk) {
                core::DebOutObj(ClassName(), "EigeneRufzeichenSetzen",
                                Fmt("Kanal %2.2d: ", c) + call);
                last = c;
                if (c >= 1) ++entry;  // channels 0 and 1 both get the first entry
            } else {
                core::DebOutObj(ClassName(), "EigeneRufzeichenSetzen", r.text);
                if (invalid(r)) {
                    sawInvalid = true;
                    break;
                }
                last = c;
            }
        }
        (void)sawInvalid;
    }
    const int pactor = pactorKanal_.load();
    if (pactor >= 0 && !list.empty()) BefehlRetry(pactor, true, "I " + list.front(), r);
    if (!pruefen) return 0;
    const int y = list.empty() ? 0 : last;
    Log("EigeneRufzeichenSetzen", Fmt("Setze Y %d", y));
    BefehlRetry(0, true, "Y" + std::to_string(y), r);
    return last;
}

// ---- links ----------------------------------------------------------------------------------

void TGeraetHostmode::EndConnectionsAbove(int anzahl) {
    for (int c = std::max(anzahl + 1, 1); c < kChannelSlots; ++c) {
        if (c == pactorKanal_.load()) continue;
        auto v = GetVerbindung(c);
        if (!v) continue;
        // Restored from the last run, but this TNC has no such channel.
        Log("Run", Fmt("Verbindung auf Kanal %d: der TNC hat diesen Kanal nicht.", c));
        v->Getrennt(core::kDisconnectLinkFailure);
        ReleaseSlot(c);
    }
}

std::optional<std::string> TGeraetHostmode::Pfadabfrage(int kanal) {
    TReply r;
    if (!BefehlRetry(kanal, true, "C", r)) return std::nullopt;
    return hostmode::PathFromCReply(r.text);
}

void TGeraetHostmode::ReleaseSlot(int kanal) {
    auto v = TakeSlot(kanal);
    if (!v) return;
    // A later link may get the same address; its figure starts afresh.
    durchsatz_[static_cast<std::size_t>(kanal)] = TDurchsatz{};
    v->Release();
}

void TGeraetHostmode::RemoveConnection(int kanal, std::uint8_t reason, const char* log) {
    auto v = GetVerbindung(kanal);
    if (!v) return;
    if (log) Log("Run", log);
    v->Getrennt(reason);
    ReleaseSlot(kanal);
    EigeneRufzeichenSetzen(false);
}

void TGeraetHostmode::Verbunden(int kanal, const std::string& pfad, bool connecttext) {
    // Channel 0 is the monitor's; it never carries a link.
    if (kanal < 1 || kanal > hostmode::kMaxChannel) {
        Log("Verbunden", "TNCKanal nicht g\xFCltig.");
        return;
    }
    if (auto v = GetVerbindung(kanal)) {
        // The TNC confirms an outgoing connect; its report names the real path.
        if (!pfad.empty()) v->SetRealPath(pfad);
        v->SetSendGreeting(false);
        v->LinkEstablished();
        EigeneRufzeichenSetzen(false);
        return;
    }
    if (pfad.empty()) {
        Log("Verbunden", "Kein Pfad: keine Verbindung.");
        return;
    }
    std::shared_ptr<core::IVerbindung> v;
    bool kept = false;
    try {
        v = NewVerbindung();
        v->SetPath(pfad);
        v->SetRealPath(pfad);
        v->SetHandle(kanal);
        v->SetOutgoing(false);
        v->SetSendGreeting(connecttext);
        v->SetPactor(kanal == pactorKanal_.load());
        TReply r;
        const std::string reply =
            std::string(kReplyPrefix) + std::string(kAlleKanaeleBelegt) + "\r";
        switch (v->IncomingConnectPolicy()) {
            case 1: {
                auto frei = ReserveFreeChannel();
                if (frei) {
                    v->SetKanal(frei);
                    if (BefehlRetry(kanal, true, "I", r)) v->SetMyCall(r.text);
                    PutSlot(kanal, v);
                    kept = true;
                    v->LinkEstablished();
                    EigeneRufzeichenSetzen(false);
                } else {
                    Log("Verbunden",
                        "Verbindungswunsch von " + v->Call() + " abgelehnt (kein freier Kanal).");
                    if (BefehlRetry(kanal, false, reply, r)) BefehlRetry(kanal, true, "D", r);
                }
                break;
            }
            case 2:
                Log("Verbunden", "Verbindungswunsch von " + v->Call() + " ignoriert.");
                for (int i = 0; i < 4; ++i)
                    if (!BefehlRetry(kanal, true, "D", r)) break;
                break;
            default:
                Log("Verbunden", "Verbindungswunsch von " + v->Call() + " abgelehnt.");
                if (BefehlRetry(kanal, false, reply, r)) BefehlRetry(kanal, true, "D", r);
                break;
        }
    } catch (...) {
        if (v && !kept) v->Release();
        throw;
    }
    if (v && !kept) v->Release();
}

void TGeraetHostmode::LinkStatus(int c, const std::string& s, bool& fullCheckOff, bool& stop) {
    (void)fullCheckOff;
    Log("Run", "Verbindungsstatus: " + s);
    if (s.empty()) {
        stop = true;
        Resync();
        return;
    }
    const hostmode::TLinkStatus st = hostmode::ParseLinkStatus(s);
    using hostmode::TLinkEvent;
    switch (st.event) {
        case TLinkEvent::Busy:
            RemoveConnection(c, core::kDisconnectBusy, "Verbindung.Getrennt... (2)");
            break;
        case TLinkEvent::Connected:
            Verbunden(c, hostmode::GetConnectPath(st.rest), true);
            break;
        case TLinkEvent::LinkResetFrom:
        case TLinkEvent::LinkResetTo:
            if (auto v = GetVerbindung(c)) {
                Log("Run", "Verbindung.Getrennt... (3)");
                v->Getrennt(core::kDisconnectNormal);
                ReleaseSlot(c);
            }
            Verbunden(c, hostmode::GetConnectPath(st.rest), true);
            break;
        case TLinkEvent::Disconnected:
            Log("Run", "DISCONNECTED fm: begin...");
            if (auto v = GetVerbindung(c)) {
                v->SetRealPath(hostmode::GetConnectPath(st.rest));
                v->SetPath(v->RealPath());
                RemoveConnection(c, core::kDisconnectNormal, "Verbindung.Getrennt... (4)");
            }
            Log("Run", "DISCONNECTED fm: end.");
            break;
        case TLinkEvent::LinkFailure:
            RemoveConnection(c, core::kDisconnectLinkFailure, "Verbindung.Getrennt... (5)");
            break;
        case TLinkEvent::FrameReject:
            if (auto v = GetVerbindung(c)) v->KanalPrompt("Frame Reject (" + st.rest + ")", 3);
            break;
        case TLinkEvent::ConnectRequest:
        case TLinkEvent::None:
            break;
    }
}

void TGeraetHostmode::DataReceived(int c, const std::string& data) {
    if (c == 0) {
        // Channel 0 carries the monitor and unproto frames, never a link.
        Log("Run", "WARNUNG: AX25-Daten auf Kanal 0 verworfen");
        return;
    }
    auto v = GetVerbindung(c);
    if (!v || v->State() < core::kLinkConnected) {
        Log("Run", "WARNUNG: AX25-Daten ohne vs_connected");
        const std::string path = Pfadabfrage(c).value_or(std::string());
        // Without a path the TNC knows no link there either.
        if (!path.empty()) Verbunden(c, path, false);
        v = GetVerbindung(c);
    }
    if (v) {
        durchsatz_[static_cast<std::size_t>(c)].Of(v.get()).Count(data.size(), Clock().SteadyMs());
        v->DataReceived(data);
    } else {
        Log("Run", "Fehler bei EmpfangeText");
    }
}

bool TGeraetHostmode::LinkValuesAndSend(int c, bool statusPass, std::uint64_t now) {
    auto v = GetVerbindung(c);
    if (!v) return false;
    TReply r;
    if (!BefehlRetry(c, true, "L", r)) return false;
    const hostmode::TLinkValues lv = hostmode::ParseLinkValues(r.text);
    statusPending_[c] = lv.statusMessages > 0;
    if (lv.statusMessages > 0 || lv.receivedFrames > 0 || lv.unsent > 0 || lv.unacked > 0 ||
        v->LinkSendQueue().Count() > 0)
        Aktivitaet();
    if (auto status = v->Status()) {
        status->SetLinkFlags(hostmode::LinkStateFlags(lv.state));
        const long long unacked =
            static_cast<long long>(v->LinkSendQueue().Count()) + lv.unsent + lv.unacked;
        status->SetUnacked(static_cast<std::int32_t>(std::clamp<long long>(unacked, 0, INT32_MAX)));
        status->SetTries(lv.tries);
    }
    if (statusPass) {
        if (Befehl(c, true, "O", r) && r.code == hostmode::kReplyMessage) {
            if (auto n = hostmode::ParseNumber(r.text); n && *n >= 0)
                if (auto status = v->Status()) status->SetMaxFrame(*n);
        }
        if (Befehl(c, true, "F", r) && r.code == hostmode::kReplyMessage) {
            if (auto n = hostmode::ParseNumber(r.text); n && *n >= 0)
                if (auto status = v->Status())
                    status->SetFrack(hostmode::FrackFromReply(*n, frackScaled_.load()));
        }
        const std::int32_t bps = durchsatz_[static_cast<std::size_t>(c)].Of(v.get()).Sample(now);
        if (auto status = v->Status()) status->SetThroughput(bps);
    }
    if (lv.statusMessages > 0 || lv.receivedFrames > 6) return false;
    if (!BefehlRetry(c, true, "@B", r)) return false;
    const auto frei = hostmode::ParseNumber(r.text);
    if (r.code != hostmode::kReplyMessage || !frei || *frei <= 300) return false;
    long long budget = 14LL - lv.unsent - lv.unacked;
    core::TStringQueue& queue = v->LinkSendQueue();
    bool sent = false;
    for (; budget > 0 && queue.Count() > 0; --budget) {
        // One frame holds 256 bytes; a longer item goes in pieces.
        std::string piece = queue.PeekString();
        if (piece.size() > hostmode::kMaxFrameText) piece.resize(hostmode::kMaxFrameText);
        if (!Befehl(c, false, piece, r) || r.code != hostmode::kReplyOk) {
            Log("Senden", "Senden: Fehler = " + r.text);
            if (r.code < 0) Resync();
            return false;
        }
        // Removed only once the TNC has it, so nothing is lost on a failure.
        queue.PopPart(static_cast<long>(piece.size()));
        durchsatz_[static_cast<std::size_t>(c)].Of(v.get()).Count(piece.size(), Clock().SteadyMs());
        sent = true;
    }
    return sent && queue.Count() > 0;
}

channels::TThroughputMeter& TGeraetHostmode::TDurchsatz::Of(const core::IVerbindung* v) {
    if (owner != v) *this = TDurchsatz{v};
    return meter;
}

// ---- monitor --------------------------------------------------------------------------------

void TGeraetHostmode::Monitor(const TReply& reply) {
    const std::int32_t o = monitorOptionen_;
    const bool any = (o & (hostmode::kMonStatus | hostmode::kMonInfo | hostmode::kMonUI)) != 0;
    channels::TKanaele* kanaele = Context().kanaele;
    const auto handOver = [&](std::string daten) {
        frame_.Daten = std::move(daten);
        if (kanaele) kanaele->MonitorFrame(frame_);
    };
    switch (reply.code) {
        case hostmode::kReplyMonitorHeader:
            if ((o & hostmode::kMonStatus) &&
                hostmode::ParseMonitorHeader(reply.text, GetNummer(), frame_))
                handOver({});
            break;
        case hostmode::kReplyMonitorHeaderInfo:
            if (!any) break;
            framePending_ = hostmode::ParseMonitorHeader(reply.text, GetNummer(), frame_);
            if (!framePending_) break;
            if (frame_.Typ == channels::kFrameI) {
                if (!(o & hostmode::kMonInfo)) {
                    framePending_ = false;
                } else if (!(o & hostmode::kMonContent)) {
                    handOver({});
                    framePending_ = false;
                }
            } else if (frame_.Typ == channels::kFrameUI && !(o & hostmode::kMonUI)) {
                framePending_ = false;
            }
            break;
        case hostmode::kReplyMonitorInfo:
            if (any && framePending_) {
                handOver(reply.text);
                framePending_ = false;
            }
            break;
        default:
            break;
    }
}

// ---- main-thread requests -------------------------------------------------------------------

std::uint8_t TGeraetHostmode::Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                                       std::shared_ptr<core::IVerbindung>& verbindung,
                                       const std::shared_ptr<core::IKanal>& kanal,
                                       std::string& mycall) {
    verbindung.reset();
    // The connection-list lock is not held here nor around Release: releasing
    // waits for the main thread, which takes that lock itself.
    const std::shared_ptr<core::IVerbindung> v = NewVerbindung();
    TARVO_ASSERT(v != nullptr, kClass);
    v->SetPath(ziel);
    v->SetRealPath(ziel);
    v->SetMyCall(mycall);
    v->SetOutgoing(true);

    const auto release = [&v] { v->Release(); };
    if (!ThreadRunning()) {
        release();
        return kConnectDeviceError;
    }
    auto rec = std::make_shared<TRecVerbinden>();
    rec->verbindung = v;
    rec->kanal = std::dynamic_pointer_cast<core::IKanalFuerVerbindung>(kanal);
    rec->port = funkkanal.GetPort();
    const std::uint64_t deadline =
        Clock().SteadyMs() + static_cast<std::uint64_t>(kConnectTimeout.count());
    Log("Verbinde", "Sende msg_verbinden...");
    if (!messages_->Post(kMsgVerbinden, TMsgVerbinden{deadline, rec})) {
        release();
        return kConnectDeviceError;
    }
    Log("Verbinde", "Warte auf Event...");
    platform::IDispatcher* d = Context().dispatcher;
    platform::Event* events[] = {&rec->ereignis};
    bool signalled = false;
    for (;;) {
        const platform::WaitResult w = d && d->IsMainThread()
                                           ? d->WaitServing(events, kPassWait)
                                           : platform::WaitAny(events, kPassWait);
        if (w.Signalled(0)) {
            signalled = true;
            break;
        }
        if (w.kind == platform::WaitResult::Kind::Failed) break;
        if (Clock().SteadyMs() > deadline) break;
    }
    if (!signalled) {
        // The worker may finish just now: whoever comes second knows.
        const int before = rec->state.exchange(TRecVerbinden::Abandoned);
        signalled = before == TRecVerbinden::Done;
    }
    if (!signalled) {
        Log("Verbinde", "Event: Timeout");
        release();
        return kConnectNoAnswer;
    }
    Log("Verbinde", "Event: signaled");
    const std::uint8_t result = static_cast<std::uint8_t>(rec->ergebnis.load());
    if (result != kConnectOk) {
        release();
        return result;
    }
    ziel = v->Call();
    mycall = v->MyCall();
    verbindung = v;
    return result;
}

void TGeraetHostmode::HandleVerbinden(const std::shared_ptr<TRecVerbinden>& rec,
                                      std::uint64_t deadline) {
    if (!rec) return;
    if (Clock().SteadyMs() > deadline || !rec->Claim()) {
        Log("HandleMessage", "msg_verbinden empfangen (abgelaufen)");
        return;
    }
    Log("HandleMessage", "msg_verbinden empfangen (gut und frisch)");
    const std::shared_ptr<core::IVerbindung>& v = rec->verbindung;
    int placed = -1;
    const auto finish = [&](int result) {
        rec->ergebnis.store(result);
        const int before = rec->state.exchange(TRecVerbinden::Done);
        if (before == TRecVerbinden::Abandoned && placed >= 0) {
            // The caller gave up and let go of the connection: no live link without it.
            TReply r;
            BefehlRetry(placed, true, "D", r);
            TakeSlot(placed);
        }
        rec->ereignis.Set();
    };
    const auto repost = [&] {
        if (rec->Unclaim()) messages_->Post(kMsgVerbinden, TMsgVerbinden{deadline, rec});
    };
    const auto setMyCall = [&](int c, const std::string& call) {
        Log("HandleMessage", "Verwende MyCall " + call);
        TReply r;
        if (BefehlRetry(c, true, "I " + call, r) && (r.code > 0 || !r.text.empty()))
            Log("HandleMessage", "MyCall-setzen fehlgeschlagen (" + r.text + ")");
    };
    TReply r;
    const int pactor = pactorKanal_.load();
    if (pactor >= 0 && rec->port == 255) {
        if (!BefehlRetry(pactor, true, "C", r)) return finish(kConnectDeviceError);
        if (StartsWith(r.text, "*** SIMULT")) return finish(kConnectModesConflict);
        if (!StartsWith(r.text, "CHANNEL NO")) return finish(kConnectChannelBusy);
        if (GetVerbindung(pactor)) return repost();
        setMyCall(pactor, v->MyCall());
        Log("HandleMessage", "Connecte...: " + v->Path());
        const std::string cmd = "C" + v->Path();
        if (cmd.size() > hostmode::kMaxFrameText) return finish(kConnectDeviceError);
        if (!BefehlRetry(pactor, true, cmd, r)) return finish(kConnectDeviceError);
        if (r.code == hostmode::kReplyOk) {
            Log("HandleMessage", "Connect erfolgreich.");
            v->SetHandle(pactor);
            v->SetPactor(true);
            v->SetKanal(rec->kanal);
            PutSlot(pactor, v);
            placed = pactor;
            return finish(kConnectOk);
        }
        if (StartsWith(r.text, "STATION AL")) {
            Log("HandleMessage", "Station bereits verbunden...");
            return finish(kConnectDeviceError);
        }
        if (StartsWith(r.text, "*** SIMULT")) return finish(kConnectModesConflict);
        Log("HandleMessage", "Connect fehlgeschlagen (" + r.text + ")");
        Log("HandleMessage", "Verbindung.Getrennt... (6)");
        v->Getrennt(core::kDisconnectLinkFailure);
        return finish(kConnectDeviceError);
    }

    int frei = -1;
    for (int c = kanalAnzahl_.load(); c >= 1; --c) {
        if (c == pactor) continue;
        if (!BefehlRetry(c, true, "C", r)) return finish(kConnectDeviceError);
        if (StartsWith(r.text, "*** SIMULT")) return finish(kConnectModesConflict);
        if (StartsWith(r.text, "CHANNEL NO")) {
            frei = c;
            break;
        }
    }
    if (frei < 0) return finish(kConnectDeviceError);
    if (GetVerbindung(frei)) return repost();

    TSsidIterator candidates(v->MyCall(), Context().myCalls.get());
    for (bool have = candidates.First(); have; have = candidates.Next()) {
        v->SetMyCall(candidates.Current());
        setMyCall(frei, candidates.Current());
        const std::string path = PortPrefix(rec->port) + v->Path();
        Log("HandleMessage", "Connecte...: " + path);
        const std::string cmd = "C" + path;
        if (cmd.size() > hostmode::kMaxFrameText) {
            Log("HandleMessage", "Connect fehlgeschlagen (Pfad zu lang)");
            return finish(kConnectDeviceError);
        }
        if (!BefehlRetry(frei, true, cmd, r)) return finish(kConnectDeviceError);
        if (r.code == hostmode::kReplyOk) {
            Log("HandleMessage", "Connect erfolgreich.");
            v->SetHandle(frei);
            v->SetKanal(rec->kanal);
            PutSlot(frei, v);
            placed = frei;
            return finish(kConnectOk);
        }
        if (StartsWith(r.text, "STATION AL")) {
            Log("HandleMessage", "Station bereits verbunden...");
            continue;
        }
        if (StartsWith(r.text, "*** SIMULT")) return finish(kConnectModesConflict);
        Log("HandleMessage", "Connect fehlgeschlagen (" + r.text + ")");
        Log("HandleMessage", "Verbindung.Getrennt... (7)");
        v->Getrennt(core::kDisconnectLinkFailure);
        return finish(kConnectDeviceError);
    }
    Log("HandleMessage", "Keine freie SSID gefunden.");
    finish(kConnectNoFreeSsid);
}

void TGeraetHostmode::Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (!verbindung) return;
    Log("Trenne", "");
    const int handle = verbindung->Handle();
    const auto drop = [&](const char* log) {
        Log("Trenne", log);
        verbindung->Getrennt(core::kDisconnectNormal);
        {
            std::lock_guard lock(slotsMutex_);
            if (handle >= 0 && handle < kChannelSlots &&
                verbindungen_[static_cast<std::size_t>(handle)] == verbindung)
                verbindungen_[static_cast<std::size_t>(handle)].reset();
        }
        verbindung->Release();
    };
    if (ThreadRunning()) {
        switch (verbindung->DiscLevel()) {
            case core::kDiscEnd:
            case core::kDiscCancel:
                PostMessage(kMsgTrennen, static_cast<int>(handle));
                verbindung->DiscLevelDone();
                break;
            case core::kDiscKill:
                PostMessage(kMsgTrennen, static_cast<int>(handle));
                verbindung->DiscLevelDone();
                drop("Verbindung.Getrennt... (8)");
                break;
            default:
                break;
        }
        return;
    }
    verbindung->DiscLevelDone();
    drop("Verbindung.Getrennt... (9)");
}

std::string TGeraetHostmode::SendUI(core::IFunkKanal& funkkanal, std::string_view ziel,
                                    std::string_view data, std::string_view mycall) {
    if (data.empty()) return {};
    auto rec = std::make_shared<TRecUIFrame>();
    rec->myCall = mycall;
    rec->ziel = ziel;
    rec->daten = data.substr(0, hostmode::kMaxFrameText);
    rec->port = funkkanal.GetPort();
    PostMessage(kMsgUIFrame, rec);
    return {};
}

void TGeraetHostmode::HandleUIFrame(const TRecUIFrame& rec) {
    const std::string path = PortPrefix(rec.port) + rec.ziel;
    Log("HandleMessage", path);
    TReply r;
    const std::string callCmd = "I" + rec.myCall;
    const std::string pathCmd = "C" + path;
    if (callCmd.size() > hostmode::kMaxFrameText || pathCmd.size() > hostmode::kMaxFrameText) {
        Log("HandleMessage", "UI-Frame nicht gesendet: Ziel oder Rufzeichen zu lang");
        return;
    }
    if (!BefehlRetry(0, true, callCmd, r)) return;
    if (!BefehlRetry(0, true, pathCmd, r)) return;
    BefehlRetry(0, false, rec.daten, r);
}

void TGeraetHostmode::PactorBreakIn(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (verbindung) PostMessage(kMsgPactorBreakIn, static_cast<int>(verbindung->Handle()));
}

void TGeraetHostmode::PactorChangeover(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (verbindung) PostMessage(kMsgPactorChangeover, static_cast<int>(verbindung->Handle()));
}

void TGeraetHostmode::Restore() {
    for (auto& v : RestoreVerbindungen()) {
        // PACTOR is known only once the TNC has been asked.
        v->SetPactor(false);
        const int h = v->Handle();
        bool placed = false;
        if (h >= 0 && h < kChannelSlots) {
            std::lock_guard lock(slotsMutex_);
            auto& slot = verbindungen_[static_cast<std::size_t>(h)];
            if (!slot) {
                slot = v;
                placed = true;
            }
        }
        if (!placed) v->Release();
    }
}

}  // namespace tarvo::devices
