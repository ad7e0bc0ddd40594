// "//" lines of a connected station: keyword resolution, permissions, the
// commands' replies, and the folder commands confined to the released folder.
#include "stations/RemoteCommandsU.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "core/GlobalU.h"
#include "core/StreamU.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "resources/TexteU.h"
#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/TempFolder.h"

namespace tarvo::stations {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::string Reply(std::string_view message) {
    return std::string(core::kReplyPrefix) + std::string(message) + "\r";
}

const std::string kDenied = Reply("Zugriff verweigert.");

// A connection whose station database is the real one.
class Connection : public test::FakeModulConnection {
  public:
    std::shared_ptr<core::IStationenDatenbank> db;
    std::atomic<int> disconnects{0};
    std::shared_ptr<core::IStationenDatenbank> StationenDatenbank() const override { return db; }
    void Disconnect() override { ++disconnects; }
};

class RemoteCommandsTest : public ::testing::Test {
  protected:
    RemoteCommandsTest() {
        TStationenDatenbankSetup setup;
        setup.file = StationenDatenbankFile(dir_.path());
        db_ = TStationenDatenbank::Open(setup);
        manager_ = std::make_shared<TRemoteCommandManager>(registry_, [this] { return db_; });
        released_ = dir_ / "Tarvo";
        fs::create_directories(released_);
        connection_ = std::make_shared<Connection>();
        connection_->db = db_;
        connection_->call = "DL1ABC-5";
        Make();
    }
    ~RemoteCommandsTest() override {
        if (commands_) commands_->Detach();
        db_->Close();
    }

    void Make() {
        TRemoteCommandsContext ctx;
        ctx.manager = manager_;
        ctx.texte = &texte_;
        ctx.connections = &connections_;
        ctx.releasedFolder = [this] { return released_; };
        ctx.versionText = "0.01.000";
        ctx.clock = &clock_;
        commands_ = std::make_shared<TRemoteCommands>(connection_, ctx);
    }

    // The replies one line produced, joined.
    std::string Run(std::string_view line) {
        const std::size_t before = connection_->Sent().size();
        commands_->HandleLine(line);
        std::string out;
        const auto sent = connection_->Sent();
        for (std::size_t i = before; i < sent.size(); ++i) out += sent[i].text;
        return out;
    }

    void Enable(std::string_view keyword) { manager_->SetDefaultEnabled(keyword, true); }

    std::vector<std::shared_ptr<core::IDateiSenden>> Jobs() const {
        return connection_->sendQueue->Items();
    }

    static std::string Content(const std::shared_ptr<core::IDateiSenden>& job) {
        std::string out(static_cast<std::size_t>(job->GetSize()), '\0');
        job->GetStream()->ReadBuffer(out.data(), out.size());
        return out;
    }

    TempFolder dir_{"tarvo-remote"};
    platform::FileRegistry registry_;
    std::shared_ptr<TStationenDatenbank> db_;
    std::shared_ptr<TRemoteCommandManager> manager_;
    resources::TTexte texte_{registry_, [this] { return db_; }};
    channels::TConnectionsList connections_;
    platform::FakeClock clock_;
    fs::path released_;
    std::shared_ptr<Connection> connection_;
    std::shared_ptr<TRemoteCommands> commands_;
};

TEST(RemoteCommandTable, KeywordsResolveByTheirShortestStart) {
    platform::FileRegistry registry;
    TRemoteCommandManager m(registry, [] { return nullptr; });
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"R", "read"},  {"RI", "ring"},     {"RT", "rtt"},
        {"D", ""},      {"DI", ""},         {"DIS", "disconnect"},
        {"DIR", "dir"}, {"C", ""},          {"B", ""},
        {"BI", ""},     {"BIN", "binmode"}, {"BINMODEX", ""},
        {"h", "help"},  {"NE", "news"},     {"N", "name"},
        {"", ""},
    };
    for (const auto& [typed, expected] : cases) {
        std::string keyword = typed;
        const int row = m.FindCommand(keyword);
        EXPECT_EQ(row < 0 ? "" : keyword, expected) << typed;
    }
    EXPECT_EQ(m.GetCommandNames(),
              (std::vector<std::string>{"BINmode", "CD", "CStatus", "DIR", "DISconnect", "Echo",
                                        "Help", "Info", "Name", "NEws", "Quit", "Read", "RIng",
                                        "RTt", "SID", "Version"}));
    // Defaults as registered; a stored value is kept on the next start.
    EXPECT_TRUE(m.GetDefaultEnabled("help"));
    EXPECT_FALSE(m.GetDefaultEnabled("READ"));
    m.SetDefaultEnabled("read", true);
    TRemoteCommandManager again(registry, [] { return nullptr; });
    EXPECT_TRUE(again.GetDefaultEnabled("read"));
}

TEST_F(RemoteCommandsTest, LinesThatAreNoCommandsAndUnknownKeywords) {
    EXPECT_EQ(Run("// help\r"), "");
    EXPECT_EQ(Run("///help\r"), "");
    EXPECT_EQ(Run("//\r"), Reply("Ung\xFCltiger Fernsteuerbefehl."));
    EXPECT_EQ(Run("//xyz\r"), Reply("Ung\xFCltiger Fernsteuerbefehl."));
    EXPECT_EQ(Run("//bi\r"), Reply("Ung\xFCltiger Fernsteuerbefehl."));
    for (const char* locked : {"//cd\r", "//cs\r", "//dir\r", "//r x\r"})
        EXPECT_EQ(Run(locked), Reply("Fernsteuerbefehl gesperrt.")) << locked;
    EXPECT_EQ(Run("//v\r"), Reply("Version 0.01.000"));
}

// The exact callsign beats the one without SSID, which beats the global value;
// help splits the commands the same way.
TEST_F(RemoteCommandsTest, PermissionPrecedence) {
    struct Case {
        const char* global;
        const char* base;   // "" no setting
        const char* exact;  // "" no setting
        bool allowed;
    };
    const Case cases[] = {
        {"0", "", "", false},  {"1", "", "", true},   {"0", "1", "", true},
        {"1", "0", "", false}, {"0", "0", "1", true}, {"1", "1", "0", false},
    };
    for (const auto& c : cases) {
        db_->CreateEntry("DL1ABC");
        db_->CreateEntry("DL1ABC-5");
        manager_->SetDefaultEnabled("echo", c.global[0] == '1');
        manager_->ClearStationEnabled("DL1ABC", "echo");
        manager_->ClearStationEnabled("DL1ABC-5", "echo");
        if (*c.base) manager_->SetEnabled("DL1ABC", "echo", c.base[0] == '1');
        if (*c.exact) manager_->SetEnabled("DL1ABC-5", "echo", c.exact[0] == '1');
        const std::string where = std::string(c.global) + c.base + c.exact;
        EXPECT_EQ(Run("//e hi\r"), c.allowed ? "hi\r" : Reply("Fernsteuerbefehl gesperrt."))
            << where;
        const std::string help = Run("//h\r");
        EXPECT_EQ(help.find("  //Echo") != std::string::npos, c.allowed) << where << help;
        EXPECT_EQ(help.find(", Echo,") != std::string::npos, !c.allowed) << where << help;
    }
    bool enabled = false;
    EXPECT_FALSE(manager_->IsEnabled("NOCALL", "echo", enabled));
    EXPECT_TRUE(manager_->IsEnabled("", "echo", enabled));
}

TEST_F(RemoteCommandsTest, HelpListsAvailableAndLocked) {
    const std::string help = Run("//help\r");
    EXPECT_EQ(
        help.rfind(std::string(core::kReplyPrefix) + "Verf\xFCgbare Fernsteuerbefehle:\r\r", 0),
        0u);
    EXPECT_NE(help.find("  //BINmode    - W\xE4hlt ein Bin\xE4r\xFC"
                        "bertragungsprotokoll aus\r"),
              std::string::npos);
    EXPECT_NE(help.find("\r\rGesperrte Fernsteuerbefehle: CD, CStatus, DIR, Read.\r\r"),
              std::string::npos);
}

TEST_F(RemoteCommandsTest, BinmodeArguments) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"//bin\r", "unbekannt"},
        {"//bin d\r", "DIDADIT"},
        {"//bin autobinx\r", "DIDADIT"},
        {"//bin A\r", "AUTOBIN"},
        {"//binmode didadit\r", "DIDADIT"},
        {"//bin x\r", "DIDADIT"},
        {"//bin t\r", "TEXT"},
        {"//bin auto\r", "AUTOBIN"},
    };
    for (const auto& [line, shown] : cases)
        EXPECT_EQ(Run(line), Reply(std::string("\xDC"
                                               "bertragungsprotokoll: ") +
                                   shown))
            << line;
}

TEST_F(RemoteCommandsTest, RttAcrossTheWrapOfTheTickCounter) {
    clock_.SetSteadyMs((std::uint64_t{1} << 32) + 4000);
    // Sent 2.5 s before the 32-bit counter wrapped: 6.5 s, rounded to even.
    const struct {
        std::string argument, reply;
    } cases[] = {
        {"-2500", Reply("Laufzeit: 6 sek.")},
        {"3500", Reply("Laufzeit: 0 sek.")},
        {"2500", Reply("Laufzeit: 2 sek.")},
        {"0", Reply("Fehler.")},
        {"abc", Reply("Fehler.")},
        {"12x", Reply("Fehler.")},
    };
    for (const auto& c : cases) EXPECT_EQ(Run("//rt " + c.argument + "\r"), c.reply) << c.argument;
    clock_.SetSteadyMs(0xFFFFFFFFull);
    EXPECT_EQ(Run("//rtt\r"), "//e //rtt -1\r");
}

TEST_F(RemoteCommandsTest, NameIsStoredAndTheNextGreetingUsesIt) {
    EXPECT_EQ(Run("//n\r"), Reply("Name unbekannt."));
    // Unknown station: the entry is made for the callsign without SSID.
    ASSERT_NE(db_->OpenEntry("DL1ABC"), nullptr);
    EXPECT_EQ(db_->OpenEntry("DL1ABC-5"), nullptr);
    EXPECT_EQ(Run("//name Fritz\r"), Reply("Hallo Fritz."));
    EXPECT_EQ(Run("//n\r"), Reply("Hallo Fritz."));
    EXPECT_EQ(texte_.BuildText(resources::kTextGreeting, connection_.get()), "\rHallo Fritz...\r");
}

// What a station typed comes back without its carets expanded.
TEST_F(RemoteCommandsTest, RepliesNeverExpandCaretsOfTheStation) {
    EXPECT_EQ(Run("//e ^G^M\r"), "^G^M\r");
    Run("//name ^$41\r");
    for (const auto& s : connection_->Sent()) EXPECT_FALSE(s.expand) << s.text;
    EXPECT_EQ(connection_->Sent().back().text, Reply("Hallo ^$41."));
}

TEST_F(RemoteCommandsTest, CStatusListsTheConnections) {
    auto other = std::make_shared<test::FakeModulConnection>();
    other->outgoing = true;
    connections_.Add(connection_);
    connections_.Add(other);
    Enable("cstatus");
    EXPECT_EQ(Run("//cs\r"), Reply("Verbindungs-Status:\r") +
                                 "  DL1XYZ-3  < DL1ABC-5 \r  DL1XYZ-3  > DB0ABC   \r\r");
    connections_.Remove(other.get());
    connections_.Remove(connection_.get());
}

class RemoteFolder : public RemoteCommandsTest {
  protected:
    RemoteFolder() {
        for (const char* k : {"cd", "dir", "read"}) Enable(k);
        TempFolder::Write(released_ / "sub" / "a.txt", "alpha");
        TempFolder::Write(released_ / "sub" / "B.TXT", "beta");
        TempFolder::Write(released_ / "top.txt", "top");
        TempFolder::Write(dir_ / "Tarvo2" / "secret.txt", "secret");
        TempFolder::Write(dir_ / "tarvo" / "secret.txt", "secret");
        TempFolder::Write(dir_ / "x", "secret");
        fs::create_directory_symlink(dir_ / "Tarvo2", released_ / "out");
        fs::create_symlink(dir_ / "Tarvo2" / "secret.txt", released_ / "outfile");
        ::mkfifo((released_ / "fifo").c_str(), 0600);
    }
};

TEST_F(RemoteFolder, TraversalIsRefusedWithOneReply) {
    const std::vector<std::string> arguments = {
        "..",
        "../..",
        "sub/../../x",
        "sub\\..\\..\\x",
        "/etc/passwd",
        "/../x",
        "../tarvo/secret.txt",
        "../Tarvo2/secret.txt",
        "../Tarvo2",
        "out/secret.txt",
        "out",
        "outfile",
        std::string("sub/a.txt\0../../x", 17),
        "sub/a\x01.txt",
        "fifo",
        "missing.txt",
        "SUB/a.txt",
    };
    for (const auto& a : arguments) EXPECT_EQ(Run("//read " + a + "\r"), kDenied) << a;
    EXPECT_TRUE(Jobs().empty());
    // The same climbs for dir, where a folder is what is asked for.
    for (const char* a : {"..", "../..", "out/*", "../Tarvo2", "sub/../..", "/.."})
        EXPECT_EQ(Run(std::string("//dir ") + a + "\r"), kDenied) << a;
    for (const char* a : {"..", "../T*", "out", "/..", "../Tarvo2"}) {
        EXPECT_EQ(Run(std::string("//cd ") + a + "\r"), Reply("Ung\xFCltiger Parameter")) << a;
        EXPECT_EQ(commands_->CurrentFolder(), "") << a;
    }
}

TEST_F(RemoteFolder, ADeviceNodeIsNotRead) {
    released_ = "/dev";
    EXPECT_EQ(Run("//read null\r"), kDenied);
    EXPECT_EQ(Run("//read zero\r"), kDenied);
    EXPECT_TRUE(Jobs().empty());
}

TEST_F(RemoteFolder, TheReleasedFolderMustBeAbsoluteAndExist) {
    for (const fs::path& root : {fs::path("Tarvo"), dir_ / "none", fs::path()}) {
        released_ = root;
        EXPECT_EQ(Run("//dir\r"), kDenied) << root;
        EXPECT_EQ(Run("//read top.txt\r"), kDenied) << root;
        EXPECT_EQ(Run("//cd sub\r"), Reply("Ung\xFCltiger Parameter")) << root;
    }
}

TEST_F(RemoteFolder, CdStoresTheNormalisedFolder) {
    EXPECT_EQ(Run("//cd sub/../sub/./\r"), Reply("Aktueller Ordner: sub\\"));
    EXPECT_EQ(commands_->CurrentFolder(), "sub");
    EXPECT_EQ(Run("//cd\r"), Reply("Aktueller Ordner: sub\\"));
    EXPECT_EQ(Run("//cd ..\r"), Reply("Aktueller Ordner: \\"));
    EXPECT_EQ(Run("//cd S*\r"), Reply("Aktueller Ordner: sub\\"));
    EXPECT_EQ(Run("//cd /\r"), Reply("Aktueller Ordner: \\"));
    EXPECT_EQ(Run("//cd nothing\r"), Reply("Ung\xFCltiger Parameter"));
}

TEST_F(RemoteFolder, DirListsFoldersAndFilesWithWildcardsWithoutCase) {
    const std::string all = Run("//dir\r");
    EXPECT_EQ(all.rfind(Reply("Inhalt von \\*") + "\r", 0), 0u) << all;
    EXPECT_NE(all.find(" <DIR>       sub\\\r"), std::string::npos) << all;
    EXPECT_NE(all.find("           3 top.txt\r"), std::string::npos) << all;
    // Links, the pipe: not listed.
    EXPECT_EQ(all.find("out"), std::string::npos) << all;
    EXPECT_EQ(all.find("fifo"), std::string::npos) << all;
    EXPECT_NE(all.find("         1 Dateien, 3 Bytes\r"), std::string::npos) << all;
    const std::string txt = Run("//dir SUB/*.TXT\r");
    EXPECT_EQ(txt, kDenied);  // the folder itself matches exactly
    const std::string sub = Run("//dir sub/*.TXT\r");
    EXPECT_EQ(sub.rfind(Reply("Inhalt von sub\\*.TXT"), 0), 0u) << sub;
    EXPECT_NE(sub.find(" a.txt\r"), std::string::npos) << sub;
    EXPECT_NE(sub.find(" B.TXT\r"), std::string::npos) << sub;
    EXPECT_NE(sub.find("2 Dateien, 9 Bytes"), std::string::npos) << sub;
}

TEST_F(RemoteFolder, ReadQueuesOneJobPerFileWithTheStationsProtocol) {
    struct Case {
        std::uint8_t binMode;
        std::int32_t protokoll;
    };
    for (const Case c : {Case{0, 2}, Case{2, 2}, Case{5, 5}, Case{1, 1}}) {
        connection_->binMode = c.binMode;
        EXPECT_EQ(Run("//read sub/?.txt\r"), "");
        const auto jobs = Jobs();
        ASSERT_EQ(jobs.size(), 2u);
        std::vector<std::string> contents;
        for (const auto& j : jobs) {
            EXPECT_EQ(j->GetProtokoll(), c.protokoll);
            contents.push_back(Content(j));
            connection_->sendQueue->Remove(j.get());
        }
        std::sort(contents.begin(), contents.end());
        EXPECT_EQ(contents, (std::vector<std::string>{"alpha", "beta"}));
    }
    EXPECT_EQ(Run("//cd sub\r"), Reply("Aktueller Ordner: sub\\"));
    EXPECT_EQ(Run("//r a.txt\r"), "");
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Content(Jobs()[0]), "alpha");
}

TEST_F(RemoteFolder, ListingAndQueueAreCapped) {
    for (int i = 0; i < 1005; ++i)
        TempFolder::Write(released_ / "many" / ("f" + std::to_string(i)), "x");
    const std::string listing = Run("//dir many\r");
    EXPECT_NE(listing.find("1000 Dateien, 1.000 Bytes"), std::string::npos);
    const std::string reply = Run("//read many/*\r");
    EXPECT_EQ(reply, Reply("Zu viele Dateien warten schon."));
    EXPECT_EQ(Jobs().size(), static_cast<std::size_t>(TRemoteCommands::kMaxQueuedJobs));
}

TEST(RemoteCommandPaths, ResolveKeepsInsideAndRefusesControlBytes) {
    const struct {
        const char* current;
        std::string argument;
        std::optional<std::string> joined;
    } cases[] = {
        {"", "a/b", "a\\b"},
        {"a", "b\\c", "a\\b\\c"},
        {"a", "/b", "b"},
        {"a", "..", ""},
        {"a", "../..", std::nullopt},
        {"a\\b", "../../c", "c"},
        {"", "./a//b/.", "a\\b"},
        {"", "a\tb", std::nullopt},
        {"", std::string("a\0b", 3), std::nullopt},
        {"a\x06", "b", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parts = ResolveRemotePath(c.current, c.argument);
        EXPECT_EQ(parts ? std::optional(JoinRemotePath(*parts)) : std::nullopt, c.joined)
            << c.current << " " << c.argument;
    }
}

}  // namespace
}  // namespace tarvo::stations
