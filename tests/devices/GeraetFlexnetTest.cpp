// The FlexNet device against the stand-in driver library: loading, the radio
// channels, connect requests, link states, sending, the monitor, links kept
// over a restart, and two program channels talking over two wired ports.
#include "devices/GeraetFlexnetU.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devices/FlexnetApiU.h"
#include "devices/GeraeteU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/FlexnetStandIn.h"

namespace {

using namespace tarvo;
using devices::TGeraetFlexnet;
using devices::TGeraetStatus;
namespace fx = devices::flexnet;
constexpr auto LM = platform::Hive::LocalMachine;
const std::string kDeviceKey = std::string(devices::kGeraeteKey) + "\\0";

// Monitor options: supervisory, I frames, their data, UI frames.
constexpr int kMonAll = 2 | 4 | 8 | 16;

// A 7-byte address field.
void Address(std::uint8_t* out, const std::string& call, int ssid = 0) {
    for (std::size_t i = 0; i < 6; ++i)
        out[i] = static_cast<std::uint8_t>((i < call.size() ? call[i] : ' ') << 1);
    out[6] = static_cast<std::uint8_t>(0x60 | (ssid << 1));
}

class FlexnetDevice : public test::DeviceFixture {
  protected:
    FlexnetDevice() : sim_(TARVO_FLEXNET_DIR) {
        config_->SetSendSid(false);
        config_->SetMonitor(0);
        myCalls_->Add(devices::TMyCall("DL1TST", 0b11));
        UseDriverIn(TARVO_FLEXNET_DIR);
        // Restored links go back to their channels, as in the program.
        gctx_.verbindung.channelCount = [this] { return kanaele_->Count(); };
        gctx_.verbindung.channel = [this](int n) -> std::shared_ptr<core::IKanalFuerVerbindung> {
            return kanaele_->GetKanal(n);
        };
    }
    void SetUp() override { ASSERT_TRUE(sim_.Ok()) << TARVO_FLEXNET_DIR; }
    ~FlexnetDevice() override {
        if (dev_) dev_->DeInit();
        dev_.reset();
        if (sim_.Ok()) sim_.Reset();
    }

    void UseDriverIn(const std::string& dir) { registry_.WriteText(LM, fx::kHomeKey, "Home", dir); }

    std::shared_ptr<TGeraetFlexnet> NewDevice() {
        auto d = std::make_shared<TGeraetFlexnet>(gctx_);
        d->SetRegKey(kDeviceKey);
        return d;
    }

    void StartReady() {
        ASSERT_TRUE(sim_.Ok());
        dev_ = NewDevice();
        dev_->Init();
        ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }))
            << dev_->StatusText();
        sim_.TakeCalls();
    }

    std::uint8_t Connect(const std::string& ziel, std::shared_ptr<core::IVerbindung>* out,
                         int radio = 0, std::string mycall = "DL1TST") {
        auto funk = dev_->GetFunkKanaele(33).at(static_cast<std::size_t>(radio));
        std::string z = ziel;
        std::shared_ptr<core::IVerbindung> v;
        std::shared_ptr<core::IKanal> kanal;
        const std::uint8_t r = funk->Verbinde(z, mycall, v, kanal);
        if (out) *out = v;
        return r;
    }

    // A link on the unwired port 2 to a scripted remote, connected.
    std::shared_ptr<core::IVerbindung> ScriptedLink(int* channel) {
        std::shared_ptr<core::IVerbindung> v;
        EXPECT_EQ(Connect("STN", &v, 2), devices::kConnectOk);
        if (!v) return nullptr;
        *channel = v->Handle();
        sim_.SetState(*channel, 5);
        EXPECT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
        sim_.TakeCalls();
        return v;
    }

    // The l2_bef calls only, in order.
    static std::string Befs(const std::string& calls) {
        std::string out;
        std::size_t pos = 0;
        while ((pos = calls.find("l2_bef(", pos)) != std::string::npos) {
            const std::size_t end = calls.find(')', pos);
            if (!out.empty()) out += ';';
            out += calls.substr(pos, end + 1 - pos);
            pos = end;
        }
        return out;
    }
    int LogCount(const std::string& text) const {
        int n = 0;
        for (const std::string& l : log_->Lines()) n += l.find(text) != std::string::npos;
        return n;
    }

    test::FlexnetStandIn sim_;
    std::shared_ptr<TGeraetFlexnet> dev_;
};

}  // namespace

TEST_F(FlexnetDevice, ADriverThatCannotRunLeavesTheDeviceInError) {
    struct Case {
        const char* name;
        std::string dir;
        int kernel;
        std::string status;
    };
    const Case cases[] = {
        {"no library", "/nonexistent/flexnet", 1, "Fehler - DLL nicht gefunden"},
        {"two names missing", TARVO_FLEXNET_LACKING_DIR, 1,
         "Fehler - Nicht in DLL: set_debug_mode / flxdbg"},
        {"no kernel", TARVO_FLEXNET_DIR, 0, "Fehler - Kernel nicht geladen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UseDriverIn(c.dir);
        sim_.SetKernel(c.kernel);
        auto d = NewDevice();
        EXPECT_EQ(d->EigenschaftenKopf(),
                  "Inaktiv: Schlie\xDF"
                  "en Sie dieses Fenster mit OK und klicken Sie dann auf '\xFC"
                  "bernehmen', um FlexNet zu aktivieren.");
        d->Init();
        ASSERT_TRUE(Until([&] { return d->Status() == TGeraetStatus::Fehler; })) << d->StatusText();
        EXPECT_EQ(d->StatusText(), c.status);
        EXPECT_EQ(d->EigenschaftenKopf(), c.status);
        EXPECT_TRUE(Until([&] { return !d->ThreadRunning(); }));
        EXPECT_TRUE(d->GetFunkKanaele(33).empty());
        d->DeInit();
    }
}

TEST_F(FlexnetDevice, TheFolderComesFromTheEnvironmentWithoutTheSetting) {
    EXPECT_EQ(fx::Candidates("/opt/flex\\"),
              (std::vector<std::string>{"/opt/flex/libflxapi.so", "/opt/flex/flxapi32.dll",
                                        "libflxapi.so", "flxapi32.dll"}));
    EXPECT_EQ(fx::Candidates(""), (std::vector<std::string>{"libflxapi.so", "flxapi32.dll"}));
}

TEST_F(FlexnetDevice, RadioChannelsFollowTheDriversPorts) {
    struct Case {
        const char* name;
        int kernel;
        std::vector<std::pair<int, const char*>> ports;  // beyond 0 and 1
        std::string expected;
    };
    const Case cases[] = {
        {"two ports", 1, {}, "Port A/0/FLEX00 Port B/1/FLEX01 "},
        {"a gap", 1, {{3, "Port D"}}, "Port A/0/FLEX00 Port B/1/FLEX01 Port D/3/FLEX03 "},
        // A port without a name ends the list.
        {"no name", 1, {{2, nullptr}, {3, "Port D"}}, "Port A/0/FLEX00 Port B/1/FLEX01 "},
        {"digipeater module", 2, {}, "FlexNet Digi/16/FLEXDIGI "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.Reset();
        sim_.SetKernel(c.kernel);
        for (const auto& [port, name] : c.ports) sim_.SetPort(port, true, name);
        StartReady();
        std::string got;
        for (const auto& f : dev_->GetFunkKanaele(33))
            got += f->GetName() + "/" + std::to_string(f->GetPort()) + "/" + f->GetKennung() + " ";
        EXPECT_EQ(got, c.expected);
        const auto info = dev_->TreiberInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->version, "Stand-in 1.0");
        EXPECT_EQ(info->digiModul, c.kernel == 2);
        EXPECT_EQ(dev_->EigenschaftenKopf(), std::string("PC/FlexNet Kernel Version Stand-in 1.0") +
                                                 (c.kernel == 2 ? " mit Digipeater-Modul" : ""));
        dev_->DeInit();
    }
    // A port renamed while running gets a new radio channel.
    sim_.Reset();
    StartReady();
    const auto before = dev_->GetFunkKanaele(33);
    sim_.SetPort(1, true, "Port Z");
    const auto after = dev_->GetFunkKanaele(33);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1]->GetName(), "Port Z");
    EXPECT_EQ(dev_->EigenschaftenKanaele(), (std::vector<std::string>{"0 Port A", "1 Port Z"}));
    dev_->DeInit();
    EXPECT_EQ(dev_->EigenschaftenKanaele(), std::vector<std::string>{});
}

TEST_F(FlexnetDevice, AConnectRequestIsAcceptedOnAFreeChannelElseRefused) {
    StartReady();
    const int c = sim_.RemoteConnect(0, "CALLER", "DL1TST-1");
    ASSERT_TRUE(Until([&] { return dev_->Verbindungen().size() == 1; }));
    EXPECT_EQ(Befs(sim_.TakeCalls()),
              "l2_bef(2," + std::to_string(c) + ");l2_bef(7," + std::to_string(c) + ")");
    auto v = dev_->Verbindungen()[0];
    EXPECT_EQ(v->Handle(), c);
    EXPECT_EQ(v->MyCall(), "DL1TST-1");
    EXPECT_EQ(v->Call(), "CALLER");
    EXPECT_FALSE(v->Outgoing());
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit CALLER"); })) << Channel(1);
    EXPECT_TRUE(Logged("Verbindungswunsch von CALLER akzeptiert."));

    for (int n = 2; n <= 4; ++n) kanaele_->GetKanal(n)->SetReserved(true);
    const int late = sim_.RemoteConnect(1, "LATE", "DL1TST");
    ASSERT_TRUE(Until([&] { return Logged("abgelehnt (kein freier Kanal)."); }));
    EXPECT_EQ(Befs(sim_.TakeCalls()), "l2_bef(3," + std::to_string(late) + ")");
    EXPECT_EQ(dev_->Verbindungen().size(), 1u);
}

TEST_F(FlexnetDevice, RejectedAndIgnoredRequests) {
    StartReady();
    config_->SetIncomingConnects(3);
    const int rejected = sim_.RemoteConnect(0, "NOPE", "DL1TST");
    ASSERT_TRUE(Until([&] { return Logged("Verbindungswunsch von NOPE abgelehnt."); }));
    EXPECT_EQ(Befs(sim_.TakeCalls()), "l2_bef(3," + std::to_string(rejected) + ")");

    // An ignored request stays with the driver; it is asked about once.
    config_->SetIncomingConnects(2);
    sim_.RemoteConnect(0, "QUIET", "DL1TST");
    ASSERT_TRUE(Until([&] { return Logged("Verbindungswunsch von QUIET ignoriert."); }));
    const int polls = sim_.SabmPolls();
    // Every own callsign is asked for in a scan: two more scans at least.
    ASSERT_TRUE(Until([&] { return sim_.SabmPolls() >= polls + 8; }));
    EXPECT_EQ(LogCount("Verbindungswunsch von QUIET ignoriert."), 1);
    EXPECT_EQ(Befs(sim_.TakeCalls()), "");
    EXPECT_TRUE(dev_->Verbindungen().empty());
}

TEST_F(FlexnetDevice, TheDriversLinkStatesDriveTheConnection) {
    struct Case {
        const char* name;
        bool connectFirst;
        int state;
        std::string notice;  // on the channel; "" while the link lasts
        std::uint8_t linkState;
    };
    const Case cases[] = {
        {"refused while connecting", false, 1, "Besetzt. Getrennt von STN", 0},
        {"failed while connecting", false, 0, "Verbindungsfehler. Getrennt von STN", 0},
        {"disconnecting", true, 4, "", core::kLinkDisconnecting},
        {"disconnected", true, 1, ": Getrennt von STN", 0},
        {"link failure", true, 0, "Verbindungsfehler. Getrennt von STN", 0},
    };
    sim_.SetPort(2, true, "Port C");
    StartReady();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kanaele_->GetKanal(1)->Console().Clear();
        std::shared_ptr<core::IVerbindung> v;
        ASSERT_EQ(Connect("STN", &v, 2), devices::kConnectOk);
        const int ch = v->Handle();
        EXPECT_EQ(v->State(), core::kLinkConnecting);
        if (c.connectFirst) {
            sim_.SetState(ch, 5);
            ASSERT_TRUE(Until([&] { return v->State() == core::kLinkConnected; }));
        }
        sim_.SetState(ch, c.state);
        if (c.notice.empty()) {
            ASSERT_TRUE(Until([&] { return v->State() == c.linkState; }));
            sim_.SetState(ch, 1);
        } else {
            ASSERT_TRUE(Until([&] { return Has(Channel(1), c.notice); })) << Channel(1);
        }
        ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
    }
}

TEST_F(FlexnetDevice, ALinkInUseMakesTheNextConnectTakeTheNextSsid) {
    sim_.SetPort(2, true, "Port C");
    StartReady();
    std::shared_ptr<core::IVerbindung> a, b, c;
    ASSERT_EQ(Connect("STN", &a, 2), devices::kConnectOk);
    EXPECT_EQ(a->MyCall(), "DL1TST");
    // The port goes into the path the driver builds, and out of the digipeaters.
    EXPECT_EQ(a->Digis(), "");
    EXPECT_TRUE(Logged("Kein QSO gefunden"));
    ASSERT_EQ(Connect("STN", &b, 2), devices::kConnectOk);
    EXPECT_EQ(b->MyCall(), "DL1TST-1");
    EXPECT_TRUE(Logged("Bestehendes QSO gefunden (connected)"));
    EXPECT_EQ(Connect("STN", &c, 2), devices::kConnectNoFreeSsid);
    EXPECT_TRUE(Logged("Keine freie SSID gefunden."));
    EXPECT_EQ(dev_->Verbindungen().size(), 2u);
}

TEST_F(FlexnetDevice, DisconnectLevelsGoToTheDriver) {
    sim_.SetPort(2, true, "Port C");
    StartReady();
    int ch = 0;
    auto v = ScriptedLink(&ch);
    ASSERT_TRUE(v);
    v->Disconnect();
    ASSERT_TRUE(Until([&] { return Has(sim_.TakeCalls(), "l2_bef(4," + std::to_string(ch)); }));
    ASSERT_TRUE(Until([&] { return v->State() == core::kLinkDisconnecting; }));
    // No answer: the next level cancels.
    v->Disconnect();
    ASSERT_TRUE(Until([&] { return Has(sim_.TakeCalls(), "l2_bef(5," + std::to_string(ch)); }));
    ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }));
}

TEST_F(FlexnetDevice, LinkValuesReachTheStatus) {
    sim_.SetPort(2, true, "Port C");
    StartReady();
    int ch = 0;
    auto v = ScriptedLink(&ch);
    ASSERT_TRUE(v);
    // Remote busy and own busy on a connected link.
    sim_.SetLink(ch, 8 | 16, 3, 4, 2, 5);
    auto s = v->Status();
    ASSERT_TRUE(Until([&] { return s->GetTries() == 2; }));
    EXPECT_EQ(s->GetLinkFlags(), (5 | 8 | 16) & 0x3F);
    EXPECT_EQ(s->GetUnacked(), 3);
    EXPECT_EQ(s->GetMaxFrame(), 4);
    EXPECT_EQ(s->GetFrack(), 5);
}

TEST_F(FlexnetDevice, TextGoesOnlyWhileTheDriverHasRoom) {
    sim_.SetPort(2, true, "Port C");
    StartReady();
    int ch = 0;
    auto v = ScriptedLink(&ch);
    ASSERT_TRUE(v);
    sim_.SetBlocked(ch, true);
    v->SendData("erste Zeile\r", false, false, false, false);
    // The status counts what waits in the queue: the pass has seen it.
    ASSERT_TRUE(Until([&] { return v->Status()->GetUnacked() >= 1; }));
    const int polls = sim_.SabmPolls();
    ASSERT_TRUE(Until([&] { return sim_.SabmPolls() >= polls + 8; }));
    EXPECT_EQ(sim_.FramesSent(ch), 0);
    sim_.SetBlocked(ch, false);
    ASSERT_TRUE(Until([&] { return sim_.FramesSent(ch) > 0; }));
    EXPECT_EQ(sim_.RemoteTake(ch), "erste Zeile\r");

    // A piece longer than a frame goes in frames.
    const std::string lang(600, 'x');
    v->LinkSendQueue().PushString(lang);
    std::string got;
    ASSERT_TRUE(Until([&] {
        got += sim_.RemoteTake(ch);
        return got.size() >= lang.size();
    }));
    EXPECT_EQ(got, lang);

    sim_.RemoteSend(ch, "Antwort\r");
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Antwort"); })) << Channel(1);
}

TEST(FlexnetMonitor, FilterTable) {
    struct Case {
        std::uint8_t type;
        int options;
        bool show, data;
    };
    const Case cases[] = {
        {1, 4, true, false},        {1, 4 | 8, true, true},   {1, 2 | 16, false, false},
        {2, 2, true, false},        {9, 2 | 8, true, false},  {5, 4 | 16, false, false},
        {10, 16, true, true},       {10, 2 | 4, false, true}, {11, kMonAll, false, false},
        {0, kMonAll, false, false},
    };
    for (const Case& c : cases) {
        const auto s = fx::MonitorFilter(c.type, c.options);
        EXPECT_EQ(s.show, c.show) << int(c.type) << " " << c.options;
        if (s.show) {
            EXPECT_EQ(s.data, c.data) << int(c.type) << " " << c.options;
        }
    }
    EXPECT_FALSE(fx::MonitorWanted(8 | 64));
    EXPECT_TRUE(fx::MonitorWanted(16));
}

TEST(FlexnetMonitor, HostileCountsAndLengthsAreClamped) {
    std::array<std::uint8_t, fx::kMonRecordSize> r{};
    Address(r.data() + fx::kMonDest, "CQ");
    Address(r.data() + fx::kMonSource, "DL1ABC", 3);
    for (std::size_t i = 0; i < fx::kMaxDigis; ++i)
        Address(r.data() + fx::kMonDigis + i * fx::kAddressSize, "DIGI" + std::to_string(i));
    r[fx::kMonDigiCount] = 200;
    r[fx::kMonDigiPassed] = 255;
    r[fx::kMonType] = 10;
    r[fx::kMonPort] = 1;
    r[fx::kMonLength] = 0xFF;
    r[fx::kMonLength + 1] = 0xFF;
    const std::string data(fx::kMaxInfo, 'd');
    const char* p = data.data();
    std::memcpy(r.data() + fx::kMonData, &p, sizeof p);
    const fx::TMonitorRecord m = fx::DecodeMonitorRecord(r.data());
    EXPECT_EQ(m.frame.An, "CQ");
    EXPECT_EQ(m.frame.Von, "DL1ABC-3");
    EXPECT_EQ(m.frame.Via, "DIGI0 DIGI1 DIGI2 DIGI3 DIGI4 DIGI5 DIGI6 DIGI7*");
    EXPECT_EQ(m.data.size(), fx::kMaxInfo);

    r[fx::kMonDigiCount] = 2;
    r[fx::kMonDigiPassed] = 1;
    r[fx::kMonLength] = 3;
    r[fx::kMonLength + 1] = 0;
    EXPECT_EQ(fx::DecodeMonitorRecord(r.data()).frame.Via, "DIGI0* DIGI1");
    EXPECT_EQ(fx::DecodeMonitorRecord(r.data()).data, "ddd");

    std::array<std::uint8_t, fx::kFrameRecordSize> f{};
    f[0] = 0x00;
    f[1] = 0x10;  // 4096
    EXPECT_EQ(fx::DecodeFrameRecord(f.data()).size(), fx::kMaxInfo);
}

TEST_F(FlexnetDevice, MonitoredFramesAreShownAsTheOptionsSay) {
    config_->SetMonitor(2 | 4 | 16);
    StartReady();
    ASSERT_TRUE(Until([&] { return sim_.MonitorOn(); }));
    std::array<std::uint8_t, fx::kMonRecordSize> r{};
    Address(r.data() + fx::kMonDest, "DB0XYZ");
    Address(r.data() + fx::kMonSource, "DL2ABC");
    r[fx::kMonType] = 1;
    r[fx::kMonLength] = 9;
    sim_.AddMonitor(r, "geheimnis");
    r[fx::kMonType] = 10;
    r[fx::kMonLength] = 10;
    Address(r.data() + fx::kMonDest, "QST");
    sim_.AddMonitor(r, "rundspruch");
    ASSERT_TRUE(Until([&] { return Has(Monitor(), "rundspruch"); })) << Monitor();
    EXPECT_TRUE(Has(Monitor(), "DL2ABC")) << Monitor();
    // I frames without bit 8 are shown without their data.
    EXPECT_FALSE(Has(Monitor(), "geheimnis")) << Monitor();

    // A driver that lost the monitor gets it switched on again.
    sim_.DropMonitor();
    ASSERT_TRUE(Until([&] { return Logged("Monitor verloren"); }));
    EXPECT_TRUE(Until([&] { return sim_.MonitorOn(); }));
}

TEST_F(FlexnetDevice, UIFramesGoToTheDriver) {
    StartReady();
    auto radio = dev_->GetFunkKanaele(33).at(1);
    ASSERT_TRUE(radio->SendUI("CQ via DB0AA", "dl1tst", "Hallo alle\r"));
    EXPECT_EQ(sim_.TakeUI(), "DL1TST>CQ DB0AA 1 pid 240: Hallo alle\r\n");
}

TEST_F(FlexnetDevice, LinksAreHandedOverAtTheEndAndTakenBackAtTheStart) {
    enum Meanwhile { kKept, kLost, kOther };
    struct Case {
        const char* name;
        Meanwhile meanwhile;
        const char* logged;
    };
    const Case cases[] = {
        {"kept", kKept,
         "FlexNet-QSO stimmt mit gespeicherten QSO-Daten \xFC"
         "berein."},
        {"lost meanwhile", kLost, nullptr},
        {"another link on the channel", kOther,
         "FlexNet-QSO stimmt NICHT mit gespeicherten QSO-Daten \xFC"
         "berein."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.Reset();
        config_->SetMonitor(2);
        StartReady();
        ASSERT_TRUE(Until([&] { return sim_.MonitorOn(); }));
        const int ch = sim_.RemoteConnect(0, "CALLER", "DL1TST");
        ASSERT_TRUE(Until([&] { return dev_->Verbindungen().size() == 1; }));
        ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit CALLER"); }));
        sim_.TakeCalls();
        dev_->DeInit();
        const std::string calls = sim_.TakeCalls();
        // The monitor thread has ended before the driver is told to end.
        EXPECT_TRUE(Has(calls, "l2_bef(18," + std::to_string(ch) + ")")) << calls;
        const std::size_t clr = calls.find("l2_clr_monitor");
        ASSERT_NE(clr, std::string::npos) << calls;
        EXPECT_LT(clr, calls.find("ax_exit")) << calls;
        EXPECT_TRUE(registry_.KeyExists(LM, kDeviceKey + "\\" + std::to_string(ch)));
        EXPECT_FALSE(Has(Channel(1), "Getrennt")) << Channel(1);

        if (c.meanwhile == kLost) sim_.SetState(ch, 1);
        if (c.meanwhile == kOther) sim_.SetRemote(ch, "OTHER");
        dev_ = NewDevice();
        dev_->Restore();
        dev_->Init();
        ASSERT_TRUE(Until([&] { return dev_->Status() == TGeraetStatus::Bereit; }));
        if (c.logged) {
            EXPECT_TRUE(Logged(c.logged)) << c.logged;
        }
        if (c.meanwhile == kKept) {
            ASSERT_EQ(dev_->Verbindungen().size(), 1u);
            sim_.RemoteSend(ch, "noch da\r");
            EXPECT_TRUE(Until([&] { return Has(Channel(1), "noch da"); })) << Channel(1);
        } else {
            EXPECT_TRUE(dev_->Verbindungen().empty());
            EXPECT_TRUE(Until([&] { return Has(Channel(1), "Verbindungsfehler"); })) << Channel(1);
        }
        dev_->DeInit();
        dev_.reset();
        for (int n = 1; n <= 4; ++n) kanaele_->GetKanal(n)->Console().Clear();
    }
}

// Two program channels talk over the wired ports, through the device set as
// the program builds it.
TEST_F(FlexnetDevice, TwoChannelsTalkOverTheWiredPorts) {
    devices::ClearRegisteredKinds();
    devices::RegisterDeviceKinds();
    registry_.WriteText(LM, kDeviceKey, "", TGeraetFlexnet::kClassName);
    auto set = std::make_unique<devices::TGeraete>(gctx_, [](bool) {});
    set->Create();
    ASSERT_EQ(set->Count(), 1);
    ASSERT_TRUE(Until([&] { return set->AllReady(); }));
    const auto radios = set->GetFunkKanaele(33);
    ASSERT_EQ(radios.size(), 2u);

    std::string ziel = "DL1TST", mycall = "DL1TST";
    std::shared_ptr<core::IVerbindung> out;
    std::shared_ptr<core::IKanal> kanal;
    ASSERT_EQ(radios[0]->Verbinde(ziel, mycall, out, kanal), devices::kConnectOk);
    // The own callsign with SSID 0 cannot call itself: the next SSID calls.
    EXPECT_EQ(mycall, "DL1TST-1");
    ASSERT_TRUE(Until([&] {
        return Has(Channel(1), "Verbunden mit DL1TST") && Has(Channel(2), "Verbunden mit DL1TST-1");
    })) << AllChannels();

    out->SendData("Hallo von eins\r", false, false, false, true);
    ASSERT_TRUE(Until([&] { return Has(Channel(2), "Hallo von eins"); })) << AllChannels();
    auto incoming = kanaele_->GetKanal(2)->GetVerbindung();
    ASSERT_TRUE(incoming);
    incoming->SendData("Antwort von zwei\r", false, false, false, true);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Antwort von zwei"); })) << AllChannels();

    out->Disconnect();
    EXPECT_TRUE(Until([&] {
        return Has(Channel(1), "Getrennt von DL1TST") && Has(Channel(2), "Getrennt von DL1TST-1");
    })) << AllChannels();
    set->Destroy();
    devices::ClearRegisteredKinds();
}
