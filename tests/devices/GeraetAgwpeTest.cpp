// The AGWPE device against the fake engine on loopback: login, ports,
// callsigns, connects, data, disconnects, the monitor and the faults of a
// broken engine.
#include "devices/GeraetAgwpeU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "channels/KanaeleU.h"
#include "connection/VerbindungAbstractU.h"
#include "devices/MyCallsU.h"
#include "platform/TcpSocket.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/AgwpeFixture.h"
#include "tests/support/FakeAgwpeEngine.h"

namespace {

using namespace tarvo;
using namespace std::chrono_literals;
using devices::TGeraetAgwpe;
using devices::TGeraetStatus;
using devices::agwpe::TFrame;
using test::FakeAgwpeEngine;

class AgwpeDevice : public test::DeviceFixture {
  protected:
    AgwpeDevice() {
        config_->SetSendSid(false);
        myCalls_->Add(devices::TMyCall("DL1TST", 0b11));
    }
    ~AgwpeDevice() override {
        if (dev_) dev_->DeInit();
        dev_.reset();
        engine_.reset();
    }

    void StartEngine(FakeAgwpeEngine::Options o = {}) {
        engine_ = std::make_unique<FakeAgwpeEngine>(o);
        ASSERT_TRUE(engine_->Ok());
        engine_->AddStation("STN");
    }

    void StartDevice(std::uint16_t port = 0, std::string user = {}) {
        dev_ = std::make_shared<TGeraetAgwpe>(gctx_);
        devices::TGeraetAgwpeParameter p;
        p.Hostname = "127.0.0.1";
        p.Port = port ? port : engine_->Port();
        p.Username = std::move(user);
        p.Password = p.Username.empty() ? "" : "geheim";
        dev_->SetParameter(p);
        dev_->Init();
    }

    void StartReady() {
        StartEngine();
        StartDevice();
        ASSERT_TRUE(Until([&] {
            return dev_->Status() == TGeraetStatus::Bereit && !dev_->GetFunkKanaele(33).empty();
        })) << dev_->StatusText();
        ASSERT_TRUE(Kind('X', 0));
    }

    // Waits, serving the main thread, for a frame of this kind from `from` on.
    std::optional<TFrame> Kind(char kind, std::size_t from,
                               std::chrono::milliseconds timeout = 10s) {
        std::optional<TFrame> found;
        Until(
            [&] {
                found = engine_->WaitForFrame([kind](const TFrame& f) { return f.kind == kind; },
                                              1ms, from);
                return found.has_value();
            },
            timeout);
        return found;
    }

    std::string Kinds(std::size_t from = 0) const {
        std::string out;
        const auto frames = engine_->Frames();
        for (std::size_t i = from; i < frames.size(); ++i)
            if (frames[i].kind != 'Y') out += frames[i].kind;
        return out;
    }

    std::uint8_t Connect(std::string ziel, std::shared_ptr<core::IVerbindung>* out = nullptr,
                         int radio = 0) {
        auto funk = dev_->GetFunkKanaele(33).at(static_cast<std::size_t>(radio));
        std::string mycall = "DL1TST";
        std::shared_ptr<core::IVerbindung> v;
        std::shared_ptr<core::IKanal> kanal;
        const std::uint8_t r = funk->Verbinde(ziel, mycall, v, kanal);
        if (out) *out = v;
        return r;
    }

    std::unique_ptr<FakeAgwpeEngine> engine_;
    std::shared_ptr<TGeraetAgwpe> dev_;
};

TEST_F(AgwpeDevice, LogsInAndFindsThePortsAndRegistersTheOwnCallsigns) {
    StartEngine();
    StartDevice(0, "user");
    ASSERT_TRUE(Until(
        [&] { return dev_->Status() == TGeraetStatus::Bereit && dev_->Registered().size() == 2; }));
    // The engine may still be reading the last of them.
    ASSERT_TRUE(Until([&] { return Kinds().size() >= 7; }));
    EXPECT_EQ(Kinds().substr(0, 7), "PGRmkXX");
    const auto frames = engine_->Frames();
    EXPECT_EQ(frames[0].data.substr(0, 5), std::string("user\0", 5));
    EXPECT_EQ(frames[5].callFrom, "DL1TST");
    EXPECT_EQ(frames[6].callFrom, "DL1TST-1");
    ASSERT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).size() == 2; }));
    const auto radios = dev_->GetFunkKanaele(33);
    EXPECT_EQ(radios[0]->GetName(), "Radio A");
    EXPECT_EQ(radios[0]->GetKennung(), "AGWPE00");
    EXPECT_EQ(radios[1]->GetPort(), 1);
    EXPECT_EQ(radios[1]->GetKennung(), "AGWPE01");

    // The per-port capability queries follow the port list on their own; let them pass first.
    ASSERT_TRUE(Until([&] {
        const auto k = Kinds();
        return std::count(k.begin(), k.end(), 'g') >= 2;
    }));

    // A changed list of own callsigns registers and deregisters the difference.
    const std::size_t from = engine_->FrameCount();
    myCalls_->AcceptEdit({devices::TMyCall("DL1TST", 0b1), devices::TMyCall("DB0NEU", 0b1)});
    ASSERT_TRUE(Until([&] { return dev_->Registered().size() == 2 && Kinds(from).size() >= 2; }));
    EXPECT_EQ(Kinds(from), "xX");
    EXPECT_EQ(engine_->Frames()[from].callFrom, "DL1TST-1");
    EXPECT_EQ(engine_->Frames()[from + 1].callFrom, "DB0NEU");
}

TEST_F(AgwpeDevice, ConnectsCarriesTextAndDisconnects) {
    StartReady();
    std::size_t from = engine_->FrameCount();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v, 1), devices::kConnectOk);
    const auto c = Kind('C', from);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->port, 1);
    EXPECT_EQ(c->callFrom, "DL1TST");
    EXPECT_EQ(c->callTo, "STN");
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit STN"); })) << Channel(1);

    v->SendData("Hallo Station\r", false, false, false, true);
    ASSERT_TRUE(Until([&] { return Has(engine_->StationReceived("STN"), "Hallo Station\r"); }));
    engine_->StationSend("STN", "DL1TST", "Antwort der Station\r", 1);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Antwort der Station"); })) << Channel(1);

    // Data for a link the device does not know is dropped.
    engine_->StationSend("OTHER", "DL1TST", "fremd\r", 1);

    from = engine_->FrameCount();
    v->Disconnect();
    ASSERT_TRUE(Kind('d', from));
    ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Getrennt von STN"); })) << Channel(1);
    EXPECT_FALSE(Has(Channel(1), "fremd"));
}

TEST_F(AgwpeDevice, ASecondConnectToTheSameStationTakesTheNextSsid) {
    StartReady();
    std::shared_ptr<core::IVerbindung> a, b;
    ASSERT_EQ(Connect("STN", &a), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return a->State() == core::kLinkConnected; }));
    const std::size_t from = engine_->FrameCount();
    ASSERT_EQ(Connect("STN", &b), devices::kConnectOk);
    EXPECT_EQ(b->MyCall(), "DL1TST-1");
    const auto c = Kind('C', from);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->callFrom, "DL1TST-1");
    EXPECT_EQ(Kinds(from).find('C'), Kinds(from).rfind('C')) << "one connect request only";
    // No SSID left.
    EXPECT_EQ(Connect("STN"), devices::kConnectNoFreeSsid);
}

TEST_F(AgwpeDevice, ConnectsViaDigipeatersAndRefusesLongPaths) {
    StartReady();
    const std::size_t from = engine_->FrameCount();
    ASSERT_EQ(Connect("STN DB0AA DB0BB"), devices::kConnectOk);
    const auto v = Kind('v', from);
    ASSERT_TRUE(v);
    ASSERT_EQ(v->data.size(), 71u);
    EXPECT_EQ(v->data[0], 2);
    EXPECT_EQ(v->data.substr(1, 6), std::string("DB0AA\0", 6));
    EXPECT_EQ(v->data.substr(11, 6), std::string("DB0BB\0", 6));
    EXPECT_EQ(Connect("STN D1 D2 D3 D4 D5 D6 D7 D8"), devices::kConnectDeviceError);
    EXPECT_EQ(Connect("STATIONLONG"), devices::kConnectDeviceError);
}

TEST_F(AgwpeDevice, TheDisconnectNoticeGivesTheReason) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"*** DISCONNECTED RETRYOUT With STN", "Verbindungsfehler. Getrennt von STN"},
        {"*** STN busy, DISCONNECTED", "Besetzt. Getrennt von STN"},
        {"*** DISCONNECTED From Station STN", ": Getrennt von STN"},
    };
    StartReady();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::shared_ptr<core::IVerbindung> v;
        ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
        ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
        engine_->StationDisconnect("STN", v->MyCall(), 0, c.text);
        ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
        // The channel the connection had is free again only once it ended, so
        // the next may take another one: look at all of them.
        EXPECT_TRUE(Until([&] { return Has(AllChannels(), c.shown); })) << AllChannels();
        for (int n = 1; n <= 4; ++n) kanaele_->GetKanal(n)->Console().Clear();
    }
}

TEST_F(AgwpeDevice, IncomingConnectsFollowThePolicy) {
    struct Case {
        int policy;
        bool kept;
        std::string kinds;  // what the device answers
    };
    const Case cases[] = {{1, true, ""}, {2, false, "d"}, {3, false, "Dd"}};
    StartReady();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        config_->SetIncomingConnects(c.policy);
        const std::size_t from = engine_->FrameCount();
        engine_->IncomingConnect("CALLER", "DL1TST");
        if (c.kept) {
            ASSERT_TRUE(Until([&] { return dev_->Verbindungen().size() == 1; }));
            EXPECT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit CALLER"); }))
                << Channel(1);
            engine_->StationDisconnect("CALLER", "DL1TST");
            ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
            continue;
        }
        ASSERT_TRUE(Kind('d', from));
        EXPECT_EQ(Kinds(from), c.kinds);
        if (c.kinds[0] == 'D') {
            EXPECT_EQ(engine_->StationReceived("CALLER"), "<Tarvo>: Alle Kan\xE4le sind belegt.\r");
        }
        EXPECT_TRUE(dev_->Verbindungen().empty());
    }
    // No free channel: refused with the text, never kept out of sight.
    config_->SetIncomingConnects(1);
    for (int n = 1; n <= 4; ++n) kanaele_->GetKanal(n)->SetReserved(true);
    const std::size_t from = engine_->FrameCount();
    engine_->IncomingConnect("LATE", "DL1TST");
    ASSERT_TRUE(Kind('d', from));
    EXPECT_EQ(Kinds(from), "Dd");
    EXPECT_TRUE(dev_->Verbindungen().empty());
}

TEST_F(AgwpeDevice, OutstandingFramesHoldSendingBack) {
    StartReady();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    engine_->SetOutstanding(14);
    v->SendData("erst\r", false, false, false, true);
    ASSERT_TRUE(Until([&] { return v->Status() && v->Status()->GetUnacked() == 14; }));
    std::size_t from = engine_->FrameCount();
    v->SendData("spaeter\r", false, false, false, true);
    ASSERT_TRUE(Kind('Y', from));
    ASSERT_TRUE(Kind('Y', engine_->FrameCount()));
    EXPECT_EQ(Kinds(from).find('D'), std::string::npos);
    engine_->SetOutstanding(0);
    EXPECT_TRUE(Until([&] { return Has(engine_->StationReceived("STN"), "spaeter\r"); }));
}

TEST_F(AgwpeDevice, OnlyLinksWithDataInFlightArePolled) {
    StartReady();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    const auto polls = [&](std::size_t from) {
        const auto frames = engine_->Frames();
        return std::count_if(frames.begin() + static_cast<long>(from), frames.end(),
                             [](const TFrame& f) { return f.kind == 'Y'; });
    };
    std::size_t from = engine_->FrameCount();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(polls(from), 0);

    v->SendData("eins\r", false, false, false, true);
    ASSERT_TRUE(Kind('Y', from));
    ASSERT_TRUE(Until([&] { return v->Status()->GetUnacked() == 0; }));
    from = engine_->FrameCount();
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(polls(from), 1);  // one may have crossed the answer
}

// New settings log in again at once; the links stay where they are.
TEST_F(AgwpeDevice, ChangedSettingsLogInAgainAndKeepTheLinks) {
    StartReady();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit STN"); })) << Channel(1);
    auto p = dev_->Parameter();
    p.Username = "neu";
    dev_->SetParameter(p);
    dev_->EinstellungenUebernehmen();
    ASSERT_TRUE(
        Until([&] { return engine_->Logins() == 2 && dev_->Status() == TGeraetStatus::Bereit; }));
    ASSERT_EQ(dev_->Verbindungen().size(), 1u);
    EXPECT_EQ(dev_->Verbindungen()[0], v);
    EXPECT_EQ(v->State(), core::kLinkConnected);
    engine_->StationSend("STN", "DL1TST", "nach dem Neustart\r");
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "nach dem Neustart"); })) << Channel(1);
    v->SendData("weiter\r", false, false, false, true);
    EXPECT_TRUE(Until([&] { return Has(engine_->StationReceived("STN"), "weiter\r"); }));
}

// What the engine tells about a link reaches the status bar's values.
TEST_F(AgwpeDevice, TheStatusShowsWindowStateAndThroughput) {
    StartReady();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
    auto status = v->Status();
    EXPECT_TRUE(Until([&] { return status->GetMaxFrame() == 7; })) << status->GetMaxFrame();

    ASSERT_TRUE(Until([&] { return engine_->MonitorOn(); }));
    test::FakeMonitorFrame rnr;
    rnr.from = "STN";
    rnr.to = "DL1TST";
    rnr.type = "RNR";
    rnr.command = false;
    engine_->Monitor(rnr);
    EXPECT_TRUE(Until([&] { return status->GetLinkFlags() == 0x10; })) << status->GetLinkFlags();
    rnr.type = "RR";
    engine_->Monitor(rnr);
    EXPECT_TRUE(Until([&] { return status->GetLinkFlags() == 0; })) << status->GetLinkFlags();

    v->SendData(std::string(200, 'x') + "\r", false, false, false, true);
    ASSERT_TRUE(Until([&] { return engine_->StationReceived("STN").size() >= 201; }));
    std::this_thread::sleep_for(TGeraetAgwpe::kThroughputWindow + 100ms);
    v->SendData("y\r", false, false, false, true);
    EXPECT_TRUE(Until([&] { return status->GetThroughput() > 0; }));
}

TEST_F(AgwpeDevice, MonitoredFramesReachTheMonitor) {
    StartReady();
    TFrame m;
    m.kind = 'U';
    m.callFrom = "DWA-1";
    m.callTo = "CQ";
    m.data = std::string(
        " 1:Fm DWA-1 To CQ <UI pid=F0 Len=16 PF=0 >[23:59:55]\rZeile eins\rzwei\r\r\0", 71);
    engine_->SendFrame(m);
    EXPECT_TRUE(Until([&] {
        return Has(ConsoleText(kanaele_->GetKanal(0)->Console()), "Zeile eins");
    })) << ConsoleText(kanaele_->GetKanal(0)->Console());
    EXPECT_TRUE(Has(ConsoleText(kanaele_->GetKanal(0)->Console()), "zwei"));
}

// The engine sends every frame raw and as text; the raw one is shown, once, in
// the form the hostmode monitor has.
TEST_F(AgwpeDevice, RawMonitorFramesAreShownInsteadOfTheirTexts) {
    // The recorded engine: one port, although it lists six.
    FakeAgwpeEngine::Options o;
    o.portList = FakeAgwpeEngine::Options::kRecordedPortList;
    StartEngine(o);
    StartDevice();
    ASSERT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).size() == 1; }));
    EXPECT_EQ(dev_->GetFunkKanaele(33)[0]->GetName(), "first soundcard mono");
    for (const auto& r : test::ReadAgwpeFixture("agwpe-monitor-two-engines.txt"))
        if (r.station == "A" && r.fromEngine &&
            std::string_view("KISTU").find(r.frame.kind) != std::string_view::npos)
            engine_->SendFrame(r.frame);
    ASSERT_TRUE(Until([&] { return Has(Monitor(), "DWB-1 > DWA-1 DISC+"); })) << Monitor();
    const std::string m = Monitor();
    for (const char* shown : {"DWB-1 > CQ UI^", "DWB-1 > DWA-1 SABM+", "DWB-1 > DWA-1 I00^",
                              "DWA-1 > DWB-1 UA-", "DWA-1 > DWB-1 I10^", "DWB-1 > DWA-1 RR1v"}) {
        EXPECT_TRUE(Has(m, shown)) << shown << "\n" << m;
    }
    EXPECT_EQ(m.find("UI text from B"), m.rfind("UI text from B")) << m;
    EXPECT_FALSE(Has(m, "BIN")) << m;
}

TEST_F(AgwpeDevice, UIFramesGoToTheEngineOrTheMonitorSaysWhy) {
    StartReady();
    auto radio = dev_->GetFunkKanaele(33).at(1);
    std::size_t from = engine_->FrameCount();
    ASSERT_TRUE(radio->SendUI("CQ", "DL1TST", "Hallo alle\r"));
    auto m = Kind('M', from);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->port, 1);
    EXPECT_EQ(m->callFrom, "DL1TST");
    EXPECT_EQ(m->callTo, "CQ");
    EXPECT_EQ(m->data, "Hallo alle\r");

    from = engine_->FrameCount();
    ASSERT_TRUE(radio->SendUI("CQ via DB0AA", "DL1TST", "Hi\r"));
    auto v = Kind('V', from);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data, std::string("\x01"
                                   "DB0AA\0\0\0\0\0Hi\r",
                                   14));

    EXPECT_FALSE(radio->SendUI("CQ D1 D2 D3 D4 D5 D6 D7 D8", "DL1TST", "zu weit\r"));
    EXPECT_TRUE(Has(Monitor(), "UI-Frame nicht gesendet (AGWPE01)")) << Monitor();

    // Without the engine the radio channel has no device left.
    engine_->CloseClient(true);
    ASSERT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).empty(); }));
    EXPECT_FALSE(radio->SendUI("CQ", "DL1TST", "niemand\r"));
    EXPECT_TRUE(Has(Monitor(), "Kein Ger\xE4t")) << Monitor();
}

// The engine may answer a connect before Verbinde has returned.
TEST_F(AgwpeDevice, AConnectAnsweredAtOnceReachesItsChannel) {
    FakeAgwpeEngine::Options o;
    o.linkDelay = 0ms;
    StartEngine(o);
    StartDevice();
    ASSERT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).size() == 2; }));
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        std::shared_ptr<core::IVerbindung> v;
        ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
        ASSERT_TRUE(Until([&] { return Has(AllChannels(), "Verbunden mit STN"); }))
            << AllChannels();
        engine_->StationDisconnect("STN", v->MyCall());
        ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
        ASSERT_TRUE(Until([&] { return Has(AllChannels(), "Getrennt von STN"); }));
        for (int n = 1; n <= 4; ++n) kanaele_->GetKanal(n)->Console().Clear();
    }
}

TEST_F(AgwpeDevice, SplitFramesAreJoined) {
    FakeAgwpeEngine::Options o;
    o.splitEvery = 1;
    StartEngine(o);
    StartDevice();
    ASSERT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).size() == 2; }));
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    EXPECT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
}

TEST_F(AgwpeDevice, ABrokenEngineIsLeftAndTriedAgain) {
    StartReady();
    std::shared_ptr<core::IVerbindung> v;
    ASSERT_EQ(Connect("STN", &v), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));

    // A header announcing 4 GiB: the link to the engine is dropped at once.
    std::string header(devices::agwpe::kHeaderSize, '\0');
    header[4] = 'D';
    for (int i = 28; i < 32; ++i) header[static_cast<std::size_t>(i)] = '\xFF';
    engine_->SendRaw(header);
    ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Fehler; }))
        << dev_->StatusText();
    EXPECT_EQ(dev_->StatusText(), "Fehler - Retrying...");
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Verbindungsfehler. Getrennt von STN"); }))
        << Channel(1);
    EXPECT_TRUE(dev_->GetFunkKanaele(33).empty());
    // After the pause it logs in again.
    ASSERT_TRUE(Until(
        [&] { return engine_->Logins() == 2 && dev_->Status() == TGeraetStatus::Bereit; }, 15s));
    EXPECT_TRUE(Until([&] { return dev_->GetFunkKanaele(33).size() == 2; }));

    // The engine goes away.
    engine_->CloseClient();
    EXPECT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Fehler; }));
}

TEST_F(AgwpeDevice, WithoutAnEngineItKeepsTrying) {
    std::uint16_t port;
    {
        std::string error;
        auto l = platform::TcpListener::Listen(0, error);
        ASSERT_TRUE(l) << error;
        port = l->Port();
    }
    dev_ = std::make_shared<TGeraetAgwpe>(gctx_);
    devices::TGeraetAgwpeParameter p;
    p.Hostname = "127.0.0.1";
    p.Port = port;
    dev_->SetParameter(p);
    std::vector<std::string> seen;
    dev_->SetStatusHandler([&seen](devices::TGeraet& g) {
        if (seen.empty() || seen.back() != g.StatusText()) seen.push_back(g.StatusText());
    });
    dev_->Init();
    ASSERT_TRUE(Until([&] { return seen.size() >= 4; }, 15s));
    EXPECT_EQ(seen[0], "Init - Init...");
    EXPECT_EQ(seen[2], "Fehler - Retrying...");
    EXPECT_EQ(seen[3], "Init - Init...");
    EXPECT_EQ(seen[1].rfind("Fehler", 0), 0u) << seen[1];
    // The handler holds this test's list.
    dev_->DeInit();
    dev_->SetStatusHandler({});
}

TEST_F(AgwpeDevice, SettingsAreStoredAndReadBack) {
    auto dev = std::make_shared<TGeraetAgwpe>(gctx_);
    EXPECT_EQ(dev->Parameter().Port, 8000);
    devices::TGeraetAgwpeParameter p;
    p.Hostname = "engine.local";
    p.Port = 8001;
    p.Username = "u";
    p.Password = "pw";
    dev->SetParameter(p);
    dev->SetRegKey("\\Software\\Morvane\\Tarvo\\Geraete\\3");
    dev->Save();
    dev_ = std::make_shared<TGeraetAgwpe>(gctx_);
    dev_->SetRegKey("\\Software\\Morvane\\Tarvo\\Geraete\\3");
    dev_->Init();
    const auto q = dev_->Parameter();
    EXPECT_EQ(q.Hostname, "engine.local");
    EXPECT_EQ(q.Port, 8001);
    EXPECT_EQ(q.Username, "u");
    EXPECT_EQ(q.Password, "pw");
}

}  // namespace
