#include "core/GlobalU.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tarvo::core;
namespace fs = std::filesystem;

TEST(TimeConversion, KnownDatesBothWays) {
    const struct {
        TDateTime t;
        std::int64_t seconds;
    } cases[] = {
        {{1970, 1, 1, 0, 0, 0}, 0},
        {{2000, 3, 1, 0, 0, 0}, 951868800},       // the day after a 400-year leap day
        {{2024, 2, 29, 12, 30, 15}, 1709209815},  // a leap day
        {{2038, 1, 19, 3, 14, 8}, 2147483648},    // past a signed 32-bit counter
        {{2100, 3, 1, 0, 0, 0}, 4107542400},      // 2100 is no leap year
        {{2106, 2, 7, 6, 28, 15}, 4294967295},    // the last second that fits
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeToUnixSeconds(c.t), c.seconds)
            << c.t.year << "-" << c.t.month << "-" << c.t.day;
        EXPECT_EQ(UnixSecondsToDateTime(c.seconds), c.t) << c.seconds;
    }
}

TEST(TimeConversion, ClampsOutsideTheRange) {
    EXPECT_EQ(DateTimeToUnixSeconds({1969, 12, 31, 23, 59, 59}), 0);
    EXPECT_EQ(DateTimeToUnixSeconds({1601, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(DateTimeToUnixSeconds({2200, 1, 1, 0, 0, 0}), 4294967295);
    EXPECT_EQ(UnixSecondsToDateTime(-100), (TDateTime{1970, 1, 1, 0, 0, 0}));
    EXPECT_EQ(UnixSecondsToDateTime(1ll << 40), (TDateTime{2106, 2, 7, 6, 28, 15}));
}

TEST(WrapText, BreaksAfterBreakCharacters) {
    const struct {
        std::string text;
        int max;
        std::string expected;
    } cases[] = {
        {std::string(100, 'x'), 10, std::string(100, 'x')},  // nothing to break at
        {"aaa bbb ccc", 5, "aaa \r\nbbb \r\nccc"},
        {"aaa bbb", 20, "aaa bbb"},
        {"", 5, ""},
        {"a", 0, "a"},
        {"one,two,three", 6, "one,\r\ntwo,\r\nthree"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapText(c.text, "\r\n", "", c.max), c.expected) << c.text;
}

TEST(WrapText, NeverReadsPastTheEnd) {
    // Break characters at the very end, and a text that ends in one.
    for (const std::string t : {"abc ", "abc    ", " ", "----", "a-b-c-"})
        for (int max = 0; max < 6; ++max) EXPECT_NO_THROW(WrapText(t, "|", "", max));
    EXPECT_EQ(WrapText("abcd efgh ", "|", "", 4), "abcd |efgh ");
}

TEST(Global, BaseCallsignAndErrorText) {
    EXPECT_EQ(BaseCallsign("DL1ABC-15"), "DL1ABC");
    EXPECT_EQ(BaseCallsign("DL1ABC"), "DL1ABC");
    EXPECT_EQ(BaseCallsign("-1"), "");
    EXPECT_EQ(SystemErrorText(999999), "Nr. 999999");
    EXPECT_FALSE(SystemErrorText(2).empty());
    EXPECT_EQ(VersionText().size(), 8u);  // "d.dd.ddd"
}

TEST(Global, TarvoExceptionNamesClassAndMethod) {
    EXPECT_STREQ(TarvoException("TKanal", "Open", "no buffer").what(), "TKanal.Open: no buffer");
    EXPECT_STREQ(TarvoException("TKanal", "Open").what(), "TKanal.Open");
}

TEST(Global, MoveFileQamPicksAFreeNameWhenAskedTo) {
    const fs::path dir =
        fs::temp_directory_path() /
        ("tarvo-global-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "a.txt") << "old";
    std::ofstream(dir / "src") << "new";
    fs::path dest = dir / "a.txt";
    EXPECT_FALSE(MoveFileQam(dir / "src", dest, false));
    EXPECT_EQ(dest, dir / "a.txt");
    EXPECT_TRUE(MoveFileQam(dir / "src", dest, true));
    EXPECT_EQ(dest, dir / "a (1).txt");
    fs::path empty;
    EXPECT_FALSE(MoveFileQam(dir / "x", empty, true));

    SetApplicationDataFolder(dir);
    const fs::path p = CreateIncompleteFile("../../escape");
    EXPECT_EQ(p, dir / "Incomplete Files" / "escape.tvf");
    EXPECT_TRUE(CreateIncompleteFile("escape").empty());  // exists already
    const fs::path u = CreateIncompleteFileUnique();
    EXPECT_EQ(u.stem().string().size(), 32u);
    fs::remove_all(dir);
}

TEST(GlobalText, CommaTextRoundTrip) {
    using tarvo::core::FromCommaText;
    using tarvo::core::ToCommaText;
    struct Case {
        std::vector<std::string> items;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{"DB0ABC"}, "DB0ABC"},
        {{"DB0ABC", "DB0DIG-2"}, "DB0ABC,DB0DIG-2"},
        {{"a b", "c,d", "say \"hi\""}, "\"a b\",\"c,d\",\"say \"\"hi\"\"\""},
        {{"x", ""}, "x,\"\""},
        {{""}, "\"\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToCommaText(c.items), c.text);
        EXPECT_EQ(FromCommaText(c.text), c.items) << c.text;
    }
    // Blanks separate unquoted items, as comma text has always been read.
    EXPECT_EQ(FromCommaText("a b,c"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(FromCommaText("\"unterminated"), std::vector<std::string>{"unterminated"});
}

TEST(GlobalText, DateTimeAsTheOperatorReadsIt) {
    using tarvo::core::FormatDateTime;
    EXPECT_EQ(FormatDateTime({2024, 12, 24, 13, 45, 7}), "24.12.2024 13:45:07");
    EXPECT_EQ(FormatDateTime({2026, 1, 2, 3, 4, 5}), "02.01.2026 03:04:05");
    EXPECT_EQ(FormatDateTime({2026, 1, 2, 0, 0, 0}), "02.01.2026");
}
