// The hostmode device on a real pseudo-terminal against the simulated TNC:
// start-up, polling, links, link values, sending, the monitor, faults and
// shutdown, as the program runs them.
#include "devices/GeraetHostmodeSerialU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "channels/KanaeleU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "connection/VerbindungTextSendU.h"
#include "core/GlobalU.h"
#include "devices/MyCallsU.h"
#include "platform/Files.h"
#include "platform/SerialPort.h"
#include "resources/OrdnerU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/TncSimulator.h"

namespace {

using namespace tarvo;
using namespace std::chrono_literals;
using devices::TGeraetHostmodeSerial;
using devices::TGeraetStatus;
using test::TncHostFrame;
using test::TncSimulator;
using test::TncSimulatorOptions;

constexpr const char* kDeviceKey = "\\Software\\Morvane\\Tarvo\\Geraete\\0";

// The device's connection with a receive queue the test declares full;
// everything else is the real connection's.
class BlockableVerbindung final : public core::IVerbindung {
  public:
    explicit BlockableVerbindung(std::shared_ptr<core::IVerbindung> inner)
        : inner_(std::move(inner)) {}
    std::atomic<bool> blocked{false};
    bool ReceiveBlocked() const override { return blocked.load(); }
    std::string Call() const override { return inner_->Call(); }
    void SetCall(std::string_view call) override { inner_->SetCall(call); }
    std::string MyCall() const override { return inner_->MyCall(); }
    void SetMyCall(std::string_view call) override { inner_->SetMyCall(call); }
    std::string Digis() const override { return inner_->Digis(); }
    void SetDigis(std::string_view digis) override { inner_->SetDigis(digis); }
    std::string Path() const override { return inner_->Path(); }
    void SetPath(std::string_view path) override { inner_->SetPath(path); }
    std::string RealPath() const override { return inner_->RealPath(); }
    void SetRealPath(std::string_view path) override { inner_->SetRealPath(path); }
    std::int32_t Handle() const override { return inner_->Handle(); }
    void SetHandle(std::int32_t handle) override { inner_->SetHandle(handle); }
    void Disconnect() override { inner_->Disconnect(); }
    void SendText(std::string_view text) override { inner_->SendText(text); }
    void SendTextLine(std::string_view text) override { inner_->SendTextLine(text); }
    void WaitForText(core::TApplicationKey client, std::string_view text) override {
        inner_->WaitForText(client, text);
    }
    std::string ReceiveText(core::TApplicationKey client) override {
        return inner_->ReceiveText(client);
    }
    bool AddApplication(core::TApplicationKey client) override {
        return inner_->AddApplication(client);
    }
    void RemoveApplication(core::TApplicationKey client) override {
        inner_->RemoveApplication(client);
    }
    std::shared_ptr<core::IStatus> Status() const override { return inner_->Status(); }
    std::shared_ptr<core::IKanalFuerVerbindung> Kanal() const override { return inner_->Kanal(); }
    void SetKanal(const std::shared_ptr<core::IKanalFuerVerbindung>& kanal) override {
        inner_->SetKanal(kanal);
    }
    std::int32_t StationType() const override { return inner_->StationType(); }
    void SetStationType(std::int32_t type) override { inner_->SetStationType(type); }
    std::uint8_t State() const override { return inner_->State(); }
    void SetState(std::uint8_t state) override { inner_->SetState(state); }
    bool Outgoing() const override { return inner_->Outgoing(); }
    void SetOutgoing(bool outgoing) override { inner_->SetOutgoing(outgoing); }
    bool SendGreeting() const override { return inner_->SendGreeting(); }
    void SetSendGreeting(bool send) override { inner_->SetSendGreeting(send); }
    std::shared_ptr<core::IDateiSendenQueue> DateiSendenQueue() const override {
        return inner_->DateiSendenQueue();
    }
    void SetDateiSenden(const std::shared_ptr<core::IDateiSenden>& job) override {
        inner_->SetDateiSenden(job);
    }
    std::shared_ptr<core::IDateiSenden> DateiSenden() const override {
        return inner_->DateiSenden();
    }
    void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                  bool userQueue) override {
        inner_->SendData(text, echo, expand, wrap, userQueue);
    }
    core::TStringQueue& LinkSendQueue() override { return inner_->LinkSendQueue(); }
    bool RemoteCommandsEnabled() const override { return inner_->RemoteCommandsEnabled(); }
    void SetRemoteCommandsEnabled(bool enabled) override {
        inner_->SetRemoteCommandsEnabled(enabled);
    }
    bool TransferActive() const override { return inner_->TransferActive(); }
    void SetTransferActive(bool active) override { inner_->SetTransferActive(active); }
    std::shared_ptr<core::IStationenDatenbankEintrag> StationEntry() const override {
        return inner_->StationEntry();
    }
    std::uint8_t BinMode() const override { return inner_->BinMode(); }
    void SetBinMode(std::uint8_t mode) override { inner_->SetBinMode(mode); }
    std::uint8_t IncomingConnectPolicy() const override { return inner_->IncomingConnectPolicy(); }
    void LinkEstablished() override { inner_->LinkEstablished(); }
    void Getrennt(std::uint8_t reason) override { inner_->Getrennt(reason); }
    void DataReceived(std::string_view data) override { inner_->DataReceived(data); }
    std::uint8_t DiscLevel() const override { return inner_->DiscLevel(); }
    void DiscLevelDone() override { inner_->DiscLevelDone(); }
    void Save(std::string_view registryPath) override { inner_->Save(registryPath); }
    void Restore(std::string_view registryPath, std::int32_t handle) override {
        inner_->Restore(registryPath, handle);
    }
    void KanalPrompt(std::string_view text, int kind) override { inner_->KanalPrompt(text, kind); }
    void Release() override { inner_->Release(); }
    void CancelTransfer() override { inner_->CancelTransfer(); }
    void SendStationId() override { inner_->SendStationId(); }
    bool Pactor() const override { return inner_->Pactor(); }
    void SetPactor(bool pactor) override { inner_->SetPactor(pactor); }
    void PactorChangeOver() override { inner_->PactorChangeOver(); }
    void PactorBreakIn() override { inner_->PactorBreakIn(); }
    bool LocalEcho() const override { return inner_->LocalEcho(); }
    void SetLocalEcho(bool value) override { inner_->SetLocalEcho(value); }

  private:
    std::shared_ptr<core::IVerbindung> inner_;
};

class BlockableDevice final : public TGeraetHostmodeSerial {
  public:
    using TGeraetHostmodeSerial::TGeraetHostmodeSerial;
    std::shared_ptr<core::IVerbindung> NewVerbindung() override {
        auto v = std::make_shared<BlockableVerbindung>(TGeraetHostmodeSerial::NewVerbindung());
        std::lock_guard lock(mutex_);
        made_.push_back(v);
        return v;
    }
    std::shared_ptr<BlockableVerbindung> Made(std::size_t i) const {
        std::lock_guard lock(mutex_);
        return i < made_.size() ? made_[i] : nullptr;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<BlockableVerbindung>> made_;
};

class HostmodeDevice : public test::DeviceFixture {
  protected:
    HostmodeDevice() {
        config_->SetSendSid(true);
        config_->SetHideReceivedSid(false);
        config_->SetMonitor(2 | 4 | 8 | 16);
        myCalls_->Add(devices::TMyCall("DL1TST", 0b11));
        // Restored links go back to their channels, as in the program.
        gctx_.verbindung.channelCount = [this] { return kanaele_->Count(); };
        gctx_.verbindung.channel = [this](int n) -> std::shared_ptr<core::IKanalFuerVerbindung> {
            return kanaele_->GetKanal(n);
        };
    }
    ~HostmodeDevice() override {
        if (HasFailure() && sim_) {
            // The last frames the TNC got show where the device stood.
            const auto frames = sim_->Frames();
            const std::size_t from = frames.size() > 400 ? frames.size() - 400 : 0;
            for (std::size_t i = from; i < frames.size(); ++i) {
                std::string shown;
                for (unsigned char ch : frames[i].data) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", ch);
                    shown += (ch >= 32 && ch < 127) ? std::string(1, static_cast<char>(ch)) : hex;
                }
                std::fprintf(stderr, "  frame %zu: ch %d %s \"%s\"%s\n", frames[i].index,
                             frames[i].channel, frames[i].command ? "cmd " : "info", shown.c_str(),
                             frames[i].answered ? "" : " (unanswered)");
            }
        }
        StopDevice();
    }

    void StartSim(TncSimulatorOptions options = {}) {
        if (options.linkPath.empty()) options.linkPath = (dir_ / "tnc").string();
        sim_.reset();  // it removes its link when it goes
        sim_ = std::make_unique<TncSimulator>(options);
        ASSERT_TRUE(sim_->Ok()) << sim_->Error();
    }

    template <typename Device = TGeraetHostmodeSerial>
    std::shared_ptr<Device> MakeDevice(const devices::TGeraetContext& ctx,
                                       std::vector<std::string> init = {},
                                       std::vector<std::string> deinit = {}) {
        auto dev = std::make_shared<Device>(ctx);
        auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
        p->Schnittstelle = sim_->PortPath();
        p->Baudrate = 115200;
        p->InitBefehle = std::move(init);
        p->DeinitBefehle = std::move(deinit);
        dev->SetParameter(p);
        return dev;
    }

    // Starts the device and waits until it polls in its main loop.
    void StartDevice(std::vector<std::string> init = {}, std::vector<std::string> deinit = {}) {
        Launch(MakeDevice(gctx_, std::move(init), std::move(deinit)));
    }
    void Launch(std::shared_ptr<TGeraetHostmodeSerial> dev) {
        dev_ = std::move(dev);
        dev_->Init();
        ASSERT_TRUE(Until([&] {
            return dev_->Status() == TGeraetStatus::Bereit && dev_->KanalAnzahl() > 0;
        })) << dev_->StatusText();
        // Past start-up: the init commands went with the first pass.
        ASSERT_TRUE(WaitFrame([](const TncHostFrame& f) { return f.data == "U0"; }));
    }

    void StopDevice() {
        if (dev_) dev_->DeInit();
        dev_.reset();
    }

    // Waits (serving the main thread) for a frame from `from` on.
    std::optional<TncHostFrame> WaitFrame(const std::function<bool(const TncHostFrame&)>& match,
                                          std::size_t from = 0,
                                          std::chrono::milliseconds timeout = 15s) {
        std::optional<TncHostFrame> found;
        Until(
            [&] {
                found = sim_->WaitForFrame(match, 1ms, from);
                return found.has_value();
            },
            timeout);
        return found;
    }

    // Serves the main thread while the station's text comes in.
    bool StationGot(const std::string& call, const std::string& text,
                    std::chrono::milliseconds timeout) {
        return Until([&] { return Has(sim_->StationReceived(call), text); }, timeout);
    }

    static auto Cmd(int channel, std::string data) {
        return [channel, data](const TncHostFrame& f) {
            return f.command && f.channel == channel && f.data == data;
        };
    }

    // The commands sent from `from` on, as "channel:text".
    std::vector<std::string> Commands(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (const TncHostFrame& f : sim_->Frames())
            if (f.index >= from && f.command)
                out.push_back(std::to_string(f.channel) + ":" + f.data);
        return out;
    }

    // An outgoing connect from the main thread, as the connect dialog makes it.
    std::uint8_t Connect(std::string ziel, std::shared_ptr<core::IVerbindung>* out = nullptr,
                         std::string mycall = "DL1TST") {
        auto radio = dev_->GetFunkKanaele(8).at(0);
        std::shared_ptr<core::IVerbindung> v;
        std::shared_ptr<core::IKanal> kanal;
        const std::uint8_t r = radio->Verbinde(ziel, mycall, v, kanal);
        if (out) *out = v;
        return r;
    }

    // SIMBOX, without a password, calls DL1TST and sends its prompt: the link's
    // TNC channel and connection (null when that did not happen).
    std::shared_ptr<core::IVerbindung> MailboxCalls(int& tnc) {
        StartSim();
        test::TncStationOptions mailbox{test::TncStationKind::Mailbox};
        mailbox.password.clear();
        sim_->AddStation("SIMBOX", mailbox);
        StartDevice();
        tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
        if (tnc <= 0 || !Until([&] { return Has(Channel(1), "de SIMBOX>"); })) {
            ADD_FAILURE() << Channel(1);
            return nullptr;
        }
        return dev_->GetVerbindung(tnc);
    }

    std::unique_ptr<TncSimulator> sim_;
    std::shared_ptr<TGeraetHostmodeSerial> dev_;
};

// ---- start-up -------------------------------------------------------------------------------

TEST_F(HostmodeDevice, EntersHostmodeOnlyWhenTheTncIsInTerminalMode) {
    for (const bool already : {false, true}) {
        SCOPED_TRACE(already ? "already in hostmode" : "terminal mode");
        TncSimulatorOptions o;
        o.startInHostmode = already;
        StartSim(o);
        StartDevice();
        const bool sentJhost = Has(sim_->TerminalInput(), "\x11\x18\x1bJHOST1\r");
        EXPECT_EQ(sentJhost, !already);
        EXPECT_EQ(dev_->Fehlerzaehler(), 0);
        EXPECT_TRUE(dev_->Extended());
        EXPECT_EQ(dev_->Geraeteklasse(), "Hostmode");
        StopDevice();
    }
}

TEST_F(HostmodeDevice, ProbesChannelsAndHandsOutTheOwnCallsigns) {
    // The firmware takes commands up to its compiled-in limit whatever Y says:
    // the channels are the ones Y gives, and only a TNC that does not tell is
    // probed up to the first invalid channel.
    myCalls_->Add(devices::TMyCall("DB0ABC", 0b1));
    struct Case {
        bool yAnswers;
        int kanalAnzahl;
        std::vector<std::string> probing;
    };
    const Case cases[] = {
        {true,
         4,
         {"0:Y", "0:I DL1TST", "1:I DL1TST", "2:I DB0ABC", "3:I DL1TST-1", "4:I DL1TST", "0:Y4"}},
        {false,
         6,
         {"0:Y", "0:I DL1TST", "1:I DL1TST", "2:I DB0ABC", "3:I DL1TST-1", "4:I DL1TST",
          "5:I DB0ABC", "6:I DL1TST-1", "7:I DL1TST", "0:Y6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.yAnswers ? "Y answers" : "Y refused");
        TncSimulatorOptions o;
        o.channels = 4;
        o.channelLimit = 6;
        StartSim(o);
        if (!c.yAnswers) sim_->OverrideReply({0, "Y", 1, 2, "INVALID COMMAND: Y", 0ms});
        StartDevice();
        EXPECT_EQ(dev_->KanalAnzahl(), c.kanalAnzahl);
        std::vector<std::string> probing;
        for (const std::string& cmd : Commands()) {
            if (cmd == "0:Y") probing.clear();
            if (cmd == "0:Y" || !probing.empty()) probing.push_back(cmd);
            if (probing.size() > 1 && cmd.rfind("0:Y", 0) == 0) break;
        }
        EXPECT_EQ(probing, c.probing);
        EXPECT_EQ(sim_->ChannelCallsign(3), "DL1TST-1");
        StopDevice();
    }
}

TEST_F(HostmodeDevice, WithoutOwnCallsignsTheLastChannelIsStillFound) {
    myCalls_->Clear();
    TncSimulatorOptions o;
    o.channels = 4;
    StartSim(o);
    StartDevice();
    EXPECT_EQ(dev_->KanalAnzahl(), 4);
    EXPECT_TRUE(WaitFrame(Cmd(0, "Y0")));
    EXPECT_TRUE(WaitFrame(Cmd(4, "I")));
    for (const std::string& c : Commands()) EXPECT_NE(c, "5:I") << "not past what Y gives";
    // The "Y0" the device left does not open the firmware's other channels
    // once callsigns come.
    const std::size_t from = sim_->FrameCount();
    myCalls_->Add(devices::TMyCall("DL1TST", 0b1));
    myCalls_->NotifyAll();
    EXPECT_TRUE(WaitFrame(Cmd(0, "Y4"), from));
    for (const std::string& c : Commands(from)) EXPECT_NE(c, "5:I DL1TST");
}

TEST_F(HostmodeDevice, PollsInExtendedAndInStandardMode) {
    // Extended: one "G" on channel 255 per pass between the full checks.
    StartSim();
    StartDevice();
    std::size_t from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(255, "G"), from));
    from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(255, "G"), from));
    for (const std::string& c : Commands(from))
        EXPECT_NE(c, "1:G") << "idle channels are not polled";
    StopDevice();

    // Standard: channels 0 to 4 in order in every pass.
    TncSimulatorOptions o;
    o.channels = 4;
    StartSim(o);
    sim_->OverrideReply({255, "G", 1000, 2, "INVALID CHANNEL NUMBER", 0ms});
    StartDevice();
    EXPECT_FALSE(dev_->Extended());
    from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(4, "G"), from));
    from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(4, "G"), from));
    std::vector<std::string> pass;
    for (const std::string& c : Commands(from))
        if (c.size() == 3 && c.substr(1) == ":G") pass.push_back(c);
    ASSERT_GE(pass.size(), 5u);
    pass.resize(5);
    EXPECT_EQ(pass, (std::vector<std::string>{"0:G", "1:G", "2:G", "3:G", "4:G"}));
}

TEST_F(HostmodeDevice, InitCommandsAreSentAndReportedDeinitAndLeavingAtShutdown) {
    config_->SetMonitor(2 | 4 | 8 | 16 | 64);
    StartSim();
    StartDevice({"MN", "@T2 200", "", "O 4"}, {"@T2 100"});
    ASSERT_TRUE(WaitFrame(Cmd(0, "O 4")));
    ASSERT_TRUE(Until([&] { return Has(Monitor(), "O 4: ok"); })) << Monitor();
    // Once the report is out the monitor says the TNC is ready.
    ASSERT_TRUE(Until([&] { return Has(Monitor(), ": Bereit]"); })) << Monitor();
    const std::string m = Monitor();
    EXPECT_TRUE(Has(m, ": Init]")) << m;
    EXPECT_LT(m.find(": Init]"), m.find(": Bereit]")) << m;
    EXPECT_TRUE(Has(m, "Hostmode, 10 Kan\xE4le")) << m;
    EXPECT_TRUE(Has(m, "  MN: ignoriert")) << m;
    EXPECT_TRUE(Has(m, "  @T2 200: ")) << m;
    for (const std::string& c : Commands())
        EXPECT_NE(c, "0:MN") << "an ignored init line is never sent";

    const std::size_t from = sim_->FrameCount();
    StopDevice();
    ASSERT_TRUE(WaitFrame(Cmd(0, "JHOST0"), from));
    std::vector<std::string> tail = Commands(from);
    // Polls and a full check's path queries on the link channels may fall between.
    std::erase_if(tail, [](const std::string& c) {
        return !c.starts_with("0:") || c.starts_with("0:G") || c.starts_with("0:L");
    });
    EXPECT_EQ(tail, (std::vector<std::string>{"0:@T2 100", "0:MN", "0:Z3", "0:S0", "0:JHOST0"}));
    EXPECT_TRUE(sim_->WaitForHostmode(false, 5s));
}

TEST_F(HostmodeDevice, TheCommandLineAsksTheTncAndHandsTheAnswerToTheMainThread) {
    using devices::TBefehlAnnahme;
    StartSim();
    StartDevice();
    std::vector<devices::TBefehlAntwort> answers;
    const auto collect = [&](const devices::TBefehlAntwort& a) {
        EXPECT_TRUE(dispatcher_.IsMainThread());
        answers.push_back(a);
    };
    EXPECT_EQ(dev_->SendeBefehl(" @T2 ", collect), TBefehlAnnahme::Gesendet);
    EXPECT_EQ(dev_->SendeBefehl("H", collect), TBefehlAnnahme::Gesendet);
    ASSERT_TRUE(Until([&] { return answers.size() == 2; }));
    EXPECT_TRUE(WaitFrame(Cmd(0, "@T2")));
    EXPECT_TRUE(answers[0].answered);
    EXPECT_EQ(answers[0].code, devices::hostmode::kReplyMessage);
    EXPECT_EQ(answers[0].text, "200");
    EXPECT_EQ(answers[1].code, devices::hostmode::kReplyError);
    EXPECT_EQ(answers[1].text, "INVALID COMMAND: H");

    // What the device keeps itself, and what is no command, never reaches the TNC.
    const struct {
        std::string line;
        TBefehlAnnahme expected;
    } refused[] = {
        {"I DL9XX", TBefehlAnnahme::Vorbehalten},
        {"y 2", TBefehlAnnahme::Vorbehalten},
        {"jhost0", TBefehlAnnahme::Vorbehalten},
        {"  ", TBefehlAnnahme::Ungueltig},
        {"T\x01"
         "1",
         TBefehlAnnahme::Ungueltig},
        {std::string(257, 'T'), TBefehlAnnahme::Ungueltig},
    };
    const std::size_t from = sim_->FrameCount();
    for (const auto& r : refused)
        EXPECT_EQ(dev_->SendeBefehl(r.line, collect), r.expected) << r.line;
    EXPECT_EQ(dev_->SendeBefehl("T", collect), TBefehlAnnahme::Gesendet);
    ASSERT_TRUE(Until([&] { return answers.size() == 3; }));
    for (const std::string& c : Commands(from))
        for (const auto& r : refused) EXPECT_NE(c, "0:" + r.line);

    StopDevice();
    devices::TGeraetHostmodeSerial stopped(gctx_);
    EXPECT_EQ(stopped.SendeBefehl("T", collect), TBefehlAnnahme::KeinBetrieb);
}

// ---- faults ---------------------------------------------------------------------------------

TEST_F(HostmodeDevice, ResynchronisesAfterABrokenReplyAndGoesOn) {
    StartSim();
    StartDevice();
    struct Fault {
        const char* name;
        std::function<void(TncSimulator&)> make;
    };
    const Fault faults[] = {
        {"code 8", [](TncSimulator& s) { s.NextReplyCode(8); }},
        {"junk in a frame", [](TncSimulator& s) { s.JunkInNextReply("\x07\x07\x07", 1); }},
        {"short body", [](TncSimulator& s) { s.ShortBodyNext(200, 3, 300ms); }},
        {"silence", [](TncSimulator& s) { s.Silence(1500ms); }},
    };
    int errors = dev_->Fehlerzaehler();
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        f.make(*sim_);
        ASSERT_TRUE(Until([&] { return dev_->Fehlerzaehler() > errors; })) << dev_->StatusText();
        // Ready again, with the count of resynchronisations in the status (a
        // fault may take more than one).
        ASSERT_TRUE(Until([&] {
            return dev_->StatusText() ==
                   "Bereit - " + std::to_string(dev_->Fehlerzaehler()) + " Fehler";
        })) << dev_->StatusText();
        errors = dev_->Fehlerzaehler();
        const std::size_t from = sim_->FrameCount();
        EXPECT_TRUE(WaitFrame(Cmd(255, "G"), from)) << "polling goes on";
    }
}

TEST_F(HostmodeDevice, AHangUpIsAFailureAndThePortIsOpenedAgainWhenItComesBack) {
    StartSim();
    StartDevice();
    sim_->HangUp(std::nullopt);
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Fehler; }))
        << dev_->StatusText();
    sim_->ComeBack();
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }, 20s))
        << dev_->StatusText();
    const std::size_t from = sim_->FrameCount();
    EXPECT_TRUE(WaitFrame(Cmd(255, "G"), from));
}

TEST_F(HostmodeDevice, APortThatCannotBeOpenedOrABadSpeedIsAnError) {
    StartSim();
    struct Case {
        std::string path;
        int baud;
    };
    for (const Case& c : {Case{(dir_ / "missing").string(), 38400}, Case{sim_->PortPath(), 0},
                          Case{sim_->PortPath(), 12345}}) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.baud));
        auto dev = std::make_shared<TGeraetHostmodeSerial>(gctx_);
        auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
        p->Schnittstelle = c.path;
        p->Baudrate = c.baud;
        dev->SetParameter(p);
        dev->Init();
        ASSERT_TRUE(Until([&] { return dev->Status() == TGeraetStatus::Fehler; }));
        EXPECT_EQ(dev->StatusText().rfind("Fehler - \xD6"
                                          "ffnen der Schnittstelle",
                                          0),
                  0u)
            << dev->StatusText();
        ASSERT_TRUE(Until([&] { return !dev->ThreadRunning(); }));
        dev->DeInit();
    }
}

// ---- links ----------------------------------------------------------------------------------

TEST_F(HostmodeDevice, ConnectsToAStationAndCarriesTextBothWays) {
    StartSim();
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    StartDevice();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("ECHO", &v), devices::kConnectOk);
    ASSERT_TRUE(v);
    const int tnc = v->Handle();
    EXPECT_EQ(tnc, dev_->KanalAnzahl()) << "the highest free TNC channel";
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    const int programChannel = 1;
    ASSERT_TRUE(Until([&] { return Has(Channel(programChannel), "Verbunden mit ECHO"); }))
        << Channel(1);
    v->SendData("Hallo Echo\r", false, false, false, true);
    ASSERT_TRUE(StationGot("ECHO", "Hallo Echo\r", 10s));
    ASSERT_TRUE(Until([&] { return Has(Channel(programChannel), "Hallo Echo"); })) << Channel(1);

    v->Disconnect();
    ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); })) << Channel(1);
    EXPECT_TRUE(Until([&] { return Has(Channel(programChannel), "Getrennt von ECHO"); }))
        << Channel(1);
    EXPECT_EQ(sim_->LinkState(tnc), 0);
}

TEST_F(HostmodeDevice, OutgoingConnectResults) {
    StartSim();
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    StartDevice();
    const int top = dev_->KanalAnzahl();

    // The first SSID is already linked to that station: the next one is tried.
    std::size_t from = sim_->FrameCount();
    sim_->OverrideReply({-1, "CECHO", 1, 2, "STATION ALREADY CONNECTED", 0ms});
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("ECHO", &v), devices::kConnectOk);
    EXPECT_EQ(v->MyCall(), "DL1TST-1");
    std::vector<std::string> cmds = Commands(from);
    std::erase_if(cmds, [top](const std::string& c) {
        return c.rfind(std::to_string(top) + ":", 0) != 0 || c == std::to_string(top) + ":G" ||
               c == std::to_string(top) + ":L";
    });
    const std::string t = std::to_string(top) + ":";
    // A full check of the links asks every channel's path ("C") on its own
    // schedule; it may fall just before or after the connect.
    for (std::size_t i = 0; i < cmds.size();) {
        if (cmds[i] == t + "C" && (i + 1 == cmds.size() || cmds[i + 1] == t + "C"))
            cmds.erase(cmds.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    EXPECT_EQ(cmds, (std::vector<std::string>{t + "C", t + "I DL1TST", t + "CECHO",
                                              t + "I DL1TST-1", t + "CECHO"}));
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));

    // Another operating mode on the TNC gets in the way.
    sim_->OverrideReply({top - 1, "C", 1, 1, "*** SIMULTANEOUS OPERATION", 0ms});
    EXPECT_EQ(Connect("ECHO"), devices::kConnectModesConflict);

    // A path too long for one command is refused, and the device goes on.
    EXPECT_EQ(Connect(std::string(300, 'A')), devices::kConnectDeviceError);
    from = sim_->FrameCount();
    EXPECT_TRUE(WaitFrame(Cmd(255, "G"), from));
    EXPECT_EQ(connections_.Count(), 1);

    // An SSID outside 0..15 never reaches the TNC.
    from = sim_->FrameCount();
    EXPECT_EQ(Connect("ECHO", nullptr, "DL1TST-20"), devices::kConnectNoFreeSsid);
    for (const std::string& c : Commands(from))
        EXPECT_EQ(c.find("DL1TST-20"), std::string::npos) << c;
}

TEST_F(HostmodeDevice, AConnectAnsweredAfterTheDeadlineLeavesNoLinkBehind) {
    platform::FakeClock clock{0, 1'735'047'907};
    struct Stop {
        std::function<void()> stop;
        ~Stop() { stop(); }
    } stop{[this] { StopDevice(); }};  // the device must end before the clock it uses
    devices::TGeraetContext ctx = gctx_;
    ctx.clock = &clock;
    StartSim();
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    dev_ = MakeDevice(ctx);
    dev_->Init();
    ASSERT_TRUE(
        Until([&] { return dev_->Status() == TGeraetStatus::Bereit && dev_->KanalAnzahl() > 0; }));
    const int top = dev_->KanalAnzahl();
    // The connect is answered late; meanwhile the caller's time runs out.
    sim_->OverrideReply({top, "CECHO", 1, 0, "", 300ms});
    const std::size_t from = sim_->FrameCount();
    // Time runs out once the worker has sent the connect and waits for its answer.
    std::thread advance([&] {
        sim_->WaitForFrame([](const TncHostFrame& f) { return f.data == "CECHO"; }, 10s, from);
        clock.AdvanceMs(9000);
    });
    std::shared_ptr<core::IVerbindung> v;
    EXPECT_EQ(Connect("ECHO", &v), devices::kConnectNoAnswer);
    advance.join();
    EXPECT_FALSE(v);
    // The worker finds the request abandoned: it ends the link it made.
    ASSERT_TRUE(WaitFrame(Cmd(top, "D"), from));
    EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(top) && connections_.Count() == 0; }));
    ASSERT_TRUE(Until([&] { return sim_->LinkState(top) == 0; }));
}

TEST_F(HostmodeDevice, IncomingConnectsFollowThePolicy) {
    struct Case {
        int policy;
        bool accepted;
        std::vector<std::string> tail;  // what the channel gets after the link appeared
    };
    const std::string refusal = "<Tarvo>: Alle Kan\xE4le sind belegt.\r";
    const Case cases[] = {
        {1, true, {}},
        {2, false, {"D", "D", "D", "D"}},
        {3, false, {"info:" + refusal, "D"}},
    };
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        config_->SetIncomingConnects(c.policy);
        const std::size_t from = sim_->FrameCount();
        const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
        ASSERT_GT(tnc, 0);
        if (c.accepted) {
            ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
            auto v = dev_->GetVerbindung(tnc);
            EXPECT_EQ(v->MyCall(), "DL1TST");
            EXPECT_EQ(v->Path(), "SIMBOX");
            ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit SIMBOX"); }))
                << Channel(1);
            ASSERT_TRUE(sim_->StationDisconnect("SIMBOX"));
            ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
            continue;
        }
        ASSERT_TRUE(Until([&] { return sim_->LinkState(tnc) == 0; }));
        // The link is gone; the ignoring device may still be sending its last "D"s.
        Until([&] { return false; }, 200ms);
        std::vector<std::string> tail;
        for (const TncHostFrame& f : sim_->Frames()) {
            if (f.index < from || f.channel != tnc) continue;
            if (!f.command)
                tail.push_back("info:" + f.data);
            else if (f.data == "D")
                tail.push_back("D");
        }
        EXPECT_EQ(tail, c.tail);
        EXPECT_FALSE(dev_->GetVerbindung(tnc));
        EXPECT_EQ(connections_.Count(), 0);
    }
}

TEST_F(HostmodeDevice, AnIncomingConnectWithoutAFreeChannelIsTurnedAway) {
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    for (int n = 1; n <= 4; ++n) kanaele_->GetKanal(n)->SetReserved(true);
    const std::size_t from = sim_->FrameCount();
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_GT(tnc, 0);
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "D"), from)) << tnc << " " << from;
    EXPECT_TRUE(StationGot("SIMBOX", "<Tarvo>: Alle Kan\xE4le sind belegt.\r", 5s));
    EXPECT_FALSE(dev_->GetVerbindung(tnc));
    EXPECT_EQ(connections_.Count(), 0);
}

TEST_F(HostmodeDevice, LinkStatusMessagesEndTheConnection) {
    struct Case {
        std::string status;
        std::string shown;
    };
    const Case cases[] = {
        {"BUSY fm SIMBOX", "Besetzt. Getrennt von SIMBOX"},
        {"LINK FAILURE with SIMBOX", "Verbindungsfehler. Getrennt von SIMBOX"},
        {"DISCONNECTED fm SIMBOX", ": Getrennt von SIMBOX"},
    };
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
        ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
        sim_->InjectLinkStatus(tnc, "(" + std::to_string(tnc) + ") " + c.status);
        ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
        EXPECT_TRUE(Until([&] { return Has(Channel(1), c.shown); })) << Channel(1);
        sim_->StationDisconnect("SIMBOX");
        ASSERT_TRUE(Until([&] { return sim_->LinkState(tnc) == 0; }));
        kanaele_->GetKanal(1)->Console().Clear();
    }
}

TEST_F(HostmodeDevice, LinkValuesReachTheStatusAndSendingWaitsForBuffers) {
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
    auto v = dev_->GetVerbindung(tnc);
    sim_->SetChannelCounters(tnc, {0, 0, 2, 1, 3, 10});
    auto status = v->Status();
    ASSERT_TRUE(status);
    ASSERT_TRUE(Until([&] { return status->GetTries() == 3; }));
    EXPECT_EQ(status->GetLinkFlags(), 7 | 8);
    EXPECT_GE(status->GetUnacked(), 3);
    // "O" and "F" come with the slower status pass.
    ASSERT_TRUE(Until([&] { return status->GetMaxFrame() == 2 && status->GetFrack() != -1; }));
    EXPECT_EQ(status->GetFrack(), 50);

    // Too few free buffers: nothing goes out.
    sim_->SetChannelCounters(tnc, {0, 0, 0, 0, 0, 4});
    sim_->SetFreeBuffers(250);
    // A "@B" asked before the change may still have been answered with more.
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "@B"), sim_->FrameCount()));
    std::size_t from = sim_->FrameCount();
    v->SendData("warten\r", false, false, false, true);
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "@B"), from));
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "@B"), sim_->FrameCount()));
    for (const TncHostFrame& f : sim_->Frames())
        EXPECT_FALSE(f.index >= from && !f.command && f.channel == tnc);
    sim_->SetFreeBuffers(8192);
    EXPECT_TRUE(StationGot("SIMBOX", "warten\r", 10s));

    // Pending status messages hold sending back too.
    sim_->SetChannelCounters(tnc, {1, 0, 0, 0, 0, 4});
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));
    from = sim_->FrameCount();
    v->SendData("spaeter\r", false, false, false, true);
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), from));
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));
    EXPECT_FALSE(Has(sim_->StationReceived("SIMBOX"), "spaeter"));
    sim_->SetChannelCounters(tnc, {});
    EXPECT_TRUE(StationGot("SIMBOX", "spaeter\r", 10s));
}

TEST_F(HostmodeDevice, LinksSurviveARestartAndGoneOnesAreEnded) {
    TncSimulatorOptions o;
    o.channels = 4;
    StartSim(o);
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    dev_->SetRegKey(kDeviceKey);
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
    std::size_t from = sim_->FrameCount();
    StopDevice();
    for (const std::string& c : Commands(from))
        EXPECT_NE(c, std::to_string(tnc) + ":D") << "the TNC keeps the link";
    EXPECT_TRUE(registry_.KeyExists(platform::Hive::LocalMachine,
                                    std::string(kDeviceKey) + "\\" + std::to_string(tnc)));
    EXPECT_EQ(sim_->LinkState(tnc), 4);

    // A link stored for a channel this TNC does not have.
    registry_.CreateKey(platform::Hive::LocalMachine, std::string(kDeviceKey) + "\\9");
    for (const std::string& name : registry_.ValueNames(
             platform::Hive::LocalMachine, std::string(kDeviceKey) + "\\" + std::to_string(tnc)))
        if (auto value =
                registry_.GetValue(platform::Hive::LocalMachine,
                                   std::string(kDeviceKey) + "\\" + std::to_string(tnc), name))
            registry_.SetValue(platform::Hive::LocalMachine, std::string(kDeviceKey) + "\\9", name,
                               name == "Handle" ? platform::RegValue::DWord(9) : *value);

    dev_ = MakeDevice(gctx_);
    dev_->SetRegKey(kDeviceKey);
    dev_->Restore();
    ASSERT_TRUE(dev_->GetVerbindung(tnc));
    dev_->Init();
    ASSERT_TRUE(
        Until([&] { return dev_->Status() == TGeraetStatus::Bereit && dev_->KanalAnzahl() > 0; }));
    EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(9); }));
    // The first full check finds the link still there and keeps it.
    from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "C"), from));
    ASSERT_TRUE(WaitFrame(Cmd(255, "G"), sim_->FrameCount()));
    ASSERT_TRUE(dev_->GetVerbindung(tnc));
    // Once the link is gone while the program is away, the full check ends it.
    StopDevice();
    sim_->StationDisconnect("SIMBOX");
    ASSERT_TRUE(Until([&] { return sim_->LinkState(tnc) == 0; }));
    dev_ = MakeDevice(gctx_);
    dev_->SetRegKey(kDeviceKey);
    dev_->Restore();
    ASSERT_TRUE(dev_->GetVerbindung(tnc));
    dev_->Init();
    EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
}

TEST_F(HostmodeDevice, ARestartForNewSettingsKeepsTheLinksOnTheirChannels) {
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    StartDevice();
    dev_->SetRegKey(kDeviceKey);
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit SIMBOX"); })) << Channel(1);
    ASSERT_TRUE(sim_->StationSend("SIMBOX", "vor dem Neustart\r"));
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "vor dem Neustart"); })) << Channel(1);
    // A link that came back as a new connect would now be turned away.
    config_->SetIncomingConnects(3);

    std::size_t from = sim_->FrameCount();
    auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>(*dev_->SerialParameter());
    p->Baudrate = 19200;
    dev_->SetNeueParameter(p);
    dev_->EinstellungenUebernehmen();
    ASSERT_TRUE(WaitFrame(Cmd(0, "JHOST0"), from));
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }));
    // Past the first full check, which compares the link with the TNC's.
    from = sim_->FrameCount();
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "C"), from));
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));

    auto v = dev_->GetVerbindung(tnc);
    ASSERT_TRUE(v);
    ASSERT_TRUE(v->Kanal());
    EXPECT_EQ(v->Kanal()->GetNummer(), 1);
    EXPECT_EQ(sim_->LinkState(tnc), 4);
    EXPECT_FALSE(Has(sim_->StationReceived("SIMBOX"), "Alle Kan")) << "no refusal";
    EXPECT_TRUE(Has(Channel(1), "vor dem Neustart")) << "the channel keeps its text";
    ASSERT_TRUE(sim_->StationSend("SIMBOX", "nach dem Neustart\r"));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "nach dem Neustart"); })) << Channel(1);
}

TEST_F(HostmodeDevice, AConnectConfirmedAtOnceStillReachesItsChannel) {
    // The TNC reports the link before the waiting main thread is back.
    TncSimulatorOptions o;
    o.linkDelay = 0ms;
    StartSim(o);
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    StartDevice();
    const std::size_t from = sim_->FrameCount();
    dispatcher_.Post([&] {
        const auto connect = sim_->WaitForFrame(
            [](const TncHostFrame& f) { return f.command && f.data == "CECHO"; }, 10s, from);
        if (!connect) return;
        // Busy until the worker has taken the confirmation, or until it waits
        // for this thread itself.
        std::size_t seen = sim_->FrameCount();
        for (int quiet = 0; quiet < 10;) {
            if (sim_->WaitForFrame(Cmd(connect->channel, "L"), 50ms, connect->index)) return;
            const std::size_t now = sim_->FrameCount();
            quiet = now == seen ? quiet + 1 : 0;
            seen = now;
        }
    });
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("ECHO", &v), devices::kConnectOk);
    ASSERT_TRUE(v);
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit ECHO"); })) << Channel(1);
    ASSERT_TRUE(v->Kanal());
    EXPECT_EQ(v->Kanal()->GetNummer(), 1);
}

TEST_F(HostmodeDevice, ALinkStoredWhileStillConnectingIsCheckedToo) {
    // Links stored by the last run on channels where the TNC now has none.
    const struct {
        int tnc;
        std::uint8_t state;
    } stored[] = {{2, core::kLinkConnecting}, {3, core::kLinkConnected}};
    for (const auto& l : stored) {
        const std::string key = std::string(kDeviceKey) + "\\" + std::to_string(l.tnc);
        registry_.CreateKey(platform::Hive::LocalMachine, key);
        registry_.WriteText(platform::Hive::LocalMachine, key, "C", "GONE");
        registry_.WriteText(platform::Hive::LocalMachine, key, "R", "GONE");
        registry_.WriteText(platform::Hive::LocalMachine, key, "M", "DL1TST");
        registry_.WriteDWord(platform::Hive::LocalMachine, key, "S", l.state);
    }
    StartSim();
    dev_ = MakeDevice(gctx_);
    dev_->SetRegKey(kDeviceKey);
    dev_->Restore();
    for (const auto& l : stored) ASSERT_TRUE(dev_->GetVerbindung(l.tnc)) << l.tnc;
    dev_->Init();
    for (const auto& l : stored)
        EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(l.tnc); })) << l.tnc;
}

TEST_F(HostmodeDevice, AFullReceiveQueueLeavesTheDataInTheTnc) {
    StartSim();
    sim_->AddStation("SIMBOX", {test::TncStationKind::Quiet});
    auto dev = MakeDevice<BlockableDevice>(gctx_);
    Launch(dev);
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
    auto v = dev->Made(0);
    ASSERT_TRUE(v);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit SIMBOX"); })) << Channel(1);
    v->blocked = true;
    // A poll that was under way when the queue filled may still end.
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));
    std::size_t from = sim_->FrameCount();
    ASSERT_TRUE(sim_->StationSend("SIMBOX", "gehalten\r"));
    // The other channels and the link values go on; this channel's data waits.
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), from));
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));
    ASSERT_TRUE(WaitFrame(Cmd(0, "G"), sim_->FrameCount()));
    for (const std::string& c : Commands(from)) EXPECT_NE(c, std::to_string(tnc) + ":G");
    EXPECT_FALSE(Has(Channel(1), "gehalten"));

    v->blocked = false;
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "gehalten"); })) << Channel(1);

    // A link status is fetched even while the queue is full.
    v->blocked = true;
    ASSERT_TRUE(WaitFrame(Cmd(tnc, "L"), sim_->FrameCount()));
    ASSERT_TRUE(sim_->StationDisconnect("SIMBOX"));
    EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
}

TEST_F(HostmodeDevice, EveryLinkValueReachesTheStatus) {
    StartSim();
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    StartDevice();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("ECHO", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    auto status = v->Status();
    ASSERT_TRUE(status);
    ASSERT_TRUE(Until([&] { return status->GetMaxFrame() >= 0 && status->GetFrack() >= 0; }));
    EXPECT_GE(status->GetLinkFlags(), 0);
    EXPECT_GE(status->GetUnacked(), 0);
    EXPECT_GE(status->GetTries(), 0);
    // A 1 KB message both ways gives an effective throughput.
    std::string message;
    while (message.size() < 1024) message += "Eine Zeile der Nachricht.\r";
    v->SendData(message, false, false, false, true);
    ASSERT_TRUE(StationGot("ECHO", message, 15s));
    EXPECT_TRUE(Until([&] { return status->GetThroughput() > 0; }));
}

// ---- the monitor ----------------------------------------------------------------------------

TEST_F(HostmodeDevice, MonitorFramesJoinHeaderAndInformation) {
    struct Frame {
        std::string header;
        std::optional<std::string> info;
        std::string shown;  // "" when nothing of it may appear
        std::string notShown;
    };
    struct Case {
        std::int32_t options;
        std::vector<Frame> frames;
    };
    const Case cases[] = {
        {2 | 4 | 8 | 16,
         {{"fm DB0AA to ID ctl UI^ pid F0", std::string("Bake\r"), "Bake", ""},
          {"fm DL1A to DL1B ctl I21+ pid F0", std::string("Inhalt1\r"), "Inhalt1", ""},
          {"fm DL7A to DL7B ctl XX+", std::nullopt, "", "DL7A"},
          {"not a header at all", std::string("Verwaist\r"), "", "Verwaist"},
          {"fm DL8A to DL8B ctl I00^ pid F0", std::string("a\0b", 3), "DL8A", ""}}},
        // I frames without their content; the information that follows is dropped.
        {4 | 16,
         {{"fm DL2A to DL2B ctl I00^ pid F0", std::string("Geheim\r"), "DL2A", "Geheim"},
          {"fm DL6A to DL6B ctl SABM+", std::nullopt, "", "DL6A"}}},
        {2 | 16,
         {{"fm DL3A to DL3B ctl I00^ pid F0", std::string("Aus\r"), "", "DL3A"},
          {"fm DL5A to DL5B ctl SABM+", std::nullopt, "DL5A", ""}}},
        {2 | 4 | 8, {{"fm DL4A to ID ctl UI^ pid F0", std::string("KeinUI\r"), "", "DL4A"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        config_->SetMonitor(c.options);
        StartSim();
        StartDevice();
        for (const Frame& f : c.frames) sim_->InjectMonitor(f.header, f.info);
        // Two passes later every injected frame has been polled.
        std::size_t from = sim_->FrameCount();
        for (int pass = 0; pass < 3; ++pass) {
            auto g = WaitFrame(Cmd(255, "G"), from);
            ASSERT_TRUE(g);
            from = g->index + 1;
        }
        const std::string m = Monitor();
        for (const Frame& f : c.frames) {
            SCOPED_TRACE(f.header);
            if (!f.shown.empty()) {
                EXPECT_TRUE(Has(m, f.shown)) << m;
            }
            if (!f.notShown.empty()) {
                EXPECT_FALSE(Has(m, f.notShown)) << m;
            }
        }
        StopDevice();
        kanaele_->GetKanal(0)->Console().Clear();
    }
}

TEST_F(HostmodeDevice, SetsTheMonitorOfTheTncFromTheOptions) {
    struct Case {
        std::int32_t options;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        {4, {"0:M-", "0:MI"}},
        {2 | 4 | 16, {"0:M-", "0:MIUS"}},
        {8 | 64, {"0:MN"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        config_->SetMonitor(c.options);
        StartSim();
        StartDevice();
        std::vector<std::string> m;
        for (const std::string& cmd : Commands())
            if (cmd.rfind("0:M", 0) == 0) m.push_back(cmd);
        EXPECT_EQ(m, c.commands);
        StopDevice();
    }
}

// ---- end to end -----------------------------------------------------------------------------

TEST_F(HostmodeDevice, AMailboxConnectsAndTheOperatorWorksWithIt) {
    TncSimulatorOptions o;
    o.beaconInterval = 300ms;
    StartSim(o);
    sim_->AddStation("SIMBOX", {test::TncStationKind::Mailbox});
    StartDevice();
    const int tnc = sim_->IncomingConnect("SIMBOX", "DL1TST");
    ASSERT_GT(tnc, 0);
    ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc) != nullptr; }));
    auto v = dev_->GetVerbindung(tnc);
    // The terminal greets with its station ID ("?": the station is not in the database).
    EXPECT_TRUE(StationGot("SIMBOX", "{Tarvo-0.01.000-D?}\r", 10s))
        << sim_->StationReceived("SIMBOX");
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "SIMBOX>"); })) << Channel(1);
    EXPECT_TRUE(Has(Channel(1), "Verbunden mit SIMBOX"));
    // Its identifier line "[BPQ-...$]" makes it a mailbox, though "BPQ" is a digipeater's word.
    EXPECT_EQ(v->StationType(), core::kStationMailbox);

    // What the operator types goes to the mailbox, and its answer comes back.
    v->SendData("L\r", true, false, false, true);
    ASSERT_TRUE(StationGot("SIMBOX", "L\r", 10s));
    ASSERT_TRUE(Until([&] {
        const std::string text = Channel(1);
        return std::count(text.begin(), text.end(), '>') >= 2;
    })) << Channel(1);

    // The buffer file holds the received text too.
    kanaele_->GetKanal(1)->Console().Sync();
    std::string file;
    for (const auto& e : std::filesystem::directory_iterator(ctx_.bufferFolder)) {
        if (e.path().filename().string().find("01") == std::string::npos) continue;
        std::ifstream in(e.path(), std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_TRUE(Has(file, "SIMBOX>"));

    // The monitor shows the traffic on the channel meanwhile (the TNC leaves
    // out the frames of its own links, as asked).
    EXPECT_TRUE(Until([&] { return Has(Monitor(), "DB0SIM"); })) << Monitor();

    v->SendData("B\r", true, false, false, true);
    ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Getrennt von SIMBOX"); })) << Channel(1);
    EXPECT_EQ(connections_.Count(), 0);
}

// The demo's file: the operator asks the mailbox for it, it comes with DIDADIT
// through the TNC, and lands in the receive folder.
TEST_F(HostmodeDevice, TheMailboxFileArrivesWithDidadit) {
    test::ScopedDataFolder data;
    auto ordner = std::make_shared<resources::TOrdner>(
        registry_, platform::UserFolders{data.Dir(), data.Dir(), data.Dir()});
    ordner->SetReceiveFolder((data.Dir() / "Empfang").string());
    connection::TDidaditContext didadit;
    didadit.postProcess = [ordner](const std::shared_ptr<core::IVerbindung>& connection,
                                   core::IDateiSenden& record) {
        connection::TDateiEmpfangenPostprozessor(connection, ordner).Execute(record);
    };
    connection::RegisterDidaditModules(didadit);
    int tnc = 0;
    auto v = MailboxCalls(tnc);
    ASSERT_TRUE(v);
    float progress = 0;
    v->SendData("D\r", true, false, false, true);
    const auto file = data.Dir() / "Empfang" / "SIMBOX.TXT";
    EXPECT_TRUE(Until(
        [&] {
            if (auto record = v->DateiSenden()) progress = std::max(progress, record->GetPercent());
            return std::filesystem::exists(file);
        },
        60s))
        << Channel(1);
    EXPECT_GT(progress, 0) << "the channel could follow the transfer";
    const auto text = platform::ReadFile(file, 1 << 20);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->starts_with("The simulated mailbox sent you this file with DIDADIT."));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Empfangene Datei gespeichert"); }))
        << Channel(1);
    connection::UnregisterDidaditModules();
    v->SendData("B\r", true, false, false, true);
    ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
}

// The demo's 7Plus part: the mailbox sends it as text on request, and the
// capture stores it in the receive folder from its start to its stop line.
TEST_F(HostmodeDevice, TheMailboxSendsASevenPlusPart) {
    test::ScopedDataFolder data;
    connection::TTextTransferContext text;
    text.receiveFolder = [folder = data.Dir() / "Empfang"] { return folder; };
    connection::RegisterTextModules(text);
    int tnc = 0;
    auto v = MailboxCalls(tnc);
    ASSERT_TRUE(v);
    v->SendData("7 2\r", true, false, false, true);
    const auto file = data.Dir() / "Empfang" / "SIMBOX.p02";
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Empfangene Datei gespeichert"); }, 60s))
        << Channel(1);
    const auto part = platform::ReadFile(file, 1 << 20);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->starts_with(" go_7+. 002 of 002 SIMBOX.TXT   ")) << *part;
    EXPECT_TRUE(part->ends_with(" stop_7+. (SIMBOX.TXT/02)\r\n")) << *part;
    // The mailbox's prompt after the part is text again.
    EXPECT_TRUE(Until([&] {
        const std::string channel = Channel(1);
        return channel.rfind("de SIMBOX>") > channel.rfind("stop_7+.");
    })) << Channel(1);
    connection::UnregisterTextModules();
    v->SendData("B\r", true, false, false, true);
    ASSERT_TRUE(Until([&] { return !dev_->GetVerbindung(tnc); }));
}

}  // namespace

// ---- settings -------------------------------------------------------------------------------

namespace {

TEST_F(HostmodeDevice, SettingsAreStoredAndReadBack) {
    StartSim();
    auto dev = std::make_shared<TGeraetHostmodeSerial>(gctx_);
    EXPECT_EQ(dev->SerialParameter()->PortPath(), "/dev/ttyS0")
        << "a new device opens the first port";
    EXPECT_EQ(dev->SerialParameter()->Baudrate, 38400);
    dev->UpdateInfo();
    EXPECT_EQ(dev->InfoText(), "-");

    auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
    p->Schnittstelle = sim_->PortPath();
    p->Anschluss = 7;
    p->Kennzahl = 7;
    p->Baudrate = 9600;
    p->InitBefehle = {"O 4", "", "@T2 200"};
    p->DeinitBefehle = {"O 2"};
    dev->SetParameter(p);
    dev->SetRegKey(kDeviceKey);
    dev->Save();
    const auto init = registry_.GetValue(platform::Hive::LocalMachine, kDeviceKey, "Init");
    ASSERT_TRUE(init);
    EXPECT_EQ(init->type, platform::kRegBinary);
    EXPECT_EQ(std::string(init->bytes.begin(), init->bytes.end()),
              std::string("O 4\0\0@T2 200\0", 13));

    dev_ = std::make_shared<TGeraetHostmodeSerial>(gctx_);
    dev_->SetRegKey(kDeviceKey);
    dev_->Init();
    const auto q = dev_->SerialParameter();
    EXPECT_EQ(q->Schnittstelle, sim_->PortPath());
    EXPECT_EQ(q->Anschluss, 7);
    EXPECT_EQ(q->Kennzahl, 7);
    EXPECT_EQ(q->Baudrate, 9600);
    EXPECT_EQ(q->InitBefehle, p->InitBefehle);
    EXPECT_EQ(q->DeinitBefehle, p->DeinitBefehle);
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }));
    EXPECT_EQ(dev_->InfoText(), sim_->PortPath() + ", 9600");
    EXPECT_EQ(dev_->GetFunkKanaele(8).at(0)->GetKennung(), "HM7");

    // Without commands the values go.
    auto none = std::make_shared<devices::TGeraetHostmodeSerialParameter>(*q);
    none->InitBefehle.clear();
    dev_->SetParameter(none);
    dev_->Save();
    EXPECT_FALSE(registry_.GetValue(platform::Hive::LocalMachine, kDeviceKey, "Init"));
}

TEST_F(HostmodeDevice, NewInitCommandsAreSentWithoutARestartAndANewSpeedRestarts) {
    StartSim();
    StartDevice({"O 4"});
    std::size_t from = sim_->FrameCount();
    auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>(*dev_->SerialParameter());
    p->InitBefehle = {"O 5"};
    dev_->SetNeueParameter(p);
    EXPECT_EQ(dev_->SerialParameter()->InitBefehle, std::vector<std::string>{"O 4"})
        << "the device runs on with its settings until they are applied";
    dev_->EinstellungenUebernehmen();
    ASSERT_TRUE(WaitFrame(Cmd(0, "O 5"), from));
    for (const std::string& c : Commands(from)) EXPECT_NE(c, "0:JHOST0") << "no restart";
    EXPECT_FALSE(dev_->HasNeueParameter());

    from = sim_->FrameCount();
    auto q = std::make_shared<devices::TGeraetHostmodeSerialParameter>(*dev_->SerialParameter());
    q->Baudrate = 19200;
    dev_->SetNeueParameter(q);
    dev_->EinstellungenUebernehmen();
    ASSERT_TRUE(WaitFrame(Cmd(0, "JHOST0"), from));
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }));
    EXPECT_EQ(dev_->InfoText(), sim_->PortPath() + ", 19200");
}

}  // namespace

namespace {

TEST_F(HostmodeDevice, FindsTheKindOfTncAndItsPorts) {
    struct Radio {
        std::string name;
        int port;
        std::string kennung;
    };
    struct Case {
        std::string version;
        test::TncModel model;
        std::vector<test::TncReplyOverride> replies;
        std::string klasse;
        int pactor;
        std::vector<Radio> radios;
    };
    const Case cases[] = {
        {"TF2.7b/Tarvo-Sim", test::TncModel::Plain, {}, "Hostmode", -1, {{"Hostmode", -1, "HM1"}}},
        {"TheFirmware TNC2 2.7",
         test::TncModel::Plain,
         {{0, "#PORT1", 1, 0, "", 0ms}, {0, "#PORT0", 1, 1, "", 0ms}},
         "TNC2",
         -1,
         {{"TNC2 Port intern", 0, "HM10"}, {"TNC2 Port 1", 1, "HM11"}}},
        {"PTC-IIe",
         test::TncModel::PtcIIe,
         {},
         "PTC-IIe",
         31,
         {{"PTC-IIe DSP", -1, "HM10"}, {"PTC-IIe PACTOR", 255, "HM1255"}}},
        {"PTC-II",
         test::TncModel::PtcII,
         {},
         "PTC-II",
         31,
         {{"PTC-II DSP", 1, "HM11"}, {"PTC-II FSK", 2, "HM12"}, {"PTC-II PACTOR", 255, "HM1255"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TncSimulatorOptions o;
        o.version = c.version;
        o.model = c.model;
        StartSim(o);
        for (const auto& r : c.replies) sim_->OverrideReply(r);
        StartDevice();
        EXPECT_EQ(dev_->Geraeteklasse(), c.klasse);
        EXPECT_EQ(dev_->PactorKanal(), c.pactor);
        std::vector<std::string> got, want;
        for (const auto& f : dev_->GetFunkKanaele(8))
            got.push_back(f->GetName() + "|" + std::to_string(f->GetPort()) + "|" +
                          f->GetKennung());
        for (const Radio& r : c.radios)
            want.push_back(r.name + "|" + std::to_string(r.port) + "|" + r.kennung);
        EXPECT_EQ(got, want);
        StopDevice();
    }
}

TEST_F(HostmodeDevice, APactorLinkRunsOnItsChannelAboveThePacketChannels) {
    TncSimulatorOptions o;
    o.model = test::TncModel::PtcII;
    StartSim(o);
    sim_->AddStation("ECHO", {test::TncStationKind::Echo});
    StartDevice();
    ASSERT_EQ(dev_->PactorKanal(), 31);
    ASSERT_LT(dev_->KanalAnzahl(), 31);
    std::shared_ptr<core::IFunkKanal> pactor;
    for (const auto& f : dev_->GetFunkKanaele(8))
        if (f->GetPort() == 255) pactor = f;
    ASSERT_TRUE(pactor);
    std::string ziel = "ECHO", mycall = "DL1TST";
    std::shared_ptr<core::IVerbindung> v;
    std::shared_ptr<core::IKanal> kanal;
    ASSERT_EQ(pactor->Verbinde(ziel, mycall, v, kanal), devices::kConnectOk);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Handle(), 31);
    EXPECT_TRUE(v->Pactor());
    EXPECT_TRUE(WaitFrame(Cmd(31, "CECHO")));
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit ECHO"); })) << Channel(1);
    v->SendData("ueber Kurzwelle\r", false, false, false, true);
    ASSERT_TRUE(StationGot("ECHO", "ueber Kurzwelle\r", 10s));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "ueber Kurzwelle"); })) << Channel(1);

    dev_->PactorBreakIn(v);
    dev_->PactorChangeover(v);
    ASSERT_TRUE(Until([&] { return sim_->PactorTurns() == std::array<int, 2>{1, 1}; }));

    v->Disconnect();
    EXPECT_TRUE(Until([&] { return !dev_->GetVerbindung(31); }));
    EXPECT_EQ(sim_->LinkState(31), 0);
}

TEST_F(HostmodeDevice, APortOfTheTncIsNamedInConnectsAndUIFrames) {
    TncSimulatorOptions o;
    o.version = "TheFirmware TNC2 2.7";
    StartSim(o);
    sim_->OverrideReply({0, "#PORT2", 1, 0, "", 0ms});
    StartDevice();
    auto radio = dev_->GetFunkKanaele(8).at(0);
    ASSERT_EQ(radio->GetPort(), 2);
    std::size_t from = sim_->FrameCount();
    EXPECT_TRUE(radio->SendUI("CQ via DB0AA", "DL1TST", "Hallo alle\r"));
    ASSERT_TRUE(
        WaitFrame([](const TncHostFrame& f) { return !f.command && f.channel == 0; }, from));
    std::vector<std::string> ui;
    for (const std::string& c : Commands(from))
        if (c.rfind("0:I", 0) == 0 || c.rfind("0:C", 0) == 0) ui.push_back(c);
    EXPECT_EQ(ui, (std::vector<std::string>{"0:IDL1TST", "0:C2:CQ via DB0AA"}));

    from = sim_->FrameCount();
    Connect("ECHO");
    EXPECT_TRUE(
        WaitFrame([](const TncHostFrame& f) { return f.command && f.data == "C2:ECHO"; }, from));
}

}  // namespace

namespace {

// The exchange over the real port against the simulator, without a device.
class PortTransport : public devices::hostmode::ITransport {
  public:
    explicit PortTransport(platform::SerialPort& port) : port_(port) {}
    bool Write(const std::uint8_t* b, std::size_t n, std::size_t& written) override {
        const platform::SerialIo io = port_.Write(b, n);
        written = io.count;
        return io.Ok();
    }
    bool Read(std::uint8_t* b, std::size_t n, std::size_t& read) override {
        const platform::SerialIo io = port_.Read(b, n);
        read = io.count;
        return io.Ok();
    }

  private:
    platform::SerialPort& port_;
};

TEST_F(HostmodeDevice, ExchangesOverThePort) {
    using devices::hostmode::Exchange;
    using devices::hostmode::TExchangeFailure;
    using devices::hostmode::TReply;
    TncSimulatorOptions o;
    o.startInHostmode = true;
    StartSim(o);
    sim_->AddStation("SINK", {test::TncStationKind::Quiet, 256});
    std::string error;
    auto port = platform::SerialPort::Open(sim_->PortPath(), 115200, error);
    ASSERT_TRUE(port) << error;
    port->SetTimeouts({500, 50, 500, 50, 500});
    PortTransport t(*port);
    TReply r;
    TExchangeFailure f;

    // 256 bytes go as one frame (length byte 255); 257 are refused unsent.
    ASSERT_TRUE(Exchange(t, 0, true, "M" + std::string(255, 'I'), r, f)) << f.step;
    EXPECT_EQ(r.code, 0);
    ASSERT_TRUE(Exchange(t, 0, true, "U 1 " + std::string(252, 'x'), r, f)) << f.step;
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.text, "MESSAGE TOO LONG");
    const std::size_t before = sim_->FrameCount();
    EXPECT_FALSE(Exchange(t, 0, true, std::string(257, 'M'), r, f));
    EXPECT_TRUE(f.refused);
    EXPECT_EQ(sim_->FrameCount(), before);

    // 256 bytes of link data come in one reply with length byte 255, NUL included.
    ASSERT_TRUE(Exchange(t, 1, true, "C SINK", r, f));
    ASSERT_TRUE(sim_->WaitForLinkState(1, 4, 5s));
    std::string data(256, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
    ASSERT_TRUE(sim_->StationSend("SINK", data));
    TReply got;
    for (int i = 0; i < 20 && got.code != 7; ++i)
        ASSERT_TRUE(Exchange(t, 1, true, "G", got, f)) << f.step;
    EXPECT_EQ(got.code, 7);
    EXPECT_EQ(got.text, data);

    struct Fault {
        const char* name;
        std::function<void()> make;
        const char* step;
    };
    const Fault faults[] = {
        {"code 8", [&] { sim_->NextReplyCode(8); }, "8"},
        {"short body", [&] { sim_->ShortBodyNext(100, 4, 1500ms); }, "7b"},
        {"silence", [&] { sim_->Silence(1500ms); }, "3b"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        fault.make();
        EXPECT_FALSE(Exchange(t, 1, true, "G", r, f));
        EXPECT_EQ(f.step, fault.step);
        // Let the simulator settle, drop what is left, and speak again.
        std::this_thread::sleep_for(1600ms);
        port->Purge();
        for (int i = 0; i < 300 && !Exchange(t, 0, true, "G", r, f); ++i) {
            const std::uint8_t one = 1;
            port->Write(&one, 1);
            port->Purge();
        }
        EXPECT_TRUE(Exchange(t, 0, true, "L", r, f)) << f.step;
    }
}

}  // namespace
