// Capturing 7Plus parts and GoText files from the text stream: the names they
// are stored under, what goes into the file, how a capture ends, and that a
// hostile name or a planted link never leads out of the receive folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "connection/Verbindung7PlusReceiveU.h"
#include "connection/VerbindungDidaditU.h"
#include "connection/VerbindungGoTextReceiveU.h"
#include "connection/VerbindungStandardU.h"
#include "platform/FileHandle.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/RecordingKlaenge.h"
#include "tests/support/TempFolder.h"

namespace tarvo::connection {
namespace {

namespace fs = std::filesystem;
using test::FakeModulConnection;
using test::TempFolder;

// " go_7+. PPP of CCC NAME________ SSSSSSS HHHH ..." in the columns a sender uses.
std::string SevenPlusStart(const std::string& part, const std::string& count,
                           const std::string& name, const std::string& hex = "0500") {
    std::string name12 = name.substr(0, 12);
    name12.resize(12, ' ');
    return " go_7+. " + part + " of " + count + " " + name12 + " 0012345 " + hex + " 080\r";
}

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename());
    return names;
}

class Capture : public ::testing::Test {
  protected:
    Capture() {
        context.klaenge = &sounds;
        context.receiveFolder = [this] { return receive; };
        context.recycle = [this](const fs::path& p) {
            recycled.push_back(p);
            std::error_code ec;
            fs::rename(p, temp / "trash" / p.filename(), ec);
            return !ec;
        };
        fs::create_directories(temp / "trash");
    }
    template <class TModule>
    std::shared_ptr<TModule> Start(const std::string& header) {
        fake = std::make_shared<FakeModulConnection>();
        fake->receiveQueue.PushString(header);
        auto module = TVerbindungAbstract::Create<TModule>(nullptr, fake, context);
        fake->SetModul(module);
        return module;
    }
    void Receive(TVerbindungCapture& module, const std::vector<std::string>& items) {
        for (const std::string& item : items) {
            fake->receiveQueue.PushString(item);
            module.OnReceive();
        }
    }
    // The module has ended (or is ended by the link): its loop reports it.
    static void End(TVerbindungAbstract& module) {
        module.EventLoop();
        module.Close();
    }
    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const auto& s : fake->Sent()) texts.push_back(s.text);
        return texts;
    }

    TempFolder temp{"tarvo-capture"};
    fs::path receive = temp / "Empfang";
    test::RecordingKlaenge sounds;
    TTextTransferContext context;
    std::vector<fs::path> recycled;
    std::shared_ptr<FakeModulConnection> fake;
};

TEST(SevenPlusName, FromTheStartLineColumns) {
    struct Case {
        std::string line;
        const char* stored;
    };
    const Case cases[] = {
        {SevenPlusStart("003", "012", "TEST.EXE"), "TEST.p03"},
        {SevenPlusStart("001", "001", "TEST.EXE"), "TEST.7pl"},
        {SevenPlusStart("010", "012", "TEST.EXE"), "TEST.p0A"},
        {SevenPlusStart("200", "210", "TEST.EXE"), "TEST.pC8"},
        {SevenPlusStart("003", "???", "TEST.EXE"), "TEST.p03"},  // unreadable count
        {SevenPlusStart("002", "003", "NOEXT"), "NOEXT.p02"},
        {SevenPlusStart("001", "001", "..\\..\\EV.EXE"), "EV.7pl"},
        {SevenPlusStart("001", "002", "../.profile"), "profile.p01"},
        {SevenPlusStart("001", "002", ""), "DB0ABC.p01"},
        {SevenPlusStart("001", "002", ".."), "DB0ABC.p01"},
        {" go_7+. 00", "DB0ABC.p00"},  // cut short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SevenPlusFileName(Parse7PlusHeader(c.line), "DB0ABC"), c.stored);
    }
    const T7PlusHeader header = Parse7PlusHeader(SevenPlusStart("003", "012", "TEST.EXE", "0500"));
    EXPECT_EQ(header.part, 3);
    EXPECT_EQ(header.count, 12);
    EXPECT_EQ(header.name, "TEST.EXE");
    EXPECT_EQ(header.lines, 0x500 / 64);
}

TEST_F(Capture, ASevenPlusPartIsStoredFromStartToStopLine) {
    const std::string start = SevenPlusStart("003", "012", "TEST.EXE");
    auto module = Start<TVerbindung7PlusReceive>(start);
    EXPECT_TRUE(module->Active());
    ASSERT_EQ(module->Target(), receive / "TEST.p03");
    EXPECT_EQ(fake->DateiSenden()->GetSize(), 0x500 / 64);
    Receive(*module, {"\nLINE ONE 7PLUS\r", "LINE TWO ", "CONTINUED\r", " stop_7+. (TEST.p03/0C)\r",
                      "after the part\r"});
    End(*module);
    EXPECT_EQ(TempFolder::Read(receive / "TEST.p03"),
              start.substr(0, start.size() - 1) +
                  "\r\nLINE ONE 7PLUS\r\nLINE TWO CONTINUED\r\n stop_7+. (TEST.p03/0C)\r\n");
    EXPECT_EQ(module->LinesReceived(), 2);
    // The text after the stop line is left for the terminal text module.
    EXPECT_EQ(fake->receiveQueue.PeekString(), "after the part\r");
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"\r<Tarvo>: 7Plus-Empfang ok.\r"}));
    const auto prompts = fake->Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Empfangene Datei gespeichert:\r" + (receive / "TEST.p03").string());
    EXPECT_EQ(fake->ShownText(), " stop_7+. (TEST.p03/0C)\r");
    EXPECT_EQ(sounds.Events(), (std::vector<int>{kSoundTransferStart, kSoundTransferSuccess}));
    EXPECT_EQ(fake->DateiSenden(), nullptr);
    EXPECT_TRUE(recycled.empty());
}

TEST_F(Capture, ASevenPlusCaptureEndsAtAnEmptyOrAStarLine) {
    for (const std::string end : {"\r", "*** end\r"}) {
        auto module = Start<TVerbindung7PlusReceive>(SevenPlusStart("001", "001", "A.B"));
        fake->stationType = core::kStationMailbox;
        Receive(*module, {"DATA\r", end, "next\r"});
        End(*module);
        const fs::path stored = module->Target();
        EXPECT_TRUE(TempFolder::Read(stored).ends_with("DATA\r\n" + end + "\n"));
        // A mailbox is not answered.
        EXPECT_TRUE(SentTexts().empty());
        EXPECT_EQ(fake->receiveQueue.PeekString(), "next\r");
    }
    // The same part twice: the second gets a name of its own.
    EXPECT_EQ(Entries(receive), (std::set<std::string>{"A.7pl", "A (1).7pl"}));
}

TEST_F(Capture, APartialCaptureGoesToTheTrash) {
    struct Case {
        const char* how;
        int sound;
    };
    for (const Case c : {Case{"link", -1}, Case{"operator", kSoundTransferCancelled}}) {
        SCOPED_TRACE(c.how);
        recycled.clear();
        auto module = Start<TVerbindung7PlusReceive>(SevenPlusStart("002", "005", "PART.ZIP"));
        const fs::path stored = module->Target();
        Receive(*module, {"SOME LINE\r", "HALF A LI"});
        if (std::string(c.how) == "link")
            fake->endEvent.Set();
        else
            fake->CancelTransfer();
        End(*module);
        EXPECT_EQ(recycled, std::vector<fs::path>{stored});
        EXPECT_TRUE(Entries(receive).empty());
        const auto prompts = fake->Prompts();
        ASSERT_FALSE(prompts.empty());
        EXPECT_EQ(prompts.back().text, "Empfangene Datei NICHT gespeichert.\r");
        EXPECT_TRUE(SentTexts().empty());
        if (c.sound >= 0) {
            EXPECT_EQ(sounds.Events().back(), c.sound);
        }
    }
}

TEST_F(Capture, ALineWithoutEndIsCappedAndStillStored) {
    auto module = Start<TVerbindungGoTextReceive>(" go_text. long.txt\r");
    const std::string chunk(1000, 'x');
    std::string sent;
    for (int i = 0; i < 100; ++i) {
        Receive(*module, {chunk});
        sent += chunk;
        ASSERT_LT(module->LineBufferSize(), kMaxCaptureLine);
    }
    // A stop word inside the long line is no stop line.
    Receive(*module, {" stop_text.\r", " stop_text.\r"});
    End(*module);
    EXPECT_EQ(TempFolder::Read(receive / "long.txt"), sent + " stop_text.\r\n");
}

TEST_F(Capture, AGoTextFileIsShownAndStoredWithoutItsStopLine) {
    auto module = Start<TVerbindungGoTextReceive>(" go_text. Readme.TXT\r");
    Receive(*module, {"Hallo\r", "\nZweite Zeile\r", "\r", " stop_text. Readme.TXT\r"});
    End(*module);
    EXPECT_EQ(TempFolder::Read(receive / "Readme.TXT"), "Hallo\r\nZweite Zeile\r\n\r\n");
    EXPECT_EQ(fake->ShownText(), "Hallo\r\nZweite Zeile\r\r stop_text. Readme.TXT\r");
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"\r<Tarvo>: GoText-Empfang ok.\r"}));
}

TEST_F(Capture, CorrectionAndErrorFilesAreNotShownLineByLine) {
    for (const char* header : {" go_info. test.cor\r", " go_text. TEST.ERR\r"}) {
        SCOPED_TRACE(header);
        auto module = Start<TVerbindungGoTextReceive>(header);
        Receive(*module, {"CORRECTION DATA\r", " stop_info.\r"});
        End(*module);
        // Only the stop line is shown.
        EXPECT_EQ(fake->ShownText(), " stop_info.\r");
        EXPECT_EQ(TempFolder::Read(module->Target()), "CORRECTION DATA\r\n");
    }
}

TEST_F(Capture, HostileNamesLandInTheReceiveFolderAsHarmlessNames) {
    struct Case {
        const char* header;
        const char* stored;
    };
    const Case cases[] = {
        {" go_text. ../../.config/autostart/x.desktop\r", "x.desktop"},
        {" go_text. ..\\..\\evil.txt\r", "evil.txt"},
        {" go_text. /etc/passwd\r", "passwd"},
        {" go_text. C:\\AUTOEXEC.BAT\r", "AUTOEXEC.BAT"},
        {" go_text. .bash_profile\r", "bash_profile"},
        {" go_info. a\x01\x1b[2Jb.txt\r", "a[2Jb.txt"},
        {" go_text. ..\r", "DB0ABC.txt"},
        {" go_text. \r", "DB0ABC.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        auto module = Start<TVerbindungGoTextReceive>(c.header);
        Receive(*module, {"text\r", " stop_text.\r"});
        End(*module);
        EXPECT_EQ(module->Target(), receive / c.stored);
        EXPECT_EQ(TempFolder::Read(receive / c.stored), "text\r\n");
        fs::remove(receive / c.stored);
    }
    // Nothing was written anywhere but the receive folder.
    EXPECT_EQ(Entries(temp.path()), (std::set<std::string>{"Empfang", "trash"}));
}

TEST_F(Capture, APlantedLinkIsNeverFollowed) {
    fs::create_directories(receive);
    const fs::path victim = temp / "victim";
    TempFolder::Write(victim, "precious");
    fs::create_symlink(victim, receive / "TEST.p03");
    fs::create_symlink(temp / "nowhere", receive / "TEST (1).p03");
    auto module = Start<TVerbindung7PlusReceive>(SevenPlusStart("003", "012", "TEST.EXE"));
    Receive(*module, {"LINE\r", " stop_7+.\r"});
    End(*module);
    EXPECT_EQ(module->Target(), receive / "TEST (2).p03");
    EXPECT_EQ(TempFolder::Read(victim), "precious");
    EXPECT_FALSE(fs::exists(temp / "nowhere"));

    // Creating a new file refuses any entry of the name, a dangling link too.
    platform::FileHandle file;
    EXPECT_EQ(file.Open(receive / "TEST (1).p03", platform::FileHandle::Access::CreateNew),
              std::errc::file_exists);
    EXPECT_EQ(file.Open(receive / "TEST.p03", platform::FileHandle::Access::CreateNew),
              std::errc::file_exists);
}

TEST_F(Capture, WithoutAReceiveFolderNothingIsStoredAndTheOperatorIsTold) {
    context.receiveFolder = nullptr;
    auto module = Start<TVerbindung7PlusReceive>(SevenPlusStart("001", "001", "X.Y"));
    End(*module);
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"\r<Tarvo>: 7Plus-Empfang Fehler.\r"}));
    ASSERT_EQ(fake->Prompts().size(), 1u);
    EXPECT_EQ(fake->Prompts()[0].text, "Empfangene Datei NICHT gespeichert.\r");
}

TEST_F(Capture, TheTextModuleStartsItAndGoesOnAfterTheStopLine) {
    ClearModuleRegistry();
    RegisterTextModules(context);
    fake = std::make_shared<FakeModulConnection>();
    auto text = TVerbindungAbstract::Create<TVerbindungStandard>(nullptr, fake);
    for (const char* item :
         {"Here it comes\r", " go_text. note.txt\r", "the note\r", " stop_text.\r", "de DB0ABC>\r"})
        fake->receiveQueue.PushString(item);
    text->OnReceive();
    EXPECT_EQ(TempFolder::Read(receive / "note.txt"), "the note\r\n");
    EXPECT_TRUE(fake->ShownText().ends_with("de DB0ABC>\r"));
    EXPECT_EQ(fake->ModuleNames().back(), "TVerbindungStandard");
    EXPECT_FALSE(fake->transferActive);
    text->Close();
    UnregisterTextModules();
}

}  // namespace
}  // namespace tarvo::connection
