#include "devices/GeraetAgwpeU.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "channels/KanalU.h"
#include "connection/VerbindungU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/FunkKanalU.h"
#include "devices/GeraetHostmodeU.h"
#include "devices/MyCallsU.h"
#include "devices/SsidIteratorU.h"
#include "platform/TcpSocket.h"

namespace tarvo::devices {

using agwpe::TFrame;

namespace {

constexpr std::uint32_t kMsgEigeneRufzeichenAgwpe = 0x4443;
// A connection joined the list: the worker's wait takes in its send queue.
constexpr std::uint32_t kMsgVerbindungNeu = 0x4444;

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(' ', pos);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(text.find(' ', start), text.size());
        out.push_back(text.substr(start, end - start));
        pos = end;
    }
    return out;
}

// A frame about a link: its port and the two calls as the engine pairs them.
TFrame LinkFrame(char kind, const core::IVerbindung& v) {
    TFrame f;
    f.kind = kind;
    f.port = static_cast<std::uint8_t>(v.Handle());
    f.callFrom = v.MyCall();
    f.callTo = v.Call();
    return f;
}

}  // namespace

TGeraetAgwpe::TGeraetAgwpe(const TGeraetContext& ctx)
    : TGeraet(ctx), messages_(std::make_shared<platform::ThreadMessageQueue>()) {
    if (ctx.myCalls) {
        callsSubscriber_ = std::make_shared<core::TSubscriberAdapter>([this](const void*) {
            if (ThreadRunning()) messages_->Post(kMsgEigeneRufzeichenAgwpe);
        });
        ctx.myCalls->Subscribe(callsSubscriber_);
    }
}

TGeraetAgwpe::~TGeraetAgwpe() {
    if (callsSubscriber_) {
        if (Context().myCalls) Context().myCalls->Unsubscribe(callsSubscriber_);
        callsSubscriber_->Detach();
    }
    std::vector<std::shared_ptr<core::IVerbindung>> conns;
    {
        std::lock_guard lock(connsMutex_);
        conns.swap(verbindungen_);
    }
    for (auto& v : conns) v->Release();
    std::lock_guard lock(radioMutex_);
    for (auto& f : funkKanaele_) f->DetachGeraet();
}

TGeraetKind TGeraetAgwpe::Kind() {
    return TGeraetKind{kClassName, kBezeichnung, [](const TGeraetContext& ctx) {
                           return std::shared_ptr<TGeraet>(std::make_shared<TGeraetAgwpe>(ctx));
                       }};
}

void TGeraetAgwpe::Log(std::string_view method, std::string_view text) const {
    core::DebOutObj(kClassName, method, text);
}

TGeraetAgwpeParameter TGeraetAgwpe::Parameter() const {
    std::lock_guard lock(parameterMutex_);
    return parameter_;
}

void TGeraetAgwpe::SetParameter(const TGeraetAgwpeParameter& p) {
    {
        std::lock_guard lock(parameterMutex_);
        parameter_ = p;
    }
    // The settings page shows where the engine is.
    SetInfo((p.Hostname.empty() ? std::string("localhost") : p.Hostname) + ":" +
            std::to_string(p.Port));
}

std::vector<std::shared_ptr<core::IVerbindung>> TGeraetAgwpe::Verbindungen() const {
    std::lock_guard lock(connsMutex_);
    return verbindungen_;
}

std::vector<std::string> TGeraetAgwpe::Registered() const {
    std::lock_guard lock(callsMutex_);
    return registered_;
}

void TGeraetAgwpe::Sleep(std::chrono::milliseconds ms) {
    platform::Event* events[] = {&StopEvent(), &core::QuitEvent()};
    platform::WaitAny(events, ms);
}

// ---- settings -------------------------------------------------------------------------------

void TGeraetAgwpe::Init() {
    const std::string key = RegKey();
    if (!key.empty() && Context().registry) {
        const auto& reg = *Context().registry;
        const auto hive = platform::Hive::LocalMachine;
        TGeraetAgwpeParameter p = Parameter();
        if (auto v = reg.GetValue(hive, key, "Hostname"); v && v->IsString()) p.Hostname = v->text;
        if (auto v = reg.GetValue(hive, key, "Port"); v && v->type == platform::kRegDword)
            p.Port = static_cast<std::int32_t>(v->number);
        if (auto v = reg.GetValue(hive, key, "Username"); v && v->IsString()) p.Username = v->text;
        if (auto v = reg.GetValue(hive, key, "Password"); v && v->IsString()) p.Password = v->text;
        SetParameter(p);
    }
    TGeraet::Init();
}

void TGeraetAgwpe::Save() {
    TGeraet::Save();
    auto* reg = Context().registry;
    if (!reg) return;
    const std::string key = RegKey();
    const auto hive = platform::Hive::LocalMachine;
    const TGeraetAgwpeParameter p = Parameter();
    reg->SetValue(hive, key, "Hostname", platform::RegValue::String(p.Hostname));
    reg->SetValue(hive, key, "Port", platform::RegValue::DWord(static_cast<std::uint32_t>(p.Port)));
    reg->SetValue(hive, key, "Username", platform::RegValue::String(p.Username));
    reg->SetValue(hive, key, "Password", platform::RegValue::String(p.Password));
}

void TGeraetAgwpe::EinstellungenUebernehmen() {
    TGeraetAgwpeParameter current, session;
    {
        std::lock_guard lock(parameterMutex_);
        current = parameter_;
        session = sessionParameter_;
    }
    if (Status() == TGeraetStatus::Bereit && current == session) return;
    // A device added on the settings page has no worker yet. The links stay in
    // the list through the restart (only a failed login ends them), so they
    // keep their channels and what the channels show.
    if (ThreadRunning()) DeInit();
    SetRegKey("");
    Init();
}

// ---- radio channels and connections ---------------------------------------------------------

std::vector<std::shared_ptr<core::IFunkKanal>> TGeraetAgwpe::GetFunkKanaele(int max) {
    std::vector<std::shared_ptr<core::IFunkKanal>> out;
    std::lock_guard lock(radioMutex_);
    for (const auto& f : funkKanaele_) {
        if (static_cast<int>(out.size()) >= max) break;
        out.push_back(f);
    }
    return out;
}

std::shared_ptr<core::IVerbindung> TGeraetAgwpe::Find(const std::string& call,
                                                      const std::string& myCall, int handle) const {
    std::lock_guard lock(connsMutex_);
    for (const auto& v : verbindungen_)
        if (v->Handle() == handle && agwpe::SameCall(v->Call(), call) &&
            agwpe::SameCall(v->MyCall(), myCall))
            return v;
    return nullptr;
}

void TGeraetAgwpe::Remove(const core::IVerbindung* v) {
    std::lock_guard lock(connsMutex_);
    std::erase_if(verbindungen_, [v](const auto& e) { return e.get() == v; });
}

void TGeraetAgwpe::Restore() {
    auto restored = RestoreVerbindungen();
    {
        std::lock_guard lock(connsMutex_);
        for (auto& v : restored) verbindungen_.push_back(std::move(v));
    }
    messages_->Post(kMsgVerbindungNeu);
}

// ---- the wire -------------------------------------------------------------------------------

bool TGeraetAgwpe::Send(const TFrame& frame) {
    std::string bytes, error;
    if (!agwpe::EncodeFrame(frame, bytes, error)) {
        Log("Send", std::string(1, frame.kind) + ": " + error);
        return false;
    }
    std::shared_ptr<platform::TcpStream> stream;
    {
        std::lock_guard lock(streamMutex_);
        stream = stream_;
    }
    if (!stream) return false;
    std::lock_guard lock(writeMutex_);
    const platform::TcpIo io = stream->Write(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size(), kWriteTimeout);
    if (io.Ok() && io.count == bytes.size()) return true;
    // A frame cut short leaves the stream unusable: the worker starts again.
    Log("Send", "Schreiben fehlgeschlagen");
    stream->Shutdown();
    return false;
}

void TGeraetAgwpe::EigeneRufzeichenSetzen() {
    std::vector<TMyCalls::Entry> calls;
    if (Context().myCalls) calls = Context().myCalls->Snapshot();
    const std::vector<std::string> neu = CallsignsBySsidPosition(calls);
    std::vector<std::string> alt;
    {
        std::lock_guard lock(callsMutex_);
        alt = registered_;
    }
    const auto contains = [](const std::vector<std::string>& list, const std::string& c) {
        return std::any_of(list.begin(), list.end(),
                           [&](const std::string& e) { return agwpe::SameCall(e, c); });
    };
    std::vector<std::string> done;
    for (const std::string& c : alt) {
        if (contains(neu, c)) {
            done.push_back(c);
            continue;
        }
        Log("EigeneRufzeichenSetzen", "dereg: " + c);
        TFrame f;
        f.kind = 'x';
        f.callFrom = c;
        Send(f);
    }
    for (const std::string& c : neu) {
        if (contains(alt, c)) continue;
        Log("EigeneRufzeichenSetzen", "reg: " + c);
        TFrame f;
        f.kind = 'X';
        f.callFrom = c;
        if (Send(f)) done.push_back(c);
    }
    std::lock_guard lock(callsMutex_);
    registered_ = std::move(done);
}

void TGeraetAgwpe::Run() {
    while (!IsTerminated()) {
        try {
            if (Session()) break;
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), kClassName, "Run");
            SetStatus(TGeraetStatus::Fehler, core::ExceptionMessage(std::current_exception()));
            Failure("Ausnahme");
            return;
        }
        if (IsTerminated()) break;
        SetStatus(TGeraetStatus::Fehler, "Retrying...");
        Sleep(kRetryWait);
    }
    std::shared_ptr<platform::TcpStream> stream;
    {
        std::lock_guard lock(streamMutex_);
        stream = std::exchange(stream_, nullptr);
    }
    if (stream) stream->Shutdown();
}

void TGeraetAgwpe::Failure(const std::string& why) {
    Log("Run", "Verbindung zur Engine verloren: " + why);
    std::shared_ptr<platform::TcpStream> stream;
    {
        std::lock_guard lock(streamMutex_);
        stream = std::exchange(stream_, nullptr);
    }
    if (stream) stream->Shutdown();
    std::vector<std::shared_ptr<TFunkKanal>> radios;
    {
        std::lock_guard lock(radioMutex_);
        radios.swap(funkKanaele_);
    }
    for (auto& f : radios) f->DetachGeraet();
    std::vector<std::shared_ptr<core::IVerbindung>> conns;
    {
        std::lock_guard lock(connsMutex_);
        conns.swap(verbindungen_);
    }
    for (auto it = conns.rbegin(); it != conns.rend(); ++it) {
        (*it)->Getrennt(core::kDisconnectLinkFailure);
        (*it)->Release();
    }
    std::lock_guard lock(callsMutex_);
    registered_.clear();
}

bool TGeraetAgwpe::Session() {
    SetStatus(TGeraetStatus::Init, "Init...");
    TGeraetAgwpeParameter p;
    {
        std::lock_guard lock(parameterMutex_);
        p = parameter_;
        sessionParameter_ = p;
    }
    std::string error = agwpe::CheckLogin(p.Username, p.Password);
    if (error.empty() && (p.Port <= 0 || p.Port > 65535))
        error =
            core::FillArgs(core::Tr("TGeraetAgwpe", "Port %1 ungültig"), {std::to_string(p.Port)});
    std::shared_ptr<platform::TcpStream> stream;
    if (error.empty())
        stream = platform::TcpStream::Connect(p.Hostname, static_cast<std::uint16_t>(p.Port),
                                              kConnectTimeout, error);
    if (!stream) {
        SetStatus(TGeraetStatus::Fehler, error);
        Failure(error);
        return false;
    }
    {
        std::lock_guard lock(streamMutex_);
        stream_ = stream;
    }
    SetStatus(TGeraetStatus::Bereit);
    reader_.Clear();
    pollLinks_.clear();
    maxFrame_.fill(-1);
    const auto simple = [this](char kind) {
        TFrame f;
        f.kind = kind;
        return Send(f);
    };
    if (!p.Username.empty()) Send(agwpe::LoginFrame(p.Username, p.Password));
    simple('G');
    simple('R');
    simple('m');
    // Raw frames, where the engine has them, are decoded here: engines differ
    // in their monitor texts.
    simple('k');
    rawSeen_ = false;
    {
        std::lock_guard lock(callsMutex_);
        registered_.clear();
    }
    EigeneRufzeichenSetzen();

    std::vector<std::uint8_t> buffer(16 * 1024);
    auto nextPoll = std::chrono::steady_clock::now();
    while (!IsTerminated()) {
        while (auto m = messages_->TryGet()) {
            if (m->id == kMsgEigeneRufzeichenAgwpe) {
                Log("Run", "msg_eigenerufzeichen empfangen");
                EigeneRufzeichenSetzen();
            }
        }
        SendQueued();
        bool gone;
        {
            std::lock_guard lock(streamMutex_);
            gone = stream_ != stream;
        }
        if (gone) {
            Failure("Schreiben fehlgeschlagen");
            return false;
        }

        // Asleep until the engine sends, a link has data to send, a message
        // comes, or the outstanding frames of a link are due to be asked for.
        std::vector<platform::Event*> events{&StopEvent(), &core::QuitEvent()};
        bool polling = false;
        const auto now = std::chrono::steady_clock::now();
        const bool due = now >= nextPoll;
        const auto links = Verbindungen();
        const auto ended = [&](const core::IVerbindung* p) {
            return std::none_of(links.begin(), links.end(),
                                [p](const auto& v) { return v.get() == p; });
        };
        std::erase_if(pollLinks_, ended);
        std::erase_if(linkFlags_, [&](const auto& e) { return ended(e.first); });
        std::erase_if(carried_, [&](const auto& e) { return ended(e.first); });
        for (const auto& v : links) {
            const bool waiting = v->LinkSendQueue().Count() > 0;
            if (waiting || pollLinks_.contains(v.get())) {
                polling = true;
                if (due) Send(LinkFrame('Y', *v));
            }
            // A queue that still holds data waits for the window, not for its event.
            if (!waiting && events.size() < platform::kMaxWaitObjects)
                events.push_back(&v->LinkSendQueue().NotEmptyEvent());
            else if (!waiting)
                polling = true;  // more links than one wait can watch
        }
        if (due) nextPoll = now + kPollWait;
        std::chrono::milliseconds timeout = platform::kInfinite;
        if (polling)
            timeout = std::max(std::chrono::milliseconds(0),
                               std::chrono::ceil<std::chrono::milliseconds>(nextPoll - now));
        const platform::ReadableWaitResult r =
            stream->WaitReadable(events, timeout, messages_.get());
        if (r.wait.kind == platform::WaitResult::Kind::Failed) {
            Failure("Warten fehlgeschlagen");
            return false;
        }
        if (!r.readable) continue;
        const platform::TcpIo io =
            stream->ReadSome(buffer.data(), buffer.size(), std::chrono::milliseconds(0));
        if (!io.Ok()) {
            Failure(io.status == platform::TcpIo::Status::Closed ? "geschlossen"
                                                                 : core::SystemErrorText(io.error));
            return false;
        }
        reader_.Append(buffer.data(), io.count);
        for (;;) {
            TFrame frame;
            const agwpe::TReader::Result res = reader_.Next(frame);
            if (res == agwpe::TReader::Result::NeedMore) break;
            if (res == agwpe::TReader::Result::TooLarge) {
                Failure(
                    "DataLen \xFC"
                    "ber 64 KiB");
                return false;
            }
            HandleFrame(frame);
        }
    }
    return true;
}

void TGeraetAgwpe::SendQueued() {
    for (const auto& v : Verbindungen()) {
        int n = kMaxOutstanding;
        if (auto s = v->Status()) n -= std::max(0, s->GetUnacked());
        core::TStringQueue& queue = v->LinkSendQueue();
        for (; n > 0 && queue.Count() > 0; --n) {
            TFrame d = LinkFrame('D', *v);
            d.data = queue.PeekString();
            if (!Send(d)) return;
            queue.PopPart(static_cast<long>(d.data.size()));
            pollLinks_.insert(v.get());
            Carried(*v, d.data.size());
        }
    }
}

// ---- received frames ------------------------------------------------------------------------

void TGeraetAgwpe::HandleFrame(const TFrame& frame) {
    switch (frame.kind) {
        case 'C':
            Connected(frame);
            break;
        case 'D': {
            if (auto v = Find(frame.callFrom, frame.callTo, frame.port)) {
                Carried(*v, frame.data.size());
                v->DataReceived(frame.data);
            } else
                Log("ReceivedFrameD", "keine Verbindung zu " + frame.callFrom + " - verworfen");
            break;
        }
        case 'd':
            Disconnected(frame);
            break;
        case 'G':
            PortList(frame);
            break;
        case 'g':
            PortCapabilities(frame);
            break;
        case 'K': {
            // The first byte is the port again; the AX.25 frame follows.
            rawSeen_ = true;
            channels::TMonitorFrame m;
            if (frame.data.size() < 2 || !decoder_.Decode(std::string_view(frame.data).substr(1),
                                                          GetNummer(), frame.port + 1, m)) {
                Log("ReceivedFrameK", "kein AX.25-Frame");
                break;
            }
            LinkFrameSeen(m, frame.port);
            if (Context().kanaele) Context().kanaele->MonitorFrame(m);
            break;
        }
        case 'I':
        case 'S':
        case 'U':
            // The raw copy of the same frame has been shown.
            if (rawSeen_) break;
            [[fallthrough]];
        case 'T': {
            channels::TMonitorFrame m;
            if (!agwpe::ParseMonitor(frame.data, GetNummer(), m)) {
                Log("ReceivedFrameMonitor", "nicht erkannt: " + frame.data.substr(0, 60));
                break;
            }
            LinkFrameSeen(m, frame.port);
            if (Context().kanaele) Context().kanaele->MonitorFrame(m);
            break;
        }
        case 'R': {
            if (frame.data.size() < 8) {
                Log("ReceivedFrameR", "zu kurz");
                break;
            }
            char text[48];
            std::snprintf(text, sizeof text, "Version %u.%u", agwpe::ReadU32(frame.data, 0),
                          agwpe::ReadU32(frame.data, 4));
            Log("ReceivedFrameR", text);
            break;
        }
        case 'X':
            break;
        case 'Y': {
            if (frame.data.size() < 4) {
                Log("ReceivedFrameY", "zu kurz");
                break;
            }
            const std::uint32_t n = agwpe::ReadU32(frame.data, 0);
            if (auto v = Find(frame.callTo, frame.callFrom, frame.port)) {
                if (n == 0) pollLinks_.erase(v.get());
                if (auto s = v->Status())
                    s->SetUnacked(static_cast<std::int32_t>(std::min<std::uint32_t>(n, 1u << 30)));
            } else {
                Log("ReceivedFrameY", "keine Verbindung zu " + frame.callTo + " - verworfen");
            }
            break;
        }
        default:
            Log("HandleFrame", std::string("Unbekanntes Frame \"") + frame.kind + "\"");
            break;
    }
}

void TGeraetAgwpe::Refuse(const TFrame& frame, bool withText) {
    if (withText) {
        TFrame d;
        d.kind = 'D';
        d.port = frame.port;
        d.callFrom = frame.callTo;
        d.callTo = frame.callFrom;
        d.data = std::string(TGeraetHostmode::kReplyPrefix) +
                 std::string(TGeraetHostmode::kAlleKanaeleBelegt) + "\r";
        Send(d);
    }
    TFrame disc;
    disc.kind = 'd';
    disc.port = frame.port;
    disc.callFrom = frame.callTo;
    disc.callTo = frame.callFrom;
    Send(disc);
}

void TGeraetAgwpe::Connected(const TFrame& frame) {
    Log("ReceivedFrameC", "Text: " + frame.data);
    if (auto v = Find(frame.callFrom, frame.callTo, frame.port)) {
        Log("ReceivedFrameC", "Verbindung gefunden");
        KnownStatus(*v);
        v->LinkEstablished();
        return;
    }
    Log("ReceivedFrameC", "Verbindung nicht gefunden");
    const bool outgoing = agwpe::IsOutgoingNotice(frame.data);
    Log("ReceivedFrameC", outgoing ? "Ausgehend" : "Hereinkommend");
    auto v = NewVerbindung();
    v->SetPath(frame.callFrom);
    v->SetRealPath(frame.callFrom);
    v->SetMyCall(frame.callTo);
    v->SetHandle(frame.port);
    v->SetOutgoing(outgoing);
    bool keep = true;
    if (!outgoing) {
        switch (v->IncomingConnectPolicy()) {
            case 1: {
                auto frei = ReserveFreeChannel();
                if (frei) {
                    v->SetKanal(frei);
                } else {
                    Log("ReceivedFrameC",
                        "Verbindungswunsch von " + v->Call() + " abgelehnt (kein freier Kanal).");
                    Refuse(frame, true);
                    keep = false;
                }
                break;
            }
            case 2:
                Log("ReceivedFrameC", "Verbindungswunsch von " + v->Call() + " ignoriert.");
                Refuse(frame, false);
                keep = false;
                break;
            default:
                Log("ReceivedFrameC", "Verbindungswunsch von " + v->Call() + " abgelehnt.");
                Refuse(frame, true);
                keep = false;
                break;
        }
    } else {
        auto frei = ReserveFreeChannel();
        if (frei) {
            v->SetKanal(frei);
        } else {
            // Nobody would see this link: it is ended instead of kept hidden.
            Log("ReceivedFrameC", "kein freier Kanal - getrennt");
            Refuse(frame, false);
            keep = false;
        }
    }
    if (!keep) {
        v->Release();
        return;
    }
    v->SetSendGreeting(!outgoing);
    v->SetRemoteCommandsEnabled(true);
    KnownStatus(*v);
    {
        std::lock_guard lock(connsMutex_);
        verbindungen_.push_back(v);
    }
    v->LinkEstablished();
}

void TGeraetAgwpe::Disconnected(const TFrame& frame) {
    Log("ReceivedFrameDisc",
        std::to_string(frame.data.size()) + " " + core::AsciiUpper(frame.data));
    auto v = Find(frame.callFrom, frame.callTo, frame.port);
    if (!v) {
        Log("ReceivedFrameDisc", "keine Verbindung - verworfen");
        return;
    }
    Remove(v.get());
    v->Getrennt(agwpe::DisconnectReason(frame.data));
    v->Release();
}

void TGeraetAgwpe::PortList(const TFrame& frame) {
    const auto items = agwpe::ParsePortList(frame.data, TGeraet::kMaxFunkKanaele);
    const auto self = std::static_pointer_cast<TGeraet>(shared_from_this());
    std::vector<std::shared_ptr<TFunkKanal>> made;
    for (const agwpe::TPortItem& item : items) {
        auto f = TFunkKanal::Create(self, Context().kanaele);
        f->SetName(item.name);
        f->SetPort(item.port);
        char kennung[16];
        std::snprintf(kennung, sizeof kennung, "AGWPE%2.2d", item.port);
        f->SetKennung(kennung);
        made.push_back(std::move(f));
    }
    std::vector<std::shared_ptr<TFunkKanal>> old;
    {
        std::lock_guard lock(radioMutex_);
        old = std::exchange(funkKanaele_, std::move(made));
    }
    for (auto& f : old) f->DetachGeraet();
    // What each port is set to, for the status bar of its links.
    for (const agwpe::TPortItem& item : items) {
        TFrame g;
        g.kind = 'g';
        g.port = static_cast<std::uint8_t>(item.port);
        Send(g);
    }
}

void TGeraetAgwpe::KnownStatus(core::IVerbindung& v) {
    auto s = v.Status();
    if (!s) return;
    const int port = v.Handle();
    if (port >= 0 && port < static_cast<int>(maxFrame_.size()) && maxFrame_[port] >= 0)
        s->SetMaxFrame(maxFrame_[port]);
    // A fresh link is in its plain connected state.
    s->SetLinkFlags(0);
}

void TGeraetAgwpe::PortCapabilities(const TFrame& frame) {
    const int maxFrame = agwpe::MaxFrameOfPort(frame.data);
    if (maxFrame < 0) {
        Log("ReceivedFrameg", "zu kurz");
        return;
    }
    maxFrame_[frame.port] = maxFrame;
    for (const auto& v : Verbindungen())
        if (v->Handle() == frame.port)
            if (auto s = v->Status()) s->SetMaxFrame(maxFrame);
}

void TGeraetAgwpe::LinkFrameSeen(const channels::TMonitorFrame& m, int port) {
    for (const auto& v : Verbindungen()) {
        if (v->Handle() != port) continue;
        const bool fromRemote =
            agwpe::SameCall(m.Von, v->Call()) && agwpe::SameCall(m.An, v->MyCall());
        const bool fromUs = agwpe::SameCall(m.Von, v->MyCall()) && agwpe::SameCall(m.An, v->Call());
        if (!fromRemote && !fromUs) continue;
        auto& flags = linkFlags_[v.get()];
        flags = agwpe::NextLinkFlags(flags, m, fromUs);
        if (auto s = v->Status()) s->SetLinkFlags(flags);
    }
}

void TGeraetAgwpe::Carried(const core::IVerbindung& v, std::size_t bytes) {
    const std::uint64_t now = Clock().SteadyMs();
    const auto [it, fresh] = carried_.try_emplace(&v);
    TMeasure& m = it->second;
    if (fresh) m.shown = now;
    m.meter.Count(bytes, now);
    // Data frames come without a pass of their own: the figure follows them.
    if (now < m.shown + static_cast<std::uint64_t>(kThroughputWindow.count())) return;
    m.shown = now;
    if (auto s = v.Status()) s->SetThroughput(m.meter.Sample(now));
}

// ---- main-thread requests -------------------------------------------------------------------

std::string TGeraetAgwpe::SendUI(core::IFunkKanal& funkkanal, std::string_view ziel,
                                 std::string_view data, std::string_view mycall) {
    if (data.empty()) return {};
    TFrame f;
    const std::string why =
        agwpe::UIFrame(static_cast<std::uint8_t>(funkkanal.GetPort()), core::AsciiUpper(mycall),
                       SplitBlanks(connection::NormalizePath(ziel)), data, f);
    if (!why.empty()) return why;
    if (!Send(f)) return core::Tr("TGeraetAgwpe", "Keine Verbindung zur Engine");
    return {};
}

std::uint8_t TGeraetAgwpe::Verbinde(core::IFunkKanal& funkkanal, std::string& ziel,
                                    std::shared_ptr<core::IVerbindung>& verbindung,
                                    const std::shared_ptr<core::IKanal>& kanal,
                                    std::string& mycall) {
    verbindung.reset();
    auto v = NewVerbindung();
    v->SetPath(ziel);
    v->SetMyCall(mycall);
    v->SetRealPath(v->Path());
    v->SetOutgoing(true);
    v->SetSendGreeting(false);
    v->SetRemoteCommandsEnabled(true);
    const std::vector<std::string> digis = SplitBlanks(v->Digis());
    std::string error = agwpe::CheckDigis(digis);
    if (error.empty()) error = agwpe::CheckCall(v->Call());
    if (!error.empty()) {
        Log("Verbinde", error);
        v->Release();
        return kConnectDeviceError;
    }
    const int port = funkkanal.GetPort();
    TSsidIterator candidates(v->MyCall(), Context().myCalls.get());
    for (bool have = candidates.First(); have; have = candidates.Next()) {
        const std::string& c = candidates.Current();
        v->SetMyCall(c);
        v->SetRealPath(v->Path());
        v->SetHandle(port);
        Log("Verbinde", "MyCall: " + c + " " + v->Call());
        if (agwpe::SameCall(c, v->Call()) || Find(v->Call(), c, port)) continue;
        v->SetKanal(std::dynamic_pointer_cast<core::IKanalFuerVerbindung>(kanal));
        {
            std::lock_guard lock(connsMutex_);
            verbindungen_.push_back(v);
        }
        messages_->Post(kMsgVerbindungNeu);
        TFrame f;
        f.port = static_cast<std::uint8_t>(port);
        f.callFrom = c;
        f.callTo = v->Call();
        if (digis.empty()) {
            f.kind = 'C';
        } else {
            f.kind = 'v';
            f.data = agwpe::DigiPayload(digis);
        }
        if (!Send(f)) {
            Remove(v.get());
            v->Release();
            return kConnectDeviceError;
        }
        ziel = v->Path();
        mycall = c;
        verbindung = v;
        return kConnectOk;
    }
    Log("Verbinde", "Keine freie SSID gefunden.");
    v->Release();
    return kConnectNoFreeSsid;
}

void TGeraetAgwpe::Trenne(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (!verbindung) return;
    switch (verbindung->DiscLevel()) {
        case core::kDiscEnd:
        case core::kDiscCancel:
            Send(LinkFrame('d', *verbindung));
            verbindung->DiscLevelDone();
            break;
        case core::kDiscKill:
            verbindung->Getrennt(core::kDisconnectNormal);
            Remove(verbindung.get());
            verbindung->DiscLevelDone();
            // Nothing else holds it for this device now.
            verbindung->Release();
            break;
        default:
            break;
    }
}

}  // namespace tarvo::devices
