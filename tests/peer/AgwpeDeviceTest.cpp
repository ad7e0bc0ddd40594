// Tarvo's AGWPE device on Dire Wolf modem A, a station on modem B driven by
// the test through B's AGWPE port, the two joined by simulated audio: the
// whole path an operator with a soft modem uses.
#include <gtest/gtest.h>

#include <cstdio>

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
    std::unique_ptr<test::DirewolfPair> pair_;
    std::shared_ptr<devices::TGeraetAgwpe> dev_;
    test::AgwpeTestClient b_;
};

TEST_F(AgwpePeer, AStationOnTheOtherModemConnectsToTheOperator) {
    pair_ = std::make_unique<test::DirewolfPair>();
    ASSERT_TRUE(pair_->Ok()) << pair_->Error();
    const std::string a = pair_->CallA();  // the operator
    const std::string b = pair_->CallB();  // the remote station
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

}  // namespace
