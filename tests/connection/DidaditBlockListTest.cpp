// The received ranges of a file against a plain bitmap, and the range index as
// it is read back from disk, however it was written.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <vector>

#include "connection/VerbindungDidaditReceiveU.h"
#include "platform/Files.h"

namespace {

using namespace tarvo::connection;
namespace fs = std::filesystem;

// Gaps of the bitmap in order.
std::vector<TDidaditRequest> BitmapGaps(const std::vector<bool>& have) {
    std::vector<TDidaditRequest> gaps;
    const auto n = static_cast<std::int64_t>(have.size());
    for (std::int64_t i = 0; i < n;) {
        if (have[static_cast<std::size_t>(i)]) {
            ++i;
            continue;
        }
        std::int64_t j = i;
        while (j < n && !have[static_cast<std::size_t>(j)]) ++j;
        gaps.push_back({i, j - i});
        i = j;
    }
    return gaps;
}

TEST(DidaditBlockList, AgreesWithABitmap) {
    std::mt19937 random(18);
    for (int round = 0; round < 20; ++round) {
        const std::int64_t size = 1 + static_cast<std::int64_t>(random() % 5000);
        TDidaditReceiveBlockList list;
        list.SetFileSize(size);
        std::vector<bool> have(static_cast<std::size_t>(size));
        for (int step = 0; step < 300; ++step) {
            const std::int64_t offset = static_cast<std::int64_t>(random() % size);
            const std::int64_t length =
                1 + static_cast<std::int64_t>(random() % std::min<std::int64_t>(size - offset, 97));
            const std::int64_t total = list.Add(offset, length);
            for (std::int64_t i = offset; i < offset + length; ++i)
                have[static_cast<std::size_t>(i)] = true;

            ASSERT_EQ(total, std::count(have.begin(), have.end(), true));
            // Sorted, apart by at least one missing byte, and all present.
            const auto ranges = list.Ranges();
            for (std::size_t r = 0; r < ranges.size(); ++r) {
                ASSERT_LE(ranges[r].first, ranges[r].second);
                if (r > 0) {
                    ASSERT_GT(ranges[r].first, ranges[r - 1].second + 1);
                }
                for (std::int64_t i = ranges[r].first; i <= ranges[r].second; ++i)
                    ASSERT_TRUE(have[static_cast<std::size_t>(i)]);
            }
            const auto gaps = BitmapGaps(have);
            ASSERT_EQ(list.GetRequests(1000), gaps);
            // The limit keeps the first gaps.
            const auto limited = list.GetRequests(3);
            ASSERT_EQ(limited.size(), std::min<std::size_t>(3, gaps.size()));
            ASSERT_TRUE(std::equal(limited.begin(), limited.end(), gaps.begin()));
            ASSERT_EQ(list.Complete(), gaps.empty());
        }
    }
}

TEST(DidaditBlockList, RequestsOfAResumedTransfer) {
    TDidaditReceiveBlockList list;
    list.SetFileSize(30000);
    list.Add(15000, 5000);
    list.Add(0, 10000);
    const std::vector<TDidaditRequest> expected{{10000, 5000}, {20000, 10000}};
    EXPECT_EQ(list.GetRequests(217), expected);
    EXPECT_EQ(list.GetRequests(0).size(), 0u);
    EXPECT_THROW(list.Add(-1, 5), tarvo::core::TarvoAssertion);
    EXPECT_THROW(list.Add(0, 0), tarvo::core::TarvoAssertion);
}

class DidaditIndex : public ::testing::Test {
  protected:
    DidaditIndex() {
        dir_ = fs::temp_directory_path() /
               ("tarvo-index-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~DidaditIndex() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(DidaditIndex, ToleratesHowItWasWritten) {
    using R = std::vector<TDidaditReceiveBlockList::TRange>;
    struct Case {
        const char* name;
        std::string text;
        std::int64_t resume;
        R ranges;
    };
    const R two{{0, 9999}, {15000, 19999}};
    const Case cases[] = {
        {"as written", "[Blocks]\r\n0000=0,9999\r\n0001=15000,19999\r\n", 20000, two},
        {"line feeds only", "[Blocks]\n0000=0,9999\n0001=15000,19999", 20000, two},
        {"byte-order mark, other case, blanks",
         "\xEF\xBB\xBF[blocks]\r\n 0000 = 0 , 9999 \r\n0001=15000,19999\r\n", 20000, two},
        {"other sections ignored", "[Other]\r\n0000=1,2\r\n[Blocks]\r\n0000=0,9999\r\n", 10000,
         R{{0, 9999}}},
        {"a missing key ends the list", "[Blocks]\r\n0000=0,9\r\n0002=20,29\r\n", 10, R{{0, 9}}},
        {"a value without comma ends the list", "[Blocks]\r\n0000=0,9\r\n0001=20\r\n0002=30,39\r\n",
         10, R{{0, 9}}},
        {"a comma first ends the list", "[Blocks]\r\n0000=,9\r\n0001=20,29\r\n", 0, R{}},
        {"bad ranges are skipped",
         "[Blocks]\r\n0000=-5,9\r\n0001=9,3\r\n0002=0,30000\r\n0003=x,4\r\n0004=100,199\r\n", 200,
         R{{100, 199}}},
        {"overlapping ranges merge", "[Blocks]\r\n0000=0,99\r\n0001=50,149\r\n0002=150,160\r\n",
         161, R{{0, 160}}},
        {"no section", "0000=0,9\r\n", 0, R{}},
        {"empty", "", 0, R{}},
        {"binary noise", std::string("[Blocks]\r\n0000=\0\xFF,\x01\r\n", 18), 0, R{}},
    };
    for (const Case& c : cases) {
        TDidaditReceiveBlockList list;
        list.SetFileSize(20000);
        EXPECT_EQ(list.ReadIndexText(c.text), c.resume) << c.name;
        EXPECT_EQ(list.Ranges(), c.ranges) << c.name;
    }
}

TEST_F(DidaditIndex, WrittenReadBackAndRemovedWhenComplete) {
    const fs::path index = dir_ / "X.tvi";
    TDidaditReceiveBlockList list;
    list.SetFileSize(20000);
    list.Add(15000, 5000);
    list.Add(0, 10000);
    ASSERT_FALSE(list.WriteIndexFile(index));
    const auto text = tarvo::platform::ReadFile(index, 1000);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "[Blocks]\r\n0000=0,9999\r\n0001=15000,19999\r\n");

    TDidaditReceiveBlockList back;
    back.SetFileSize(20000);
    EXPECT_EQ(back.ReadIndexFile(index), 20000);
    EXPECT_EQ(back.Ranges(), list.Ranges());

    list.Add(10000, 5000);
    ASSERT_TRUE(list.Complete());
    ASSERT_FALSE(list.WriteIndexFile(index));
    EXPECT_FALSE(fs::exists(index)) << "a complete file needs no index";

    TDidaditReceiveBlockList none;
    none.SetFileSize(10);
    EXPECT_EQ(none.ReadIndexFile(dir_ / "missing.tvi"), 0);
}

}  // namespace
