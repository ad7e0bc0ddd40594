// Files sent between two Tarvo stations, each an AGWPE device with its own
// callsigns and connections on its own Dire Wolf modem, over the simulated
// radio: from the send job on one side to the receive folder on the other, with
// DIDADIT and with AutoBIN. The channel set is one per process, so both
// stations show there.
#include <gtest/gtest.h>

#include <filesystem>

#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "devices/GeraetAgwpeU.h"
#include "devices/MyCallsU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/devices/DeviceFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/DirewolfPair.h"

namespace {

using namespace tarvo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class FilePeer : public test::DeviceFixture {
  protected:
    FilePeer() {
        config_->SetSendSid(true);
        // The second station: its own connection list and own callsigns.
        myCallsB_ = std::make_shared<devices::TMyCalls>(registry_);
        vctxB_ = vctx_;
        vctxB_.connections = &connectionsB_;
        gctxB_ = gctx_;
        gctxB_.connections = &connectionsB_;
        gctxB_.myCalls = myCallsB_;
        gctxB_.verbindung = vctxB_;

        ordner_ = std::make_shared<resources::TOrdner>(
            registry_, platform::UserFolders{folder_.Dir(), folder_.Dir(), folder_.Dir()});
        ordner_->SetReceiveFolder((folder_.Dir() / "Empfang").string());
        auto postProcess = [o = ordner_](const std::shared_ptr<core::IVerbindung>& connection,
                                         core::IDateiSenden& record) {
            connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
        };
        connection::TDidaditContext didadit;
        didadit.klaenge = &klaenge_;
        didadit.postProcess = postProcess;
        connection::RegisterDidaditModules(didadit);
        connection::TAutobinContext autobin;
        autobin.klaenge = &klaenge_;
        autobin.postProcess = postProcess;
        connection::RegisterAutobinModules(autobin);
    }
    ~FilePeer() override {
        if (HasFailure() && pair_) std::fprintf(stderr, "%s\n", pair_->Logs().c_str());
        for (auto* dev : {&devA_, &devB_}) {
            if (*dev) (*dev)->DeInit();
            dev->reset();
        }
        connection::UnregisterDidaditModules();
        connection::UnregisterAutobinModules();
    }

    std::shared_ptr<devices::TGeraetAgwpe> Device(devices::TGeraetContext& gctx,
                                                  devices::TMyCalls& myCalls,
                                                  const std::string& call, std::uint16_t port) {
        const std::size_t dash = call.find('-');
        const int ssid = dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1));
        myCalls.Add(devices::TMyCall(call.substr(0, dash), static_cast<std::uint16_t>(1u << ssid)));
        auto dev = std::make_shared<devices::TGeraetAgwpe>(gctx);
        devices::TGeraetAgwpeParameter p;
        p.Hostname = "127.0.0.1";
        p.Port = port;
        dev->SetParameter(p);
        dev->Init();
        EXPECT_TRUE(Until(
            [&] {
                return dev->Status() == devices::TGeraetStatus::Bereit &&
                       !dev->GetFunkKanaele(33).empty();
            },
            30s))
            << dev->StatusText();
        return dev;
    }

    // Both stations on their modems, A linked to B on channel 1 and past the
    // station IDs (so that a file is not taken for a greeting).
    void LinkAToB(std::shared_ptr<core::IVerbindung>& verbindung) {
        pair_ = std::make_unique<test::DirewolfPair>();
        ASSERT_TRUE(pair_->Ok()) << pair_->Error();
        a_ = pair_->CallA();
        b_ = pair_->CallB();
        devA_ = Device(gctx_, *myCalls_, a_, pair_->PortA());
        devB_ = Device(gctxB_, *myCallsB_, b_, pair_->PortB());
        if (HasFailure()) return;
        std::string ziel = b_, mycall = a_;
        std::shared_ptr<core::IKanal> kanal = kanaele_->GetKanal(1);
        ASSERT_EQ(devA_->GetFunkKanaele(33)[0]->Verbinde(ziel, mycall, verbindung, kanal), 0);
        ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit " + b_); }, 90s))
            << Channel(1);
        ASSERT_TRUE(Until([&] { return Has(AllChannels(), "Verbunden mit " + a_); }, 90s))
            << AllChannels();
        ASSERT_TRUE(Until([&] { return verbindung->BinMode() == 5; }, 90s)) << Channel(1);
    }

    test::ScopedDataFolder folder_;
    channels::TConnectionsList connectionsB_;
    std::shared_ptr<devices::TMyCalls> myCallsB_;
    connection::TVerbindungContext vctxB_;
    devices::TGeraetContext gctxB_;
    std::shared_ptr<resources::TOrdner> ordner_;
    std::unique_ptr<test::DirewolfPair> pair_;
    std::shared_ptr<devices::TGeraetAgwpe> devA_, devB_;
    std::string a_, b_;
};

TEST_F(FilePeer, AFileGoesFromOneModemToTheOther) {
    std::shared_ptr<core::IVerbindung> verbindung;
    LinkAToB(verbindung);
    if (HasFailure()) return;

    std::string data;
    for (int i = 0; i < 3 * 1024; ++i) data += static_cast<char>((i * 37 + i / 97) & 0xFF);
    const fs::path source = folder_.Dir() / "peer.bin";
    ASSERT_FALSE(platform::WriteFileAtomic(source, data));
    std::string error;
    auto job = filesend::CreateFileJob(verbindung, source, connection::kDidaditProtocol, &error);
    ASSERT_TRUE(job) << error;
    verbindung->DateiSendenQueue()->EnQueue(job);

    const fs::path arrived = folder_.Dir() / "Empfang" / "peer.bin";
    ASSERT_TRUE(Until([&] { return fs::exists(arrived); }, 240s)) << AllChannels();
    EXPECT_TRUE(platform::ReadFile(arrived, 1 << 20) == data) << "content differs";
    EXPECT_TRUE(Until([&] { return Has(Channel(1), "Didadit-Empfang ok."); }, 60s)) << Channel(1);
}

TEST_F(FilePeer, AFileGoesBothWaysBetweenTheModems) {
    std::shared_ptr<core::IVerbindung> verbindung;
    LinkAToB(verbindung);
    if (HasFailure()) return;
    // B's end of the link.
    std::shared_ptr<core::IVerbindung> back;
    for (int k = 2; k <= 8 && !back; ++k)
        if (auto v = kanaele_->GetKanal(k)->GetVerbindung(); v && v->Call() == a_) back = v;
    ASSERT_TRUE(back) << AllChannels();

    for (const bool fromA : {true, false}) {
        SCOPED_TRACE(fromA ? "A to B" : "B to A");
        const std::string name = fromA ? "ab.bin" : "ba.bin";
        std::string data;
        for (int i = 0; i < 3 * 1024; ++i)
            data += static_cast<char>((i * (fromA ? 37 : 41) + i / 97) & 0xFF);
        const fs::path source = folder_.Dir() / name;
        ASSERT_FALSE(platform::WriteFileAtomic(source, data));
        std::string error;
        const auto& sender = fromA ? verbindung : back;
        auto job = filesend::CreateFileJob(sender, source, connection::kAutobinProtocol, &error);
        ASSERT_TRUE(job) << error;
        sender->DateiSendenQueue()->EnQueue(job);

        const fs::path arrived = folder_.Dir() / "Empfang" / name;
        ASSERT_TRUE(Until([&] { return fs::exists(arrived); }, 240s)) << AllChannels();
        EXPECT_TRUE(Until([&] { return platform::ReadFile(arrived, 1 << 20) == data; }, 10s))
            << "content differs";
        EXPECT_TRUE(Until([&] { return Has(AllChannels(), "Autobin-Senden ok."); }, 60s));
    }
}

}  // namespace
