#include "tests/support/TncSimulator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/SerialPort.h"
#include "tests/support/TncSimulatorAutobin.h"
#include "tests/support/TncSimulatorDidadit.h"
#include "tests/support/TncSimulatorSevenPlus.h"

namespace tarvo::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bounds on everything that grows with what the host sends or with time.
constexpr std::size_t kMaxText = 255;
constexpr std::size_t kMaxData = 256;
constexpr std::size_t kMaxItems = 4096;  // pending items per channel
constexpr std::size_t kMaxUnsent = 64;
constexpr std::size_t kMaxInput = 64 * 1024;
constexpr std::size_t kMaxLog = 200000;
constexpr std::size_t kMaxLineLog = 10000;
constexpr std::size_t kMaxTerminalLog = 64 * 1024;
constexpr std::size_t kMaxReceived = 1024 * 1024;
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxTerminalLine = 256;
constexpr std::size_t kMaxDigis = 8;
constexpr std::size_t kMaxFilterCalls = 8;
constexpr std::size_t kMaxCtext = 200;
constexpr int kHighestChannel = 254;  // 255 is the extended poll
constexpr milliseconds kIdleWait{15};

enum Code : std::uint8_t {
    kOk = 0,
    kMsg = 1,
    kErr = 2,
    kLink = 3,
    kMonHeader = 4,
    kMonHeaderInfo = 5,
    kMonInfo = 6,
    kData = 7,
};

enum LinkStateValue : int {
    kIdle = 0,
    kConnectPending = 1,
    kDisconnectPending = 3,
    kConnected = 4
};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
    return IsDigit(c) || (Upper(c) >= 'A' && Upper(c) <= 'Z');
}

std::string UpperText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Upper(c);
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

bool StartsWithCaseless(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Upper(text[i]) != Upper(prefix[i])) return false;
    return true;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ',') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<int> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "dl1abc-07" -> "DL1ABC-7", "CALL-0" -> "CALL"; nullopt unless 1..6 letters or
// digits and an SSID 0..15.
std::optional<std::string> NormalCall(std::string_view text) {
    text = Trim(text);
    const std::size_t dash = text.find('-');
    const std::string_view base = text.substr(0, dash);
    if (base.empty() || base.size() > 6) return std::nullopt;
    for (char c : base)
        if (!IsAlnum(c)) return std::nullopt;
    std::string call = UpperText(base);
    if (dash != std::string_view::npos) {
        const std::string_view ssidText = text.substr(dash + 1);
        if (ssidText.size() > 2) return std::nullopt;
        const std::optional<int> ssid = ParseNumber(ssidText);
        if (!ssid || *ssid > 15) return std::nullopt;
        if (*ssid != 0) call += "-" + std::to_string(*ssid);
    }
    return call;
}

std::string CallKey(std::string_view call) {
    const std::optional<std::string> normal = NormalCall(call);
    return normal ? *normal : UpperText(Trim(call));
}

std::string Join(const std::vector<std::string>& parts, bool star) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += ' ';
        out += p;
        if (star) out += '*';
    }
    return out;
}

std::string PathText(const std::string& call, const std::vector<std::string>& via) {
    return via.empty() ? call : call + " via " + Join(via, false);
}

// One reply frame as it goes on the wire; the body is cut to what the code allows.
std::string Encode(int channel, std::uint8_t code, std::uint8_t wireCode, std::string_view body) {
    std::string out;
    out += static_cast<char>(channel);
    out += static_cast<char>(wireCode);
    if (code == kOk) return out;
    if (code >= kMsg && code <= kMonHeaderInfo) {
        std::size_t n = 0;
        for (char c : body) {
            if (c == '\0') continue;  // a NUL would end the text early
            if (n++ == kMaxText) break;
            out += c;
        }
        out += '\0';
    } else if (code == kMonInfo || code == kData) {
        std::string_view data = body.substr(0, kMaxData);
        if (data.empty()) data = " ";
        out += static_cast<char>(data.size() - 1);
        out += data;
    } else {
        out += body;
    }
    return out;
}

struct Item {
    std::uint8_t code;
    std::string body;
};

struct Param {
    const char* name;
    int value;
    int min;
    int max;
};

constexpr std::array<Param, 20> kParams{{
    {"O", 2, 1, 7},         {"F", 500, 1, 15000},     {"N", 10, 0, 127},    {"T", 30, 0, 255},
    {"P", 32, 0, 255},      {"W", 10, 0, 255},        {"R", 1, 0, 1},       {"E", 1, 0, 1},
    {"X", 1, 0, 1},         {"Z", 1, 0, 3},           {"A", 1, 0, 1},       {"B", 10, 0, 255},
    {"@T2", 200, 0, 65535}, {"@T3", 18000, 0, 65535}, {"@I", 60, 0, 65535}, {"@D", 0, 0, 1},
    {"@F", 0, 0, 1},        {"@V", 0, 0, 1},          {"@U", 0, 0, 1},      {"@P", 240, 0, 255},
}};

struct Result {
    std::uint8_t code = kOk;
    std::string text;
    bool leaveHostmode = false;
};

Result Ok() {
    return {};
}
Result Msg(std::string text) {
    return {kMsg, std::move(text)};
}
Result Err(std::string text) {
    return {kErr, std::move(text)};
}

}  // namespace

// ---------------------------------------------------------------------------
// The state behind the mutex. Everything here runs with the mutex held.

namespace detail {

struct TncStationRecord {
    std::string call;
    TncStationOptions options;
    bool registered = false;  // false: made up for an incoming connect
    std::string received;
    std::optional<bool> passwordOk;
};

struct TncState;

// A station's side of one link.
class TncSession {
  public:
    explicit TncSession(TncStationRecord& record) : record_(record) {}
    virtual ~TncSession() = default;
    virtual void Connected(detail::TncState&, int) {}
    // Data from the host; complete lines go to Line.
    void Receive(detail::TncState& st, int channel, std::string_view data);

  protected:
    virtual void Line(detail::TncState&, int, std::string_view) {}
    // Data that is no text (a file transfer running): true when taken.
    virtual bool Raw(detail::TncState&, int, std::string_view) { return false; }
    TncStationRecord& record_;

  private:
    std::string line_;
    bool lastWasCr_ = false;
};

struct TncChannel {
    std::optional<std::string> ownCall;  // from I; unset: channel 0's
    int state = kIdle;
    std::string remote;
    std::vector<std::string> via;
    std::deque<Item> items;
    std::deque<std::string> unsent;
    int tries = 0;
    int vs = 0, vr = 0, unacked = 0;
    std::uint64_t epoch = 0;  // moves on with every link event; stale timers see it
    std::unique_ptr<TncSession> session;
    TncStationRecord* record = nullptr;
    bool calledIn = false;  // the station called us, not we it
    std::optional<Clock::time_point> remoteAckDue, ownAckDue;
    TncChannelCounters counters;
};

struct TncState {
    explicit TncState(const TncSimulatorOptions& o);

    TncSimulatorOptions options;
    Clock::time_point started = Clock::now();
    int limit = 10;

    // The port.
    std::string error;
    std::string slavePath;
    bool down = false;
    bool hangUpRequested = false;
    bool comeBackNow = false;
    std::optional<Clock::time_point> comeBackAt;
    bool backInTerminalMode = false;

    // Host side.
    bool hostmode = false;
    std::string input;
    std::size_t inputPos = 0;
    std::string frame;
    std::string termLine;
    bool termCommand = false;
    Clock::time_point lastEcho{};
    std::string terminalLog;

    struct Out {
        std::string bytes;
        std::size_t done = 0;
        Clock::time_point notBefore;
        std::optional<milliseconds> silenceAfter;
    };
    std::deque<Out> output;
    std::optional<Clock::time_point> silentUntil;
    std::deque<TncLineChunk> lineLog;

    // Scripted faults.
    std::optional<std::pair<std::string, std::size_t>> junk;
    std::optional<std::uint8_t> nextCode;
    struct ShortBody {
        int announced;
        int sent;
        milliseconds silence;
    };
    std::optional<ShortBody> shortBody;
    std::vector<TncReplyOverride> overrides;

    // The TNC.
    std::vector<TncChannel> channels;
    int yValue = 10;
    int freeBuffers = 8192;
    std::map<std::string, int> params;
    std::string unprotoTo = "CQ";
    std::vector<std::string> unprotoVia;
    bool monI = true, monU = true, monS = true, monC = true;
    int filterMode = 0;  // +1 only these calls, -1 all but these
    std::vector<std::string> filterCalls;
    int stamp = 0;
    int ctextMode = 0;
    std::string ctext;
    std::uint32_t random = 20240601u;

    struct Timer {
        Clock::time_point due;
        int channel;
        std::uint64_t epoch;
        std::function<void()> run;
    };
    std::vector<Timer> timers;
    std::optional<Clock::time_point> nextBeacon;
    int overheardNs = 0;

    std::map<std::string, TncStationRecord> stations;

    std::deque<TncHostFrame> frames;
    std::size_t nextIndex = 0;
    bool dirty = false;

    // --- helpers ---
    bool Silent(Clock::time_point now) {
        if (silentUntil && now >= *silentUntil) silentUntil.reset();
        return silentUntil.has_value();
    }
    std::uint32_t Random(std::uint32_t below) {
        random = random * 1103515245u + 12345u;
        return below ? (random >> 16) % below : 0;
    }
    const std::string& CallOf(int ch) const {
        const TncChannel& c = channels[static_cast<std::size_t>(ch)];
        return ch > 0 && c.ownCall ? *c.ownCall : *channels[0].ownCall;
    }
    TncChannel& Ch(int ch) { return channels[static_cast<std::size_t>(ch)]; }
    int& ParamRef(const std::string& name) { return params[name]; }

    void After(int ch, milliseconds delay, std::function<void()> run) {
        timers.push_back({Clock::now() + delay, ch, Ch(ch).epoch, std::move(run)});
    }
    void PushItem(int ch, std::uint8_t code, std::string body) {
        std::deque<Item>& items = Ch(ch).items;
        items.push_back({code, std::move(body)});
        while (items.size() > kMaxItems) {
            // A monitor header goes with its info.
            const bool pair = items.front().code == kMonHeaderInfo && items.size() > 1 &&
                              items[1].code == kMonInfo;
            items.pop_front();
            if (pair) items.pop_front();
        }
        dirty = true;
    }
    void Status(int ch, std::string text) { PushItem(ch, kLink, std::move(text)); }
    void SetState(int ch, int state) {
        Ch(ch).state = state;
        dirty = true;
    }

    // --- monitor ---
    bool MonitorShows(char kind, bool ownLink, const std::string& from, const std::string& to) {
        if (kind == 'I' && !monI) return false;
        if (kind == 'U' && !monU) return false;
        if (kind == 'S' && !monS) return false;
        if (ownLink && !monC) return false;
        if (filterMode != 0) {
            const bool listed =
                std::find(filterCalls.begin(), filterCalls.end(), CallKey(from)) !=
                    filterCalls.end() ||
                std::find(filterCalls.begin(), filterCalls.end(), CallKey(to)) != filterCalls.end();
            if (listed != (filterMode > 0)) return false;
        }
        return true;
    }
    void MonitorPush(std::string header, const std::optional<std::string>& info) {
        if (info) {
            PushItem(0, kMonHeaderInfo, std::move(header));
            PushItem(0, kMonInfo, info->substr(0, kMaxData));
        } else {
            PushItem(0, kMonHeader, std::move(header));
        }
    }
    void Monitor(char kind, bool ownLink, const std::string& from, const std::string& to,
                 const std::string& viaText, const std::string& ctl,
                 const std::optional<std::string>& info) {
        if (!MonitorShows(kind, ownLink, from, to)) return;
        std::string header = "fm " + from + " to " + to;
        if (!viaText.empty()) header += " via " + viaText;
        header += " ctl " + ctl;
        MonitorPush(std::move(header), info);
    }
    // A frame this TNC sends: with digipeaters the repeated copy is heard first.
    void OwnFrame(char kind, bool ownLink, const std::string& from, const std::string& to,
                  const std::vector<std::string>& via, const std::string& ctl,
                  const std::optional<std::string>& info) {
        if (!via.empty()) Monitor(kind, ownLink, from, to, Join(via, true), ctl, info);
        Monitor(kind, ownLink, from, to, Join(via, false), ctl, info);
    }
    void OwnLinkFrame(int ch, char kind, const std::string& ctl,
                      const std::optional<std::string>& info = std::nullopt) {
        const TncChannel& c = Ch(ch);
        OwnFrame(kind, true, CallOf(ch), c.remote, c.via, ctl, info);
    }
    // A frame of the remote station, heard from the last digipeater.
    void RemoteLinkFrame(int ch, char kind, const std::string& ctl,
                         const std::optional<std::string>& info = std::nullopt) {
        const TncChannel& c = Ch(ch);
        std::vector<std::string> back(c.via.rbegin(), c.via.rend());
        Monitor(kind, true, c.remote, CallOf(ch), Join(back, true), ctl, info);
    }

    // --- links ---
    TncStationRecord* Registered(const std::string& call) {
        auto it = stations.find(CallKey(call));
        return it != stations.end() && it->second.registered ? &it->second : nullptr;
    }
    TncStationRecord& RecordFor(const std::string& call) {
        const std::string key = CallKey(call);
        auto it = stations.find(key);
        if (it == stations.end()) {
            it = stations.emplace(key, TncStationRecord{}).first;
            it->second.call = key;
        }
        return it->second;
    }
    std::unique_ptr<TncSession> MakeSession(TncStationRecord& record);
    void StartConnect(int ch, const std::string& call, const std::vector<std::string>& via);
    void RetryConnect(int ch);
    void Linked(int ch, bool reset);
    void Gone(int ch);
    void HostDisconnect(int ch);
    void StationHangsUp(int ch);
    void SendToRemote(int ch, std::string data);
    void StationOutput(int ch, std::string_view text);
    int IncomingConnect(const std::string& from, const std::string& to,
                        const std::vector<std::string>& via);
    int LinkedChannelOf(const std::string& call) {
        const std::string key = CallKey(call);
        for (int ch = 1; ch <= limit; ++ch)
            if (Ch(ch).state == kConnected && Ch(ch).remote == key) return ch;
        return 0;
    }

    // --- host frames ---
    void Answer(int ch, std::uint8_t code, const std::string& body, milliseconds delay);
    void HandleFrame();
    Result Command(int ch, std::string_view text);
    Result Info(int ch, std::string_view data);
    Result Poll(int ch, std::string_view arg);
    Result CallsignCommand(int ch, std::string_view arg);
    Result ConnectCommand(int ch, std::string_view arg);
    Result DisconnectCommand(int ch);
    Result LinkCounters(int ch);
    Result MonitorCommand(std::string_view arg);
    Result Extended(int ch, std::string_view text);
    Result PtcCommand(int ch, std::string_view text);
    int modemPort = 1;                 // PTC-II: the port "%P" chose
    std::array<int, 2> pactorTurns{};  // "%I" and "%O" taken on a PACTOR link
    Result Parameter(const std::string& name, std::string_view arg);
    Result ClockCommand(std::string_view arg);
    Result CtextCommand(std::string_view arg);
    Result HostCommand(std::string_view text);

    // --- terminal mode ---
    void Echo(std::string text);
    void TerminalByte(std::uint8_t b);

    // --- the thread ---
    void ProcessInput(Clock::time_point now);
    void RunTimers(Clock::time_point now);
    Clock::time_point NextDue(Clock::time_point wake) const;
    std::string TakeOutput(Clock::time_point now, Clock::time_point lineFree,
                           Clock::time_point& wake);
    void LogFrame(int ch, bool command, std::string data, bool answered);
    // The first logged frame with index >= from; indices in the log are consecutive.
    std::deque<TncHostFrame>::const_iterator FrameAt(std::size_t from) const {
        if (frames.empty() || from <= frames.front().index) return frames.begin();
        const std::size_t skip = from - frames.front().index;
        return skip >= frames.size() ? frames.end() : frames.begin() + static_cast<long>(skip);
    }
    void ResetHostSide();
};

}  // namespace detail

using detail::TncChannel;
using detail::TncSession;
using detail::TncStationRecord;

detail::TncState::TncState(const TncSimulatorOptions& o) : options(o) {
    options.channels = std::clamp(options.channels, 0, kHighestChannel);
    limit = std::clamp(std::max(options.channelLimit, options.channels), 1, kHighestChannel);
    yValue = options.channels;
    freeBuffers = options.freeBuffers;
    hostmode = options.startInHostmode;
    channels.resize(static_cast<std::size_t>(limit) + 1);
    channels[0].ownCall = CallKey(options.callsign.empty() ? "NOCALL" : options.callsign);
    for (const Param& p : kParams) params[p.name] = p.value;
    params["N"] = std::clamp(options.retries, 0, 127);
    if (options.beaconInterval.count() > 0) nextBeacon = started + options.beaconInterval;
}

// ---------------------------------------------------------------------------
// Stations

void TncSession::Receive(detail::TncState& st, int channel, std::string_view data) {
    if (Raw(st, channel, data)) return;
    for (char c : data) {
        if (c == '\n' && lastWasCr_) {
            lastWasCr_ = false;
            continue;
        }
        lastWasCr_ = c == '\r';
        if (c == '\r' || c == '\n' || line_.size() >= kMaxLine) {
            const std::string line = std::move(line_);
            line_.clear();
            Line(st, channel, line);
            // Line may have ended the link.
            if (st.Ch(channel).session.get() != this) return;
            if (c == '\r' || c == '\n') continue;
        }
        line_ += c;
    }
}

namespace {

class EchoSession final : public TncSession {
  public:
    using TncSession::TncSession;

  protected:
    void Line(detail::TncState& st, int ch, std::string_view line) override {
        st.StationOutput(ch, std::string(line) + "\r");
    }
};

struct MailboxMessage {
    const char* from;
    const char* to;
    const char* at;  // "@WW" for a bulletin, "" for a personal message
    const char* type;
    const char* date;
    const char* subject;
    const char* body;
};

constexpr std::array<MailboxMessage, 4> kMessages{{
    {"SIMOP", "ALL", "@WW", "BN", "01-Jan", "Welcome to the simulated mailbox",
     "This mailbox lives inside a test program.\rIt answers L, R n and B.\r"},
    {"SIMOP", "ALL", "@WW", "BN", "02-Jan", "Net schedule",
     "The weekly net meets on Thursday evening.\rEveryone is welcome.\r"},
    {"SIMOP", "SYSOP", "", "PN", "03-Jan", "A long message for frame joining",
     "Line 01: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 02: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 03: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 04: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 05: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 06: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 07: the quick brown fox jumps over the lazy dog, again and again.\r"
     "Line 08: the quick brown fox jumps over the lazy dog, again and again.\r"},
    {"SIMOP", "ALL", "@WW", "BN", "04-Jan", "Short note", "73.\r"},
}};

class MailboxSession final : public TncSession {
  public:
    using TncSession::TncSession;

    // As the recorded mailbox: its identifier line first, a greeting, then the
    // prompt "de CALL>" with its CR. The password challenge comes before the
    // prompt when the station has a password and was called: a mailbox that
    // calls out (forwarding, a demo's visit) asks the called station nothing.
    void Connected(detail::TncState& st, int ch) override {
        std::string text = std::string(kIdentifier) + "\r";
        text += "Hello " + st.CallOf(ch) + ". Latest Message is " +
                std::to_string(kMessages.size()) + ", Last listed is 0\r";
        text += std::string("File ") + kFileName +
                " waits for you: D fetches it with DIDADIT, A with AutoBIN.\r";
        text += "7 [1|2] sends a part of it as 7Plus.\r";
        st.StationOutput(ch, text);
        const std::string& password = record_.options.password;
        if (password.empty() || st.Ch(ch).calledIn) {
            st.StationOutput(ch, Prompt());
            return;
        }
        std::string positions;
        for (int i = 0; i < 5; ++i) {
            const std::uint32_t p = 1 + st.Random(static_cast<std::uint32_t>(password.size()));
            if (!positions.empty()) positions += ' ';
            positions += std::to_string(p);
            expected_ += password[p - 1];
        }
        awaitingPassword_ = true;
        st.StationOutput(ch, record_.call + "> " + positions + "\r");
    }

  protected:
    void Line(detail::TncState& st, int ch, std::string_view line) override {
        // A station ID the terminal sends on connect is neither an answer nor a command.
        if (!line.empty() && (line[0] == '{' || line[0] == '[')) return;
        if (awaitingPassword_) {
            awaitingPassword_ = false;
            // The answer hides the asked characters in noise.
            const bool ok = line.find(expected_) != std::string_view::npos;
            record_.passwordOk = ok;
            st.StationOutput(ch, std::string(ok ? "Password ok\r" : "Password wrong\r") + Prompt());
            return;
        }
        const std::string command = UpperText(Trim(line));
        const std::vector<std::string_view> words = Words(command);
        if (words.empty()) {
            st.StationOutput(ch, Prompt());
        } else if (words[0] == "L") {
            // List lines come without a header.
            std::string text;
            for (std::size_t n = kMessages.size(); n >= 1; --n) {
                if (killed_[n - 1]) continue;
                const MailboxMessage& m = kMessages[n - 1];
                char row[200];
                std::snprintf(row, sizeof row, "%-7zu%-7s%-2s%8zu %-6s %-7s %-6s %s\r", n, m.date,
                              m.type, std::strlen(m.body), m.to, m.at, m.from, m.subject);
                text += row;
            }
            st.StationOutput(ch, text + Prompt());
        } else if (words[0] == "R") {
            const std::optional<int> n =
                words.size() > 1 ? ParseNumber(words[1]) : std::optional<int>();
            if (!n || *n < 1 || static_cast<std::size_t>(*n) > kMessages.size() ||
                killed_[static_cast<std::size_t>(*n - 1)]) {
                st.StationOutput(ch, "Message " + std::string(words.size() > 1 ? words[1] : "") +
                                         " not found\r" + Prompt());
                return;
            }
            const MailboxMessage& m = kMessages[static_cast<std::size_t>(*n - 1)];
            const std::string number = std::to_string(*n);
            std::string text = std::string("From: ") + m.from + "\rTo: " + m.to +
                               "\rType/Status: " + m.type + "\rDate/Time: " + m.date +
                               " 00:06Z\rBid: " + number + "_" + record_.call +
                               "\rTitle: " + m.subject + "\r\r" + m.body + "\r\r";
            text += "[End of Message #" + number + " from " + m.from + "]\r";
            st.StationOutput(ch, text + Prompt());
        } else if (words[0] == "K" && words.size() > 1) {
            // As recorded: "Message #3 Killed".
            const std::optional<int> n = ParseNumber(words[1]);
            if (!n || *n < 1 || static_cast<std::size_t>(*n) > kMessages.size() ||
                killed_[static_cast<std::size_t>(*n - 1)]) {
                st.StationOutput(ch,
                                 "Message " + std::string(words[1]) + " not found\r" + Prompt());
                return;
            }
            killed_[static_cast<std::size_t>(*n - 1)] = true;
            st.StationOutput(ch, "Message #" + std::to_string(*n) + " Killed\r" + Prompt());
        } else if (words[0] == "D") {
            download_ = std::make_unique<SimDidaditSender>(kFileName, FileText());
            st.StationOutput(ch, download_->Announce());
        } else if (words[0] == "7") {
            const std::optional<int> part =
                words.size() > 1 ? ParseNumber(words[1]) : std::optional<int>(1);
            st.StationOutput(
                ch, SimSevenPlusPart(kFileName, FileText(), part.value_or(1), 2) + Prompt());
        } else if (words[0] == "A") {
            autobin_ = std::make_unique<SimAutobinSender>(kFileName, FileText());
            st.StationOutput(ch, autobin_->Announce());
        } else if (words[0] == "B" || words[0] == "BYE") {
            // Logs off without a word.
            st.StationHangsUp(ch);
        } else {
            st.StationOutput(ch, "Invalid Command\r" + Prompt());
        }
    }

    bool Raw(detail::TncState& st, int ch, std::string_view data) override {
        if (autobin_) {
            if (const std::string out = autobin_->Receive(data); !out.empty())
                st.StationOutput(ch, out);
            if (autobin_->Done()) {
                const bool ok = autobin_->Succeeded();
                autobin_.reset();
                st.StationOutput(ch, std::string(ok ? "" : "Download aborted\r") + Prompt());
            }
            return true;
        }
        if (!download_) return false;
        const std::string answer = download_->Receive(data);
        if (!answer.empty()) st.StationOutput(ch, answer);
        if (download_->Done()) {
            const bool ok = download_->Succeeded();
            download_.reset();
            st.StationOutput(ch, std::string(ok ? "" : "Download aborted\r") + Prompt());
        }
        return true;
    }

  private:
    static constexpr std::string_view kIdentifier = "[BPQ-6.0.25.23-B2FWIHJM$]";
    static constexpr const char* kFileName = "SIMBOX.TXT";
    // A few kilobytes of text, so that a transfer shows its progress.
    static std::string FileText() {
        std::string text = "The simulated mailbox sent you this file with DIDADIT.\r\n";
        for (int i = 1; i <= 120; ++i) {
            char line[80];
            std::snprintf(line, sizeof line, "Line %03d: packet radio moves files in blocks.\r\n",
                          i);
            text += line;
        }
        return text;
    }
    std::string Prompt() const { return "de " + record_.call + ">\r"; }
    bool awaitingPassword_ = false;
    std::array<bool, kMessages.size()> killed_{};
    std::string expected_;
    std::unique_ptr<SimDidaditSender> download_;
    std::unique_ptr<SimAutobinSender> autobin_;
};

}  // namespace

std::unique_ptr<TncSession> detail::TncState::MakeSession(TncStationRecord& record) {
    switch (record.options.kind) {
        case TncStationKind::Mailbox:
            return std::make_unique<MailboxSession>(record);
        case TncStationKind::Echo:
            return std::make_unique<EchoSession>(record);
        case TncStationKind::Busy:
        case TncStationKind::Quiet:
            break;
    }
    return std::make_unique<TncSession>(record);
}

void detail::TncState::StartConnect(int ch, const std::string& call,
                                    const std::vector<std::string>& via) {
    TncChannel& c = Ch(ch);
    c.remote = call;
    c.via = via;
    c.calledIn = false;
    c.tries = 1;
    ++c.epoch;
    SetState(ch, kConnectPending);
    TncStationRecord* record = Registered(call);
    if (!record) {
        OwnLinkFrame(ch, 'S', "SABM+");
        After(ch, options.retryInterval, [this, ch] { RetryConnect(ch); });
        return;
    }
    // The station's answer is heard before our own SABM shows.
    After(ch, options.linkDelay, [this, ch, record] {
        TncChannel& link = Ch(ch);
        if (record->options.kind == TncStationKind::Busy) {
            RemoteLinkFrame(ch, 'S', "DM-");
            OwnLinkFrame(ch, 'S', "SABM+");
            Status(ch, "(" + std::to_string(ch) + ") BUSY fm " + link.remote);
            link.unsent.clear();
            ++link.epoch;
            SetState(ch, kIdle);
            return;
        }
        RemoteLinkFrame(ch, 'S', "UA-");
        OwnLinkFrame(ch, 'S', "SABM+");
        link.record = record;
        Linked(ch, false);
    });
}

void detail::TncState::RetryConnect(int ch) {
    TncChannel& c = Ch(ch);
    if (c.tries >= std::max(1, params["N"])) {
        Status(ch, "(" + std::to_string(ch) + ") LINK FAILURE with " + PathText(c.remote, c.via));
        ++c.epoch;
        c.tries = 0;
        c.unsent.clear();
        SetState(ch, kIdle);
        OwnLinkFrame(ch, 'S', "DISC+");
        return;
    }
    ++c.tries;
    OwnLinkFrame(ch, 'S', "SABM+");
    After(ch, options.retryInterval, [this, ch] { RetryConnect(ch); });
}

void detail::TncState::Linked(int ch, bool reset) {
    TncChannel& c = Ch(ch);
    c.tries = 0;
    c.vs = c.vr = c.unacked = 0;
    c.remoteAckDue.reset();
    c.ownAckDue.reset();
    SetState(ch, kConnected);
    Status(ch, "(" + std::to_string(ch) + ") CONNECTED to " + PathText(c.remote, c.via));
    if (!reset && c.record) {
        c.session = MakeSession(*c.record);
        c.session->Connected(*this, ch);
    }
    while (!c.unsent.empty() && c.state == kConnected) {
        std::string data = std::move(c.unsent.front());
        c.unsent.pop_front();
        SendToRemote(ch, std::move(data));
    }
}

void detail::TncState::Gone(int ch) {
    TncChannel& c = Ch(ch);
    Status(ch, "(" + std::to_string(ch) + ") DISCONNECTED fm " + c.remote);
    ++c.epoch;
    c.session.reset();
    c.record = nullptr;
    c.unsent.clear();
    c.tries = 0;
    c.unacked = 0;
    c.remoteAckDue.reset();
    c.ownAckDue.reset();
    SetState(ch, kIdle);
}

void detail::TncState::HostDisconnect(int ch) {
    TncChannel& c = Ch(ch);
    if (c.state == kConnected) {
        ++c.epoch;
        SetState(ch, kDisconnectPending);
        After(ch, options.linkDelay, [this, ch] {
            RemoteLinkFrame(ch, 'S', "UA-");
            OwnLinkFrame(ch, 'S', "DISC+");
            Gone(ch);
        });
        return;
    }
    // A connect attempt or a second D ends at once.
    OwnLinkFrame(ch, 'S', "DISC+");
    Gone(ch);
}

void detail::TncState::StationHangsUp(int ch) {
    const std::uint64_t epoch = Ch(ch).epoch;
    After(ch, options.linkDelay, [this, ch, epoch] {
        if (Ch(ch).epoch != epoch || Ch(ch).state != kConnected) return;
        RemoteLinkFrame(ch, 'S', "DISC+");
        OwnLinkFrame(ch, 'S', "UA-");
        Gone(ch);
    });
}

void detail::TncState::SendToRemote(int ch, std::string data) {
    TncChannel& c = Ch(ch);
    OwnLinkFrame(ch, 'I', "I" + std::to_string(c.vr) + std::to_string(c.vs) + "^ pid F0", data);
    c.vs = (c.vs + 1) % 8;
    ++c.unacked;
    c.ownAckDue.reset();  // the I frame carries our acknowledgement
    // The remote answers within its delay of the first frame it has not acknowledged.
    if (!c.remoteAckDue) c.remoteAckDue = Clock::now() + options.ackDelay;
    // What went on the air has reached the station, even when a disconnect
    // follows at once; only its answer waits for the link delay.
    if (c.record) {
        std::string& received = c.record->received;
        received += data;
        if (received.size() > kMaxReceived) received.erase(0, received.size() - kMaxReceived);
        dirty = true;
    }
    After(ch, options.linkDelay, [this, ch, data = std::move(data)] {
        TncChannel& link = Ch(ch);
        if (link.record && link.session) link.session->Receive(*this, ch, data);
    });
}

void detail::TncState::StationOutput(int ch, std::string_view text) {
    TncChannel& c = Ch(ch);
    if (c.state != kConnected || !c.record) return;
    const std::size_t paclen = std::clamp<std::size_t>(c.record->options.paclen, 1, kMaxData);
    for (std::size_t pos = 0; pos < text.size(); pos += paclen) {
        std::string piece(text.substr(pos, paclen));
        // The remote acknowledges all we sent.
        RemoteLinkFrame(ch, 'I', "I" + std::to_string(c.vs) + std::to_string(c.vr) + "^ pid F0",
                        piece);
        c.vr = (c.vr + 1) % 8;
        c.unacked = 0;
        c.remoteAckDue.reset();
        c.ownAckDue = Clock::now() + options.ackDelay;
        PushItem(ch, kData, std::move(piece));
    }
}

int detail::TncState::IncomingConnect(const std::string& from, const std::string& to,
                                      const std::vector<std::string>& via) {
    const std::string caller = CallKey(from);
    const std::string called = CallKey(to);
    std::vector<std::string> path;
    for (const std::string& v : via)
        if (path.size() < kMaxDigis) path.push_back(CallKey(v));
    for (int ch = 1; ch <= std::min(yValue, limit); ++ch) {
        TncChannel& c = Ch(ch);
        if (c.state != kIdle || CallOf(ch) != called) continue;
        c.remote = caller;
        c.via = path;
        c.calledIn = true;
        ++c.epoch;
        RemoteLinkFrame(ch, 'S', "SABM+");
        OwnLinkFrame(ch, 'S', "UA-");
        c.record = &RecordFor(caller);
        Linked(ch, false);
        return ch;
    }
    // Nobody takes it: the caller gets DM and channel 0 tells the operator.
    std::vector<std::string> back(path.rbegin(), path.rend());
    Monitor('S', true, caller, called, Join(back, true), "SABM+", std::nullopt);
    OwnFrame('S', true, called, caller, path, "DM-", std::nullopt);
    Status(0, "CONNECT REQUEST fm " + caller);
    return 0;
}

// ---------------------------------------------------------------------------
// Host frames

void detail::TncState::Answer(int ch, std::uint8_t code, const std::string& body,
                              milliseconds delay) {
    Out out;
    out.notBefore = Clock::now() + delay;
    if (shortBody) {
        const int announced = std::clamp(shortBody->announced, 1, 256);
        const int sent = std::clamp(shortBody->sent, 0, announced);
        out.bytes += static_cast<char>(ch);
        out.bytes += static_cast<char>(kData);
        out.bytes += static_cast<char>(announced - 1);
        out.bytes += std::string(static_cast<std::size_t>(sent), 'x');
        out.silenceAfter = shortBody->silence;
        shortBody.reset();
    } else {
        out.bytes = Encode(ch, code, nextCode ? *nextCode : code, body);
        nextCode.reset();
        if (junk) {
            out.bytes.insert(std::min(junk->second, out.bytes.size()), junk->first);
            junk.reset();
        }
    }
    output.push_back(std::move(out));
}

void detail::TncState::LogFrame(int ch, bool command, std::string data, bool answered) {
    TncHostFrame f;
    f.index = nextIndex++;
    f.channel = ch;
    f.command = command;
    f.data = std::move(data);
    f.time = Clock::now();
    f.answered = answered;
    frames.push_back(std::move(f));
    while (frames.size() > kMaxLog) frames.pop_front();
    dirty = true;
}

void detail::TncState::HandleFrame() {
    const int ch = static_cast<std::uint8_t>(frame[0]);
    const bool command = frame[1] == 1;
    const std::string data = frame.substr(3);
    frame.clear();
    LogFrame(ch, command, data, true);

    if (command) {
        for (auto it = overrides.begin(); it != overrides.end(); ++it) {
            if ((it->channel >= 0 && it->channel != ch) || !StartsWithCaseless(data, it->prefix))
                continue;
            Answer(ch, it->code, it->text, it->delay);
            if (--it->count <= 0) overrides.erase(it);
            return;
        }
    }
    Result r;
    const std::string_view text = Trim(data);
    if (ch == 255 && command && !text.empty() && Upper(text[0]) == 'G') {
        r = Poll(ch, Trim(text.substr(1)));
    } else if (ch > limit) {
        r = Err("INVALID CHANNEL NUMBER");
    } else if (command) {
        r = Command(ch, data);
    } else {
        r = Info(ch, data);
    }
    Answer(ch, r.code, r.text, milliseconds(0));
    if (r.leaveHostmode) {
        hostmode = false;
        termLine.clear();
        termCommand = false;
        dirty = true;
    }
}

Result detail::TncState::Command(int ch, std::string_view data) {
    const std::string_view text = Trim(data);
    if (text.empty()) return Ok();
    const std::string_view arg = Trim(text.substr(1));
    switch (Upper(text[0])) {
        case 'G':
            return Poll(ch, arg);
        case 'I':
            return CallsignCommand(ch, arg);
        case 'Y': {
            if (arg.empty()) {
                int inUse = 0;
                for (int n = 1; n <= limit; ++n) inUse += Ch(n).state != kIdle ? 1 : 0;
                return Msg(std::to_string(yValue) + " (" + std::to_string(inUse) + ")");
            }
            const std::optional<int> n = ParseNumber(arg);
            if (!n || *n > limit) return Err("INVALID VALUE: " + std::string(arg));
            yValue = *n;
            return Ok();
        }
        case 'C':
            return ConnectCommand(ch, arg);
        case 'D':
            return DisconnectCommand(ch);
        case 'L':
            return LinkCounters(ch);
        case 'M':
            return MonitorCommand(arg);
        case 'V':
            switch (options.model) {
                case TncModel::PtcII:
                    return Msg("SCS PTC-II Version 3.9");
                case TncModel::PtcIIe:
                    return Msg("SCS PTC-IIe Version 3.9");
                case TncModel::Plain:
                    break;
            }
            return Msg(options.version);
        case '%':
            return PtcCommand(ch, text.substr(1));
        case 'K':
            return ClockCommand(arg);
        case 'U':
            return CtextCommand(arg);
        case 'J':
            return HostCommand(text);
        case '@':
            return Extended(ch, text.substr(1));
        case 'O':
        case 'F':
        case 'N':
        case 'T':
        case 'P':
        case 'W':
        case 'R':
        case 'E':
        case 'X':
        case 'Z':
        case 'A':
        case 'B':
            return Parameter(std::string(1, Upper(text[0])), arg);
        default:
            return Err("INVALID COMMAND: " + std::string(1, text[0]));
    }
}

Result detail::TncState::PtcCommand(int ch, std::string_view text) {
    if (options.model == TncModel::Plain || text.empty()) return Err("INVALID COMMAND: %");
    const char name = Upper(text[0]);
    const std::string_view arg = Trim(text.substr(1));
    const bool pactor = ch == options.pactorChannel;
    switch (name) {
        case 'P': {
            // The PTC-IIe has one modem and no port selection.
            const std::optional<int> n = ParseNumber(arg);
            if (options.model == TncModel::PtcIIe) return Ok();
            if (!n || *n < 1 || *n > static_cast<int>(options.modems.size()))
                return Err("INVALID VALUE: " + std::string(arg));
            modemPort = *n;
            return Ok();
        }
        case 'B': {
            if (options.modems.empty()) return Msg("NO MODEM");
            const std::size_t i = options.model == TncModel::PtcII
                                      ? static_cast<std::size_t>(modemPort - 1)
                                      : std::size_t{0};
            return Msg("Modem settings: SCS - " +
                       options.modems[std::min(i, options.modems.size() - 1)] + "\r");
        }
        case 'T':
            return pactor ? Msg("0") : Ok();
        case 'I':  // break-in: the other side stops sending
        case 'O':  // changeover: this side gives up sending
            if (!pactor) return Err("INVALID COMMAND: %" + std::string(1, name));
            if (Ch(ch).state != kConnected) return Msg("CHANNEL NOT CONNECTED");
            ++pactorTurns[name == 'I' ? 0 : 1];
            return Ok();
        default:
            return Err("INVALID EXTENDED COMMAND: " + std::string(1, name));
    }
}

Result detail::TncState::Info(int ch, std::string_view data) {
    if (ch == 0) {
        OwnFrame('U', false, CallOf(0), unprotoTo, unprotoVia, "UI^ pid F0", std::string(data));
        return Ok();
    }
    TncChannel& c = Ch(ch);
    if (c.state == kConnected) {
        SendToRemote(ch, std::string(data));
    } else if (c.state == kConnectPending && c.unsent.size() < kMaxUnsent) {
        c.unsent.emplace_back(data);
    }
    // Without a link the text is dropped, and still answered OK.
    return Ok();
}

Result detail::TncState::Poll(int ch, std::string_view arg) {
    // "" everything, "0" information only, "1" link status only.
    if (!arg.empty() && arg != "0" && arg != "1") return Err("INVALID VALUE: " + std::string(arg));
    if (ch == 255) {
        std::string list;
        for (int n = 0; n <= limit; ++n)
            if (!Ch(n).items.empty()) list += static_cast<char>(n + 1);
        return Msg(list);
    }
    std::deque<Item>& items = Ch(ch).items;
    auto it = items.begin();
    if (arg == "0")
        it =
            std::find_if(items.begin(), items.end(), [](const Item& i) { return i.code != kLink; });
    else if (arg == "1")
        it =
            std::find_if(items.begin(), items.end(), [](const Item& i) { return i.code == kLink; });
    if (it == items.end()) return Ok();
    Result r{it->code, std::move(it->body)};
    items.erase(it);
    dirty = true;
    return r;
}

Result detail::TncState::CallsignCommand(int ch, std::string_view arg) {
    if (arg.empty()) return Msg(CallOf(ch));
    const std::optional<std::string> call = NormalCall(arg);
    if (!call) return Err("INVALID CALLSIGN");
    if (ch > 0 && Ch(ch).state != kIdle) return Err("NOT WHILE CONNECTED");
    Ch(ch).ownCall = *call;
    dirty = true;
    return Ok();
}

Result detail::TncState::ConnectCommand(int ch, std::string_view arg) {
    TncChannel& c = Ch(ch);
    if (arg.empty()) {
        if (ch == 0) return Msg(PathText(unprotoTo, unprotoVia));
        if (c.state == kIdle) return Msg("CHANNEL NOT CONNECTED");
        return Msg(PathText(c.remote, c.via));
    }
    const std::vector<std::string_view> words = Words(arg);
    const std::optional<std::string> call = NormalCall(words[0]);
    if (!call) return Err("INVALID CALLSIGN");
    std::vector<std::string> via;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string word = UpperText(words[i]);
        if (word == "VIA" || word == "V") continue;
        const std::optional<std::string> digi = NormalCall(word);
        if (!digi || via.size() >= kMaxDigis) return Err("INVALID CALLSIGN");
        via.push_back(*digi);
    }
    if (ch == 0) {
        unprotoTo = *call;
        unprotoVia = via;
        return Ok();
    }
    if (c.state != kIdle) {
        if (c.remote != *call) return Err("CHANNEL ALREADY CONNECTED");
        if (c.state == kConnected) {
            // The same call again: a fresh SABM resets the link.
            ++c.epoch;
            c.via = via;
            After(ch, options.linkDelay, [this, ch] {
                RemoteLinkFrame(ch, 'S', "UA-");
                OwnLinkFrame(ch, 'S', "SABM+");
                Linked(ch, true);
            });
        }
        return Ok();
    }
    for (int n = 1; n <= limit; ++n) {
        if (n != ch && Ch(n).state != kIdle && Ch(n).remote == *call && CallOf(n) == CallOf(ch))
            return Err("STATION ALREADY CONNECTED");
    }
    StartConnect(ch, *call, via);
    return Ok();
}

Result detail::TncState::DisconnectCommand(int ch) {
    if (ch == 0) return Err("INVALID COMMAND: D");
    if (Ch(ch).state == kIdle) return Msg("CHANNEL NOT CONNECTED");
    HostDisconnect(ch);
    return Ok();
}

Result detail::TncState::LinkCounters(int ch) {
    const TncChannel& c = Ch(ch);
    int status = 0, received = 0;
    bool headerBefore = false;
    for (const Item& i : c.items) {
        if (i.code == kLink) status++;
        if (i.code == kData || i.code == kMonHeader || i.code == kMonHeaderInfo ||
            (i.code == kMonInfo && !headerBefore))
            received++;
        headerBefore = i.code == kMonHeaderInfo;
    }
    const TncChannelCounters& o = c.counters;
    status = o.status.value_or(status);
    received = o.received.value_or(received);
    if (ch == 0) return Msg(std::to_string(status) + " " + std::to_string(received));
    const std::array<int, 6> v{status,
                               received,
                               o.unsent.value_or(static_cast<int>(c.unsent.size())),
                               o.unacked.value_or(c.unacked),
                               o.tries.value_or(c.tries),
                               o.state.value_or(c.state)};
    std::string text;
    for (int n : v) text += (text.empty() ? "" : " ") + std::to_string(n);
    return Msg(text);
}

Result detail::TncState::MonitorCommand(std::string_view arg) {
    if (arg.empty()) {
        std::string text;
        if (monI) text += 'I';
        if (monU) text += 'U';
        if (monS) text += 'S';
        if (monC) text += 'C';
        if (text.empty()) text = "N";
        if (filterMode != 0) {
            text += filterMode > 0 ? " + " : " - ";
            text += Join(filterCalls, false);
        }
        return Msg(text);
    }
    if (arg[0] == '+' || arg[0] == '-') {
        std::vector<std::string> calls;
        for (std::string_view w : Words(arg.substr(1))) {
            const std::optional<std::string> call = NormalCall(w);
            if (!call || calls.size() >= kMaxFilterCalls) return Err("INVALID PARAMETER");
            calls.push_back(*call);
        }
        filterMode = calls.empty() ? 0 : (arg[0] == '+' ? 1 : -1);
        filterCalls = std::move(calls);
        return Ok();
    }
    bool i = false, u = false, s = false, c = false, n = false;
    for (char ch : arg) {
        switch (Upper(ch)) {
            case 'I':
                i = true;
                break;
            case 'U':
                u = true;
                break;
            case 'S':
                s = true;
                break;
            case 'C':
                c = true;
                break;
            case 'N':
                n = true;
                break;
            case ' ':
                break;
            default:
                return Err("INVALID PARAMETER");
        }
    }
    if (n && (i || u || s || c)) return Err("INVALID PARAMETER");
    monI = i;
    monU = u;
    monS = s;
    monC = c;
    return Ok();
}

Result detail::TncState::Extended(int ch, std::string_view text) {
    if (Trim(text).empty()) return Ok();
    const char name = Upper(text[0]);
    const std::string_view rest = text.substr(1);
    const std::string invalid = "INVALID EXTENDED COMMAND: " + std::string(1, text[0]);
    switch (name) {
        case 'B':
            return Msg(std::to_string(freeBuffers));
        case 'S':
            if (ch == 0) return Err(invalid);
            return Msg(std::to_string(Ch(ch).state));
        case 'T':
            if (!rest.empty() && (rest[0] == '2' || rest[0] == '3'))
                return Parameter(std::string("@T") + rest[0], Trim(rest.substr(1)));
            return Err(invalid);
        case 'I':
        case 'D':
        case 'F':
        case 'V':
        case 'U':
        case 'P':
            return Parameter(std::string("@") + name, Trim(rest));
        default:
            return Err(invalid);
    }
}

Result detail::TncState::Parameter(const std::string& name, std::string_view arg) {
    int& value = ParamRef(name);
    if (arg.empty()) return Msg(std::to_string(value));
    const auto p = std::find_if(kParams.begin(), kParams.end(),
                                [&](const Param& q) { return name == q.name; });
    const std::optional<int> n = ParseNumber(arg);
    if (!n || p == kParams.end() || *n < p->min || *n > p->max)
        return Err("INVALID VALUE: " + std::string(arg));
    value = *n;
    return Ok();
}

Result detail::TncState::ClockCommand(std::string_view arg) {
    if (arg.empty()) {
        const long long s =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
        char text[48];
        std::snprintf(text, sizeof text, "%d 00/00/00 %02lld:%02lld:%02lld", stamp, (s / 3600) % 24,
                      (s / 60) % 60, s % 60);
        return Msg(text);
    }
    const std::optional<int> n = ParseNumber(arg);
    if (!n || *n > 2) return Err("INVALID VALUE: " + std::string(arg));
    stamp = *n;
    return Ok();
}

Result detail::TncState::CtextCommand(std::string_view arg) {
    if (arg.empty()) return Msg(std::to_string(ctextMode));
    if (arg.size() > kMaxCtext) return Err("MESSAGE TOO LONG");
    const std::size_t space = arg.find(' ');
    const std::string_view number = arg.substr(0, space);
    const std::optional<int> n = ParseNumber(number);
    if (!n || *n > 2) return Err("INVALID VALUE: " + std::string(number));
    ctextMode = *n;
    if (space != std::string_view::npos) ctext = std::string(Trim(arg.substr(space + 1)));
    return Ok();
}

Result detail::TncState::HostCommand(std::string_view text) {
    if (!StartsWithCaseless(text, "JHOST"))
        return Err("INVALID COMMAND: " + std::string(1, text[0]));
    const std::string_view arg = Trim(text.substr(5));
    if (arg.empty()) return Msg("1");
    if (arg == "1") return Ok();
    if (arg == "0") {
        Result r;
        r.leaveHostmode = true;
        return r;
    }
    return Err("INVALID VALUE: " + std::string(arg));
}

// ---------------------------------------------------------------------------
// Terminal mode

void detail::TncState::Echo(std::string text) {
    const Clock::time_point now = Clock::now();
    Clock::time_point due = now;
    if (options.echoDelay.count() > 0) due = std::max(now, lastEcho + options.echoDelay);
    lastEcho = due;
    Out out;
    out.bytes = std::move(text);
    out.notBefore = due;
    output.push_back(std::move(out));
}

void detail::TncState::TerminalByte(std::uint8_t b) {
    terminalLog += static_cast<char>(b);
    if (terminalLog.size() > kMaxTerminalLog)
        terminalLog.erase(0, terminalLog.size() - kMaxTerminalLog);
    dirty = true;
    switch (b) {
        case 0x11:  // XON
            Echo(".");
            return;
        case 0x18:  // CAN
            termLine.clear();
            termCommand = false;
            Echo("\x08 \x08");
            return;
        case 0x1b:  // ESC: a command line follows
            termLine.clear();
            termCommand = true;
            Echo("* ");
            return;
        case 0x08:
        case 0x7f:
            if (!termLine.empty()) {
                termLine.pop_back();
                Echo("\x08 \x08");
            }
            return;
        case '\r': {
            Echo("\r\n");
            const std::string line = UpperText(Trim(termLine));
            const bool command = termCommand;
            termLine.clear();
            termCommand = false;
            if (!command) return;
            std::string compact;
            for (char c : line)
                if (c != ' ') compact += c;
            if (compact == "JHOST1") {
                hostmode = true;
                frame.clear();
            } else if (compact == "V") {
                Echo(options.version + "\r\n");
            }
            return;
        }
        default:
            if (b >= 0x20 && b < 0x7f) {
                if (termLine.size() < kMaxTerminalLine) termLine += static_cast<char>(b);
                Echo(std::string(1, static_cast<char>(b)));
            }
            return;
    }
}

// ---------------------------------------------------------------------------
// The thread's steps

void detail::TncState::ProcessInput(Clock::time_point now) {
    const bool silent = Silent(now);
    while (inputPos < input.size()) {
        const auto b = static_cast<std::uint8_t>(input[inputPos]);
        if (hostmode) {
            // One frame at a time: the next waits until this reply is out.
            if (!silent && !output.empty()) break;
            ++inputPos;
            frame += static_cast<char>(b);
            if (frame.size() < 3 ||
                frame.size() <
                    3 + static_cast<std::size_t>(static_cast<std::uint8_t>(frame[2])) + 1)
                continue;
            if (silent) {
                LogFrame(static_cast<std::uint8_t>(frame[0]), frame[1] == 1, frame.substr(3),
                         false);
                frame.clear();
            } else {
                HandleFrame();
            }
        } else {
            ++inputPos;
            if (silent) continue;
            TerminalByte(b);
        }
    }
    if (inputPos == input.size()) {
        input.clear();
        inputPos = 0;
    } else if (inputPos > kMaxInput / 2) {
        input.erase(0, inputPos);
        inputPos = 0;
    }
}

void detail::TncState::RunTimers(Clock::time_point now) {
    for (;;) {
        auto due = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->due <= now && (due == timers.end() || it->due < due->due)) due = it;
        if (due == timers.end()) break;
        Timer t = std::move(*due);
        timers.erase(due);
        if (t.epoch == Ch(t.channel).epoch) t.run();
    }
    for (int ch = 1; ch <= limit; ++ch) {
        TncChannel& c = Ch(ch);
        if (c.state != kConnected) continue;
        if (c.remoteAckDue && *c.remoteAckDue <= now) {
            c.remoteAckDue.reset();
            RemoteLinkFrame(ch, 'S', "RR" + std::to_string(c.vs) + "v");
            c.unacked = 0;
        }
        if (c.ownAckDue && *c.ownAckDue <= now) {
            c.ownAckDue.reset();
            OwnLinkFrame(ch, 'S', "RR" + std::to_string(c.vr) + "v");
        }
    }
    if (nextBeacon && *nextBeacon <= now) {
        nextBeacon = now + options.beaconInterval;
        const std::string from = CallKey(options.beaconCall);
        Monitor('U', false, from, CallKey(options.beaconTo), "", "UI^ pid F0", options.beaconText);
        if (options.overheardTraffic) {
            const std::string ns = std::to_string(overheardNs);
            overheardNs = (overheardNs + 1) % 8;
            const std::string nr = std::to_string(overheardNs);
            Monitor('I', false, "SIMA", "SIMB", "", "I0" + ns + "^ pid F0",
                    "Overheard line number " + ns + " between two other stations.\r");
            Monitor('S', false, "SIMB", "SIMA", "", "RR" + nr + "v", std::nullopt);
        }
    }
}

Clock::time_point detail::TncState::NextDue(Clock::time_point wake) const {
    for (const Timer& t : timers) wake = std::min(wake, t.due);
    for (const TncChannel& c : channels) {
        if (c.remoteAckDue) wake = std::min(wake, *c.remoteAckDue);
        if (c.ownAckDue) wake = std::min(wake, *c.ownAckDue);
    }
    if (nextBeacon) wake = std::min(wake, *nextBeacon);
    return wake;
}

std::string detail::TncState::TakeOutput(Clock::time_point now, Clock::time_point lineFree,
                                         Clock::time_point& wake) {
    if (Silent(now)) {
        wake = std::min(wake, *silentUntil);
        return {};
    }
    if (output.empty()) return {};
    Out& o = output.front();
    if (o.notBefore > now) {
        wake = std::min(wake, o.notBefore);
        return {};
    }
    if (options.baud > 0 && lineFree > now) {
        wake = std::min(wake, lineFree);
        return {};
    }
    std::size_t n = o.bytes.size() - o.done;
    // Paced: about 5 ms of line time per write.
    if (options.baud > 0) n = std::min<std::size_t>(n, std::max(1, options.baud / 10 / 200));
    std::string chunk = o.bytes.substr(o.done, n);
    o.done += n;
    // Its place in the schedule: when the echo was due, or when the line
    // became free after the chunk before.
    Clock::time_point at = o.notBefore;
    if (options.baud > 0) at = std::max(at, lineFree);
    lineLog.push_back({std::chrono::duration_cast<std::chrono::nanoseconds>(at - started), chunk});
    if (lineLog.size() > kMaxLineLog) lineLog.pop_front();
    if (o.done >= o.bytes.size()) {
        if (o.silenceAfter) silentUntil = now + *o.silenceAfter;
        output.pop_front();
    }
    return chunk;
}

void detail::TncState::ResetHostSide() {
    input.clear();
    inputPos = 0;
    frame.clear();
    output.clear();
    termLine.clear();
    termCommand = false;
}

// ---------------------------------------------------------------------------
// The simulator

namespace {

bool PointLink(const std::string& link, const std::string& target, std::string& error) {
    std::error_code ec;
    const std::string temporary = link + ".new";
    fs::remove(temporary, ec);
    fs::create_symlink(target, temporary, ec);
    if (!ec) fs::rename(temporary, link, ec);
    if (ec) {
        error = "cannot point " + link + " at " + target + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link) {
    std::error_code ec;
    if (!link.empty() && fs::is_symlink(fs::symlink_status(link, ec))) fs::remove(link, ec);
}

}  // namespace

TncSimulator::TncSimulator(TncSimulatorOptions options)
    : options_(std::move(options)), state_(std::make_unique<detail::TncState>(options_)) {
    std::string error;
    std::unique_ptr<platform::PseudoTerminal> pty = platform::PseudoTerminal::Open(error);
    if (!pty) {
        state_->error = error.empty() ? "cannot open a pseudo-terminal" : error;
        return;
    }
    state_->slavePath = pty->SlavePath();
    if (!options_.linkPath.empty() && !PointLink(options_.linkPath, state_->slavePath, error)) {
        state_->error = error;
        return;
    }
    thread_ = std::thread([this, p = std::move(pty)]() mutable { Run(std::move(p)); });
}

TncSimulator::~TncSimulator() {
    Stop();
    RemoveLink(options_.linkPath);
}

void TncSimulator::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TncSimulator::Run(std::unique_ptr<platform::PseudoTerminal> pty) {
    std::vector<std::uint8_t> buffer(4096);
    const int baud = options_.baud;
    const auto byteTime = std::chrono::nanoseconds(baud > 0 ? 10'000'000'000LL / baud : 0);
    const std::size_t pacedChunk = static_cast<std::size_t>(std::max(1, baud / 10 / 200));
    Clock::time_point lineFree = Clock::now(), readFree = Clock::now();

    for (;;) {
        detail::TncState& st = *state_;
        bool goDown = false, comeUp = false;
        {
            std::lock_guard lock(mutex_);
            if (stop_) break;
            const Clock::time_point now = Clock::now();
            if (st.hangUpRequested) {
                st.hangUpRequested = false;
                goDown = pty != nullptr;
            } else if (!pty && st.down &&
                       (st.comeBackNow || (st.comeBackAt && now >= *st.comeBackAt))) {
                comeUp = true;
            }
        }
        if (goDown) {
            // Under the lock: whoever sees the hang-up also sees the port down.
            std::lock_guard lock(mutex_);
            pty.reset();
            st.slavePath.clear();
            RemoveLink(options_.linkPath);
            st.ResetHostSide();
            st.down = true;
            st.dirty = true;
        }
        if (comeUp) {
            std::lock_guard lock(mutex_);
            std::string error;
            pty = platform::PseudoTerminal::Open(error);
            st.comeBackNow = false;
            st.comeBackAt.reset();
            if (pty) {
                st.slavePath = pty->SlavePath();
                if (!options_.linkPath.empty())
                    PointLink(options_.linkPath, st.slavePath, st.error);
                st.down = false;
                st.ResetHostSide();
                if (st.backInTerminalMode) st.hostmode = false;
            } else {
                st.error = error;
                st.comeBackAt = Clock::now() + std::chrono::seconds(1);
            }
            st.dirty = true;
        }

        const Clock::time_point now = Clock::now();
        Clock::time_point wake = now + kIdleWait;
        std::string chunk;
        bool inputWaiting = false;
        bool inputRoom = false;
        {
            std::lock_guard lock(mutex_);
            st.RunTimers(now);
            st.ProcessInput(now);
            if (pty) chunk = st.TakeOutput(now, lineFree, wake);
            wake = st.NextDue(wake);
            if (st.down && st.comeBackAt) wake = std::min(wake, *st.comeBackAt);
            inputWaiting = st.inputPos < st.input.size() && st.output.empty();
            inputRoom = st.input.size() < kMaxInput;
            if (st.dirty) {
                st.dirty = false;
                changed_.notify_all();
            }
        }

        if (!chunk.empty()) {
            pty->Write(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size());
            if (baud > 0) lineFree = std::max(lineFree, now) + byteTime * chunk.size();
            continue;
        }
        const bool mayRead = pty && inputRoom && (baud == 0 || readFree <= now);
        if (baud > 0 && readFree > now) wake = std::min(wake, readFree);
        if (mayRead) {
            const auto left = std::chrono::duration_cast<milliseconds>(wake - Clock::now());
            const milliseconds timeout =
                inputWaiting ? milliseconds(0) : std::clamp(left, milliseconds(0), kIdleWait);
            const std::size_t want = baud > 0 ? pacedChunk : buffer.size();
            const platform::SerialIo io = pty->Read(buffer.data(), want, timeout);
            if (io.Ok() && io.count > 0) {
                if (baud > 0) readFree = std::max(readFree, Clock::now()) + byteTime * io.count;
                std::lock_guard lock(mutex_);
                st.input.append(reinterpret_cast<const char*>(buffer.data()), io.count);
            } else if (!io.Ok()) {
                std::this_thread::sleep_for(milliseconds(10));  // no busy loop on errors
            }
        } else if (!inputWaiting) {
            std::unique_lock lock(mutex_);
            changed_.wait_until(lock, std::max(wake, Clock::now() + milliseconds(1)),
                                [&] { return stop_; });
        }
    }
}

// ---------------------------------------------------------------------------
// The test interface

bool TncSimulator::Ok() const {
    std::lock_guard lock(mutex_);
    return state_->error.empty();
}

std::string TncSimulator::Error() const {
    std::lock_guard lock(mutex_);
    return state_->error;
}

std::string TncSimulator::PortPath() const {
    if (!options_.linkPath.empty()) return options_.linkPath;
    return SlavePath();
}

std::string TncSimulator::SlavePath() const {
    std::lock_guard lock(mutex_);
    return state_->slavePath;
}

bool TncSimulator::InHostmode() const {
    std::lock_guard lock(mutex_);
    return state_->hostmode;
}

bool TncSimulator::WaitForHostmode(bool hostmode, milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return state_->hostmode == hostmode; });
}

std::string TncSimulator::TerminalInput() const {
    std::lock_guard lock(mutex_);
    return state_->terminalLog;
}

void TncSimulator::AddStation(const std::string& call, TncStationOptions options) {
    std::lock_guard lock(mutex_);
    TncStationRecord& record = state_->RecordFor(call);
    record.options = std::move(options);
    record.registered = true;
}

int TncSimulator::IncomingConnect(const std::string& from, const std::string& to,
                                  const std::vector<std::string>& via) {
    std::lock_guard lock(mutex_);
    const int ch = state_->IncomingConnect(from, to, via);
    changed_.notify_all();
    return ch;
}

std::string TncSimulator::StationReceived(const std::string& call) const {
    std::lock_guard lock(mutex_);
    const auto it = state_->stations.find(CallKey(call));
    return it == state_->stations.end() ? std::string() : it->second.received;
}

bool TncSimulator::WaitForStationReceived(const std::string& call, const std::string& text,
                                          milliseconds timeout) const {
    const std::string key = CallKey(call);
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        const auto it = state_->stations.find(key);
        return it != state_->stations.end() && it->second.received.find(text) != std::string::npos;
    });
}

std::optional<bool> TncSimulator::StationPasswordOk(const std::string& call) const {
    std::lock_guard lock(mutex_);
    const auto it = state_->stations.find(CallKey(call));
    return it == state_->stations.end() ? std::nullopt : it->second.passwordOk;
}

bool TncSimulator::StationSend(const std::string& call, const std::string& data) {
    std::lock_guard lock(mutex_);
    const int ch = state_->LinkedChannelOf(call);
    if (ch == 0) return false;
    state_->StationOutput(ch, data);
    return true;
}

bool TncSimulator::StationDisconnect(const std::string& call) {
    std::lock_guard lock(mutex_);
    const int ch = state_->LinkedChannelOf(call);
    if (ch == 0) return false;
    state_->RemoteLinkFrame(ch, 'S', "DISC+");
    state_->OwnLinkFrame(ch, 'S', "UA-");
    state_->Gone(ch);
    changed_.notify_all();
    return true;
}

int TncSimulator::LinkState(int channel) const {
    std::lock_guard lock(mutex_);
    if (channel < 1 || channel > state_->limit) return kIdle;
    return state_->Ch(channel).state;
}

bool TncSimulator::WaitForLinkState(int channel, int linkState, milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    if (channel < 1 || channel > state_->limit) return false;
    return changed_.wait_for(lock, timeout, [&] { return state_->Ch(channel).state == linkState; });
}

std::string TncSimulator::LinkPartner(int channel) const {
    std::lock_guard lock(mutex_);
    if (channel < 1 || channel > state_->limit) return {};
    const TncChannel& c = state_->Ch(channel);
    return c.state == kIdle ? std::string() : c.remote;
}

std::string TncSimulator::ChannelCallsign(int channel) const {
    std::lock_guard lock(mutex_);
    if (channel < 0 || channel > state_->limit) return {};
    return state_->CallOf(channel);
}

void TncSimulator::SetChannelCounters(int channel, const TncChannelCounters& counters) {
    std::lock_guard lock(mutex_);
    if (channel < 0 || channel > state_->limit) return;
    state_->Ch(channel).counters = counters;
}

void TncSimulator::SetFreeBuffers(int buffers) {
    std::lock_guard lock(mutex_);
    state_->freeBuffers = buffers;
}

void TncSimulator::InjectLinkStatus(int channel, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (channel < 0 || channel > state_->limit) return;
    state_->Status(channel, text);
}

void TncSimulator::InjectMonitor(const std::string& header, std::optional<std::string> info) {
    std::lock_guard lock(mutex_);
    state_->MonitorPush(header, info);
}

void TncSimulator::Silence(std::optional<milliseconds> duration) {
    std::lock_guard lock(mutex_);
    state_->silentUntil = duration ? Clock::now() + *duration : Clock::time_point::max();
}

void TncSimulator::EndSilence() {
    std::lock_guard lock(mutex_);
    state_->silentUntil.reset();
}

void TncSimulator::JunkInNextReply(const std::string& junk, std::size_t offset) {
    std::lock_guard lock(mutex_);
    state_->junk = std::make_pair(junk, offset);
}

void TncSimulator::NextReplyCode(std::uint8_t code) {
    std::lock_guard lock(mutex_);
    state_->nextCode = code;
}

void TncSimulator::ShortBodyNext(int announced, int sent, milliseconds silence) {
    std::lock_guard lock(mutex_);
    state_->shortBody = detail::TncState::ShortBody{announced, sent, silence};
}

void TncSimulator::HangUp(std::optional<milliseconds> backAfter, bool backInTerminalMode) {
    std::lock_guard lock(mutex_);
    state_->hangUpRequested = true;
    state_->comeBackNow = false;
    state_->comeBackAt.reset();
    if (backAfter) state_->comeBackAt = Clock::now() + *backAfter;
    state_->backInTerminalMode = backInTerminalMode;
    changed_.notify_all();
}

void TncSimulator::ComeBack() {
    std::lock_guard lock(mutex_);
    state_->comeBackNow = true;
    changed_.notify_all();
}

bool TncSimulator::WaitForPort(milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return !state_->down && !state_->slavePath.empty(); });
}

void TncSimulator::OverrideReply(const TncReplyOverride& override) {
    std::lock_guard lock(mutex_);
    if (override.count > 0) state_->overrides.push_back(override);
}

std::vector<TncHostFrame> TncSimulator::Frames(std::size_t from) const {
    std::lock_guard lock(mutex_);
    const auto& frames = state_->frames;
    return {state_->FrameAt(from), frames.end()};
}

std::array<int, 2> TncSimulator::PactorTurns() const {
    std::lock_guard lock(mutex_);
    return state_->pactorTurns;
}

std::vector<TncLineChunk> TncSimulator::LineLog() const {
    std::lock_guard lock(mutex_);
    return {state_->lineLog.begin(), state_->lineLog.end()};
}

std::size_t TncSimulator::FrameCount() const {
    std::lock_guard lock(mutex_);
    return state_->nextIndex;
}

std::optional<TncHostFrame> TncSimulator::WaitForFrame(
    const std::function<bool(const TncHostFrame&)>& match, milliseconds timeout,
    std::size_t from) const {
    std::unique_lock lock(mutex_);
    std::optional<TncHostFrame> found;
    changed_.wait_for(lock, timeout, [&] {
        for (auto it = state_->FrameAt(from); it != state_->frames.end(); ++it) {
            from = it->index + 1;  // the next look starts behind what was seen
            if (match(*it)) {
                found = *it;
                return true;
            }
        }
        return false;
    });
    return found;
}

}  // namespace tarvo::test
