// A large file cut into split parts by the send pre-processor, sent part by
// part over the loopback link in the order 3, 1, 2, and joined by the
// receiving end's post-processing into the original file.
#include <gtest/gtest.h>

#include <filesystem>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/LoopbackLink.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

using TPostProcess =
    std::function<void(const std::shared_ptr<core::IVerbindung>&, core::IDateiSenden&)>;

struct Protocol {
    const char* name;
    std::int32_t protokoll;
    // Registers the protocol's modules with the post-processing of the test.
    void (*registerModules)(const TPostProcess&, core::IKlaenge*);
    void (*unregisterModules)();
};

void RegisterDidadit(const TPostProcess& postProcess, core::IKlaenge* klaenge) {
    connection::TDidaditContext context;
    context.klaenge = klaenge;
    context.postProcess = postProcess;
    connection::RegisterDidaditModules(context);
}

class SplitLoopback : public test::ChannelFixture, public ::testing::WithParamInterface<Protocol> {
  protected:
    SplitLoopback() {
        ordner_ = std::make_shared<resources::TOrdner>(
            registry_, platform::UserFolders{folder_.Dir(), folder_.Dir(), folder_.Dir()});
        ordner_->SetReceiveFolder((folder_.Dir() / "Empfang").string());
        GetParam().registerModules(
            [o = ordner_](const std::shared_ptr<core::IVerbindung>& connection,
                          core::IDateiSenden& record) {
                connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
            },
            &klaenge_);
        vctx_.dispatcher = &dispatcher_;
        vctx_.config = config_.get();
        vctx_.registry = &registry_;
        vctx_.klaenge = &klaenge_;
        vctx_.versionText = "0.01.000";
        vctx_.runModules = connection::TVerbindungAbstract::RunStandard;
        link_ = test::TLoopbackLink::Create(vctx_, vctx_);
        kanalA_ = MakeKanal(1);
        kanalB_ = MakeKanal(2);
        link_->A().SetPath("DB0BBB");
        link_->A().SetMyCall("DL1AAA");
        link_->B().SetPath("DL1AAA");
        link_->B().SetMyCall("DB0BBB");
        link_->A().SetKanal(kanalA_);
        link_->B().SetKanal(kanalB_);
        link_->Connect();
    }
    ~SplitLoopback() override {
        if (!link_->Down()) {
            link_->Drop();
            Until([&] { return link_->Down(); });
        }
        Until([&] { return !link_->A().WorkerRunning() && !link_->B().WorkerRunning(); });
        link_->Stop();
        link_->A().Release();
        link_->B().Release();
        kanalA_->Release();
        kanalB_->Release();
        GetParam().unregisterModules();
    }
    bool Until(const std::function<bool()>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(60)) {
        return dispatcher_.RunUntil(done, bound);
    }
    bool ShowsB(const std::string& text) {
        return ConsoleText(kanalB_->Console()).find(text) != std::string::npos;
    }

    test::ScopedDataFolder folder_;
    std::shared_ptr<resources::TOrdner> ordner_;
    connection::TVerbindungContext vctx_;
    std::shared_ptr<test::TLoopbackLink> link_;
    std::shared_ptr<channels::TKanal> kanalA_, kanalB_;
};

TEST_P(SplitLoopback, AFileInPartsArrivingThreeOneTwoIsJoinedIdentical) {
    std::string data(5 * 1024 * 1024, '\0');
    std::uint32_t x = 99;
    for (char& c : data) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    const fs::path source = folder_.Dir() / "gross.bin";
    ASSERT_FALSE(platform::WriteFileAtomic(source, data));
    ASSERT_TRUE(Until([&] { return link_->A().BinMode() != 0; }));

    for (const int part : {3, 1, 2}) {
        filesend::TDateiSendenPraeprozessor p;
        p.SetVerbindung(link_->SharedA());
        p.SetFile(source);
        p.SetProtokoll(GetParam().protokoll);
        p.SetPartSize(1800);
        p.SetAllParts(false);
        p.SetPartCount(3);
        p.SetPartSelected(part - 1, true);
        const auto result = p.Run();
        ASSERT_EQ(result.queued, 1) << result.error;
    }
    ASSERT_TRUE(Until([&] { return ShowsB("Empfangene Datei gespeichert"); }))
        << ConsoleText(kanalB_->Console());
    EXPECT_TRUE(ShowsB("Folgende Teile fehlen noch:"));
    const auto joined = platform::ReadFile(ordner_->GetReceiveFolder() / "gross.bin", 8 << 20);
    ASSERT_TRUE(joined);
    EXPECT_TRUE(*joined == data) << "content differs";
    // The parts went after joining, and the sender's part files with their jobs.
    EXPECT_TRUE(Until([&] { return fs::is_empty(filesend::TempFolder()); }));
    for (const auto& entry : fs::directory_iterator(folder_.Incomplete()))
        EXPECT_EQ(entry.path().extension(), ".tvi") << entry.path();
}

const Protocol kProtocols[] = {
    {"Didadit", connection::kDidaditProtocol, RegisterDidadit,
     connection::UnregisterDidaditModules},
};

INSTANTIATE_TEST_SUITE_P(Protocols, SplitLoopback, ::testing::ValuesIn(kProtocols),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo
