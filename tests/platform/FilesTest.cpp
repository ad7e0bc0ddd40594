#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace tarvo::platform;

namespace {

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvo-files-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Touch(const fs::path& p, const std::string& content = "x") { std::ofstream(p) << content; }
    std::string Read(const fs::path& p) { return ReadFile(p, 1 << 20).value_or("<unreadable>"); }
    fs::path dir_;
};

}  // namespace

TEST_F(FilesTest, UniqueFileNameCountsEveryKindOfEntry) {
    EXPECT_EQ(UniqueFileName(dir_ / "a.txt"), dir_ / "a.txt");
    Touch(dir_ / "a.txt");
    Touch(dir_ / "a (1).txt");
    EXPECT_EQ(UniqueFileName(dir_ / "a.txt"), dir_ / "a (2).txt");
    // A folder, a dangling link and a fifo take a name as well as a file does.
    fs::create_directory(dir_ / "b");
    fs::create_symlink(dir_ / "nowhere", dir_ / "b (1)");
    ASSERT_EQ(::mkfifo((dir_ / "b (2)").c_str(), 0600), 0);
    EXPECT_EQ(UniqueFileName(dir_ / "b"), dir_ / "b (3)");
}

TEST_F(FilesTest, MoveNeverReplacesAnExistingFile) {
    Touch(dir_ / "from", "new");
    Touch(dir_ / "to", "old");
    EXPECT_EQ(MoveNoReplace(dir_ / "from", dir_ / "to"), std::errc::file_exists);
    EXPECT_EQ(Read(dir_ / "to"), "old");
    EXPECT_EQ(Read(dir_ / "from"), "new");
    EXPECT_FALSE(MoveNoReplace(dir_ / "from", dir_ / "moved"));
    EXPECT_EQ(Read(dir_ / "moved"), "new");
    EXPECT_FALSE(fs::exists(dir_ / "from"));
}

TEST_F(FilesTest, MoveAcrossFileSystemsCopiesAndRemovesTheSource) {
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::stat(dir_.c_str(), &a) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";
    const fs::path other = fs::path("/dev/shm") / ("tarvo-move-" + std::to_string(::getpid()));
    Touch(other, std::string(200000, 'z'));
    EXPECT_FALSE(MoveNoReplace(other, dir_ / "copied"));
    EXPECT_EQ(Read(dir_ / "copied"), std::string(200000, 'z'));
    EXPECT_FALSE(fs::exists(other));

    Touch(other, "second");
    EXPECT_EQ(MoveNoReplace(other, dir_ / "copied"), std::errc::file_exists);
    EXPECT_TRUE(fs::exists(other));
    fs::remove(other);

    // A link moves as a link, not as a copy of its target.
    fs::create_symlink("somewhere/else", other);
    EXPECT_FALSE(MoveNoReplace(other, dir_ / "link"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(fs::read_symlink(dir_ / "link"), fs::path("somewhere/else"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(other)));
}

TEST_F(FilesTest, CreateExclusiveRefusesAnExistingName) {
    EXPECT_FALSE(CreateExclusive(dir_ / "f"));
    EXPECT_EQ(CreateExclusive(dir_ / "f"), std::errc::file_exists);
    struct stat st;
    ASSERT_EQ(::stat((dir_ / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FilesTest, TrashKeepsTheFileAndWhereItCameFrom) {
    const fs::path trash = dir_ / "Trash";
    Touch(dir_ / "old file.txt", "one");
    EXPECT_FALSE(MoveToTrash(dir_ / "old file.txt", trash));
    Touch(dir_ / "old file.txt", "two");
    EXPECT_FALSE(MoveToTrash(dir_ / "old file.txt", trash));
    EXPECT_FALSE(fs::exists(dir_ / "old file.txt"));
    EXPECT_EQ(Read(trash / "files" / "old file.txt"), "one");
    EXPECT_EQ(Read(trash / "files" / "old file (1).txt"), "two");
    const std::string info = Read(trash / "info" / "old file.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u);
    EXPECT_NE(info.find("old%20file.txt\n"), std::string::npos);
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);
    EXPECT_EQ(MoveToTrash(dir_ / "missing", trash), std::errc::no_such_file_or_directory);

    // "folder/" trashes the folder under its own name.
    fs::create_directories(dir_ / "folder" / "inner");
    EXPECT_FALSE(MoveToTrash(dir_.string() + "/folder/", trash));
    EXPECT_TRUE(fs::is_directory(trash / "files" / "folder" / "inner"));
    EXPECT_TRUE(fs::exists(trash / "info" / "folder.trashinfo"));
}

TEST_F(FilesTest, AtomicWriteReplacesTheContentAndLeavesNoTemporaryFile) {
    EXPECT_FALSE(WriteFileAtomic(dir_ / "s.reg", "first"));
    EXPECT_FALSE(WriteFileAtomic(dir_ / "s.reg", "second"));
    EXPECT_EQ(Read(dir_ / "s.reg"), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    struct stat st;
    ASSERT_EQ(::stat((dir_ / "s.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(WriteFileAtomic(dir_ / "no" / "such" / "folder", "x"));
    // The temporary name must fit even when the target's name is near the limit.
    const std::string longName = std::string(250, 'n') + ".reg";
    EXPECT_FALSE(WriteFileAtomic(dir_ / longName, "long"));
    EXPECT_EQ(Read(dir_ / longName), "long");
}

TEST_F(FilesTest, ReadFileRefusesWhatIsTooLarge) {
    Touch(dir_ / "big", std::string(1000, 'b'));
    EXPECT_EQ(ReadFile(dir_ / "big", 1000)->size(), 1000u);
    EXPECT_FALSE(ReadFile(dir_ / "big", 999));
    EXPECT_FALSE(ReadFile(dir_, 1000));  // a folder is no file
    EXPECT_FALSE(ReadFile(dir_ / "missing", 1000));
    // A fifo in place of a file: refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadFile(dir_ / "fifo", 1000));
}

TEST_F(FilesTest, EnsureFolderCreatesPrivateParents) {
    EXPECT_FALSE(EnsureFolder(dir_ / "a" / "b" / "c"));
    EXPECT_FALSE(EnsureFolder(dir_ / "a" / "b" / "c"));
    struct stat st;
    ASSERT_EQ(::stat((dir_ / "a" / "b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    Touch(dir_ / "file");
    EXPECT_EQ(EnsureFolder(dir_ / "file"), std::errc::not_a_directory);

    // The mode asked for, whatever the umask says.
    const mode_t old = ::umask(077);
    const std::error_code ec = EnsureFolder(dir_ / "shared" / "x", 0750);
    ::umask(old);
    EXPECT_FALSE(ec);
    ASSERT_EQ(::stat((dir_ / "shared").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(SafeFileName, HostileNames) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"report.txt", "report.txt"},
        {"../../etc/passwd", "passwd"},
        {"..\\..\\x", "x"},
        {"C:\\a\\b.txt", "b.txt"},
        {"C:boot.ini", "boot.ini"},
        {"a\x01"
         "b\x7f",
         "ab"},
        {"", ""},
        {".", ""},
        {"..", ""},
        {" .. ", ""},
        {"dir/", ""},
        {"/", ""},
        {"  spaced  ", "spaced"},
        {"m\xE4rz.txt", "m\xC3\xA4rz.txt"},  // code page 1252 to UTF-8
        {std::string("nul\0byte", 8), "nulbyte"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeFileName(c.in), c.out) << "for \"" << c.in << '"';
}

TEST(SafeFileName, LongNamesKeepTheirExtensionAndWholeCharacters) {
    const std::string longName = SafeFileName(std::string(300, 'a') + ".txt");
    EXPECT_EQ(longName.size(), kMaxFileNameBytes);
    EXPECT_EQ(longName.substr(longName.size() - 4), ".txt");
    // 0xE4 becomes two bytes of UTF-8; the cut must not split one.
    const std::string umlauts = SafeFileName(std::string(200, '\xE4'));
    EXPECT_LE(umlauts.size(), kMaxFileNameBytes);
    EXPECT_EQ(umlauts.size() % 2, 0u);
}

TEST(SafeJoin, StaysInsideTheFolder) {
    const fs::path folder = "/srv/released";
    EXPECT_EQ(SafeJoin(folder, "../../etc/passwd"), folder / "passwd");
    EXPECT_EQ(SafeJoin(folder, "a.txt"), folder / "a.txt");
    EXPECT_FALSE(SafeJoin(folder, ".."));
    EXPECT_FALSE(SafeJoin(folder, ""));
    EXPECT_EQ(SafeJoin("/srv/released/", "b"), fs::path("/srv/released/b"));
}
