// Received files: plain files into the receive folder, split sets joined there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "connection/BinSplitPartU.h"
#include "connection/CrcU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/FileStreamQamU.h"
#include "core/GlobalU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Registry.h"
#include "resources/OrdnerU.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/SplitParts.h"
#include "tests/support/TempFolder.h"

namespace tarvo::connection {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using ::testing::HasSubstr;

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

class Postprozessor : public ::testing::Test {
  protected:
    void SetUp() override {
        core::SetApplicationDataFolder(tmp_ / "data");
        fs::create_directories(incomplete_);
        ordner_->SetReceiveFolder((tmp_ / "recv").string());
    }

    // The file lands in "Incomplete Files" under diskName, as a receiver leaves
    // it, and is handed over; the prompt shown is returned.
    std::string Receive(const std::string& diskName, const std::string& content,
                        const std::string& sendName = "x") {
        const fs::path p = incomplete_ / diskName;
        TempFolder::Write(p, content);
        auto job = filesend::TDateiSenden::Create(connection_);
        auto stream = std::make_unique<TFileStreamQam>(p, TFileStreamQam::kModeReadWrite);
        stream->Open();
        stream->SetDeleteFlag(true);
        job->SetStream(std::move(stream));
        job->SetSendName(sendName);
        const std::size_t before = connection_->Prompts().size();
        TDateiEmpfangenPostprozessor(connection_, ordner_).Execute(*job);
        const auto prompts = connection_->Prompts();
        EXPECT_EQ(prompts.size(), before + 1);
        if (prompts.size() != before + 1) return {};
        EXPECT_EQ(prompts.back().kind, 3);
        return prompts.back().text;
    }

    std::vector<std::string> Names(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder tmp_{"tarvo-post"};
    fs::path incomplete_ = tmp_ / "data" / "Incomplete Files";
    fs::path recv_ = tmp_ / "recv";
    platform::FileRegistry registry_;
    std::shared_ptr<resources::TOrdner> ordner_ = std::make_shared<resources::TOrdner>(
        registry_, platform::UserFolders{tmp_ / "home", {}, {}});
    std::shared_ptr<test::FakeModulConnection> connection_ =
        std::make_shared<test::FakeModulConnection>();
};

TEST_F(Postprozessor, PlainFileMovesWithoutReplacingAndUnderASafeName) {
    struct Case {
        std::string sendName, stored;
    } cases[] = {
        {"report.txt", "report.txt"},
        {"report.txt", "report (1).txt"},
        {"..\\..\\etc\\passwd", "passwd"},
        {"../../x.bin", "x.bin"},
        {"..", "noname"},
        {"", "noname (1)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sendName);
        const std::string content = "content " + std::to_string(n);
        const std::string disk = "F" + std::to_string(n++) + ".tvf";
        const std::string prompt = Receive(disk, content, c.sendName);
        EXPECT_EQ(prompt, "Empfangene Datei gespeichert:\r" + (recv_ / c.stored).string());
        EXPECT_EQ(TempFolder::Read(recv_ / c.stored), content);
        EXPECT_FALSE(fs::exists(incomplete_ / disk));
    }
}

TEST_F(Postprozessor, StoredFileSurvivesTheRecordsDeleteFlag) {
    // The record is destroyed after the hand-over; its temporary-file flag must
    // not take the stored file with it.
    Receive("A.tvf", "keep me", "keep.txt");
    EXPECT_EQ(TempFolder::Read(recv_ / "keep.txt"), "keep me");
}

TEST_F(Postprozessor, PartsArriving3Then1Then2AreJoined) {
    const std::string data = Pattern(2500);
    const auto parts = test::MakeSplitParts(data, {});
    ASSERT_EQ(parts.size(), 3u);

    EXPECT_EQ(Receive("P3.tvf", parts[2]),
              "Teil 3 von data.bin empfangen.\r"
              "Folgende Teile fehlen noch:\rdez: 1..2\rhex: 01..02\r");
    EXPECT_EQ(Receive("P1.tvf", parts[0]),
              "Teil 1 von data.bin empfangen.\r"
              "Folgende Teile fehlen noch:\rdez: 2\rhex: 02\r");
    EXPECT_EQ(Receive("P2.tvf", parts[1]),
              "Teil 2 von data.bin empfangen.\r"
              "Alle Teile verf\xFC"
              "gbar. Kombiniere...\r\r"
              "Empfangene Datei gespeichert:\r" +
                  (recv_ / "data.bin").string() + "\r");
    EXPECT_EQ(TempFolder::Read(recv_ / "data.bin"), data);
    EXPECT_TRUE(Names(incomplete_).empty());
}

TEST_F(Postprozessor, MissingPartListsRunsInDecimalAndHex) {
    const auto parts = test::MakeSplitParts(Pattern(8 * 100), {.partSize = 100});
    ASSERT_EQ(parts.size(), 8u);
    Receive("P1.tvf", parts[0]);
    Receive("P5.tvf", parts[4]);
    EXPECT_THAT(Receive("P6.tvf", parts[5]), HasSubstr("dez: 2..4, 7..8\rhex: 02..04, 07..08\r"));
}

TEST_F(Postprozessor, DamagedPartIsReportedBeforeAnyJoin) {
    const auto parts = test::MakeSplitParts(Pattern(2500), {});
    Receive("P1.tvf", parts[0]);
    Receive("P3.tvf", parts[2]);
    std::string damaged = parts[1];
    damaged[damaged.find('\0') + 5 + 10] ^= 0x20;
    EXPECT_EQ(Receive("P2.tvf", damaged), "CRC-Fehler:\rdata.bin, Teil 2 von 3\r");
    EXPECT_FALSE(fs::exists(recv_ / "data.bin"));
    EXPECT_EQ(Names(incomplete_).size(), 3u);  // nothing of the set is lost
}

TEST_F(Postprozessor, OnlyMatchingSoundFinishedCopiesAreJoined) {
    const std::string data = Pattern(2500);
    const auto parts = test::MakeSplitParts(data, {});
    // Another set of the same name: a different date.
    const auto other = test::MakeSplitParts(Pattern(2500), {.date = "20250101000000"});
    TempFolder::Write(incomplete_ / "A0.tvf", other[1]);
    // A copy of part 2 still being received (its index is beside it).
    TempFolder::Write(incomplete_ / "A1.tvf", parts[1].substr(0, 300));
    TempFolder::Write(incomplete_ / "A1.tvi", "[Ranges]\r\n");
    // A damaged copy found before the sound one.
    std::string damaged = parts[1];
    damaged[damaged.size() - 40] ^= 1;
    TempFolder::Write(incomplete_ / "A2.tvf", damaged);
    TempFolder::Write(incomplete_ / "A3.tvf", parts[1]);

    Receive("P1.tvf", parts[0]);
    EXPECT_THAT(Receive("P3.tvf", parts[2]), HasSubstr("Empfangene Datei gespeichert:"));
    EXPECT_EQ(TempFolder::Read(recv_ / "data.bin"), data);
    EXPECT_EQ(Names(incomplete_),
              (std::vector<std::string>{"A0.tvf", "A1.tvf", "A1.tvi", "A2.tvf"}));
}

TEST_F(Postprozessor, AccumulatedCrcMismatchKeepsTheParts) {
    // Two parts, each sound on its own, from different files of one name and date.
    const auto a = test::MakeSplitParts(Pattern(2000), {});
    const auto b = test::MakeSplitParts(std::string(2000, 'b'), {});
    Receive("P1.tvf", a[0]);
    EXPECT_THAT(Receive("P2.tvf", b[1]), HasSubstr("Fehler im akkumulierten CRC von Teil 2.\r"));
    EXPECT_FALSE(fs::exists(recv_ / "data.bin"));
    EXPECT_EQ(Names(incomplete_).size(), 2u);
}

TEST_F(Postprozessor, JoinedNameIsMadeSafeAndFree) {
    const std::string data = Pattern(1500);
    TempFolder::Write(recv_ / "evil.bin", "older file");
    const auto parts = test::MakeSplitParts(data, {.fileName = "../../evil.bin"});
    Receive("P1.tvf", parts[0]);
    Receive("P2.tvf", parts[1]);
    EXPECT_EQ(TempFolder::Read(recv_ / "evil.bin"), "older file");
    EXPECT_EQ(TempFolder::Read(recv_ / "evil (1).bin"), data);
    EXPECT_FALSE(fs::exists(tmp_ / "evil.bin"));
}

// --- Hostile headers ------------------------------------------------------------

struct HeaderCase {
    const char* what;
    std::string part;
    bool headerOk;
    bool parseOk;
};

std::string Header(const std::string& part, const std::string& parts, const std::string& partSize,
                   const std::string& fileSize) {
    return ">BS<\n" + part + "\n" + parts + "\n" + partSize + "\n" + fileSize +
           "\nname.bin\n20261210000000\nP\r";
}

TEST(BinSplitPart, HostileHeadersAreRefused) {
    const std::string data(100, 'd');
    const std::string good = test::MakeSplitPart(Header("01", "01", "100", "100"), data);
    std::string badHeaderCrc = good;
    badHeaderCrc[badHeaderCrc.find('\0') + 1] ^= 1;
    const HeaderCase cases[] = {
        {"sound", good, true, true},
        {"no zero byte in 4 KiB", ">BS<\n" + std::string(5000, 'a'), false, false},
        {"zero just past 4 KiB",
         test::MakeSplitPart(Header("01", "01", "100", "100") + std::string(4100, 'x'), data),
         false, false},
        {"header CRC wrong", badHeaderCrc, false, false},
        {"header CRC cut off", good.substr(0, good.find('\0') + 3), false, false},
        {"wrong magic", test::MakeSplitPart(">BX<\n01\n01\n100\n100\nn\nd\n", data), true, false},
        {"too few lines", test::MakeSplitPart(">BS<\n01\n01\n100\n", data), true, false},
        {"part 0", test::MakeSplitPart(Header("00", "01", "100", "100"), data), true, false},
        {"part above parts", test::MakeSplitPart(Header("03", "02", "100", "150"), data), true,
         false},
        {"256 parts", test::MakeSplitPart(Header("01", "100", "1", "256"), data), true, false},
        {"part size 0", test::MakeSplitPart(Header("01", "01", "0", "100"), data), true, false},
        {"file size 0", test::MakeSplitPart(Header("01", "01", "100", "0"), data), true, false},
        {"parts disagree with sizes", test::MakeSplitPart(Header("01", "02", "100", "100"), data),
         true, false},
        {"negative size", test::MakeSplitPart(Header("01", "01", "-1", "100"), data), true, false},
        {"number too long",
         test::MakeSplitPart(Header("01", "01", "100", "99999999999999999999999"), data), true,
         false},
        {"blank in number", test::MakeSplitPart(Header("01", "01", " 100", "100"), data), true,
         false},
        {"data shorter than said",
         test::MakeSplitPart(Header("01", "01", "100", "100"), data.substr(0, 50)), true, false},
        {"huge part size",
         test::MakeSplitPart(Header("01", "01", "999999999999", "999999999999"), data), true,
         false},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        core::TMemoryStream stream(c.part);
        TBinSplitPart part(stream);
        EXPECT_EQ(part.ReadHeader(), c.headerOk);
        EXPECT_EQ(part.Parse(), c.parseOk);
        if (!c.parseOk) {
            EXPECT_LT(part.Parts(), 256);
        }
    }
}

TEST(BinSplitPart, LastPartCarriesTheRest) {
    const std::string data = Pattern(2345);
    const auto parts = test::MakeSplitParts(data, {});
    std::string joined;
    std::uint32_t running = kCrc32Start;
    for (const std::string& p : parts) {
        core::TMemoryStream stream(p);
        TBinSplitPart part(stream);
        ASSERT_TRUE(part.ReadHeader());
        ASSERT_TRUE(part.Parse());
        EXPECT_TRUE(part.CheckPartCRC());
        EXPECT_TRUE(part.CheckAccumulatedCRC(running));
        core::TMemoryStream out;
        part.CopyData(out);
        joined += out.Data();
    }
    EXPECT_EQ(joined, data);
}

}  // namespace
}  // namespace tarvo::connection
