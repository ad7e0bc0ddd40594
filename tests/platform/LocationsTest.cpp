#include "platform/Locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace tarvo::platform;

namespace {
GetEnv Env(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}
}  // namespace

TEST(Locations, HomeOptionBeatsTarvoHomeBeatsXdg) {
    const auto env = Env(
        {{"TARVO_HOME", "/env/home"}, {"XDG_CONFIG_HOME", "/xdg/config"}, {"HOME", "/home/op"}});
    std::string error;
    auto loc = ResolveLocations({"tarvo", "--home", "/opt/t"}, env, &error);
    ASSERT_TRUE(loc) << error;
    EXPECT_EQ(loc->settingsFile, fs::path("/opt/t/tarvo.reg"));
    EXPECT_EQ(loc->dataDir, fs::path("/opt/t/data"));
    EXPECT_EQ(loc->runtimeDir, fs::path("/opt/t/run"));
    EXPECT_EQ(ResolveLocations({"tarvo", "--home=/opt/u"}, env, &error)->dataDir,
              fs::path("/opt/u/data"));
    EXPECT_EQ(ResolveLocations({"tarvo"}, env, &error)->settingsFile,
              fs::path("/env/home/tarvo.reg"));
}

TEST(Locations, XdgFoldersWithTheirDefaults) {
    std::string error;
    auto loc = ResolveLocations({"tarvo"},
                                Env({{"HOME", "/home/op"},
                                     {"XDG_CONFIG_HOME", "relative/ignored"},
                                     {"XDG_DATA_HOME", "/data"},
                                     {"XDG_RUNTIME_DIR", "/run/user/1000"}}),
                                &error);
    ASSERT_TRUE(loc) << error;
    EXPECT_EQ(loc->settingsFile, fs::path("/home/op/.config/tarvo/tarvo.reg"));
    EXPECT_EQ(loc->dataDir, fs::path("/data/tarvo"));
    EXPECT_EQ(loc->runtimeDir, fs::path("/run/user/1000/tarvo"));

    // A relative HOME counts as none (the password database answers instead):
    // the result must never depend on the current folder.
    loc = ResolveLocations({"tarvo"}, Env({{"HOME", "op"}, {"XDG_RUNTIME_DIR", "/run/u"}}), &error);
    ASSERT_TRUE(loc) << error;
    EXPECT_TRUE(loc->settingsFile.is_absolute()) << loc->settingsFile;
    EXPECT_TRUE(loc->dataDir.is_absolute()) << loc->dataDir;
}

TEST(Locations, WithoutARuntimeFolderAPrivateOneInTheTemporaryFolder) {
    const fs::path tmp = fs::temp_directory_path() / ("tarvo-loc-" + std::to_string(::getpid()));
    fs::remove_all(tmp);
    fs::create_directories(tmp);
    const auto env = Env({{"HOME", "/home/op"}, {"TMPDIR", tmp.string()}});
    std::string error;
    auto loc = ResolveLocations({"tarvo"}, env, &error);
    ASSERT_TRUE(loc) << error;
    const fs::path expected = tmp / ("tarvo-" + std::to_string(::getuid()));
    EXPECT_EQ(loc->runtimeDir, expected);

    // Somebody made it readable for others: refused.
    fs::create_directory(expected);
    ::chmod(expected.c_str(), 0755);
    EXPECT_FALSE(ResolveLocations({"tarvo"}, env, &error));
    EXPECT_NE(error.find("private"), std::string::npos);
    ::chmod(expected.c_str(), 0700);
    EXPECT_TRUE(ResolveLocations({"tarvo"}, env, &error));
    fs::remove_all(tmp);
}

TEST(Locations, HomeWithoutAFolderIsAnError) {
    std::string error;
    EXPECT_FALSE(ResolveLocations({"tarvo", "--home"}, Env({}), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ResolveLocations({"tarvo", "--home="}, Env({}), &error));
    EXPECT_FALSE(ResolveLocations({"tarvo", "--home", "--quit-after", "300"}, Env({}), &error));
}

TEST(Locations, CreateRefusesARuntimeFolderSomebodyMadeMeanwhile) {
    // A folder anybody may write to, as /tmp is.
    const fs::path tmp = fs::temp_directory_path() / ("tarvo-race-" + std::to_string(::getpid()));
    fs::remove_all(tmp);
    fs::create_directories(tmp);
    ASSERT_EQ(::chmod(tmp.c_str(), 01777), 0);
    const Locations loc{tmp / "home" / "tarvo.reg", tmp / "data", tmp / "tarvo-run"};
    fs::create_directory(loc.runtimeDir);
    ASSERT_EQ(::chmod(loc.runtimeDir.c_str(), 0777), 0);
    EXPECT_EQ(CreateLocations(loc), std::errc::permission_denied);
    fs::remove(loc.runtimeDir);
    EXPECT_FALSE(CreateLocations(loc));  // made by us: fine
    fs::remove_all(tmp);
}

TEST(Locations, CreatedFoldersArePrivate) {
    const fs::path home =
        fs::temp_directory_path() / ("tarvo-create-" + std::to_string(::getpid()));
    fs::remove_all(home);
    std::string error;
    auto loc = ResolveLocations({"tarvo", "--home", home.string()}, Env({}), &error);
    ASSERT_TRUE(loc);
    EXPECT_FALSE(CreateLocations(*loc));
    for (const fs::path& d : {home, loc->dataDir, loc->runtimeDir}) {
        struct stat st;
        ASSERT_EQ(::stat(d.c_str(), &st), 0) << d;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << d;
    }
    fs::remove_all(home);
}

// The build tree keeps the font beside the program, a package in share/tarvo.
TEST(Locations, DataFileBesideTheProgramElseInShare) {
    tarvo::test::TempFolder root("tarvo-datafile");
    const auto bin = root / "usr" / "bin";
    const auto share = root / "usr" / "share" / "tarvo";
    tarvo::test::TempFolder::Write(bin / "both.ttf", "");
    tarvo::test::TempFolder::Write(share / "both.ttf", "");
    tarvo::test::TempFolder::Write(share / "installed.ttf", "");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(DataFile(bin, "both.ttf"), bin / "both.ttf");
    EXPECT_EQ(DataFile(bin, "installed.ttf"), share / "installed.ttf");
    EXPECT_EQ(DataFile(bin, "missing.ttf"), bin / "missing.ttf");
}
