// The send pre-processor: placeholders, whole and text jobs, signing, and
// split sets read back the way the receiving side reads them.
#include "filesend/DateiSendenPraeprozessorU.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "connection/BinSplitPartU.h"
#include "connection/CrcU.h"
#include "filesend/DateiSendenQueueU.h"
#include "filesend/DateiSendenU.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/TempFolder.h"

namespace tarvo::filesend {
namespace {

namespace fs = std::filesystem;

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    std::uint32_t x = 12345;
    for (char& c : data) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return data;
}

std::string ReadAll(core::IDateiSenden& job) {
    core::TStream* stream = job.GetStream();
    if (!stream) return "<no stream>";
    stream->SetPosition(0);
    std::string out(static_cast<std::size_t>(stream->GetSize()), '\0');
    stream->ReadBuffer(out.data(), out.size());
    return out;
}

std::vector<std::string> HeaderLines(const std::string& part) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : part.substr(0, part.find('\0'))) {
        if (c != '\n') {
            line += c;
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    lines.push_back(line);
    return lines;
}

class Praeprozessor : public ::testing::Test {
  protected:
    Praeprozessor() {
        connection_->sendQueue = queue_;
        connection_->SetBinMode(kProtokollDidadit);
    }
    ~Praeprozessor() override { core::SetPGPFactory(nullptr); }

    fs::path Write(const std::string& name, const std::string& data) {
        test::TempFolder::Write(folder_.Dir() / name, data);
        return folder_.Dir() / name;
    }
    TPraeprozessorErgebnis Split(const fs::path& file, int kib, std::vector<int> only = {},
                                 TDateiSendenPraeprozessor::TTempFileMaker make = nullptr) {
        TDateiSendenPraeprozessor p;
        p.SetVerbindung(connection_);
        p.SetFile(file);
        p.SetProtokoll(kProtokollDidadit);
        p.SetPartSize(kib);
        p.SetTextBefore("s rubrik@dl #10 %n (%p/%q)\r\n");
        if (!only.empty()) {
            p.SetAllParts(false);
            p.SetPartCount(255);
            for (int part : only) p.SetPartSelected(part - 1, true);
        }
        if (make) p.SetTempFileMaker(std::move(make));
        return p.Run();
    }
    std::vector<std::shared_ptr<core::IDateiSenden>> Jobs() const { return queue_->Items(); }
    std::vector<std::string> SendNames() const {
        std::vector<std::string> out;
        for (const auto& job : Jobs()) out.push_back(job->GetSendName());
        return out;
    }
    static std::vector<fs::path> FilesIn(const fs::path& folder) {
        std::vector<fs::path> out;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            out.push_back(it->path());
        return out;
    }

    test::ScopedDataFolder folder_;
    std::shared_ptr<test::FakeVerbindung> connection_ = std::make_shared<test::FakeVerbindung>();
    std::shared_ptr<TDateiSendenQueue> queue_ = std::make_shared<TDateiSendenQueue>();
};

TEST(Expand, PlaceholdersLineEndsAndTheFinalCr) {
    struct Case {
        std::string text, out;
    } cases[] = {
        // The second built-in template before a file, for part 2 of 5.
        {"s rubrik@dl #10 %n (%p/%q)\r\n", "s rubrik@dl #10 bild.b02 (02/05)\r"},
        {"%o %O|%N|%P %Q", "bild.jpg bild.jpg|bild.b02|02 05\r"},
        {"100%% sicher", "100% sicher\r"},
        {"a%xb%", "ab\r"},
        {"***end", "***end\r"},
        {"zwei\nZeilen\r\n", "zweiZeilen\r"},
        {"", ""},
        {"\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Expand(c.text, "bild.jpg", "bild.b02", 5, 2), c.out);
    }
    EXPECT_EQ(Expand("%p/%q", "x", "x", 200, 100), "100/200\r");
}

TEST(PartFileName, ExtensionReplacedByTheLowerCaseHexNumber) {
    struct Case {
        std::string name;
        int part;
        std::string out;
    } cases[] = {
        {"bild.jpg", 1, "bild.b01"},     {"bild.jpg", 10, "bild.b0a"},
        {"a.tar.gz", 3, "a.tar.b03"},    {"README", 255, "README.bff"},
        {".profile", 2, ".profile.b02"},
    };
    for (const Case& c : cases) EXPECT_EQ(PartFileName(c.name, c.part), c.out);
}

TEST(BinSplitHeader, WrittenHeadersReadBack) {
    const std::string header = connection::MakeBinSplitHeader(10, 12, 1024, 11500, "bild.jpg",
                                                              "20261210203000", "Tarvo 0.01.000");
    EXPECT_EQ(header.substr(0, header.find('\0')),
              ">BS<\n0A\n0C\n1024\n11500\nbild.jpg\n20261210203000\nP\rTarvo 0.01.000\r\n");
    core::TMemoryStream stream(header + std::string(1024, 'x') + std::string(18, '0'));
    connection::TBinSplitPart part(stream);
    ASSERT_TRUE(part.ReadHeader());
    ASSERT_TRUE(part.Parse());
    EXPECT_EQ(part.Part(), 10);
    EXPECT_EQ(part.Parts(), 12);
    EXPECT_EQ(part.PartSize(), 1024);
    EXPECT_EQ(part.FileSize(), 11500);
    EXPECT_EQ(part.FileName(), "bild.jpg");
    EXPECT_EQ(part.DateText(), "20261210203000");
    EXPECT_EQ(part.DataOffset(), static_cast<std::int64_t>(header.size()));
}

TEST_F(Praeprozessor, AFileOfOnePartSizeGoesWholeAndOneByteMoreInTwoParts) {
    const std::string exact = Pattern(1024);
    auto result = Split(Write("exact.bin", exact), 1);
    EXPECT_EQ(result.queued, 1);
    EXPECT_EQ(result.error, "");
    ASSERT_EQ(SendNames(), std::vector<std::string>{"exact.bin"});
    EXPECT_EQ(Jobs()[0]->GetTextBefore(), "s rubrik@dl #10 exact.bin (01/01)\r");
    EXPECT_EQ(ReadAll(*Jobs()[0]), exact);
    queue_->Release();

    queue_ = std::make_shared<TDateiSendenQueue>();
    connection_->sendQueue = queue_;
    const std::string more = Pattern(1025);
    result = Split(Write("more.bin", more), 1);
    EXPECT_EQ(result.queued, 2);
    ASSERT_EQ(SendNames(), (std::vector<std::string>{"more.b01", "more.b02"}));
    EXPECT_EQ(Jobs()[1]->GetTextBefore(), "s rubrik@dl #10 more.b02 (02/02)\r");
    std::string joined;
    std::uint32_t running = connection::kCrc32Start;
    for (const auto& job : Jobs()) {
        EXPECT_EQ(job->GetProtokoll(), kProtokollDidadit);
        const std::string content = ReadAll(*job);
        EXPECT_EQ(job->GetSize(), static_cast<std::int64_t>(content.size()));
        core::TMemoryStream stream(content);
        connection::TBinSplitPart part(stream);
        ASSERT_TRUE(part.ReadHeader());
        ASSERT_TRUE(part.Parse());
        EXPECT_TRUE(part.CheckPartCRC());
        EXPECT_TRUE(part.CheckAccumulatedCRC(running));
        joined += content.substr(static_cast<std::size_t>(part.DataOffset()),
                                 static_cast<std::size_t>(part.DataLength()));
    }
    EXPECT_TRUE(joined == more);
    EXPECT_EQ(HeaderLines(ReadAll(*Jobs()[1]))[3], "1024");
}

TEST_F(Praeprozessor, SelectedPartsCarryTheRunningCrcOfAllBeforeThem) {
    const std::string data = Pattern(3000);
    const auto result = Split(Write("drei.bin", data), 1, {1, 3});
    EXPECT_EQ(result.queued, 2);
    ASSERT_EQ(SendNames(), (std::vector<std::string>{"drei.b01", "drei.b03"}));
    const std::string third = ReadAll(*Jobs()[1]);
    core::TMemoryStream stream(third);
    connection::TBinSplitPart part(stream);
    ASSERT_TRUE(part.ReadHeader() && part.Parse());
    EXPECT_EQ(part.Part(), 3);
    EXPECT_EQ(part.DataLength(), 3000 - 2048);
    EXPECT_TRUE(part.CheckPartCRC());
    const std::size_t end = static_cast<std::size_t>(part.DataOffset() + part.DataLength());
    EXPECT_TRUE(third.substr(static_cast<std::size_t>(part.DataOffset()), 952) ==
                data.substr(2048));
    EXPECT_EQ(third.substr(end, 9), connection::Crc32Hex(connection::Crc32(data)) + "\n");
}

TEST_F(Praeprozessor, PartTenHasAHexExtensionAndUpperCaseHeaderDigits) {
    const auto result = Split(Write("zehn.bin", Pattern(10 * 1024 + 1)), 1, {10});
    EXPECT_EQ(result.queued, 1);
    ASSERT_EQ(SendNames(), std::vector<std::string>{"zehn.b0a"});
    const auto lines = HeaderLines(ReadAll(*Jobs()[0]));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "0A");
    EXPECT_EQ(lines[2], "0B");
    EXPECT_EQ(Jobs()[0]->GetTextBefore(), "s rubrik@dl #10 zehn.b0a (10/11)\r");
}

TEST_F(Praeprozessor, APartWithoutATemporaryFileIsSkippedAndTheNextStaysRight) {
    const std::string data = Pattern(3000);
    const fs::path spare = folder_.Dir() / "spare";
    fs::create_directories(spare);
    int calls = 0;
    const auto result = Split(Write("luecke.bin", data), 1, {}, [&]() -> std::optional<fs::path> {
        if (++calls == 2) return std::nullopt;
        const fs::path made = spare / ("t" + std::to_string(calls));
        test::TempFolder::Write(made, "");
        return made;
    });
    EXPECT_EQ(result.queued, 2);
    EXPECT_NE(result.error.find("Teil 2"), std::string::npos) << result.error;
    ASSERT_EQ(SendNames().size(), 2u);
    EXPECT_EQ(SendNames()[1].substr(SendNames()[1].size() - 4), ".b03");
    const std::string third = ReadAll(*Jobs()[1]);
    core::TMemoryStream stream(third);
    connection::TBinSplitPart part(stream);
    ASSERT_TRUE(part.ReadHeader() && part.Parse());
    EXPECT_TRUE(part.CheckPartCRC());
    EXPECT_TRUE(third.substr(static_cast<std::size_t>(part.DataOffset()), 952) == data.substr(2048))
        << "part 3 holds part 3's bytes";
    EXPECT_NE(third.find(connection::Crc32Hex(connection::Crc32(data)) + "\n"), std::string::npos);
}

TEST_F(Praeprozessor, PartFilesLiveInTheProgramsFolderAndGoWithTheirJobs) {
    ASSERT_EQ(Split(Write("weg.bin", Pattern(2500)), 1).queued, 3);
    EXPECT_EQ(FilesIn(TempFolder()).size(), 3u);
    for (const auto& path : FilesIn(TempFolder()))
        EXPECT_EQ(path.filename().string().rfind("part-", 0), 0u) << path;
    queue_->Release();
    EXPECT_TRUE(FilesIn(TempFolder()).empty());

    // What an earlier run left behind goes at start; other files stay.
    test::TempFolder::Write(TempFolder() / "part-ABC123", "alt");
    test::TempFolder::Write(TempFolder() / "notiz.txt", "bleibt");
    EXPECT_EQ(RemoveOrphanTempFiles(TempFolder()), 1);
    EXPECT_EQ(FilesIn(TempFolder()), std::vector<fs::path>{TempFolder() / "notiz.txt"});
}

TEST_F(Praeprozessor, MoreThan255PartsAreRefusedBeforeAnythingIsWritten) {
    const auto result = Split(Write("gross.bin", Pattern(256 * 1024)), 1);
    EXPECT_EQ(result.queued, 0);
    EXPECT_NE(result.error.find("255"), std::string::npos) << result.error;
    EXPECT_TRUE(FilesIn(TempFolder()).empty());
    // 255 parts are made; the queue takes its bound and the rest is reported.
    const auto full = Split(Write("gerade.bin", Pattern(255 * 1024)), 1);
    EXPECT_EQ(full.queued, static_cast<int>(TDateiSendenQueue::kDefaultBound));
    EXPECT_NE(full.error.find("gerade.b65"), std::string::npos) << full.error;
}

TEST_F(Praeprozessor, TheHeaderNameIsSafeAndTheSizeComesFromTheStream) {
    // A stream whose name names no file: the sizes come from the data itself.
    const std::string data = Pattern(1500);
    TDateiSendenPraeprozessor p;
    p.SetVerbindung(connection_);
    p.SetStream(std::make_unique<core::TMemoryStream>(data));
    p.SetFileName("/nirgends/b\xC3\xB6se\nZeile\r.bin");  // UTF-8, as names on disk are
    p.SetProtokoll(kProtokollAutobin);
    p.SetPartSize(1);
    EXPECT_EQ(p.Run().queued, 2);
    ASSERT_EQ(SendNames(), (std::vector<std::string>{"b\xF6se_Zeile_.b01", "b\xF6se_Zeile_.b02"}));
    const auto lines = HeaderLines(ReadAll(*Jobs()[0]));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[4], "1500");
    EXPECT_EQ(lines[5], "b\xF6se_Zeile_.bin");
    EXPECT_EQ(Jobs()[0]->GetProtokoll(), kProtokollAutobin);
}

class FakePGP final : public core::IPGP {
  public:
    struct Calls {
        std::string fingerprint, passphrase, comment, text;
    };
    explicit FakePGP(std::shared_ptr<Calls> calls, bool fail) : calls_(calls), fail_(fail) {}
    std::string Decode(std::string_view) override { return {}; }
    std::vector<core::TPGPKey> GetPrivateKeys() override { return {}; }
    std::string Sign(std::string_view fingerprint, std::string_view passphrase,
                     std::string_view comment, std::string_view text) override {
        *calls_ = {std::string(fingerprint), std::string(passphrase), std::string(comment),
                   std::string(text)};
        if (fail_) throw std::runtime_error("Falsches Passwort");
        return "-----BEGIN PGP SIGNED MESSAGE-----\r" + std::string(text) + "\rSIG\r";
    }

  private:
    std::shared_ptr<Calls> calls_;
    bool fail_;
};

TEST_F(Praeprozessor, TextJobsSignedOrNotAndAnEmptyTextOrAFailedSignatureSendsNothing) {
    auto calls = std::make_shared<FakePGP::Calls>();
    enum class Pgp { None, Signs, Fails };
    struct Case {
        std::string text;
        bool sign;
        Pgp pgp;
        int queued;
        std::string sent, error;
    } cases[] = {
        {"Hallo Box\r", false, Pgp::None, 1, "Hallo Box\r", ""},
        {"", false, Pgp::None, 0, "", "leer"},
        {"Hallo Box\r", true, Pgp::Signs, 1,
         "-----BEGIN PGP SIGNED MESSAGE-----\rHallo Box\r\rSIG\r", ""},
        {"Hallo Box\r", true, Pgp::Fails, 0, "", "Falsches Passwort"},
        {"Hallo Box\r", true, Pgp::None, 0, "", "PGP nicht installiert"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent + " / " + c.error);
        queue_->Release();
        queue_ = std::make_shared<TDateiSendenQueue>();
        connection_->sendQueue = queue_;
        core::SetPGPFactory(nullptr);
        if (c.pgp != Pgp::None)
            core::SetPGPFactory([calls, fail = c.pgp == Pgp::Fails] {
                return std::make_unique<FakePGP>(calls, fail);
            });
        TDateiSendenPraeprozessor p;
        p.SetVerbindung(connection_);
        p.SetStream(std::make_unique<core::TMemoryStream>(c.text));
        p.SetFileName("???");
        p.SetProtokoll(kProtokollText);
        p.SetSign(c.sign);
        p.SetPGPKey("FINGERPRINT");
        p.SetPGPPassword("geheim");
        p.SetPGPComment("Tarvo");
        p.SetTextBefore("sp dl1aaa");
        p.SetTextAfter("nnnn\n");
        const auto result = p.Run();
        EXPECT_EQ(result.queued, c.queued);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        EXPECT_EQ(result.error.empty(), c.error.empty());
        ASSERT_EQ(Jobs().size(), static_cast<std::size_t>(c.queued));
        if (c.queued == 0) continue;
        EXPECT_EQ(ReadAll(*Jobs()[0]), c.sent);
        EXPECT_EQ(Jobs()[0]->GetProtokoll(), kProtokollText);
        EXPECT_EQ(Jobs()[0]->GetTextBefore(), "sp dl1aaa\r");
        EXPECT_EQ(Jobs()[0]->GetTextAfter(), "nnnn\r");
        if (c.pgp == Pgp::Signs) {
            EXPECT_EQ(calls->text, c.text) << "no zero byte after the text";
            EXPECT_EQ(calls->fingerprint, "FINGERPRINT");
            EXPECT_EQ(calls->passphrase, "geheim");
            EXPECT_EQ(calls->comment, "Tarvo");
        }
    }
}

TEST_F(Praeprozessor, NothingWithoutAConnectionOrItsQueue) {
    const fs::path file = Write("a.bin", "x");
    for (const bool withConnection : {false, true}) {
        TDateiSendenPraeprozessor p;
        auto bare = std::make_shared<test::FakeVerbindung>();
        if (withConnection) p.SetVerbindung(bare);
        p.SetFile(file);
        p.SetProtokoll(kProtokollDidadit);
        const auto result = p.Run();
        EXPECT_EQ(result.queued, 0);
        EXPECT_FALSE(result.error.empty());
    }
}

}  // namespace
}  // namespace tarvo::filesend
