#include "platform/MappedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace fs = std::filesystem;
using tarvo::platform::MappedFile;

namespace {
fs::path TempFile(const char* name) {
    fs::path p =
        fs::temp_directory_path() / ("tarvo-map-" + std::to_string(::getpid()) + "-" + name);
    fs::remove(p);
    return p;
}
}  // namespace

TEST(MappedFile, ContentSurvivesCloseAndReopen) {
    const fs::path p = TempFile("keep");
    std::error_code ec;
    {
        auto m = MappedFile::Open(p, 4096, ec);
        ASSERT_TRUE(m) << ec.message();
        EXPECT_EQ(m->size(), 4096u);
        std::memcpy(m->data() + 100, "hello", 5);
        EXPECT_FALSE(m->Sync());
    }
    auto m = MappedFile::Open(p, 0, ec);  // 0: take the file as it is
    ASSERT_TRUE(m);
    EXPECT_EQ(m->size(), 4096u);
    EXPECT_EQ(std::memcmp(m->data() + 100, "hello", 5), 0);

    // Recreate throws the old layout away.
    EXPECT_FALSE(m->Recreate(8192));
    EXPECT_EQ(m->size(), 8192u);
    EXPECT_EQ(std::memcmp(m->data() + 100, "\0\0\0\0\0", 5), 0);
    EXPECT_EQ(fs::file_size(p), 8192u);
    fs::remove(p);
}

TEST(MappedFile, SecondOpenOfALockedFileFails) {
    const fs::path p = TempFile("locked");
    std::error_code ec;
    auto first = MappedFile::Open(p, 100, ec);
    ASSERT_TRUE(first);
    auto second = MappedFile::Open(p, 100, ec);
    EXPECT_FALSE(second);
    EXPECT_EQ(ec, std::errc::device_or_resource_busy);
    first.reset();
    EXPECT_TRUE(MappedFile::Open(p, 100, ec));
    fs::remove(p);
}

TEST(MappedFile, ASizeTheDiskCannotHoldFailsAtOnce) {
    const fs::path p = TempFile("huge");
    std::error_code ec;
    auto m = MappedFile::Open(p, std::size_t{1} << 50, ec);
    EXPECT_FALSE(m);
    EXPECT_TRUE(ec);
    // Nothing was left half-grown.
    EXPECT_EQ(fs::file_size(p), 0u);
    fs::remove(p);
}

TEST(MappedFile, ASparseFileIsAllocatedBeforeItIsMapped) {
    const fs::path p = TempFile("sparse");
    std::ofstream{p};             // create it
    fs::resize_file(p, 1 << 20);  // all of it a hole
    std::error_code ec;
    auto m = MappedFile::Open(p, 4096, ec);
    ASSERT_TRUE(m) << ec.message();
    EXPECT_EQ(m->size(), std::size_t{1} << 20);
    struct stat st;
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_GE(st.st_blocks * 512, 1 << 20);  // no hole left to fault on a full disk
    m.reset();
    fs::remove(p);
}

TEST(MappedFile, AnonymousMemoryStartsZeroed) {
    std::error_code ec;
    auto m = MappedFile::Anonymous(1 << 16, ec);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->data()[12345], std::byte{0});
    m->data()[12345] = std::byte{7};
    EXPECT_EQ(m->data()[12345], std::byte{7});
    auto empty = MappedFile::Anonymous(0, ec);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->data(), nullptr);
}
