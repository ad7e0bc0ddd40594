// What automation clients do with the program: the application, its own-callsign
// snapshots and the connections they use. Display- and bus-free: a server hands
// each call in with the client's name and sends the answer it gets back. All
// members run on the main thread, except the IVerbindungBeobachter side, which
// the connections call from their threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/InterfacesU.h"

namespace tarvo::platform {
class IDispatcher;
}

namespace tarvo::core {

// A failure a client sees, with its text.
class TAutomationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The text of a connect result for a client: "Unknown error", "Device timeout",
// "No device", ...; "" for 0, "Unhandled error" for a result it does not know.
std::string_view ConnectErrorText(std::uint8_t result);

// Whether a client's connect path holds only callsigns (letters, digits, one
// "-" and an SSID of 0 to 15), blanks and the words "VIA" and "V" between them.
bool IsValidConnectPath(std::string_view path);

// The index of a collection's Item as a client gives it: an integer, or a text
// that is one; anything else is -1.
std::int64_t IndexFromText(std::string_view text);

// What the server needs from the rest of the program.
struct TApplicationsContext {
    platform::IDispatcher* dispatcher = nullptr;  // the main thread
    // The radio channels of all devices, in device order.
    std::function<std::vector<std::shared_ptr<IFunkKanal>>()> funkKanaele;
    // The own callsigns, in their order.
    std::function<std::vector<std::string>()> myCalls;
    // The live connections, taken under the connection list's lock.
    std::function<std::vector<std::shared_ptr<IVerbindung>>()> connections;
    std::function<void(bool)> setVisible;
    std::function<bool()> visible;
};

// What happens to connections clients know, for the server to announce; on the
// main thread.
class IApplicationsView {
  public:
    virtual ~IApplicationsView() = default;
    virtual void TextReceived(std::uint64_t serial, std::string_view text) = 0;
    // The link went down.
    virtual void LinkEnded(std::uint64_t serial) = 0;
    // The connection is gone; its serial is not used again.
    virtual void Released(std::uint64_t serial) = 0;
};

// One client, known by its name on the bus.
struct TApplication {
    std::string name;
    TApplicationKey key = 0;
    // Connections that keep a copy of the received text for this client.
    std::vector<std::weak_ptr<IVerbindung>> used;
    std::size_t pending = 0;
};

class TApplications final : public IVerbindungBeobachter,
                            public std::enable_shared_from_this<TApplications> {
  public:
    // At most 100 radio channels are looked at; the first one connects.
    static constexpr int kMaxFunkKanaele = 100;
    // Unanswered calls one client may have open.
    static constexpr std::size_t kMaxPendingPerClient = 64;

    // The answer to a call that may wait: an error text, or what it returns.
    struct TReply {
        std::string error;
        std::string text;
        std::uint64_t serial = 0;  // the connection, for Connect
    };
    using Done = std::function<void(const TReply&)>;

    explicit TApplications(TApplicationsContext ctx);
    ~TApplications() override;
    TApplications(const TApplications&) = delete;
    TApplications& operator=(const TApplications&) = delete;

    void SetView(IApplicationsView* view) { view_ = view; }

    // ---- the application ----
    void SetVisible(bool visible);
    bool Visible() const;
    // The own callsigns as they are now.
    std::vector<std::string> MyCalls() const;
    // Answers through done once the attempt has left "connecting" (at once for a
    // failure): "No MyCall", "No device", the connect result's text, or the
    // connection's serial.
    void Connect(const std::string& client, std::string_view path, Done done);
    // The serial of the first live connection to the callsign (any case), 0 for none.
    std::uint64_t FindConnection(std::string_view call);

    // ---- a connection, by serial; TAutomationError when it is gone ----
    std::shared_ptr<IVerbindung> Verbindung(std::uint64_t serial) const;
    // Answers once the client's copy of the received text holds text; what
    // follows it stays for ReceiveText.
    void WaitForText(const std::string& client, std::uint64_t serial, std::string_view text,
                     Done done);
    // Answers with the next item of the client's copy.
    void ReceiveText(const std::string& client, std::uint64_t serial, Done done);

    // ---- clients ----
    // A client that left the bus: its copies are freed and its calls dropped.
    void RemoveClient(const std::string& client);
    bool HasClient(const std::string& client) const;
    std::size_t ClientCount() const { return clients_.size(); }
    std::size_t PendingCount() const { return pending_.size(); }
    // Fails every open call; the program ends. (Destruction drops them unanswered.)
    void Shutdown();

    // ---- IVerbindungBeobachter (any thread) ----
    void Received(IVerbindung& verbindung, std::string_view data) override;
    void StateChanged(IVerbindung& verbindung) override;
    void Released(IVerbindung& verbindung) override;

  private:
    enum class Kind { Connect, Wait, Receive };
    struct TPending {
        Kind kind;
        std::string client;
        std::uint64_t serial = 0;
        std::string text;    // awaited
        std::string buffer;  // searched so far
        Done done;
    };
    struct TWatched {
        std::uint64_t serial = 0;
        std::weak_ptr<IVerbindung> verbindung;
    };

    TApplication& Client(const std::string& name);
    // The connection gets a serial the first time a client sees it.
    std::uint64_t Watch(const std::shared_ptr<IVerbindung>& verbindung);
    void Register(TApplication& app, const std::shared_ptr<IVerbindung>& verbindung);
    void AddPending(TPending pending);
    // Answers the open calls on the connection that can be answered now.
    void Serve(std::uint64_t serial);
    // Whether the call got its answer.
    bool TryServe(TPending& p, const std::shared_ptr<IVerbindung>& verbindung);
    void Finish(TPending& p, const TReply& reply);
    // Posts to the main thread, if this object still lives then.
    void OnMain(std::function<void(TApplications&)> task);
    std::optional<std::uint64_t> SerialOf(const IVerbindung& verbindung) const;

    TApplicationsContext ctx_;
    IApplicationsView* view_ = nullptr;
    std::map<std::string, TApplication> clients_;
    std::vector<TPending> pending_;
    TApplicationKey nextKey_ = 1;

    // The connections clients know; read from the connections' threads.
    mutable std::mutex watchMutex_;
    std::map<const IVerbindung*, TWatched> watched_;
    std::uint64_t nextSerial_ = 1;
};

}  // namespace tarvo::core
