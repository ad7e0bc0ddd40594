// The operator lists the messages of the simulated mailbox, marks one for
// reading and one for erasing, and sends both with Enter.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "channels/BoxListU.h"
#include "channels/KanalU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/TncSimulator.h"

namespace tarvo::stations {
namespace {

using namespace std::chrono_literals;

class MailboxList : public test::DeviceFixture {
  protected:
    MailboxList() { myCalls_->Add(devices::TMyCall("DL1TST", 0b11)); }
    ~MailboxList() override {
        if (dev_) dev_->DeInit();
        dev_.reset();
    }

    // The newest row of channel 1 whose text begins with prefix; -1 when none.
    int Row(std::string_view prefix) {
        const channels::TConsole& c = kanaele_->GetKanal(1)->Console();
        for (int row = c.WriteRow(); row >= 0; --row)
            if (channels::BoxRowText(c, row).starts_with(prefix)) return row;
        return -1;
    }

    std::unique_ptr<test::TncSimulator> sim_;
    std::shared_ptr<devices::TGeraetHostmodeSerial> dev_;
};

TEST_F(MailboxList, MarkedMessagesAreReadAndKilled) {
    test::TncSimulatorOptions o;
    o.linkPath = (dir_ / "tnc").string();
    sim_ = std::make_unique<test::TncSimulator>(o);
    ASSERT_TRUE(sim_->Ok()) << sim_->Error();
    test::TncStationOptions mailbox{test::TncStationKind::Mailbox};
    mailbox.password = "";  // no challenge
    sim_->AddStation("SIMBOX", mailbox);
    dev_ = StartHostmode(sim_->PortPath());
    ASSERT_TRUE(dev_);

    std::string ziel = "SIMBOX", mycall = "DL1TST";
    std::shared_ptr<core::IVerbindung> v;
    std::shared_ptr<core::IKanal> kanal;
    ASSERT_EQ(dev_->GetFunkKanaele(8).at(0)->Verbinde(ziel, mycall, v, kanal), devices::kConnectOk);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "de SIMBOX>"); }, 20s)) << Channel(1);

    auto k = kanaele_->GetKanal(1);
    k->SendInput("L\r");
    channels::TConsole& c = k->Console();
    // The text module marks a list line once it has shown it whole.
    ASSERT_TRUE(Until(
        [&] {
            const int last = Row("1      01-Jan");
            return last >= 0 && c.GetLine(last).mailbox;
        },
        20s))
        << Channel(1) << " type " << v->StationType();
    for (const char* n : {"4 ", "3 ", "2 ", "1 "}) EXPECT_TRUE(c.GetLine(Row(n)).mailbox) << n;
    EXPECT_FALSE(c.GetLine(Row("de SIMBOX>")).mailbox);

    c.MoveCursorTo(0, Row("4 "), false);
    k->BoxMarkErase(true, true);
    c.MoveCursorTo(0, Row("2 "), false);
    k->BoxMarkRead(true, true);
    k->BoxRun();
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "[End of Message #2 from SIMOP]"); }, 20s))
        << Channel(1);
    EXPECT_TRUE(Has(Channel(1), "Message #4 Killed")) << Channel(1);
    EXPECT_TRUE(Has(sim_->StationReceived("SIMBOX"), "K 4\rR 2\r"))
        << sim_->StationReceived("SIMBOX");
}

}  // namespace
}  // namespace tarvo::stations
