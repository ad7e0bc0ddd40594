// A mailbox on the simulated TNC asks for characters of its password by
// position; the password stored for it in the station database answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "devices/GeraetHostmodeSerialU.h"
#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/TncSimulator.h"

namespace tarvo::stations {
namespace {

using namespace std::chrono_literals;

class PasswordLogin : public test::DeviceFixture {
  protected:
    PasswordLogin() {
        myCalls_->Add(devices::TMyCall("DL1TST", 0b11));
        TStationenDatenbankSetup setup;
        setup.file = StationenDatenbankFile(dir_);
        database_ = TStationenDatenbank::Open(setup);
        gctx_.verbindung.stationen = database_;
        gctx_.verbindung.channelCount = [this] { return kanaele_->Count(); };
        gctx_.verbindung.channel = [this](int n) -> std::shared_ptr<core::IKanalFuerVerbindung> {
            return kanaele_->GetKanal(n);
        };
    }
    ~PasswordLogin() override {
        if (dev_) dev_->DeInit();
        dev_.reset();
    }

    void Start(const test::TncStationOptions& mailbox) {
        test::TncSimulatorOptions o;
        o.linkPath = (dir_ / "tnc").string();
        sim_ = std::make_unique<test::TncSimulator>(o);
        ASSERT_TRUE(sim_->Ok()) << sim_->Error();
        sim_->AddStation("SIMBOX", mailbox);
        dev_ = StartHostmode(sim_->PortPath());
        ASSERT_TRUE(dev_);
    }

    // Connects to the mailbox as the operator does and waits for its verdict.
    std::optional<bool> Login() {
        auto radio = dev_->GetFunkKanaele(8).at(0);
        std::string ziel = "SIMBOX", mycall = "DL1TST";
        std::shared_ptr<core::IVerbindung> v;
        std::shared_ptr<core::IKanal> kanal;
        if (radio->Verbinde(ziel, mycall, v, kanal) != devices::kConnectOk) return std::nullopt;
        Until([&] { return sim_->StationPasswordOk("SIMBOX").has_value(); }, 20s);
        return sim_->StationPasswordOk("SIMBOX");
    }

    std::shared_ptr<TStationenDatenbank> database_;
    std::unique_ptr<test::TncSimulator> sim_;
    std::shared_ptr<devices::TGeraetHostmodeSerial> dev_;
};

TEST_F(PasswordLogin, TheStoredPasswordLetsTheOperatorIn) {
    test::TncStationOptions mailbox{test::TncStationKind::Mailbox};
    mailbox.password = "Kx7wPq2mZr";
    // Stored under the callsign without SSID, for the own callsign without SSID.
    database_->CreateStation("SIMBOX")->SetPasswort("DL1TST", 0, mailbox.password, 0);
    Start(mailbox);
    EXPECT_EQ(Login(), true) << sim_->StationReceived("SIMBOX");
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Password ok"); })) << Channel(1);
}

TEST_F(PasswordLogin, AWrongStoredPasswordIsRefused) {
    test::TncStationOptions mailbox{test::TncStationKind::Mailbox};
    mailbox.password = "Kx7wPq2mZr";
    // The simulated box takes an answer only when every asked character is right.
    database_->CreateStation("SIMBOX")->SetPasswort("DL1TST", 0, "abcdefghij", 0);
    Start(mailbox);
    EXPECT_EQ(Login(), false) << sim_->StationReceived("SIMBOX");
}

}  // namespace
}  // namespace tarvo::stations
