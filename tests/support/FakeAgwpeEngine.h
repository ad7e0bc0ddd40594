// A packet engine speaking the AGWPE TCP frames on loopback, with scripted
// stations and faults, for the tests of the AGWPE device. One client at a time;
// a new client replaces the old one. Every public member may be called from any
// thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devices/AgwpeU.h"

namespace tarvo::platform {
class TcpListener;
class TcpStream;
}  // namespace tarvo::platform

namespace tarvo::test {

// One frame on the air, for the engine's monitor.
struct FakeMonitorFrame {
    std::string from, to;
    std::vector<std::string> via;  // a trailing '*' marks a repeated digipeater
    std::string type = "UI";       // UI, I, RR, RNR, REJ, SABME, UA, DISC, DM
    int ns = 0, nr = 0;
    bool command = true;
    bool pollFinal = false;
    std::string info;  // UI and I only
    bool own = false;  // sent by the engine itself: text 'T', no raw copy
    std::uint8_t port = 0;
};

struct FakeAgwpeOptions {
    // The data of the 'G' reply, NUL added. The recorded engine's form is
    // kRecordedPortList.
    std::string portList = "2;Port1 with Radio A;Port2 with Radio B;";
    static constexpr const char* kRecordedPortList =
        "1;Port1 first soundcard mono;Port2 INVALID CHANNEL;Port3 INVALID CHANNEL;"
        "Port4 INVALID CHANNEL;Port5 INVALID CHANNEL;Port6 INVALID CHANNEL;";
    // The 'g' answer, as recorded (MaxFrame 7 in byte 6).
    std::string portCapabilities =
        std::string("\x00\x01\x19\x04\xc8\x04\x07\x00\x01\x00\x00\x00", 12);
    // Listen here (0: any free port).
    std::uint16_t listenPort = 0;
    // A station's answer to a line it received over a link ("" for none);
    // setting `end` has the station end the link after it. And its greeting
    // when a link to it comes up.
    std::function<std::string(const std::string& station, const std::string& line, bool& end)>
        answer;
    std::function<std::string(const std::string& station)> greeting;
    // Frames of the engine's own links also reach its monitor.
    bool monitorLinks = false;
    std::uint32_t versionMajor = 2005, versionMinor = 127;
    std::chrono::milliseconds linkDelay{20};  // until a connect is answered
    std::uint32_t outstanding = 0;            // the 'Y' answer
    // Send each frame in pieces of this many bytes, with a pause between (0: whole).
    std::size_t splitEvery = 0;
};

class FakeAgwpeEngine {
  public:
    using Options = FakeAgwpeOptions;

    FakeAgwpeEngine() : FakeAgwpeEngine(Options{}) {}
    explicit FakeAgwpeEngine(Options options);
    ~FakeAgwpeEngine();
    FakeAgwpeEngine(const FakeAgwpeEngine&) = delete;
    FakeAgwpeEngine& operator=(const FakeAgwpeEngine&) = delete;

    bool Ok() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }

    // Frames the client sent, in order.
    std::vector<devices::agwpe::TFrame> Frames() const;
    std::size_t FrameCount() const;
    // The first frame from index `from` on that matches, waiting at most `timeout`.
    std::optional<devices::agwpe::TFrame> WaitForFrame(
        const std::function<bool(const devices::agwpe::TFrame&)>& match,
        std::chrono::milliseconds timeout, std::size_t from = 0) const;
    bool Connected() const;
    bool WaitForClient(std::chrono::milliseconds timeout) const;
    // How many clients have connected so far.
    int Logins() const;

    // Stations that answer a connect; others are retried until "RETRYOUT".
    void AddStation(const std::string& call, bool busy = false);
    // What a station received over its links.
    std::string StationReceived(const std::string& call) const;
    // A station connects to `to` on `port`.
    void IncomingConnect(const std::string& from, const std::string& to, std::uint8_t port = 0);
    // The station sends data / ends the link.
    void StationSend(const std::string& from, const std::string& to, const std::string& data,
                     std::uint8_t port = 0);
    void StationDisconnect(const std::string& from, const std::string& to, std::uint8_t port = 0,
                           const std::string& text = {});

    // A frame heard on the air: to the client as a raw 'K' (once it asked with
    // 'k') and as text, in the engine's forms, while its monitor is on.
    void Monitor(const FakeMonitorFrame& frame);
    bool MonitorOn() const;

    // Raw bytes to the client, as they are.
    void SendRaw(const std::string& bytes);
    // A frame to the client.
    void SendFrame(const devices::agwpe::TFrame& frame);
    void SetOutstanding(std::uint32_t n);
    // Drops the client's connection; with `refuse` no new client is taken.
    void CloseClient(bool refuse = false);
    void AcceptAgain();

  private:
    void Run();
    void Handle(const devices::agwpe::TFrame& frame);
    void Write(const std::string& bytes);
    static std::string Notice(const std::string& text);

    Options options_;
    std::unique_ptr<platform::TcpListener> listener_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    bool stop_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::shared_ptr<platform::TcpStream> client_;
    bool refuse_ = false;
    int logins_ = 0;
    std::vector<devices::agwpe::TFrame> frames_;
    std::map<std::string, bool> stations_;  // call -> busy
    std::map<std::string, std::string> received_;
    std::uint32_t outstanding_ = 0;
    bool monitor_ = false;
    bool raw_ = false;
    std::map<std::string, int> linkSequence_;     // per station: frames each way
    std::map<std::string, std::string> partial_;  // per station: a line not yet ended
    std::mutex writeMutex_;
};

}  // namespace tarvo::test
