#include "devices/GeraetU.h"

#include <algorithm>
#include <exception>

#include "channels/KanaeleU.h"
#include "channels/KanalU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Thread.h"

namespace tarvo::devices {

namespace detail {

// One start of a device's worker.
struct TGeraetRun {
    explicit TGeraetRun(const TGeraet* o) : owner(o) {}
    const TGeraet* const owner;
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
    platform::Event stop{platform::Event::Manual};
    platform::Event ended{platform::Event::Manual, true};
};

}  // namespace detail

namespace {

constexpr const char* kUnit = "GeraetU";
constexpr std::chrono::milliseconds kDeInitSlice{50};

// The start the worker running on this thread belongs to.
thread_local detail::TGeraetRun* tlsRun = nullptr;

std::mutex kindsMutex;
std::vector<TGeraetKind>& Kinds() {
    static std::vector<TGeraetKind> kinds;
    return kinds;
}

// The part after the last backslash.
std::string_view KeyTail(std::string_view key) {
    const std::size_t pos = key.rfind('\\');
    return pos == std::string_view::npos ? key : key.substr(pos + 1);
}

std::string JoinKey(std::string_view key, std::string_view name) {
    std::string k(key);
    k += '\\';
    k += name;
    return k;
}

void ReadTree(const platform::IRegistry& reg, platform::Hive hive, const std::string& key,
              int depth, TRegistryTree& tree) {
    for (const std::string& name : reg.ValueNames(hive, key))
        if (auto v = reg.GetValue(hive, key, name)) tree.values.emplace_back(name, std::move(*v));
    if (depth >= kMaxRegistryTreeDepth) {
        core::DebOutObj("TGeraet", "ReadRegistryTree", "zu tief verschachtelt: " + key);
        return;
    }
    for (const std::string& name : reg.SubKeyNames(hive, key)) {
        TRegistryTree child;
        ReadTree(reg, hive, JoinKey(key, name), depth + 1, child);
        tree.subKeys.push_back({name, std::move(child)});
    }
}

}  // namespace

std::string_view StatusName(TGeraetStatus status) {
    switch (status) {
        case TGeraetStatus::Bereit:
            return TARVO_TR_NOOP("TGeraet", "Bereit");
        case TGeraetStatus::Init:
            return TARVO_TR_NOOP("TGeraet", "Init");
        case TGeraetStatus::Fehler:
            return TARVO_TR_NOOP("TGeraet", "Fehler");
        case TGeraetStatus::Inaktiv:
            return TARVO_TR_NOOP("TGeraet", "Inaktiv");
    }
    return TARVO_TR_NOOP("TGeraet", "Inaktiv");
}

std::string ConnectResultText(std::uint8_t result) {
    const char* text = TARVO_TR_NOOP("TGeraet", "Unbehandelter Fehler.");
    switch (result) {
        case kConnectOk:
            return "";
        case kConnectUnknownError:
            text = TARVO_TR_NOOP("TGeraet", "Unbekannter Fehler.");
            break;
        case kConnectNoAnswer:
            text = TARVO_TR_NOOP("TGeraet", "Das Gerät antwortet nicht.");
            break;
        case kConnectNoDevice:
            text = TARVO_TR_NOOP("TGeraet", "Kein Gerät vorhanden.");
            break;
        case kConnectChannelBusy:
            text = TARVO_TR_NOOP("TGeraet", "Der Kanal ist bereits verbunden.");
            break;
        case kConnectNoFreeSsid:
            text = TARVO_TR_NOOP("TGeraet", "Keine freie SSID verfügbar.");
            break;
        case kConnectDeviceError:
            text = TARVO_TR_NOOP("TGeraet", "Gerätefehler.");
            break;
        case kConnectAllChannelsBusy:
            text = TARVO_TR_NOOP("TGeraet", "Alle Kanäle sind belegt.");
            break;
        case kConnectModesConflict:
            text =
                TARVO_TR_NOOP("TGeraet", "Gewählte Betriebsarten sind nicht gleichzeitig möglich.");
            break;
        default:
            break;
    }
    return core::Tr("TGeraet", text);
}

// ---- kinds ------------------------------------------------------------------------------

void RegistriereGeraet(TGeraetKind kind) {
    std::string bezeichnung = kind.bezeichnung;
    std::size_t count;
    {
        std::lock_guard lock(kindsMutex);
        Kinds().push_back(std::move(kind));
        count = Kinds().size();
    }
    core::DebOutFmt("RegistriereGeraet: %d: %s", static_cast<int>(count), bezeichnung.c_str());
}

std::vector<TGeraetKind> RegisteredKinds() {
    std::lock_guard lock(kindsMutex);
    return Kinds();
}

void ClearRegisteredKinds() {
    std::lock_guard lock(kindsMutex);
    Kinds().clear();
}

// ---- registry trees ---------------------------------------------------------------------

TRegistryTree ReadRegistryTree(const platform::IRegistry& registry, platform::Hive hive,
                               std::string_view key) {
    TRegistryTree tree;
    if (registry.KeyExists(hive, key)) ReadTree(registry, hive, std::string(key), 0, tree);
    return tree;
}

bool WriteRegistryTree(platform::IRegistry& registry, platform::Hive hive, std::string_view key,
                       const TRegistryTree& tree) {
    bool ok = registry.CreateKey(hive, key);
    for (const auto& [name, value] : tree.values)
        ok = registry.SetValue(hive, key, name, value) && ok;
    for (const auto& [name, child] : tree.subKeys)
        ok = WriteRegistryTree(registry, hive, JoinKey(key, name), child) && ok;
    return ok;
}

// ---- the device -------------------------------------------------------------------------

TGeraet::TGeraet(const TGeraetContext& ctx)
    : ctx_(ctx), run_(std::make_shared<detail::TGeraetRun>(this)) {}

TGeraet::~TGeraet() {
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable()) return;
    // The worker holds the device, so it is here only once that worker let go;
    // when it dropped the last reference itself it cannot join itself.
    if (thread_.get_id() == std::this_thread::get_id() || !run_->ended.IsSet()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

const platform::IClock& TGeraet::Clock() const {
    static const platform::SteadyClock system;
    return ctx_.clock ? *ctx_.clock : system;
}

detail::TGeraetRun& TGeraet::CurrentRun() const {
    if (tlsRun && tlsRun->owner == this) return *tlsRun;
    std::lock_guard lock(threadMutex_);
    return *run_;
}

std::uint8_t TGeraet::Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                               const std::shared_ptr<core::IKanal>& kanal, std::string& mycall) {
    std::shared_ptr<core::IVerbindung> verbindung;
    return Verbinde(funkkanal, ziel, verbindung, kanal, mycall);
}

// ---- state ------------------------------------------------------------------------------

TGeraetStatus TGeraet::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::string TGeraet::StatusText() const {
    std::lock_guard lock(mutex_);
    return statusText_;
}

std::string TGeraet::InfoText() const {
    std::lock_guard lock(mutex_);
    return infoText_;
}

std::string TGeraet::RegKey() const {
    std::lock_guard lock(mutex_);
    return regKey_;
}

void TGeraet::SetRegKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    regKey_ = key;
}

void TGeraet::SetStatusHandler(std::function<void(TGeraet&)> handler) {
    std::lock_guard lock(mutex_);
    onStatus_ = std::move(handler);
}

void TGeraet::SetStatus(TGeraetStatus status, std::string_view detail) {
    {
        std::lock_guard lock(mutex_);
        status_ = status;
        statusText_ = core::Tr("TGeraet", StatusName(status).data());
        if (!detail.empty()) {
            statusText_ += " - ";
            statusText_ += detail;
        }
    }
    NotifyStatus();
}

void TGeraet::SetInfo(std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        infoText_ = text;
    }
    NotifyStatus();
}

void TGeraet::NotifyStatus() {
    // The handler is fetched on the main thread: the set may have cleared it
    // (and gone away) while this call waited in the queue.
    const auto run = [this] {
        std::function<void(TGeraet&)> handler;
        {
            std::lock_guard lock(mutex_);
            handler = onStatus_;
        }
        if (handler) handler(*this);
    };
    if (ctx_.dispatcher) {
        // Refused once shutdown has begun: the status is stored all the same.
        ctx_.dispatcher->Call(run);
        return;
    }
    try {
        run();
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), ClassName(), "SetStatus");
    }
}

// ---- the worker -------------------------------------------------------------------------

bool TGeraet::IsTerminated() const {
    const detail::TGeraetRun& run = CurrentRun();
    return !run.running.load() || run.stopRequested.load() || core::QuitEvent().IsSet();
}

bool TGeraet::ThreadRunning() const {
    return CurrentRun().running.load();
}

platform::Event& TGeraet::StopEvent() {
    return CurrentRun().stop;
}

void TGeraet::Init() {
    const std::string cls = ClassName();
    core::DebOutObj(cls, "Init", KeyTail(RegKey()));
    // Held so that an ended worker never drops the last reference while we join it.
    const std::shared_ptr<TGeraet> self = shared_from_this();
    std::lock_guard lock(threadMutex_);
    if (run_->running.load()) {
        core::DebOutObj(cls, "Init", "Ger\xE4te-Thread l\xE4uft bereits.");
        return;
    }
    if (thread_.joinable()) thread_.join();  // ended on its own
    run_->stopRequested.store(false);
    run_->stop.Reset();
    run_->ended.Reset();
    run_->running.store(true);
    try {
        thread_ = std::thread([self, run = run_] { self->ThreadBody(run); });
    } catch (...) {
        run_->running.store(false);
        run_->ended.Set();
        throw;
    }
}

void TGeraet::ThreadBody(const std::shared_ptr<detail::TGeraetRun>& run) {
    tlsRun = run.get();
    std::string cls = "TGeraet";
    try {
        cls = ClassName();
        platform::SetCurrentThreadName(cls);
        core::DebOutObj(cls, "Execute", "begin");
        Run();
        core::DebOutObj(cls, "Execute", "end");
    } catch (...) {
        const std::exception_ptr e = std::current_exception();
        try {
            core::ShowUnhandledException(e, cls, "Execute");
            SetStatus(TGeraetStatus::Fehler, core::ExceptionMessage(e));
        } catch (...) {
            // The thread ends either way.
        }
    }
    run->running.store(false);
    run->ended.Set();
    tlsRun = nullptr;
}

void TGeraet::DeInit() {
    const std::string cls = ClassName();
    core::DebOutObj(cls, "DeInit", "begin...");
    // A call served while we wait may drop the set's reference, and an ended
    // worker must not drop the last one while we join it.
    const std::shared_ptr<TGeraet> self = weak_from_this().lock();
    std::thread worker;
    std::shared_ptr<detail::TGeraetRun> run;
    {
        std::lock_guard lock(threadMutex_);
        if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
            // The worker cannot wait for itself; it ends once it sees the request.
            run_->stopRequested.store(true);
            run_->stop.Set();
            core::DebOutObj(cls, "DeInit", "Aufruf im Ger\xE4te-Thread: nur Thread.Terminate");
            return;
        }
        if (thread_.joinable() && run_->running.load()) {
            worker = std::move(thread_);
            run = run_;
        } else if (thread_.joinable()) {
            thread_.join();  // it ended on its own
        }
    }
    if (!run) {
        core::DebOutObj(cls, "DeInit", "Kein Ger\xE4te-Thread vorhanden.");
        return;
    }

    core::DebOutObj(cls, "DeInit", "Thread.Terminate");
    run->stopRequested.store(true);
    run->stop.Set();
    core::DebOutObj(cls, "DeInit", "Warte auf Beendigung");
    const platform::IClock& clock = Clock();
    const std::uint64_t start = clock.SteadyMs();
    platform::IDispatcher* d = ctx_.dispatcher;
    bool ended = false;
    for (;;) {
        if (!run->running.load()) {
            ended = true;
            break;
        }
        platform::Event* events[] = {&run->ended};
        // A worker blocked in a call to the main thread must be able to finish.
        const platform::WaitResult r = d && d->IsMainThread()
                                           ? d->WaitServing(events, kDeInitSlice)
                                           : platform::WaitAny(events, kDeInitSlice);
        if (r.Signalled(0)) {
            ended = true;
            break;
        }
        const std::uint64_t now = clock.SteadyMs();
        if (now >= start && now - start > static_cast<std::uint64_t>(kDeInitTimeout.count())) break;
    }

    if (ended) {
        worker.join();
        core::DebOutObj(cls, "DeInit", "Ger\xE4te-Thread normal beendet.");
        return;
    }
    core::DebOutObj(cls, "DeInit", "Ger\xE4te-Thread wird abgebrochen...");
    // A thread cannot be killed here: the worker keeps the device alive and ends
    // when it next looks at its own, now terminated, start.
    worker.detach();
    {
        std::lock_guard lock(threadMutex_);
        if (run_ == run) {
            abandoned_.push_back(run_);
            run_ = std::make_shared<detail::TGeraetRun>(this);
        }
    }
    core::DebOutObj(cls, "DeInit", "Ger\xE4te-Thread wurde abgebrochen.");
}

std::shared_ptr<core::IVerbindung> TGeraet::NewVerbindung() {
    return connection::TVerbindung::Create(weak_from_this(), ctx_.verbindung);
}

std::vector<std::shared_ptr<core::IVerbindung>> TGeraet::RestoreVerbindungen() {
    std::vector<std::shared_ptr<core::IVerbindung>> restored;
    const std::string key = RegKey();
    if (key.empty() || !ctx_.registry) return restored;
    for (const std::string& name : ctx_.registry->SubKeyNames(platform::Hive::LocalMachine, key)) {
        // Only subkeys named by a channel number hold links.
        if (name.empty() || name.size() > 3 ||
            name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::shared_ptr<core::IVerbindung> v;
        try {
            v = NewVerbindung();
            v->Restore(key, std::stoi(name));
        } catch (...) {
            core::DebOutObj(ClassName(), "Restore",
                            core::ExceptionMessage(std::current_exception()));
            if (v) v->Release();
            continue;
        }
        restored.push_back(std::move(v));
    }
    return restored;
}

void TGeraet::Neustart(bool stop) {
    if (stop) DeInit();
    Restore();
    SetRegKey("");
    Init();
}

std::shared_ptr<core::IKanalFuerVerbindung> TGeraet::ReserveFreeChannel() {
    channels::TKanaele* kanaele = ctx_.kanaele ? ctx_.kanaele : channels::TKanaele::Instance();
    return kanaele ? kanaele->FindFreeChannel() : nullptr;
}

void TGeraet::Save() {
    const std::string key = RegKey();
    TARVO_ASSERT(!key.empty(), kUnit);
    if (ctx_.registry) ctx_.registry->WriteText(platform::Hive::LocalMachine, key, "", ClassName());
}

}  // namespace tarvo::devices
