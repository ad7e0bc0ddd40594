// The receive and released folders, and what remote stations may list.
#include "resources/OrdnerU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/GlobalU.h"
#include "platform/Registry.h"
#include "tests/support/TempFolder.h"

namespace tarvo::resources {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::RegValue;
using test::TempFolder;

TEST(Ordner, DefaultsFollowTheUsersFolders) {
    core::SetApplicationDataFolder("/data/tarvo");
    struct Case {
        platform::UserFolders user;
        fs::path receive;
    } cases[] = {
        {{"/home/op", "/home/op/Dokumente", "/home/op/Downloads"}, "/home/op/Downloads/"},
        {{"/home/op", "/home/op/Dokumente", ""}, "/home/op/Dokumente/"},
        {{"/home/op", "", ""}, "/home/op/"},
        {{"", "", ""}, "/data/tarvo/"},  // never "/" nor a relative path
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.receive);
        platform::FileRegistry registry;
        TOrdner ordner(registry, c.user);
        EXPECT_EQ(ordner.GetReceiveFolder(), c.receive);
        EXPECT_EQ(ordner.GetRemoteFolder(), c.receive / "Tarvo/");
    }
}

TEST(Ordner, UnusableSettingsFallBackToHome) {
    const platform::UserFolders user{"/home/op", "", "/home/op/Downloads"};
    struct Case {
        const char* what;
        std::optional<RegValue> stored;
        fs::path receive;
    } cases[] = {
        {"absolute", RegValue::String("/srv/empfang"), "/srv/empfang/"},
        {"with separator", RegValue::String("/srv/empfang/"), "/srv/empfang/"},
        {"empty", RegValue::String(""), "/home/op/Downloads/"},
        {"relative", RegValue::String("Empfang"), "/home/op/"},
        {"a drive letter", RegValue::String("C:\\Empfang"), "/home/op/"},
        {"a number", RegValue::DWord(5), "/home/op/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::FileRegistry registry;
        registry.SetValue(Hive::CurrentUser, TOrdner::kKey, "Empfang", *c.stored);
        registry.SetValue(Hive::CurrentUser, TOrdner::kKey, "Remote", *c.stored);
        TOrdner ordner(registry, user);
        EXPECT_EQ(ordner.GetReceiveFolder(), c.receive);
        if (c.receive != "/home/op/Downloads/") {
            EXPECT_EQ(ordner.GetRemoteFolder(), c.receive);
        }
    }
}

TEST(Ordner, SettersStoreTheTextAsGiven) {
    platform::FileRegistry registry;
    TOrdner ordner(registry, {"/home/op", "", ""});
    ordner.SetReceiveFolder("/m\xC3\xBCll/empfang");
    ordner.SetRemoteFolder("/srv/frei/");
    EXPECT_EQ(registry.ReadUtf8(Hive::CurrentUser, TOrdner::kKey, "Empfang"),
              "/m\xC3\xBCll/empfang");
    EXPECT_EQ(ordner.GetReceiveFolder(), "/m\xC3\xBCll/empfang/");
    EXPECT_EQ(ordner.GetRemoteFolder(), "/srv/frei/");
}

TEST(UserFolders, FromTheVariablesOrTheUserDirsFile) {
    TempFolder tmp("tarvo-userdirs");
    fs::create_directories(tmp / "home/Downloads");
    fs::create_directories(tmp / "home/Texte");
    fs::create_directories(tmp / "elsewhere");
    TempFolder::Write(tmp / "home/.config/user-dirs.dirs",
                      "# written by xdg-user-dirs-update\n"
                      "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                      "XDG_DOCUMENTS_DIR=\"" +
                          (tmp / "home/Texte").string() + "\"\n");
    std::map<std::string, std::string> env{{"HOME", (tmp / "home").string()}};
    auto getenv = [&](const char* name) -> std::optional<std::string> {
        const auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional(it->second);
    };
    platform::UserFolders f = platform::ResolveUserFolders(getenv);
    EXPECT_EQ(f.home, tmp / "home");
    EXPECT_EQ(f.download, tmp / "home/Downloads");
    EXPECT_EQ(f.documents, tmp / "home/Texte");

    env["XDG_DOWNLOAD_DIR"] = (tmp / "elsewhere").string();
    env["XDG_DOCUMENTS_DIR"] = (tmp / "missing").string();  // only existing folders count
    f = platform::ResolveUserFolders(getenv);
    EXPECT_EQ(f.download, tmp / "elsewhere");
    EXPECT_TRUE(f.documents.empty());
}

// --- What remote stations may list ------------------------------------------------

class DirRemote : public ::testing::Test {
  protected:
    void SetUp() override {
        TempFolder::Write(root_ / "a.txt", "aaa");
        TempFolder::Write(root_ / "b.BIN", "bb");
        TempFolder::Write(root_ / "sub/c.txt", "c");
        TempFolder::Write(tmp_ / "secret/key.txt", "k");
        fs::create_symlink(tmp_ / "secret", root_ / "out");
        fs::create_symlink(tmp_ / "secret/key.txt", root_ / "key.txt");
        fs::create_symlink(root_ / "sub/c.txt", root_ / "in.txt");
        ordner_.SetRemoteFolder(root_.string());
    }

    struct Result {
        bool ok;
        std::string pattern, folder;
        std::vector<std::string> names;
    };
    Result List(std::string_view path) {
        Result r;
        std::vector<TRemoteEntry> entries;
        r.ok = ordner_.DirRemote(path, r.pattern, r.folder, entries);
        for (const auto& e : entries) r.names.push_back(e.name + (e.folder ? "/" : ""));
        std::sort(r.names.begin(), r.names.end());
        return r;
    }

    TempFolder tmp_{"tarvo-remote"};
    fs::path root_ = tmp_ / "frei";
    platform::FileRegistry registry_;
    TOrdner ordner_{registry_, {tmp_.path(), "", ""}};
};

TEST_F(DirRemote, ListsOnlyBelowTheReleasedFolder) {
    using V = std::vector<std::string>;
    struct Case {
        std::string path;
        bool ok;
        std::string pattern, folder;
        V names;
    } cases[] = {
        {"", true, "*", "", V{"a.txt", "b.BIN", "in.txt", "sub/"}},
        {"\\", true, "*", "", V{"a.txt", "b.BIN", "in.txt", "sub/"}},
        {"*.txt", true, "*.txt", "", V{"a.txt", "in.txt"}},
        {"*.bin", true, "*.bin", "", V{"b.BIN"}},
        {"?.txt", true, "?.txt", "", V{"a.txt"}},
        {"sub", true, "*", "sub", V{"c.txt"}},
        {"sub\\*.txt", true, "*.txt", "sub", V{"c.txt"}},
        {"sub/../a.txt", true, "a.txt", "", V{"a.txt"}},
        {"..", false, "*", "..", V{}},
        {"..\\..\\etc\\passwd", false, "passwd", "../../etc", V{}},
        {"sub/../../secret", false, "*", "sub/../../secret", V{}},
        {"out", false, "*", "out", V{}},
        {"out/key.txt", false, "key.txt", "out", V{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Result r = List(c.path);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.pattern, c.pattern);
        EXPECT_EQ(r.folder, c.folder);
        EXPECT_EQ(r.names, c.names);
    }
}

TEST_F(DirRemote, EntriesCarrySizeAndTime) {
    std::string pattern, folder;
    std::vector<TRemoteEntry> entries;
    ASSERT_TRUE(ordner_.DirRemote("a.txt", pattern, folder, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_GT(entries[0].modified, 1'600'000'000);
}

TEST(Wildcard, MatchesLikeAFileDialog) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"a.txt", "*", true},     {"a.txt", "*.TXT", true}, {"a.txt", "*.bin", false},
        {"a.txt", "a?txt", true}, {"a.txt", "?", false},    {"", "*", true},
        {"abc", "a*c*", true},    {"abcd", "a*c", false},   {"aaaa", "*a*a*a*a*a", false},
        {"x", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.pattern);
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.match);
    }
}

}  // namespace
}  // namespace tarvo::resources
