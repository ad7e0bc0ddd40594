// The file stream of received and temporary files.
#include "connection/FileStreamQamU.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace tarvo::connection {
namespace {

using test::TempFolder;

TEST(FileStreamQam, OpensOnlyOnRequestAndRefusesWhatDoesNotFitItsState) {
    TempFolder tmp("tarvo-stream");
    TFileStreamQam s(tmp / "f.bin", TFileStreamQam::kModeCreate);
    char c;
    EXPECT_THROW(s.Read(&c, 1), core::TStreamError);  // "File not open"
    EXPECT_THROW(s.GetSize(), core::TStreamError);
    EXPECT_FALSE(std::filesystem::exists(tmp / "f.bin"));
    s.Open();
    ASSERT_TRUE(s.IsOpen());
    EXPECT_THROW(s.Open(), core::TStreamError);  // "Already open"
    EXPECT_THROW(s.SetFileName(tmp / "g.bin"), core::TStreamError);
    EXPECT_THROW(s.SetMode(TFileStreamQam::kModeRead), core::TStreamError);
    s.WriteText("abcdef");
    s.SetSize(4);
    EXPECT_EQ(s.GetSize(), 4);
    s.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf), "bcd");
    s.Close();
    s.Close();
    EXPECT_EQ(TempFolder::Read(tmp / "f.bin"), "abcd");

    // Opening what is not there, or not a file, leaves it closed.
    for (const auto& p : {tmp / "missing", tmp.path()}) {
        TFileStreamQam r(p, TFileStreamQam::kModeRead);
        r.Open();
        EXPECT_FALSE(r.IsOpen());
        EXPECT_EQ(r.FileHandle(), -1);
    }
}

TEST(FileStreamQam, OneLockPerFileAndDeleteOnlyWhenFlagged) {
    TempFolder tmp("tarvo-stream");
    TempFolder::Write(tmp / "f.tvf", "x");
    TFileStreamQam a(tmp / "f.tvf", TFileStreamQam::kModeReadWrite);
    TFileStreamQam b(tmp / "f.tvf", TFileStreamQam::kModeReadWrite);
    EXPECT_FALSE(a.TryLock());  // closed
    a.Open();
    b.Open();
    EXPECT_GE(a.FileHandle(), 0);
    EXPECT_TRUE(a.TryLock());
    EXPECT_FALSE(b.TryLock());  // a second receiver of the same file
    a.Close();
    EXPECT_TRUE(b.TryLock());

    EXPECT_FALSE(b.DeleteIfFlagged());
    EXPECT_TRUE(std::filesystem::exists(tmp / "f.tvf"));
    b.SetDeleteFlag(true);
    EXPECT_TRUE(b.DeleteIfFlagged());
    EXPECT_FALSE(b.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(tmp / "f.tvf"));
    EXPECT_FALSE(b.DeleteIfFlagged());  // gone already: the error is swallowed
    EXPECT_THROW(b.Delete(), core::TStreamError);
}

}  // namespace
}  // namespace tarvo::connection
