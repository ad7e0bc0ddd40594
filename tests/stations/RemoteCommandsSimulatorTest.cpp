// A station on the simulated TNC connects to the operator and uses "//" lines:
// help, the released folder, a file as text, and the goodbye.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "connection/VerbindungTextSendU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "platform/Files.h"
#include "stations/RemoteCommandsU.h"
#include "stations/StationenDatenbankU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/TncSimulator.h"

namespace tarvo::stations {
namespace {

using namespace std::chrono_literals;

class RemoteStation : public test::DeviceFixture {
  protected:
    RemoteStation() {
        myCalls_->Add(devices::TMyCall("DL1TST", 0b11));
        TStationenDatenbankSetup setup;
        setup.file = StationenDatenbankFile(dir_);
        database_ = TStationenDatenbank::Open(setup);
        released_ = dir_ / "Frei";
        manager_ = std::make_shared<TRemoteCommandManager>(registry_, [this] { return database_; });
        for (const char* k : {"cd", "dir", "read"}) manager_->SetDefaultEnabled(k, true);
        TRemoteCommandsContext remote;
        remote.manager = manager_;
        remote.releasedFolder = [this] { return released_; };
        connection::TTextTransferContext text;
        text.klaenge = &klaenge_;
        connection::RegisterTextModules(text);
        gctx_.verbindung.stationen = database_;
        gctx_.verbindung.remoteCommands = RemoteCommandsFactory(remote);
        gctx_.verbindung.channelCount = [this] { return kanaele_->Count(); };
        gctx_.verbindung.channel = [this](int n) -> std::shared_ptr<core::IKanalFuerVerbindung> {
            return kanaele_->GetKanal(n);
        };
    }
    ~RemoteStation() override {
        connection::UnregisterTextModules();
        if (dev_) dev_->DeInit();
        dev_.reset();
        database_->Close();
    }

    void Start() {
        test::TncSimulatorOptions o;
        o.linkPath = (dir_ / "tnc").string();
        sim_ = std::make_unique<test::TncSimulator>(o);
        ASSERT_TRUE(sim_->Ok()) << sim_->Error();
        sim_->AddStation("DL1ABC", {test::TncStationKind::Quiet});
        dev_ = std::make_shared<devices::TGeraetHostmodeSerial>(gctx_);
        auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
        p->Schnittstelle = sim_->PortPath();
        p->Baudrate = 115200;
        dev_->SetParameter(p);
        dev_->Init();
        ASSERT_TRUE(Until([&] {
            return dev_->Status() == devices::TGeraetStatus::Bereit && dev_->KanalAnzahl() > 0;
        })) << dev_->StatusText();
        tnc_ = sim_->IncomingConnect("DL1ABC", "DL1TST");
        ASSERT_GT(tnc_, 0);
        ASSERT_TRUE(Until([&] { return dev_->GetVerbindung(tnc_) != nullptr; }));
        // The link is up and the worker reads what the station sends.
        ASSERT_TRUE(Until([&] {
            const auto v = dev_->GetVerbindung(tnc_);
            return v && v->RemoteCommandsEnabled() && Has(Channel(1), "Verbunden mit DL1ABC");
        }));
    }

    // The station types a line and waits for the text it expects back.
    bool Ask(const std::string& line, const std::string& expected) {
        const std::size_t before = sim_->StationReceived("DL1ABC").size();
        if (!sim_->StationSend("DL1ABC", line + "\r")) return false;
        return Until(
            [&] {
                return sim_->StationReceived("DL1ABC").find(expected, before) != std::string::npos;
            },
            60s);
    }

    std::shared_ptr<TStationenDatenbank> database_;
    std::shared_ptr<TRemoteCommandManager> manager_;
    std::filesystem::path released_;
    std::unique_ptr<test::TncSimulator> sim_;
    std::shared_ptr<devices::TGeraetHostmodeSerial> dev_;
    int tnc_ = 0;
};

TEST_F(RemoteStation, HelpFolderTextFileAndQuit) {
    const std::string text = "Erste Zeile\rZweite Zeile\r";
    ASSERT_FALSE(platform::EnsureFolder(released_ / "docs"));
    ASSERT_FALSE(platform::WriteFileAtomic(released_ / "docs" / "liesmich.txt", text));
    Start();
    EXPECT_TRUE(Ask("//help", "  //Version    - Gibt die Version von Tarvo aus\r"))
        << sim_->StationReceived("DL1ABC");
    EXPECT_TRUE(Ask("//dir", " <DIR>       docs\\\r")) << sim_->StationReceived("DL1ABC");
    EXPECT_TRUE(Ask("//cd docs", "<Tarvo>: Aktueller Ordner: docs\\\r"));
    EXPECT_TRUE(Ask("//dir *.TXT", " liesmich.txt\r")) << sim_->StationReceived("DL1ABC");
    EXPECT_TRUE(Ask("//read ../../etc/passwd", "<Tarvo>: Zugriff verweigert.\r"));
    EXPECT_TRUE(Ask("//bin text",
                    "<Tarvo>: \xDC"
                    "bertragungsprotokoll: TEXT\r"));
    EXPECT_TRUE(Ask("//read liesmich.txt", text)) << sim_->StationReceived("DL1ABC");
    ASSERT_TRUE(sim_->StationSend("DL1ABC", "//q\r"));
    EXPECT_TRUE(Until([&] { return sim_->LinkState(tnc_) == 0; }, 60s));
}

}  // namespace
}  // namespace tarvo::stations
