#include "connection/VerbindungU.h"

#include <algorithm>
#include <charconv>

#include "channels/KanaeleU.h"
#include "channels/StatusU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "filesend/DateiSendenQueueU.h"
#include "platform/Registry.h"
#include "platform/Thread.h"

namespace tarvo::connection {

namespace {

std::string UpperTrimmed(std::string_view s) {
    return core::AsciiUpper(core::TrimControls(s));
}

constexpr std::string_view kUnit = "VerbindungU";
constexpr std::string_view kClass = "TVerbindung";
using platform::Hive;

// Sound events of a connection.
constexpr int kSoundSetup = 0;
constexpr int kSoundOutgoing = 1;
constexpr int kSoundIncoming = 2;
constexpr int kSoundDisconnecting = 3;
constexpr int kSoundDisconnected = 4;
constexpr int kSoundFailure = 5;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string RemoveAll(std::string s, std::string_view what, std::size_t keep) {
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at))
        s.erase(at + keep, what.size() - keep);
    return s;
}

}  // namespace

std::string ExpandCarets(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '^' || i + 1 >= in.size()) {
            out += c;
            continue;
        }
        const char next = in[i + 1];
        if (next == '^') {
            out += '^';
            ++i;
            continue;
        }
        if (next == '$') {
            // Two hex digits; at the very end of the text one is enough.
            const std::size_t left = in.size() - (i + 2);
            if (left >= 2 && HexDigit(in[i + 2]) >= 0 && HexDigit(in[i + 3]) >= 0) {
                out += static_cast<char>(HexDigit(in[i + 2]) * 16 + HexDigit(in[i + 3]));
                i += 3;
                continue;
            }
            if (left == 1 && HexDigit(in[i + 2]) >= 0) {
                out += static_cast<char>(HexDigit(in[i + 2]));
                i += 2;
                continue;
            }
            out += c;
            continue;
        }
        const int code = static_cast<unsigned char>(core::AsciiUpper(next)) - 64;
        if (code >= 0 && code <= 26) {
            out += static_cast<char>(code);
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

std::string StationIdText(std::string_view versionText, bool stationKnown) {
    const std::size_t cut = versionText.find_first_of(" -");
    const std::string_view version = versionText.substr(0, cut);
    std::string out = "{Tarvo-";
    out += version;
    out += "-D";
    if (!stationKnown) out += '?';
    out += "}\r";
    return out;
}

std::string NormalizePath(std::string_view path) {
    std::string s = UpperTrimmed(path);
    s = RemoveAll(std::move(s), " VIA ", 1);
    s = RemoveAll(std::move(s), " V ", 1);
    // Callsigns are separated by single blanks.
    std::string out;
    for (char c : s) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

// ---- creation and release ---------------------------------------------------------

TVerbindung::TVerbindung(std::weak_ptr<core::IGeraetFuerVerbindung> device,
                         const TVerbindungContext& ctx)
    : ctx_(ctx), device_(std::move(device)) {}

std::shared_ptr<TVerbindung> TVerbindung::Create(std::weak_ptr<core::IGeraetFuerVerbindung> device,
                                                 const TVerbindungContext& ctx) {
    TARVO_ASSERT(ctx.dispatcher && ctx.config && ctx.klaenge, kUnit);
    core::DebOutObj(kClass, "Create");
    std::shared_ptr<TVerbindung> v(new TVerbindung(std::move(device), ctx));
    v->localEcho_.store(ctx.config->LocalEcho());
    v->status_ = std::make_shared<channels::TStatus>(*ctx.dispatcher);
    v->sendQueue_ = ctx.sendQueue ? ctx.sendQueue() : nullptr;
    if (!v->sendQueue_) v->sendQueue_ = std::make_shared<filesend::TDateiSendenQueue>();
    // Without a handler "//" lines stay unanswered.
    if (ctx.remoteCommands) v->remoteCommands_ = ctx.remoteCommands(v);
    return v;
}

TVerbindung::~TVerbindung() {
    Release();
    if (status_) status_->Release();
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable()) {
        // The worker may drop the last reference itself.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void TVerbindung::Release() {
    if (released_.exchange(true)) {
        core::DebOutObj(kClass, "Release", "already released");
        return;
    }
    // The worker ends before its module is closed under it.
    EndThread();
    if (ctx_.connections) ctx_.connections->Remove(this);
    std::shared_ptr<core::IVerbindungAbstract> modul;
    std::shared_ptr<core::IKanalFuerVerbindung> kanal;
    std::shared_ptr<core::IRemoteCommands> remote;
    std::shared_ptr<core::IDateiSendenQueue> queue;
    {
        std::lock_guard lock(mutex_);
        stationEntry_.reset();
        modul = std::move(modul_);
        kanal = std::move(kanal_);
        remote = std::move(remoteCommands_);
        queue = std::move(sendQueue_);
    }
    std::shared_ptr<core::IDateiSenden> job;
    {
        std::lock_guard lock(jobMutex_);
        job = std::move(job_);
    }
    OnMain([this] { StopDiscTimer(); });
    if (modul) modul->Close();
    if (kanal) kanal->SetVerbindung(nullptr);
    if (remote) remote->Detach();
    if (job) job->Release();
    if (queue) queue->Release();
    if (auto b = ctx_.beobachter.lock()) b->Released(*this);
}

std::shared_ptr<core::IGeraetFuerVerbindung> TVerbindung::Device() const {
    std::lock_guard lock(mutex_);
    return device_.lock();
}

void TVerbindung::ForgetDevice() {
    std::lock_guard lock(mutex_);
    device_.reset();
}

void TVerbindung::Play(int event) {
    ctx_.klaenge->Play(event, shared_from_this());
}

void TVerbindung::OnMain(const std::function<void()>& task) {
    if (ctx_.dispatcher->IsMainThread()) {
        task();
    } else {
        ctx_.dispatcher->Call(task);
    }
}

// ---- fields -------------------------------------------------------------------

std::string TVerbindung::Call() const {
    std::lock_guard lock(mutex_);
    return call_;
}

void TVerbindung::PutCall(std::string call) {
    auto entry = ctx_.stationen && !call.empty() ? ctx_.stationen->FindEntry(call, false) : nullptr;
    std::lock_guard lock(mutex_);
    call_ = std::move(call);
    stationEntry_ = std::move(entry);
}

void TVerbindung::SetCall(std::string_view call) {
    PutCall(UpperTrimmed(call));
}

std::string TVerbindung::MyCall() const {
    std::lock_guard lock(mutex_);
    return myCall_;
}

void TVerbindung::SetMyCall(std::string_view call) {
    TARVO_ASSERT(state_.load() <= core::kLinkConnecting, kUnit);
    std::lock_guard lock(mutex_);
    myCall_ = UpperTrimmed(call);
}

std::string TVerbindung::Digis() const {
    std::lock_guard lock(mutex_);
    return digis_;
}

void TVerbindung::SetDigis(std::string_view digis) {
    std::lock_guard lock(mutex_);
    digis_ = digis;
}

std::string TVerbindung::Path() const {
    std::lock_guard lock(mutex_);
    return digis_.empty() ? call_ : call_ + " " + digis_;
}

void TVerbindung::SetPath(std::string_view path) {
    const std::string p = NormalizePath(path);
    const std::size_t blank = p.find(' ');
    PutCall(p.substr(0, blank));
    std::lock_guard lock(mutex_);
    digis_ = blank == std::string::npos ? std::string() : p.substr(blank + 1);
}

std::string TVerbindung::RealPath() const {
    std::lock_guard lock(mutex_);
    return realPath_;
}

void TVerbindung::SetRealPath(std::string_view path) {
    std::string p = NormalizePath(path);
    std::lock_guard lock(mutex_);
    realPath_ = std::move(p);
}

std::shared_ptr<core::IKanalFuerVerbindung> TVerbindung::Kanal() const {
    std::lock_guard lock(mutex_);
    return kanal_;
}

void TVerbindung::SetKanal(const std::shared_ptr<core::IKanalFuerVerbindung>& kanal) {
    {
        std::lock_guard lock(mutex_);
        kanal_ = released_.load() ? nullptr : kanal;
    }
    if (released_.load() || !kanal) return;
    kanal->SetVerbindung(shared_from_this());
    kanal->StateChanged();
}

void TVerbindung::SetStationType(std::int32_t type) {
    stationType_.store(type);
    if (auto k = Kanal()) k->CallChange();
}

void TVerbindung::SetState(std::uint8_t state) {
    if (state_.exchange(state) == state) return;
    if (auto k = Kanal()) k->StateChanged();
    if (auto b = ctx_.beobachter.lock()) b->StateChanged(*this);
}

void TVerbindung::SetOutgoing(bool outgoing) {
    if (!outgoing_.exchange(outgoing) && outgoing) Play(kSoundSetup);
}

std::shared_ptr<core::IDateiSendenQueue> TVerbindung::DateiSendenQueue() const {
    std::lock_guard lock(mutex_);
    return sendQueue_;
}

void TVerbindung::SetDateiSenden(const std::shared_ptr<core::IDateiSenden>& job) {
    {
        std::lock_guard lock(jobMutex_);
        job_ = job;
    }
    if (auto k = Kanal(); k && job) job->Subscribe(k);
}

std::shared_ptr<core::IDateiSenden> TVerbindung::DateiSenden() const {
    std::lock_guard lock(jobMutex_);
    return job_;
}

void TVerbindung::SetTransferActive(bool active) {
    if (transferActive_.exchange(active) == active) return;
    if (auto k = Kanal()) k->ModuleChanged();
}

std::shared_ptr<core::IStationenDatenbankEintrag> TVerbindung::StationEntry() const {
    std::lock_guard lock(mutex_);
    return stationEntry_;
}

std::uint8_t TVerbindung::IncomingConnectPolicy() const {
    if (auto e = StationEntry()) {
        if (const std::uint8_t p = e->GetIncomingPolicy(); p != 0) return p;
    }
    return static_cast<std::uint8_t>(ctx_.config->IncomingConnects());
}

std::shared_ptr<core::IRemoteCommands> TVerbindung::RemoteCommands() const {
    std::lock_guard lock(mutex_);
    return remoteCommands_;
}

void TVerbindung::SetModul(const std::shared_ptr<core::IVerbindungAbstract>& modul) {
    core::DebOutObj(kClass, "SetModul", modul ? modul->GetName() : std::string("nil"));
    std::lock_guard lock(mutex_);
    modul_ = modul;
}

std::shared_ptr<core::IVerbindungAbstract> TVerbindung::Modul() const {
    std::lock_guard lock(mutex_);
    return modul_;
}

bool TVerbindung::HideReceivedSid() const {
    return ctx_.config->HideReceivedSid();
}

bool TVerbindung::SendSidEnabled() const {
    return ctx_.config->SendSid();
}

platform::Event* TVerbindung::WaitHandle(int index) {
    switch (index) {
        case core::kWaitThread:
            return &threadEnded_;
        case core::kWaitEnd:
            return &endEvent_;
        case core::kWaitReceive:
            return &receiveQueue_.NotEmptyEvent();
        case core::kWaitUserSend:
            return &userSendQueue_.NotEmptyEvent();
        case core::kWaitLinkSendEmpty:
            return &linkSendQueue_.EmptyEvent();
        case core::kWaitSendJob: {
            std::lock_guard lock(mutex_);
            return sendQueue_ ? &sendQueue_->GetEvent() : nullptr;
        }
        default:
            return nullptr;
    }
}

// ---- text in and out ------------------------------------------------------------

void TVerbindung::SendData(std::string_view text, bool echo, bool expand, bool wrap,
                           bool userQueue) {
    std::string data = expand ? ExpandCarets(text) : std::string(text);
    if (wrap) data = core::WrapText(data, "\r", " \r\n", kWrapColumn);
    core::TStringQueue& queue = userQueue ? userSendQueue_ : linkSendQueue_;
    const bool showEcho = echo && localEcho_.load();
    for (std::size_t at = 0; at < data.size(); at += kPieceSize) {
        std::string piece = data.substr(at, kPieceSize);
        if (showEcho) {
            queue.PushString(piece);
            Echo(piece);
        } else {
            queue.PushString(std::move(piece));
        }
    }
}

void TVerbindung::SendText(std::string_view text) {
    SendData(text, true, false, false, true);
}

void TVerbindung::SendTextLine(std::string_view text) {
    SendData(std::string(text) + "\r", true, false, false, true);
}

std::int64_t TVerbindung::ShowReceived(std::string_view text) {
    auto k = Kanal();
    return k ? k->Received(text) : -1;
}

void TVerbindung::Echo(std::string_view text) {
    if (auto k = Kanal()) k->Echo(text);
}

void TVerbindung::ConsoleMessage(std::string_view text, int kind) {
    if (auto k = Kanal()) k->Message(text, kind);
}

void TVerbindung::KanalPrompt(std::string_view text, int kind) {
    core::DebOutObj(kClass, "KanalPrompt", text);
    if (auto k = Kanal()) k->Prompt(text, kind);
}

void TVerbindung::DataReceived(std::string_view data) {
    if (receiveQueue_.Bytes() + data.size() > kReceiveHardBound) {
        // The device could not hold it back (or did not): no memory for it.
        core::DebOutObj(kClass, "DataReceived",
                        "ReceiveQueue voll, " + std::to_string(data.size()) + " Bytes verworfen");
        EndLinkOnFault(
            core::Tr("TVerbindung",
                     "Empfangspuffer voll: Die Gegenstation sendet mehr, als verarbeitet werden "
                     "kann. Verbindung wird beendet."));
        return;
    }
    receiveQueue_.PushString(std::string(data));
    if (receiveQueue_.Bytes() >= kReceiveSoftBound) receiveBlocked_.store(true);
    {
        std::lock_guard lock(appMutex_);
        for (auto& rec : apps_) {
            if (!rec) continue;
            rec->queue.PushString(std::string(data));
            // A client that does not read loses the oldest text, never the program its memory.
            while (rec->queue.Bytes() > kMaxApplicationBytes && rec->queue.Count() > 1)
                rec->queue.Pop();
        }
    }
    if (auto b = ctx_.beobachter.lock()) b->Received(*this, data);
}

bool TVerbindung::ReceiveBlocked() const {
    // Asked by the device on its rounds; the worker's draining releases it.
    if (receiveBlocked_.load() && receiveQueue_.Bytes() < kReceiveResumeBelow)
        receiveBlocked_.store(false);
    return receiveBlocked_.load();
}

void TVerbindung::EndLinkOnFault(std::string_view message) {
    if (faultEnded_.exchange(true)) return;
    core::DebOutObj(kClass, "EndLinkOnFault", message);
    // From the main thread, where a disconnect of the operator starts too; the
    // device's thread that may call this is not held up by it.
    ctx_.dispatcher->Post([weak = weak_from_this(), text = std::string(message)] {
        auto self = weak.lock();
        if (!self || self->released_.load()) return;
        self->KanalPrompt(text, 3);
        if (self->discLevel_.load() >= core::kDiscCancel) {
            self->Disconnect();
            return;
        }
        // No graceful end: it waits for queues that nobody may drain now.
        self->StopDiscTimer();
        self->discLevel_.store(core::kDiscCancel);
        core::DebOutObj(kClass, "Disconnect", "Fault > Cancel");
        self->Play(kSoundDisconnecting);
        if (auto d = self->Device()) d->Trenne(self);
    });
}

void TVerbindung::SendStationId() {
    SendData(StationIdText(ctx_.versionText, StationEntry() != nullptr),
             !ctx_.config->HideSentSid(), false, false, true);
}

// ---- onward connects ----------------------------------------------------------------

bool TVerbindung::InfoboxConnect(std::string_view call) {
    const std::string to(call);
    core::DebOutObj(kClass, "InfoboxConnect", "von " + Call() + " nach " + to);
    if (stationType_.load() != core::kStationDigi) {
        core::DebOutObj(kClass, "InfoboxConnect", "Ignoriert, kein Digi.");
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (history_.size() >= kMaxHistory) history_.erase(history_.begin());
        history_.push_back(call_);
        if (!digis_.empty()) digis_ += ' ';
        digis_ += call_;
    }
    SetCall(to);
    SetStationType(core::kStationAutomatic);
    if (auto k = Kanal()) k->CallChange();
    Play(kSoundOutgoing);
    return true;
}

bool TVerbindung::InfoboxReconnect(std::string_view call) {
    const std::string to(call);
    core::DebOutObj(kClass, "InfoboxReconnect", "von " + Call() + " nach " + to);
    {
        std::unique_lock lock(mutex_);
        if (history_.empty()) {
            lock.unlock();
            core::DebOutObj(kClass, "InfoboxReconnect", "Ignoriert, Liste ist leer.");
            return false;
        }
        const auto found = std::find(history_.rbegin(), history_.rend(), to);
        if (found == history_.rend()) {
            lock.unlock();
            core::DebOutObj(kClass, "InfoboxReconnect", "Ignoriert, Rufzeichen nicht in Liste.");
            return false;
        }
        // Newest down to the found one: each leaves the end of the digipeater list
        // when it stands there as a whole callsign.
        const std::size_t keep =
            history_.size() - 1 - static_cast<std::size_t>(found - history_.rbegin());
        for (std::size_t i = history_.size(); i-- > keep;) {
            const std::string& entry = history_[i];
            if (digis_.size() >= entry.size() &&
                core::EqualNoCase(std::string_view(digis_).substr(digis_.size() - entry.size()),
                                  entry)) {
                const std::size_t start = digis_.size() - entry.size();
                if (start == 0 || digis_[start - 1] == ' ') {
                    digis_.erase(start);
                    if (!digis_.empty() && digis_.back() == ' ') digis_.pop_back();
                }
            }
            history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    PutCall(UpperTrimmed(to));
    stationType_.store(core::kStationDigi);
    if (auto k = Kanal()) k->CallChange();
    SetStationType(core::kStationDigi);
    Play(kSoundDisconnected);
    return true;
}

std::vector<std::string> TVerbindung::InfoboxHistory() const {
    std::lock_guard lock(mutex_);
    return history_;
}

// ---- automation clients ---------------------------------------------------------------

TVerbindung::TApplicationRec* TVerbindung::FindApplication(core::TApplicationKey client) {
    for (auto& rec : apps_)
        if (rec && rec->key == client) return rec.get();
    return nullptr;
}

std::size_t TVerbindung::ApplicationBytes(core::TApplicationKey client) const {
    std::lock_guard lock(appMutex_);
    for (const auto& rec : apps_)
        if (rec && rec->key == client) return rec->queue.Bytes();
    return 0;
}

bool TVerbindung::AddApplication(core::TApplicationKey client) {
    if (released_.load()) throw std::logic_error("Connection released");
    std::lock_guard lock(appMutex_);
    if (FindApplication(client)) return true;
    for (auto& rec : apps_) {
        if (!rec) {
            rec = std::make_unique<TApplicationRec>();
            rec->key = client;
            return true;
        }
    }
    return false;
}

void TVerbindung::RemoveApplication(core::TApplicationKey client) {
    std::lock_guard lock(appMutex_);
    for (auto& rec : apps_) {
        if (rec && rec->key == client) {
            core::DebOutObj(kClass, "RemoveApplication", "Remove Application!");
            rec.reset();
        }
    }
}

std::optional<std::string> TVerbindung::TakeApplicationText(core::TApplicationKey client) {
    std::lock_guard lock(appMutex_);
    TApplicationRec* rec = FindApplication(client);
    if (!rec) throw std::runtime_error("Application not found.");
    return rec->queue.Pop();
}

void TVerbindung::PutBackApplicationText(core::TApplicationKey client, std::string text) {
    std::lock_guard lock(appMutex_);
    if (TApplicationRec* rec = FindApplication(client)) rec->queue.PushStringFront(std::move(text));
}

void TVerbindung::WaitForText(core::TApplicationKey client, std::string_view text) {
    if (released_.load()) throw std::logic_error("Connection released");
    AddApplication(client);
    std::string buffer;
    for (;;) {
        std::optional<std::string> item;
        {
            std::lock_guard lock(appMutex_);
            TApplicationRec* rec = FindApplication(client);
            if (!rec) throw std::runtime_error("Application not found.");
            item = rec->queue.Pop();
        }
        if (!item) {
            if (released_.load()) throw std::logic_error("Connection released");
            if (core::QuitEvent().Wait(std::chrono::milliseconds(100)))
                throw std::logic_error("Connection released");
            continue;
        }
        // Keep just enough of what came before for a match across two items.
        const std::size_t keep = text.empty() ? 0 : std::min(buffer.size(), text.size() - 1);
        buffer = buffer.substr(buffer.size() - keep) + *item;
        const std::size_t at = buffer.find(text);
        if (at == std::string::npos) continue;
        std::lock_guard lock(appMutex_);
        if (TApplicationRec* rec = FindApplication(client))
            rec->queue.PushStringFront(buffer.substr(at + text.size()));
        return;
    }
}

std::string TVerbindung::ReceiveText(core::TApplicationKey client) {
    if (released_.load()) throw std::logic_error("Connection released");
    AddApplication(client);
    for (;;) {
        {
            std::lock_guard lock(appMutex_);
            TApplicationRec* rec = FindApplication(client);
            if (!rec) throw std::runtime_error("Application not found.");
            if (auto item = rec->queue.Pop()) return *item;
        }
        if (released_.load()) throw std::logic_error("Connection released");
        if (core::QuitEvent().Wait(std::chrono::milliseconds(100)))
            throw std::logic_error("Connection released");
    }
}

// ---- the worker thread -------------------------------------------------------------------

void TVerbindung::LinkEstablished(bool restored) {
    TARVO_ASSERT(Device() != nullptr, kUnit);
    SetState(core::kLinkConnected);
    restored_.store(restored);
    StartWorker();
}

void TVerbindung::StartWorker() {
    std::lock_guard lock(threadMutex_);
    if (threadStarted_ || threadEnding_ || released_.load()) return;
    if (thread_.joinable()) thread_.join();
    endEvent_.Reset();
    threadEnded_.Reset();
    threadStarted_ = true;
    thread_ = std::thread([self = shared_from_this()] {
        self->workerId_.store(std::this_thread::get_id());
        self->WorkerBody();
    });
    workerId_.store(thread_.get_id());
}

bool TVerbindung::WorkerRunning() const {
    return !threadEnded_.IsSet();
}

bool TVerbindung::OnWorkerThread() const {
    return workerId_.load() == std::this_thread::get_id();
}

void TVerbindung::WorkerBody() {
    platform::SetCurrentThreadName("TVerbindung");
    try {
        core::DebOutObj(kClass, "Run");
        if (ctx_.connections) ctx_.connections->Add(shared_from_this());
        try {
            if (auto k = Kanal()) {
                if (restored_.load()) {
                    k->Restored();
                } else {
                    k->Verbunden();
                }
            }
            if (!restored_.load()) Play(outgoing_.load() ? kSoundOutgoing : kSoundIncoming);
            if (sendGreeting_.load()) {
                core::DebOutObj(kClass, "Run", "Sende ConnectText...");
                if (ctx_.config->SendSid()) SendStationId();
                if (ctx_.texte) ctx_.texte->SendText(0, *this);
            }
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "Run",
                                         "Before RunStandard");
        }
        RunModulesGuarded();
        if (ctx_.connections) ctx_.connections->Remove(this);
        core::DebOutObj(kClass, "Run", "end.");
    } catch (...) {
        core::ShowUnhandledException(std::current_exception(), "TVerbindungThread", "Execute");
    }
    threadEnded_.Set();
}

void TVerbindung::RunModulesGuarded() {
    if (!ctx_.runModules) return;
    for (int failures = 0;;) {
        try {
            ctx_.runModules(shared_from_this());
            return;
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClass, "Run",
                                         "While RunStandard");
        }
        // A link that ends anyway needs no module any more.
        if (endEvent_.IsSet() || core::QuitEvent().IsSet() || released_.load()) return;
        // Never a live link without a worker: typed text would stop going out
        // and received data pile up.
        if (++failures > kMaxModuleRestarts) {
            EndLinkOnFault(
                "Interner Fehler bei der Auswertung der empfangenen Daten. "
                "Verbindung wird beendet.");
            return;
        }
        core::DebOutObj(kClass, "Run", "RunStandard neu gestartet");
    }
}

bool TVerbindung::WaitBounded(platform::Event& event, std::chrono::milliseconds timeout) {
    platform::Event* events[] = {&event};
    if (ctx_.dispatcher->IsMainThread()) {
        // A worker blocked in a call to the main thread must be able to finish.
        return ctx_.dispatcher->WaitServing(events, timeout).Signalled(0);
    }
    return platform::WaitAny(events, timeout).Signalled(0);
}

void TVerbindung::EndThread() {
    core::DebOutObj(kClass, "EndThread", "ENDTHREAD: begin...");
    std::thread worker;
    {
        std::lock_guard lock(threadMutex_);
        core::DebOutObj(kClass, "EndThread", "ENDTHREAD: in critical section...");
        if (!threadStarted_) {
            core::DebOutObj(kClass, "EndThread", "ENDTHREAD: end.");
            return;
        }
        // The thread leaves the connection here: a call served below that
        // comes back (Getrennt, Release) finds none to end and no lock held.
        worker = std::move(thread_);
        threadStarted_ = false;
        threadEnding_ = true;
        endEvent_.Set();
    }
    core::DebOutObj(kClass, "EndThread", "ENDTHREAD: Warte auf Thread...");
    const bool self = worker.get_id() == std::this_thread::get_id();
    const bool ended = self || WaitBounded(threadEnded_, kThreadEndTimeout);
    if (self) {
        worker.detach();
    } else if (ended) {
        core::DebOutObj(kClass, "EndThread", "ENDTHREAD: FThread.free...");
        std::thread::id id = worker.get_id();
        worker.join();
        workerId_.compare_exchange_strong(id, std::thread::id());
    } else {
        // It holds its own reference to the connection and ends on its own.
        core::DebOutObj(kClass, "EndThread", "ENDTHREAD: Thread wird hart terminiert...");
        worker.detach();
    }
    {
        std::lock_guard lock(threadMutex_);
        threadEnding_ = false;
    }
    core::DebOutObj(kClass, "EndThread", "ENDTHREAD: FThread := nil");
    core::DebOutObj(kClass, "EndThread", "ENDTHREAD: end.");
}

void TVerbindung::Getrennt(std::uint8_t reason) {
    core::DebOutObj(kClass, "Getrennt");
    TARVO_ASSERT(Device() != nullptr, kUnit);
    // The module shows what is left, but only a running worker can drain it.
    if (WorkerRunning() && !OnWorkerThread()) {
        platform::Event* events[] = {&receiveQueue_.EmptyEvent(), &threadEnded_};
        if (ctx_.dispatcher->IsMainThread()) {
            ctx_.dispatcher->WaitServing(events, kDrainTimeout);
        } else {
            platform::WaitAny(events, kDrainTimeout);
        }
        core::DebOutObj(kClass, "Getrennt", "ReceiveQueue leer...");
    }
    EndThread();
    SetState(core::kLinkDisconnected);
    Play(reason != core::kDisconnectNormal ? kSoundFailure : kSoundDisconnected);
    std::shared_ptr<core::IKanalFuerVerbindung> kanal;
    {
        std::lock_guard lock(mutex_);
        kanal = std::move(kanal_);
        stationEntry_.reset();
    }
    if (kanal) kanal->Getrennt(reason);
}

// ---- disconnecting ---------------------------------------------------------------------

void TVerbindung::Disconnect() {
    if (!Device()) discLevel_.store(core::kDiscKill);
    OnMain([this] { StopDiscTimer(); });
    const std::uint8_t before = discLevel_.load();
    std::uint8_t after = before;
    const char* text = nullptr;
    switch (before) {
        case core::kDiscNone:
            text = "None > End", after = core::kDiscEnd;
            break;
        case core::kDiscEnd:
            text = "End > Cancel", after = core::kDiscCancel;
            break;
        case core::kDiscEnded:
            text = "Ended > Cancel", after = core::kDiscCancel;
            break;
        case core::kDiscCancel:
            text = "Cancel > Kill", after = core::kDiscKill;
            break;
        case core::kDiscCanceled:
            text = "Canceled > Kill", after = core::kDiscKill;
            break;
        case core::kDiscKill:
            text = "Kill", after = core::kDiscKill;
            break;
        case core::kDiscKilled:
            text = "Killed", after = core::kDiscKilled;
            break;
        default:
            throw std::runtime_error("DiscLevel ung\xFCltig.");
    }
    core::DebOutObj(kClass, "Disconnect", text);
    discLevel_.store(after);
    if (after == core::kDiscEnd) OnMain([this] { StartDiscTimer(); });
    if (after < core::kDiscKill) Play(kSoundDisconnecting);
    if (after > core::kDiscEnd) {
        if (auto d = Device()) d->Trenne(shared_from_this());
    }
}

void TVerbindung::DiscLevelDone() {
    const char* text = "Keine \xC4nderung.";
    std::uint8_t level = discLevel_.load();
    switch (level) {
        case core::kDiscEnd:
            text = "war End, wird Ended.", level = core::kDiscEnded;
            break;
        case core::kDiscCancel:
            text = "war Cancel, wird Canceled.", level = core::kDiscCanceled;
            break;
        case core::kDiscKill:
            text = "war Kill, wird Killed.", level = core::kDiscKilled;
            break;
        default:
            break;
    }
    core::DebOutObj(kClass, "DiscLevelDone", text);
    discLevel_.store(level);
    SetState(core::kLinkDisconnecting);
}

void TVerbindung::StartDiscTimer() {
    StopDiscTimer();
    std::weak_ptr<TVerbindung> weak = weak_from_this();
    discTimer_ = ctx_.dispatcher->StartTimer(kDiscTimerInterval, true, [weak] {
        if (auto self = weak.lock()) self->DiscTimerTick();
    });
    discTimerRunning_.store(true);
}

void TVerbindung::StopDiscTimer() {
    if (discTimer_) ctx_.dispatcher->StopTimer(*discTimer_);
    discTimer_.reset();
    discTimerRunning_.store(false);
}

bool TVerbindung::DiscTimerRunning() const {
    return discTimerRunning_.load();
}

void TVerbindung::DiscTimerTick() {
    if (released_.load()) {
        StopDiscTimer();
        return;
    }
    // Everything said must be out, and acknowledged, before the link ends.
    if (!linkSendQueue_.IsEmpty() || !receiveQueue_.IsEmpty() || !userSendQueue_.IsEmpty()) return;
    if (status_->GetUnacked() != 0) return;
    StopDiscTimer();
    if (auto d = Device()) d->Trenne(shared_from_this());
}

void TVerbindung::CancelTransfer() {
    if (auto m = Modul()) m->Cancel();
}

void TVerbindung::PactorChangeOver() {
    core::DebOutObj(kClass, "PactorChangeOver");
    if (auto d = Device()) d->PactorChangeover(shared_from_this());
}

void TVerbindung::PactorBreakIn() {
    core::DebOutObj(kClass, "PactorBreakIn");
    if (auto d = Device()) d->PactorBreakIn(shared_from_this());
}

// ---- kept across restarts -------------------------------------------------------------------

void TVerbindung::Save(std::string_view registryPath) {
    if (!ctx_.registry) return;
    std::string key(registryPath);
    key += '\\';
    key += std::to_string(handle_.load());
    platform::IRegistry& r = *ctx_.registry;
    if (!r.CreateKey(Hive::LocalMachine, key)) return;
    const auto k = Kanal();
    const bool ok =
        r.WriteText(Hive::LocalMachine, key, "C", Path()) &&
        r.WriteText(Hive::LocalMachine, key, "R", RealPath()) &&
        r.WriteText(Hive::LocalMachine, key, "M", MyCall()) &&
        r.WriteDWord(Hive::LocalMachine, key, "A", outgoing_.load() ? 1 : 0) &&
        r.WriteText(Hive::LocalMachine, key, "H", core::ToCommaText(InfoboxHistory())) &&
        r.WriteDWord(Hive::LocalMachine, key, "K",
                     static_cast<std::uint32_t>(k ? k->GetNummer() : -1)) &&
        r.WriteDWord(Hive::LocalMachine, key, "T",
                     static_cast<std::uint32_t>(stationType_.load())) &&
        r.WriteDWord(Hive::LocalMachine, key, "S", state_.load()) &&
        r.WriteDWord(Hive::LocalMachine, key, "BinMode", binMode_.load()) &&
        r.WriteDWord(Hive::LocalMachine, key, "LocalEcho", localEcho_.load() ? 1 : 0);
    if (!ok) core::DebOutObj(kClass, "Save", "write failed");
}

void TVerbindung::Restore(std::string_view registryPath, std::int32_t handle) {
    handle_.store(handle);
    std::string key(registryPath);
    key += '\\';
    key += std::to_string(handle);
    platform::IRegistry* r = ctx_.registry;
    if (r && r->KeyExists(Hive::LocalMachine, key)) {
        try {
            // A value missing from a damaged key leaves what the device knows.
            const auto text = [&](const char* name) {
                auto value = r->ReadText(Hive::LocalMachine, key, name);
                if (!value)
                    core::DebOutObj(kClass, "Restore",
                                    std::string("Wert \"") + name + "\" fehlt in " + key);
                return value;
            };
            if (const auto c = text("C")) SetPath(*c);
            if (const auto rp = text("R")) SetRealPath(*rp);
            if (const auto m = text("M")) SetMyCall(*m);
            outgoing_.store(r->ReadDWord(Hive::LocalMachine, key, "A").value_or(0) != 0);
            {
                auto h =
                    core::FromCommaText(r->ReadText(Hive::LocalMachine, key, "H").value_or(""));
                if (h.size() > kMaxHistory) h.erase(h.begin(), h.end() - kMaxHistory);
                std::lock_guard lock(mutex_);
                history_ = std::move(h);
            }
            const auto t = r->ReadDWord(Hive::LocalMachine, key, "T");
            stationType_.store(t && *t < 6 ? static_cast<std::int32_t>(*t) : 0);
            const auto s = r->ReadDWord(Hive::LocalMachine, key, "S");
            state_.store(s && *s < 4 ? static_cast<std::uint8_t>(*s)
                                     : std::uint8_t{core::kLinkConnected});
            const auto b = r->ReadDWord(Hive::LocalMachine, key, "BinMode");
            binMode_.store(b && *b < 6 ? static_cast<std::uint8_t>(*b) : 0);
            const auto e = r->ReadDWord(Hive::LocalMachine, key, "LocalEcho");
            localEcho_.store(!(e && *e == 0));
            sendGreeting_.store(false);
            const auto kv = r->ReadDWord(Hive::LocalMachine, key, "K");
            const int k = kv ? static_cast<std::int32_t>(*kv) : -1;
            const int count = ctx_.channelCount ? ctx_.channelCount() : 0;
            std::shared_ptr<core::IKanalFuerVerbindung> kanal;
            if (k >= 1 && k <= count && ctx_.channel) kanal = ctx_.channel(k);
            SetKanal(kanal);
        } catch (const std::exception& ex) {
            core::DebOutObj(kClass, "Restore",
                            core::DemangledTypeName(typeid(ex)) + ":" + ex.what());
            r->DeleteKey(Hive::LocalMachine, key);
            throw;
        }
        if (!r->DeleteKey(Hive::LocalMachine, key))
            core::DebOutObj(
                kClass, "Restore",
                "FEHLER beim L\xF6schen der wiederhergestellten Verbindung in der Registry.");
    }
    remoteCommandsEnabled_.store(true);
    if (state_.load() > core::kLinkConnecting) LinkEstablished(true);
}

}  // namespace tarvo::connection
