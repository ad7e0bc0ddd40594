// A file sent with AutoBIN both ways between two Tarvo stations, each an AGWPE
// device with its own callsigns and connections on its own Dire Wolf modem,
// over the simulated radio. The channel set is one per process, so both
// stations show there.
#include <gtest/gtest.h>

#include <filesystem>

#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAutobinU.h"
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

class AutobinPeer : public test::DeviceFixture {
  protected:
    AutobinPeer() {
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
        connection::TAutobinContext context;
        context.klaenge = &klaenge_;
        context.postProcess = [o = ordner_](const std::shared_ptr<core::IVerbindung>& connection,
                                            core::IDateiSenden& record) {
            connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
        };
        connection::RegisterAutobinModules(context);
    }
    ~AutobinPeer() override {
        if (HasFailure() && pair_) std::fprintf(stderr, "%s\n", pair_->Logs().c_str());
        for (auto* dev : {&devA_, &devB_}) {
            if (*dev) (*dev)->DeInit();
            dev->reset();
        }
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

    test::ScopedDataFolder folder_;
    channels::TConnectionsList connectionsB_;
    std::shared_ptr<devices::TMyCalls> myCallsB_;
    connection::TVerbindungContext vctxB_;
    devices::TGeraetContext gctxB_;
    std::shared_ptr<resources::TOrdner> ordner_;
    std::unique_ptr<test::DirewolfPair> pair_;
    std::shared_ptr<devices::TGeraetAgwpe> devA_, devB_;
};

TEST_F(AutobinPeer, AFileGoesBothWaysBetweenTheModems) {
    pair_ = std::make_unique<test::DirewolfPair>();
    ASSERT_TRUE(pair_->Ok()) << pair_->Error();
    const std::string a = pair_->CallA(), b = pair_->CallB();
    devA_ = Device(gctx_, *myCalls_, a, pair_->PortA());
    devB_ = Device(gctxB_, *myCallsB_, b, pair_->PortB());
    if (HasFailure()) return;

    std::string ziel = b, mycall = a;
    std::shared_ptr<core::IVerbindung> verbindung;
    std::shared_ptr<core::IKanal> kanal = kanaele_->GetKanal(1);
    ASSERT_EQ(devA_->GetFunkKanaele(33)[0]->Verbinde(ziel, mycall, verbindung, kanal), 0);
    ASSERT_TRUE(Until([&] { return Has(Channel(1), "Verbunden mit " + b); }, 90s)) << Channel(1);
    ASSERT_TRUE(Until([&] { return Has(AllChannels(), "Verbunden mit " + a); }, 90s))
        << AllChannels();
    // Past the station IDs, so that the header is not taken for a greeting.
    ASSERT_TRUE(Until([&] { return verbindung->BinMode() == 5; }, 90s)) << Channel(1);
    // B's end of the link.
    std::shared_ptr<core::IVerbindung> back;
    for (int k = 2; k <= 8 && !back; ++k)
        if (auto v = kanaele_->GetKanal(k)->GetVerbindung(); v && v->Call() == a) back = v;
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
