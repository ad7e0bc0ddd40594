#include "app/DemoU.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "platform/Registry.h"
#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace tarvo::app;
using tarvo::platform::Hive;
using tarvo::test::TempFolder;

namespace {

tarvo::platform::GetEnv Env(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

constexpr const char* kDevices = "\\Software\\Morvane\\Tarvo\\Geraete";
constexpr const char* kOwnCall = "\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen\\N0CALL";

}  // namespace

TEST(Demo, KindFromTheArguments) {
    struct Case {
        std::vector<std::string> args;
        std::optional<DemoKind> kind;
    } cases[] = {
        {{"tarvo"}, std::nullopt},
        {{"tarvo", "--home", "x"}, std::nullopt},
        {{"tarvo", "--demo"}, DemoKind::Hostmode},
        {{"tarvo", "--demo", "agwpe"}, DemoKind::Agwpe},
        {{"tarvo", "--demo", "both", "--home", "x"}, DemoKind::Both},
        {{"tarvo", "--demo", "--home", "x"}, DemoKind::Hostmode},
        {{"tarvo", "--home", "x", "--demo", "hostmode"}, DemoKind::Hostmode},
        // argv[0] is never an option.
        {{"--demo"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(DemoFromArgs(c.args), c.kind);
    }
}

TEST(Demo, OwnFolderOnlyWhenNoProfileIsNamed) {
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::string home;  // the "--home" added, or "" for none
    } cases[] = {
        {{"tarvo", "--demo"}, {{"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}}, "/x/tarvo-demo"},
        {{"tarvo", "--demo"}, {{"HOME", "/h"}}, "/h/.local/share/tarvo-demo"},
        {{"tarvo", "--demo"},
         {{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}},
         "/h/.local/share/tarvo-demo"},
        {{"tarvo", "--demo", "--home", "/p"}, {{"HOME", "/h"}}, ""},
        {{"tarvo", "--demo", "--home=/p"}, {{"HOME", "/h"}}, ""},
        {{"tarvo", "--demo"}, {{"TARVO_HOME", "/t"}, {"HOME", "/h"}}, ""},
        {{"tarvo", "--demo"}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + " " + testing::PrintToString(c.env));
        bool added = true;
        const auto args = WithDemoHome(c.args, Env(c.env), &added);
        EXPECT_EQ(added, !c.home.empty());
        auto expected = c.args;
        if (!c.home.empty()) {
            expected.push_back("--home");
            expected.push_back(c.home);
        }
        EXPECT_EQ(args, expected);
    }
}

TEST(Demo, AgwpePortFromTheEnvironmentOnlyWhenValid) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {nullptr, 18000}, {"18123", 18123}, {"1", 1},        {"65535", 65535}, {"0", 18000},
        {"65536", 18000}, {"-5", 18000},    {"12ab", 18000}, {"", 18000},
    };
    for (const auto& [value, port] : cases) {
        SCOPED_TRACE(value ? value : "(unset)");
        std::map<std::string, std::string> env;
        if (value) env["TARVO_AGWPE_PORT"] = value;
        EXPECT_EQ(DemoAgwpePort(Env(env)), port);
    }
}

TEST(Demo, FreshProfileGetsCallsignAndBothDevices) {
    tarvo::platform::FileRegistry r;
    WriteDemoSettings(r, {DemoKind::Both, "/run/tnc", 18001}, true, true);
    EXPECT_EQ(r.ReadDWord(Hive::CurrentUser, kOwnCall, "SSIDs"), 3u);
    const std::string d0 = std::string(kDevices) + "\\0";
    const std::string d1 = std::string(kDevices) + "\\1";
    EXPECT_EQ(r.ReadText(Hive::LocalMachine, d0, ""), "TGeraetHostmodeSerial");
    EXPECT_EQ(r.ReadUtf8(Hive::LocalMachine, d0, "Schnittstelle"), "/run/tnc");
    EXPECT_EQ(r.ReadDWord(Hive::LocalMachine, d0, "Baudrate"), 115200u);
    EXPECT_EQ(r.ReadText(Hive::LocalMachine, d1, ""), "TGeraetAgwpe");
    EXPECT_EQ(r.ReadText(Hive::LocalMachine, d1, "Hostname"), "127.0.0.1");
    EXPECT_EQ(r.ReadDWord(Hive::LocalMachine, d1, "Port"), 18001u);
    EXPECT_EQ(r.SubKeyNames(Hive::LocalMachine, kDevices).size(), 2u);
}

TEST(Demo, ReusedProfileKeepsTheOperatorsChanges) {
    tarvo::platform::FileRegistry r;
    WriteDemoSettings(r, {DemoKind::Both, "/run/tnc", 18000}, true, true);
    r.WriteDWord(Hive::CurrentUser, kOwnCall, "SSIDs", 1);
    r.WriteText(Hive::LocalMachine, std::string(kDevices) + "\\2", "", "TGeraetFlexnet");

    // The demo's own folder: the devices follow the kind asked for.
    WriteDemoSettings(r, {DemoKind::Agwpe, "/run/tnc", 18000}, false, true);
    EXPECT_EQ(r.SubKeyNames(Hive::LocalMachine, kDevices), std::vector<std::string>{"0"});
    EXPECT_EQ(r.ReadText(Hive::LocalMachine, std::string(kDevices) + "\\0", ""), "TGeraetAgwpe");
    EXPECT_EQ(r.ReadDWord(Hive::CurrentUser, kOwnCall, "SSIDs"), 1u);

    // A profile the operator named: left as it is.
    const std::string before = r.Serialize();
    WriteDemoSettings(r, {DemoKind::Hostmode, "/run/tnc", 18000}, false, false);
    EXPECT_EQ(r.Serialize(), before);
}

TEST(Demo, StationDatabaseAnswersSimboxAndIsWrittenOnce) {
    TempFolder data("tarvo-demo-db");
    std::string error;
    ASSERT_TRUE(EnsureDemoStations(data.path(), &error)) << error;
    const fs::path file = tarvo::stations::StationenDatenbankFile(data.path());
    {
        tarvo::stations::TStationenDatenbankSetup setup;
        setup.file = file;
        auto db = tarvo::stations::TStationenDatenbank::Open(std::move(setup));
        auto e = db->OpenStation("SIMBOX");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->GetName(), "Simulierte Mailbox");
        EXPECT_EQ(e->GetPasswort(kDemoCall, 0, 0), kDemoPassword);
        e->SetName("Meine Box");
        ASSERT_TRUE(db->Flush());
    }
    ASSERT_TRUE(EnsureDemoStations(data.path(), &error)) << error;
    tarvo::stations::TStationenDatenbankSetup setup;
    setup.file = file;
    auto db = tarvo::stations::TStationenDatenbank::Open(std::move(setup));
    EXPECT_EQ(db->OpenStation("SIMBOX")->GetName(), "Meine Box");
}

// The real simulator of the build tree: the profile names its port, and it
// ends with the demo.
TEST(Demo, StartsTheTncSimulatorAndEndsIt) {
    TempFolder home("tarvo-demo-home");
    const tarvo::platform::Locations loc{home / "tarvo.reg", home / "data", home / "run"};
    ASSERT_FALSE(tarvo::platform::CreateLocations(loc));
    std::string error;
    auto demo = TDemo::Start({DemoKind::Hostmode, true, TARVO_TOOLS_DIR, 18000}, loc, &error);
    ASSERT_TRUE(demo) << error;
    const fs::path port = home / "run" / "tnc";
    EXPECT_TRUE(fs::is_character_file(port)) << port;
    EXPECT_NE(demo->Description().find(port.string()), std::string::npos);

    std::error_code ec;
    auto settings = tarvo::platform::FileRegistry::Open(loc.settingsFile, ec);
    ASSERT_TRUE(settings) << ec.message();
    EXPECT_EQ(
        settings->ReadUtf8(Hive::LocalMachine, std::string(kDevices) + "\\0", "Schnittstelle"),
        port.string());
    EXPECT_TRUE(fs::exists(tarvo::stations::StationenDatenbankFile(loc.dataDir)));

    demo.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(port))) << "the simulator did not end";
}

// The normal start reports a damaged settings file; the demo must not hide it
// by writing a clean one first.
TEST(Demo, DamagedSettingsAreLeftForTheStartToReport) {
    TempFolder home("tarvo-demo-damaged");
    const tarvo::platform::Locations loc{home / "tarvo.reg", home / "data", home / "run"};
    ASSERT_FALSE(tarvo::platform::CreateLocations(loc));
    const std::string damaged =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
        "\"Raw\"=hex:de,ad,\\\r\n";
    TempFolder::Write(loc.settingsFile, damaged);
    std::string error;
    auto demo = TDemo::Start({DemoKind::Hostmode, true, TARVO_TOOLS_DIR, 18000}, loc, &error);
    ASSERT_TRUE(demo) << error;
    demo.reset();
    EXPECT_EQ(TempFolder::Read(loc.settingsFile), damaged);
    std::error_code ec;
    auto settings = tarvo::platform::FileRegistry::Open(loc.settingsFile, ec);
    ASSERT_TRUE(settings) << ec.message();
    EXPECT_FALSE(settings->LoadProblems().empty());
}

TEST(Demo, MissingSimulatorIsReportedAndNothingRuns) {
    TempFolder home("tarvo-demo-none");
    const tarvo::platform::Locations loc{home / "tarvo.reg", home / "data", home / "run"};
    ASSERT_FALSE(tarvo::platform::CreateLocations(loc));
    std::string error;
    EXPECT_FALSE(TDemo::Start({DemoKind::Agwpe, true, home.path(), 18000}, loc, &error));
    EXPECT_NE(error.find("agwpe-sim not found"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(loc.settingsFile));
}
