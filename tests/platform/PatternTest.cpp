#include "platform/Pattern.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tarvo::platform;

TEST(Pattern, GroupsAndOffsets) {
    auto p = Pattern::Compile(R"(^(\w+)-(\d+)(x)?)");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GroupCount(), 3u);
    auto m = p->Search("DL1ABC-15 rest");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "DL1ABC");
    EXPECT_EQ(m->Group(2), "15");
    EXPECT_FALSE(m->HasGroup(3));
    EXPECT_EQ(m->Group(3), "");
    EXPECT_FALSE(m->HasGroup(9));
    EXPECT_EQ(m->Start(), 0u);
    EXPECT_EQ(m->End(), 9u);
}

TEST(Pattern, SearchFullMatchAndStartOffset) {
    auto p = Pattern::Compile("b+");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Search("aabbbcc")->Group(0), "bbb");
    EXPECT_EQ(p->FullMatch("aabbb").status, MatchStatus::NoMatch);
    EXPECT_EQ(p->FullMatch("bbb").status, MatchStatus::Matched);
    EXPECT_EQ(p->Search("bab", 1)->Start(), 2u);
    EXPECT_EQ(p->Search("b", 5).status, MatchStatus::NoMatch);  // past the end
}

TEST(Pattern, BytesCaseAndNamedGroups) {
    PatternOptions caseless;
    caseless.caseless = true;
    auto prompt = Pattern::Compile(R"(de (?<call>[a-z0-9]+)>\r$)", caseless);
    ASSERT_TRUE(prompt);
    const std::string line = "de DB0XYZ>\r";
    auto m = prompt->Search(line);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(prompt->GroupIndex("call")), "DB0XYZ");
    EXPECT_EQ(prompt->GroupIndex("nope"), -1);

    auto nul = Pattern::Compile(std::string_view("a\0b", 3));
    ASSERT_TRUE(nul);
    EXPECT_TRUE(nul->Search(std::string_view("xxa\0b", 5)));
    EXPECT_TRUE(Pattern::Compile("\xE4")->Search("M\xE4rz"));  // 8-bit bytes, no UTF mode
}

TEST(Pattern, BadPatternSaysWhy) {
    std::string error;
    EXPECT_FALSE(Pattern::Compile("(unclosed", {}, &error));
    EXPECT_NE(error.find("offset"), std::string::npos);
}

TEST(Pattern, CatastrophicBacktrackingHitsTheLimit) {
    auto p = Pattern::Compile("(a+)+$");
    ASSERT_TRUE(p);
    const std::string hostile = std::string(5000, 'a') + "b";
    EXPECT_EQ(p->Search(hostile).status, MatchStatus::LimitExceeded);
    EXPECT_EQ(p->Search("aaa").status, MatchStatus::Matched);

    // An ordinary pattern over a long line is no hostile case: the JIT's own
    // small stack must not turn it into a limit.
    auto alternatives = Pattern::Compile("(?:a|b)*c");
    ASSERT_TRUE(alternatives);
    EXPECT_EQ(alternatives->Search(std::string(3000, 'a') + "c").status, MatchStatus::Matched);
}

TEST(Pattern, OneCompiledPatternServesSeveralThreads) {
    auto p = Pattern::Compile(R"(\{(\w+)-([\d.]+)-(\w+)\})");
    ASSERT_TRUE(p);
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            auto m = p->Search("text {TRV-0.1-ABC} more");
            ASSERT_TRUE(m);
            ASSERT_EQ(m->Group(2), "0.1");
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
}
