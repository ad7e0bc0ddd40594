#include "core/ApplicationU.h"

#include <algorithm>
#include <charconv>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "devices/MyCallsU.h"
#include "devices/SsidIteratorU.h"
#include "platform/Dispatcher.h"

namespace tarvo::core {

namespace {

constexpr const char* kClass = "TApplications";
constexpr const char* kReleased = "Connection released";

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

bool IsPathCallsign(std::string_view word) {
    const devices::TRufzeichen r(word);
    if (!devices::IsValidCallsign(r.Call)) return false;
    return word.find('-') == std::string_view::npos || (r.SSID >= 0 && r.SSID <= 15);
}

bool IsViaWord(std::string_view word) {
    return EqualNoCase(word, "VIA") || EqualNoCase(word, "V");
}

}  // namespace

std::string_view ConnectErrorText(std::uint8_t result) {
    switch (result) {
        case 0:
            return "";
        case 1:
            return "Unknown error";
        case 2:
            return "Device timeout";
        case 3:
            return "No device";
        case 4:
            return "Channel already connected";
        case 5:
            return "No unused SSID available";
        case 6:
            return "Device error";
        case 7:
            return "No channel available";
        default:
            return "Unhandled error";
    }
}

bool IsValidConnectPath(std::string_view path) {
    const std::vector<std::string_view> words = Words(path);
    if (words.empty()) return false;
    bool callNext = true;  // a callsign must come now
    for (std::string_view w : words) {
        if (IsViaWord(w)) {
            if (callNext) return false;
            callNext = true;
        } else if (IsPathCallsign(w)) {
            callNext = false;
        } else {
            return false;
        }
    }
    return !callNext;
}

std::int64_t IndexFromText(std::string_view text) {
    text = TrimControls(text);
    std::int64_t value = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return -1;
    return value;
}

TApplications::TApplications(TApplicationsContext ctx) : ctx_(std::move(ctx)) {}

TApplications::~TApplications() = default;

// ---- the application ---------------------------------------------------------------

void TApplications::SetVisible(bool visible) {
    if (ctx_.setVisible) ctx_.setVisible(visible);
}

bool TApplications::Visible() const {
    return ctx_.visible && ctx_.visible();
}

std::vector<std::string> TApplications::MyCalls() const {
    return ctx_.myCalls ? ctx_.myCalls() : std::vector<std::string>{};
}

void TApplications::Connect(const std::string& client, std::string_view path, Done done) {
    DebOutObj(kClass, "Connect", path);
    if (!IsValidConnectPath(path)) throw TAutomationError("Invalid path");
    const std::vector<std::string> calls = MyCalls();
    if (calls.empty()) throw TAutomationError("No MyCall");
    std::vector<std::shared_ptr<IFunkKanal>> funk =
        ctx_.funkKanaele ? ctx_.funkKanaele() : std::vector<std::shared_ptr<IFunkKanal>>{};
    if (funk.size() > static_cast<std::size_t>(kMaxFunkKanaele)) funk.resize(kMaxFunkKanaele);
    if (funk.empty() || !funk.front()) throw TAutomationError(std::string(ConnectErrorText(3)));
    TApplication& app = Client(client);
    if (app.pending >= kMaxPendingPerClient) throw TAutomationError("Too many open calls");

    std::string ziel(path);
    std::string mycall = calls.front();
    std::shared_ptr<IVerbindung> verbindung;
    std::shared_ptr<IKanal> kanal;
    const std::uint8_t result = funk.front()->Verbinde(ziel, mycall, verbindung, kanal);
    if (result != 0) throw TAutomationError(std::string(ConnectErrorText(result)));
    if (!verbindung) throw TAutomationError(std::string(ConnectErrorText(1)));
    const std::uint64_t serial = Watch(verbindung);
    Register(app, verbindung);
    AddPending({Kind::Connect, client, serial, {}, {}, std::move(done)});
}

std::uint64_t TApplications::FindConnection(std::string_view call) {
    if (!ctx_.connections) return 0;
    for (const auto& v : ctx_.connections())
        if (v && EqualNoCase(v->Call(), call)) return Watch(v);
    return 0;
}

// ---- connections ---------------------------------------------------------------------

std::shared_ptr<IVerbindung> TApplications::Verbindung(std::uint64_t serial) const {
    std::lock_guard lock(watchMutex_);
    for (const auto& [key, w] : watched_)
        if (w.serial == serial)
            if (auto v = w.verbindung.lock()) return v;
    throw TAutomationError(kReleased);
}

void TApplications::WaitForText(const std::string& client, std::uint64_t serial,
                                std::string_view text, Done done) {
    const auto v = Verbindung(serial);
    TApplication& app = Client(client);
    if (app.pending >= kMaxPendingPerClient) throw TAutomationError("Too many open calls");
    Register(app, v);
    AddPending({Kind::Wait, client, serial, std::string(text), {}, std::move(done)});
}

void TApplications::ReceiveText(const std::string& client, std::uint64_t serial, Done done) {
    const auto v = Verbindung(serial);
    TApplication& app = Client(client);
    if (app.pending >= kMaxPendingPerClient) throw TAutomationError("Too many open calls");
    Register(app, v);
    AddPending({Kind::Receive, client, serial, {}, {}, std::move(done)});
}

std::uint64_t TApplications::Watch(const std::shared_ptr<IVerbindung>& verbindung) {
    std::vector<std::uint64_t> gone;
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(watchMutex_);
        // Connections that went without a word (their release came before they
        // were watched) are let go here.
        for (auto it = watched_.begin(); it != watched_.end();) {
            if (it->second.verbindung.expired()) {
                gone.push_back(it->second.serial);
                it = watched_.erase(it);
            } else {
                ++it;
            }
        }
        auto [it, added] = watched_.try_emplace(verbindung.get());
        if (added) it->second = {nextSerial_++, verbindung};
        serial = it->second.serial;
    }
    if (view_)
        for (std::uint64_t g : gone) view_->Released(g);
    return serial;
}

std::optional<std::uint64_t> TApplications::SerialOf(const IVerbindung& verbindung) const {
    std::lock_guard lock(watchMutex_);
    const auto it = watched_.find(&verbindung);
    if (it == watched_.end()) return std::nullopt;
    return it->second.serial;
}

void TApplications::Register(TApplication& app, const std::shared_ptr<IVerbindung>& verbindung) {
    // A full connection keeps no copy; the client hears "Application not found."
    // when it waits for text there.
    if (!verbindung->AddApplication(app.key)) return;
    const bool known = std::any_of(app.used.begin(), app.used.end(),
                                   [&](const auto& w) { return w.lock() == verbindung; });
    if (known) return;
    std::erase_if(app.used, [](const auto& w) { return w.expired(); });
    app.used.push_back(verbindung);
}

// ---- clients -------------------------------------------------------------------------

TApplication& TApplications::Client(const std::string& name) {
    auto [it, added] = clients_.try_emplace(name);
    if (added) {
        it->second.name = name;
        it->second.key = nextKey_++;
    }
    return it->second;
}

bool TApplications::HasClient(const std::string& client) const {
    return clients_.count(client) != 0;
}

void TApplications::RemoveClient(const std::string& client) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) return;
    DebOutObj(kClass, "Remove", client);
    for (const auto& w : it->second.used)
        if (auto v = w.lock()) v->RemoveApplication(it->second.key);
    clients_.erase(it);
    std::erase_if(pending_, [&](const TPending& p) { return p.client == client; });
}

void TApplications::Shutdown() {
    std::vector<TPending> open;
    open.swap(pending_);
    for (TPending& p : open)
        if (p.done) p.done({kReleased, {}, 0});
}

// ---- open calls ----------------------------------------------------------------------

void TApplications::AddPending(TPending pending) {
    if (auto it = clients_.find(pending.client); it != clients_.end()) ++it->second.pending;
    const std::uint64_t serial = pending.serial;
    pending_.push_back(std::move(pending));
    // What is there already (or a state that changed before the connection was
    // watched) answers at once.
    Serve(serial);
}

void TApplications::Finish(TPending& p, const TReply& reply) {
    if (auto it = clients_.find(p.client); it != clients_.end() && it->second.pending > 0)
        --it->second.pending;
    Done done = std::move(p.done);
    p.done = nullptr;
    if (done) done(reply);
}

bool TApplications::TryServe(TPending& p, const std::shared_ptr<IVerbindung>& verbindung) {
    if (p.kind == Kind::Connect) {
        if (verbindung && verbindung->State() == kLinkConnecting) return false;
        Finish(p, {{}, {}, p.serial});
        return true;
    }
    if (!verbindung) {
        Finish(p, {kReleased, {}, 0});
        return true;
    }
    const auto it = clients_.find(p.client);
    if (it == clients_.end()) return false;
    const TApplicationKey key = it->second.key;
    try {
        for (;;) {
            std::optional<std::string> item = verbindung->TakeApplicationText(key);
            if (p.kind == Kind::Receive) {
                if (!item) return false;
                Finish(p, {{}, std::move(*item), 0});
                return true;
            }
            if (!item) {
                if (!p.text.empty()) return false;
                // Nothing to look for: found at once, nothing taken.
                Finish(p, {});
                return true;
            }
            // Keep just enough of what came before for a match across two items.
            const std::size_t keep = std::min(p.buffer.size(), p.text.size() - 1);
            p.buffer = p.buffer.substr(p.buffer.size() - keep) + *item;
            const std::size_t at = p.buffer.find(p.text);
            if (at == std::string::npos) continue;
            verbindung->PutBackApplicationText(key, p.buffer.substr(at + p.text.size()));
            Finish(p, {});
            return true;
        }
    } catch (const std::exception& e) {
        Finish(p, {e.what(), {}, 0});
        return true;
    }
}

void TApplications::Serve(std::uint64_t serial) {
    std::shared_ptr<IVerbindung> verbindung;
    try {
        verbindung = Verbindung(serial);
    } catch (const TAutomationError&) {
    }
    // Answers may call back into this object: serve from a copy of the list.
    std::vector<TPending> mine;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->serial == serial) {
            mine.push_back(std::move(*it));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<TPending> open;
    for (TPending& p : mine)
        if (!TryServe(p, verbindung)) open.push_back(std::move(p));
    pending_.insert(pending_.begin(), std::make_move_iterator(open.begin()),
                    std::make_move_iterator(open.end()));
}

// ---- from the connections ------------------------------------------------------------

void TApplications::OnMain(std::function<void(TApplications&)> task) {
    if (!ctx_.dispatcher) return;
    ctx_.dispatcher->Post([weak = weak_from_this(), task = std::move(task)] {
        if (auto self = weak.lock()) task(*self);
    });
}

void TApplications::Received(IVerbindung& verbindung, std::string_view data) {
    const auto serial = SerialOf(verbindung);
    if (!serial) return;
    OnMain([serial = *serial, text = std::string(data)](TApplications& self) {
        if (self.view_) self.view_->TextReceived(serial, text);
        self.Serve(serial);
    });
}

void TApplications::StateChanged(IVerbindung& verbindung) {
    const auto serial = SerialOf(verbindung);
    if (!serial) return;
    const bool down = verbindung.State() == kLinkDisconnected;
    OnMain([serial = *serial, down](TApplications& self) {
        if (down && self.view_) self.view_->LinkEnded(serial);
        self.Serve(serial);
    });
}

void TApplications::Released(IVerbindung& verbindung) {
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(watchMutex_);
        const auto it = watched_.find(&verbindung);
        if (it == watched_.end()) return;
        serial = it->second.serial;
        watched_.erase(it);
    }
    OnMain([serial](TApplications& self) {
        self.Serve(serial);
        if (self.view_) self.view_->Released(serial);
    });
}

}  // namespace tarvo::core
