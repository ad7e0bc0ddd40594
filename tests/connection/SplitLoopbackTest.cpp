// A large file cut into split parts by the send pre-processor, sent part by
// part over the loopback link in the order 3, 1, 2, and joined by the
// receiving end's post-processing into the original file.
#include <gtest/gtest.h>

#include <filesystem>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/support/TransferLoopback.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

struct Protocol {
    const char* name;
    std::int32_t protokoll;
};

class SplitLoopback : public test::TransferLoopback,
                      public ::testing::WithParamInterface<Protocol> {
  protected:
    SplitLoopback() {
        if (GetParam().protokoll == connection::kDidaditProtocol)
            RegisterDidadit();
        else
            RegisterAutobin();
        StartLink();
    }
    bool ShowsB(const std::string& text) { return Shows(*kanalB_, text); }
};

TEST_P(SplitLoopback, AFileInPartsArrivingThreeOneTwoIsJoinedIdentical) {
    const std::string data = test::Pattern(5 * 1024 * 1024, 99);
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
    {"Didadit", connection::kDidaditProtocol},
    {"Autobin", connection::kAutobinProtocol},
};

INSTANTIATE_TEST_SUITE_P(Protocols, SplitLoopback, ::testing::ValuesIn(kProtocols),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo
