// Tarvo's AGWPE device on Dire Wolf modem A, a station on modem B driven by
// the test through B's AGWPE port, the two joined by simulated audio: the
// whole path an operator with a soft modem uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "devices/AgwpeU.h"
#include "devices/Ax25FrameU.h"
#include "devices/GeraetAgwpeU.h"
#include "devices/MyCallsU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/peer/AgwpeTestClient.h"
#include "tests/support/DirewolfPair.h"

namespace {

using namespace tarvo;
using namespace std::chrono_literals;

class AgwpePeer : public test::DeviceFixture {
  protected:
    AgwpePeer() {
        config_->SetSendSid(true);
        config_->SetHideSentSid(false);
        // The monitor channel sends UI frames on the device's radio channels.
        kanaele_.reset();
        ctx_.funkKanaele = [this] {
            return dev_ ? dev_->GetFunkKanaele(33)
                        : std::vector<std::shared_ptr<core::IFunkKanal>>{};
        };
        kanaele_ = std::make_unique<channels::TKanaele>(ctx_, nullptr);
        gctx_.kanaele = kanaele_.get();
    }
    ~AgwpePeer() override {
        if (HasFailure()) {
            std::fprintf(stderr, "  B saw:\n%s\n", b_.Transcript().c_str());
            if (pair_) std::fprintf(stderr, "%s\n", pair_->Logs().c_str());
        }
        if (dev_) dev_->DeInit();
        dev_.reset();
    }

    // B's next frame of this kind, serving the main thread meanwhile.
    std::optional<test::AgwpeFrame> B(const std::function<bool(const test::AgwpeFrame&)>& match,
                                      std::chrono::milliseconds timeout) {
        std::optional<test::AgwpeFrame> found;
        Until(
            [&] {
                found = b_.WaitFor(match, 50ms);
                return found.has_value();
            },
            timeout);
        return found;
    }
    // The pair, and Tarvo's device on modem A with A's call as own callsign.
    void StartOnA() {
        pair_ = std::make_unique<test::DirewolfPair>();
        ASSERT_TRUE(pair_->Ok()) << pair_->Error();
        const std::string a = pair_->CallA();
        const std::size_t dash = a.find('-');
        const int ssid = dash == std::string::npos ? 0 : std::stoi(a.substr(dash + 1));
        myCalls_->Add(devices::TMyCall(a.substr(0, dash), static_cast<std::uint16_t>(1u << ssid)));
        dev_ = std::make_shared<devices::TGeraetAgwpe>(gctx_);
        devices::TGeraetAgwpeParameter p;
        p.Hostname = "127.0.0.1";
        p.Port = pair_->PortA();
        dev_->SetParameter(p);
        dev_->Init();
        ASSERT_TRUE(Until(
            [&] {
                return dev_->Status() == devices::TGeraetStatus::Bereit &&
                       !dev_->GetFunkKanaele(33).empty();
            },
            30s))
            << dev_->StatusText();
    }

    std::unique_ptr<test::DirewolfPair> pair_;
    std::shared_ptr<devices::TGeraetAgwpe> dev_;
    test::AgwpeTestClient b_;
};

TEST_F(AgwpePeer, AStationOnTheOtherModemConnectsToTheOperator) {
    StartOnA();
    if (HasFatalFailure()) return;
    const std::string a = pair_->CallA();  // the operator
    const std::string b = pair_->CallB();  // the remote station
    // The engine lists more items than it has ports; the count holds.
    EXPECT_EQ(dev_->GetFunkKanaele(33).size(), 1u);
    EXPECT_EQ(dev_->GetFunkKanaele(33)[0]->GetKennung(), "AGWPE00");
    ASSERT_TRUE(Until([&] { return Logged("Version ") && dev_->Registered().size() == 1; }, 10s));

    std::string error;
    ASSERT_TRUE(b_.Connect(pair_->PortB(), error)) << error;
    ASSERT_TRUE(b_.Send({0, 'X', 0, b, "", ""}));
    ASSERT_TRUE(B([](const test::AgwpeFrame& f) { return f.kind == 'X'; }, 10s));
    ASSERT_TRUE(b_.Send({0, 'C', 0, b, a, ""}));

    // Tarvo takes the link on channel 1 and greets with its station ID.
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit " + b); }, 60s)) << Channel(1);
    auto sid = B([](const test::AgwpeFrame& f) { return f.kind == 'D'; }, 60s);
    ASSERT_TRUE(sid);
    EXPECT_NE(sid->data.find("{Tarvo-0.01.000-D"), std::string::npos) << sid->data;

    // Text both ways.
    ASSERT_TRUE(b_.Send({0, 'D', 0xF0, b, a, "Hallo Tarvo\r"}));
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Hallo Tarvo"); }, 60s)) << Channel(1);
    auto conns = dev_->Verbindungen();
    ASSERT_EQ(conns.size(), 1u);
    conns[0]->SendData("Hallo Station\r", true, false, false, true);
    auto back = B(
        [](const test::AgwpeFrame& f) {
            return f.kind == 'D' && f.data.find("Hallo Station") != std::string::npos;
        },
        60s);
    EXPECT_TRUE(back);

    // The monitor shows the frames on the channel.
    EXPECT_TRUE(Until([&] { return Has(Monitor(), b); }, 30s)) << Monitor();

    // The station ends the link.
    ASSERT_TRUE(b_.Send({0, 'd', 0, b, a, ""}));
    ASSERT_TRUE(Until([&] { return dev_->Verbindungen().empty(); }, 60s));
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Getrennt von " + b); }, 10s)) << Channel(1);
}

// Typed on the monitor channel, sent by the engine, heard by the other modem.
TEST_F(AgwpePeer, AUiFrameTypedOnTheMonitorIsHeardOnTheOtherModem) {
    StartOnA();
    if (HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(b_.Connect(pair_->PortB(), error)) << error;
    ASSERT_TRUE(b_.Send({0, 'm', 0, "", "", ""}));
    config_->SetUiDestination("CQ");
    config_->SetUiMyCall(pair_->CallA());
    config_->SetUiPort("AGWPE00");
    kanaele_->GetKanal(0)->SendInput("Hallo vom Monitor\r");
    const auto heard = B(
        [](const test::AgwpeFrame& f) {
            return f.kind == 'U' && f.data.find("Hallo vom Monitor") != std::string::npos;
        },
        20s);
    ASSERT_TRUE(heard);
    EXPECT_NE(heard->data.find("Fm " + pair_->CallA() + " To CQ"), std::string::npos)
        << heard->data;
    EXPECT_FALSE(Has(Monitor(), "UI-Frame nicht gesendet")) << Monitor();
}

// One modem's traffic, read from its raw frames and from its texts, gives the
// same monitor lines.
TEST_F(AgwpePeer, RawAndTextFramesOfAModemReadAlike) {
    pair_ = std::make_unique<test::DirewolfPair>();
    ASSERT_TRUE(pair_->Ok()) << pair_->Error();
    const std::string a = pair_->CallA(), b = pair_->CallB();
    test::AgwpeTestClient onA;
    std::string error;
    ASSERT_TRUE(onA.Connect(pair_->PortA(), error)) << error;
    ASSERT_TRUE(b_.Connect(pair_->PortB(), error)) << error;
    for (char kind : {'k', 'm'}) ASSERT_TRUE(onA.Send({0, kind, 0, "", "", ""}));
    ASSERT_TRUE(onA.Send({0, 'X', 0, a, "", ""}));
    ASSERT_TRUE(b_.Send({0, 'X', 0, b, "", ""}));
    ASSERT_TRUE(B([](const test::AgwpeFrame& f) { return f.kind == 'X'; }, 10s));

    // A UI frame via a digipeater, a connect, a line of text, the end.
    std::string via(1 + 10, '\0');
    via[0] = 1;
    via.replace(1, 7, "WIDE1-1");
    ASSERT_TRUE(b_.Send({0, 'V', 0xF0, b, "CQ", via + "UI via WIDE1-1\r"}));
    ASSERT_TRUE(b_.Send({0, 'C', 0, b, a, ""}));
    ASSERT_TRUE(B([](const test::AgwpeFrame& f) { return f.kind == 'C'; }, 20s));
    ASSERT_TRUE(b_.Send({0, 'D', 0xF0, b, a, "Hallo A\r"}));
    std::vector<test::AgwpeFrame> seen;
    const auto collect = [&](const std::function<bool(const test::AgwpeFrame&)>& until) {
        return onA.WaitFor(
            [&](const test::AgwpeFrame& f) {
                seen.push_back(f);
                return until(f);
            },
            20s);
    };
    ASSERT_TRUE(collect([](const test::AgwpeFrame& f) {
        return f.kind == 'D' && f.data.find("Hallo A") != std::string::npos;
    }));
    ASSERT_TRUE(b_.Send({0, 'd', 0, b, a, ""}));
    ASSERT_TRUE(collect([](const test::AgwpeFrame& f) { return f.kind == 'd'; }));

    devices::ax25::TDecoder decoder;
    std::vector<std::string> kinds;
    for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
        if (seen[i].kind != 'K') continue;
        const test::AgwpeFrame& text = seen[i + 1];  // this engine sends the text right after
        ASSERT_NE(std::string("ISU").find(text.kind), std::string::npos) << text.Describe();
        channels::TMonitorFrame fromRaw, fromText;
        ASSERT_TRUE(
            decoder.Decode(std::string_view(seen[i].data).substr(1), 1, seen[i].port + 1, fromRaw))
            << seen[i].Describe();
        ASSERT_TRUE(devices::agwpe::ParseMonitor(text.data, 1, fromText)) << text.Describe();
        const std::string header = channels::FormatMonitorFrame(fromRaw, 0).header;
        EXPECT_EQ(header, channels::FormatMonitorFrame(fromText, 0).header);
        EXPECT_EQ(fromRaw.Daten, fromText.Daten) << header;
        kinds.push_back(header);
    }
    const auto has = [&](const std::string& part) {
        return std::any_of(kinds.begin(), kinds.end(),
                           [&](const std::string& k) { return k.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has(" UI^")) << ::testing::PrintToString(kinds);
    EXPECT_TRUE(has(" SABM+")) << ::testing::PrintToString(kinds);
    EXPECT_TRUE(has(" I00^")) << ::testing::PrintToString(kinds);
    EXPECT_TRUE(has(" DISC+")) << ::testing::PrintToString(kinds);
}

}  // namespace
