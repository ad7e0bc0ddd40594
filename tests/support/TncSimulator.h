// A simulated TNC that speaks hostmode over a pseudo-terminal: terminal mode,
// JHOST1, hostmode frames with one reply each, channels with links to
// simulated stations, the monitor, and faults a test can script. One thread
// owns the pty and the state; every public member may be called from any
// thread.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarvo::platform {
class PseudoTerminal;
}

namespace tarvo::test {

namespace detail {
struct TncState;
}

// How a simulated station behaves on a link.
enum class TncStationKind : std::uint8_t {
    Mailbox,  // identifier, greeting, password challenge, prompt "de CALL>"; L, R n, K n, B
    Echo,     // sends back every line it receives
    Busy,     // refuses connects (DM)
    Quiet,    // accepts connects and says nothing
};

struct TncStationOptions {
    TncStationKind kind = TncStationKind::Quiet;
    // Longer output is cut into frames of this size (1..256), in the middle of
    // words and lines; 236 as on the recorded mailbox's port.
    std::size_t paclen = 236;
    // Mailbox: the password whose characters the prompt asks for by position.
    std::string password = "SimPass2024";
};

// What the simulated TNC is: a plain hostmode TNC, or a multimode controller
// with a PACTOR channel (the PTC-II with several modem ports, the PTC-IIe with one).
enum class TncModel : std::uint8_t { Plain, PtcII, PtcIIe };

struct TncSimulatorOptions {
    int channels = 10;  // what Y starts with: the channels incoming connects may take
    // The firmware's compiled-in highest channel: every channel up to it takes
    // commands and info whatever Y says; above it "INVALID CHANNEL NUMBER".
    int channelLimit = 50;
    int baud = 0;  // 0: unpaced; else at most baud/10 bytes per second each way
    bool startInHostmode = false;
    std::string callsign = "TARVO";            // every channel's I callsign at start
    std::string version = "TF2.7b/Tarvo-Sim";  // the PTC models answer "V" with their own
    TncModel model = TncModel::Plain;
    // PTC models: the channel whose "%T" answers with a message, where PACTOR
    // links run; and the modem ports of a PTC-II ("%P1".."%Pn", each with its "%B").
    int pactorChannel = 31;
    std::vector<std::string> modems{"DSP", "FSK"};
    std::string linkPath;  // stable symlink to the current slave; "" none
    // Between echoed units in terminal mode; hostmode frames wait until the
    // echo of JHOST1 is out, as with the real firmware (about 1 s).
    std::chrono::milliseconds echoDelay{100};
    std::chrono::milliseconds linkDelay{20};      // until a station's link-level answer
    std::chrono::milliseconds ackDelay{100};      // until an unanswered I frame is acknowledged
    std::chrono::milliseconds retryInterval{50};  // between connect tries to a silent call
    int retries = 10;                             // N at start
    std::chrono::milliseconds beaconInterval{0};  // 0: no beacon
    std::string beaconCall = "DB0SIM";
    std::string beaconTo = "ID";
    std::string beaconText = "Tarvo simulator beacon\r";
    bool overheardTraffic = false;  // with each beacon an I frame and its RR between others
    int freeBuffers = 8192;         // @B
};

// One frame the host sent in hostmode.
struct TncHostFrame {
    std::size_t index = 0;  // counts from 0 over the simulator's life
    int channel = 0;
    bool command = false;  // type byte 1; everything else is information
    std::string data;
    std::chrono::steady_clock::time_point time;
    bool answered = true;  // false when it came during silence
};

// One write to the host as the simulator planned it: `at` is its place in the
// simulator's own schedule, counted from its start, however late the host
// reads it.
struct TncLineChunk {
    std::chrono::nanoseconds at{0};
    std::string bytes;
};

// L values that replace the computed ones; on channel 0 only status and received count.
struct TncChannelCounters {
    std::optional<int> status, received, unsent, unacked, tries, state;
};

// For the next `count` commands on `channel` (-1: any) whose text starts with
// `prefix` (case ignored; "" matches every command): answer code + text
// instead of running the command, after `delay`.
struct TncReplyOverride {
    int channel = -1;
    std::string prefix;
    int count = 1;
    std::uint8_t code = 2;
    std::string text;
    std::chrono::milliseconds delay{0};
};

class TncSimulator {
  public:
    explicit TncSimulator(TncSimulatorOptions options = {});
    ~TncSimulator();
    TncSimulator(const TncSimulator&) = delete;
    TncSimulator& operator=(const TncSimulator&) = delete;

    // False when the pty or the symlink could not be made; see Error.
    bool Ok() const;
    std::string Error() const;
    // What the program opens: the symlink when there is one, else the slave.
    std::string PortPath() const;
    // The current slave ("" while hung up).
    std::string SlavePath() const;

    bool InHostmode() const;
    bool WaitForHostmode(bool hostmode, std::chrono::milliseconds timeout) const;
    // Bytes that arrived in terminal mode (the last 64 KiB).
    std::string TerminalInput() const;

    // --- stations ---------------------------------------------------------
    void AddStation(const std::string& call, TncStationOptions options);
    // `from` connects to `to`: the lowest idle channel 1..Y whose callsign is
    // `to` takes it. Returns that channel, or 0 when the caller was refused.
    int IncomingConnect(const std::string& from, const std::string& to,
                        const std::vector<std::string>& via = {});
    // Everything the station received over its links so far.
    std::string StationReceived(const std::string& call) const;
    bool WaitForStationReceived(const std::string& call, const std::string& text,
                                std::chrono::milliseconds timeout) const;
    // Mailbox: whether the answer to its password prompt was right (none yet: nullopt).
    std::optional<bool> StationPasswordOk(const std::string& call) const;
    // The station sends data / disconnects on its link; false when it has none.
    bool StationSend(const std::string& call, const std::string& data);
    bool StationDisconnect(const std::string& call);

    // --- channels ---------------------------------------------------------
    // 0 idle, 1 connect pending, 3 disconnect pending, 4 connected.
    int LinkState(int channel) const;
    bool WaitForLinkState(int channel, int state, std::chrono::milliseconds timeout) const;
    std::string LinkPartner(int channel) const;
    std::string ChannelCallsign(int channel) const;
    void SetChannelCounters(int channel, const TncChannelCounters& counters);
    void SetFreeBuffers(int buffers);
    // A link status (code 3) text pending on the channel.
    void InjectLinkStatus(int channel, const std::string& text);
    // A monitor frame: code 4 without info, code 5 and then 6 with it. Not filtered.
    void InjectMonitor(const std::string& header, std::optional<std::string> info);

    // --- faults and scripted replies ---------------------------------------
    // Stop answering (frames are read, logged and dropped); nullopt: until EndSilence.
    void Silence(std::optional<std::chrono::milliseconds> duration);
    void EndSilence();
    // The next reply frame gets `junk` inserted after its first `offset` bytes.
    void JunkInNextReply(const std::string& junk, std::size_t offset = 2);
    // The next reply frame carries this code instead of its own.
    void NextReplyCode(std::uint8_t code);
    // The next reply is code 7 announcing `announced` bytes but bringing only
    // `sent`, then silence for `silence`.
    void ShortBodyNext(int announced, int sent, std::chrono::milliseconds silence);
    // The pty goes away (a hang-up for the program). It comes back, with a new
    // slave and the symlink moved to it, after `backAfter` (nullopt: at ComeBack).
    void HangUp(std::optional<std::chrono::milliseconds> backAfter,
                bool backInTerminalMode = false);
    void ComeBack();
    bool WaitForPort(std::chrono::milliseconds timeout) const;
    void OverrideReply(const TncReplyOverride& override);

    // --- what the host sent --------------------------------------------------
    // The frames with index >= from (the log keeps the last 200000).
    std::vector<TncHostFrame> Frames(std::size_t from = 0) const;
    std::size_t FrameCount() const;  // index the next frame will get
    // PTC models: how many break-ins ("%I") and changeovers ("%O") a PACTOR link took.
    std::array<int, 2> PactorTurns() const;
    // The writes to the host (the last 10000), in order.
    std::vector<TncLineChunk> LineLog() const;
    // The first frame with index >= from that matches, waiting for it.
    std::optional<TncHostFrame> WaitForFrame(const std::function<bool(const TncHostFrame&)>& match,
                                             std::chrono::milliseconds timeout,
                                             std::size_t from = 0) const;

  private:
    void Run(std::unique_ptr<platform::PseudoTerminal> pty);
    void Stop();

    const TncSimulatorOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::unique_ptr<detail::TncState> state_;  // guarded by mutex_
    bool stop_ = false;                        // guarded by mutex_
    std::thread thread_;
};

}  // namespace tarvo::test
